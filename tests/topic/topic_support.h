// TopicImportString with every result copied, and a file split into topics by it.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "brioutil.h"

namespace brio::test {

struct Imported {
    int32_t status = 0;
    std::string rtf;  // "<no handle>" when the call gave none
    int32_t count = 0;
    bool hasContext = false, hasTitle = false, hasBrowse = false, hasKeywords = false;
    std::string context, title, browse, keywords;
    uint32_t consumed = 0;
    std::string firstLine;
};

inline Imported ImportTopic(const std::string& rtf) {
    Imported t;
    const char *out = nullptr, *first = nullptr;
    uint32_t outLength = 0, firstLength = 0, n[4] = {9, 9, 9, 9};
    char* s[4] = {nullptr, nullptr, nullptr, nullptr};
    TopicImport* h =
        TopicImportString(rtf.c_str(), &out, &outLength, &t.count, &s[0], &n[0], &s[1], &n[1],
                          &s[2], &n[2], &s[3], &n[3], &t.consumed, &first, &firstLength, &t.status);
    if (!h) {
        t.rtf = "<no handle>";
        return t;
    }
    t.rtf.assign(out, outLength);
    EXPECT_EQ(std::strlen(out), outLength);
    t.firstLine = first;
    EXPECT_EQ(t.firstLine.size(), firstLength);
    bool* has[4] = {&t.hasContext, &t.hasTitle, &t.hasBrowse, &t.hasKeywords};
    std::string* text[4] = {&t.context, &t.title, &t.browse, &t.keywords};
    for (int i = 0; i < 4; ++i) {
        *has[i] = s[i] != nullptr;
        if (s[i]) *text[i] = s[i];
        EXPECT_EQ(text[i]->size(), n[i]);
        std::free(s[i]);
    }
    TopicImportStringClose(h);
    return t;
}

// A file's topics: import again on the text after `consumed` until the end.
inline std::vector<Imported> SplitTopics(const std::string& file) {
    std::vector<Imported> topics;
    for (size_t pos = 0; pos < file.size();) {
        Imported t = ImportTopic(file.substr(pos));
        if (t.consumed == 0) break;
        pos += t.consumed;
        topics.push_back(std::move(t));
    }
    return topics;
}

// The footnotes import gave ("#context $title +browse Kkeywords"), each
// only when the topic had it.
inline std::string Properties(const Imported& t) {
    std::string out;
    if (t.hasContext) out += " #" + t.context;
    if (t.hasTitle) out += " $" + t.title;
    if (t.hasBrowse) out += " +" + t.browse;
    if (t.hasKeywords) out += " K" + t.keywords;
    return out.empty() ? out : out.substr(1);
}

}  // namespace brio::test
