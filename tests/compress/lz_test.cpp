#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "compress/lz.h"
#include "compress/lz_encoder.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Decodes into a buffer with guard bytes on both sides, so a write outside
// the capacity shows.
Bytes Decode(const Bytes& stream, size_t capacity, int32_t* count = nullptr) {
    const size_t guard = 32;
    Bytes out(capacity + 2 * guard, 0xEE);
    // The source is copied to its own exact-size heap block so a sanitizer
    // catches a read past it.
    std::vector<uint8_t> src(stream);
    int32_t n =
        brio::LzDecompress(src.empty() ? nullptr : src.data(), out.data() + guard,
                           static_cast<uint32_t>(src.size()), static_cast<uint32_t>(capacity));
    for (size_t i = 0; i < guard; ++i) {
        EXPECT_EQ(out[i], 0xEE) << "write before the output at " << i;
        EXPECT_EQ(out[guard + capacity + i], 0xEE) << "write past the capacity at " << i;
    }
    if (count) *count = n;
    EXPECT_GE(n, 0);
    EXPECT_LE(static_cast<size_t>(n), capacity);
    return Bytes(out.begin() + guard, out.begin() + guard + (n > 0 ? n : 0));
}

TEST(LzDecompress, StatedStreams) {
    struct Case {
        const char* name;
        Bytes stream;
        size_t capacity;
        Bytes expected;
    } cases[] = {
        {"empty", {}, 16, {}},
        {"flag byte only", {0x00}, 16, {}},
        {"three literals", {0x00, 1, 2, 3}, 16, {1, 2, 3}},
        {"literal then run", {0x02, 0x41, 0x00, 0xF0}, 64, Bytes(19, 0x41)},
        {"nine literals", {0x00, 1, 2, 3, 4, 5, 6, 7, 8, 0x00, 9}, 16, {1, 2, 3, 4, 5, 6, 7, 8, 9}},
        {"length field 0 is 3", {0x04, 7, 8, 0x01, 0x00}, 16, {7, 8, 7, 8, 7}},
        {"capacity cuts a reference", {0x02, 0x41, 0x00, 0xF0}, 5, Bytes(5, 0x41)},
        {"capacity cuts literals", {0x00, 1, 2, 3}, 2, {1, 2}},
        {"reference before the output", {0x01, 0x00, 0x00}, 16, {}},
        {"distance past what was produced", {0x02, 9, 0x01, 0x00}, 16, {9}},
        {"reference cut in half", {0x02, 9, 0x00}, 16, {9}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Decode(c.stream, c.capacity), c.expected) << c.name;
    }
}

TEST(LzDecompress, DistanceFieldFfffReaches4096Back) {
    // 4,096 literals, then a reference to the very first byte.
    Bytes plain(4096);
    for (size_t i = 0; i < plain.size(); ++i) plain[i] = static_cast<uint8_t>(i * 7 + i / 256);
    Bytes stream;
    for (size_t i = 0; i < plain.size(); ++i) {
        if (i % 8 == 0) stream.push_back(0x00);
        stream.push_back(plain[i]);
    }
    stream.push_back(0x01);
    stream.push_back(0xFF);
    stream.push_back(0x0F);  // distance 4096, length 3
    Bytes expected = plain;
    expected.insert(expected.end(), plain.begin(), plain.begin() + 3);
    EXPECT_EQ(Decode(stream, 8192), expected);
}

TEST(LzDecompress, RoundTripsEncodedData) {
    std::mt19937 rng(42);
    std::vector<Bytes> inputs;
    inputs.push_back(brio::test::PictureLikeData(100000, 1));
    inputs.push_back(brio::test::PictureLikeData(7777, 2));
    Bytes random(20000);
    for (auto& b : random) b = static_cast<uint8_t>(rng());
    inputs.push_back(random);
    Bytes smallAlphabet(30000);
    for (auto& b : smallAlphabet) b = static_cast<uint8_t>(rng() % 3);
    inputs.push_back(smallAlphabet);
    inputs.push_back(Bytes(5000, 0));
    for (size_t k = 0; k < inputs.size(); ++k) {
        const Bytes& plain = inputs[k];
        Bytes stream = brio::test::LzEncode(plain);
        EXPECT_EQ(Decode(stream, plain.size()), plain) << "input " << k;
        // Extra room changes nothing: the stream ends where its bytes end.
        EXPECT_EQ(Decode(stream, plain.size() + 100), plain) << "input " << k;
    }
}

TEST(LzDecompress, TruncationsAndCorruptionsStayInBounds) {
    std::mt19937 rng(7);
    Bytes plain = brio::test::PictureLikeData(3000, 3);
    Bytes stream = brio::test::LzEncode(plain);
    ASSERT_LT(stream.size(), plain.size());
    for (size_t cut = 0; cut <= stream.size(); ++cut) {
        Bytes part(stream.begin(), stream.begin() + cut);
        Bytes out = Decode(part, plain.size());
        // A prefix of the stream decodes to a prefix of the data.
        ASSERT_TRUE(std::equal(out.begin(), out.end(), plain.begin())) << "cut " << cut;
    }
    for (int round = 0; round < 2000; ++round) {
        Bytes bad = stream;
        int flips = 1 + static_cast<int>(rng() % 4);
        for (int f = 0; f < flips; ++f) bad[rng() % bad.size()] = static_cast<uint8_t>(rng());
        size_t capacity = rng() % (plain.size() + 64);
        Decode(bad, capacity);
    }
}

}  // namespace
