#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bitmap/picture_fixtures.h"
#include "bitmap/rle.h"
#include "compress/lz_encoder.h"
#include "frame/frame.h"

namespace {

using brio::BadPicture;
using brio::GlobalHandle;
using namespace brio::test;

std::string gReports;

GlobalHandle Expand(const Bytes& stored) {
    Bytes copy(stored);  // exact-size block: a read past it shows under ASan
    return brio::ExpandPicture(copy.data(), copy.size());
}

TEST(CompactNumbers, WriteAndRead) {
    struct Case {
        bool wide;
        uint32_t value;
        Bytes bytes;
    } cases[] = {
        {false, 0, {0x00}},
        {false, 127, {0xFE}},
        {false, 128, {0x01, 0x01}},
        {false, 32767, {0xFF, 0xFF}},
        {true, 0, {0x00, 0x00}},
        {true, 32767, {0xFE, 0xFF}},
        {true, 32768, {0x01, 0x00, 0x01, 0x00}},
        {true, 0x7FFFFFFF, {0xFF, 0xFF, 0xFF, 0xFF}},
    };
    for (const auto& c : cases) {
        unsigned char out[4] = {};
        size_t n = c.wide ? brio::PutCompact32(out, c.value) : brio::PutCompact16(out, c.value);
        EXPECT_EQ(Bytes(out, out + n), c.bytes) << c.value;
        brio::ByteReader r(c.bytes.data(), c.bytes.size());
        EXPECT_EQ(c.wide ? r.Compact32() : r.Compact16(), c.value);
        EXPECT_TRUE(r.ok());
        EXPECT_EQ(r.pos(), c.bytes.size());
        // One byte short of its form: refused, not read past.
        brio::ByteReader cut(c.bytes.data(), c.bytes.size() - 1);
        EXPECT_EQ(c.wide ? cut.Compact32() : cut.Compact16(), 0u);
        EXPECT_FALSE(cut.ok());
    }
}

TEST(ExpandPicture, BitmapHeaderIsFilledAndResolutionsBecome96) {
    Stored s;
    s.xRes = s.yRes = 300;
    s.bits = 4;
    s.width = 5;
    s.height = 3;
    s.colours = 2;
    s.important = 1;
    s.table = {1, 2, 3, 0, 4, 5, 6, 0};
    s.data = Bytes(12, 0x5A);
    s.hotspots = {1, 0, 0, 0, 0, 0, 0};
    GlobalHandle h = Expand(BuildStored(s));
    ASSERT_TRUE(brio::IsPicture(h));
    {
        PictureView v(h);
        Bytes expectedHeader = {6, 0,  12, 0, 0, 0, 66, 0, 0,  0, 7, 0, 0,  0, 78, 0, 0,
                                0, 40, 0,  0, 0, 5, 0,  0, 0,  3, 0, 0, 0,  1, 0,  4, 0,
                                0, 0,  0,  0, 0, 0, 0,  0, 96, 0, 0, 0, 96, 0, 0,  0, 2,
                                0, 0,  0,  1, 0, 0, 0,  1, 2,  3, 0, 4, 5,  6, 0};
        EXPECT_EQ(v.Bytes(0, 66), expectedHeader);
        EXPECT_EQ(v.Bytes(66, 12), Bytes(12, 0x5A));
        EXPECT_EQ(v.Bytes(78, 7), s.hotspots);
    }
    brio::FreePicture(h);
    for (uint8_t type : {0, 1, 4, 7, 9, 255}) {
        s.type = type;
        EXPECT_EQ(Expand(BuildStored(s)), BadPicture()) << int(type);
    }
}

TEST(ExpandPicture, DataSizesByPackingAndTheHotspotBlockBehind) {
    Bytes pixels = PictureLikeData(64 * 40, 12);
    struct Case {
        const char* name;
        uint8_t packing;
        Bytes data;
        uint32_t width, height;
        uint32_t dataSize;  // expected
        Bytes head;         // expected first bytes of the data
        bool hotspotsFirst;
    } cases[] = {
        // Packing 3 counts as unpacked: copied and sized by the stored size.
        {"packing 3", 3, Bytes(40, 7), 8, 2, 40, Bytes(40, 7), false},
        // B = 11 x 2 = 22; 16 bytes unpacked is fine, more is cut at B.
        {"rle exact", 1, {0x10, 0x09}, 8, 2, 16, Bytes(16, 9), false},
        {"rle beyond B", 1, {0x7F, 0x01}, 8, 2, 22, Bytes(22, 1), false},
        // Short data is padded with zeros to rows x height.
        {"rle short", 1, {0x05, 0x03}, 8, 2, 16, {3, 3, 3, 3, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, false},
        {"raw short", 0, {1, 2, 3}, 8, 2, 16, {1, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, false},
        {"lz", 2, {0x02, 0x41, 0x00, 0xC0}, 8, 2, 16, Bytes(16, 0x41), false},
        {"lz picture", 2, LzEncode(pixels), 64, 40, 64 * 40, pixels, false},
        {"hotspots stored first", 1, {0x10, 0x02}, 8, 2, 16, Bytes(16, 2), true},
    };
    gReports.clear();
    brio::SetDebugOutputHook([](const char* text) { gReports += text; });
    for (const auto& c : cases) {
        Stored s;
        s.packing = c.packing;
        s.width = c.width;
        s.height = c.height;
        s.data = c.data;
        s.hotspots = {1, 0, 0, 9, 9, 9, 9};
        s.hotspotsFirst = c.hotspotsFirst;
        s.gapBeforeData = c.hotspotsFirst ? 5 : 0;
        GlobalHandle h = Expand(BuildStored(s));
        ASSERT_TRUE(brio::IsPicture(h)) << c.name;
        {
            PictureView v(h);
            EXPECT_EQ(v.data()[1], 0) << c.name;
            EXPECT_EQ(v.U32(2), c.dataSize) << c.name;
            EXPECT_EQ(v.U32(6), 58u) << c.name;
            EXPECT_EQ(v.Bytes(58, c.head.size()), c.head) << c.name;
            EXPECT_EQ(v.U32(10), 7u) << c.name;
            uint32_t hotAt = v.U32(14);
            EXPECT_EQ(hotAt, 58 + c.dataSize) << c.name;
            ASSERT_LE(hotAt + 7, v.size()) << c.name;
            EXPECT_EQ(v.Bytes(hotAt, 7), s.hotspots) << c.name;
        }
        brio::FreePicture(h);
    }
    brio::SetDebugOutputHook(nullptr);
    EXPECT_EQ(gReports, "");
}

TEST(ExpandPicture, RecordsReachingOutsideThemselvesAreRefused) {
    Stored s;
    s.colours = 2;
    s.table = Bytes(8, 1);
    s.data = Bytes(8, 2);
    s.hotspots = Bytes(7, 3);
    Bytes good = BuildStored(s);
    GlobalHandle h = Expand(good);
    ASSERT_TRUE(brio::IsPicture(h));
    brio::FreePicture(h);
    for (size_t cut = 0; cut < good.size(); ++cut)
        EXPECT_EQ(Expand(Bytes(good.begin(), good.begin() + cut)), BadPicture()) << cut;
    // Offsets near 2^32 must not wrap the checks.
    size_t offsetsAt = good.size() - 7 - 8 - 8 - 8;
    for (uint32_t bad : {0xFFFFFFF0u, 0x7FFFFFFFu, static_cast<uint32_t>(good.size())}) {
        for (size_t at : {offsetsAt, offsetsAt + 4}) {
            Bytes b = good;
            brio::PutU32(b.data(), at, bad);
            EXPECT_EQ(Expand(b), BadPicture()) << bad << " at " << at;
        }
    }
    Stored many = s;  // a table running past the record
    many.colours = 0x40000000;
    EXPECT_EQ(Expand(BuildStored(many)), BadPicture());
    Stored huge;  // far larger than its stream could make
    huge.packing = 1;
    huge.bits = 24;
    huge.width = huge.height = 30000;
    huge.data = {0x7F, 0x00};
    EXPECT_EQ(Expand(BuildStored(huge)), BadPicture());
}

TEST(ExpandPicture, Metafiles) {
    struct Case {
        const char* name;
        uint8_t packing;
        Bytes data;
        uint32_t unpacked;
        bool ok;
        Bytes bits;
        uint32_t dataSize;
    } cases[] = {
        {"raw", 0, {1, 2, 3, 4}, 4, true, {1, 2, 3, 4}, 4},
        {"raw shorter than U", 0, {1, 2}, 4, true, {1, 2, 0, 0}, 2},
        {"raw longer than U", 0, {1, 2, 3, 4, 5}, 4, false, {}, 0},
        {"rle", 1, {0x06, 0x11}, 6, true, Bytes(6, 0x11), 6},
        {"rle beyond U", 1, {0x06, 0x11}, 3, true, Bytes(3, 0x11), 3},
        {"lz", 2, {0x00, 7, 8}, 2, true, {7, 8}, 2},
        {"packing 3", 3, {1, 2}, 2, false, {}, 0},
    };
    for (const auto& c : cases) {
        Stored s;
        s.type = 8;
        s.packing = c.packing;
        s.data = c.data;
        s.unpacked = c.unpacked;
        s.hotspots = {1, 0, 0, 0, 0, 0, 0};
        GlobalHandle h = Expand(BuildStored(s));
        if (!c.ok) {
            EXPECT_EQ(h, BadPicture()) << c.name;
            continue;
        }
        ASSERT_TRUE(brio::IsPicture(h)) << c.name;
        {
            PictureView v(h);
            EXPECT_EQ(v.size(), 66u + 7) << c.name;
            EXPECT_EQ(v.data()[0], 8);
            uint32_t header[] = {c.dataSize, 0, 7, 66, 8, 2540, 1270};
            for (size_t i = 0; i < 7; ++i) EXPECT_EQ(v.U32(2 + 4 * i), header[i]) << c.name << i;
            EXPECT_EQ(v.Bytes(66, 7), s.hotspots);
            GlobalHandle bits = brio::GetHandleField(v.data(), brio::kPicBitsHandle);
            ASSERT_NE(bits, nullptr);
            EXPECT_EQ(brio::PlatGlobalSize(bits), c.unpacked) << c.name;
            PictureView b(bits);
            EXPECT_EQ(b.Bytes(0, c.unpacked), c.bits) << c.name;
        }
        brio::FreePicture(h);
    }
}

TEST(ExpandPicture, OutOfMemoryGivesZeroAndKeepsNothing) {
    Stored m, b;
    m.type = 8;
    m.data = {1, 2, 3};
    m.unpacked = 3;
    b.data = Bytes(8, 1);
    for (const Bytes& stored : {BuildStored(m), BuildStored(b)}) {
        int failures = 0;
        for (long n = 1; n < 10; ++n) {
            brio::FailAllocationAfter(n);
            GlobalHandle h = Expand(stored);
            brio::FailAllocationAfter(0);
            failures += !h;
            EXPECT_TRUE(!h || brio::IsPicture(h));
            if (brio::IsPicture(h)) brio::FreePicture(h);
        }
        EXPECT_EQ(failures, stored[0] == 8 ? 2 : 1);
    }
}

}  // namespace
