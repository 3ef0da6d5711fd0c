#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "adt/ll.h"
#include "bitmap/bmio.h"
#include "bitmap/picture_fixtures.h"
#include "hotspot/hotspot.h"
#include "test_support.h"

namespace {

using brio::GlobalHandle;
using namespace brio::test;

struct Opened {
    uint16_t status = 0;
    brio::OpenedPicture pic;
    explicit Opened(const std::string& bytes) {
        TempDir dir;
        EXPECT_TRUE(WriteFile(dir.File("pic"), bytes));
        status = brio::OpenHotspotBitmap(dir.File("pic").c_str(), &pic);
        EXPECT_TRUE(status == 0 || (pic.picture == nullptr && pic.list == nullptr));
    }
    ~Opened() {
        if (pic.picture) brio::FreePicture(pic.picture);
        brio::ListDestroy(pic.list);
    }
};

std::string SmallBmp() {
    return MakeBmp({40, 4, 2, 24, 0, 0, 0, Bytes(24, 0x42)});
}

TEST(OpenHotspotBitmap, StatusByFile) {
    Stored good;
    good.data = Bytes(8, 1);
    Stored ddb = good, zeroWidth = good, twoBits = good, mm7, mm8;
    ddb.type = 5;
    zeroWidth.width = 0;
    twoBits.bits = 2;
    mm7.type = mm8.type = 8;
    mm7.mapMode = 7;
    mm7.unpacked = mm8.unpacked = 2;
    mm7.data = mm8.data = {1, 2};
    std::string groupGood = MakeGroupFile({BuildStored(good)});
    std::string outOfFile = groupGood, insideIndex = groupGood;
    brio::PutU32(&outOfFile[0], 4, 5000);
    brio::PutU32(&insideIndex[0], 4, 6);
    std::string outOfOrder = MakeGroupFile({BuildStored(good), BuildStored(good)});
    brio::PutU32(&outOfOrder[0], 8, 9);  // second before the first
    std::string ddbFile(16, '\0');
    for (auto [at, v] : {std::pair{0, 2}, {4, 8}, {6, 2}, {8, 2}, {10, 1}, {11, 1}})
        ddbFile[at] = static_cast<char>(v);
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
    for (const auto& c : cases) EXPECT_EQ(Opened(c.bytes).status, c.status) << c.name;
    brio::OpenedPicture pic;
    EXPECT_EQ(brio::OpenHotspotBitmap("/nonexistent/dir/none.bmp", &pic), 100);
    Stored badBlock = good;
    badBlock.hotspots = HotspotBytes({{231, "x"}});
    badBlock.hotspots[0] = 2;
    EXPECT_EQ(Opened(MakeGroupFile({BuildStored(badBlock)})).status, 8);
}

TEST(OpenHotspotBitmap, GroupFileGivesFirstPictureWithHotspotsAndCutsTheBlock) {
    Stored first;
    first.packing = 1;
    first.colours = 1;
    first.table = {9, 8, 7, 0};
    first.data = {0x08, 0x33};
    first.hotspots = HotspotBytes({{231, "topic_1"}});
    Stored second = first;
    second.data = {0x08, 0x44};
    Opened o(MakeGroupFile({BuildStored(first), BuildStored(second)}));
    ASSERT_EQ(o.status, 0);
    EXPECT_EQ(o.pic.width, 4);
    EXPECT_EQ(o.pic.height, 2);
    PictureView v(o.pic.picture);
    EXPECT_EQ(v.size(), 62u + 8);  // cut back to the end of the data
    for (auto [at, value] : {std::pair{2, 8u}, {6, 62u}, {10, 0u}, {14, 70u}})
        EXPECT_EQ(v.U32(at), value) << at;
    EXPECT_EQ(v.Bytes(58, 4), first.table);
    EXPECT_EQ(v.Bytes(62, 8), Bytes(8, 0x33));
    ASSERT_EQ(brio::ListCount(o.pic.list), 1u);
    brio::HotspotRecord r;
    brio::CopyHotspot(brio::ListNext(o.pic.list, nullptr), &r);
    EXPECT_STREQ(r.binding, "topic_1");
    EXPECT_EQ(r.type, 231);
    EXPECT_EQ(r.right, 5);
    EXPECT_EQ(r.bottom, 7);
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
        // 3 x 2 at 24 bits is 24 bytes: a short file is padded with zeros.
        {"short pixels", {40, 3, 2, 24, 0, 0, 0, {1, 2, 3, 4, 5}}, 0, 0},
        {"gap before the pixels", {40, 4, 1, 8, 0, 2, 2, {9, 8, 7, 6}, -1, 10}, 0, 2},
    };
    for (const auto& c : cases) {
        Opened o(MakeBmp(c.bmp));
        EXPECT_EQ(o.status, c.status) << c.name;
        if (o.status != 0) continue;
        PictureView v(o.pic.picture);
        EXPECT_EQ(v.U32(brio::kBiClrUsed), c.colours) << c.name;
        EXPECT_EQ(v.U32(brio::kBiSize), 40u) << c.name;
        EXPECT_EQ(v.U32(brio::kBiXPels), 0u) << c.name;
        EXPECT_EQ(v.U32(brio::kPicDataOffset), 58 + 4 * c.colours) << c.name;
        // Entries as in the file, widened for core headers.
        for (uint32_t i = 0; i < c.bmp.tableEntries && i < c.colours; ++i)
            EXPECT_EQ(v.Bytes(58 + 4 * i, 4), (Bytes{uint8_t(i), uint8_t(i * 2), uint8_t(i * 3), 0}))
                << c.name << " entry " << i;
        size_t rows = ((c.bmp.bits * c.bmp.width + 31) / 32) * 4 * c.bmp.height;
        Bytes pixels = c.bmp.pixels;
        pixels.resize(rows, 0);
        EXPECT_EQ(v.U32(brio::kPicDataSize), rows) << c.name;
        EXPECT_EQ(v.Bytes(58 + 4 * c.colours, rows), pixels) << c.name;
    }
}

