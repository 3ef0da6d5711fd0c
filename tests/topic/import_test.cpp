#include <gtest/gtest.h>

#include <string>

#include "brioutil.h"
#include "platform/platform.h"
#include "test_support.h"
#include "topic/corpus_topics.h"

namespace {

using brio::test::CorpusTopic;
using brio::test::ImportTopic;

TEST(TopicImportString, TakesTheTopicApart) {
    std::string sixty(60, 'x');
    std::string wide(600, 'w'), a(1000, 'a'), b(1000, 'b'), ab = a + "|" + b;
    struct Case {
        std::string in;
        int32_t status;
        std::string rtf;
        int32_t count;
        const char* context;
        const char* title;
        const char* keywords;
        std::string firstLine;
    } cases[] = {
        {"{\\rtf1 {\\keepn Title\\par}\\pard Body\\page More}", 0, "{\\rtf1 {Title\\par}Body}", 6,
         nullptr, nullptr, nullptr, "Title"},
        {"{\\rtf1 #{\\footnote a}x#{\\footnote b}y}", 0, "{\\rtf1 x\\{#b\\}y}", 0, "a", nullptr,
         nullptr, "xy"},
        {"{\\rtf1 K{\\footnote x}K{\\footnote y}k{\\footnote z}}", 0, "{\\rtf1 }", 0, nullptr,
         nullptr, "x|y|z", ""},
        {"{\\rtf1 K{\\footnote " + a + "}K{\\footnote " + b + "}}", 0, "{\\rtf1 }", 0, nullptr,
         nullptr, ab.c_str(), ""},
        {"{\\rtf1 !{\\footnote Macro()}A{\\footnote x}z}", 0, "{\\rtf1 z}", 0, nullptr, nullptr,
         nullptr, "z"},
        {"{\\rtf1 ${\\footnote {\\up6 $} Title}z}", 0, "{\\rtf1 z}", 0, nullptr, "Title", nullptr,
         "z"},
        // Only the leading reference mark is dropped.
        {"{\\rtf1 K{\\footnote K Kernel}${\\footnote Save $ now}}", 0, "{\\rtf1 }", 0, nullptr,
         "Save $ now", "Kernel", ""},
        {"{\\rtf1 K{\\footnote {\\super K}Kernel K}}", 0, "{\\rtf1 }", 0, nullptr, nullptr,
         "Kernel K", ""},
        // Footnotes written the word-processor way.
        {"{\\rtf1 {\\cs16\\super #{\\footnote \\pard {\\cs16\\super #} ctx}}T}", 0,
         "{\\rtf1 {\\cs16\\super }T}", 0, "ctx", nullptr, nullptr, "T"},
        // No mark right before: copied through, nothing taken back.
        {"{{\\footnote a}{\\footnote b}{\\footnote c}xyz}", 0,
         "{{\\footnote a}{\\footnote b}{\\footnote c}xyz}", 0, nullptr, nullptr, nullptr, "xyz"},
        {"{\\rtf1 {\\cs15\\super \\chftn {\\footnote x}}y}", 0,
         "{\\rtf1 {\\cs15\\super \\chftn {\\footnote x}}y}", 0, nullptr, nullptr, nullptr, "y"},
        {"{\\rtf1 \\{{\\footnote x}}", 0, "{\\rtf1 \\{{\\footnote x}}", 0, nullptr, nullptr,
         nullptr, "{"},
        // Dropped words never join a control word to the text after it.
        {"{\\rtf1\\qc\\keepn Title\\par\\pard Body}", 0, "{\\rtf1\\qc Title\\par Body}", 6,
         nullptr, nullptr, nullptr, "Title"},
        {"{\\rtf1\\b#{\\footnote c}Title}", 0, "{\\rtf1\\b Title}", 0, "c", nullptr, nullptr,
         "Title"},
        {"{\\rtf1\\f1\r\n1}", 0, "{\\rtf1\\f1 1}", 0, nullptr, nullptr, nullptr, "1"},
        // Unknown words are no paragraph.
        {"{\\rtf1 \\keepn A\\par\\widctlpar B\\par\\pard C}", 0, "{\\rtf1 A\\par\\widctlpar B\\par C}",
         4, nullptr, nullptr, nullptr, "A"},
        {"{\\rtf1 " + sixty + "}", 0, "{\\rtf1 " + sixty + "}", 0, nullptr, nullptr, nullptr,
         std::string(49, 'x')},
        {"{\\rtf1 #{\\footnote a}#{\\footnote " + wide + "}}", 0, "{\\rtf1 \\{#" + wide + "\\}}",
         0, "a", nullptr, nullptr, ""},
        // Style sheets gain the Autolink style only when they have a sheet.
        {"{\\rtf1{\\stylesheet{\\s0 Normal;}}x}", 0,
         "{\\rtf1{\\stylesheet{\\s0 Normal;}{\\*\\cs99 \\additive Autolink;}}x}", 0, nullptr,
         nullptr, nullptr, "x"},
        {"{\\rtf1{\\stylesheet{\\*\\cs99 Mine;}}x}", 0,
         "{\\rtf1{\\stylesheet{\\*\\cs99 Mine;}{\\*\\cs100 \\additive Autolink;}}x}", 0, nullptr,
         nullptr, nullptr, "x"},
        {"{\\rtf1{\\stylesheet{\\*\\cs99 \\additive Autolink;}}x}", 0,
         "{\\rtf1{\\stylesheet{\\*\\cs99 \\additive Autolink;}}x}", 0, nullptr, nullptr, nullptr,
         "x"},
        // The input ending inside a group.
        {"{\\rtf1 {\\b ab", BRIO_ERR_UNEXPECTED_END, "{\\rtf1 {\\b ab", 0, nullptr, nullptr,
         nullptr, "ab"},
        {"{\\rtf1 $", BRIO_ERR_UNEXPECTED_END, "{\\rtf1 $", 0, nullptr, nullptr, nullptr, "$"},
        {"{\\rtf1 ${\\footnote abc", BRIO_ERR_UNEXPECTED_END, "{\\rtf1 ", 0, nullptr, nullptr,
         nullptr, ""},
        {"{\\rtf1 x\\", BRIO_ERR_UNEXPECTED_END, "{\\rtf1 x", 0, nullptr, nullptr, nullptr, "x"},
        // A continuation after an earlier topic's \page.
        {"}{\\pard #{\\footnote c2}${\\footnote T2}Two\\par}}\r\n", 0, "{\\pard Two\\par}", 0,
         "c2", "T2", nullptr, "Two"},
        {"\r\n\\pard {\\b x\\page }y", 0, "\\pard {\\b x}", 0, nullptr, nullptr, nullptr, "x"},
        {"", 0, "", 0, nullptr, nullptr, nullptr, ""},
    };
    for (const auto& k : cases) {
        CorpusTopic r = ImportTopic(k.in);
        EXPECT_EQ(r.status, k.status) << k.in;
        EXPECT_EQ(r.rtf, k.rtf) << k.in;
        EXPECT_EQ(r.count, k.count) << k.in;
        EXPECT_EQ(r.hasContext, k.context != nullptr) << k.in;
        EXPECT_EQ(r.context, k.context ? k.context : "") << k.in;
        EXPECT_EQ(r.hasTitle, k.title != nullptr) << k.in;
        EXPECT_EQ(r.title, k.title ? k.title : "") << k.in;
        EXPECT_EQ(r.hasKeywords, k.keywords != nullptr) << k.in;
        EXPECT_EQ(r.keywords, k.keywords ? k.keywords : "") << k.in;
        EXPECT_EQ(r.firstLine, k.firstLine) << k.in;
    }
}

TEST(TopicImportString, ReportsWhatItConsumed) {
    std::string text = "{\\rtf1 One\\par{\\page }{\\pard Two\\page Three}";
    CorpusTopic first = ImportTopic(text);
    EXPECT_EQ(first.rtf, "{\\rtf1 One\\par{}}");
    ASSERT_EQ(first.consumed, text.find("\\page ") + 6);
    CorpusTopic second = ImportTopic(text.substr(first.consumed));
    EXPECT_EQ(second.rtf, "{\\pard Two}");
    EXPECT_EQ(second.status, 0);
    CorpusTopic third = ImportTopic(text.substr(first.consumed + second.consumed));
    EXPECT_EQ(third.rtf, "Three");
    EXPECT_EQ(third.status, 0);
    EXPECT_EQ(first.consumed + second.consumed + third.consumed, text.size());
}

TEST(TopicImportString, MegabyteFootnoteIsCollectedWhole) {
    std::string title(1 << 20, 't');
    CorpusTopic r = ImportTopic("{\\rtf1 ${\\footnote " + title + "}x}");
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.title == title);
    EXPECT_EQ(r.rtf, "{\\rtf1 x}");
}

TEST(TopicImportString, AllocationFailures) {
    brio::FailAllocationAfter(1);
    int32_t status = 0;
    TopicImport* h = TopicImportString("{\\rtf1 x}", nullptr, nullptr, nullptr, nullptr, nullptr,
                                       nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                       nullptr, nullptr, nullptr, &status);
    brio::FailAllocationAfter(0);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(status, BRIO_ERR_NOT_FOUND);

    std::string text = "{\\rtf1{\\stylesheet{\\s0 N;}}{\\b #{\\footnote c}K{\\footnote k1}"
                       "K{\\footnote k2}" + std::string(3000, 'x') + "}}";
    int reported = 0;
    for (long n = 2; n < 40; ++n) {
        brio::FailAllocationAfter(n);
        CorpusTopic r = ImportTopic(text);
        brio::FailAllocationAfter(0);
        EXPECT_TRUE(r.status == 0 || r.status == BRIO_ERR_NO_MEMORY) << n << " " << r.status;
        if (r.status == BRIO_ERR_NO_MEMORY) ++reported;
    }
    EXPECT_GE(reported, 5);
}

}  // namespace
