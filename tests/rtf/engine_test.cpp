// The RTF engine: reader tokens, and the sink on texts of megabytes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "rtf/rtf.h"

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

TEST(RtfReader, CutsTokensExactly) {
    const std::string letters(1000, 'q'), digits(600, '7');
    const std::pair<std::string, std::string> cases[] = {
        {"{\\b bold}", "G{|W\\b #b/0|Tb|To|Tl|Td|G}|=-1 @9"},
        {"\\fs20 x\\li-360x\\li-x", "W\\fs20 #fs/1|Tx|W\\li-360#li/1|Tx|W\\li-#li/1|Tx|=-1 @20"},
        {"\\'e9\\{\\\\", "T\\|T'|Te|T9|T\\|T{|T\\|T\\|=-1 @8"},
        // \* and unknown words never carry the id of the word before.
        {"\\par\\*\\cs99 \\widctlpar\\par",
         "W\\par#par/3|W\\*#/2|W\\cs99 #cs/1|W\\widctlpar#/0|W\\par#par/3|=-1 @26"},
        // Destinations the table lacks still open a skipped group.
        {"\\shp\\listtext7", "W\\shp#/2|W\\listtext7#/2|=-1 @14"},
        {"a\\", "Ta|=2003 @1"},
        // The data after \binN are part of the word, braces and all.
        {"\\bin12 {}\\x01234567y", "W\\bin12 {}\\x01234567#bin/1|Ty|=-1 @20"},
        {"\\bin9 ab", "W\\bin9 ab#bin/1|=-1 @8"},
        {"\\bin-3 {", "W\\bin-3 #bin/1|G{|=-1 @8"},
        // Long tokens are kept whole.
        {"\\" + letters + " \\fs" + digits + "x",
         "W\\" + letters + " #/0|W\\fs" + digits + "#fs/1|Tx|=-1 @1606"},
    };
    for (const auto& [input, tokens] : cases) EXPECT_EQ(Tokens(input), tokens);
}

// Megabyte texts take the pages ahead in steps; a block taken over is written from its start.
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
        ASSERT_EQ(s.Room(s.Capacity() - s.Length()), nullptr);  // never lent past the block
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

}  // namespace
}  // namespace brio