TEST(ReadPlaceableMetafile, ExtentsAndChecksum) {
    std::string bits = "\x01\x00\x09\x00\x00\x03";
    Opened o(MakePlaceableMetafile(0, 0, 1440, 720, 1440, bits));
    ASSERT_EQ(o.status, 0);
    EXPECT_EQ(o.pic.width, 2540);
    EXPECT_EQ(o.pic.height, 1270);
    PictureView v(o.pic.picture);
    EXPECT_EQ(v.size(), 66u);
    EXPECT_EQ(v.data()[0], 8);
    for (auto [at, value] : {std::pair{2, uint32_t(bits.size())}, {6, 0u}, {18, 8u}})
        EXPECT_EQ(v.U32(at), value) << at;
    PictureView b(brio::GetHandleField(v.data(), brio::kPicBitsHandle));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data()), b.size()), bits);
    EXPECT_EQ(Opened(MakePlaceableMetafile(0, 0, 1440, 720, 1440, bits, 1)).status, 4);
    EXPECT_EQ(Opened(MakePlaceableMetafile(-100, -50, 620, 670, 720, bits)).status, 0);
    EXPECT_EQ(Opened(MakePlaceableMetafile(0, 0, 0, 720, 1440, bits)).status, 4);  // no width
    EXPECT_EQ(Opened(MakePlaceableMetafile(0, 0, 100, 100, 0, bits)).status, 4);   // no unit
}

