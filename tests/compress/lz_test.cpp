#include <gtest/gtest.h>

#include <vector>

#include "compress/lz.h"
#include "compress/lz_encoder.h"

namespace {

using Bytes = std::vector<uint8_t>;

// An exact-size copy of the stream into a buffer guarded on both sides.
Bytes Decode(const Bytes& stream, size_t capacity) {
    Bytes src(stream), out(capacity + 64, 0xEE), guard(32, 0xEE);
    int32_t n = brio::LzDecompress(src.empty() ? nullptr : src.data(), out.data() + 32,
                                   uint32_t(src.size()), uint32_t(capacity));
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 32), guard) << "written before";
    EXPECT_EQ(Bytes(out.end() - 32, out.end()), guard) << "written past";
    EXPECT_TRUE(n >= 0 && size_t(n) <= capacity) << n;
    return Bytes(out.begin() + 32, out.begin() + 32 + (n > 0 ? n : 0));
}

// An independent encoder's streams decode to the input, or its start.
TEST(LzDecompress, DecodesWhatTheEncoderWrote) {
    for (uint32_t seed = 1; seed <= 24; ++seed) {
        Bytes in = brio::test::PictureLikeData(seed * seed * 13 % 5000, seed);
        for (size_t i = 0; seed % 4 == 2 && i < in.size(); ++i)  // short periods
            in[i] = uint8_t(i % (2 + seed % 7));
        if (seed % 4 == 0) {  // three bytes seen only 4,096 back: the window's far end
            in.resize(4096);
            for (uint8_t& b : in) b &= 0x7F;
            in[0] = 0xF1, in[1] = 0xF2, in[2] = 0xF3;
            Bytes head(in.begin(), in.begin() + 3 + seed % 5);
            in.insert(in.end(), head.begin(), head.end());
        }
        Bytes stream = brio::test::LzEncode(in);
        for (size_t capacity = in.size(); capacity > 0; capacity -= 1 + capacity / 16)
            ASSERT_EQ(Decode(stream, capacity), Bytes(in.begin(), in.begin() + long(capacity)))
                << in.size() << " into " << capacity;
    }
}

TEST(LzDecompress, StatedStreams) {
    std::tuple<const char*, Bytes, size_t, Bytes> cases[] = {
        {"empty", {}, 16, {}},
        {"length field 0 is 3", {0x04, 7, 8, 0x01, 0x00}, 64, {7, 8, 7, 8, 7}},
        {"reference before the output", {0x01, 0x00, 0x00}, 16, {}},
        {"distance past what was produced", {0x02, 9, 0x01, 0x00}, 16, {9}},
        {"reference cut in half", {0x02, 9, 0x00}, 16, {9}}};
    for (const auto& [name, stream, capacity, expected] : cases)
        EXPECT_EQ(Decode(stream, capacity), expected) << name;
}

}  // namespace
