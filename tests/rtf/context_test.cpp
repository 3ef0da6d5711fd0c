#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/platform.h"
#include "rtf/rtf.h"
#include "test_support.h"

namespace brio {
namespace {

struct StringContext {
    RtfContext c;
    explicit StringContext(const char* text) {
        std::memset(&c, 0, sizeof c);
        c.inText = c.inPos = text;
        c.inIsString = 1;
        c.outIsBuffer = 1;
    }
    ~StringContext() {
        RtfFreeContext(&c);
        BrioFree(c.outBuffer);
    }
};

TEST(RtfContext, StringInputEndsAtNulAndStaysThere) {
    StringContext s("ab");
    EXPECT_EQ(RtfGetChar(&s.c), 'a');
    EXPECT_EQ(RtfGetChar(&s.c), 'b');
    EXPECT_EQ(RtfGetChar(&s.c), -1);
    EXPECT_EQ(s.c.inOffset, 3u);
    RtfUngetChar(&s.c, -1);
    EXPECT_EQ(s.c.inOffset, 2u);
    EXPECT_EQ(RtfGetChar(&s.c), -1);  // not the last character again
    EXPECT_EQ(RtfGetChar(&s.c), -1);
    RtfUngetChar(&s.c, -1);
    RtfUngetChar(&s.c, 'b');
    EXPECT_EQ(RtfGetChar(&s.c), 'b');
    EXPECT_EQ(RtfSeek(&s.c, 0), 0);
    EXPECT_EQ(RtfGetChar(&s.c), 'a');
    EXPECT_EQ(s.c.inOffset, 1u);
    StringContext high("\xe9");
    EXPECT_EQ(RtfGetChar(&high.c), 0xe9);  // unsigned
}

TEST(RtfContext, FileInputEndsAtCtrlZ) {
    test::TempDir dir;
    std::string path = dir.File("in.rtf");
    ASSERT_TRUE(test::WriteFile(path, std::string("ab\x1a" "cd", 5)));
    RtfContext c;
    std::memset(&c, 0, sizeof c);
    c.inFile = PlatFileOpen(path.c_str(), "rb");
    ASSERT_NE(c.inFile, nullptr);
    EXPECT_EQ(RtfGetChar(&c), 'a');
    EXPECT_EQ(RtfGetChar(&c), 'b');
    EXPECT_EQ(RtfGetChar(&c), -1);
    EXPECT_EQ(RtfGetChar(&c), -1);  // the bytes after Ctrl-Z are never read
    RtfUngetChar(&c, -1);
    EXPECT_EQ(RtfGetChar(&c), -1);
    EXPECT_EQ(RtfSeek(&c, 1), 0);
    EXPECT_EQ(RtfGetChar(&c), 'b');
    char buffer[4] = {0};
    EXPECT_EQ(RtfSeek(&c, 0), 0);
    EXPECT_EQ(RtfRead(&c, buffer, 2), 0);
    EXPECT_STREQ(buffer, "ab");
    EXPECT_EQ(RtfRead(&c, buffer, 4), BRIO_ERR_READ);  // only 3 bytes remain
    RtfCloseFiles(&c);
}

TEST(RtfContext, BufferGrowthKeepsTheInvariants) {
    struct Case {
        size_t first;
        size_t second;
        int32_t capacity;
    } cases[] = {
        {511, 0, 512}, {511, 1, 1024}, {1500, 0, 1536}, {100, 5000, 5120}, {1000, 30, 2048},
    };
    for (const auto& k : cases) {
        StringContext s("");
        ASSERT_EQ(RtfStartBufferOutput(&s.c), 0);
        std::string a(k.first, 'x'), b(k.second, 'y');
        EXPECT_EQ(RtfAppendOutput(&s.c, a.c_str()), static_cast<int32_t>(k.first));
        EXPECT_EQ(RtfAppendOutput(&s.c, b.c_str()), static_cast<int32_t>(k.second));
        EXPECT_EQ(s.c.outCapacity, k.capacity);
        EXPECT_EQ(s.c.outPos - s.c.outBuffer + s.c.outFree, s.c.outCapacity);
        EXPECT_GE(s.c.outFree, 1);
        EXPECT_EQ(std::string(s.c.outBuffer), a + b);
    }
}

TEST(RtfContext, BufferGrowsGeometrically) {
    StringContext s("");
    ASSERT_EQ(RtfStartBufferOutput(&s.c), 0);
    long before = AllocationCount();
    for (int i = 0; i < (1 << 20); ++i) ASSERT_EQ(RtfWriteString(&s.c, "z"), 0);
    // 512 doubled up to 2 MB: 12 reallocations, not 2048.
    EXPECT_EQ(AllocationCount() - before, 12);
    EXPECT_EQ(s.c.outCapacity, 2 << 20);
    EXPECT_EQ(RtfOutputLength(&s.c), 1 << 20);
}

TEST(RtfContext, GrowthFailureReports2005AndKeepsTheText) {
    StringContext s("");
    ASSERT_EQ(RtfStartBufferOutput(&s.c), 0);
    ASSERT_EQ(RtfWriteString(&s.c, "keep"), 0);
    std::string big(600, 'q');
    FailAllocationAfter(1);
    EXPECT_EQ(RtfWriteString(&s.c, big.c_str()), BRIO_ERR_NO_MEMORY);
    FailAllocationAfter(0);
    EXPECT_STREQ(s.c.outBuffer, "keep");
    EXPECT_EQ(s.c.outCapacity, 512);
    EXPECT_EQ(s.c.outFree, 508);
}

TEST(RtfContext, CopyInputAndSuppressedTokens) {
    StringContext s("a\0b" "cd");
    ASSERT_EQ(RtfStartBufferOutput(&s.c), 0);
    EXPECT_EQ(RtfCopyInput(&s.c, -1), BRIO_ERR_NOT_FOUND);
    EXPECT_EQ(s.c.inOffset, 0u);
    EXPECT_EQ(RtfCopyInput(&s.c, 0), 0);
    EXPECT_EQ(RtfCopyInput(&s.c, 1), 0);
    EXPECT_STREQ(s.c.outBuffer, "a");
    EXPECT_EQ(s.c.inOffset, 1u);

    std::strcpy(s.c.tokenText, "\\par ");
    s.c.tokenLength = 5;
    s.c.suppressOutput = 1;
    EXPECT_EQ(RtfWriteToken(&s.c), 0);
    EXPECT_STREQ(s.c.outBuffer, "a");
    EXPECT_EQ(RtfWriteString(&s.c, "!"), 0);  // not suppressed
    s.c.suppressOutput = 0;
    EXPECT_EQ(RtfWriteToken(&s.c), 0);
    EXPECT_STREQ(s.c.outBuffer, "a!\\par ");
}

TEST(RtfContext, FileOutputWritesAndNoFileWritesNothing) {
    test::TempDir dir;
    std::string path = dir.File("out.rtf");
    RtfContext c;
    std::memset(&c, 0, sizeof c);
    std::strcpy(c.tokenText, "{");
    c.tokenLength = 1;
    EXPECT_EQ(RtfWriteToken(&c), 0);  // file output but no file
    c.outFile = PlatFileOpen(path.c_str(), "wb");
    ASSERT_NE(c.outFile, nullptr);
    EXPECT_EQ(RtfWriteToken(&c), 0);
    EXPECT_EQ(RtfWriteString(&c, "\\rtf1\r\n"), 0);
    RtfCloseFiles(&c);
    EXPECT_EQ(test::ReadFile(path), "{\\rtf1\r\n");

    // A stream that cannot be written reports 2006.
    c.outFile = PlatFileOpen(path.c_str(), "rb");
    ASSERT_NE(c.outFile, nullptr);
    EXPECT_EQ(RtfWriteString(&c, "x"), BRIO_ERR_WRITE);
    EXPECT_EQ(RtfWriteToken(&c), BRIO_ERR_WRITE);
    RtfCloseFiles(&c);
}

}  // namespace
}  // namespace brio
