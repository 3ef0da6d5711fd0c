#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bitmap/picture_fixtures.h"
#include "platform/platform.h"
#include "test_support.h"

namespace {

using namespace brio::test;

void SetClipboard(const Bytes& dib) {
    ASSERT_EQ(BrioHostClipboardSetDib(dib.data(), dib.size()), 0);
}

const std::string kBmp24 = MakeBmp({40, 4, 2, 24, 0, 0, 0, Bytes(24, 7)});

TEST(HotspotGetDIBBitmap, ClipboardBlocks) {
    Bytes pixels24(24);
    for (size_t i = 0; i < pixels24.size(); ++i) pixels24[i] = static_cast<uint8_t>(i + 1);
    std::string shortHeader = MakeBmp({124, 4, 2, 24, 0, 0, 0, {}}).substr(0, 60);
    std::string notBm = kBmp24;
    notBm[1] = 'A';
    struct Case {
        const char* name;
        std::string bmp;
        int32_t result;
        uint32_t colours;    // colours-used field on the clipboard
        uint32_t imageSize;  // image-size field on the clipboard
        size_t pixelsAt;     // where the pixels are in the block
        Bytes pixels;
        Bytes table;  // first entries, if checked
    } cases[] = {
        {"24 bits keeps colours 0", MakeBmp({40, 4, 2, 24, 0, 0, 0, pixels24}), 0, 0, 24, 40,
         pixels24, {}},
        {"4 bits gets 16", MakeBmp({40, 4, 2, 4, 0, 0, 16, Bytes(8, 0x21)}), 0, 16, 8, 40 + 64,
         Bytes(8, 0x21), {}},
        {"16 bits has no table", MakeBmp({40, 4, 2, 16, 0, 0, 0, Bytes(16, 0x31)}), 0, 0, 16, 40,
         Bytes(16, 0x31), {}},
        {"bit-field masks kept", MakeBmp({40, 4, 2, 16, 3, 0, 3, Bytes(16, 0x71)}), 0, 0, 16, 52,
         Bytes(16, 0x71), {0, 0, 0, 0, 1, 2, 3, 0, 2, 4, 6, 0}},
        {"gap before the pixels", MakeBmp({40, 4, 2, 8, 0, 2, 2, Bytes(8, 0x41), -1, 6}), 0, 2, 8,
         48, Bytes(8, 0x41), {}},
        {"short file padded", MakeBmp({40, 4, 2, 24, 0, 0, 0, Bytes(5, 0x51)}), 0, 0, 24, 40,
         Bytes(5, 0x51), {}},
        {"core header widened", MakeBmp({12, 4, 2, 1, 0, 0, 2, Bytes(8, 0x61)}), 0, 2, 8, 48,
         Bytes(8, 0x61), {0, 0, 0, 0, 1, 2, 3, 0}},
        {"colour table missing", MakeBmp({40, 4, 2, 8, 0, 0, 3, Bytes(8, 1)}), 2009, 0, 0, 0, {}, {}},
        {"header past the end", shortHeader, 2009, 0, 0, 0, {}, {}},
        {"not BM", notBm, 2009, 0, 0, 0, {}, {}},
        {"shorter than the headers", kBmp24.substr(0, 20), 2009, 0, 0, 0, {}, {}},
        {"empty", "", 2009, 0, 0, 0, {}, {}},
    };
    TempDir dir;
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteFile(dir.File("a.bmp"), c.bmp));
        BrioHostClipboardClear();
        EXPECT_EQ(HotspotGetDIBBitmap(dir.File("a.bmp").c_str()), c.result) << c.name;
        Bytes clip = Clipboard();
        if (c.result != 0) {
            EXPECT_TRUE(clip.empty()) << c.name;
            continue;
        }
        ASSERT_EQ(clip.size(), c.pixelsAt + c.imageSize) << c.name;
        uint32_t headerSize = brio::GetU32(c.bmp.data(), 14);
        EXPECT_EQ(brio::GetU32(clip.data(), 0), headerSize == 12 ? 40u : headerSize) << c.name;
        EXPECT_EQ(brio::GetU32(clip.data(), 4), 4u) << c.name;
        EXPECT_EQ(brio::GetU32(clip.data(), 8), 2u) << c.name;
        EXPECT_EQ(brio::GetU32(clip.data(), 32), c.colours) << c.name;
        EXPECT_EQ(brio::GetU32(clip.data(), 20), c.imageSize) << c.name;
        Bytes expected = c.pixels;
        expected.resize(c.imageSize, 0);
        EXPECT_EQ(Bytes(clip.begin() + long(c.pixelsAt), clip.end()), expected) << c.name;
        EXPECT_EQ(Bytes(clip.begin() + 40, clip.begin() + 40 + long(c.table.size())), c.table)
            << c.name;
    }
    EXPECT_EQ(HotspotGetDIBBitmap(dir.File("missing.bmp").c_str()), 2001);
    EXPECT_EQ(HotspotGetDIBBitmap(nullptr), 2001);
}

