#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "bitmap/rle.h"
#include "compress/lz_encoder.h"

namespace {

using Bytes = std::vector<uint8_t>;
const Bytes kGuard(16, 0xEE);

// Every direction writes into a buffer guarded on both sides: a byte before
// it, past the bound or past the capacity shows.
Bytes Pack(const Bytes& in) {
    size_t bound = brio::PackRleBound(in.size());
    Bytes out(bound + 16, 0xEE);
    size_t n = brio::PackRle(in.data(), out.data(), in.size());
    EXPECT_LE(n, bound);
    EXPECT_EQ(Bytes(out.begin() + long(bound), out.end()), kGuard);
    out.resize(n);
    return out;
}

// The bytes produced, or {0xFF} for a refused backward stream; a refused
// stated stream writes nothing. No room is a null buffer.
Bytes Unpack(const Bytes& stream, uint32_t capacity, bool backward = false, bool stated = true) {
    Bytes src(stream), out(capacity + 32, 0xEE);
    auto* at = capacity ? out.data() + 16 : nullptr;
    int32_t n = backward ? brio::UnpackRleBackward(src.data(), at, uint32_t(src.size()), capacity)
                         : brio::UnpackRle(src.data(), at, uint32_t(src.size()), capacity);
    EXPECT_LE(n, int32_t(capacity));
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 16), kGuard) << "written before";
    EXPECT_EQ(Bytes(out.end() - 16, out.end()), kGuard) << "written past the capacity";
    if (n < 0) {
        EXPECT_TRUE(backward && (!stated || out == Bytes(capacity + 32, 0xEE))) << "wrote";
        return {0xFF};
    }
    return backward ? Bytes(out.end() - 16 - n, out.end() - 16) : Bytes(at, at + n);
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
        {{0x07, 0x07}, {0x82, 0x07, 0x07}},
        {{}, {}},
        {{1, 2, 9, 9, 9, 9, 3}, {0x82, 1, 2, 0x04, 9, 0x81, 3}},
        {Bytes(128, 5), {0x7F, 5, 0x01, 5}},  // a run of 128 ends with a run of 1
        {counting, literals},                 // a full literal record of 127, then 3
    };
    for (const auto& c : cases) EXPECT_EQ(Pack(c.in), c.out);
}

// A run of `length` bytes at each offset among distinct bytes: the scans
// that test several positions at once must find its exact start and end.
TEST(PackRle, RunsAtEveryOffset) {
    for (size_t at = 0; at < 18; ++at) {
        for (size_t length : {3, 4, 7, 8, 9, 12, 17}) {
            Bytes in(at + length + 5);
            for (size_t i = 0; i < in.size(); ++i) in[i] = uint8_t(i + 1);
            std::fill(in.begin() + long(at), in.begin() + long(at + length), 0xAA);
            Bytes want;
            if (at) want.push_back(uint8_t(0x80 + at));
            want.insert(want.end(), in.begin(), in.begin() + long(at));
            want.insert(want.end(), {uint8_t(length), 0xAA, 0x85});
            want.insert(want.end(), in.end() - 5, in.end());
            EXPECT_EQ(Pack(in), want) << at << " " << length;
        }
    }
}

TEST(UnpackRle, StatedStreamsBothWays) {
    Bytes abc = {0x83, 0x61, 0x62, 0x63, 0x05, 0x78};
    struct Case {
        bool backward;
        Bytes stream;
        uint32_t capacity;
        Bytes out;  // {0xFF}: refused
    } cases[] = {{false, abc, 16, {0x61, 0x62, 0x63, 0x78, 0x78, 0x78, 0x78, 0x78}},
                 {false, abc, 5, {0x61, 0x62, 0x63, 0x78, 0x78}},
                 {false, {0x80, 0x81, 0x09}, 16, {0x09}},        // 0x80 takes one stream byte
                 {false, {0x00, 0x33, 0x81, 0x09}, 16, {0x09}},  // 0x00 takes two
                 {false, {0x85, 0x61, 0x62}, 16, {0x61, 0x62}},  // literal cut by the source's end
                 {false, {0x05}, 16, {}},                        // value byte missing
                 {true, {0x61, 0x62, 0x63, 0x83}, 8, {0x61, 0x62, 0x63}},
                 {true, {0x61, 0x62, 0x63, 0x83}, 2, {0xFF}},  // no room
                 {true, {0x78, 0x03, 0x61, 0x81}, 8, {0x78, 0x78, 0x78, 0x61}},
                 {true, {0x62, 0x83}, 8, {0xFF}},  // literal reaches before the source
                 {true, {0x03}, 8, {0xFF}},        // value byte missing
                 {true, {}, 8, {}},
                 // Empty records write nothing, also into no buffer (found by fuzzing).
                 {true, {0, 0, 0, 0, 1, 0}, 0, {}},
                 {true, {0x80}, 0, {}},
                 {true, {7, 3, 0x80, 0, 0}, 3, {7, 7, 7}}};
    for (const auto& c : cases) EXPECT_EQ(Unpack(c.stream, c.capacity, c.backward), c.out);
}

TEST(PackRle, RoundTripsAndDamagedStreamsStayInBounds) {
    std::mt19937 rng(11);
    std::vector<Bytes> inputs = {brio::test::PictureLikeData(50000, 4)};
    for (int k = 0; k < 200; ++k) {
        Bytes b(rng() % 600);
        for (auto& x : b) x = uint8_t(rng() % (k % 2 ? 256 : 1 + k % 4));
        inputs.push_back(b);
    }
    for (const auto& in : inputs) EXPECT_EQ(Unpack(Pack(in), uint32_t(in.size())), in);
    Bytes plain = brio::test::PictureLikeData(2000, 9), packed = Pack(plain);
    for (size_t cut = 0; cut <= packed.size(); ++cut) {
        Bytes out = Unpack(Bytes(packed.begin(), packed.begin() + long(cut)), 2000);
        ASSERT_TRUE(std::equal(out.begin(), out.end(), plain.begin())) << "cut " << cut;
    }
    for (int round = 0; round < 1000; ++round) {
        Bytes bad = packed;
        bad[rng() % bad.size()] = uint8_t(rng());
        Unpack(bad, rng() % 3000);
        Unpack(bad, 600, true, false);
    }
}

}  // namespace
