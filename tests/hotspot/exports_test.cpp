#include <gtest/gtest.h>

#include "bitmap/picture_fixtures.h"
#include "platform/platform.h"
#include "test_support.h"

namespace {

using namespace brio::test;

void SetClipboard(const Bytes& dib) {
    ASSERT_EQ(BrioHostClipboardSetDib(dib.data(), dib.size()), 0);
}

const std::string kBmp24 = MakeBmp({40, 4, 2, 24, 0, 0, 0, Bytes(24, 7)});

// FileGetBitmap takes fewer forms than HotspotGetDIBBitmap; its resolutions are 0.
TEST(BitmapFiles, HotspotGetDIBBitmapAndFileGetBitmap) {
    Bytes counting(24);
    for (size_t i = 0; i < counting.size(); ++i) counting[i] = uint8_t(i + 1);
    struct Case {
        const char* name;
        BmpFields bmp;
        int32_t result;          // of HotspotGetDIBBitmap
        bool opens = false;      // by FileGetBitmap
        uint32_t colours = 0;    // colours-used field on the clipboard
        size_t pixelsAt = 0;     // where the pixels are in the block
        uint32_t imageSize = 0;  // image-size field; the pixels padded to it
    } cases[] = {
        {"8 bits, colours 3", {40, 4, 2, 8, 0, 3, 3, Bytes(8, 2)}, 0, true, 3, 52, 8},
        {"16 bits has no table", {40, 4, 2, 16, 0, 0, 0, Bytes(16, 0x31)}, 0, true, 0, 40, 16},
        {"core header, 4 bits", {12, 4, 2, 4, 0, 0, 16, Bytes(8, 3)}, 0, true, 16, 104, 8},
        {"core header, 1 bit", {12, 4, 2, 1, 0, 0, 2, Bytes(8, 0x61)}, 0, true, 2, 48, 8},
        {"short file padded", {40, 3, 2, 24, 0, 0, 0, {1, 2, 3, 4, 5}}, 0, true, 0, 40, 24},
        {"gap before the pixels", {40, 4, 1, 8, 0, 2, 2, {9, 8, 7, 6}, -1, 10}, 0, true, 2, 48, 4},
        {"bits offset past the end", {40, 4, 2, 24, 0, 0, 0, counting, 5000}, 0, false, 0, 40, 24},
        {"bits offset in the header", {40, 4, 2, 24, 0, 0, 0, counting, 20}, 0, false, 0, 40, 24},
        {"top-down", {40, 4, -2, 24, 0, 0, 0, counting}, 0, false, 0, 40, 24},
        {"bit-field masks", {40, 4, 2, 16, 3, 0, 3, Bytes(16, 0x71)}, 0, false, 0, 52, 16},
        {"run-length", {40, 4, 2, 8, 1, 0, 256, Bytes(8, 1)}, 0, false, 256, 1064, 8},
        {"header 108", {108, 4, 2, 24, 0, 0, 0, Bytes(24, 1)}, 0, false, 0, 108, 24},
        {"colour count past the file", {40, 4, 2, 8, 0, 0x40000000, 2, Bytes(8, 1)}, 2009},
        {"table past the file", {40, 4, 2, 8, 0, 0, 10, {}}, 2009},
        {"lying dimensions", {40, 30000, 30000, 24, 0, 0, 0, Bytes(24, 1)}, 2009},
    };
    TempDir dir;
    std::string path = dir.File("a.bmp");
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteFile(path, MakeBmp(c.bmp)));
        BrioHostClipboardClear();
        EXPECT_EQ(HotspotGetDIBBitmap(path.c_str()), c.result) << c.name;
        Bytes dib = Clipboard();
        EXPECT_EQ(FileGetBitmap(path.c_str(), 1), c.opens ? 0 : 1) << c.name;
        if (c.opens && dib.size() >= 32) {
            std::fill(dib.begin() + 24, dib.begin() + 32, 0);
            EXPECT_EQ(Clipboard(), dib) << c.name;
        }
        if (c.result != 0) {
            EXPECT_TRUE(dib.empty()) << c.name;
            continue;
        }
        uint32_t header = c.bmp.headerSize == 12 ? 40 : c.bmp.headerSize;
        EXPECT_EQ(U32s(dib, {0, 4, 8, 20, 32}),
                  (std::vector<uint32_t>{header, uint32_t(c.bmp.width), uint32_t(c.bmp.height),
                                         c.imageSize, c.colours}))
            << c.name;
        // Table entries (or masks) as in the file, widened for core headers.
        for (uint32_t i = 0; i < c.bmp.tableEntries && 44 + 4 * i <= c.pixelsAt; ++i)
            EXPECT_EQ(Sub(dib, 40 + 4 * i, 4),
                      Bytes({uint8_t(i), uint8_t(2 * i), uint8_t(3 * i), 0}))
                << c.name << " entry " << i;
        Bytes pixels = c.bmp.pixels;
        pixels.resize(c.imageSize, 0);
        EXPECT_EQ(Sub(dib, c.pixelsAt), pixels) << c.name;
    }
    std::string notBm = kBmp24, shortHeader = MakeBmp({124, 4, 2, 24, 0, 0, 0, {}}).substr(0, 60);
    notBm[1] = 'A';
    for (const auto& bad : {notBm, shortHeader, kBmp24.substr(0, 20), std::string()}) {
        ASSERT_TRUE(WriteFile(path, bad));
        BrioHostClipboardClear();
        EXPECT_EQ(HotspotGetDIBBitmap(path.c_str()), 2009) << bad.size();
        EXPECT_EQ(FileGetBitmap(path.c_str(), 1), 1) << bad.size();
        EXPECT_TRUE(Clipboard().empty());
    }
    std::string missingFile = dir.File("missing.bmp");
    for (const char* missing : {missingFile.c_str(), static_cast<const char*>(nullptr)}) {
        EXPECT_EQ(HotspotGetDIBBitmap(missing), 2001);
        EXPECT_EQ(FileGetBitmap(missing, 1), 1);
        EXPECT_EQ(FileGetBitmap(missing, 0), 0);
    }
}