TEST(FileGetBitmap, GroupFilesBitmapsAndMetafiles) {
    Stored s;
    s.packing = 1;
    s.colours = 2;
    s.table = {1, 2, 3, 0, 4, 5, 6, 0};
    s.data = {0x04, 0x01, 0x04, 0x02};
    s.hotspots = HotspotBytes({{231, "topic_1"}, {230, "popup"}, {204, "Macro()"}});
    Stored grey;  // a 1-bit picture without its table gets black and white
    grey.bits = 1;
    grey.width = 8;
    grey.height = 1;
    grey.data = {0xF0, 0, 0, 0};
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir.File("g.shg"), MakeGroupFile({BuildStored(s)})));
    ASSERT_TRUE(WriteFile(dir.File("grey.shg"), MakeGroupFile({BuildStored(grey)})));
    ASSERT_TRUE(WriteFile(dir.File("a.bmp"), kBmp24));
    ASSERT_TRUE(WriteFile(dir.File("m.wmf"), MakePlaceableMetafile(0, 0, 1440, 1440, 1440, "xy")));
    BrioHostClipboardClear();
    intptr_t handle = FileGetBitmap(dir.File("g.shg").c_str(), 0);
    ASSERT_NE(handle, 0);
    Bytes expected = {40, 0, 0, 0, 4, 0,  0, 0, 2, 0,  0, 0, 1, 0, 8, 0, 0, 0, 0,
                      0,  8, 0, 0, 0, 96, 0, 0, 0, 96, 0, 0, 0, 2, 0, 0, 0, 0, 0,
                      0,  0, 1, 2, 3, 0,  4, 5, 6, 0,  1, 1, 1, 1, 2, 2, 2, 2};
    EXPECT_EQ(Clipboard(), expected);
    std::vector<Hotspot> want = {
        {1, 7, 0, 5, 0, "topic_1"}, {11, 17, 10, 15, 1, "popup"}, {21, 27, 20, 25, 2, "Macro()"}};
    EXPECT_EQ(Drain(handle), want);
    EXPECT_EQ(
        FileGetHotspot(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);

    ASSERT_EQ(FileGetBitmap(dir.File("grey.shg").c_str(), 1), 0);
    Bytes clip = Clipboard();
    ASSERT_EQ(clip.size(), 40u + 8 + 4);
    EXPECT_EQ(brio::GetU32(clip.data(), 32), 2u);
    EXPECT_EQ(Bytes(clip.begin() + 40, clip.end()),
              (Bytes{0, 0, 0, 0, 255, 255, 255, 0, 0xF0, 0, 0, 0}));

    ASSERT_EQ(FileGetBitmap(dir.File("a.bmp").c_str(), 1), 0);  // 0 is success when releasing
    clip = Clipboard();
    ASSERT_EQ(clip.size(), 40u + 24);
    EXPECT_EQ(Bytes(clip.begin() + 40, clip.end()), Bytes(24, 7));
    EXPECT_EQ(brio::GetU32(clip.data(), 20), 24u);

    // A metafile puts nothing on the clipboard.
    Bytes before = MakeDib(1, 1, 1, {}, {0, 0, 0, 0});
    SetClipboard(before);
    handle = FileGetBitmap(dir.File("m.wmf").c_str(), 0);
    ASSERT_NE(handle, 0);
    EXPECT_EQ(Clipboard(), before);
    EXPECT_TRUE(Drain(handle).empty());

    ASSERT_TRUE(WriteFile(dir.File("bad.bmp"), "BM nothing"));
    EXPECT_EQ(FileGetBitmap(dir.File("missing.bmp").c_str(), 1), 1);
    EXPECT_EQ(FileGetBitmap(dir.File("missing.bmp").c_str(), 0), 0);
    EXPECT_EQ(FileGetBitmap(dir.File("bad.bmp").c_str(), 1), 1);
    EXPECT_EQ(FileGetBitmap(nullptr, 1), 1);
}

// Writes the clipboard bitmap with hotspots, opens the file again and
// returns what came back on the clipboard; status -1 when refused.
Bytes WriteAndReopen(const std::string& path, std::vector<Hotspot>* hotspots, int32_t* status) {
    HotspotFile* f = FileSetBitmap(path.c_str());
    *status = -1;
    if (!f) return {};
    for (const auto& h : *hotspots)
        EXPECT_EQ(FileSetHotspot(f, h.top, h.bottom, h.left, h.right, h.kind, h.binding.c_str()),
                  0);
    *status = FileWriteHotspots(f);
    EXPECT_EQ(FileWriteHotspots(f), 4);  // the path is gone
    FileCleanup(f);
    if (*status != 0) return {};
    BrioHostClipboardClear();
    intptr_t handle = FileGetBitmap(path.c_str(), 0);
    EXPECT_NE(handle, 0);
    if (!handle) return {};
    *hotspots = Drain(handle);
    return Clipboard();
}

