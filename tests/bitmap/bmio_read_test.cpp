#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "adt/ll.h"
#include "bitmap/bmio.h"
#include "bitmap/picture_files.h"
#include "bitmap/rle.h"
#include "bitmap/stored_record.h"
#include "hotspot/hotspot.h"
#include "test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;
using brio::GlobalHandle;
using brio::OpenedPicture;
using namespace brio::test;

struct Opened {
    uint16_t status;
    OpenedPicture pic;
    ~Opened() {
        if (pic.picture) brio::FreePicture(pic.picture);
        brio::ListDestroy(pic.list);
    }
};

void Open(const std::string& bytes, Opened* out) {
    TempDir dir;
    std::string path = dir.File("pic");
    ASSERT_TRUE(WriteFile(path, bytes));
    out->status = brio::OpenHotspotBitmap(path.c_str(), &out->pic);
    if (out->status != 0) {
        EXPECT_EQ(out->pic.picture, nullptr);
        EXPECT_EQ(out->pic.list, nullptr);
    }
}

std::string SmallBmp() {
    BmpFields s;
    s.bits = 24;
    s.pixels = Bytes(24, 0x42);
    return MakeBmp(s);
}

uint16_t OpenStatus(const std::string& bytes) {
    Opened o;
    Open(bytes, &o);
    return o.status;
}

Bytes HotspotBlock(uint8_t type, int16_t left, int16_t width, const std::string& binding) {
    Bytes b = {1, 1, 0, 0, 0, 0, 0, type, 4, 0};
    for (int16_t v : {left, int16_t(0), width, int16_t(1)}) {
        b.push_back(static_cast<uint8_t>(v));
        b.push_back(static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8));
    }
    b.insert(b.end(), 4, 0);
    b.push_back(0);
    b.insert(b.end(), binding.begin(), binding.end());
    b.push_back(0);
    return b;
}

TEST(OpenHotspotBitmap, StatusByFile) {
    StoredBitmap good;
    good.data = Bytes(8, 1);
    StoredBitmap ddb = good;
    ddb.type = 5;
    StoredBitmap zeroWidth = good;
    zeroWidth.width = 0;
    StoredBitmap twoBits = good;
    twoBits.bits = 2;
    StoredMetafile mm7;
    mm7.mapMode = 7;
    mm7.unpacked = 2;
    mm7.data = {1, 2};
    StoredMetafile mm8 = mm7;
    mm8.mapMode = 8;
    std::string groupGood = MakeGroupFile({BuildStored(good)});
    std::string outOfFile = groupGood;
    brio::PutU32(&outOfFile[0], 4, 5000);
    std::string insideIndex = groupGood;
    brio::PutU32(&insideIndex[0], 4, 6);
    std::string outOfOrder = MakeGroupFile({BuildStored(good), BuildStored(good)});
    brio::PutU32(&outOfOrder[0], 8, 9);  // second before the first

    std::string ddbFile(16, '\0');
    ddbFile[0] = 2;
    brio::PutU16(&ddbFile[0], 4, 8);
    brio::PutU16(&ddbFile[0], 6, 2);
    brio::PutU16(&ddbFile[0], 8, 2);
    ddbFile[10] = 1;
    ddbFile[11] = 1;
    ddbFile += std::string(4, '\x55');

    struct Case {
        const char* name;
        std::string bytes;
        uint16_t status;
    } cases[] = {
        {"group file", groupGood, 0},
        {"group file, capital P", MakeGroupFile({BuildStored(good)}, 0x506C), 0},
        {"no pictures", MakeGroupFile({}), 4},
        {"type 5 first", MakeGroupFile({BuildStored(ddb)}), 4},
        {"zero width", MakeGroupFile({BuildStored(zeroWidth)}), 4},
        {"two bits per pixel", MakeGroupFile({BuildStored(twoBits)}), 4},
        {"metafile, mapping mode 7", MakeGroupFile({BuildStored(mm7)}), 4},
        {"metafile, mapping mode 8", MakeGroupFile({BuildStored(mm8)}), 0},
        {"offset outside the file", outOfFile, 4},
        {"offset inside the index", insideIndex, 4},
        {"offsets out of order", outOfOrder, 4},
        {"truncated group file", groupGood.substr(0, groupGood.size() - 3), 4},
        {"empty file", "", 4},
        {"unknown first bytes", std::string(40, 'x'), 4},
        {"device-dependent bitmap", ddbFile, 4},
        {"bitmap file", SmallBmp(), 0},
        {"bitmap file, table missing", MakeBmp({}), 4},
    };
    for (const auto& c : cases) EXPECT_EQ(OpenStatus(c.bytes), c.status) << c.name;

    OpenedPicture pic;
    EXPECT_EQ(brio::OpenHotspotBitmap("/nonexistent/dir/none.bmp", &pic), 100);
}

