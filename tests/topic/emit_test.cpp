// The writers: the topic template, TopicEmitRtfFile and the placeholder file.
#include <gtest/gtest.h>

#include <string>

#include "brioutil.h"
#include "test_support.h"

namespace {

using namespace brio::test;

const std::string kTemplate =
    "{\\rtf1\\ansi \\deff4\\deflang1033{\\fonttbl{\\f4\\froman\\fcharset0\\fprq2 Times New "
    "Roman;}}{\\colortbl;\\red0\\green0\\blue0;\\red0\\green0\\blue255;\\red0\\green255\\blue255;"
    "\\red0\\green255\\blue0;\\red255\\green0\\blue255;\\red255\\green0\\blue0;\\red255\\green255"
    "\\blue0;\\red255\\green255\\blue255;\\red0\\green0\\blue128;\\red0\\green128\\blue128;\\red0"
    "\\green128\\blue0;\\red128\\green0\\blue128;\\red128\\green0\\blue0;\\red128\\green128\\blue0;"
    "\\red128\\green128\\blue128;\\red192\\green192\\blue192;}{\\stylesheet{\\widctlpar\\f4\\fs20 "
    "\\snext0 Normal;}{\\*\\cs10 \\additive Default Paragraph Font;}{\\*\\cs99 \\additive "
    "Autolink;}}}";
const std::string kHeader = kTemplate.substr(0, kTemplate.size() - 1);

// A footnote as the writers put it: its mark, and the mark again as superscript.
std::string Note(char mark, const std::string& text) {
    return std::string(1, mark) + "{\\footnote {\\super " + mark + "}" + text + "}";
}

// The status, '|', and the file written.
std::string Emit(const std::string& rtf, int32_t count, const char* context = nullptr,
                 const char* title = nullptr, const char* macro = nullptr, char* keywords = nullptr,
                 const char* browse = nullptr) {
    TempDir dir;
    std::string path = dir.File("topic.rtf");
    int32_t status =
        TopicEmitRtfFile(rtf.c_str(), context, title, macro, keywords, browse, path.c_str(), count);
    return std::to_string(status) + "|" + ReadFile(path);
}

TEST(TopicEmitRtfFile, TemplateWithEveryFootnote) {
    uint32_t length = 0;
    int32_t status = -1;
    const char* tmpl = TopicNew(&length, &status);
    EXPECT_EQ(status, 0);
    ASSERT_EQ(std::string(tmpl, length), kTemplate);
    EXPECT_EQ(TopicNew(&length, &status), tmpl);  // one copy, handed out again
    // Footnotes of any length stay whole.
    std::string title(3000, 't'), alpha(1500, 'a');
    std::string keywordText = alpha + "|b\\eta||gamma";
    char* keywords = &keywordText[0];
    std::string header = kHeader;
    header.erase(header.find("{\\*\\cs99 \\additive Autolink;}"), 29);
    // Keywords as they are; an empty one dropped.
    EXPECT_EQ(Emit(kTemplate, 0, "ctx", title.c_str(), "Run(a\\b)\\", keywords, "seq:010"),
              "0|" + header + "\r\n\r\n" + Note('#', "ctx") + "\r\n" + Note('$', title) + "\r\n" +
                  Note('!', "Run(a\\\\b)\\\\") + "\r\n" + Note('K', alpha) + "\r\n" +
                  Note('K', "b\\eta") + "\r\n" + Note('K', "gamma") + "\r\n" +
                  Note('+', "seq:010") + "\r\n}");
    EXPECT_EQ(std::string(keywords), alpha);  // split in place
}

TEST(TopicEmitRtfFile, BodyRules) {
    const std::string sheet = "{\\stylesheet{\\*\\cs99 \\additive Autolink;}}";
    const std::string sheet15 = "{\\stylesheet{\\*\\cs15 \\additive Autolink;}}";
    const std::string longName(600, 'N');
    struct Case {
        std::string rtf;
        int32_t count, status;
        std::string expected;
    } cases[] = {
        // The region closes behind the count-th counted token.
        {"{\\rtf1 Title\\par \\pard\\plain Body}", 6, 0,
         "{\\rtf1 \\keepn\r\n\r\n\r\nTitle\\par \\pard \\pard\\plain Body}"},
        {"{\\rtf1 Title\\par \\pard\\plain Body}", 0, 0,
         "{\\rtf1 \r\n\r\nTitle\\par \\pard\\plain Body}"},
        {"{\\rtf1 AB}", 1, 0, "{\\rtf1 \\keepn\r\n\r\n\r\nA\\pard B}"},
        {"{\\rtf1 AB}", 9, 0, "{\\rtf1 \\keepn\r\n\r\n\r\nAB\\pard }"},
        // Destinations count nothing; a control symbol counts once.
        {"{\\rtf1 A{\\footnote xyz}\\'e9C}", 4, 0,
         "{\\rtf1 \\keepn\r\n\r\n\r\nA{\\footnote xyz}\\'e9\\pard C}"},
        // A \par before the text is the first counted token.
        {"{\\rtf1\\pard\\par Title\\par}", 3, 0,
         "{\\rtf1\\pard\\keepn\r\n\r\n\r\n\\par Ti\\pard tle\\par}"},
        // \ul ends the header but is not counted.
        {"{\\rtf1 {\\ul AB}C}", 1, 0, "{\\rtf1 {\\keepn\r\n\r\n\r\n\\ul A\\pard B}C}"},
        // Inline context markers, exactly as import writes them.
        {"{\\rtf1 x\\{#second_topic\\}y}", 0, 0,
         "{\\rtf1 \r\n\r\nx\r\n\r\n#{\\footnote {\\super #}second_topic}y}"},
        {"{\\rtf1 x\\{#a\\b b\\}y}", 0, 0, "{\\rtf1 \r\n\r\nx\\{#a\\b b\\}y}"},
        {"{\\rtf1 auto\\-link}", 0, 0, "{\\rtf1 \r\n\r\nauto\\-link}"},
        {"{\\rtf1 x\\{#ab", 0, BRIO_ERR_GROUPS_OPEN, "{\\rtf1 \r\n\r\nx\\{#ab"},
        // The Autolink style goes, with its definition.
        {"{\\rtf1" + sheet + "x{\\cs99\\ul Printer}{\\v print_topic}{\\cs99 P}}", 0, 0,
         "{\\rtf1{\\stylesheet}\r\n\r\nx{\\ul Printer}{\\v print_topic}{\\cs99 P}}"},
        {"{\\rtf1" + sheet15 + "x{\\cs15\\ul P}{\\cs99\\ul Q}}", 0, 0,
         "{\\rtf1{\\stylesheet}\r\n\r\nx{\\ul P}{\\cs99\\ul Q}}"},
        // A paragraph style of the name is the document's own.
        {"{\\rtf1{\\stylesheet{\\s99 Autolink;}{\\*\\cs100 \\additive Autolink;}}{\\s99 "
         "x{\\cs100\\ul P}}}",
         0, 0, "{\\rtf1{\\stylesheet{\\s99 Autolink;}}{\\s99 \r\n\r\nx{\\ul P}}}"},
        // Entries may nest groups (list styles) and have long names.
        {"{\\rtf1{\\stylesheet{\\s2{\\*\\pn \\pnlvlblt{\\pntxtb \\'b7}}\\f1 Bullet;}{\\*\\cs5 " +
             longName + ";}\r\n{\\*\\cs6{\\*\\x {y}}\\additive Autolink;}}x{\\cs6\\ul P}}",
         0, 0,
         "{\\rtf1{\\stylesheet{\\s2{\\*\\pn \\pnlvlblt{\\pntxtb \\'b7}}\\f1 Bullet;}{\\*\\cs5 " +
             longName + ";}\r\n}\r\n\r\nx{\\ul P}}"},
        // Without a style sheet only an exact \cs99 before the body goes.
        {"{\\rtf1\\cs99\\cs99 x\\cs99\\b y}", 0, 0, "{\\rtf1\\cs99 \r\n\r\nx\\cs99\\b y}"},
        // A dropped word never lets the word before swallow the text.
        {"{\\rtf1" + sheet + "a\\b\\cs99x}", 0, 0, "{\\rtf1{\\stylesheet}\r\n\r\na\\b x}"},
        // Open groups: reported, the file still written as far as it went.
        {"{\\rtf1 {\\b abc", 0, BRIO_ERR_GROUPS_OPEN, "{\\rtf1 {\\b \r\n\r\nabc"},
        {"{\\rtf1 abc}}", 0, BRIO_ERR_GROUPS_OPEN, "{\\rtf1 \r\n\r\nabc}}"},
        // Line ends are dropped in the header only.
        {"{\\rtf1\r\n{\\fonttbl\r\n{\\f0 A;}}\r\nx\r\ny}", 0, 0,
         "{\\rtf1{\\fonttbl\r\n{\\f0 A;}}\r\n\r\nx\r\ny}"},
        // A continuation starts inside the document.
        {"\\pard Title\\par more", 6, 0, "\\pard \\keepn\r\n\r\n\r\nTitle\\par \\pard more"},
        // A fragment's closing braces are not its own; its links use the default style.
        {"x}}", 0, 0, "\r\n\r\nx"},
        {"{\\cs99\\ul P}{\\cs99\\v T}", 0, 0, "{\r\n\r\n\\ul P}{\\v T}"},
    };
    for (const auto& k : cases) {
        EXPECT_EQ(Emit(k.rtf, k.count), std::to_string(k.status) + "|" + k.expected) << k.rtf;
    }
}

TEST(TopicEmitRtfFile, FailuresLeaveTheOldFile) {
    TempDir dir;
    std::string path = dir.File("topic.rtf");
    auto emit = [](const char* rtf, const char* to) {
        return TopicEmitRtfFile(rtf, nullptr, nullptr, "m", nullptr, nullptr, to, 0);
    };
    ASSERT_TRUE(WriteFile(path, "old"));
    const std::pair<const char*, int32_t> cases[] = {
        {"{\\rtf1{\\stylesheet\\par}x}", BRIO_ERR_UNBALANCED},
        {"{\\rtf1{\\stylesheet{\\s0 a;}", BRIO_ERR_UNEXPECTED_END},
        {"{\\rtf1{\\fonttbl{\\f0", BRIO_ERR_UNEXPECTED_END},
        {"{\\rtf1 x\\", BRIO_ERR_UNEXPECTED_END},
    };
    for (const auto& [rtf, status] : cases) {
        EXPECT_EQ(emit(rtf, path.c_str()), status) << rtf;
        EXPECT_EQ(ReadFile(path), "old");
    }
    EXPECT_EQ(dir.Entries().size(), 1u);  // no temporary file left behind
    EXPECT_EQ(emit("{\\rtf1 x}", path.c_str()), 0);
    EXPECT_EQ(ReadFile(path), "{\\rtf1 \r\n\r\n!{\\footnote {\\super !}m}\r\nx}");
    EXPECT_EQ(emit("{\\rtf1 x}", dir.File("no/such/dir/t.rtf").c_str()), BRIO_ERR_CREATE_OUTPUT);
    EXPECT_EQ(emit("{}", nullptr), BRIO_ERR_CREATE_OUTPUT);
}

#ifdef _WIN32
const std::string kNl = "\r\n";  // text mode stores the platform's line break
#else
const std::string kNl = "\n";
#endif

TEST(TopicDummyFile, WritesPlaceholderTopicsAndReportsFailures) {
    TempDir dir;
    std::string path = dir.File("dummy.rtf");
    TopicFile* file = TopicOpenDummyFile(path.c_str());
    ASSERT_NE(file, nullptr);
    char keywords[] = "start|begin";
    EXPECT_EQ(TopicDummy(file, "intro", "Introduction", nullptr, keywords, nullptr, nullptr, 1), 0);
    EXPECT_STREQ(keywords, "start");
    char three[] = "a||b";
    EXPECT_EQ(TopicDummy(file, "", nullptr, "Run(\"c:\\x\")", three, "s:1", "C:\\temp {x}", 0), 0);
    for (const char* body : {"Hello", " x", "\\x", "-1"})
        EXPECT_EQ(
            TopicDummy(file, nullptr, nullptr, nullptr, nullptr, nullptr, body, body[0] == ' '), 0);
    EXPECT_EQ(TopicCloseDummyFile(file), 0);
    // Macro as given, empty keyword kept, body escaped and kept off the control word.
    EXPECT_EQ(ReadFile(path), kHeader + "\\page\\keepn" + kNl + Note('#', "intro") + kNl +
                                  Note('$', "Introduction") + kNl + Note('K', "start") + kNl +
                                  Note('K', "begin") + kNl + "\\par\\pard" + kNl + "\\page" + kNl +
                                  Note('!', "Run(\"c:\\x\")") + kNl + Note('K', "a") + kNl +
                                  Note('K', "") + kNl + Note('K', "b") + kNl + Note('+', "s:1") +
                                  "C:\\\\temp \\{x\\}\\page Hello\\page\\keepn  x" + kNl +
                                  "\\par\\pard" + kNl + "\\page\\\\x\\page -1}" + kNl);
    EXPECT_EQ(TopicOpenDummyFile(dir.File("no/such/dir/x.rtf").c_str()), nullptr);
    EXPECT_EQ(TopicOpenDummyFile(nullptr), nullptr);
    EXPECT_EQ(TopicDummy(nullptr, "a", "b", "c", nullptr, "d", "e", 1), 0);
#ifndef _WIN32
    // A full device fails at the final flush: reported by the close. Not as
    // root, where a build that took the device for a file could replace it.
    EXPECT_EQ(brio::test::RunUnprivileged([] {
                  TopicFile* full = TopicOpenDummyFile("/dev/full");
                  for (int i = 0; full && i < 100; ++i)
                      TopicDummy(full, "ctx", "title", nullptr, nullptr, nullptr, "body text", 0);
                  return full && TopicCloseDummyFile(full) == BRIO_ERR_WRITE;
              }),
              1);
#endif
}

}  // namespace
