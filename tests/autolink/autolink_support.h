// Registering terms, linking and removing links through the public header, results copied.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "brioutil.h"

namespace brio::test {

struct Ref {
    const char* term;
    const char* target;
    const char* synonyms = "";
    int32_t exclude = 0;
    int32_t caseSensitive = 0;
    uint32_t popup = 0;
};

// Registers `refs` in order, expecting `results` (all 0 when empty).
inline AutolinkDictionary* MakeDictionary(const std::vector<Ref>& refs,
                                          const std::vector<int32_t>& results = {}) {
    AutolinkDictionary* d = nullptr;
    for (size_t i = 0; i < refs.size(); ++i) {
        const Ref& r = refs[i];
        int32_t result = -7;
        AutolinkDictionary* next = AutolinkReference(d, r.term, r.synonyms, r.target, r.exclude,
                                                     r.caseSensitive, nullptr, r.popup, &result);
        EXPECT_TRUE(next && (!d || next == d)) << r.term;
        d = next;
        EXPECT_EQ(result, results.empty() ? 0 : results[i]) << r.term;
    }
    return d;
}

struct Result {
    std::string text;  // "<null>" when nothing came back (and the length left alone)
    int32_t status;
};

inline Result Link(AutolinkDictionary* d, const std::string& rtf, const char* topic = "",
                   const char* popup = "", int32_t once = 0, uint32_t colour = 0) {
    int32_t length = -7, status = -7;
    char* out = Autolink(d, rtf.c_str(), topic, popup, once, colour, &length, &status);
    if (!out) return {length == -7 ? "<null>" : "<null, length set>", status};
    EXPECT_EQ(static_cast<size_t>(length), std::strlen(out));
    return {out, status};
}

inline Result Remove(const std::string& rtf) {
    int32_t length = -7, status = -7;
    char* out = AutolinkRemove(rtf.c_str(), &length, &status);
    if (!out) return {length == -7 ? "<null>" : "<null, length set>", status};
    EXPECT_EQ(static_cast<size_t>(length), std::strlen(out));
    Result r{out, status};
    std::free(out);
    return r;
}

inline std::string R(const std::string& body) {
    return "{\\rtf1 " + body + "}";
}
inline std::string Doc(const std::string& body) {
    return "{\\rtf1\\ansi{\\stylesheet{\\widctlpar\\f4\\fs20 \\snext0 Normal;}}" + body + "}";
}
inline std::string Linked99(const std::string& body) {
    return "{\\rtf1\\ansi{\\stylesheet{\\widctlpar\\f4\\fs20 \\snext0 "
           "Normal;}{\\*\\cs99 "
           "\\additive Autolink;}}" +
           body + "}";
}

}  // namespace brio::test