TEST(OpenHotspotBitmap, GroupFileGivesFirstPictureWithHotspotsAndCutsTheBlock) {
    StoredBitmap first;
    first.packing = 1;
    first.bits = 8;
    first.width = 4;
    first.height = 2;
    first.colours = 1;
    first.table = {9, 8, 7, 0};
    first.data = {0x08, 0x33};
    first.hotspots = HotspotBlock(231, -5, 10, "topic_1");
    StoredBitmap second = first;
    second.data = {0x08, 0x44};
    Opened o;
    Open(MakeGroupFile({BuildStored(first), BuildStored(second)}), &o);
    ASSERT_EQ(o.status, 0);
    EXPECT_EQ(o.pic.width, 4);
    EXPECT_EQ(o.pic.height, 2);
    PictureView v(o.pic.picture);
    EXPECT_EQ(v.size(), 62u + 8);  // cut back to the end of the data
    EXPECT_EQ(v.U32(2), 8u);
    EXPECT_EQ(v.U32(6), 62u);
    EXPECT_EQ(v.U32(10), 0u);
    EXPECT_EQ(v.U32(14), 70u);
    EXPECT_EQ(v.Bytes(58, 4), first.table);
    EXPECT_EQ(v.Bytes(62, 8), Bytes(8, 0x33));
    ASSERT_EQ(brio::ListCount(o.pic.list), 1u);
    brio::HotspotRecord r;
    brio::CopyHotspot(brio::ListNext(o.pic.list, nullptr), &r);
    EXPECT_STREQ(r.binding, "topic_1");
    EXPECT_EQ(r.left, -5);
    EXPECT_EQ(r.right, 5);
    EXPECT_EQ(r.type, 231);
}

TEST(OpenHotspotBitmap, BadHotspotBlockIsOutOfMemoryStatus) {
    StoredBitmap s;
    s.data = Bytes(8, 1);
    s.hotspots = HotspotBlock(231, 0, 1, "x");
    s.hotspots[0] = 2;
    EXPECT_EQ(OpenStatus(MakeGroupFile({BuildStored(s)})), 8);
}

