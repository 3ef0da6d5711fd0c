#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "bitmap/rle.h"
#include "compress/lz_encoder.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Both directions write into guarded buffers: a byte past the bound or the
// capacity shows.
Bytes Pack(const Bytes& in) {
    size_t bound = brio::PackRleBound(in.size());
    Bytes out(bound + 16, 0xEE);
    size_t n = brio::PackRle(in.data(), out.data(), in.size());
    EXPECT_LE(n, bound);
    EXPECT_EQ(Bytes(out.begin() + long(bound), out.end()), Bytes(16, 0xEE));
    out.resize(n);
    return out;
}

Bytes Unpack(const Bytes& stream, size_t capacity) {
    Bytes src(stream), out(capacity + 16, 0xEE);
    int32_t n = brio::UnpackRle(src.data(), out.data(), uint32_t(src.size()), uint32_t(capacity));
    EXPECT_TRUE(n >= 0 && size_t(n) <= capacity) << n;
    EXPECT_EQ(Bytes(out.begin() + long(capacity), out.end()), Bytes(16, 0xEE)) << "past capacity";
    out.resize(size_t(n < 0 ? 0 : n));
    return out;
}

// Unpacks backwards into the end of `capacity` bytes with 4 guard bytes on
// either side; gives the result and the bytes produced. A refused stated
// stream writes nothing.
int32_t UnpackBackward(const Bytes& stream, uint32_t capacity, Bytes* produced,
                       bool stated = true) {
    Bytes src(stream), area(capacity + 8, 0xEE);
    int32_t n = brio::UnpackRleBackward(src.data(), area.data() + 4, uint32_t(src.size()), capacity);
    EXPECT_LE(n, int32_t(capacity));
    EXPECT_EQ(Bytes(area.begin(), area.begin() + 4), Bytes(4, 0xEE));
    EXPECT_EQ(Bytes(area.end() - 4, area.end()), Bytes(4, 0xEE));
    EXPECT_TRUE(n > 0 || !stated || area == Bytes(capacity + 8, 0xEE)) << "refused, yet wrote";
    if (n > 0) produced->assign(area.end() - 4 - n, area.end() - 4);
    return n;
}

TEST(PackRle, StatedStreams) {
    Bytes counting(130), literals = {0xFF};
    for (size_t i = 0; i < counting.size(); ++i) counting[i] = uint8_t(i);
    literals.insert(literals.end(), counting.begin(), counting.begin() + 127);
    literals.insert(literals.end(), {0x83, 127, 128, 129});
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
        {Bytes(128, 5), {0x7F, 5, 0x01, 5}},  // a run of 128 ends with a run of 1
        {counting, literals},                 // a full literal record of 127, then 3
    };
    for (const auto& c : cases) EXPECT_EQ(Pack(c.in), c.out);
}

TEST(UnpackRle, StatedStreams) {
    Bytes abc = {0x83, 0x61, 0x62, 0x63, 0x05, 0x78};
    struct Case {
        Bytes stream;
        size_t capacity;
        Bytes out;
    } cases[] = {
        {abc, 16, {0x61, 0x62, 0x63, 0x78, 0x78, 0x78, 0x78, 0x78}},
        {abc, 5, {0x61, 0x62, 0x63, 0x78, 0x78}},
        {{0x80, 0x81, 0x09}, 16, {0x09}},        // 0x80 takes one stream byte
        {{0x00, 0x33, 0x81, 0x09}, 16, {0x09}},  // 0x00 takes two
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
        Bytes produced;
    } cases[] = {
        {{0x61, 0x62, 0x63, 0x83}, 8, 3, {0x61, 0x62, 0x63}},
        {{0x61, 0x62, 0x63, 0x83}, 2, -1, {}},
        {{0x78, 0x03, 0x61, 0x81}, 8, 4, {0x78, 0x78, 0x78, 0x61}},
        {{0x62, 0x83}, 8, -1, {}},  // literal reaches before the source
        {{0x03}, 8, -1, {}},        // value byte missing
        {{}, 8, 0, {}},
    };
    for (const auto& c : cases) {
        Bytes produced;
        EXPECT_EQ(UnpackBackward(c.stream, c.capacity, &produced), c.result);
        EXPECT_EQ(produced, c.produced);
    }
}

TEST(PackRle, RoundTripsAndCorruptStreamsStayInBounds) {
    std::mt19937 rng(11);
    std::vector<Bytes> inputs = {brio::test::PictureLikeData(50000, 4)};
    for (int k = 0; k < 200; ++k) {
        Bytes b(rng() % 600);
        unsigned alphabet = 1 + rng() % 4;
        for (auto& x : b) x = static_cast<uint8_t>(rng() % (k % 2 ? 256 : alphabet));
        inputs.push_back(b);
    }
    for (const auto& in : inputs) EXPECT_EQ(Unpack(Pack(in), in.size()), in);

    Bytes plain = brio::test::PictureLikeData(2000, 9);
    Bytes packed = Pack(plain);
    for (size_t cut = 0; cut <= packed.size(); ++cut) {
        Bytes out = Unpack(Bytes(packed.begin(), packed.begin() + cut), plain.size());
        ASSERT_TRUE(std::equal(out.begin(), out.end(), plain.begin())) << "cut " << cut;
    }
    for (int round = 0; round < 1000; ++round) {
        Bytes bad = packed, produced;
        bad[rng() % bad.size()] = static_cast<uint8_t>(rng());
        Unpack(bad, rng() % 3000);
        UnpackBackward(bad, 600, &produced, false);
    }
}

}  // namespace
