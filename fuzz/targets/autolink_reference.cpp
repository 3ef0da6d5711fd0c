// The term dictionary: a script of AutolinkReference calls, then Autolink
// passes over a text built of the same words. The script also goes into a
// second dictionary (for half the inputs: it is slow to build) that holds
// a thousand unrelated terms first, so that its lookups go through the large
// trie's filter: both must link alike.
#include <cctype>
#include <cstdlib>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>

#include "brioutil.h"
#include "fuzz_support.h"

namespace {

constexpr int kFillers = 1100;  // two edges each: past the size where the filter starts
const char kFillerWord[] = "ZZQFILLER";

AutolinkDictionary* WithFillers() {
    AutolinkDictionary* d = nullptr;
    for (int i = 0; i < kFillers; ++i) {
        std::string term = std::string(kFillerWord) + std::to_string(i) + " x";
        int32_t result = -5;
        d = AutolinkReference(d, term.c_str(), "", "F", 0, 0, "", 0, &result);
        if (result != 0) fuzz::Mismatch("filler term refused");
    }
    return d;
}

std::string Link(AutolinkDictionary* d, const std::string& text, bool second) {
    int32_t length = 0, result = 0;
    const char* out = second ? Autolink(d, text.c_str(), "x", "y", 1, 0x0000FF, &length, &result)
                             : Autolink(d, text.c_str(), nullptr, nullptr, 0, 0, &length, &result);
    return std::to_string(result) + ":" +
           (out ? std::string(out, static_cast<size_t>(length)) : "");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    AutolinkDictionary* d = nullptr;
    AutolinkDictionary* large = in.ConsumeBool() ? WithFillers() : nullptr;
    std::string text = "{\\rtf1 ";
    int calls = in.ConsumeIntegralInRange<int>(1, 40);
    for (int i = 0; i < calls && in.remaining_bytes() > 0; ++i) {
        std::string term = in.ConsumeRandomLengthString(40);
        std::string synonyms = in.ConsumeRandomLengthString(60);
        std::string target = in.ConsumeRandomLengthString(20);
        std::string extra = in.ConsumeRandomLengthString(10);
        int32_t exclude = in.ConsumeBool();
        int32_t caseSensitive = in.ConsumeBool();
        uint32_t popup = in.ConsumeBool();
        bool nullSynonyms = in.ConsumeBool();
        const char* syn = nullSynonyms ? nullptr : synonyms.c_str();
        int32_t result = -5, largeResult = -5;
        AutolinkDictionary* next = AutolinkReference(d, term.c_str(), syn, target.c_str(), exclude,
                                                     caseSensitive, extra.c_str(), popup, &result);
        if (result != 0 && result != BRIO_ERR_TERM_CONFLICT && result != BRIO_ERR_NO_MEMORY)
            fuzz::Mismatch("AutolinkReference result");
        if (d && next != d) fuzz::Mismatch("AutolinkReference changed the dictionary");
        d = next;
        if (large)
            AutolinkReference(large, term.c_str(), syn, target.c_str(), exclude, caseSensitive,
                              extra.c_str(), popup, &largeResult);
        text += term + " " + synonyms + " \\par ";
    }
    text += "}";
    // Words of the fillers in the text make the two dictionaries differ.
    std::string upper = text;
    for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    bool comparable = large && upper.find(kFillerWord) == std::string::npos;
    if (d) {
        for (bool second : {false, true}) {
            std::string small = Link(d, text, second);
            if (comparable && Link(large, text, second) != small)
                fuzz::Mismatch("a large dictionary links otherwise");
        }
    }
    AutolinkDone(d);
    AutolinkDone(large);
    return 0;
}
