// The RTF engine: keyword table, reader tokens and groups, sink growth.
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

// "kind text[#keyword/class]|..." then "=end-code @consumed"; past the end only the end.
std::string Tokens(const std::string& input) {
    RtfReader r(input.c_str());
    std::string out;
    int32_t end;
    while ((end = r.Next()) == 0) {
        out += std::string(1, " GWT L"[r.Kind()]) + std::string(r.Text(), r.Length());
        if (r.Kind() == kRtfControlWord)
            out += "#" + std::string(RtfKeywordSpelling(r.Id())) + "/" + std::to_string(r.Class());
        out += "|";
    }
    uint32_t consumed = r.Consumed();
    if (r.Next() != -1 || r.Consumed() != consumed) out += "moved past the end";
    return out + "=" + std::to_string(end) + " @" + std::to_string(consumed);
}

TEST(RtfKeywords, TheTableIsSortedAndEveryRowIsFound) {
    const RtfKeyword* table = RtfKeywordTable();
    for (int i = 0; i < kRtfKeywordCount; ++i) {
        EXPECT_EQ(table[i].id, i + 1);
        EXPECT_TRUE(i == 0 || std::strcmp(table[i - 1].keyword, table[i].keyword) < 0) << i;
        EXPECT_EQ(RtfFindKeyword(table[i].keyword, std::strlen(table[i].keyword)), &table[i]);
    }
    EXPECT_STREQ(RtfKeywordSpelling(kRtfKwNone), "");
    EXPECT_STREQ(RtfKeywordSpelling(kRtfKwEnd), "");
    // Case matters; a prefix, an extension and a NUL inside are misses.
    const std::string misses[] = {"PAR", "fo", "dplinedadodox", "parx", std::string("pa\0", 3), ""};
    for (const std::string& miss : misses)
        EXPECT_EQ(RtfFindKeyword(miss.data(), miss.size()), nullptr) << miss;
}

