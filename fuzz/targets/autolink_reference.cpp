// The term dictionary: a script of AutolinkReference calls, then one
// Autolink pass over a text built of the same words.
#include <cstdlib>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>

#include "brioutil.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    AutolinkDictionary* d = nullptr;
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
        int32_t result = -5;
        AutolinkDictionary* next = AutolinkReference(
            d, term.c_str(), nullSynonyms ? nullptr : synonyms.c_str(), target.c_str(), exclude,
            caseSensitive, extra.c_str(), popup, &result);
        if (result != 0 && result != BRIO_ERR_TERM_CONFLICT && result != BRIO_ERR_NO_MEMORY)
            fuzz::Mismatch("AutolinkReference result");
        if (d && next != d) fuzz::Mismatch("AutolinkReference changed the dictionary");
        d = next;
        text += term + " " + synonyms + " \\par ";
    }
    text += "}";
    if (d) {
        int32_t length = 0, result = 0;
        Autolink(d, text.c_str(), nullptr, nullptr, 0, 0, &length, &result);
        Autolink(d, text.c_str(), "x", "y", 1, 0x0000FF, &length, &result);
    }
    AutolinkDone(d);
    return 0;
}
