#include <gtest/gtest.h>

#include <map>
#include <string>

#include "adt/hash.h"
#include "frame/frame.h"
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

// Words match in any case through it; micro sign, sharp s, division sign stay.
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

TEST(PlatformFiles, ReadAtTakesExactCountsOrNothing) {
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
}

std::string gCaptured;

TEST(Frame, AssertionTextIsExactAndLineUnsigned) {
    brio::SetDebugOutputHook([](const char* text) { gCaptured += text; });
    for (unsigned short line : {0, 123, 65535}) {
        gCaptured.clear();
        brio::ReportAssertion(line, "SHG/HHS");
        std::string expected = "Assertion Failed: File SHG/HHS, Line " + std::to_string(line);
        EXPECT_EQ(gCaptured, expected + ".\r\n");
        EXPECT_STREQ(brio::LastAssertionText(), gCaptured.c_str());
    }
    brio::SetDebugOutputHook(nullptr);
}

TEST(ContextHash, KnownValues) {
    std::pair<const char*, uint32_t> cases[] = {
        {"abc", 32226},
        {"ABC", 32226},
        {"", 1},
        {"0x0000001F", 31},
        {"0x0000001f", 31},
        {"0x00000000", 0},           // taken as it is, 0 included
        {"0X0000001F", 1746347263},  // upper-case X: hashed
        {"0x1234567", 3275997350u},  // nine characters: hashed
        {"!._0", ((11u * 43 + 12) * 43 + 13) * 43 + 10},
        {" ", static_cast<uint32_t>(-16)},
        {"\x80", static_cast<uint32_t>(-128 - 48)},
        {"{", static_cast<uint32_t>('{' - 80)},
        {"0xDEADBEEF", 0xDEADBEEF},
    };
    for (auto [text, hash] : cases) EXPECT_EQ(brio::ContextHash(text), hash) << text;
}

}  // namespace
