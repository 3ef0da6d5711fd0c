// The tool's private clipboard on Windows: bitmaps still travel between the
// host API and the exports, and the system clipboard keeps what the user had
// on it. (The portable clipboard is the process's own anyway.)
#include <gtest/gtest.h>

#include <string>

#include "bitmap/picture_fixtures.h"
#include "platform/platform.h"
#include "test_support.h"

#ifdef _WIN32
namespace {

std::string TakeDib() {
    return brio::test::Str(brio::test::Clipboard());
}

// A 2 x 2 24-bit bitmap: two rows of 8 bytes.
std::string SmallDib() {
    return brio::test::Str(brio::test::MakeDib(
        2, 2, 24, {},
        {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0, 0, 0x77, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0, 0}));
}

struct PrivateClipboard {
    PrivateClipboard() { brio::ClipboardUsePrivate(true); }
    ~PrivateClipboard() { brio::ClipboardUsePrivate(false); }
};

TEST(PlatformClipboard, PrivateClipboardKeepsBitmapsInTheProcess) {
    const std::string user = "the user's clipboard";
    ASSERT_EQ(BrioHostClipboardSetDib(user.data(), user.size()), 0);
    brio::test::TempDir dir;
    std::string path = dir.File("picture.shg");
    {
        PrivateClipboard scope;
        EXPECT_EQ(TakeDib(), "");
        ASSERT_EQ(BrioHostClipboardSetDib(SmallDib().data(), SmallDib().size()), 0);
        HotspotFile* file = FileSetBitmap(path.c_str());
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(FileWriteHotspots(file), 0);
        FileCleanup(file);
        BrioHostClipboardClear();
        EXPECT_EQ(TakeDib(), "");
        // Read back, the picture's bitmap comes out on the private clipboard.
        EXPECT_EQ(FileGetBitmap(path.c_str(), 1), 0);
        std::string back = TakeDib();
        ASSERT_GE(back.size(), 56u);
        EXPECT_EQ(back.substr(40, 16), SmallDib().substr(40));
    }
    // Back on the system clipboard: the user's block was never replaced.
    EXPECT_EQ(TakeDib().substr(0, user.size()), user);
    BrioHostClipboardClear();
}

}  // namespace
#endif