TEST(FileSetBitmap, HotspotsAndKindsRoundTrip) {
    Bytes pixels(8);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i);
    Bytes dib = MakeDib(4, 2, 8, {9, 9, 9, 0}, pixels);
    SetClipboard(dib);
    TempDir dir;
    std::string longBinding(300, 'b');
    std::vector<Hotspot> spots = {{1, 2, 3, 4, 0, "topic_1"},
                                  {5, 6, 7, 8, 1, "popup>win"},
                                  {0, 10, 0, 10, 7, "Macro(1)"},
                                  {-3, 3, -4, 4, 2, longBinding}};
    int32_t status = 0;
    Bytes back = WriteAndReopen(dir.File("r.shg"), &spots, &status);
    ASSERT_EQ(status, 0);
    std::vector<Hotspot> want = {{1, 2, 3, 4, 0, "topic_1"},
                                 {5, 6, 7, 8, 1, "popup>win"},
                                 {0, 10, 0, 10, 2, "Macro(1)"},
                                 {-3, 3, -4, 4, 2, longBinding.substr(0, 255)}};
    EXPECT_EQ(spots, want);
    ASSERT_EQ(back.size(), dib.size());
    EXPECT_EQ(Bytes(back.begin() + 40, back.end()), Bytes(dib.begin() + 40, dib.end()));
    EXPECT_EQ(brio::GetU32(back.data(), 24), 96u);  // a group file reads as 96
    BrioHostClipboardClear();
    EXPECT_EQ(FileSetBitmap("x.shg"), nullptr);
    EXPECT_EQ(FileCleanup(nullptr), 0);
    EXPECT_EQ(FileWriteHotspots(nullptr), 4);
}

TEST(FileSetBitmap, ClipboardBitmapsAreValidated) {
    Bytes rows = {1, 1, 1, 1, 2, 2, 2, 2};  // two rows of 4 bytes
    Bytes flipped = {2, 2, 2, 2, 1, 1, 1, 1};
    Bytes masks555 = {0, 0x7C, 0, 0, 0xE0, 0x03, 0, 0, 0x1F, 0, 0, 0};
    Bytes masks565 = {0, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0};
    Bytes v5 = MakeDib(4, 2, 8, {7, 7, 7, 0}, rows, 124, 0, 1);
    Bytes v5Fields = MakeDib(2, 2, 16, {}, rows, 124, 3, 0);
    std::copy(masks555.begin(), masks555.end(), v5Fields.begin() + 40);  // inside the header
    Bytes noColours = MakeDib(4, 2, 8, Bytes(1024, 0x10), rows, 40, 0, 0);
    Bytes wrongImageSize = MakeDib(1, 2, 24, {}, rows);
    brio::PutU32(wrongImageSize.data(), 20, 1);  // computed from the rows instead
    struct Case {
        const char* name;
        Bytes dib;
        bool accepted;
        Bytes pixels;  // as read back
        uint32_t colours;
    } cases[] = {
        {"bottom-up", MakeDib(1, 2, 24, {}, rows), true, rows, 0},
        {"top-down is flipped", MakeDib(1, -2, 24, {}, rows), true, flipped, 0},
        {"124-byte header", v5, true, rows, 1},
        {"bit fields 555", MakeDib(2, 2, 16, masks555, rows, 40, 3, 0), true, rows, 0},
        {"bit fields 565", MakeDib(2, 2, 16, masks565, rows, 40, 3, 0), false, {}, 0},
        {"bit fields in a 124-byte header", v5Fields, true, rows, 0},
        {"colours 0 at 8 bits", noColours, true, rows, 256},
        {"image size wrong", wrongImageSize, true, rows, 0},
        {"run-length compressed", MakeDib(4, 2, 8, {}, rows, 40, 1, 0), false, {}, 0},
        {"core header", MakeDib(4, 2, 8, {}, rows, 12, 0, 0), false, {}, 0},
        {"block too short", MakeDib(1, 2, 24, {}, Bytes(7, 1)), false, {}, 0},
        {"table too short", MakeDib(4, 2, 8, Bytes(8, 0), rows, 40, 0, 4), false, {}, 0},
        {"three bits a pixel", MakeDib(4, 2, 3, {}, rows), false, {}, 0},
        {"zero width", MakeDib(0, 2, 8, {}, rows), false, {}, 0},
    };
    for (const auto& c : cases) {
        SetClipboard(c.dib);
        TempDir dir;
        std::vector<Hotspot> spots = {{0, 1, 0, 1, 0, "a"}};
        int32_t status = 0;
        Bytes back = WriteAndReopen(dir.File("v.shg"), &spots, &status);
        EXPECT_EQ(status, c.accepted ? 0 : -1) << c.name;
        if (!c.accepted || status != 0) continue;
        ASSERT_EQ(back.size(), 40 + 4 * c.colours + c.pixels.size()) << c.name;
        for (auto [at, value] : {std::pair{0, 40u}, {8, 2u}, {16, 0u}, {32, c.colours},
                                 {20, uint32_t(c.pixels.size())}})
            EXPECT_EQ(brio::GetU32(back.data(), at), value) << c.name << " field " << at;
        EXPECT_EQ(Bytes(back.end() - long(c.pixels.size()), back.end()), c.pixels) << c.name;
        EXPECT_EQ(spots.size(), 1u) << c.name;
    }
}

