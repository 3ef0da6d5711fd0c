#include "topic/corpus_topics.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "brioutil.h"

namespace brio::test {

namespace {
void Take(char* text, uint32_t length, bool* has, std::string* out) {
    *has = text != nullptr;
    if (text) *out = text;
    EXPECT_EQ(out->size(), length);
    std::free(text);
}
}  // namespace

CorpusTopic ImportTopic(const std::string& rtf) {
    CorpusTopic t;
    const char* out = nullptr;
    uint32_t outLength = 0, firstLength = 0, n[4] = {9, 9, 9, 9};
    char *context = nullptr, *title = nullptr, *browse = nullptr, *keywords = nullptr;
    const char* first = nullptr;
    TopicImport* h = TopicImportString(rtf.c_str(), &out, &outLength, &t.count, &context, &n[0],
                                       &title, &n[1], &browse, &n[2], &keywords, &n[3], &t.consumed,
                                       &first, &firstLength, &t.status);
    if (!h) {
        t.status = -100;
        return t;
    }
    t.rtf.assign(out, outLength);
    EXPECT_EQ(std::strlen(out), outLength);
    Take(context, n[0], &t.hasContext, &t.context);
    Take(title, n[1], &t.hasTitle, &t.title);
    Take(browse, n[2], &t.hasBrowse, &t.browse);
    Take(keywords, n[3], &t.hasKeywords, &t.keywords);
    t.firstLine = first;
    EXPECT_EQ(t.firstLine.size(), firstLength);
    TopicImportStringClose(h);
    return t;
}

std::vector<CorpusTopic> SplitTopics(const std::string& file) {
    std::vector<CorpusTopic> topics;
    size_t pos = 0;
    while (pos < file.size()) {
        CorpusTopic t = ImportTopic(file.substr(pos));
        if (t.consumed == 0) break;
        pos += t.consumed;
        topics.push_back(std::move(t));
    }
    return topics;
}

}  // namespace brio::test
