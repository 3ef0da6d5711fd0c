// TopicImportString, and real topics emitted, imported again and searched.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"
#include "topic/topic_support.h"

namespace {

using namespace brio::test;

TEST(TopicImportString, TakesTheTopicApart) {
    const std::string sixty(60, 'x'), wide(600, 'w'), mega(1 << 20, 't');
    // The text | count | footnotes | first line, and | status when not 0.
    const std::pair<std::string, std::string> cases[] = {
        {"{\\rtf1 {\\keepn Title\\par}\\pard Body\\page More}",
         "{\\rtf1 {Title\\par}Body}|6||Title"},
        {"{\\rtf1 #{\\footnote a}x#{\\footnote b}y}", "{\\rtf1 x\\{#b\\}y}|0|#a|xy"},
        {"{\\rtf1 K{\\footnote x}K{\\footnote y}k{\\footnote z}+{\\footnote s:1}}",
         "{\\rtf1 }|0|+s:1 Kx|y|z|"},
        {"{\\rtf1 ${\\footnote " + mega + "}x}", "{\\rtf1 x}|0|$" + mega + "|x"},
        {"{\\rtf1 !{\\footnote Macro()}A{\\footnote x}z}", "{\\rtf1 z}|0||z"},
        {"{\\rtf1 ${\\footnote {\\up6 $} Title}z}", "{\\rtf1 z}|0|$Title|z"},
        // Only the leading reference mark is dropped.
        {"{\\rtf1 K{\\footnote K Kernel}${\\footnote Save $ now}}",
         "{\\rtf1 }|0|$Save $ now KKernel|"},
        // Footnotes written the word-processor way.
        {"{\\rtf1 {\\cs16\\super #{\\footnote \\pard {\\cs16\\super #} ctx}}T}",
         "{\\rtf1 {\\cs16\\super }T}|0|#ctx|T"},
        // No mark right before: copied through, nothing taken back.
        {"{{\\footnote a}{\\footnote b}{\\footnote c}xyz}",
         "{{\\footnote a}{\\footnote b}{\\footnote c}xyz}|0||xyz"},
        {"{\\rtf1 {\\cs15\\super \\chftn {\\footnote x}}y}",
         "{\\rtf1 {\\cs15\\super \\chftn {\\footnote x}}y}|0||y"},
        {"{\\rtf1 \\{{\\footnote x}}", "{\\rtf1 \\{{\\footnote x}}|0||{"},
        // Dropped words never join a control word to the text after it.
        {"{\\rtf1\\qc\\keepn Title\\par\\pard Body}", "{\\rtf1\\qc Title\\par Body}|6||Title"},
        {"{\\rtf1\\b#{\\footnote c}Title}", "{\\rtf1\\b Title}|0|#c|Title"},
        {"{\\rtf1\\f1\r\n1}", "{\\rtf1\\f1 1}|0||1"},
        // Unknown words are no paragraph.
        {"{\\rtf1 \\keepn A\\par\\widctlpar B\\par\\pard C}",
         "{\\rtf1 A\\par\\widctlpar B\\par C}|4||A"},
        {"{\\rtf1 " + sixty + "}", "{\\rtf1 " + sixty + "}|0||" + std::string(49, 'x')},
        {"{\\rtf1 #{\\footnote a}#{\\footnote " + wide + "}}",
         "{\\rtf1 \\{#" + wide + "\\}}|0|#a|"},
        // Only a \keepn before the first text makes the region.
        {"{\\rtf1 A\\par\\pard B\\keepn\\par\\pard C}",
         "{\\rtf1 A\\par\\pard B\\keepn\\par\\pard C}|0||A"},
        {"{\\rtf1 \\keepn T\\par}", "{\\rtf1 T\\par}|2||T"},  // to the end
        {"{\\rtf1 \\keepn T\\keepn\\par\\pard B}", "{\\rtf1 T\\par B}|2||T"},
        {"{\\rtf1 #{\\footnote c}\\keepn T\\par\\pard B}", "{\\rtf1 T\\par B}|2|#c|T"},
        // A \'hh escape is one character: its digits are no footnote mark.
        {"{\\rtf1 caf\\'e9{\\footnote note}s}", "{\\rtf1 caf\\'e9{\\footnote note}s}|0||caf'e9s"},
        {"{\\rtf1 \\\\K{\\footnote kw}}", "{\\rtf1 \\\\}|0|Kkw|"},
        // A mark taken back takes the blank that delimited it with it.
        {"{\\rtf1\\b\r\nK{\\footnote kw}Title}", "{\\rtf1\\b Title}|0|Kkw|Title"},
        // The input ending inside a group.
        {"{\\rtf1 {\\b ab", "{\\rtf1 {\\b ab|0||ab|2003"},
        {"{\\rtf1 ${\\footnote abc", "{\\rtf1 |0|||2003"},
        {"{\\rtf1 {\\fonttbl{\\f0 A", "{\\rtf1 {\\fonttbl{\\f0 A|0|||2003"},
        // A continuation after an earlier topic's \page.
        {"}{\\pard #{\\footnote c2}${\\footnote T2}Two\\par}}\r\n",
         "{\\pard Two\\par}|0|#c2 $T2|Two"},
        {"\r\n\\pard {\\b x\\page }y", "\\pard {\\b x}|0||x"},
        {"", "|0||"},
    };
    for (const auto& [in, expected] : cases) {
        Imported r = ImportTopic(in);
        EXPECT_EQ(r.rtf + "|" + std::to_string(r.count) + "|" + Properties(r) + "|" + r.firstLine +
                      (r.status ? "|" + std::to_string(r.status) : ""),
                  expected)
            << in;
    }
}

TEST(TopicImportString, StyleSheetGainsAFreeAutolinkStyle) {
    const std::string added = "{\\*\\cs99 \\additive Autolink;}";
    struct Case {
        const char* sheet;
        std::string added;
    } cases[] = {
        {"{\\s0 Normal;}", added},
        {"{\\*\\cs99 \\additive Autolink;}", ""},
        {"{\\*\\cs99 Mine;}", "{\\*\\cs100 \\additive Autolink;}"},
        {"{\\s100 A;}{\\s99 B;}{\\*\\cs102 C;}", "{\\*\\cs101 \\additive Autolink;}"},
        // A paragraph style of the name does not define the links' style.
        {"{\\s99 Autolink;}", "{\\*\\cs100 \\additive Autolink;}"},
        {"{\\*\\cs10 D;}{\\*\\s98 Autolink;}", added},
        {"{\\*\\cs7 autolink;}", added},  // lower case is not the definition
        // A nested group's text is not part of the name.
        {"{\\*\\cs5{\\*\\x Q}\\additive Autolink;}", ""},
        {"{\\*\\cs5 {\\*\\x Autolink;}}", added},
    };
    for (const auto& k : cases) {
        Imported r = ImportTopic("{\\rtf1{\\stylesheet" + std::string(k.sheet) + "}x}");
        EXPECT_EQ(r.status, 0) << k.sheet;
        EXPECT_EQ(r.rtf, "{\\rtf1{\\stylesheet" + std::string(k.sheet) + k.added + "}x}");
    }
    EXPECT_EQ(ImportTopic("{\\rtf1{\\stylesheet{\\s1 A;}{\\s2 B").status, BRIO_ERR_UNEXPECTED_END);
}

TEST(TopicImportString, ReportsWhatItConsumed) {
    std::string text = "{\\rtf1 One\\par{\\page }{\\pard Two\\page Three}";
    std::vector<Imported> topics = SplitTopics(text);
    ASSERT_EQ(topics.size(), 3u);
    EXPECT_EQ(topics[0].consumed, text.find("\\page ") + 6);
    EXPECT_EQ(topics[0].consumed + topics[1].consumed + topics[2].consumed, text.size());
    EXPECT_EQ(topics[0].rtf + "|" + topics[1].rtf + "|" + topics[2].rtf,
              "{\\rtf1 One\\par{}}|{\\pard Two}|Three");
    EXPECT_EQ(topics[2].status, 0);
}

TEST(TopicCorpus, EveryTopicSurvivesEmissionAndImport) {
    TempDir dir;
    std::string path = dir.File("topic.rtf");
    int topics = 0, later = 0, laterWithProperties = 0, withRegion = 0, laterKeepn = 0;
    for (const auto& file : ListFiles(CorpusDir("rtf"))) {
        std::vector<Imported> split = SplitTopics(ReadFile(file));
        ASSERT_FALSE(split.empty()) << file;
        for (size_t i = 0; i < split.size(); ++i) {
            const Imported& first = split[i];
            SCOPED_TRACE(file + " topic " + std::to_string(i));
            ++topics;
            EXPECT_EQ(first.status, 0);
            later += i > 0;
            laterWithProperties += i > 0 && (first.hasContext || first.hasTitle);
            withRegion += first.count > 0;
            laterKeepn += first.rtf.find("\\keepn") != std::string::npos;
            std::string keywords = first.keywords;
            ASSERT_EQ(TopicEmitRtfFile(first.rtf.c_str(),
                                       first.hasContext ? first.context.c_str() : nullptr,
                                       first.hasTitle ? first.title.c_str() : nullptr, nullptr,
                                       first.hasKeywords ? &keywords[0] : nullptr,
                                       first.hasBrowse ? first.browse.c_str() : nullptr,
                                       path.c_str(), first.count),
                      0);
            Imported second = ImportTopic(ReadFile(path));
            EXPECT_EQ(second.status, 0);
            EXPECT_EQ(Properties(second), Properties(first));
            EXPECT_EQ(second.count, first.count);
            EXPECT_TRUE(second.rtf == first.rtf);
        }
    }
    EXPECT_GT(withRegion, 30);
    EXPECT_GT(laterKeepn, 400);
    EXPECT_GT(topics, 2000);
    EXPECT_GT(laterWithProperties, later * 9 / 10);
}

}  // namespace
