#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "platform/platform.h"
#include "test_support.h"

namespace {

using namespace brio;

// Picture extents are scaled with it.
TEST(PlatformText, MulDivRoundsHalfAwayFromZeroAndFlagsOverflow) {
    struct Case {
        int32_t a, b, c, expected;
    } cases[] = {
        {5, 1, 2, 3},
        {-5, 1, 2, -3},
        {5, -1, 2, -3},
        {8, 1, 3, 3},
        {-8, 1, -3, 3},
        {1000, 2540, 96, 26458},
        {0x7FFFFFFF, 2, 2, 0x7FFFFFFF},
        {0x40000000, 4, 1, -1},
        {1, 1, 0, -1},
        {INT32_MIN, 1, 1, -1},
        {-0x7FFFFFFF, 1, 1, -0x7FFFFFFF},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PlatMulDiv(c.a, c.b, c.c), c.expected) << c.a << "*" << c.b << "/" << c.c;
}

// Matching words in any case goes through it: Windows-1252 capitals; micro
// sign, sharp s and the division sign map to themselves.
TEST(PlatformText, CharUpperFollowsWindows1252) {
    std::map<int, int> capitals = {{0x9A, 0x8A}, {0x9C, 0x8C}, {0x9E, 0x8E}, {0xFF, 0x9F}};
    for (int c = 0xE0; c <= 0xFE; ++c)
        if (c != 0xF7) capitals[c] = c - 0x20;
    for (int c = 'a'; c <= 'z'; ++c) capitals[c] = c - 0x20;
    for (int c = 1; c < 256; ++c) {
        int expected = capitals.count(c) ? capitals[c] : c;
        EXPECT_EQ(PlatCharUpper(static_cast<unsigned char>(c)), expected) << std::hex << c;
    }
}

TEST(PlatformFiles, ReadAtTakesExactCountsAndBoundedTextStaysInItsBuffer) {
    brio::test::TempDir dir;
    std::string path = dir.File("data.bin");
    ASSERT_TRUE(brio::test::WriteFile(path, "0123456789"));
    UniqueFile in(PlatFileOpen(path.c_str(), "rb"));
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(FileLength(in.get()), 10);
    struct Case {
        uint64_t offset, count;
        bool read;
        std::string bytes;
    } cases[] = {{8, 2, true, "89"}, {0, 10, true, "0123456789"}, {8, 3, false, ""},
                 {10, 0, true, ""},  {0x80000000u, 1, false, ""}, {0, 0x80000000u, false, ""}};
    for (const auto& c : cases) {
        std::string buffer(16, '\0');
        EXPECT_EQ(ReadAt(in.get(), c.offset, &buffer[0], c.count), c.read) << c.offset;
        EXPECT_EQ(buffer.substr(0, c.bytes.size()), c.bytes) << c.offset;
    }
    char out[1024];
    EXPECT_EQ(FormatBounded(out, "#{%s}", std::string(3000, 'x').c_str()), 1023);
    EXPECT_EQ(std::strlen(out), 1023u);
}

}  // namespace