TEST(ReadPictureFile, OlderFormatsAreReadCompletely) {
    // Packed monochrome: 16 x 2, two bytes a row, stored backwards.
    std::string mono(32, '\0');
    for (auto [at, v] : {std::pair{0, 0x4146}, {2, 0x7352}, {4, 16}, {6, 2}, {26, 6}})
        brio::PutU16(&mono[0], at, v);
    mono += std::string("\x11\x22\x33\x83\xAA\x01", 6);
    TempDir dir;
    for (bool fits : {true, false}) {
        if (!fits) brio::PutU32(&mono[0], 4, 0x00010001);  // 1 x 1: the stream does not fit
        ASSERT_TRUE(WriteFile(dir.File("m"), mono));
        brio::Fid fid = brio::FileOpenRead(dir.File("m").c_str());
        GlobalHandle h = brio::ReadPictureFile(fid);
        brio::FileClose(fid);
        if (!fits) {
            EXPECT_EQ(h, brio::BadPicture());
            break;
        }
        ASSERT_TRUE(brio::IsPicture(h));
        {
            PictureView v(h);
            EXPECT_EQ(v.data()[0], 5);
            EXPECT_EQ(v.U32(2), 4u);
            EXPECT_EQ(v.Bytes(v.U32(6), 4), (Bytes{0x11, 0x22, 0x33, 0xAA}));
        }
        brio::FreePicture(h);
        EXPECT_EQ(Opened(mono).status, 4);
    }
}

TEST(OpenHotspotBitmap, OutOfMemoryLeavesNothing) {
    Stored s;
    s.packing = 1;
    s.data = {0x08, 0x01};
    s.hotspots = HotspotBytes({{231, "x"}});
    for (const auto& bytes : {MakeGroupFile({BuildStored(s)}), SmallBmp(),
                              MakePlaceableMetafile(0, 0, 10, 10, 1440, "abcd")}) {
        int failures = 0;
        for (long n = 1; n < 12; ++n) {
            brio::FailAllocationAfter(n);
            Opened o(bytes);
            brio::FailAllocationAfter(0);
            EXPECT_TRUE(o.status == 0 || o.status == 8) << n << ": " << o.status;
            failures += o.status != 0;
        }
        EXPECT_GT(failures, 0);
    }
}

// A picture record as the exports make it: header, table, data, and the
// hotspot offset at the end of the data.
GlobalHandle MakePicture(uint16_t bits, int32_t width, int32_t height, const Bytes& table,
                         const Bytes& data, uint32_t dataSizeField = 0xFFFFFFFF) {
    GlobalHandle h = brio::PlatGlobalAlloc(brio::kGhnd, 58 + table.size() + data.size());
    auto* p = static_cast<uint8_t*>(brio::PlatGlobalLock(h));
    p[0] = 6;
    uint32_t dataAt = static_cast<uint32_t>(58 + table.size());
    brio::PutU32(p, 2, dataSizeField == 0xFFFFFFFF ? uint32_t(data.size()) : dataSizeField);
    brio::PutU32(p, 6, dataAt);
    brio::PutU32(p, 14, static_cast<uint32_t>(dataAt + data.size()));
    Bytes dib = MakeDib(width, height, bits, table, data);
    brio::PutU32(dib.data(), 24, 96);
    brio::PutU32(dib.data(), 28, 96);
    std::memcpy(p + brio::kBiSize, dib.data(), dib.size());
    brio::PlatGlobalUnlock(h);
    return h;
}

GlobalHandle ListOf(const std::vector<brio::HotspotRecord>& records) {
    GlobalHandle list = brio::ListCreate();
    for (const auto& r : records) EXPECT_EQ(brio::ListInsert(list, &r, sizeof r), 1);
    return list;
}

brio::HotspotRecord Record(uint8_t type, int32_t left, int32_t top, int32_t right,
                           int32_t bottom, const char* binding) {
    brio::HotspotRecord r;
    std::memset(&r, 0, sizeof r);
    std::strcpy(r.binding, binding);
    r.type = type;
    r.attribute = 4;
    r.left = left;
    r.top = top;
    r.right = right;
    r.bottom = bottom;
    return r;
}

Bytes FileBytes(const std::string& path) {
    std::string s = ReadFile(path);
    return Bytes(s.begin(), s.end());
}

