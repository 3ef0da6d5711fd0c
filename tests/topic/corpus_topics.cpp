#include "topic/corpus_topics.h"

#include <cstdlib>

#include "brioutil.h"

namespace brio::test {

namespace {
void Take(char* text, bool* has, std::string* out) {
    *has = text != nullptr;
    if (text) *out = text;
    std::free(text);
}
}  // namespace

CorpusTopic ImportTopic(const std::string& rtf) {
    CorpusTopic t;
    const char* out = nullptr;
    uint32_t outLength = 0, n = 0, firstLength = 0;
    char *context = nullptr, *title = nullptr, *browse = nullptr, *keywords = nullptr;
    const char* first = nullptr;
    TopicImport* h = TopicImportString(rtf.c_str(), &out, &outLength, &t.count, &context, &n,
                                       &title, &n, &browse, &n, &keywords, &n, &t.consumed,
                                       &first, &firstLength, &t.status);
    if (!h) {
        t.status = -100;
        return t;
    }
    t.rtf.assign(out, outLength);
    Take(context, &t.hasContext, &t.context);
    Take(title, &t.hasTitle, &t.title);
    Take(browse, &t.hasBrowse, &t.browse);
    Take(keywords, &t.hasKeywords, &t.keywords);
    t.firstLine = first;
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
