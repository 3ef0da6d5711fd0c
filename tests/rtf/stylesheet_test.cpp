#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "rtf/rtf.h"

namespace brio {
namespace {

struct Pass {
    RtfContext c;
    explicit Pass(const char* text) {
        std::memset(&c, 0, sizeof c);
        c.inText = c.inPos = text;
        c.inIsString = 1;
        EXPECT_EQ(RtfStartBufferOutput(&c), 0);
    }
    ~Pass() {
        BrioFree(c.outBuffer);
        RtfFreeContext(&c);
    }
    std::string Out() const { return std::string(c.outBuffer); }
    std::vector<std::pair<int32_t, std::string>> Styles() const {
        std::vector<std::pair<int32_t, std::string>> out;
        for (int32_t i = 0; i < c.charStyleCount; ++i)
            out.emplace_back(c.charStyles[i].number, c.charStyles[i].name);
        return out;
    }
    // Reads up to and including \stylesheet, pushing groups.
    void ToStylesheet() {
        while (RtfNextToken(&c) == 0) {
            if (c.tokenKind == kRtfGroup && c.tokenText[0] == '{') RtfPushGroup(&c);
            if (c.keywordId == kRtfIdStylesheet && c.tokenKind == kRtfControlWord) return;
        }
        ADD_FAILURE() << "no style sheet";
    }
};

TEST(RtfFootnote, WritesTheExactForm) {
    std::string big(2000, 'c');
    struct Case {
        char mark;
        const char* text;
        std::string expected;
    } cases[] = {
        {'$', "Printing", "\r\n${\\footnote {\\super $}Printing}"},
        {'!', "Run(a\\b)", "\r\n!{\\footnote {\\super !}Run(a\\\\b)}"},
        {'!', "End\\", "\r\n!{\\footnote {\\super !}End\\\\}"},
        {'K', "a\\b", "\r\nK{\\footnote {\\super K}a\\b}"},
        {'#', big.c_str(), "\r\n#{\\footnote {\\super #}" + big + "}"},
        {'+', "", ""},
        {'+', nullptr, ""},
    };
    for (const auto& k : cases) {
        Pass p("");
        EXPECT_EQ(RtfWriteFootnote(&p.c, k.mark, k.text), 0);
        EXPECT_EQ(p.Out(), k.expected) << k.mark;
    }
}

TEST(RtfStylesheet, AutolinkNumberIsKeptWholeOrChosenFree) {
    struct Case {
        const char* sheet;
        const char* ref;
        const char* copied;  // what RtfCopyStylesheet adds, if anything
    } cases[] = {
        {"{\\stylesheet{\\*\\cs15 \\additive Autolink;}}", "\\cs15", ""},
        {"{\\stylesheet{\\*\\cs300 \\additive Autolink;}}", "\\cs300", ""},
        {"{\\stylesheet{\\s1 Heading;}}", "\\cs99", "{\\*\\cs99 \\additive Autolink;}"},
        {"{\\stylesheet{\\*\\cs99 \\additive Mine;}}", "\\cs100",
         "{\\*\\cs100 \\additive Autolink;}"},
        {"{\\stylesheet{\\s100 A;}{\\s99 B;}{\\*\\cs102 C;}}", "\\cs101",
         "{\\*\\cs101 \\additive Autolink;}"},
        {"{\\stylesheet{\\*\\ts99 T;}}", "\\cs100", "{\\*\\cs100 \\additive Autolink;}"},
        // Lower case counts for the lookup but not as the definition.
        {"{\\stylesheet{\\*\\cs7 autolink;}}", "\\cs7", "{\\*\\cs99 \\additive Autolink;}"},
    };
    for (const auto& k : cases) {
        Pass read(k.sheet);
        read.ToStylesheet();
        EXPECT_EQ(RtfReadStylesheet(&read.c, 0), 0) << k.sheet;
        char ref[kRtfStyleRefSize];
        EXPECT_EQ(RtfCharStyleRef(&read.c, "Autolink;", ref), 1);
        EXPECT_STREQ(ref, k.ref) << k.sheet;
        EXPECT_EQ(read.Out(), "");

        Pass copy(k.sheet);
        copy.ToStylesheet();
        EXPECT_EQ(RtfWriteString(&copy.c, "\\stylesheet"), 0);
        EXPECT_EQ(RtfCopyStylesheet(&copy.c), 0);
        std::string sheet = k.sheet;
        std::string expected =
            sheet.substr(1, sheet.size() - 2) + std::string(k.copied) + "}";
        EXPECT_EQ(copy.Out(), expected) << k.sheet;
        EXPECT_EQ(copy.c.depth, 0);
    }
}

TEST(RtfStylesheet, ReadWithEchoDropsTheAutolinkEntry) {
    using S = std::vector<std::pair<int32_t, std::string>>;
    std::string longName(600, 'N');
    struct Case {
        std::string sheet, echo;
        S styles;
    } cases[] = {
        {"{\\stylesheet{\\widctlpar\\f4\\fs20 \\snext0 Normal;}{\\*\\cs10 \\additive Default "
         "Paragraph Font;}{\\*\\cs99 \\additive Autolink;}}x}",
         "{\\widctlpar\\f4\\fs20 \\snext0 Normal;}{\\*\\cs10 \\additive Default Paragraph Font;}}",
         {{10, "Default Paragraph Font;"}, {99, "Autolink;"}}},
        // Entries may nest groups (list styles) and have long names.
        {"{\\stylesheet{\\s2\\fi-360{\\*\\pn \\pnlvlblt{\\pntxtb \\'b7}}\\f1 Bullet;}{\\*\\cs5 " +
             longName + ";}\r\n{\\*\\cs6{\\*\\x {y}}\\additive Autolink;}}x}",
         "{\\s2\\fi-360{\\*\\pn \\pnlvlblt{\\pntxtb \\'b7}}\\f1 Bullet;}{\\*\\cs5 " + longName +
             ";}\r\n}",
         {{5, longName + ";"}, {6, "Autolink;"}}},
    };
    for (const auto& k : cases) {
        std::string input = "{\\rtf1" + k.sheet;
        Pass p(input.c_str());
        p.ToStylesheet();
        EXPECT_EQ(RtfReadStylesheet(&p.c, 1), 0);
        EXPECT_EQ(p.c.depth, 1);
        EXPECT_EQ(p.Out(), k.echo);
        EXPECT_EQ(p.Styles(), k.styles);
        char ref[kRtfStyleRefSize];
        EXPECT_EQ(RtfCharStyleRef(&p.c, "Autolink", ref), 0);
        EXPECT_STREQ(ref, "");
        ASSERT_EQ(RtfNextToken(&p.c), 0);
        EXPECT_STREQ(p.c.tokenText, "x");
    }
}

TEST(RtfStylesheet, CopyNamesEntriesByTheirOwnText) {
    struct Case {
        const char* sheet;
        const char* added;
    } cases[] = {
        // The nested group's text is not part of the name.
        {"{\\stylesheet{\\*\\cs5{\\*\\x Q}\\additive Autolink;}}", ""},
        {"{\\stylesheet{\\*\\cs5 Auto{\\*\\x Q}link;}}", ""},
        {"{\\stylesheet{\\*\\cs5 {\\*\\x Autolink;}}}", "{\\*\\cs99 \\additive Autolink;}"},
        {"{\\stylesheet\r\n{\\s99 A;}\r\n}", "{\\*\\cs100 \\additive Autolink;}"},
    };
    for (const auto& k : cases) {
        Pass p(k.sheet);
        p.ToStylesheet();
        EXPECT_EQ(RtfCopyStylesheet(&p.c), 0) << k.sheet;
        std::string sheet = k.sheet;
        EXPECT_EQ(p.Out(), sheet.substr(12, sheet.size() - 13) + k.added + "}") << k.sheet;
    }
    Pass cut("{\\stylesheet{\\s1 A;}{\\s2 B");
    cut.ToStylesheet();
    EXPECT_EQ(RtfCopyStylesheet(&cut.c), -1);
}

TEST(RtfStylesheet, ReadReportsBrokenSheets) {
    struct Case {
        const char* sheet;
        int32_t status;
    } cases[] = {
        {"{\\stylesheet{\\s1 Normal;}", BRIO_ERR_UNEXPECTED_END},
        {"{\\stylesheet{\\s1 Nor", BRIO_ERR_UNEXPECTED_END},
        {"{\\stylesheet{\\s1 Normal;\\b}}", BRIO_ERR_UNBALANCED},
        {"{\\stylesheet\\par}", BRIO_ERR_UNBALANCED},
        {"{\\stylesheet{\\s1 Normal;}\\", BRIO_ERR_UNEXPECTED_END},
    };
    for (const auto& k : cases) {
        Pass p(k.sheet);
        p.ToStylesheet();
        EXPECT_EQ(RtfReadStylesheet(&p.c, 1), k.status) << k.sheet;
    }
}

TEST(RtfStylesheet, ReadReportsAllocationFailure) {
    // Where only the choice of a free number suffered, the read still succeeds.
    int reported = 0;
    for (long n = 1; n < 10; ++n) {
        Pass p("{\\stylesheet{\\*\\cs10 A;}{\\*\\cs11 B;}}");
        p.ToStylesheet();
        FailAllocationAfter(n);
        int32_t rc = RtfReadStylesheet(&p.c, 1);
        FailAllocationAfter(0);
        EXPECT_TRUE(rc == 0 || rc == BRIO_ERR_NO_MEMORY) << n << ": " << rc;
        if (rc == BRIO_ERR_NO_MEMORY) ++reported;
    }
    EXPECT_GE(reported, 4);
}

}  // namespace
}  // namespace brio
