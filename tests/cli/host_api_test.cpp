// The host API the tool is built on, called as a host calls it: file
// replacement and the private clipboard.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "brioutil_host.h"
#include "test_support.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

using brio::test::ReadFile;
using brio::test::TempDir;
using brio::test::WriteFile;

const std::string kOld = "old bytes, longer than the new ones";
const char kNewBytes[] = "new\0bytes\r\n";
const std::string kNew(kNewBytes, sizeof kNewBytes - 1);

TEST(HostReplaceFile, WritesExactlyTheBytesOrReportsWhyNot) {
    const struct {
        const char* name;
        bool oldFile;      // "f" holds kOld before the call
        std::string path;  // relative to the folder; "" for a null path
        const void* data;
        size_t size;
        int32_t status;
        std::string after;  // what "f" holds afterwards; "-" when it must not exist
    } cases[] = {
        {"new file", false, "f", kNew.data(), kNew.size(), BRIO_OK, kNew},
        {"longer file replaced", true, "f", kNew.data(), kNew.size(), BRIO_OK, kNew},
        {"emptied", true, "f", nullptr, 0, BRIO_OK, ""},
        {"folder missing", false, "none/f", kNew.data(), 1, BRIO_ERR_CREATE_OUTPUT, "-"},
        {"null path", true, "", kNew.data(), kNew.size(), BRIO_ERR_CREATE_OUTPUT, kOld},
        {"null data", true, "f", nullptr, 3, BRIO_ERR_CREATE_OUTPUT, kOld},
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
        // No temporary file is left beside it.
        EXPECT_EQ(dir.Entries(),
                  c.after == "-" ? std::vector<std::string>{} : std::vector<std::string>{"f"});
        if (c.after != "-") {
            EXPECT_EQ(ReadFile(dir.File("f")), c.after);
        }
    }
#ifndef _WIN32
    // A device is written in place; a full one fails the write.
    if (::access("/dev/full", W_OK) == 0) {
        EXPECT_EQ(BrioHostReplaceFile("/dev/full", kNew.data(), kNew.size()), BRIO_ERR_WRITE);
    }
#endif
}

TEST(HostClipboard, PrivateClipboardCopiesWhatFitsAndReportsTheSize) {
    BrioHostClipboardUsePrivate(1);
    std::string block(100, '\0'), small(10, '\0');
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i);
    ASSERT_EQ(BrioHostClipboardSetDib(block.data(), block.size()), 0);
    std::string got(BrioHostClipboardGetDib(nullptr, 0), '\0');
    ASSERT_GE(got.size(), block.size());
    EXPECT_EQ(BrioHostClipboardGetDib(&got[0], got.size()), got.size());
    EXPECT_EQ(got.substr(0, block.size()), block);
    EXPECT_EQ(BrioHostClipboardGetDib(&small[0], small.size()), got.size());
    EXPECT_EQ(small, block.substr(0, 10));
    BrioHostClipboardClear();
    EXPECT_EQ(BrioHostClipboardGetDib(nullptr, 0), 0u);
    EXPECT_NE(BrioHostClipboardSetDib(nullptr, 4), 0);
    BrioHostClipboardUsePrivate(0);
}

}  // namespace