TEST(WriteBitmapGroup, OnePictureFileByteForByte) {
    Bytes table = {0, 0, 0, 0, 255, 255, 255, 0};
    Bytes data(32);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
    GlobalHandle pic = MakePicture(1, 8, 8, table, data);
    GlobalHandle list = brio::ListCreate();
    TempDir dir;
    ASSERT_EQ(brio::SaveHotspotBitmap(dir.File("a.shg").c_str(), &pic, list), 0);
    Bytes expected = {0x6C, 0x70, 0x01, 0x00, 0x08, 0x00, 0x00, 0x00,   // index
                      0x06, 0x00, 0xC0, 0x00, 0xC0, 0x00, 0x02, 0x02,   // type .. bits
                      0x10, 0x00, 0x10, 0x00, 0x04, 0x00, 0x00, 0x00,   // size, colours
                      0x40, 0x00, 0x00, 0x00,                           // stored, hotspots
                      0x24, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};  // offsets
    Append(expected, table);
    Append(expected, data);
    EXPECT_EQ(FileBytes(dir.File("a.shg")), expected);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"a.shg"});
    brio::ListDestroy(list);
    brio::FreePicture(pic);
}

TEST(WriteBitmapGroup, PackingAndTheDataLimit) {
    struct Case {
        const char* name;
        uint16_t bits;
        int32_t width, height;
        Bytes data;
        uint32_t sizeField;
        uint8_t packing;
        Bytes stored;
    } cases[] = {
        {"zeros pack", 8, 4, 2, Bytes(8, 0), 8, 1, {0x08, 0x00}},
        {"limit 1-bit 9 x 2 is 10", 1, 9, 2, Bytes(100, 0x11), 100, 1, {0x0A, 0x11}},
        {"two bytes stay unpacked", 8, 1, 2, {5, 5}, 2, 0, {5, 5}},
    };
    for (const auto& c : cases) {
        GlobalHandle pic = MakePicture(c.bits, c.width, c.height, {}, c.data, c.sizeField);
        GlobalHandle list = brio::ListCreate();
        TempDir dir;
        ASSERT_EQ(brio::SaveHotspotBitmap(dir.File("p").c_str(), &pic, list), 0) << c.name;
        Bytes file = FileBytes(dir.File("p"));
        ASSERT_GT(file.size(), 10u);
        EXPECT_EQ(file[9], c.packing) << c.name;
        EXPECT_EQ(Bytes(file.end() - long(c.stored.size()), file.end()), c.stored) << c.name;
        // Read back: the stored size is the one the header gives.
        GlobalHandle back = brio::ExpandPicture(file.data() + 8, file.size() - 8);
        ASSERT_TRUE(brio::IsPicture(back)) << c.name;
        brio::FreePicture(back);
        brio::ListDestroy(list);
        brio::FreePicture(pic);
    }
}

TEST(SaveHotspotBitmap, RoundTripsBitmapsAndMetafilesWithHotspots) {
    Bytes data(4 * 3);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i / 5);
    Bytes table = {1, 2, 3, 0, 4, 5, 6, 0};
    Stored m;
    m.type = 8;
    m.unpacked = 300;
    m.data = Bytes(300, 0x3C);
    m.hotspots = {1, 0, 0, 0, 0, 0, 0};
    Bytes metafile = BuildStored(m);
    std::vector<brio::HotspotRecord> recs = {Record(231, 0, 0, 3, 7, "topic_1"),
                                             Record(204, 1, -1, 13, 7, "JumpId(`x')"),
                                             Record(235, 2, -2, 23, 7, "ctx>win@file.hlp")};
    for (bool bitmap : {true, false}) {
        GlobalHandle pic = bitmap ? MakePicture(8, 4, 3, table, data)
                                  : brio::ExpandPicture(metafile.data(), metafile.size());
        ASSERT_TRUE(brio::IsPicture(pic));
        size_t sizeBefore = brio::PlatGlobalSize(pic);
        GlobalHandle list = ListOf(recs);
        TempDir dir;
        std::string path = dir.File("r.shg");
        ASSERT_EQ(brio::SaveHotspotBitmap(path.c_str(), &pic, list), 0);
        // The picture got its block only for the write.
        EXPECT_TRUE(!bitmap || brio::PlatGlobalSize(pic) == sizeBefore);
        brio::OpenedPicture o;
        ASSERT_EQ(brio::OpenHotspotBitmap(path.c_str(), &o), 0);
        {
            PictureView v(o.picture);
            if (bitmap) {
                EXPECT_EQ(v.Bytes(58, 8), table);
                EXPECT_EQ(v.U32(2), 12u);
                EXPECT_EQ(v.Bytes(66, 12), data);
            } else {
                EXPECT_EQ(o.width, 2540);
                EXPECT_EQ(o.height, 1270);
                PictureView b(brio::GetHandleField(v.data(), brio::kPicBitsHandle));
                EXPECT_EQ(b.Bytes(0, b.size()), m.data);
            }
        }
        size_t i = 0;
        for (auto node = brio::ListNext(o.list, nullptr); node && i < 3;
             node = brio::ListNext(o.list, node), ++i) {
            brio::HotspotRecord r;
            brio::CopyHotspot(node, &r);
            EXPECT_EQ(std::memcmp(&r, &recs[i], sizeof r), 0) << i;
        }
        EXPECT_EQ(brio::ListCount(o.list), 3u);
        brio::FreePicture(o.picture);
        brio::ListDestroy(o.list);
        brio::ListDestroy(list);
        brio::FreePicture(pic);
    }
}

