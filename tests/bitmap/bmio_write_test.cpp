#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "adt/ll.h"
#include "bitmap/bmio.h"
#include "bitmap/picture_files.h"
#include "bitmap/stored_record.h"
#include "hotspot/hotspot.h"
#include "test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;
using brio::GlobalHandle;
using namespace brio::test;

// A PictureRecord as the exports make it: header, table, data, and the
// hotspot offset at the end of the data.
GlobalHandle MakeDib(uint16_t bits, int32_t width, int32_t height, const Bytes& table,
                     const Bytes& data, uint32_t dataSizeField = 0xFFFFFFFF) {
    size_t size = 58 + table.size() + data.size();
    GlobalHandle h = brio::PlatGlobalAlloc(brio::kGhnd, size);
    auto* p = static_cast<uint8_t*>(brio::PlatGlobalLock(h));
    p[0] = 6;
    uint32_t dataAt = static_cast<uint32_t>(58 + table.size());
    brio::PutU32(p, 2,
                 dataSizeField == 0xFFFFFFFF ? static_cast<uint32_t>(data.size()) : dataSizeField);
    brio::PutU32(p, 6, dataAt);
    brio::PutU32(p, 14, static_cast<uint32_t>(dataAt + data.size()));
    brio::PutU32(p, brio::kBiSize, 40);
    brio::PutU32(p, brio::kBiWidth, static_cast<uint32_t>(width));
    brio::PutU32(p, brio::kBiHeight, static_cast<uint32_t>(height));
    brio::PutU16(p, brio::kBiPlanes, 1);
    brio::PutU16(p, brio::kBiBitCount, bits);
    brio::PutU32(p, brio::kBiXPels, 96);
    brio::PutU32(p, brio::kBiYPels, 96);
    brio::PutU32(p, brio::kBiClrUsed, static_cast<uint32_t>(table.size() / 4));
    if (!table.empty()) std::memcpy(p + 58, table.data(), table.size());
    if (!data.empty()) std::memcpy(p + dataAt, data.data(), data.size());
    brio::PlatGlobalUnlock(h);
    return h;
}

Bytes ReadBytes(const std::string& path) {
    std::string s = ReadFile(path);
    return Bytes(s.begin(), s.end());
}

TEST(WriteBitmapGroup, OnePictureFileByteForByte) {
    Bytes table = {0, 0, 0, 0, 255, 255, 255, 0};
    Bytes data(32);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
    GlobalHandle pic = MakeDib(1, 8, 8, table, data);
    GlobalHandle list = brio::ListCreate();
    TempDir dir;
    ASSERT_EQ(brio::SaveHotspotBitmap(dir.File("a.shg").c_str(), &pic, list), 0);
    Bytes expected = {0x6C, 0x70, 0x01, 0x00, 0x08, 0x00, 0x00, 0x00,   // index
                      0x06, 0x00, 0xC0, 0x00, 0xC0, 0x00, 0x02, 0x02,   // type .. bits
                      0x10, 0x00, 0x10, 0x00, 0x04, 0x00, 0x00, 0x00,   // size, colours
                      0x40, 0x00, 0x00, 0x00,                           // stored, hotspots
                      0x24, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};  // offsets
    expected.insert(expected.end(), table.begin(), table.end());
    expected.insert(expected.end(), data.begin(), data.end());
    EXPECT_EQ(ReadBytes(dir.File("a.shg")), expected);
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
        GlobalHandle pic = MakeDib(c.bits, c.width, c.height, {}, c.data, c.sizeField);
        GlobalHandle list = brio::ListCreate();
        TempDir dir;
        ASSERT_EQ(brio::SaveHotspotBitmap(dir.File("p").c_str(), &pic, list), 0) << c.name;
        Bytes file = ReadBytes(dir.File("p"));
        ASSERT_GT(file.size(), 10u);
        EXPECT_EQ(file[9], c.packing) << c.name;
        Bytes tail(file.end() - static_cast<long>(c.stored.size()), file.end());
        EXPECT_EQ(tail, c.stored) << c.name;
        // Read back: the stored size is the one the header gives.
        Bytes record(file.begin() + 8, file.end());
        GlobalHandle back = brio::ExpandPicture(record.data(), record.size());
        ASSERT_TRUE(brio::IsPicture(back)) << c.name;
        brio::FreePicture(back);
        brio::ListDestroy(list);
        brio::FreePicture(pic);
    }
}

