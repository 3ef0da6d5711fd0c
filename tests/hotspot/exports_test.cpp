#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "adt/bytes.h"
#include "bitmap/picture_files.h"
#include "bitmap/stored_record.h"
#include "brioutil.h"
#include "brioutil_host.h"
#include "platform/platform.h"
#include "test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;
using namespace brio::test;

Bytes Clipboard() {
    size_t size = BrioHostClipboardGetDib(nullptr, 0);
    Bytes out(size);
    if (size) BrioHostClipboardGetDib(out.data(), size);
    return out;
}

void SetClipboard(const Bytes& dib) {
    ASSERT_EQ(BrioHostClipboardSetDib(dib.data(), dib.size()), 0);
}

struct Hotspot {
    int32_t top, bottom, left, right, kind;
    std::string binding;
    bool operator==(const Hotspot& o) const {
        return top == o.top && bottom == o.bottom && left == o.left && right == o.right &&
               kind == o.kind && binding == o.binding;
    }
};

std::vector<Hotspot> DrainHotspots(HotspotFile* f) {
    std::vector<Hotspot> out;
    for (;;) {
        Hotspot h{};
        const char* binding = nullptr;
        int32_t length = -1;
        if (!FileGetHotspot(f, &h.top, &h.bottom, &h.left, &h.right, &h.kind, &binding, &length))
            break;
        h.binding = binding;
        EXPECT_EQ(length, static_cast<int32_t>(h.binding.size()));
        out.push_back(h);
        if (out.size() > 100000) break;
    }
    return out;
}

// A packed DIB: 40-byte header, table, pixels.
Bytes MakeDib(int32_t width, int32_t height, uint16_t bits, const Bytes& table, const Bytes& pixels,
              uint32_t headerSize = 40, uint32_t compression = 0, uint32_t colours = 0xFFFFFFFF) {
    Bytes d(headerSize < 40 ? 40 : headerSize, 0);
    brio::PutU32(d.data(), 0, headerSize);
    brio::PutU32(d.data(), 4, static_cast<uint32_t>(width));
    brio::PutU32(d.data(), 8, static_cast<uint32_t>(height));
    brio::PutU16(d.data(), 12, 1);
    brio::PutU16(d.data(), 14, bits);
    brio::PutU32(d.data(), 16, compression);
    brio::PutU32(d.data(), 24, 3780);
    brio::PutU32(d.data(), 28, 3780);
    brio::PutU32(d.data(), 32,
                 colours == 0xFFFFFFFF ? static_cast<uint32_t>(table.size() / 4) : colours);
    // One resize and two copies (vector::insert trips a false array-bounds
    // warning of GCC 12 here).
    d.resize(headerSize + table.size() + pixels.size());  // a short header keeps its size
    if (!table.empty()) std::memcpy(d.data() + headerSize, table.data(), table.size());
    if (!pixels.empty())
        std::memcpy(d.data() + headerSize + table.size(), pixels.data(), pixels.size());
    return d;
}

