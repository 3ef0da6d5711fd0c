// Splitting real help files into topics with TopicImportString, for the
// tests that run over every corpus topic.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brio::test {

struct CorpusTopic {
    int32_t status = 0;
    std::string rtf;
    int32_t count = 0;
    bool hasContext = false, hasTitle = false, hasBrowse = false, hasKeywords = false;
    std::string context, title, browse, keywords;
    uint32_t consumed = 0;
    std::string firstLine;
};

// One call of TopicImportString, its strings copied and released.
CorpusTopic ImportTopic(const std::string& rtf);

// A file's topics: import again on the text after `consumed` until the end.
std::vector<CorpusTopic> SplitTopics(const std::string& file);

}  // namespace brio::test
