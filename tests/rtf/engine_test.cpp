// The RTF engine: the keyword table, the reader's tokens and groups, and
// the sink's growth.
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

// Kind, text, keyword id and class.
using Token = std::tuple<int32_t, std::string, int32_t, int32_t>;

// All tokens of a reader, and the code that ended the stream.
std::vector<Token> Tokens(RtfReader& r, int32_t* end) {
    std::vector<Token> out;
    while ((*end = r.Next()) == 0)
        out.emplace_back(r.Kind(), std::string(r.Text(), static_cast<size_t>(r.Length())), r.Id(),
                         r.Class());
    return out;
}

constexpr int32_t G = kRtfGroup, W = kRtfControlWord, T = kRtfText, L = kRtfLineEnd;

TEST(RtfKeywords, NamedIdsSpellTheirWordAndTheTableIsSortedByRow) {
    struct Case {
        RtfKeywordId id;
        const char* spelling;
        RtfKeywordClass keywordClass;
    } cases[] = {
        {kRtfKwAb, "ab", kRtfToggle},         {kRtfKwBin, "bin", kRtfValue},
        {kRtfKwCf, "cf", kRtfValue},          {kRtfKwCs, "cs", kRtfValue},
        {kRtfKwDs, "ds", kRtfValue},          {kRtfKwFootnote, "footnote", kRtfDestination},
        {kRtfKwKeepn, "keepn", kRtfFlag},     {kRtfKwPage, "page", kRtfSymbol},
        {kRtfKwPar, "par", kRtfSymbol},       {kRtfKwPard, "pard", kRtfFlag},
        {kRtfKwPlain, "plain", kRtfFlag},     {kRtfKwS, "s", kRtfValue},
        {kRtfKwStrike, "strike", kRtfToggle}, {kRtfKwStylesheet, "stylesheet", kRtfDestination},
        {kRtfKwUl, "ul", kRtfToggle},         {kRtfKwUld, "uld", kRtfFlag},
        {kRtfKwUldb, "uldb", kRtfFlag},       {kRtfKwUlnone, "ulnone", kRtfFlag},
        {kRtfKwUlw, "ulw", kRtfFlag},         {kRtfKwV, "v", kRtfToggle},
        {kRtfKwZwnj, "zwnj", kRtfSymbol},
    };
    for (const auto& k : cases) {
        EXPECT_STREQ(RtfKeywordSpelling(k.id), k.spelling);
        const RtfKeyword* row = RtfFindKeyword(k.spelling, std::strlen(k.spelling));
        ASSERT_NE(row, nullptr) << k.spelling;
        EXPECT_EQ(row->id, k.id) << k.spelling;
        EXPECT_EQ(row->keywordClass, k.keywordClass) << k.spelling;
    }
    EXPECT_STREQ(RtfKeywordSpelling(kRtfKwNone), "");
    EXPECT_STREQ(RtfKeywordSpelling(kRtfKwEnd), "");

    const RtfKeyword* table = RtfKeywordTable();
    for (int i = 0; i < kRtfKeywordCount; ++i) {
        EXPECT_EQ(table[i].id, i + 1);
        EXPECT_TRUE(i == 0 || std::strcmp(table[i - 1].keyword, table[i].keyword) < 0) << i;
        EXPECT_EQ(RtfFindKeyword(table[i].keyword, std::strlen(table[i].keyword)), &table[i]);
    }
    // Case matters; a prefix, an extension and a NUL inside are misses.
    const std::string misses[] = {"PAR", "fo", "dplinedadodox", "parx", std::string("pa\0", 3), ""};
    for (const std::string& miss : misses)
        EXPECT_EQ(RtfFindKeyword(miss.data(), miss.size()), nullptr) << miss;
}

