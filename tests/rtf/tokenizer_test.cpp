#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "rtf/rtf.h"
#include "test_support.h"

namespace brio {
namespace {

struct Token {
    int32_t kind;
    std::string text;
    int32_t id;
    int32_t keywordClass;
    bool operator==(const Token& o) const {
        return kind == o.kind && text == o.text && id == o.id && keywordClass == o.keywordClass;
    }
};

std::ostream& operator<<(std::ostream& os, const Token& t) {
    return os << "{" << t.kind << ",'" << t.text << "'," << t.id << "," << t.keywordClass << "}";
}

void InitString(RtfContext* c, const char* text) {
    std::memset(c, 0, sizeof *c);
    c->inText = c->inPos = text;
    c->inIsString = 1;
    c->outIsBuffer = 1;
}

// All tokens of a text, and the code that ended the stream.
std::vector<Token> Tokens(RtfContext* c, int32_t* end) {
    std::vector<Token> out;
    int32_t rc;
    while ((rc = RtfNextToken(c)) == 0)
        out.push_back({c->tokenKind, std::string(RtfTokenText(c), c->tokenLength), c->keywordId,
                       c->keywordClass});
    *end = rc;
    return out;
}

std::vector<Token> Tokens(const std::string& text, int32_t* end, uint32_t* consumed = nullptr) {
    RtfContext c;
    InitString(&c, text.c_str());
    auto out = Tokens(&c, end);
    if (consumed) *consumed = c.consumed;
    RtfFreeContext(&c);
    return out;
}

constexpr int32_t G = kRtfGroup, W = kRtfControlWord, T = kRtfText, L = kRtfLineEnd;

TEST(RtfTokenizer, CutsTokensExactly) {
    struct Case {
        const char* input;
        std::vector<Token> tokens;
        int32_t end;
        uint32_t consumed;
    } cases[] = {
        {"{\\b bold}",
         {{G, "{", 0, 0}, {W, "\\b ", 1051, kRtfToggle}, {T, "b", 1051, 0}, {T, "o", 1051, 0},
          {T, "l", 1051, 0}, {T, "d", 1051, 0}, {G, "}", 1051, 0}}, -1, 9},
        {"\\par\\pard x",
         {{W, "\\par", 1426, kRtfSymbol}, {W, "\\pard ", 1427, kRtfFlag}, {T, "x", 1427, 0}}, -1, 11},
        {"\\fs20 x\\li-360x\\li-x",
         {{W, "\\fs20 ", 1294, kRtfValue}, {T, "x", 1294, 0}, {W, "\\li-360", 1348, kRtfValue},
          {T, "x", 1348, 0}, {W, "\\li-", 1348, kRtfValue}, {T, "x", 1348, 0}}, -1, 20},
        {"\\'e9\\{\\\\",
         {{T, "\\", 0, 0}, {T, "'", 0, 0}, {T, "e", 0, 0}, {T, "9", 0, 0}, {T, "\\", 0, 0},
          {T, "{", 0, 0}, {T, "\\", 0, 0}, {T, "\\", 0, 0}}, -1, 8},
        // \* and unknown words never carry the id of the word before.
        {"\\par\\*\\cs99 \\widctlpar\\par",
         {{W, "\\par", 1426, kRtfSymbol}, {W, "\\*", 0, kRtfDestination}, {W, "\\cs99 ", 1142, kRtfValue},
          {W, "\\widctlpar", 0, 0}, {W, "\\par", 1426, kRtfSymbol}}, -1, 26},
        {"a\\", {{T, "a", 0, 0}}, BRIO_ERR_UNEXPECTED_END, 1},
        {"\r\n\\-", {{L, "\r", 0, 0}, {L, "\n", 0, 0}, {T, "\\-", 0, 0}}, -1, 4},
        {"\\\r}", {{T, "\\", 0, 0}, {T, "\r", 0, 0}, {G, "}", 0, 0}}, -1, 3},
        {"\\PAR x", {{W, "\\PAR ", 0, 0}, {T, "x", 0, 0}}, -1, 6},
        // The data after \binN are part of the word, braces and all.
        {"\\bin3 {}\\x", {{W, "\\bin3 {}\\", kRtfIdBin, kRtfValue}, {T, "x", kRtfIdBin, 0}}, -1, 10},
        {"\\bin9 ab", {{W, "\\bin9 ab", kRtfIdBin, kRtfValue}}, -1, 8},
        {"\\bin-3 {", {{W, "\\bin-3 ", kRtfIdBin, kRtfValue}, {G, "{", kRtfIdBin, 0}}, -1, 8},
    };
    for (const auto& k : cases) {
        int32_t end = 0;
        uint32_t consumed = 0;
        EXPECT_EQ(Tokens(k.input, &end, &consumed), k.tokens) << k.input;
        EXPECT_EQ(end, k.end) << k.input;
        EXPECT_EQ(consumed, k.consumed) << k.input;
    }
}

TEST(RtfTokenizer, KeywordTableIsSortedWithConsecutiveIds) {
    const RtfKeyword* table = RtfKeywordTable();
    int perClass[5] = {0, 0, 0, 0, 0};
    for (int i = 0; i < kRtfKeywordCount; ++i) {
        EXPECT_EQ(table[i].id, static_cast<uint32_t>(1000 + i));
        ASSERT_LT(table[i].keywordClass, 5u);
        ++perClass[table[i].keywordClass];
        EXPECT_TRUE(i == 0 || std::strcmp(table[i - 1].keyword, table[i].keyword) < 0) << i;
    }
    EXPECT_EQ(std::vector<int>(perClass, perClass + 5), (std::vector<int>{32, 202, 73, 31, 320}));
}

TEST(RtfTokenizer, LookupMissesLeaveTheFieldsAlone) {
    struct Case {
        const char* token;
        int32_t status, id, keywordClass;
    } cases[] = {
        {"\\PAR", BRIO_ERR_UNKNOWN_KEYWORD, 7, 3}, {"\\fo", BRIO_ERR_UNKNOWN_KEYWORD, 7, 3},
        {"\\dplinedadodox", BRIO_ERR_UNKNOWN_KEYWORD, 7, 3}, {"\\cs99 ", 0, 1142, kRtfValue},
        {"\\ul0", 0, 1633, kRtfToggle},
    };
    for (const auto& k : cases) {
        RtfContext c;
        InitString(&c, "");
        std::strcpy(c.tokenText, k.token);
        c.tokenLength = static_cast<int32_t>(std::strlen(k.token));
        c.keywordId = 7;
        c.keywordClass = 3;
        EXPECT_EQ(RtfLookupKeyword(&c), k.status) << k.token;
        EXPECT_EQ(c.keywordId, k.id) << k.token;
        EXPECT_EQ(c.keywordClass, k.keywordClass) << k.token;
    }
}

TEST(RtfTokenizer, LongTokensAreKeptWhole) {
    std::string letters(1000, 'q');
    std::string digits(600, '7');
    std::string input = "{\\" + letters + " \\fs" + digits + "x}";
    int32_t end = 0;
    auto tokens = Tokens(input, &end);
    ASSERT_EQ(tokens.size(), 5u);
    EXPECT_EQ(tokens[1].text, "\\" + letters + " ");
    EXPECT_EQ(tokens[1].id, 0);
    EXPECT_EQ(tokens[2].text, "\\fs" + digits);
    EXPECT_EQ(tokens[2].id, 1294);
    EXPECT_EQ(tokens[3].text, "x");
    EXPECT_EQ(tokens[4].text, "}");
}

TEST(RtfTokenizer, GroupStackGrowsAndNeverIndexesOutside) {
    RtfContext c;
    InitString(&c, "{{{{{{");
    for (int i = 0; i < 6; ++i) {
        ASSERT_EQ(RtfNextToken(&c), 0);
        ASSERT_EQ(RtfPushGroup(&c), 0);
    }
    EXPECT_EQ(c.depth, 6);
    EXPECT_EQ(c.groupStack[0], 10u);
    for (uint32_t d = 1; d <= 6; ++d) EXPECT_EQ(c.groupStack[d], d - 1);
    RtfFreeContext(&c);

    // Extra closing braces, then opening ones: element 0 stays the capacity.
    InitString(&c, "{}}}{{");
    int32_t pops = 0;
    while (RtfNextToken(&c) == 0) {
        if (c.tokenText[0] == '{') {
            EXPECT_EQ(RtfPushGroup(&c), 0);
        } else if (RtfPopGroup(&c) != 0) {
            ++pops;
        }
    }
    EXPECT_EQ(pops, 2);
    EXPECT_EQ(c.depth, 0);
    EXPECT_EQ(c.groupStack[0], 5u);
    RtfFreeContext(&c);

    InitString(&c, "{");
    ASSERT_EQ(RtfNextToken(&c), 0);
    FailAllocationAfter(1);
    EXPECT_EQ(RtfPushGroup(&c), BRIO_ERR_NO_MEMORY);
    FailAllocationAfter(0);
    EXPECT_EQ(c.depth, 1);
    RtfFreeContext(&c);
}

TEST(RtfTokenizer, DeepNestingIsLinear) {
    std::string input(1000000, '{');
    RtfContext c;
    InitString(&c, input.c_str());
    long before = AllocationCount();
    while (RtfNextToken(&c) == 0) ASSERT_EQ(RtfPushGroup(&c), 0);
    EXPECT_EQ(c.depth, 1000000);
    EXPECT_LT(AllocationCount() - before, 40);
    EXPECT_EQ(c.groupStack[1000000], 999999u);
    RtfFreeContext(&c);
}

TEST(RtfTokenizer, CopyGroupCopiesToTheClosingBrace) {
    struct Case {
        const char* input;
        int32_t skipTokens;  // tokens read (and pushed) before the copy
        int32_t status;
        const char* copied;
        int32_t depth;
        const char* next;
    } cases[] = {
        {"{\\rtf1{\\fonttbl{\\f0 A;}}x}", 4, 0, "{\\f0 A;}}", 1, "x"},
        {"{\\rtf1{\\*\\x {\\}}}y}", 4, 0, "\\x {\\}}}", 1, "y"},
        {"{\\rtf1{\\pict\\bin2 }}}z}", 4, 0, "\\bin2 }}}", 1, "z"},
        {"{\\rtf1{\\info{\\title", 4, BRIO_ERR_UNEXPECTED_END, "{\\title", 3, nullptr},
        {"{\\rtf1{\\info\\", 4, BRIO_ERR_UNEXPECTED_END, "", 2, nullptr},
    };
    for (const auto& k : cases) {
        RtfContext c;
        InitString(&c, k.input);
        ASSERT_EQ(RtfStartBufferOutput(&c), 0);
        for (int i = 0; i < k.skipTokens; ++i) {
            ASSERT_EQ(RtfNextToken(&c), 0);
            if (c.tokenKind == kRtfGroup) {
                ASSERT_EQ(RtfPushGroup(&c), 0);
            }
        }
        ASSERT_EQ(c.keywordClass, kRtfDestination) << k.input;
        EXPECT_EQ(RtfCopyGroup(&c), k.status) << k.input;
        EXPECT_STREQ(c.outBuffer, k.copied) << k.input;
        EXPECT_EQ(c.depth, k.depth) << k.input;
        if (k.next) {
            ASSERT_EQ(RtfNextToken(&c), 0);
            EXPECT_STREQ(c.tokenText, k.next);
        }
        BrioFree(c.outBuffer);
        RtfFreeContext(&c);
    }
}

TEST(RtfTokenizer, CopyGroupCollectsFootnoteTextWithinItsBuffer) {
    RtfContext c;
    std::string input = "{" + std::string(40, 'n') + "}";
    InitString(&c, input.c_str());
    char text[16] = "";
    c.contextText = text;
    c.contextTextSize = sizeof text;
    c.footnoteMode = 3;
    ASSERT_EQ(RtfNextToken(&c), 0);
    ++c.depth;
    EXPECT_EQ(RtfCopyGroup(&c), 0);
    EXPECT_EQ(std::string(text), std::string(15, 'n'));
    RtfFreeContext(&c);
}

// Writes every token back.
std::string Echo(const std::string& input, int32_t* end) {
    RtfContext c;
    InitString(&c, input.c_str());
    EXPECT_EQ(RtfStartBufferOutput(&c), 0);
    int32_t rc;
    while ((rc = RtfNextToken(&c)) == 0) EXPECT_EQ(RtfWriteToken(&c), 0);
    *end = rc;
    EXPECT_EQ(c.consumed, static_cast<uint32_t>(RtfOutputLength(&c)));
    std::string out(c.outBuffer, static_cast<size_t>(RtfOutputLength(&c)));
    BrioFree(c.outBuffer);
    RtfFreeContext(&c);
    return out;
}

TEST(RtfTokenizer, EchoReproducesEveryCorpusFile) {
    auto files = test::ListFiles(test::CorpusDir("rtf"));
    ASSERT_GE(files.size(), 40u);
    for (const auto& path : files) {
        std::string input = test::ReadFile(path);
        int32_t end = 0;
        std::string out = Echo(input, &end);
        EXPECT_EQ(end, -1) << path;
        EXPECT_TRUE(out == input) << path;
    }
}

TEST(RtfTokenizer, EchoReproducesRandomBytes) {
    std::mt19937 rng(12345);
    const char alphabet[] = "\\{}\r\n *-'abcXYZ0129 \x80\xff";
    for (int round = 0; round < 3000; ++round) {
        size_t length = rng() % 64;
        std::string input;
        for (size_t i = 0; i < length; ++i) {
            // Half from an RTF-heavy alphabet, half any byte but NUL.
            input += rng() % 2 ? alphabet[rng() % (sizeof alphabet - 1)]
                               : static_cast<char>(1 + rng() % 255);
        }
        int32_t end = 0;
        std::string out = Echo(input, &end);
        size_t trailing = 0;
        while (trailing < input.size() && input[input.size() - 1 - trailing] == '\\') ++trailing;
        if (trailing % 2 == 1) {
            // Only a lone backslash at the very end is no token.
            EXPECT_EQ(end, BRIO_ERR_UNEXPECTED_END);
            EXPECT_EQ(out + "\\", input);
        } else {
            EXPECT_EQ(end, -1);
            EXPECT_EQ(out, input);
        }
    }
}

TEST(RtfTokenizer, FileInputCutsTheSameTokens) {
    test::TempDir dir;
    // Reading by character is slow: two small corpus files and a fixture do.
    std::vector<std::string> files = {dir.File("extra.rtf"), test::CorpusDir("rtf") + "/021.rtf",
                                      test::CorpusDir("rtf") + "/011.rtf"};
    ASSERT_TRUE(test::WriteFile(files[0], "{\\bin4 \\}{x\\" + std::string(300, 'k') + "9 y}"));
    for (const auto& path : files) {
        std::string input = test::ReadFile(path);
        int32_t endString = 0, endFile = 0;
        auto fromString = Tokens(input, &endString);
        RtfContext c;
        std::memset(&c, 0, sizeof c);
        c.inFile = PlatFileOpen(path.c_str(), "rb");
        ASSERT_NE(c.inFile, nullptr);
        auto fromFile = Tokens(&c, &endFile);
        EXPECT_EQ(endFile, endString);
        EXPECT_TRUE(fromFile == fromString) << path;
        RtfCloseFiles(&c);
        RtfFreeContext(&c);
    }
}

}  // namespace
}  // namespace brio
