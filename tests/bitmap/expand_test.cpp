#include <gtest/gtest.h>

#include <string>

#include "bitmap/picture_fixtures.h"
#include "platform/platform.h"

namespace {

using namespace brio::test;

TEST(CompactNumbers, WriteAndRead) {
    std::tuple<bool, uint32_t, Bytes> cases[] = {
        {false, 127, {0xFE}},         {false, 128, {0x01, 0x01}},
        {false, 32767, {0xFF, 0xFF}}, {true, 32767, {0xFE, 0xFF}},
        {true, 32768, {1, 0, 1, 0}},  {true, 0x7FFFFFFF, Bytes(4, 0xFF)}};
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

TEST(ExpandPicture, RecordsOfOtherTypesOrReachingOutsideThemselvesAreRefused) {
    Stored s;
    s.colours = 2, s.table = Bytes(8, 1), s.data = Bytes(8, 2), s.hotspots = Bytes(7, 3);
    Bytes good = BuildStored(s);
    ASSERT_EQ(Expand(good).size(), 58u + 8 + 8 + 7);
    for (size_t cut = 0; cut < good.size(); ++cut)
        EXPECT_EQ(Expand(Sub(good, 0, cut)), Bytes()) << cut;
    for (uint8_t type : {0, 5, 7, 9}) {
        Bytes b = good;
        b[0] = type;
        EXPECT_EQ(Sub(Expand(b), 0, 2), type == 5 ? Hex("0500") : Bytes()) << int(type);
    }
    // Offsets near 2^32 must not wrap the checks.
    size_t offsetsAt = good.size() - 7 - 8 - 8 - 8;
    for (uint32_t bad : {0xFFFFFFFCu, uint32_t(good.size())}) {
        for (size_t at : {offsetsAt, offsetsAt + 4}) {
            Bytes b = good;
            Put32(b, {{at, bad}});
            EXPECT_EQ(Expand(b), Bytes()) << bad << " at " << at;
        }
    }
    Stored many = s, huge;  // a table running past the record; far more than the stream makes
    many.colours = 0x40000000;
    huge.packing = 1, huge.bits = 24, huge.width = huge.height = 30000, huge.data = {0x7F, 0x00};
    EXPECT_EQ(Expand(BuildStored(many)), Bytes());
    EXPECT_EQ(Expand(BuildStored(huge)), Bytes());
}

TEST(ExpandPicture, Metafiles) {
    // At most 64 times the stored bytes plus 1 MB (a fuzzed record asked for 700 MB).
    const uint32_t most = 2 * 64 + (1 << 20);
    Bytes mostBits(most, 0);
    mostBits[0] = 1, mostBits[1] = 2;
    // Packing, stored data, unpacked size; the bits (empty: refused).
    std::tuple<uint8_t, Bytes, uint32_t, Bytes> cases[] = {{0, {1, 2}, 4, {1, 2, 0, 0}},
                                                           {0, {1, 2}, most, mostBits},
                                                           {0, {1, 2}, most + 1, {}},
                                                           {0, {1, 2, 3, 4, 5}, 4, {}},
                                                           {1, {0x06, 0x11}, 3, Bytes(3, 0x11)},
                                                           {2, {0x00, 7, 8}, 2, {7, 8}},
                                                           {3, {1, 2}, 2, {}}};
    for (const auto& [packing, data, unpacked, want] : cases) {
        Stored s;
        s.type = 8, s.packing = packing, s.unpacked = unpacked, s.data = data;
        s.hotspots = {1, 0, 0, 0, 0, 0, 0};
        Bytes bits, rec = Expand(BuildStored(s), &bits), head;
        EXPECT_EQ(bits, want) << unpacked;
        if (want.empty()) continue;
        head = Hex("0800 00000000 00000000 07000000 42000000 08000000 ec090000 f6040000");
        Put32(head, {{2, packing ? unpacked : uint32_t(data.size())}});
        Append(head, Bytes(36, 0));
        Append(head, s.hotspots);
        EXPECT_EQ(rec, head) << unpacked;
    }
}

}  // namespace