TEST(SaveHotspotBitmap, FailuresKeepTheOldFile) {
    TempDir dir;
    std::string path = dir.File("keep.shg");
    ASSERT_TRUE(WriteFile(path, "old content"));
    GlobalHandle pic = MakePicture(8, 4, 1, {}, {1, 2, 3, 4});
    GlobalHandle list = ListOf({Record(231, 0, 0, 40000, 0, "")});  // wider than 16 bits
    EXPECT_EQ(brio::SaveHotspotBitmap(path.c_str(), &pic, list), 4);
    EXPECT_EQ(ReadFile(path), "old content");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"keep.shg"});
    // A folder that does not exist: the file layer's own code.
    GlobalHandle empty = brio::ListCreate();
    EXPECT_EQ(brio::SaveHotspotBitmap(dir.File("none/x.shg").c_str(), &pic, empty), 3);
    brio::ListDestroy(empty);
    GlobalHandle bad = brio::BadPicture();
    EXPECT_EQ(brio::SaveHotspotBitmap(path.c_str(), &bad, list), 4);
    EXPECT_EQ(brio::SaveHotspotBitmap(nullptr, &pic, list), 4);
    EXPECT_EQ(brio::SaveHotspotBitmap("", &pic, list), 4);
    brio::ListDestroy(list);
    brio::FreePicture(pic);
}

TEST(SaveHotspotBitmap, OutOfMemorySweep) {
    GlobalHandle pic = MakePicture(8, 4, 2, {}, Bytes(8, 0));
    GlobalHandle list = ListOf({Record(204, 0, 0, 0, 0, "macro()")});
    TempDir dir;
    std::string path = dir.File("m.shg");
    std::vector<uint16_t> statuses;
    for (long n = 1; n < 8; ++n) {
        brio::FailAllocationAfter(n);
        uint16_t status = brio::SaveHotspotBitmap(path.c_str(), &pic, list);
        brio::FailAllocationAfter(0);
        statuses.push_back(status);
        EXPECT_TRUE(status == 0 || status == 8) << n << ": " << status;
        {
            // The block is detached again (a failed shrink only leaves room).
            PictureView v(pic);
            EXPECT_EQ(v.U32(brio::kPicHotspotSize), 0u) << n;
            EXPECT_EQ(v.U32(brio::kPicHotspotOffset), 66u) << n;
        }
        if (status == 0) {
            brio::OpenedPicture o;
            ASSERT_EQ(brio::OpenHotspotBitmap(path.c_str(), &o), 0) << n;
            EXPECT_EQ(brio::ListCount(o.list), 1u);
            brio::FreePicture(o.picture);
            brio::ListDestroy(o.list);
        }
    }
    EXPECT_EQ(statuses.front(), 8);  // growing the picture
    EXPECT_EQ(statuses.back(), 0);
    brio::ListDestroy(list);
    brio::FreePicture(pic);
}

}  // namespace