TEST(FileWriteHotspots, WhatTheFormatCannotHoldIsRefusedAndTheOldFileKept) {
    SetClipboard(MakeDib(1, 1, 24, {}, {1, 2, 3, 4}));
    TempDir dir;
    std::string path = dir.File("k.shg");
    ASSERT_TRUE(WriteFile(path, "old"));
    HotspotFile* f = FileSetBitmap(path.c_str());
    ASSERT_NE(f, nullptr);
    FileSetHotspot(f, 0, 1, 0, 70000, 0, "wide");
    EXPECT_EQ(FileWriteHotspots(f), 4);
    FileCleanup(f);
    EXPECT_EQ(ReadFile(path), "old");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"k.shg"});
    // A handle from FileGetBitmap has no pasted picture and no path.
    ASSERT_TRUE(WriteFile(dir.File("a.bmp"), kBmp24));
    auto* g = reinterpret_cast<HotspotFile*>(FileGetBitmap(dir.File("a.bmp").c_str(), 0));
    ASSERT_NE(g, nullptr);
    FileSetHotspot(g, 0, 1, 0, 1, 0, "x");
    EXPECT_EQ(FileWriteHotspots(g), 4);
    EXPECT_EQ(FileCleanup(g), 0);
}

TEST(HotspotExports, ClipboardUnavailableIsAFailure) {
#ifdef _WIN32
    GTEST_SKIP() << "the real clipboard cannot be held busy from the same thread";
#else
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir.File("a.bmp"), kBmp24));
    ASSERT_TRUE(brio::ClipboardOpen());  // someone else holds it
    EXPECT_EQ(HotspotGetDIBBitmap(dir.File("a.bmp").c_str()), 2009);
    EXPECT_EQ(FileGetBitmap(dir.File("a.bmp").c_str(), 1), 1);
    EXPECT_EQ(FileGetBitmap(dir.File("a.bmp").c_str(), 0), 0);
    EXPECT_EQ(FileSetBitmap("x.shg"), nullptr);
    brio::ClipboardClose();
    EXPECT_EQ(FileGetBitmap(dir.File("a.bmp").c_str(), 1), 0);
#endif
}

TEST(HotspotExports, OutOfMemorySweep) {
    TempDir dir;
    Stored s;
    s.packing = 1;
    s.data = {0x08, 0x01};
    s.hotspots = HotspotBytes({{231, "a"}, {204, "m()"}});
    ASSERT_TRUE(WriteFile(dir.File("g.shg"), MakeGroupFile({BuildStored(s)})));
    ASSERT_TRUE(WriteFile(dir.File("a.bmp"), kBmp24));
    for (long n = 1; n < 16; ++n) {
        brio::FailAllocationAfter(n);
        intptr_t h = FileGetBitmap(dir.File("g.shg").c_str(), 0);
        brio::FailAllocationAfter(0);
        EXPECT_TRUE(!h || Drain(h).size() == 2) << n;

        brio::FailAllocationAfter(n);
        int32_t r = HotspotGetDIBBitmap(dir.File("a.bmp").c_str());
        brio::FailAllocationAfter(0);
        EXPECT_TRUE(r == 0 || r == 2009) << n;

        SetClipboard(MakeDib(1, 1, 24, {}, {1, 2, 3, 4}));
        brio::FailAllocationAfter(n);
        HotspotFile* f = FileSetBitmap(dir.File("o.shg").c_str());
        if (f) {
            FileSetHotspot(f, 0, 1, 0, 1, 0, "x");
            int32_t status = FileWriteHotspots(f);
            EXPECT_TRUE(status == 0 || status == 8) << n << ": " << status;
        }
        brio::FailAllocationAfter(0);
        FileCleanup(f);
    }
}

}  // namespace