TEST(ReadBitmapFile, ColourTablesAndHeaders) {
    struct Case {
        const char* name;
        BmpFields bmp;
        uint16_t status;
        uint32_t colours;  // in the record
    } cases[] = {
        {"8 bits, colours 0", {40, 4, 2, 8, 0, 0, 256, Bytes(8, 1)}, 0, 256},
        {"8 bits, colours 3", {40, 4, 2, 8, 0, 3, 3, Bytes(8, 1)}, 0, 3},
        {"4 bits, colours 0", {40, 4, 2, 4, 0, 0, 16, Bytes(8, 1)}, 0, 16},
        {"1 bit, colours 0", {40, 4, 2, 1, 0, 0, 2, Bytes(8, 1)}, 0, 2},
        {"24 bits", {40, 4, 2, 24, 0, 0, 0, Bytes(24, 1)}, 0, 0},
        {"16 bits, no table", {40, 4, 2, 16, 0, 0, 0, Bytes(16, 1)}, 0, 0},
        {"32 bits, no table", {40, 4, 2, 32, 0, 0, 0, Bytes(32, 1)}, 0, 0},
        {"compressed", {40, 4, 2, 8, 1, 0, 256, Bytes(8, 1)}, 4, 0},
        {"bit fields", {40, 4, 2, 16, 3, 0, 3, Bytes(16, 1)}, 4, 0},
        {"header 108", {108, 4, 2, 24, 0, 0, 0, Bytes(24, 1)}, 4, 0},
        {"colour count past the file", {40, 4, 2, 8, 0, 0x40000000, 2, Bytes(8, 1)}, 4, 0},
        {"table past the file", {40, 4, 2, 8, 0, 0, 10, {}}, 4, 0},
        {"core header, 4 bits", {12, 4, 2, 4, 0, 0, 16, Bytes(8, 1)}, 0, 16},
        {"core header, 24 bits", {12, 4, 2, 24, 0, 0, 0, Bytes(24, 1)}, 0, 0},
        {"bits offset past the end", {40, 4, 2, 24, 0, 0, 0, Bytes(24, 1), 5000}, 4, 0},
        {"bits offset inside the header", {40, 4, 2, 24, 0, 0, 0, Bytes(24, 1), 20}, 4, 0},
        {"lying dimensions", {40, 30000, 30000, 24, 0, 0, 0, Bytes(24, 1)}, 4, 0},
        {"top-down", {40, 4, -2, 24, 0, 0, 0, Bytes(24, 1)}, 4, 0},
    };
    for (const auto& c : cases) {
        Opened o;
        Open(MakeBmp(c.bmp), &o);
        EXPECT_EQ(o.status, c.status) << c.name;
        if (o.status != 0) continue;
        PictureView v(o.pic.picture);
        EXPECT_EQ(v.U32(brio::kBiClrUsed), c.colours) << c.name;
        EXPECT_EQ(v.U32(brio::kBiSize), 40u) << c.name;
        EXPECT_EQ(v.U32(brio::kBiXPels), 0u) << c.name;
        EXPECT_EQ(v.U32(brio::kPicDataOffset), 58 + 4 * c.colours) << c.name;
        // Entries as in the file, widened for core headers.
        for (uint32_t i = 0; i < c.bmp.tableEntries && i < c.colours; ++i) {
            Bytes e = {static_cast<uint8_t>(i), static_cast<uint8_t>(i * 2),
                       static_cast<uint8_t>(i * 3), 0};
            EXPECT_EQ(v.Bytes(58 + 4 * i, 4), e) << c.name << " entry " << i;
        }
        EXPECT_EQ(v.Bytes(58 + 4 * c.colours, c.bmp.pixels.size()), c.bmp.pixels) << c.name;
    }
}

TEST(ReadBitmapFile, ShortPixelDataIsPaddedAndBitsOffsetIsUsed) {
    BmpFields s;
    s.bits = 24;
    s.width = 3;
    s.height = 2;  // 12 bytes a row
    s.pixels = {1, 2, 3, 4, 5};
    Opened o;
    Open(MakeBmp(s), &o);
    ASSERT_EQ(o.status, 0);
    {
        PictureView v(o.pic.picture);
        EXPECT_EQ(v.U32(2), 24u);
        EXPECT_EQ(v.Bytes(58, 24),
                  (Bytes{1, 2, 3, 4, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    }
    BmpFields gap;
    gap.bits = 8;
    gap.width = 4;
    gap.height = 1;
    gap.colours = 2;
    gap.tableEntries = 2;
    gap.gap = 10;
    gap.pixels = {9, 8, 7, 6};
    Opened g;
    Open(MakeBmp(gap), &g);
    ASSERT_EQ(g.status, 0);
    PictureView v(g.pic.picture);
    EXPECT_EQ(v.Bytes(66, 4), gap.pixels);
}

TEST(ReadPlaceableMetafile, ExtentsAndChecksum) {
    std::string bits = "\x01\x00\x09\x00\x00\x03";
    Opened o;
    Open(MakePlaceableMetafile(0, 0, 1440, 720, 1440, bits), &o);
    ASSERT_EQ(o.status, 0);
    EXPECT_EQ(o.pic.width, 2540);
    EXPECT_EQ(o.pic.height, 1270);
    {
        PictureView v(o.pic.picture);
        EXPECT_EQ(v.size(), 66u);
        EXPECT_EQ(v.data()[0], 8);
        EXPECT_EQ(v.U32(2), bits.size());
        EXPECT_EQ(v.U32(6), 0u);
        EXPECT_EQ(v.U32(18), 8u);
        PictureView b(brio::GetHandleField(v.data(), brio::kPicBitsHandle));
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data()), b.size()), bits);
    }
    EXPECT_EQ(OpenStatus(MakePlaceableMetafile(0, 0, 1440, 720, 1440, bits, 1)), 4);
    EXPECT_EQ(OpenStatus(MakePlaceableMetafile(-100, -50, 620, 670, 720, bits)), 0);
    EXPECT_EQ(OpenStatus(MakePlaceableMetafile(0, 0, 0, 720, 1440, bits)), 4);  // empty width
    EXPECT_EQ(OpenStatus(MakePlaceableMetafile(0, 0, 100, 100, 0, bits)), 4);   // no unit
}