TEST(HotspotGetDIBBitmap, ClipboardBlocks) {
    Bytes pixels24(24);
    for (size_t i = 0; i < pixels24.size(); ++i) pixels24[i] = static_cast<uint8_t>(i + 1);
    struct Case {
        const char* name;
        BmpFields bmp;
        int32_t result;
        uint32_t colours;    // colours-used field on the clipboard
        uint32_t imageSize;  // image-size field on the clipboard
        size_t pixelsAt;     // where the pixels are in the block
    } cases[] = {
        {"24 bits keeps colours 0", {40, 4, 2, 24, 0, 0, 0, pixels24}, 0, 0, 24, 40},
        {"4 bits gets 16", {40, 4, 2, 4, 0, 0, 16, Bytes(8, 0x21)}, 0, 16, 8, 40 + 64},
        {"16 bits has no table", {40, 4, 2, 16, 0, 0, 0, Bytes(16, 0x31)}, 0, 0, 16, 40},
        {"bit-field masks kept", {40, 4, 2, 16, 3, 0, 3, Bytes(16, 0x71)}, 0, 0, 16, 52},
        {"gap before the pixels", {40, 4, 2, 8, 0, 2, 2, Bytes(8, 0x41), -1, 6}, 0, 2, 8, 48},
        {"short file padded", {40, 4, 2, 24, 0, 0, 0, Bytes(5, 0x51)}, 0, 0, 24, 40},
        {"core header widened", {12, 4, 2, 1, 0, 0, 2, Bytes(8, 0x61)}, 0, 2, 8, 48},
        {"colour table missing", {40, 4, 2, 8, 0, 0, 3, Bytes(8, 1)}, 2009, 0, 0, 0},
        {"header past the end", {124, 4, 2, 24, 0, 0, 0, {}}, 0, 0, 24, 124},
    };
    for (const auto& c : cases) {
        TempDir dir;
        std::string bmp = MakeBmp(c.bmp);
        if (std::string(c.name) == "header past the end") bmp.resize(60);
        ASSERT_TRUE(WriteFile(dir.File("a.bmp"), bmp));
        BrioHostClipboardClear();
        int32_t result = HotspotGetDIBBitmap(dir.File("a.bmp").c_str());
        if (std::string(c.name) == "header past the end") {
            EXPECT_EQ(result, 2009) << c.name;
            EXPECT_TRUE(Clipboard().empty());
            continue;
        }
        EXPECT_EQ(result, c.result) << c.name;
        Bytes clip = Clipboard();
        if (c.result != 0) {
            EXPECT_TRUE(clip.empty()) << c.name;
            continue;
        }
        ASSERT_GE(clip.size(), c.pixelsAt + c.imageSize) << c.name;
        EXPECT_EQ(brio::GetU32(clip.data(), 0), c.bmp.headerSize == 12 ? 40u : c.bmp.headerSize);
        EXPECT_EQ(brio::GetU32(clip.data(), 4), 4u) << c.name;
        EXPECT_EQ(brio::GetU32(clip.data(), 8), 2u) << c.name;
        EXPECT_EQ(brio::GetU16(clip.data(), 14), c.bmp.bits) << c.name;
        EXPECT_EQ(brio::GetU32(clip.data(), 32), c.colours) << c.name;
        EXPECT_EQ(brio::GetU32(clip.data(), 20), c.imageSize) << c.name;
        EXPECT_EQ(clip.size(), c.pixelsAt + c.imageSize) << c.name;
        Bytes expected = c.bmp.pixels;
        expected.resize(c.imageSize, 0);
        EXPECT_EQ(Bytes(clip.begin() + static_cast<long>(c.pixelsAt), clip.end()), expected)
            << c.name;
        if (c.bmp.headerSize == 12) {
            // Entries widened to four bytes.
            EXPECT_EQ(Bytes(clip.begin() + 40, clip.begin() + 48), (Bytes{0, 0, 0, 0, 1, 2, 3, 0}));
        }
    }
}

TEST(HotspotGetDIBBitmap, Refusals) {
    TempDir dir;
    std::string bmp = MakeBmp({40, 4, 2, 24, 0, 0, 0, Bytes(24, 1)});
    std::string ba = bmp;
    ba[1] = 'A';
    ASSERT_TRUE(WriteFile(dir.File("ba.bmp"), ba));
    ASSERT_TRUE(WriteFile(dir.File("short.bmp"), bmp.substr(0, 20)));
    ASSERT_TRUE(WriteFile(dir.File("empty.bmp"), ""));
    EXPECT_EQ(HotspotGetDIBBitmap(dir.File("ba.bmp").c_str()), 2009);
    EXPECT_EQ(HotspotGetDIBBitmap(dir.File("short.bmp").c_str()), 2009);
    EXPECT_EQ(HotspotGetDIBBitmap(dir.File("empty.bmp").c_str()), 2009);
    EXPECT_EQ(HotspotGetDIBBitmap(dir.File("missing.bmp").c_str()), 2001);
    EXPECT_EQ(HotspotGetDIBBitmap(nullptr), 2001);
}

Bytes HotspotBlock(const std::vector<std::pair<uint8_t, std::string>>& spots) {
    Bytes b = {1, static_cast<uint8_t>(spots.size()), 0, 0, 0, 0, 0};
    int16_t x = 0;
    for (const auto& s : spots) {
        Bytes e = {s.first, 4, 0};
        for (int16_t v : {x, static_cast<int16_t>(x + 1), int16_t(5), int16_t(6)}) {
            e.push_back(static_cast<uint8_t>(v));
            e.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8));
        }
        e.insert(e.end(), 4, 0);
        b.insert(b.end(), e.begin(), e.end());
        x = static_cast<int16_t>(x + 10);
    }
    for (const auto& s : spots) {
        b.push_back(0);
        b.insert(b.end(), s.second.begin(), s.second.end());
        b.push_back(0);
    }
    return b;
}