TEST(FileGetBitmap, GroupFilesAndMetafiles) {
    Stored s;  // the first of two pictures: its own data and hotspots
    s.packing = 1, s.colours = 2;
    s.table = {1, 2, 3, 0, 4, 5, 6, 0};
    s.data = {0x04, 0x01, 0x04, 0x02};
    s.hotspots =
        Hex("01 0300 00000000  e7 04 00 0000 0100 0500 0600 00000000"
            "e6 04 00 0a00 0b00 0500 0600 00000000  cc 04 00 1400 1500 0500 0600 00000000"
            "00 746f7069635f3100 00 706f70757000 00 4d6163726f282900");
    Stored second, grey;  // a 1-bit picture without its table gets black and white
    grey.bits = 1, grey.width = 8, grey.height = 1;
    second.data = grey.data = {0xF0, 0, 0, 0};
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir.File("g.shg"), MakeGroupFile({BuildStored(s), BuildStored(second)})));
    ASSERT_TRUE(WriteFile(dir.File("grey.shg"), MakeGroupFile({BuildStored(grey)})));
    ASSERT_TRUE(WriteFile(dir.File("m.wmf"), MakeMetafile(0, 0, 1440, 1440, 1440, "xy")));
    BrioHostClipboardClear();
    intptr_t handle = FileGetBitmap(dir.File("g.shg").c_str(), 0);
    ASSERT_NE(handle, 0);
    // 96 pixels an inch; the table and the rows, unpacked.
    EXPECT_EQ(Clipboard(), Hex("28000000 04000000 02000000 0100 0800 00000000 08000000 60000000"
                               "60000000 02000000 00000000 01020300 04050600 01010101 02020202"));
    std::vector<Hotspot> want = {
        {1, 7, 0, 5, 0, "topic_1"}, {11, 17, 10, 15, 1, "popup"}, {21, 27, 20, 25, 2, "Macro()"}};
    EXPECT_EQ(Drain(handle), want);
    EXPECT_EQ(
        FileGetHotspot(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
    ASSERT_EQ(FileGetBitmap(dir.File("grey.shg").c_str(), 1), 0);  // 0 is success when releasing
    Bytes clip = Clipboard();
    EXPECT_EQ(U32(clip, 32), 2u);
    EXPECT_EQ(Sub(clip, 40), Bytes({0, 0, 0, 0, 255, 255, 255, 0, 0xF0, 0, 0, 0}));
    // A metafile puts nothing on the clipboard.
    Bytes before = MakeDib(1, 1, 1, {}, {0, 0, 0, 0});
    SetClipboard(before);
    handle = FileGetBitmap(dir.File("m.wmf").c_str(), 0);
    ASSERT_NE(handle, 0);
    EXPECT_EQ(Clipboard(), before);
    EXPECT_TRUE(Drain(handle).empty());
}

TEST(FileSetBitmap, ClipboardBitmapsAreCheckedAndRoundTripWithHotspots) {
    Bytes rows = {1, 1, 1, 1, 2, 2, 2, 2};  // two rows of 4 bytes
    Bytes masks555 = {0, 0x7C, 0, 0, 0xE0, 0x03, 0, 0, 0x1F, 0, 0, 0};
    Bytes masks565 = {0, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0};
    Bytes v5Fields = MakeDib(2, 2, 16, {}, rows, 124, 3, 0),
          wrongSize = MakeDib(1, 2, 24, {}, rows);
    std::copy(masks555.begin(), masks555.end(), v5Fields.begin() + 40);  // inside the header
    Put32(wrongSize, {{20, 1}});  // computed from the rows instead
    Bytes negativeDensity = MakeDib(1, 2, 24, {}, rows);
    Put32(negativeDensity, {{24, 0xFFFFFFFF}, {28, 0x80000000}});  // kept as 0
    // The pixels as read back (empty: refused) and the colours.
    std::tuple<const char*, Bytes, Bytes, uint32_t> cases[] = {
        {"bottom-up", MakeDib(1, 2, 24, {}, rows), rows, 0},
        {"top-down is flipped", MakeDib(1, -2, 24, {}, rows), {2, 2, 2, 2, 1, 1, 1, 1}, 0},
        {"124-byte header", MakeDib(4, 2, 8, {7, 7, 7, 0}, rows, 124, 0, 1), rows, 1},
        {"bit fields 555", MakeDib(2, 2, 16, masks555, rows, 40, 3, 0), rows, 0},
        {"bit fields 565", MakeDib(2, 2, 16, masks565, rows, 40, 3, 0), {}, 0},
        {"bit fields in a 124-byte header", v5Fields, rows, 0},
        {"colours 0 at 8 bits", MakeDib(4, 2, 8, Bytes(1024, 0x10), rows, 40, 0, 0), rows, 256},
        {"image size wrong", wrongSize, rows, 0},
        {"negative resolution", negativeDensity, rows, 0},
        {"run-length compressed", MakeDib(4, 2, 8, {}, rows, 40, 1, 0), {}, 0},
        {"core header", MakeDib(4, 2, 8, {}, rows, 12, 0, 0), {}, 0},
        {"block too short", MakeDib(1, 2, 24, {}, Bytes(7, 1)), {}, 0},
        {"table too short", MakeDib(4, 2, 8, Bytes(8, 0), rows, 40, 0, 4), {}, 0},
        {"three bits a pixel", MakeDib(4, 2, 3, {}, rows), {}, 0},
        {"zero width", MakeDib(0, 2, 8, {}, rows), {}, 0}};
    // Kinds 0 and 1 stay, any other is a macro; bindings are cut to 255.
    std::string longBinding(300, 'b');
    std::vector<Hotspot> spots = {{1, 2, 3, 4, 0, "topic_1"},
                                  {5, 6, 7, 8, 1, "popup>win"},
                                  {0, 10, 0, 10, 7, "Macro(1)"},
                                  {-3, 3, -4, 4, 2, longBinding}},
                         want = spots;
    want[2].kind = 2;
    want[3].binding.resize(255);
    TempDir dir;
    std::string path = dir.File("v.shg");
    for (const auto& [name, dib, pixels, colours] : cases) {
        SetClipboard(dib);
        HotspotFile* f = FileSetBitmap(path.c_str());
        EXPECT_EQ(f != nullptr, !pixels.empty()) << name;
        if (!f) continue;
        for (const auto& h : spots)
            EXPECT_EQ(
                FileSetHotspot(f, h.top, h.bottom, h.left, h.right, h.kind, h.binding.c_str()), 0);
        EXPECT_EQ(FileWriteHotspots(f), 0) << name;
        EXPECT_EQ(FileWriteHotspots(f), 4);  // the path is gone
        EXPECT_EQ(FileCleanup(f), 0);
        BrioHostClipboardClear();
        intptr_t handle = FileGetBitmap(path.c_str(), 0);
        ASSERT_NE(handle, 0) << name;
        Bytes back = Clipboard();
        EXPECT_EQ(Drain(handle), want) << name;
        ASSERT_EQ(back.size(), 40 + 4 * colours + pixels.size()) << name;
        EXPECT_EQ(U32s(back, {0, 8, 16, 20, 24, 32}),
                  (std::vector<uint32_t>{40, 2, 0, uint32_t(pixels.size()), 96, colours}))
            << name;
        EXPECT_EQ(Sub(back, 40, 4 * colours), Sub(dib, U32(dib, 0), 4 * colours)) << name;
        EXPECT_EQ(Sub(back, back.size() - pixels.size()), pixels) << name;
    }
}

TEST(HotspotExports, Refusals) {
    TempDir dir;
    std::string path = dir.File("a.bmp");
    ASSERT_TRUE(WriteFile(path, kBmp24));
    // A handle from FileGetBitmap has no pasted picture and no path.
    auto* g = reinterpret_cast<HotspotFile*>(FileGetBitmap(path.c_str(), 0));
    ASSERT_NE(g, nullptr);
    FileSetHotspot(g, 0, 1, 0, 1, 0, "x");
    EXPECT_EQ(FileWriteHotspots(g), 4);
    EXPECT_EQ(FileCleanup(g), 0);
    BrioHostClipboardClear();  // no clipboard bitmap, no handle
    EXPECT_EQ(FileSetBitmap(dir.File("k.shg").c_str()), nullptr);
    EXPECT_EQ(FileWriteHotspots(nullptr), 4);
    EXPECT_EQ(FileCleanup(nullptr), 0);
#ifndef _WIN32  // the real clipboard cannot be held busy from the same thread
    SetClipboard(MakeDib(1, 1, 24, {}, {0, 0, 0, 0}));
    ASSERT_TRUE(brio::ClipboardOpen());  // someone else holds it
    EXPECT_EQ(HotspotGetDIBBitmap(path.c_str()), 2009);
    EXPECT_EQ(FileGetBitmap(path.c_str(), 1), 1);
    EXPECT_EQ(FileGetBitmap(path.c_str(), 0), 0);
    EXPECT_EQ(FileSetBitmap("x.shg"), nullptr);
    brio::ClipboardClose();
    EXPECT_EQ(FileGetBitmap(path.c_str(), 1), 0);
#endif
}

}  // namespace