TEST(ReadPictureFile, OlderFormatsAreReadCompletely) {
    // Packed monochrome: 16 x 2, two bytes a row, stored backwards.
    std::string mono(32, '\0');
    brio::PutU16(&mono[0], 0, 0x4146);
    brio::PutU16(&mono[0], 2, 0x7352);
    brio::PutU16(&mono[0], 4, 16);
    brio::PutU16(&mono[0], 6, 2);
    std::string stream = std::string("\x11\x22\x33\x83", 4) + std::string("\xAA\x01", 2);
    brio::PutU16(&mono[0], 26, static_cast<uint32_t>(stream.size()));
    mono += stream;
    TempDir dir;
    ASSERT_TRUE(WriteFile(dir.File("m"), mono));
    brio::Fid fid = brio::FileOpenRead(dir.File("m").c_str());
    GlobalHandle h = brio::ReadPictureFile(fid);
    brio::FileClose(fid);
    ASSERT_TRUE(brio::IsPicture(h));
    {
        PictureView v(h);
        EXPECT_EQ(v.data()[0], 5);
        uint32_t at = v.U32(6);
        EXPECT_EQ(v.U32(2), 4u);
        EXPECT_EQ(v.Bytes(at, 4), (Bytes{0x11, 0x22, 0x33, 0xAA}));
    }
    brio::FreePicture(h);
    EXPECT_EQ(OpenStatus(mono), 4);
    // A stream that does not fit the picture is no picture.
    std::string tooBig = mono;
    brio::PutU16(&tooBig[0], 4, 1);
    brio::PutU16(&tooBig[0], 6, 1);
    ASSERT_TRUE(WriteFile(dir.File("m2"), tooBig));
    fid = brio::FileOpenRead(dir.File("m2").c_str());
    EXPECT_EQ(brio::ReadPictureFile(fid), brio::BadPicture());
    brio::FileClose(fid);
}

TEST(OpenHotspotBitmap, OutOfMemoryLeavesNothing) {
    StoredBitmap s;
    s.packing = 1;
    s.data = {0x08, 0x01};
    s.hotspots = HotspotBlock(231, 0, 1, "x");
    std::string files[] = {MakeGroupFile({BuildStored(s)}), SmallBmp(),
                           MakePlaceableMetafile(0, 0, 10, 10, 1440, "abcd")};
    for (const auto& bytes : files) {
        TempDir dir;
        ASSERT_TRUE(WriteFile(dir.File("p"), bytes));
        int failures = 0;
        for (long n = 1; n < 12; ++n) {
            OpenedPicture pic;
            brio::FailAllocationAfter(n);
            uint16_t status = brio::OpenHotspotBitmap(dir.File("p").c_str(), &pic);
            brio::FailAllocationAfter(0);
            if (status == 0) {
                brio::FreePicture(pic.picture);
                brio::ListDestroy(pic.list);
            } else {
                EXPECT_EQ(status, 8) << n;
                ++failures;
            }
        }
        EXPECT_GT(failures, 0);
    }
}

}  // namespace