TEST(FileGetBitmap, GroupFileWithThreeHotspots) {
    StoredBitmap s;
    s.packing = 1;
    s.bits = 8;
    s.width = 4;
    s.height = 2;
    s.colours = 2;
    s.table = {1, 2, 3, 0, 4, 5, 6, 0};
    s.data = {0x04, 0x01, 0x04, 0x02};
    s.hotspots = HotspotBlock({{231, "topic_1"}, {230, "popup"}, {204, "Macro()"}});
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir.File("g.shg"), MakeGroupFile({BuildStored(s)})));
    BrioHostClipboardClear();
    intptr_t handle = FileGetBitmap(dir.File("g.shg").c_str(), 0);
    ASSERT_NE(handle, 0);
    Bytes expected = {40, 0, 0, 0, 4, 0,  0, 0, 2, 0,  0, 0, 1, 0, 8, 0, 0, 0, 0,
                      0,  8, 0, 0, 0, 96, 0, 0, 0, 96, 0, 0, 0, 2, 0, 0, 0, 0, 0,
                      0,  0, 1, 2, 3, 0,  4, 5, 6, 0,  1, 1, 1, 1, 2, 2, 2, 2};
    EXPECT_EQ(Clipboard(), expected);
    auto* f = reinterpret_cast<HotspotFile*>(handle);
    std::vector<Hotspot> got = DrainHotspots(f);
    std::vector<Hotspot> want = {
        {1, 7, 0, 5, 0, "topic_1"}, {11, 17, 10, 15, 1, "popup"}, {21, 27, 20, 25, 2, "Macro()"}};
    EXPECT_EQ(got, want);
    EXPECT_EQ(
        FileGetHotspot(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 0);
}

TEST(FileGetBitmap, ReleaseFlagAndFailures) {
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir.File("a.bmp"), MakeBmp({40, 4, 2, 24, 0, 0, 0, Bytes(24, 7)})));
    ASSERT_TRUE(WriteFile(dir.File("bad.bmp"), "BM nothing"));
    EXPECT_EQ(FileGetBitmap(dir.File("missing.bmp").c_str(), 1), 1);
    EXPECT_EQ(FileGetBitmap(dir.File("missing.bmp").c_str(), 0), 0);
    EXPECT_EQ(FileGetBitmap(dir.File("bad.bmp").c_str(), 1), 1);
    EXPECT_EQ(FileGetBitmap(nullptr, 1), 1);
    BrioHostClipboardClear();
    EXPECT_EQ(FileGetBitmap(dir.File("a.bmp").c_str(), 1), 0);
    Bytes clip = Clipboard();
    ASSERT_EQ(clip.size(), 40u + 24);
    EXPECT_EQ(Bytes(clip.begin() + 40, clip.end()), Bytes(24, 7));
    EXPECT_EQ(brio::GetU32(clip.data(), 20), 24u);
}

TEST(FileGetBitmap, MetafileLeavesTheClipboardAlone) {
    TempDir dir;
    ASSERT_TRUE(
        WriteFile(dir.File("m.wmf"), MakePlaceableMetafile(0, 0, 1440, 1440, 1440, "xyzw")));
    Bytes before = MakeDib(1, 1, 1, {}, {0, 0, 0, 0});
    SetClipboard(before);
    intptr_t handle = FileGetBitmap(dir.File("m.wmf").c_str(), 0);
    ASSERT_NE(handle, 0);
    EXPECT_EQ(Clipboard(), before);
    EXPECT_TRUE(DrainHotspots(reinterpret_cast<HotspotFile*>(handle)).empty());
}

TEST(FileSetBitmap, EmptyClipboardGivesNull) {
    BrioHostClipboardClear();
    EXPECT_EQ(FileSetBitmap("x.shg"), nullptr);
    EXPECT_EQ(FileCleanup(nullptr), 0);
    EXPECT_EQ(FileWriteHotspots(nullptr), 4);
}

// Writes the clipboard bitmap with hotspots, opens the file again and
// returns what came back on the clipboard.
Bytes WriteAndReopen(const std::string& path, std::vector<Hotspot>* hotspots, int32_t* status) {
    HotspotFile* f = FileSetBitmap(path.c_str());
    if (!f) {
        *status = -1;
        return {};
    }
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
    *hotspots = DrainHotspots(reinterpret_cast<HotspotFile*>(handle));
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
    // Same pixels and table.
    ASSERT_EQ(back.size(), dib.size());
    EXPECT_EQ(Bytes(back.begin() + 40, back.end()), Bytes(dib.begin() + 40, dib.end()));
    EXPECT_EQ(brio::GetU32(back.data(), 24), 96u);  // a group file reads as 96
}

