// The host API the tool is built on, called as a host calls it: file
// replacement and the private clipboard.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "brioutil_host.h"
#include "platform/platform.h"
#include "test_support.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

using brio::test::ReadFile;
using brio::test::TempDir;
using brio::test::WriteFile;

const std::string kOld = "old bytes, longer than the new ones";
const char kNewBytes[] = "new\0bytes\r\n";
const std::string kNew(kNewBytes, sizeof kNewBytes - 1);

struct ReplaceCase {
    const char* name;
    bool oldFile;      // "f" holds kOld before the call
    std::string path;  // relative to the folder; "" for a null path
    const void* data;
    size_t size;
    int32_t status;
    std::string after;  // what "f" holds afterwards; "-" when it must not exist
};

TEST(HostReplaceFile, WritesExactlyTheBytesOrReportsWhyNot) {
    const std::vector<ReplaceCase> cases = {
        {"new file", false, "f", kNew.data(), kNew.size(), BRIO_OK, kNew},
        {"longer file replaced", true, "f", kNew.data(), kNew.size(), BRIO_OK, kNew},
        {"emptied", true, "f", nullptr, 0, BRIO_OK, ""},
        {"folder missing", true, "none/f", kNew.data(), kNew.size(), BRIO_ERR_CREATE_OUTPUT, kOld},
        {"null path", true, "", kNew.data(), kNew.size(), BRIO_ERR_CREATE_OUTPUT, kOld},
        {"null data", true, "f", nullptr, 3, BRIO_ERR_CREATE_OUTPUT, kOld},
        {"no file, folder missing", false, "none/f", kNew.data(), 1, BRIO_ERR_CREATE_OUTPUT, "-"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        if (c.oldFile) {
            ASSERT_TRUE(WriteFile(dir.File("f"), kOld));
        }
        std::string path = dir.File(c.path);
        errno = 0;
        int32_t status =
            BrioHostReplaceFile(c.path.empty() ? nullptr : path.c_str(), c.data, c.size);
        int error = errno;
        EXPECT_EQ(status, c.status);
        if (c.path == "none/f") {
            EXPECT_EQ(error, ENOENT);
        }
        if (c.after == "-") {
            EXPECT_EQ(dir.Entries(), std::vector<std::string>{});
        } else {
            EXPECT_EQ(ReadFile(dir.File("f")), c.after);
            // No temporary file is left beside it.
            EXPECT_EQ(dir.Entries(), std::vector<std::string>{"f"});
        }
    }
}

// Each allocation of a replacement failing in turn: out of memory, and the
// old file stays whole.
TEST(HostReplaceFile, EachFailedAllocationLeavesTheOldFile) {
    TempDir dir;
    std::string path = dir.File("a-name-long-enough-to-be-allocated.txt");
    ASSERT_TRUE(WriteFile(path, kOld));
    brio::FailAllocationAfter(0);
    long before = brio::AllocationCount();
    ASSERT_EQ(BrioHostReplaceFile(path.c_str(), kOld.data(), kOld.size()), BRIO_OK);
    long total = brio::AllocationCount() - before;
    ASSERT_GT(total, 0);
    for (long k = 1; k <= total; ++k) {
        SCOPED_TRACE("allocation " + std::to_string(k) + " of " + std::to_string(total));
        brio::FailAllocationAfter(k);
        int32_t status = BrioHostReplaceFile(path.c_str(), kNew.data(), kNew.size());
        brio::FailAllocationAfter(0);
        // An allocation the replacement can do without may fail unnoticed.
        if (status == BRIO_OK) {
            EXPECT_EQ(ReadFile(path), kNew);
            ASSERT_TRUE(WriteFile(path, kOld));
            continue;
        }
        EXPECT_EQ(status, BRIO_ERR_NO_MEMORY);
        EXPECT_EQ(ReadFile(path), kOld);
        EXPECT_EQ(dir.Entries(),
                  std::vector<std::string>{"a-name-long-enough-to-be-allocated.txt"});
    }
}

#ifndef _WIN32
TEST(HostReplaceFile, FollowsALinkKeepsTheModeAndReportsAFailedWrite) {
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir.File("real"), kOld));
    ASSERT_EQ(::chmod(dir.File("real").c_str(), 0640), 0);
    ASSERT_EQ(::symlink("real", dir.File("link").c_str()), 0);
    ASSERT_EQ(BrioHostReplaceFile(dir.File("link").c_str(), kNew.data(), kNew.size()), BRIO_OK);
    EXPECT_EQ(ReadFile(dir.File("real")), kNew);
    struct stat info = {};
    ASSERT_EQ(::lstat(dir.File("link").c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    ASSERT_EQ(::stat(dir.File("real").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"link", "real"}));
    // A device is written in place; a full one fails the write.
    if (::access("/dev/full", W_OK) == 0) {
        EXPECT_EQ(BrioHostReplaceFile("/dev/full", kNew.data(), kNew.size()), BRIO_ERR_WRITE);
    }
}
#endif

TEST(HostClipboard, PrivateClipboardHoldsWhatTheHostPuts) {
    BrioHostClipboardUsePrivate(1);
    const char bytes[] = "BM\0\x01\x02 a packed bitmap";
    const std::string block(bytes, sizeof bytes - 1);
    ASSERT_EQ(BrioHostClipboardSetDib(block.data(), block.size()), 0);
    std::string got(BrioHostClipboardGetDib(nullptr, 0), '\0');
    ASSERT_GE(got.size(), block.size());
    EXPECT_EQ(BrioHostClipboardGetDib(&got[0], got.size()), got.size());
    EXPECT_EQ(got.substr(0, block.size()), block);
    BrioHostClipboardClear();
    EXPECT_EQ(BrioHostClipboardGetDib(nullptr, 0), 0u);
    BrioHostClipboardUsePrivate(0);
}

}  // namespace
