#include <gtest/gtest.h>

#include "bitmap/picture_fixtures.h"

namespace {

using brio::HotspotRecord;
using namespace brio::test;

// Builds the block behind a bare 58-byte picture: the status, and the block.
uint16_t Build(const std::vector<HotspotRecord>& records, Bytes* block = nullptr) {
    brio::Picture picture{brio::PictureBytes(58), {}};
    picture.SetField(brio::kPicHotspotOffset, 58);
    uint16_t status = brio::AttachHotspotBlock(&picture, records);
    Bytes rec = Plain(picture.record);
    EXPECT_EQ(rec.size(), 58 + U32(rec, brio::kPicHotspotSize));  // grown to fit exactly
    if (block) *block = Sub(rec, 58);
    return status;
}

// Parses an exact-size copy: the records read, {} when refused.
std::vector<HotspotRecord> Parse(const Bytes& block) {
    std::vector<HotspotRecord> records;
    Bytes copy(block);
    bool read = brio::ParseHotspotBlock(copy.data(), copy.size(), &records);
    EXPECT_EQ(read, !records.empty());
    return records;
}

TEST(SplitBinding, Parts) {
    for (auto [binding, parts] : {std::pair<const char*, std::string>{"x @ f > w", "x|w|f"},
                                  {"x>y>z", "x|y>z|"},
                                  {"  a b  ", "a b||"}}) {
        char ctx[256], window[256], file[256];
        EXPECT_EQ(brio::SplitBinding(binding, ctx, window, file), 1);
        EXPECT_EQ(std::string(ctx) + "|" + window + "|" + file, parts) << binding;
    }
}

// Only the low two bits of the type tell the kind.
TEST(HotspotKind, FromType) {
    for (auto [type, kind] : {std::pair{227, 0}, {239, 0}, {138, 1}, {226, 1}, {200, 2}, {17, 2}})
        EXPECT_EQ(brio::HotspotKind(uint8_t(type)), kind) << type;
}

TEST(HotspotBlock, BuiltByteForByteAndReadBack) {
    std::vector<HotspotRecord> records = {
        Record(231, 1, 2, 11, 22, "topic_1"), Record(204, -5, 0, 5, 3, "JI(`a')"),
        Record(235, 0, 0, 1, 1, "ctx > main @ other", "n", 0),
        Record(138, 100, 200, 300, 400, "x", "", 9), Record(239, 0, 0, 2, 2, "ctx@f")};
    Bytes block;
    ASSERT_EQ(Build(records, &block), 0);
    // Header, entries, extra data (macros; window jumps' flags, hash, window, file), strings.
    Bytes expected =
        Hex("01 0500 1f000000"
            "e7 04 00 0100 0200 0a00 1400 4ff07212  cc 04 00 fbff 0000 0a00 0300 00000000"
            "eb 00 00 0000 0000 0100 0100 08000000  8a 09 00 6400 c800 c800 c800 00000000"
            "ef 04 00 0000 0000 0200 0200 18000000"
            "4a4928606127 2900  06 6f8f0000 6d61696e00 6f7468657200  04 6f8f0000 6600"
            "00 746f7069635f3100 00 4a49286061272900 6e00 637478203e206d61696e204020"
            "6f746865720000 7800 00 637478406600");
    EXPECT_EQ(block, expected);
    EXPECT_EQ(Parse(block), records);
}

TEST(HotspotBlock, InvalidBlocksAndWhatTheFormatCannotHoldAreRefused) {
    Bytes good = Hex("01 0100 00000000 e7 04 00 fbff 0000 0a00 0200 00000000 6e6d00 6200");
    ASSERT_EQ(Parse(good).size(), 1u);
    for (size_t cut = 0; cut < good.size(); ++cut)
        EXPECT_TRUE(Parse(Sub(good, 0, cut)).empty()) << cut;
    Bytes version2 = good, longName = Sub(good, 0, 22);
    version2[0] = 2;
    EXPECT_TRUE(Parse(version2).empty());
    // Extra-data length near 2^32: the strings' start must not wrap.
    for (uint32_t extra : {0xFFFFFFFFu, 6u}) {
        Bytes b = good;
        Put32(b, {{3, extra}});
        EXPECT_TRUE(Parse(b).empty()) << extra;
    }
    // A string of 256 characters without a terminator in reach.
    longName.insert(longName.end(), 256, 'a');
    longName.insert(longName.end(), {0, 0});
    EXPECT_TRUE(Parse(longName).empty());
    // Left, top, right, bottom and the status.
    std::tuple<int32_t, int32_t, int32_t, int32_t, uint16_t> cases[] = {
        {-32768, -32768, -32768, -32768, 0},
        {0, 0, 32767, 32767, 0},
        {32768, 0, 32769, 1, 4},
        {0, -32769, 1, 1, 4},
        {-20000, 0, 20000, 1, 4},
        {0, 0, 1, -32769, 4}};
    for (auto [l, t, r, b, status] : cases)
        EXPECT_EQ(Build({Record(231, l, t, r, b, "a")}), status) << l << "," << t;
    EXPECT_EQ(Build(std::vector<HotspotRecord>(65535, Record(231, 0, 0, 1, 1, "a"))), 0);
    EXPECT_EQ(Build(std::vector<HotspotRecord>(65536, Record(231, 0, 0, 1, 1, "a"))), 4);
}

}  // namespace
