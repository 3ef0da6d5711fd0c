#include <gtest/gtest.h>

#include <string>

#include "bitmap/picture_fixtures.h"
#include "platform/platform.h"

namespace {

using namespace brio::test;

TEST(CompactNumbers, WriteAndRead) {
    std::tuple<bool, uint32_t, Bytes> cases[] = {
        {false, 0, {0x00}},          {false, 127, {0xFE}},
        {false, 128, {0x01, 0x01}},  {false, 32767, {0xFF, 0xFF}},
        {true, 0, {0x00, 0x00}},     {true, 32767, {0xFE, 0xFF}},
        {true, 32768, {1, 0, 1, 0}}, {true, 0x7FFFFFFF, {0xFF, 0xFF, 0xFF, 0xFF}}};
    for (const auto& [wide, value, bytes] : cases) {
        unsigned char out[4] = {};
        size_t n = wide ? brio::PutCompact32(out, value) : brio::PutCompact16(out, value);
        EXPECT_EQ(Bytes(out, out + n), bytes) << value;
        brio::ByteReader r(bytes.data(), bytes.size()), cut(bytes.data(), n - 1);
        EXPECT_EQ(wide ? r.Compact32() : r.Compact16(), value);
        EXPECT_TRUE(r.ok() && r.pos() == n);
        EXPECT_EQ(wide ? cut.Compact32() : cut.Compact16(), 0u);  // one byte short: refused
        EXPECT_FALSE(cut.ok());
    }
}

TEST(ExpandPicture, OnlyPictureTypesAreRead) {
    Stored s;
    s.data = Bytes(8, 0x5A);
    for (uint8_t type : {0, 1, 4, 5, 7, 9, 255}) {
        s.type = type;
        EXPECT_EQ(Sub(Expand(BuildStored(s)), 0, 2), type == 5 ? Hex("0500") : Bytes())
            << int(type);
    }
}

TEST(ExpandPicture, RecordsReachingOutsideThemselvesAreRefused) {
    Stored s;
    s.colours = 2;
    s.table = Bytes(8, 1);
    s.data = Bytes(8, 2);
    s.hotspots = Bytes(7, 3);
    Bytes good = BuildStored(s);
    ASSERT_EQ(Expand(good).size(), 58u + 8 + 8 + 7);
    for (size_t cut = 0; cut < good.size(); ++cut)
        EXPECT_EQ(Expand(Sub(good, 0, cut)), Bytes()) << cut;
    // Offsets near 2^32 must not wrap the checks.
    size_t offsetsAt = good.size() - 7 - 8 - 8 - 8;
    for (uint32_t bad : {0xFFFFFFF0u, 0x7FFFFFFFu, uint32_t(good.size())}) {
        for (size_t at : {offsetsAt, offsetsAt + 4}) {
            Bytes b = good;
            Put32(b, {{at, bad}});
            EXPECT_EQ(Expand(b), Bytes()) << bad << " at " << at;
        }
    }
    Stored many = s;  // a table running past the record
    many.colours = 0x40000000;
    EXPECT_EQ(Expand(BuildStored(many)), Bytes());
    Stored huge;  // far larger than its stream could make
    huge.packing = 1, huge.bits = 24, huge.width = huge.height = 30000;
    huge.data = {0x7F, 0x00};
    EXPECT_EQ(Expand(BuildStored(huge)), Bytes());
}

TEST(ExpandPicture, Metafiles) {
    // At most 64 times the stored bytes plus 1 MB (a fuzzed record asked for 700 MB).
    const uint32_t most = 2 * 64 + (1 << 20);
    Bytes mostBits(most, 0);
    mostBits[0] = 1, mostBits[1] = 2;
    // Packing, stored data, unpacked size; the bits (empty: refused) and data size.
    std::tuple<const char*, uint8_t, Bytes, uint32_t, Bytes, uint32_t> cases[] = {
        {"raw", 0, {1, 2, 3, 4}, 4, {1, 2, 3, 4}, 4},
        {"raw shorter than U", 0, {1, 2}, 4, {1, 2, 0, 0}, 2},
        {"raw, the most two bytes may stand for", 0, {1, 2}, most, mostBits, 2},
        {"raw, one byte more", 0, {1, 2}, most + 1, {}, 0},
        {"raw longer than U", 0, {1, 2, 3, 4, 5}, 4, {}, 0},
        {"rle", 1, {0x06, 0x11}, 6, Bytes(6, 0x11), 6},
        {"rle beyond U", 1, {0x06, 0x11}, 3, Bytes(3, 0x11), 3},
        {"lz", 2, {0x00, 7, 8}, 2, {7, 8}, 2},
        {"packing 3", 3, {1, 2}, 2, {}, 0}};
    for (const auto& [name, packing, data, unpacked, want, dataSize] : cases) {
        Stored s;
        s.type = 8, s.packing = packing, s.unpacked = unpacked;
        s.data = data;
        s.hotspots = {1, 0, 0, 0, 0, 0, 0};
        Bytes bits, rec = Expand(BuildStored(s), &bits);
        ASSERT_EQ(rec.size(), want.empty() ? 0u : 66u + 7) << name;
        if (want.empty()) continue;
        EXPECT_EQ(rec[0], 8);
        EXPECT_EQ(U32s(rec, {2, 6, 10, 14, 18, 22, 26}),
                  (std::vector<uint32_t>{dataSize, 0, 7, 66, 8, 2540, 1270}))
            << name;
        EXPECT_EQ(Sub(rec, 66), s.hotspots);
        EXPECT_EQ(bits, want) << name;
    }
    // The record the fuzzer found, as it came.
    Bytes found =
        Hex("0800 0000 0000 008b 8b8b 8b00 0000 0000 0000 008b 8b8b 8b8b 04f9 0000 002e"
            "0000 0000 0000 88ff");
    EXPECT_EQ(Expand(found), Bytes());
}

TEST(Pictures, OutOfMemoryThrowsAndKeepsThePicture) {
    Stored m, b;  // a metafile needs its record and its bits, a bitmap its record
    m.type = 8, m.unpacked = 3;
    m.data = {1, 2, 3};
    b.data = Bytes(8, 1);
    for (const Bytes& stored : {BuildStored(m), BuildStored(b)}) {
        std::vector<std::string> want = {"no memory", "no memory", "ok"};
        if (stored[0] != 8) want.erase(want.begin());
        EXPECT_EQ(FailEach([&](brio::Picture* p) {
                      return brio::ExpandPicture(stored.data(), stored.size(), p) ==
                             brio::PictureRead::Ok;
                  }),
                  want);
    }
    brio::Picture bare{brio::PictureBytes(58), {}};
    bare.SetField(brio::kPicHotspotOffset, 58);
    std::vector<brio::HotspotRecord> spots = {Record(235, 0, 0, 1, 1, "a>w@f"),
                                              Record(204, 0, 0, 1, 1, "M()")};
    std::vector<std::string> attach =
        FailEach([&](brio::Picture* p) { return brio::AttachHotspotBlock(p, spots) == 0; }, bare);
    EXPECT_GE(attach.size(), 3u);
    EXPECT_EQ(std::count(attach.begin(), attach.end(), "no memory"), long(attach.size()) - 1);
    EXPECT_EQ(attach.back(), "ok");
}

}  // namespace