TEST(RtfReader, CutsTokensExactly) {
    const std::string letters(1000, 'q'), digits(600, '7');
    struct Case {
        std::string input;
        std::vector<Token> tokens;
        int32_t end;
        uint32_t consumed;
    } cases[] = {
        {"{\\b bold}",
         {{G, "{", 0, 0},
          {W, "\\b ", kRtfKwB, kRtfToggle},
          {T, "b", 0, 0},
          {T, "o", 0, 0},
          {T, "l", 0, 0},
          {T, "d", 0, 0},
          {G, "}", 0, 0}},
         -1,
         9},
        {"\\par\\pard x",
         {{W, "\\par", kRtfKwPar, kRtfSymbol},
          {W, "\\pard ", kRtfKwPard, kRtfFlag},
          {T, "x", 0, 0}},
         -1,
         11},
        {"\\fs20 x\\li-360x\\li-x",
         {{W, "\\fs20 ", kRtfKwFs, kRtfValue},
          {T, "x", 0, 0},
          {W, "\\li-360", kRtfKwLi, kRtfValue},
          {T, "x", 0, 0},
          {W, "\\li-", kRtfKwLi, kRtfValue},
          {T, "x", 0, 0}},
         -1,
         20},
        {"\\'e9\\{\\\\",
         {{T, "\\", 0, 0},
          {T, "'", 0, 0},
          {T, "e", 0, 0},
          {T, "9", 0, 0},
          {T, "\\", 0, 0},
          {T, "{", 0, 0},
          {T, "\\", 0, 0},
          {T, "\\", 0, 0}},
         -1,
         8},
        // \* and unknown words never carry the id of the word before.
        {"\\par\\*\\cs99 \\widctlpar\\par",
         {{W, "\\par", kRtfKwPar, kRtfSymbol},
          {W, "\\*", 0, kRtfDestination},
          {W, "\\cs99 ", kRtfKwCs, kRtfValue},
          {W, "\\widctlpar", 0, 0},
          {W, "\\par", kRtfKwPar, kRtfSymbol}},
         -1,
         26},
        // Destinations the table lacks still open a skipped group.
        {"\\shp\\listtext7",
         {{W, "\\shp", 0, kRtfDestination}, {W, "\\listtext7", 0, kRtfDestination}},
         -1,
         14},
        {"a\\", {{T, "a", 0, 0}}, BRIO_ERR_UNEXPECTED_END, 1},
        {"\r\n\\-", {{L, "\r", 0, 0}, {L, "\n", 0, 0}, {T, "\\-", 0, 0}}, -1, 4},
        {"\\\r}", {{T, "\\", 0, 0}, {T, "\r", 0, 0}, {G, "}", 0, 0}}, -1, 3},
        {"\\PAR x", {{W, "\\PAR ", 0, 0}, {T, "x", 0, 0}}, -1, 6},
        // The data after \binN are part of the word, braces and all.
        {"\\bin3 {}\\x", {{W, "\\bin3 {}\\", kRtfKwBin, kRtfValue}, {T, "x", 0, 0}}, -1, 10},
        {"\\bin9 ab", {{W, "\\bin9 ab", kRtfKwBin, kRtfValue}}, -1, 8},
        {"\\bin-3 {", {{W, "\\bin-3 ", kRtfKwBin, kRtfValue}, {G, "{", 0, 0}}, -1, 8},
        // Long tokens are kept whole.
        {"\\" + letters + " \\fs" + digits + "x",
         {{W, "\\" + letters + " ", 0, 0},
          {W, "\\fs" + digits, kRtfKwFs, kRtfValue},
          {T, "x", 0, 0}},
         -1,
         1606},
    };
    for (const auto& k : cases) {
        RtfReader r(k.input.c_str());
        int32_t end = 0;
        EXPECT_EQ(Tokens(r, &end), k.tokens) << k.input;
        EXPECT_EQ(end, k.end) << k.input;
        EXPECT_EQ(r.Consumed(), k.consumed) << k.input;
        // Past a lone backslash, as everywhere past the end, only the end.
        EXPECT_EQ(r.Next(), -1) << k.input;
        EXPECT_EQ(r.Consumed(), k.consumed) << k.input;
    }
}

TEST(RtfReader, StartDepthCodePageAndStrayBraces) {
    struct Case {
        const char* input;
        int32_t startDepth, codePage;
    } cases[] = {
        {"{\\rtf1\\ansi\\ansicpg1251 x}", 0, 1251},
        {" \r\n\t{\\rtf1 x}", 0, 0},
        {"{\\b x}\\par ", 1, 0},
        {"\\ansicpg932 {\\rtf1}", 1, 932},
        {"", 1, 0},
        {nullptr, 1, 0},
    };
    for (const auto& k : cases) {
        RtfReader r(k.input);
        EXPECT_EQ(r.StartDepth(), k.startDepth) << (k.input ? k.input : "null");
        EXPECT_EQ(r.Depth(), k.startDepth);
        EXPECT_EQ(r.IsFragment(), k.startDepth > 0);
        EXPECT_EQ(r.CodePage(), k.codePage);
    }
    // In a fragment, a brace that would close the document's group is stray.
    RtfReader r("}}");
    ASSERT_EQ(r.Next(), 0);
    EXPECT_TRUE(r.IsStrayClose());
    RtfReader d("{\\rtf1}");
    d.Push();
    EXPECT_FALSE(d.IsStrayClose());
}

TEST(RtfReader, GroupsCostNoMemoryAndCountBelowZero) {
    std::string deep(1000000, '{');
    RtfReader r(deep.c_str());
    long before = AllocationCount();
    while (r.Next() == 0) r.Push();
    EXPECT_EQ(r.Depth(), 1000001);  // a fragment starts at 1
    EXPECT_EQ(AllocationCount() - before, 0);

    // Extra closing braces, then opening ones.
    RtfReader q("{\\rtf1}}}{{");
    q.SetDepth(0);
    int32_t refused = 0;
    while (q.Next() == 0) {
        if (q.Kind() != kRtfGroup) continue;
        if (q.First() == '{') {
            q.Push();
        } else {
            refused += q.Pop() == BRIO_ERR_UNBALANCED;
        }
    }
    EXPECT_EQ(refused, 2);
    EXPECT_EQ(q.Depth(), 0);
}

