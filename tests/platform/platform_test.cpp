#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "brioutil_host.h"
#include "platform/platform.h"
#include "test_support.h"

namespace {

using namespace brio;

TEST(PlatformGlobalMemory, LockCountsZeroFillAndResize) {
    GlobalHandle h = PlatGlobalAlloc(kGhnd, 4096);
    ASSERT_NE(h, nullptr);
    EXPECT_GE(PlatGlobalSize(h), 4096u);
    auto* p = static_cast<unsigned char*>(PlatGlobalLock(h));
    EXPECT_EQ(PlatGlobalLock(h), p);
    EXPECT_EQ(PlatGlobalLockCount(h), 2u);
    EXPECT_TRUE(PlatGlobalUnlock(h));  // still locked once
    for (size_t i = 0; i < 4096; ++i) {
        ASSERT_EQ(p[i], 0) << "byte " << i;
        p[i] = static_cast<unsigned char>(i * 7);
    }
    EXPECT_FALSE(PlatGlobalUnlock(h));  // now unlocked
    EXPECT_EQ(PlatGlobalLockCount(h), 0u);
    for (size_t size : {100000, 10}) {  // grown, then shrunk: the content stays
        h = PlatGlobalReAlloc(h, size, kGmemMoveable);
        ASSERT_NE(h, nullptr);
        EXPECT_GE(PlatGlobalSize(h), size);
        p = static_cast<unsigned char*>(PlatGlobalLock(h));
        for (size_t i = 0; i < std::min<size_t>(size, 4096); ++i)
            ASSERT_EQ(p[i], static_cast<unsigned char>(i * 7)) << size << " " << i;
        PlatGlobalUnlock(h);
    }
    EXPECT_EQ(PlatGlobalFree(h), nullptr);
}

TEST(PlatformGlobalMemory, FailureHookFailsExactlyTheNthAllocationOnce) {
    FailAllocationAfter(3);
    GlobalHandle first = PlatGlobalAlloc(kGmemMoveable, 8);
    void* second = BrioMalloc(8);
    GlobalHandle third = MemAlloc(kGhnd, 8, "test", __LINE__);
    GlobalHandle fourth = PlatGlobalAlloc(kGmemMoveable, 8);
    EXPECT_NE(first, nullptr);
    EXPECT_NE(second, nullptr);
    EXPECT_EQ(third, nullptr);
    EXPECT_NE(fourth, nullptr);

    // A failed resize leaves the block as it was.
    auto* p = static_cast<char*>(PlatGlobalLock(first));
    std::memcpy(p, "abcdefg", 8);
    PlatGlobalUnlock(first);
    FailAllocationAfter(1);
    EXPECT_EQ(PlatGlobalReAlloc(first, 1 << 20, kGmemMoveable), nullptr);
    EXPECT_STREQ(static_cast<char*>(PlatGlobalLock(first)), "abcdefg");
    PlatGlobalUnlock(first);

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
        {5, 1, 2, 3},        // 2.5 -> 3
        {-5, 1, 2, -3},      // -2.5 -> -3
        {5, -1, 2, -3},
        {7, 1, 3, 2},        // 2.33 -> 2
        {8, 1, 3, 3},        // 2.67 -> 3
        {-8, 1, -3, 3},
        {100, 2540, 1440, 176},   // 176.39
        {1000, 2540, 96, 26458},  // 26458.33
        {0x7FFFFFFF, 2, 2, 0x7FFFFFFF},
        {0x40000000, 4, 1, -1},   // overflow
        {1, 1, 0, -1},            // zero divisor
        {INT32_MIN, 1, 1, -1},     // outside the symmetric range
        {-0x7FFFFFFF, 1, 1, -0x7FFFFFFF},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PlatMulDiv(c.a, c.b, c.c), c.expected) << c.a << "*" << c.b << "/" << c.c;
}

TEST(PlatformText, CharUpperFollowsWindows1252OnAllBytes) {
    // Upper-case forms in Windows-1252 beyond ASCII; every other byte maps to
    // itself (micro sign and sharp s have no single-byte capital).
    std::map<int, int> capitals = {{0x9A, 0x8A}, {0x9C, 0x8C}, {0x9E, 0x8E}, {0xFF, 0x9F}};
    for (int c = 0xE0; c <= 0xFE; ++c)
        if (c != 0xF7) capitals[c] = c - 0x20;
    for (int c = 'a'; c <= 'z'; ++c) capitals[c] = c - 0x20;
    for (int c = 1; c < 256; ++c) {
        int expected = capitals.count(c) ? capitals[c] : c;
        EXPECT_EQ(PlatCharUpper(static_cast<unsigned char>(c)), expected) << "byte 0x" << std::hex << c;
    }
    char word[] = "caf\xE9 \xFF\x9A";
    PlatCharUpperString(word);
    EXPECT_STREQ(word, "CAF\xC9 \x9F\x8A");
}

