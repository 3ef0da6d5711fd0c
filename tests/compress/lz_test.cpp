#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "compress/lz.h"
#include "compress/lz_encoder.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Decodes an exact-size copy of the stream (a read past it shows under
// ASan) into a buffer guarded on both sides.
Bytes Decode(const Bytes& stream, size_t capacity) {
    Bytes src(stream), out(capacity + 64, 0xEE), guard(32, 0xEE);
    int32_t n = brio::LzDecompress(src.empty() ? nullptr : src.data(), out.data() + 32,
                                   uint32_t(src.size()), uint32_t(capacity));
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 32), guard) << "written before";
    EXPECT_EQ(Bytes(out.end() - 32, out.end()), guard) << "written past";
    EXPECT_TRUE(n >= 0 && size_t(n) <= capacity) << n;
    return Bytes(out.begin() + 32, out.begin() + 32 + (n > 0 ? n : 0));
}

TEST(LzDecompress, StatedStreams) {
    // 4,096 literals, then a reference to the very first byte: distance
    // field 0xFFF reaches 4,096 back.
    Bytes far, farOut;
    for (size_t i = 0; i < 4096; ++i) {
        if (i % 8 == 0) far.push_back(0x00);
        far.push_back(uint8_t(i * 7 + i / 256));
        farOut.push_back(far.back());
    }
    far.insert(far.end(), {0x01, 0xFF, 0x0F});
    farOut.insert(farOut.end(), farOut.begin(), farOut.begin() + 3);
    std::tuple<const char*, Bytes, size_t, Bytes> cases[] = {
        {"empty", {}, 16, {}},
        {"flag byte only", {0x00}, 16, {}},
        {"literal then run", {0x02, 0x41, 0x00, 0xF0}, 64, Bytes(19, 0x41)},
        {"nine literals", {0x00, 1, 2, 3, 4, 5, 6, 7, 8, 0x00, 9}, 16, {1, 2, 3, 4, 5, 6, 7, 8, 9}},
        {"length field 0 is 3", {0x04, 7, 8, 0x01, 0x00}, 16, {7, 8, 7, 8, 7}},
        {"capacity cuts a reference", {0x02, 0x41, 0x00, 0xF0}, 5, Bytes(5, 0x41)},
        {"capacity cuts literals", {0x00, 1, 2, 3}, 2, {1, 2}},
        {"reference before the output", {0x01, 0x00, 0x00}, 16, {}},
        {"distance past what was produced", {0x02, 9, 0x01, 0x00}, 16, {9}},
        {"reference cut in half", {0x02, 9, 0x00}, 16, {9}},
        {"distance 4096", far, 8192, farOut}};
    for (const auto& [name, stream, capacity, expected] : cases)
        EXPECT_EQ(Decode(stream, capacity), expected) << name;
}

TEST(LzDecompress, RoundTripsTruncationsAndDamage) {
    std::mt19937 rng(42);
    Bytes random(20000), smallAlphabet(30000);
    for (auto& b : random) b = uint8_t(rng());
    for (auto& b : smallAlphabet) b = uint8_t(rng() % 3);
    for (const Bytes& plain :
         {brio::test::PictureLikeData(100000, 1), random, smallAlphabet, Bytes(5000, 0)}) {
        Bytes stream = brio::test::LzEncode(plain);
        EXPECT_EQ(Decode(stream, plain.size()), plain) << plain.size();
        // Extra room changes nothing: the stream ends where its bytes end.
        EXPECT_EQ(Decode(stream, plain.size() + 100), plain) << plain.size();
    }
    Bytes plain = brio::test::PictureLikeData(3000, 3), stream = brio::test::LzEncode(plain);
    ASSERT_LT(stream.size(), plain.size());
    for (size_t cut = 0; cut <= stream.size(); ++cut) {
        // A prefix of the stream decodes to a prefix of the data.
        Bytes out = Decode(Bytes(stream.begin(), stream.begin() + long(cut)), plain.size());
        ASSERT_TRUE(std::equal(out.begin(), out.end(), plain.begin())) << "cut " << cut;
    }
    for (int round = 0; round < 2000; ++round) {
        Bytes bad = stream;
        for (int f = 1 + int(rng() % 4); f > 0; --f) bad[rng() % bad.size()] = uint8_t(rng());
        Decode(bad, rng() % (plain.size() + 64));
    }
}

}  // namespace