TEST(FileSetBitmap, ClipboardBitmapsAreValidated) {
    Bytes rows = {1, 1, 1, 1, 2, 2, 2, 2};  // two rows of 4 bytes
    Bytes flipped = {2, 2, 2, 2, 1, 1, 1, 1};
    Bytes masks555 = {0, 0x7C, 0, 0, 0xE0, 0x03, 0, 0, 0x1F, 0, 0, 0};
    Bytes masks565 = {0, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0};
    Bytes v5 = MakeDib(4, 2, 8, {}, {}, 124, 0, 1);
    v5.insert(v5.end(), {7, 7, 7, 0});
    v5.insert(v5.end(), rows.begin(), rows.end());
    Bytes v5Fields = MakeDib(2, 2, 16, {}, rows, 124, 3, 0);
    brio::PutU32(v5Fields.data(), 40, 0x7C00);  // the masks inside the larger header
    brio::PutU32(v5Fields.data(), 44, 0x03E0);
    brio::PutU32(v5Fields.data(), 48, 0x001F);
    Bytes noColours = MakeDib(4, 2, 8, {}, {}, 40, 0, 0);
    noColours.insert(noColours.end(), 1024, 0x10);
    noColours.insert(noColours.end(), rows.begin(), rows.end());
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
        if (!c.accepted) {
            EXPECT_EQ(status, -1) << c.name;
            continue;
        }
        ASSERT_EQ(status, 0) << c.name;
        ASSERT_GE(back.size(), 40u) << c.name;
        EXPECT_EQ(brio::GetU32(back.data(), 0), 40u) << c.name;
        EXPECT_EQ(brio::GetU32(back.data(), 8), 2u) << c.name;
        EXPECT_EQ(brio::GetU32(back.data(), 16), 0u) << c.name;
        EXPECT_EQ(brio::GetU32(back.data(), 32), c.colours) << c.name;
        EXPECT_EQ(brio::GetU32(back.data(), 20), c.pixels.size()) << c.name;
        EXPECT_EQ(Bytes(back.end() - static_cast<long>(c.pixels.size()), back.end()), c.pixels)
            << c.name;
        EXPECT_EQ(back.size(), 40 + 4 * c.colours + c.pixels.size()) << c.name;
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
    ASSERT_TRUE(WriteFile(dir.File("a.bmp"), MakeBmp({40, 4, 2, 24, 0, 0, 0, Bytes(24, 7)})));
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
    ASSERT_TRUE(WriteFile(dir.File("a.bmp"), MakeBmp({40, 4, 2, 24, 0, 0, 0, Bytes(24, 7)})));
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
    StoredBitmap s;
    s.packing = 1;
    s.data = {0x08, 0x01};
    s.hotspots = HotspotBlock({{231, "a"}, {204, "m()"}});
    ASSERT_TRUE(WriteFile(dir.File("g.shg"), MakeGroupFile({BuildStored(s)})));
    ASSERT_TRUE(WriteFile(dir.File("a.bmp"), MakeBmp({40, 4, 2, 24, 0, 0, 0, Bytes(24, 7)})));
    for (long n = 1; n < 16; ++n) {
        brio::FailAllocationAfter(n);
        intptr_t h = FileGetBitmap(dir.File("g.shg").c_str(), 0);
        brio::FailAllocationAfter(0);
        if (h) {
            EXPECT_EQ(DrainHotspots(reinterpret_cast<HotspotFile*>(h)).size(), 2u) << n;
        }

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

namespace {

TEST(FileGetBitmap, PictureWithoutItsColourTableGetsAGreyRamp) {
    StoredBitmap s;
    s.bits = 1;
    s.width = 8;
    s.height = 1;
    s.colours = 0;
    s.data = {0xF0, 0, 0, 0};
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir.File("g.shg"), MakeGroupFile({BuildStored(s)})));
    BrioHostClipboardClear();
    ASSERT_EQ(FileGetBitmap(dir.File("g.shg").c_str(), 1), 0);
    Bytes clip = Clipboard();
    ASSERT_EQ(clip.size(), 40u + 8 + 4);
    EXPECT_EQ(brio::GetU32(clip.data(), 32), 2u);
    EXPECT_EQ(Bytes(clip.begin() + 40, clip.end()),
              (Bytes{0, 0, 0, 0, 255, 255, 255, 0, 0xF0, 0, 0, 0}));
}

}  // namespace