TEST(PlatformText, CharNextAndPrevStepOneByte) {
    const char text[] = "a\xE9z";
    EXPECT_EQ(PlatCharNext(text), text + 1);
    EXPECT_EQ(PlatCharNext(text + 3), text + 3);  // stays on the terminator
    EXPECT_EQ(PlatCharPrev(text, text + 2), text + 1);
    EXPECT_EQ(PlatCharPrev(text, text), text);
}

TEST(PlatformText, FormatterConversionsAndBound) {
    char out[1024];
    struct Case {
        std::string got, expected;
    } cases[] = {
        {(FormatBounded(out, "%s|%s", "a", "b"), out), "a|b"},
        {(FormatBounded(out, "\\cs%d ", 99), out), "\\cs99 "},
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

TEST(PlatformFiles, AtomicFileReplacesOnlyOnCommit) {
    brio::test::TempDir dir;
    std::string target = dir.File("out.txt");
    ASSERT_TRUE(brio::test::WriteFile(target, "old content"));
#ifndef _WIN32
    ::chmod(target.c_str(), 0640);  // kept by the file that replaces it
#endif
    // Not committed: the old file stays, the temporary file goes.
    for (bool commit : {false, true}) {
        {
            AtomicFile file;
            ASSERT_TRUE(file.Open(target.c_str()));
            EXPECT_TRUE(file.Write("new\r\ncontent", 12));
            EXPECT_TRUE(!commit || file.Commit());
        }
        EXPECT_EQ(brio::test::ReadFile(target), commit ? "new\r\ncontent" : "old content");
        EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.txt"});
    }
#ifndef _WIN32
    struct stat info;
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
#endif
    AtomicFile nowhere;
    EXPECT_FALSE(nowhere.Open(dir.File("missing/out.txt").c_str()));
    EXPECT_FALSE(nowhere.Commit());
}

TEST(PlatformFiles, FileLayerCountsBytesFromTheStart) {
    brio::test::TempDir dir;
    std::string path = dir.File("data.bin");
    FileName fm = FmNewSzDir(path.c_str(), 1);
    Fid fid = FidCreateFm(fm, 3, 3);
    ASSERT_NE(fid, kFidNil);
    EXPECT_EQ(LcbWriteFid(fid, "0123456789", 10), 10);
    EXPECT_EQ(LTellFid(fid), 10);
    EXPECT_EQ(LSeekFid(fid, 2, 0), 2);
    EXPECT_EQ(LcbWriteFid(fid, "ab", 2), 2);
    EXPECT_EQ(RcCloseFid(fid), kRcOk);
    DisposeFm(fm);
    EXPECT_EQ(brio::test::ReadFile(path), "01ab456789");

    Fid in = FileOpenRead(path.c_str());
    ASSERT_NE(in, kFidNil);
    EXPECT_EQ(LSeekFid(in, 0, 2), 10);  // length
    EXPECT_EQ(LSeekFid(in, 8, 0), 8);
    char buffer[8] = {};
    EXPECT_EQ(LcbReadFid(in, buffer, 8), 2);  // short read reports its count
    EXPECT_STREQ(buffer, "89");
    FileClose(in);
    EXPECT_EQ(FileOpenRead(dir.File("absent").c_str()), kFidNil);
}

// The exports' tests move whole blocks; here a short buffer and a bad block.
TEST(PlatformClipboard, HostApiCopiesWhatFitsAndReportsTheSize) {
    std::string block(100, '\0'), small(10, '\0');
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i);
    ASSERT_EQ(BrioHostClipboardSetDib(block.data(), block.size()), 0);
    size_t size = BrioHostClipboardGetDib(nullptr, 0);
    ASSERT_GE(size, block.size());
    EXPECT_EQ(BrioHostClipboardGetDib(&small[0], small.size()), size);
    EXPECT_EQ(small, block.substr(0, 10));
    BrioHostClipboardClear();
    EXPECT_EQ(BrioHostClipboardGetDib(nullptr, 0), 0u);
    EXPECT_NE(BrioHostClipboardSetDib(nullptr, 4), 0);
}

}  // namespace
