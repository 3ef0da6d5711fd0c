#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "bitmap/picture_fixtures.h"
#include "compress/lz.h"
#include "compress/lz_encoder.h"

namespace {

using namespace brio::test;
const Bytes kGuard(16, 0xEE);

// Forward (0), backward (1) or LZ (2) into a buffer guarded on both sides;
// {0xFF}: a refused backward stream (nothing written); no room is a null buffer.
Bytes Unpack(const Bytes& stream, uint32_t capacity, int way) {
    Bytes src(stream), out(capacity + 32, 0xEE);
    auto* at = capacity ? out.data() + 16 : nullptr;
    uint32_t size = uint32_t(src.size());
    int32_t n = way == 2   ? brio::LzDecompress(src.data(), at, size, capacity)
                : way == 1 ? brio::UnpackRleBackward(src.data(), at, size, capacity)
                           : brio::UnpackRle(src.data(), at, size, capacity);
    EXPECT_LE(n, int32_t(capacity));
    EXPECT_TRUE(Sub(out, 0, 16) == kGuard && Sub(out, capacity + 16) == kGuard) << "out of bounds";
    if (n < 0) return out == Bytes(capacity + 32, 0xEE) && way == 1 ? Bytes{0xFF} : Bytes{0xFE};
    return way == 1 ? Bytes(out.end() - 16 - n, out.end() - 16) : Bytes(at, at + n);
}

// Input and its stream. The scans test eight positions at once: runs at a word's
// edges and bytes alike but for the top bit; records stop at 127.
TEST(PackRle, PacksExactlyAndUnpacksBothWays) {
    Bytes counting(128), literals;
    std::iota(counting.begin(), counting.end(), uint8_t(1));
    literals = counting;  // 1 to 127, then 128 alone
    literals.insert(literals.begin(), 0xFF);
    literals.insert(literals.end() - 1, 0x81);
    std::pair<Bytes, Bytes> cases[] = {
        {Hex("0102 aaaaaa"), Hex("82 0102 03aa")},
        {Hex("aaaaaa ab 0102030405"), Hex("03aa 86 ab0102030405")},
        {Hex("01020304050607 aaaaaa 0809"), Hex("87 01020304050607 03aa 82 0809")},
        {Hex("0102030405060708 aaaaaa 090a"), Hex("88 0102030405060708 03aa 82 090a")},
        {Hex("010181 02030405060708"), Hex("8a 010181 02030405060708")},
        {counting, literals},
        {Bytes(128, 0xAA), Hex("7faa 01aa")}};
    for (const auto& [in, packed] : cases) {
        Bytes back = Pack(Bytes(in.rbegin(), in.rend()));
        uint32_t size = uint32_t(in.size());
        EXPECT_EQ(Pack(in), packed) << size;
        EXPECT_EQ(Unpack(packed, size, 0), in);
        EXPECT_EQ(Unpack(packed, size / 2, 0), Sub(in, 0, size / 2));
        // Backward streams are forward ones back to front.
        EXPECT_EQ(Unpack(Bytes(back.rbegin(), back.rend()), size, 1), in);
    }
}

TEST(UnpackStreams, StatedRleAndLzStreams) {
    // Forward, backward or LZ; stream, capacity and output ("ff": refused). An LZ
    // length field 0 is 3; references before the output or cut in half end it.
    std::tuple<int, const char*, uint32_t, const char*> cases[] = {
        {0, "80 8109", 16, "09"},
        {0, "0033 8109", 16, "09"},
        {0, "856162", 16, "6162"},
        {0, "05", 16, ""},
        {1, "61626383", 2, "ff"},
        {1, "6283", 8, "ff"},
        {1, "03", 8, "ff"},
        {1, "", 8, ""},
        {1, "0000 0000 0100", 0, ""},
        {1, "80", 0, ""},
        {1, "0703 80 0000", 3, "070707"},
        {2, "", 16, ""},
        {2, "04 0708 0100", 64, "0708070807"},
        {2, "01 0000", 16, ""},
        {2, "02 09 0100", 16, "09"},
        {2, "02 09 00", 16, "09"}};
    for (auto [way, stream, capacity, out] : cases)
        EXPECT_EQ(Unpack(Hex(stream), capacity, way), Hex(out)) << stream;
}

TEST(CompactNumbers, WriteAndRead) {
    std::tuple<bool, uint32_t, Bytes> cases[] = {
        {0, 127, {0xFE}},         {0, 128, {0x01, 0x01}},   {0, 32767, {0xFF, 0xFF}},
        {1, 32767, {0xFE, 0xFF}}, {1, 32768, {1, 0, 1, 0}}, {1, 0x7FFFFFFF, Bytes(4, 0xFF)}};
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
    s.colours = 2;
    s.table = Bytes(8, 1);
    s.data = Bytes(8, 2);
    s.hotspots = Bytes(7, 3);
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
    huge.packing = 1;
    huge.bits = 24;
    huge.width = huge.height = 30000;
    huge.data = {0x7F, 0x00};
    EXPECT_EQ(Expand(BuildStored(many)), Bytes());
    EXPECT_EQ(Expand(BuildStored(huge)), Bytes());
}

TEST(ExpandPicture, Metafiles) {
    // At most 64 times the stored bytes plus 1 MB (a fuzzed record asked for 700 MB).
    const uint32_t most = 2 * 64 + (1 << 20);
    Bytes mostBits = {1, 2};
    mostBits.resize(most);
    // Packing, stored data, unpacked size; the bits (empty: refused).
    std::tuple<uint8_t, Bytes, uint32_t, Bytes> cases[] = {{0, {1, 2}, 4, {1, 2, 0, 0}},
                                                           {0, {1, 2}, most, mostBits},
                                                           {0, {1, 2}, most + 1, {}},
                                                           {0, {1, 2, 3, 4, 5}, 4, {}},
                                                           {1, {0x06, 0x11}, 3, Bytes(3, 0x11)},
                                                           {2, {0x00, 7, 8}, 2, {7, 8}},
                                                           {3, {1, 2}, 2, {}}};
    for (const auto& [packing, data, unpacked, want] : cases) {
        Stored s = StoredMetafile(data, unpacked, {1, 0, 0, 0, 0, 0, 0});
        s.packing = packing;
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

// An independent encoder's streams decode to the input, or its start.
TEST(LzDecompress, DecodesWhatTheEncoderWrote) {
    for (uint32_t seed = 1; seed <= 24; ++seed) {
        Bytes in = PictureLikeData(seed * seed * 13 % 5000, seed);
        for (size_t i = 0; seed % 4 == 2 && i < in.size(); ++i)  // short periods
            in[i] = uint8_t(i % (2 + seed % 7));
        if (seed % 4 == 0) {  // three bytes seen only 4,096 back: the window's far end
            in.resize(4096);
            for (uint8_t& b : in) b &= 0x7F;
            for (size_t i = 0; i < 3; ++i) in[i] = uint8_t(0xF1 + i);
            Bytes head(in.begin(), in.begin() + 3 + seed % 5);
            in.insert(in.end(), head.begin(), head.end());
        }
        Bytes stream = LzEncode(in);
        for (size_t capacity = in.size(); capacity > 0; capacity -= 1 + capacity / 16)
            ASSERT_EQ(Unpack(stream, uint32_t(capacity), 2),
                      Bytes(in.begin(), in.begin() + long(capacity)))
                << in.size() << " into " << capacity;
    }
}

}  // namespace
