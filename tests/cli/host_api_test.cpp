// The host API's file replacement, which writes every output of the tool.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "brioutil_host.h"
#include "test_support.h"

namespace {

using namespace brio::test;

TEST(HostReplaceFile, WritesExactlyTheBytesOrReportsWhyNot) {
    const std::string old = "old bytes, longer than the new ones", fresh("new\0bytes\r\n", 11);
    const struct {
        std::string path;  // relative to the folder, which holds "f"; "" for a null path
        const void* data;
        size_t size;
        int32_t status;
        std::string after;  // what "f" holds afterwards
    } cases[] = {
        {"f", fresh.data(), fresh.size(), BRIO_OK, fresh},
        {"f", nullptr, 0, BRIO_OK, ""},
        {"none/f", fresh.data(), 1, BRIO_ERR_CREATE_OUTPUT, old},
        {"", fresh.data(), fresh.size(), BRIO_ERR_CREATE_OUTPUT, old},
        {"f", nullptr, 3, BRIO_ERR_CREATE_OUTPUT, old},
    };
    for (const auto& c : cases) {
        TempDir dir;
        ASSERT_TRUE(WriteFile(dir.File("f"), old));
        std::string path = dir.File(c.path);
        errno = 0;
        int32_t status =
            BrioHostReplaceFile(c.path.empty() ? nullptr : path.c_str(), c.data, c.size);
        if (c.path == "none/f") {
            EXPECT_EQ(errno, ENOENT);
        }
        EXPECT_EQ(status, c.status) << c.path;
        // No temporary file is left beside it.
        EXPECT_EQ(dir.Entries(), std::vector<std::string>{"f"}) << c.path;
        EXPECT_EQ(ReadFile(dir.File("f")), c.after) << c.path;
    }
#ifndef _WIN32
    // A device is written in place; a full one fails the write (not as root:
    // see TopicDummyFile.ReportsFailures).
    EXPECT_EQ(
        RunUnprivileged([] { return BrioHostReplaceFile("/dev/full", "x", 1) == BRIO_ERR_WRITE; }),
        1);
#endif
}

// A host's buffer smaller than the block takes what fits; the size is the block's.
TEST(HostClipboard, GetDibCopiesWhatFitsAndReportsTheSize) {
    BrioHostClipboardUsePrivate(1);
    const std::string block = "0123456789abcdef";
    ASSERT_EQ(BrioHostClipboardSetDib(block.data(), block.size()), 0);
    std::string small(4, '\0');
    EXPECT_EQ(BrioHostClipboardGetDib(&small[0], small.size()),
              BrioHostClipboardGetDib(nullptr, 0));
    EXPECT_GE(BrioHostClipboardGetDib(nullptr, 0), block.size());
    EXPECT_EQ(small, "0123");
    BrioHostClipboardClear();
    EXPECT_EQ(BrioHostClipboardGetDib(nullptr, 0), 0u);
    BrioHostClipboardUsePrivate(0);
}

}  // namespace
