#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "bitmap/rle.h"
#include "compress/lz_encoder.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Pack(const Bytes& in) {
    Bytes out(brio::PackRleBound(in.size()) + 16, 0xEE);
    size_t n = brio::PackRle(in.data(), out.data(), in.size());
    EXPECT_LE(n, brio::PackRleBound(in.size()));
    for (size_t i = brio::PackRleBound(in.size()); i < out.size(); ++i) EXPECT_EQ(out[i], 0xEE);
    out.resize(n);
    return out;
}

Bytes Unpack(const Bytes& stream, size_t capacity) {
    Bytes src(stream);
    Bytes out(capacity + 16, 0xEE);
    int32_t n = brio::UnpackRle(src.data(), out.data(), static_cast<uint32_t>(src.size()),
                                static_cast<uint32_t>(capacity));
    EXPECT_GE(n, 0);
    EXPECT_LE(static_cast<size_t>(n), capacity);
    for (size_t i = capacity; i < out.size(); ++i) EXPECT_EQ(out[i], 0xEE) << "past capacity";
    out.resize(static_cast<size_t>(n));
    return out;
}

TEST(PackRle, StatedStreams) {
    struct Case {
        Bytes in, out;
    } cases[] = {
        {{0x41, 0x41, 0x41, 0x42}, {0x03, 0x41, 0x81, 0x42}},
        {{0x41, 0x42, 0x41, 0x42}, {0x84, 0x41, 0x42, 0x41, 0x42}},
        {Bytes(300, 0), {0x7F, 0, 0x7F, 0, 0x2E, 0}},
        {{0x05}, {0x81, 0x05}},
        {{0x07, 0x07}, {0x82, 0x07, 0x07}},
        {{}, {}},
        {{1, 2, 9, 9, 9, 9, 3}, {0x82, 1, 2, 0x04, 9, 0x81, 3}},
        // A run of 128 ends with a run record of 1.
        {Bytes(128, 5), {0x7F, 5, 0x01, 5}},
    };
    for (const auto& c : cases) EXPECT_EQ(Pack(c.in), c.out);
    // 130 distinct-neighbour bytes: a full literal record of 127, then 3.
    Bytes mixed(130);
    for (size_t i = 0; i < mixed.size(); ++i) mixed[i] = static_cast<uint8_t>(i);
    Bytes packed = Pack(mixed);
    ASSERT_EQ(packed.size(), 132u);
    EXPECT_EQ(packed[0], 0xFF);
    EXPECT_EQ(packed[128], 0x83);
    EXPECT_EQ(packed[129], 127);
}

TEST(UnpackRle, StatedStreams) {
    struct Case {
        Bytes stream;
        size_t capacity;
        Bytes out;
    } cases[] = {
        {{0x83, 0x61, 0x62, 0x63, 0x05, 0x78},
         16,
         {0x61, 0x62, 0x63, 0x78, 0x78, 0x78, 0x78, 0x78}},
        {{0x80, 0x81, 0x09}, 16, {0x09}},        // 0x80 takes one stream byte
        {{0x00, 0x33, 0x81, 0x09}, 16, {0x09}},  // 0x00 takes two
        {{0x83, 0x61, 0x62, 0x63, 0x05, 0x78}, 5, {0x61, 0x62, 0x63, 0x78, 0x78}},
        {{0x85, 0x61, 0x62}, 16, {0x61, 0x62}},  // literal cut by the source's end
        {{0x05}, 16, {}},                        // value byte missing
    };
    for (const auto& c : cases) EXPECT_EQ(Unpack(c.stream, c.capacity), c.out);
}

TEST(UnpackRleBackward, StatedStreams) {
    struct Case {
        Bytes stream;
        uint32_t capacity;
        int32_t result;
        Bytes tail;  // the last `result` bytes of the area
    } cases[] = {
        {{0x61, 0x62, 0x63, 0x83}, 8, 3, {0x61, 0x62, 0x63}},
        {{0x61, 0x62, 0x63, 0x83}, 2, -1, {}},
        {{0x78, 0x03, 0x61, 0x81}, 8, 4, {0x78, 0x78, 0x78, 0x61}},
        {{0x62, 0x83}, 8, -1, {}},  // literal reaches before the source
        {{0x03}, 8, -1, {}},        // value byte missing
        {{}, 8, 0, {}},
    };
    for (const auto& c : cases) {
        Bytes src(c.stream);
        Bytes area(c.capacity + 8, 0xEE);
        int32_t n = brio::UnpackRleBackward(src.data(), area.data() + 4,
                                            static_cast<uint32_t>(src.size()), c.capacity);
        EXPECT_EQ(n, c.result);
        if (n == -1) {
            for (uint8_t b : area) EXPECT_EQ(b, 0xEE) << "a refused record wrote nothing";
            continue;
        }
        Bytes tail(area.begin() + 4 + c.capacity - n, area.begin() + 4 + c.capacity);
        EXPECT_EQ(tail, c.tail);
        for (size_t i = 0; i < 4; ++i) EXPECT_EQ(area[i], 0xEE);
        for (size_t i = 4 + c.capacity; i < area.size(); ++i) EXPECT_EQ(area[i], 0xEE);
    }
}

TEST(PackRle, RoundTripsAndNeverGrowsPastTheBound) {
    std::mt19937 rng(11);
    std::vector<Bytes> inputs = {brio::test::PictureLikeData(50000, 4)};
    for (int k = 0; k < 200; ++k) {
        Bytes b(rng() % 600);
        unsigned alphabet = 1 + rng() % 4;
        for (auto& x : b) x = static_cast<uint8_t>(rng() % (k % 2 ? 256 : alphabet));
        inputs.push_back(b);
    }
    for (const auto& in : inputs) {
        Bytes packed = Pack(in);
        EXPECT_EQ(Unpack(packed, in.size()), in);
    }
}

TEST(UnpackRle, CorruptStreamsStayInBounds) {
    std::mt19937 rng(5);
    Bytes plain = brio::test::PictureLikeData(2000, 9);
    Bytes packed = Pack(plain);
    for (size_t cut = 0; cut <= packed.size(); ++cut) {
        Bytes out = Unpack(Bytes(packed.begin(), packed.begin() + cut), plain.size());
        ASSERT_TRUE(std::equal(out.begin(), out.end(), plain.begin())) << "cut " << cut;
    }
    for (int round = 0; round < 1000; ++round) {
        Bytes bad = packed;
        bad[rng() % bad.size()] = static_cast<uint8_t>(rng());
        Unpack(bad, rng() % 3000);
        Bytes area(600 + 8, 0xEE);
        int32_t n = brio::UnpackRleBackward(bad.data(), area.data() + 4,
                                            static_cast<uint32_t>(bad.size()), 600);
        EXPECT_LE(n, 600);
        for (size_t i = 0; i < 4; ++i) EXPECT_EQ(area[i], 0xEE);
        for (size_t i = 604; i < area.size(); ++i) EXPECT_EQ(area[i], 0xEE);
    }
}

}  // namespace