TEST(RtfReader, CopyGroupCopiesToTheClosingBrace) {
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
        {"{\\rtf1{\\pict\\bin9 }}", BRIO_ERR_UNEXPECTED_END, "\\bin9 }}", 2, nullptr},
        {"{\\rtf1{\\info{\\title", BRIO_ERR_UNEXPECTED_END, "{\\title", 3, nullptr},
        {"{\\rtf1{\\info\\", BRIO_ERR_UNEXPECTED_END, "", 2, nullptr},
        {"{\\rtf1{\\info x\\-y\r\n\\'e9}z}", 0, "x\\-y\r\n\\'e9}", 1, "z"},
    };
    for (const auto& k : cases) {
        RtfReader r(k.input);
        for (int i = 0; i < 4; ++i) {  // {\rtf1{\destination
            ASSERT_EQ(r.Next(), 0);
            if (r.Kind() == kRtfGroup) r.Push();
        }
        ASSERT_EQ(r.Class(), kRtfDestination) << k.input;
        RtfSink sink;
        EXPECT_EQ(r.CopyGroup(&sink), k.status) << k.input;
        EXPECT_STREQ(sink.Text(), k.copied) << k.input;
        EXPECT_EQ(r.Depth(), k.depth) << k.input;
        if (k.next) {
            EXPECT_TRUE(r.Is(kRtfGroup, '}')) << k.input;
            ASSERT_EQ(r.Next(), 0);
            EXPECT_EQ(std::string(r.Text(), static_cast<size_t>(r.Length())), k.next);
        }
        // Without a sink the same group is skipped to the same place.
        RtfReader skip(k.input);
        for (int i = 0; i < 4; ++i)
            if (skip.Next() == 0 && skip.Kind() == kRtfGroup) skip.Push();
        EXPECT_EQ(skip.CopyGroup(nullptr), k.status) << k.input;
        EXPECT_EQ(skip.Offset(), r.Offset() - (k.next ? 1 : 0)) << k.input;
    }
}

TEST(RtfSink, GrowsGeometricallyAndKeepsItsTextOnFailure) {
    struct Case {
        size_t first, second;
        long allocations;  // the first 512 bytes included
    } cases[] = {
        {511, 0, 1}, {511, 1, 2}, {1500, 0, 2}, {100, 5000, 2}, {1000, 30, 3}, {0, 0, 1},
    };
    for (const auto& k : cases) {
        RtfSink s;
        std::string a(k.first, 'x'), b(k.second, 'y');
        long before = AllocationCount();
        EXPECT_EQ(s.Append(a.c_str()), 0);
        EXPECT_EQ(s.Append(b.c_str()), 0);
        EXPECT_EQ(AllocationCount() - before, k.allocations) << k.first << "+" << k.second;
        EXPECT_EQ(std::string(s.Text()), a + b);
        EXPECT_EQ(s.Length(), a.size() + b.size());
    }
    RtfSink s;
    ASSERT_EQ(s.Reserve(0), 0);
    long before = AllocationCount();
    for (int i = 0; i < (1 << 20); ++i) ASSERT_EQ(s.Append("z", 1), 0);
    // 512 doubled up to 2 MB: 12 reallocations, not 2048.
    EXPECT_EQ(AllocationCount() - before, 12);
    EXPECT_EQ(s.Length(), size_t{1} << 20);

    RtfSink f;
    ASSERT_EQ(f.Append("keep"), 0);
    FailAllocationAfter(1);
    EXPECT_EQ(f.Append(std::string(600, 'q').c_str()), BRIO_ERR_NO_MEMORY);
    FailAllocationAfter(0);
    EXPECT_STREQ(f.Text(), "keep");
    EXPECT_EQ(f.Length(), 4u);
    f.CutBack(2);
    EXPECT_STREQ(f.Text(), "ke");
    f.CutBack(3);  // never forward
    EXPECT_STREQ(f.Text(), "ke");
    char* owned = f.Release();
    EXPECT_STREQ(owned, "ke");
    BrioFree(owned);
    EXPECT_STREQ(f.Text(), "");
    EXPECT_EQ(f.Release(), nullptr);
}

// Writes every token back.
std::string Echo(const std::string& input, int32_t* end) {
    RtfReader r(input.c_str());
    RtfSink sink;
    while ((*end = r.Next()) == 0)
        EXPECT_EQ(sink.Append(r.Text(), static_cast<size_t>(r.Length())), 0);
    EXPECT_EQ(r.Consumed(), sink.Length());
    return std::string(sink.Text(), sink.Length());
}

TEST(RtfReader, EchoReproducesEveryCorpusFileAndRandomBytes) {
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

}  // namespace
}  // namespace brio
