// The RTF engine: a context's input and output, the keyword table and the
// tokenizer with its group state.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "platform/platform.h"
#include "rtf/rtf.h"
#include "test_support.h"

namespace brio {
namespace {

// A pass over a string, into a fresh output buffer unless told otherwise.
struct Pass {
    RtfContext c;
    explicit Pass(const char* text, bool buffer = true) {
        std::memset(&c, 0, sizeof c);
        c.inText = c.inPos = text;
        c.inIsString = 1;
        c.outIsBuffer = 1;
        if (buffer && RtfStartBufferOutput(&c) != 0) ADD_FAILURE() << "no output buffer";
    }
    ~Pass() {
        RtfCloseFiles(&c);
        RtfFreeContext(&c);
        BrioFree(c.outBuffer);
    }
};

// Kind, text, keyword id and class.
using Token = std::tuple<int32_t, std::string, int32_t, int32_t>;

// All tokens of a context, and the code that ended the stream.
std::vector<Token> Tokens(RtfContext* c, int32_t* end) {
    std::vector<Token> out;
    while ((*end = RtfNextToken(c)) == 0)
        out.emplace_back(c->tokenKind, std::string(RtfTokenText(c), c->tokenLength), c->keywordId,
                         c->keywordClass);
    return out;
}

constexpr int32_t G = kRtfGroup, W = kRtfControlWord, T = kRtfText, L = kRtfLineEnd;

TEST(RtfContext, StringInputEndsAtNulAndStaysThere) {
    Pass s("ab\xe9");
    EXPECT_EQ(RtfGetChar(&s.c), 'a');
    EXPECT_EQ(RtfGetChar(&s.c), 'b');
    EXPECT_EQ(RtfGetChar(&s.c), 0xe9);  // unsigned
    EXPECT_EQ(RtfGetChar(&s.c), -1);
    EXPECT_EQ(s.c.inOffset, 4u);
    RtfUngetChar(&s.c, -1);
    EXPECT_EQ(s.c.inOffset, 3u);
    EXPECT_EQ(RtfGetChar(&s.c), -1);  // not the last character again
    RtfUngetChar(&s.c, -1);
    RtfUngetChar(&s.c, 0xe9);
    EXPECT_EQ(RtfGetChar(&s.c), 0xe9);
    EXPECT_EQ(RtfSeek(&s.c, 1), 0);
    EXPECT_EQ(RtfGetChar(&s.c), 'b');
    EXPECT_EQ(s.c.inOffset, 2u);
}

TEST(RtfContext, BufferGrowsGeometricallyAndKeepsItsTextOnFailure) {
    struct Case {
        size_t first, second;
        int32_t capacity;
    } cases[] = {
        {511, 0, 512}, {511, 1, 1024}, {1500, 0, 1536}, {100, 5000, 5120}, {1000, 30, 2048},
    };
    for (const auto& k : cases) {
        Pass s("");
        std::string a(k.first, 'x'), b(k.second, 'y');
        EXPECT_EQ(RtfAppendOutput(&s.c, a.c_str()), static_cast<int32_t>(k.first));
        EXPECT_EQ(RtfAppendOutput(&s.c, b.c_str()), static_cast<int32_t>(k.second));
        EXPECT_EQ(s.c.outCapacity, k.capacity);
        EXPECT_EQ(s.c.outPos - s.c.outBuffer + s.c.outFree, s.c.outCapacity);
        EXPECT_EQ(std::string(s.c.outBuffer), a + b);
    }
    Pass s("");
    long before = AllocationCount();
    for (int i = 0; i < (1 << 20); ++i) ASSERT_EQ(RtfWriteString(&s.c, "z"), 0);
    // 512 doubled up to 2 MB: 12 reallocations, not 2048.
    EXPECT_EQ(AllocationCount() - before, 12);
    EXPECT_EQ(RtfOutputLength(&s.c), 1 << 20);

    Pass f("");
    ASSERT_EQ(RtfWriteString(&f.c, "keep"), 0);
    FailAllocationAfter(1);
    EXPECT_EQ(RtfWriteString(&f.c, std::string(600, 'q').c_str()), BRIO_ERR_NO_MEMORY);
    FailAllocationAfter(0);
    EXPECT_STREQ(f.c.outBuffer, "keep");
    EXPECT_EQ(f.c.outFree, 508);
}

TEST(RtfContext, SuppressedTokensAndCopiedInput) {
    Pass s("a\0b" "cd");
    EXPECT_EQ(RtfCopyInput(&s.c, -1), BRIO_ERR_NOT_FOUND);
    EXPECT_EQ(RtfCopyInput(&s.c, 1), 0);
    std::strcpy(s.c.tokenText, "\\par ");
    s.c.tokenLength = 5;
    s.c.suppressOutput = 1;
    EXPECT_EQ(RtfWriteToken(&s.c), 0);
    EXPECT_EQ(RtfWriteString(&s.c, "!"), 0);  // not suppressed
    s.c.suppressOutput = 0;
    EXPECT_EQ(RtfWriteToken(&s.c), 0);
    EXPECT_STREQ(s.c.outBuffer, "a!\\par ");
}

TEST(RtfContext, FileOutputWritesOrReportsAndNoFileWritesNothing) {
    test::TempDir dir;
    std::string path = dir.File("out.rtf");
    Pass p("", false);
    p.c.outIsBuffer = 0;
    EXPECT_EQ(RtfWriteString(&p.c, "x"), 0);  // file output but no file
    p.c.outFile = PlatFileOpen(path.c_str(), "wb");
    EXPECT_EQ(RtfWriteString(&p.c, "{\\rtf1\r\n"), 0);
    RtfCloseFiles(&p.c);
    EXPECT_EQ(test::ReadFile(path), "{\\rtf1\r\n");
    p.c.outFile = PlatFileOpen(path.c_str(), "rb");  // a stream that cannot be written
    ASSERT_NE(p.c.outFile, nullptr);
    EXPECT_EQ(RtfWriteString(&p.c, "x"), BRIO_ERR_WRITE);
}

TEST(RtfTokenizer, CutsTokensExactly) {
    const std::string letters(1000, 'q'), digits(600, '7');
    struct Case {
        std::string input;
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
        // Tokens longer than tokenText are kept whole.
        {"\\" + letters + " \\fs" + digits + "x",
         {{W, "\\" + letters + " ", 0, 0}, {W, "\\fs" + digits, 1294, kRtfValue}, {T, "x", 1294, 0}},
         -1, 1606},
    };
    for (const auto& k : cases) {
        Pass p(k.input.c_str(), false);
        int32_t end = 0;
        EXPECT_EQ(Tokens(&p.c, &end), k.tokens) << k.input;
        EXPECT_EQ(end, k.end) << k.input;
        EXPECT_EQ(p.c.consumed, k.consumed) << k.input;
    }
}

TEST(RtfTokenizer, EveryKeywordIsFoundAndMissesLeaveTheFieldsAlone) {
    const RtfKeyword* table = RtfKeywordTable();
    for (int i = 0; i < kRtfKeywordCount; ++i) {
        EXPECT_EQ(table[i].id, static_cast<uint32_t>(kRtfFirstKeywordId + i));
        EXPECT_TRUE(i == 0 || std::strcmp(table[i - 1].keyword, table[i].keyword) < 0) << i;
        EXPECT_EQ(RtfFindKeyword(table[i].keyword, std::strlen(table[i].keyword)), &table[i]);
    }
    // A miss leaves the fields as they were.
    struct Case {
        const char* token;
        int32_t status, id;
    } cases[] = {{"\\PAR", BRIO_ERR_UNKNOWN_KEYWORD, 7}, {"\\fo", BRIO_ERR_UNKNOWN_KEYWORD, 7},
                 {"\\dplinedadodox", BRIO_ERR_UNKNOWN_KEYWORD, 7}, {"\\cs99 ", 0, kRtfIdCs},
                 {"\\ul0", 0, kRtfIdUl}};
    for (const auto& k : cases) {
        Pass p("", false);
        std::strcpy(p.c.tokenText, k.token);
        p.c.tokenLength = static_cast<int32_t>(std::strlen(k.token));
        p.c.keywordId = 7;
        EXPECT_EQ(RtfLookupKeyword(&p.c), k.status) << k.token;
        EXPECT_EQ(p.c.keywordId, k.id) << k.token;
    }
}

TEST(RtfTokenizer, GroupStackGrowsLinearlyAndNeverIndexesOutside) {
    std::string deep(1000000, '{');
    Pass p(deep.c_str(), false);
    long before = AllocationCount();
    while (RtfNextToken(&p.c) == 0) ASSERT_EQ(RtfPushGroup(&p.c), 0);
    EXPECT_EQ(p.c.depth, 1000000);
    EXPECT_LT(AllocationCount() - before, 40);
    for (uint32_t d : {1u, 2u, 999u, 1000000u}) EXPECT_EQ(p.c.groupStack[d], d - 1);

    // Extra closing braces, then opening ones: no slot below depth 1.
    Pass q("{}}}{{", false);
    int32_t refused = 0;
    while (RtfNextToken(&q.c) == 0) {
        if (q.c.tokenText[0] == '{') {
            EXPECT_EQ(RtfPushGroup(&q.c), 0);
        } else {
            refused += RtfPopGroup(&q.c) != 0;
        }
    }
    EXPECT_EQ(refused, 2);
    EXPECT_EQ(q.c.depth, 0);
    EXPECT_EQ(q.c.groupStack[0], 5u);  // the capacity, never overwritten
}

TEST(RtfTokenizer, CopyGroupCopiesToTheClosingBrace) {
    struct Case {
        const char* input;
        int32_t status;
        const char* copied;
        int32_t depth;
        const char* next;
    } cases[] = {
        {"{\\rtf1{\\fonttbl{\\f0 A;}}x}", 0, "{\\f0 A;}}", 1, "x"},
        {"{\\rtf1{\\*\\x {\\}}}y}", 0, "\\x {\\}}}", 1, "y"},
        {"{\\rtf1{\\pict\\bin2 }}}z}", 0, "\\bin2 }}}", 1, "z"},
        {"{\\rtf1{\\info{\\title", BRIO_ERR_UNEXPECTED_END, "{\\title", 3, nullptr},
        {"{\\rtf1{\\info\\", BRIO_ERR_UNEXPECTED_END, "", 2, nullptr},
    };
    for (const auto& k : cases) {
        Pass p(k.input);
        for (int i = 0; i < 4; ++i) {  // {\rtf1{\destination
            ASSERT_EQ(RtfNextToken(&p.c), 0);
            if (p.c.tokenKind == kRtfGroup) {
                ASSERT_EQ(RtfPushGroup(&p.c), 0);
            }
        }
        ASSERT_EQ(p.c.keywordClass, kRtfDestination) << k.input;
        EXPECT_EQ(RtfCopyGroup(&p.c), k.status) << k.input;
        EXPECT_STREQ(p.c.outBuffer, k.copied) << k.input;
        EXPECT_EQ(p.c.depth, k.depth) << k.input;
        if (k.next) {
            ASSERT_EQ(RtfNextToken(&p.c), 0);
            EXPECT_STREQ(p.c.tokenText, k.next);
        }
    }
    // Footnote text is collected only as far as its buffer reaches.
    std::string input = "{" + std::string(40, 'n') + "}";
    Pass p(input.c_str(), false);
    char text[16] = "";
    p.c.contextText = text;
    p.c.contextTextSize = sizeof text;
    p.c.footnoteMode = 3;
    ASSERT_EQ(RtfNextToken(&p.c), 0);
    ++p.c.depth;
    EXPECT_EQ(RtfCopyGroup(&p.c), 0);
    EXPECT_EQ(std::string(text), std::string(15, 'n'));
}

// Writes every token back.
std::string Echo(const std::string& input, int32_t* end) {
    Pass p(input.c_str());
    while ((*end = RtfNextToken(&p.c)) == 0) EXPECT_EQ(RtfWriteToken(&p.c), 0);
    EXPECT_EQ(p.c.consumed, static_cast<uint32_t>(RtfOutputLength(&p.c)));
    return std::string(p.c.outBuffer, static_cast<size_t>(RtfOutputLength(&p.c)));
}

TEST(RtfTokenizer, EchoReproducesEveryCorpusFileAndRandomBytes) {
    auto files = test::ListFiles(test::CorpusDir("rtf"));
    ASSERT_GE(files.size(), 40u);
    int32_t end = 0;
    for (const auto& path : files) {
        std::string input = test::ReadFile(path);
        EXPECT_TRUE(Echo(input, &end) == input) << path;
        EXPECT_EQ(end, -1) << path;
    }
    std::mt19937 rng(12345);
    const char alphabet[] = "\\{}\r\n *-'abcXYZ0129 \x80\xff";
    for (int round = 0; round < 3000; ++round) {
        std::string input;
        // Half from an RTF-heavy alphabet, half any byte but NUL.
        for (size_t i = 0, n = rng() % 64; i < n; ++i)
            input += rng() % 2 ? alphabet[rng() % (sizeof alphabet - 1)]
                               : static_cast<char>(1 + rng() % 255);
        std::string out = Echo(input, &end);
        size_t trailing = 0;
        while (trailing < input.size() && input[input.size() - 1 - trailing] == '\\') ++trailing;
        // Only a lone backslash at the very end is no token.
        EXPECT_EQ(end, trailing % 2 ? BRIO_ERR_UNEXPECTED_END : -1) << input;
        EXPECT_EQ(trailing % 2 ? out + "\\" : out, input);
    }
}

TEST(RtfTokenizer, FileInputCutsTheSameTokensAndEndsAtCtrlZ) {
    test::TempDir dir;
    // Reading by character is slow: a small corpus file and a fixture do.
    std::vector<std::string> files = {dir.File("extra.rtf"), test::CorpusDir("rtf") + "/021.rtf"};
    const std::string extra = "{\\bin4 \\}{x\\" + std::string(300, 'k') + "9 y}";
    ASSERT_TRUE(test::WriteFile(files[0], extra + "\x1a{never read"));
    for (const auto& path : files) {
        std::string whole = test::ReadFile(path), input = whole.substr(0, whole.find('\x1a'));
        int32_t endString = 0, endFile = 0;
        Pass s(input.c_str(), false), f("", false);
        f.c.inIsString = 0;
        f.c.inFile = PlatFileOpen(path.c_str(), "rb");
        ASSERT_NE(f.c.inFile, nullptr);
        EXPECT_TRUE(Tokens(&f.c, &endFile) == Tokens(&s.c, &endString)) << path;
        EXPECT_EQ(endFile, endString);
        EXPECT_EQ(RtfGetChar(&f.c), -1);  // and stays at the end
        std::vector<char> buffer(whole.size());
        EXPECT_EQ(RtfSeek(&f.c, 0), 0);
        EXPECT_EQ(RtfRead(&f.c, buffer.data(), 7), 0);
        EXPECT_EQ(std::string(buffer.data(), 7), input.substr(0, 7));
        // Fewer bytes than asked for are left: an error, not a short success.
        EXPECT_EQ(RtfRead(&f.c, buffer.data(), static_cast<int32_t>(buffer.size())), BRIO_ERR_READ);
    }
}

}  // namespace
}  // namespace brio
