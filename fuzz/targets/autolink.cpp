// Autolink over the input with a fixed dictionary, then AutolinkRemove over
// its output. The input's first byte also chooses the pass's options.
#include <cstdlib>
#include <cstring>
#include <string>

#include "brioutil.h"
#include "fuzz_support.h"

namespace {

AutolinkDictionary* MakeDictionary() {
    struct Term {
        const char* term;
        const char* synonyms;
        const char* target;
        int32_t exclude, caseSensitive;
        uint32_t popup;
    } terms[] = {
        {"help", "helps;helping", "help_topic", 0, 0, 0},
        {"file menu", "", "menu_file", 0, 0, 0},
        {"Print", "printing;printer setup", "print", 0, 1, 0},
        {"window", "", "glossary_window", 0, 0, 1},
        {"the", "", "", 1, 0, 0},
        {"a b c", "a b", "abc", 0, 0, 0},
        {"topic", "topics", "current", 0, 0, 0},
    };
    AutolinkDictionary* d = nullptr;
    for (const auto& t : terms) {
        int32_t result = 0;
        d = AutolinkReference(d, t.term, t.synonyms, t.target, t.exclude, t.caseSensitive, "",
                              t.popup, &result);
    }
    return d;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static AutolinkDictionary* dictionary = MakeDictionary();
    if (size < 1) return 0;
    uint8_t flags = data[0];
    std::string rtf = fuzz::AsText(data, size);
    int32_t length = 0, result = 0;
    char* linked = Autolink(dictionary, rtf.c_str(), (flags & 1) ? "current" : nullptr,
                            (flags & 2) ? "glossary_window" : "", flags & 4,
                            (flags & 8) ? 0x00FF0000u : 0u, &length, &result);
    if (linked) {
        if (length < 0 || std::strlen(linked) != static_cast<size_t>(length))
            fuzz::Mismatch("Autolink length");
        int32_t backLength = 0, backResult = 0;
        char* back = AutolinkRemove(linked, &backLength, &backResult);
        std::free(back);
    }
    return 0;
}
