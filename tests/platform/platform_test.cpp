#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "brioutil_host.h"
#include "platform/platform.h"
#include "test_support.h"

namespace {

using namespace brio;

TEST(PlatformGlobalMemory, LockCountsAndZeroFill) {
    GlobalHandle h = PlatGlobalAlloc(kGhnd, 4096);
    ASSERT_NE(h, nullptr);
    EXPECT_GE(PlatGlobalSize(h), 4096u);
    auto* p = static_cast<unsigned char*>(PlatGlobalLock(h));
    EXPECT_EQ(PlatGlobalLock(h), p);
    EXPECT_EQ(PlatGlobalLockCount(h), 2u);
    EXPECT_TRUE(PlatGlobalUnlock(h));  // still locked once
    EXPECT_EQ(std::string(reinterpret_cast<char*>(p), 4096), std::string(4096, '\0'));
    std::memset(p, 0x5A, 4096);
    EXPECT_FALSE(PlatGlobalUnlock(h));  // now unlocked
    EXPECT_EQ(PlatGlobalLockCount(h), 0u);
    p = static_cast<unsigned char*>(PlatGlobalLock(h));  // the content stays
    EXPECT_EQ(std::string(reinterpret_cast<char*>(p), 4096), std::string(4096, '\x5A'));
    PlatGlobalUnlock(h);
    EXPECT_EQ(PlatGlobalFree(h), nullptr);
}

TEST(PlatformGlobalMemory, FailureHookFailsExactlyTheNthAllocationOnce) {
    FailAllocationAfter(3);
    GlobalHandle first = PlatGlobalAlloc(kGmemMoveable, 8);
    void* second = BrioMalloc(8);
    GlobalHandle third = PlatGlobalAlloc(kGhnd, 8);
    GlobalHandle fourth = PlatGlobalAlloc(kGmemMoveable, 8);
    EXPECT_NE(first, nullptr);
    EXPECT_NE(second, nullptr);
    EXPECT_EQ(third, nullptr);
    EXPECT_NE(fourth, nullptr);
    long before = AllocationCount();
    FailAllocationAfter(0);
    void* more = BrioRealloc(second, 64);
    EXPECT_NE(more, nullptr);
    EXPECT_EQ(AllocationCount(), before + 1);
    BrioFree(more);
    PlatGlobalFree(first);
    PlatGlobalFree(fourth);
}

TEST(PlatformText, MulDivRoundsHalfAwayFromZeroAndFlagsOverflow) {
    struct Case {
        int32_t a, b, c, expected;
    } cases[] = {
        {5, 1, 2, 3},    // 2.5 -> 3
        {-5, 1, 2, -3},  // -2.5 -> -3
        {5, -1, 2, -3},
        {7, 1, 3, 2},  // 2.33 -> 2
        {8, 1, 3, 3},  // 2.67 -> 3
        {-8, 1, -3, 3},
        {100, 2540, 1440, 176},   // 176.39
        {1000, 2540, 96, 26458},  // 26458.33
        {0x7FFFFFFF, 2, 2, 0x7FFFFFFF},
        {0x40000000, 4, 1, -1},  // overflow
        {1, 1, 0, -1},           // zero divisor
        {INT32_MIN, 1, 1, -1},   // outside the symmetric range
        {-0x7FFFFFFF, 1, 1, -0x7FFFFFFF},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PlatMulDiv(c.a, c.b, c.c), c.expected) << c.a << "*" << c.b << "/" << c.c;
}

TEST(PlatformText, CharUpperFollowsWindows1252AndCharStepsAreOneByte) {
    // Upper-case forms in Windows-1252 beyond ASCII; every other byte maps to
    // itself (micro sign and sharp s have no single-byte capital).
    std::map<int, int> capitals = {{0x9A, 0x8A}, {0x9C, 0x8C}, {0x9E, 0x8E}, {0xFF, 0x9F}};
    for (int c = 0xE0; c <= 0xFE; ++c)
        if (c != 0xF7) capitals[c] = c - 0x20;
    for (int c = 'a'; c <= 'z'; ++c) capitals[c] = c - 0x20;
    for (int c = 1; c < 256; ++c) {
        int expected = capitals.count(c) ? capitals[c] : c;
        EXPECT_EQ(PlatCharUpper(static_cast<unsigned char>(c)), expected) << std::hex << c;
    }
    char word[] = "caf\xE9 \xFF\x9A";
    PlatCharUpperString(word);
    EXPECT_STREQ(word, "CAF\xC9 \x9F\x8A");
    EXPECT_EQ(PlatCharNext(word), word + 1);
    EXPECT_EQ(PlatCharNext(word + 7), word + 7);  // stays on the terminator
    EXPECT_EQ(PlatCharPrev(word, word + 2), word + 1);
    EXPECT_EQ(PlatCharPrev(word, word), word);
}

TEST(PlatformText, FormatterConversionsAndBound) {
    char out[1024];
    struct Case {
        std::string got, expected;
    } cases[] = {
        {(FormatBounded(out, "%s|%s", "a", "b"), out), "a|b"},
        {(FormatBounded(out, "%u/%d/%c/%x/%%", 65535u, -7, 'K', 255u), out), "65535/-7/K/ff/%"},
        {(FormatBounded(out, "[%5d][%-3s][%03u]", 42, "x", 7u), out), "[   42][x  ][007]"},
        {Format("%lu-%ld", 4000000000ul, -5l), "4000000000--5"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.got, c.expected);
    std::string longText(3000, 'x');
    EXPECT_EQ(FormatBounded(out, "#{%s}", longText.c_str()), 1023);
    EXPECT_EQ(std::strlen(out), 1023u);
    EXPECT_EQ(Format("#{%s}", longText.c_str()).size(), 3003u);  // the unbounded form keeps all
}

TEST(PlatformFiles, ReadAtTakesExactCountsFromTheStart) {
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
    } cases[] = {{8, 2, true, "89"},          {0, 10, true, "0123456789"}, {8, 3, false, ""},
                 {2, 3, true, "234"},         {10, 1, false, ""},          {10, 0, true, ""},
                 {0x80000000u, 1, false, ""}, {0, 0x80000000u, false, ""}};
    for (const auto& c : cases) {
        std::string buffer(16, '\0');
        EXPECT_EQ(ReadAt(in.get(), c.offset, &buffer[0], c.count), c.read) << c.offset;
        EXPECT_EQ(buffer.substr(0, c.bytes.size()), c.bytes) << c.offset;
    }
    EXPECT_EQ(FileLength(nullptr), -1);
    EXPECT_EQ(PlatFileOpen(dir.File("absent").c_str(), "rb"), nullptr);
}

}  // namespace
