// The tool's private clipboard on Windows: bitmaps still travel between the
// host API and the exports, and the system clipboard keeps what the user had
// on it. (The portable clipboard is the process's own anyway.)
#include <gtest/gtest.h>

#include <string>

#include "brioutil.h"
#include "brioutil_host.h"
#include "platform/platform.h"
#include "test_support.h"

#ifdef _WIN32
namespace {

std::string TakeDib() {
    std::string dib(BrioHostClipboardGetDib(nullptr, 0), '\0');
    if (!dib.empty()) BrioHostClipboardGetDib(&dib[0], dib.size());
    return dib;
}

// A 2 x 2 24-bit bitmap: 40-byte header, two rows of 8 bytes.
std::string SmallDib() {
    std::string dib(40, '\0');
    const unsigned char header[] = {40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0};
    dib.replace(0, sizeof header, reinterpret_cast<const char*>(header), sizeof header);
    return dib + std::string("\x11\x22\x33\x44\x55\x66\0\0\x77\x88\x99\xAA\xBB\xCC\0\0", 16);
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
