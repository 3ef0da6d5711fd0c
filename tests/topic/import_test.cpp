// TopicImportString, TopicFindText, and real topics emitted and imported again.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"
#include "topic/topic_support.h"

namespace {

using namespace brio::test;

TEST(TopicImportString, TakesTheTopicApart) {
    const std::string sixty(60, 'x'), wide(600, 'w'), mega(1 << 20, 't');
    const std::string cs99 = "{\\*\\cs99 \\additive Autolink;}";
    const std::string cs100 = "{\\*\\cs100 \\additive Autolink;}";
    // A style sheet with its entries, and as import leaves it: `added` behind them.
    auto sheet = [](const std::string& entries, const std::string& added) {
        return std::pair<std::string, std::string>(
            "{\\rtf1{\\stylesheet" + entries + "}x}",
            "{\\rtf1{\\stylesheet" + entries + added + "}x}|0||x");
    };
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
        {"{\\rtf1{\\stylesheet{\\s1 A;}{\\s2 B", "{\\rtf1{\\stylesheet{\\s1 A;}{\\s2 B|0|||2003"},
        // A continuation after an earlier topic's \page.
        {"}{\\pard #{\\footnote c2}${\\footnote T2}Two\\par}}\r\n",
         "{\\pard Two\\par}|0|#c2 $T2|Two"},
        {"\r\n\\pard {\\b x\\page }y", "\\pard {\\b x}|0||x"},
        {"", "|0||"},
        // A style sheet gains an Autolink character style of a free number.
        sheet("{\\s0 Normal;}", cs99),
        sheet(cs99, ""),
        sheet("{\\*\\cs99 Mine;}", cs100),
        sheet("{\\s100 A;}{\\s99 B;}{\\*\\cs102 C;}", "{\\*\\cs101 \\additive Autolink;}"),
        // Not the links' style: a paragraph style, another case, a nested group's text.
        sheet("{\\s99 Autolink;}", cs100),
        sheet("{\\*\\cs10 D;}{\\*\\s98 Autolink;}", cs99),
        sheet("{\\*\\cs7 autolink;}", cs99),
        sheet("{\\*\\cs5{\\*\\x Q}\\additive Autolink;}", ""),
        sheet("{\\*\\cs5 {\\*\\x Autolink;}}", cs99),
    };
    for (const auto& [in, expected] : cases) {
        Imported r = ImportTopic(in);
        EXPECT_EQ(r.rtf + "|" + std::to_string(r.count) + "|" + Properties(r) + "|" + r.firstLine +
                      (r.status ? "|" + std::to_string(r.status) : ""),
                  expected)
            << in;
    }
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

// Whole words, in order, without regard to case.
TEST(TopicFindText, FindsWholeWordsInOrder) {
    std::string longWord(150, 'x');
    std::string manyWords;
    for (int i = 0; i < 300; ++i) manyWords += "w" + std::to_string(i) + " ";
    std::string as250, as300;
    for (int i = 0; i < 300; ++i) as300 += "a ";
    as250 = as300.substr(100);
    struct Case {
        std::string rtf, phrase;
        int32_t found, status;
    } cases[] = {
        // Unknown words between are no paragraph.
        {"{\\rtf1 set\\par\\widctlpar up}", "set up", 1, 0},
        {"{\\rtf1 set\\par{\\*\\bkmkstart x}up}", "set up", 1, 0},
        {"{\\rtf1 one\\'2ctwo}", "one two", 1, 0},
        {"{\\rtf1 foo\\line bar}", "foo bar", 1, 0},
        {"{\\rtf1 the\\tab end}", "the end", 1, 0},
        {"{\\rtf1 don\\rquote t}", "don't", 1, 0},
        {"{\\rtf1 one two}", "One, two", 1, 0},
        {"{\\rtf1 auto\\-link}", "autolink", 1, 0},
        // A paragraph end after no word is a word of its own.
        {"{\\rtf1 set\\par\\par up}", "set up", 0, 0},
        {"{\\rtf1 C:\\\\temp}", "c temp", 1, 0},
        {"{\\rtf1 a\\bin5 hello b}", "hello", 0, 0},
        {"{\\rtf1 a\\bin5 hello b}", "a b", 1, 0},
        {"{\\rtf1 abc\\", "abc", 0, BRIO_ERR_UNEXPECTED_END},
        {"{\\rtf1 abc def\\", "abc", 1, 0},  // found before the error
        // No length limits: a long word never matches a shorter one.
        {"{\\rtf1 " + longWord + "}", std::string(99, 'x'), 0, 0},
        {"{\\rtf1 " + manyWords + "}", manyWords, 1, 0},
        {"{\\rtf1 " + as300 + "b}", as250 + "b", 1, 0},
        {"{\\rtf1 a\\'61 a\\'61 a\\'61 b}", "aa aa b", 1, 0},  // words read across tokens
        // Only visible text: no bookmarks.
        {"{\\*\\bkmkstart UserGuide}x", "UserGuide", 0, 0},
        // Words in the document's code page.
        {"{\\rtf1\\ansicpg932 \\'81\\'41}", "A", 0, 0},
        {"{\\rtf1\\ansicpg932 \\'81\\'41}", "\x81\x41", 1, 0},
        {"{\\rtf1\\ansicpg932 \x81\\'61}", "\x81\x41", 0, 0},
    };
    int32_t status = -7;
    for (const auto& k : cases) {
        EXPECT_EQ(TopicFindText(k.rtf.c_str(), k.phrase.c_str(), &status), k.found)
            << k.rtf.substr(0, 60) << " / " << k.phrase.substr(0, 40);
        EXPECT_EQ(status, k.status) << k.rtf.substr(0, 60);
        status = -7;
    }
    EXPECT_EQ(TopicFindText(nullptr, "x", &status), 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(TopicFindText("x", nullptr, &status), 0);
    EXPECT_EQ(TopicFindText("{\\rtf1 x}", "x", nullptr), 1);
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