TEST(RtfReader, CutsTokensExactly) {
    const std::string letters(1000, 'q'), digits(600, '7');
    const std::pair<std::string, std::string> cases[] = {
        {"{\\b bold}", "G{|W\\b #b/0|Tb|To|Tl|Td|G}|=-1 @9"},
        // The words the passes test, by name.
        {"\\ab\\cf\\cs\\ds\\footnote\\keepn\\page\\plain\\s\\strike\\stylesheet\\ul\\uld\\uldb\\uln"
         "one\\ulw\\v\\zwnj",
         "W\\ab#ab/0|W\\cf#cf/1|W\\cs#cs/1|W\\ds#ds/1|W\\footnote#footnote/2|W\\keepn#keepn/"
         "4|W\\page#page/3|W\\plain#plain/4|W\\s#s/1|W\\strike#strike/0|W\\stylesheet#stylesheet/"
         "2|W\\ul#ul/0|W\\uld#uld/4|W\\uldb#uldb/4|W\\ulnone#ulnone/4|W\\ulw#ulw/4|W\\v#v/"
         "0|W\\zwnj#zwnj/3|=-1 @88"},
        {"\\par\\pard x", "W\\par#par/3|W\\pard #pard/4|Tx|=-1 @11"},
        {"\\fs20 x\\li-360x\\li-x", "W\\fs20 #fs/1|Tx|W\\li-360#li/1|Tx|W\\li-#li/1|Tx|=-1 @20"},
        {"\\'e9\\{\\\\", "T\\|T'|Te|T9|T\\|T{|T\\|T\\|=-1 @8"},
        // \* and unknown words never carry the id of the word before.
        {"\\par\\*\\cs99 \\widctlpar\\par",
         "W\\par#par/3|W\\*#/2|W\\cs99 #cs/1|W\\widctlpar#/0|W\\par#par/3|=-1 @26"},
        // Destinations the table lacks still open a skipped group.
        {"\\shp\\listtext7", "W\\shp#/2|W\\listtext7#/2|=-1 @14"},
        {"a\\", "Ta|=2003 @1"},
        {"\r\n\\-", "L\r|L\n|T\\-|=-1 @4"},
        {"\\\r}", "T\\|T\r|G}|=-1 @3"},
        {"\\PAR x", "W\\PAR #/0|Tx|=-1 @6"},
        // The data after \binN are part of the word, braces and all.
        {"\\bin3 {}\\x", "W\\bin3 {}\\#bin/1|Tx|=-1 @10"},
        {"\\bin9 ab", "W\\bin9 ab#bin/1|=-1 @8"},
        {"\\bin-3 {", "W\\bin-3 #bin/1|G{|=-1 @8"},
        // Long tokens are kept whole.
        {"\\" + letters + " \\fs" + digits + "x",
         "W\\" + letters + " #/0|W\\fs" + digits + "#fs/1|Tx|=-1 @1606"},
    };
    for (const auto& [input, tokens] : cases) EXPECT_EQ(Tokens(input), tokens);
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

TEST(RtfSink, GrowsGeometricallyAndKeepsItsTextOnFailure) {
    // Allocations of two appends, the first 512 bytes included.
    const size_t cases[][3] = {{511, 0, 1}, {511, 1, 2}, {100, 5000, 2}, {1000, 30, 3}};
    for (const auto& [first, second, allocations] : cases) {
        RtfSink s;
        std::string a(first, 'x'), b(second, 'y');
        long before = AllocationCount();
        EXPECT_EQ(s.Append(a.c_str()) + s.Append(b.c_str()), 0);
        EXPECT_EQ(AllocationCount() - before, static_cast<long>(allocations)) << first;
        EXPECT_EQ(std::string(s.Text(), s.Length()), a + b);
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
    EXPECT_EQ(std::string(f.Text(), f.Length()), "keep");
    f.CutBack(2);
    f.CutBack(3);  // never forward
    EXPECT_EQ(std::string(f.Text(), f.Length()), "ke");
    char* owned = f.Release();
    EXPECT_STREQ(owned, "ke");
    BrioFree(owned);
    EXPECT_STREQ(f.Text(), "");
    EXPECT_EQ(f.Release(), nullptr);
}

// Texts of megabytes take the pages ahead of them in steps, and a block taken
// over again is written from its start: every byte lands where it belongs.
TEST(RtfSink, TextsOfMegabytesKeepEveryByte) {
    RtfSink s;
    ASSERT_EQ(s.Reserve(size_t{5} << 20), 0);
    std::string expected;
    const size_t pieces[] = {1, 7, 300, 5000, size_t{3} << 20, 4095};
    for (size_t i = 0; expected.size() < (size_t{12} << 20); ++i) {
        std::string piece(pieces[i % 6], static_cast<char>('a' + i % 26));
        if (char* room = i % 2 ? s.Room(piece.size()) : nullptr) {
            std::memcpy(room, piece.data(), piece.size());
            s.Commit(piece.size());
        } else {
            ASSERT_EQ(s.Append(piece.data(), piece.size()), 0);
        }
        expected += piece;
    }
    ASSERT_EQ(s.Length(), expected.size());
    EXPECT_TRUE(std::string(s.Text(), s.Length()) == expected);
    size_t capacity = s.Capacity();
    char* block = s.Release();
    RtfSink again;
    again.Adopt(block, capacity);
    ASSERT_EQ(again.Append(expected.data() + 7, expected.size() - 7), 0);
    EXPECT_TRUE(std::string(again.Text(), again.Length()) == expected.substr(7));
}

TEST(RtfReader, EchoReproducesEveryCorpusFileAndRandomBytes) {
    auto files = test::ListFiles(test::CorpusDir("rtf"));
    ASSERT_GE(files.size(), 40u);
    std::vector<std::string> inputs;
    for (const auto& path : files) inputs.push_back(test::ReadFile(path));
    std::mt19937 rng(12345);
    const char alphabet[] = "\\{}\r\n *-'abcXYZ0129 \x80\xff";
    for (int round = 0; round < 3000; ++round) {
        std::string input;
        // Half from an RTF-heavy alphabet, half any byte but NUL.
        for (size_t i = 0, n = rng() % 64; i < n; ++i)
            input += rng() % 2 ? alphabet[rng() % (sizeof alphabet - 1)]
                               : static_cast<char>(1 + rng() % 255);
        inputs.push_back(input);
    }
    for (const std::string& input : inputs) {
        RtfReader r(input.c_str());
        RtfSink sink;
        int32_t end;
        while ((end = r.Next()) == 0)
            ASSERT_EQ(sink.Append(r.Text(), static_cast<size_t>(r.Length())), 0);
        EXPECT_EQ(r.Consumed(), sink.Length());
        // Only a lone backslash at the very end is no token.
        size_t trailing = input.size() - input.find_last_not_of('\\') - 1;  // npos: all
        EXPECT_EQ(end, trailing % 2 ? BRIO_ERR_UNEXPECTED_END : -1) << input.substr(0, 80);
        EXPECT_TRUE(std::string(sink.Text(), sink.Length()) + (trailing % 2 ? "\\" : "") == input)
            << input.substr(0, 80);
    }
}

}  // namespace
}  // namespace brio