TEST(SaveHotspotBitmap, RoundTripWithHotspots) {
    Bytes data(4 * 3);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i / 5);
    GlobalHandle pic = MakeDib(8, 4, 3, {1, 2, 3, 0, 4, 5, 6, 0}, data);
    GlobalHandle list = brio::ListCreate();
    brio::HotspotRecord recs[3];
    std::memset(recs, 0, sizeof recs);
    const char* bindings[] = {"topic_1", "JumpId(`x')", "ctx>win@file.hlp"};
    uint8_t types[] = {231, 204, 235};
    for (int i = 0; i < 3; ++i) {
        std::strcpy(recs[i].binding, bindings[i]);
        recs[i].type = types[i];
        recs[i].attribute = 4;
        recs[i].left = i;
        recs[i].top = -i;
        recs[i].right = 10 * i + 3;
        recs[i].bottom = 7;
        ASSERT_EQ(brio::ListInsert(list, &recs[i], sizeof recs[i]), 1);
    }
    TempDir dir;
    std::string path = dir.File("r.shg");
    ASSERT_EQ(brio::SaveHotspotBitmap(path.c_str(), &pic, list), 0);
    // The picture got its block only for the write.
    EXPECT_EQ(brio::PlatGlobalSize(pic), 58u + 8 + 12);
    brio::OpenedPicture opened;
    ASSERT_EQ(brio::OpenHotspotBitmap(path.c_str(), &opened), 0);
    {
        PictureView v(opened.picture);
        EXPECT_EQ(v.Bytes(58, 8), (Bytes{1, 2, 3, 0, 4, 5, 6, 0}));
        EXPECT_EQ(v.U32(2), 12u);
        EXPECT_EQ(v.Bytes(66, 12), data);
    }
    int i = 0;
    for (auto node = brio::ListNext(opened.list, nullptr); node;
         node = brio::ListNext(opened.list, node), ++i) {
        brio::HotspotRecord r;
        brio::CopyHotspot(node, &r);
        ASSERT_LT(i, 3);
        EXPECT_EQ(std::memcmp(&r, &recs[i], sizeof r), 0) << i;
    }
    EXPECT_EQ(i, 3);
    brio::FreePicture(opened.picture);
    brio::ListDestroy(opened.list);
    brio::ListDestroy(list);
    brio::FreePicture(pic);
}

TEST(SaveHotspotBitmap, FailuresKeepTheOldFile) {
    TempDir dir;
    std::string path = dir.File("keep.shg");
    ASSERT_TRUE(WriteFile(path, "old content"));
    GlobalHandle pic = MakeDib(8, 4, 1, {}, {1, 2, 3, 4});
    GlobalHandle list = brio::ListCreate();
    brio::HotspotRecord r;
    std::memset(&r, 0, sizeof r);
    r.type = 231;
    r.right = 40000;  // wider than the format holds
    ASSERT_EQ(brio::ListInsert(list, &r, sizeof r), 1);
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
    GlobalHandle pic = MakeDib(8, 4, 2, {}, Bytes(8, 0));
    GlobalHandle list = brio::ListCreate();
    brio::HotspotRecord r;
    std::memset(&r, 0, sizeof r);
    r.type = 204;
    std::strcpy(r.binding, "macro()");
    ASSERT_EQ(brio::ListInsert(list, &r, sizeof r), 1);
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

TEST(SaveHotspotBitmap, MetafileRoundTrip) {
    StoredMetafile m;
    m.unpacked = 300;
    m.data = Bytes(300, 0x3C);
    m.hotspots = {1, 0, 0, 0, 0, 0, 0};
    Bytes stored = BuildStored(m);
    GlobalHandle pic = brio::ExpandPicture(stored.data(), stored.size());
    ASSERT_TRUE(brio::IsPicture(pic));
    GlobalHandle list = brio::ListCreate();
    brio::HotspotRecord r;
    std::memset(&r, 0, sizeof r);
    r.type = 230;
    r.right = 100;
    r.bottom = 50;
    std::strcpy(r.binding, "popup");
    ASSERT_EQ(brio::ListInsert(list, &r, sizeof r), 1);
    TempDir dir;
    std::string path = dir.File("w.shg");
    ASSERT_EQ(brio::SaveHotspotBitmap(path.c_str(), &pic, list), 0);
    brio::OpenedPicture o;
    ASSERT_EQ(brio::OpenHotspotBitmap(path.c_str(), &o), 0);
    EXPECT_EQ(o.width, 2540);
    EXPECT_EQ(o.height, 1270);
    {
        PictureView v(o.picture);
        PictureView b(brio::GetHandleField(v.data(), brio::kPicBitsHandle));
        EXPECT_EQ(b.Bytes(0, b.size()), m.data);
    }
    ASSERT_EQ(brio::ListCount(o.list), 1u);
    brio::FreePicture(o.picture);
    brio::ListDestroy(o.list);
    brio::ListDestroy(list);
    brio::FreePicture(pic);
}

}  // namespace
