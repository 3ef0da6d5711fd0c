#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "bitmap/picture_fixtures.h"
#include "bitmap/rle.h"

namespace {

using namespace brio::test;
const Bytes kGuard(16, 0xEE);

// Into a buffer of the bound exactly: a write past it shows under ASan.
Bytes Pack(const Bytes& in) {
    Bytes out(brio::PackRleBound(in.size()));
    out.resize(brio::PackRle(in.data(), out.data(), in.size()));
    return out;
}

// {0xFF}: a refused backward stream (nothing written); no room is a null buffer.
Bytes Unpack(const Bytes& stream, uint32_t capacity, bool backward) {
    Bytes src(stream), out(capacity + 32, 0xEE);
    auto* at = capacity ? out.data() + 16 : nullptr;
    int32_t n = backward ? brio::UnpackRleBackward(src.data(), at, uint32_t(src.size()), capacity)
                         : brio::UnpackRle(src.data(), at, uint32_t(src.size()), capacity);
    EXPECT_LE(n, int32_t(capacity));
    EXPECT_TRUE(Sub(out, 0, 16) == kGuard && Sub(out, capacity + 16) == kGuard) << "out of bounds";
    if (n < 0) return out == Bytes(capacity + 32, 0xEE) && backward ? Bytes{0xFF} : Bytes{0xFE};
    return backward ? Bytes(out.end() - 16 - n, out.end() - 16) : Bytes(at, at + n);
}

// Three or more equal bytes make runs, other bytes literals, at most 127 a record.
Bytes PackModel(const Bytes& in) {
    Bytes out, literal;
    auto flush = [&] {
        for (size_t at = 0; at < literal.size(); at += 127) {
            size_t k = std::min<size_t>(127, literal.size() - at);
            out.push_back(uint8_t(0x80 + k));
            out.insert(out.end(), literal.begin() + long(at), literal.begin() + long(at + k));
        }
        literal.clear();
    };
    for (size_t i = 0; i < in.size();) {
        size_t run = 1;
        while (i + run < in.size() && in[i + run] == in[i]) ++run;
        if (run < 3) {
            literal.push_back(in[i++]);
            continue;
        }
        flush();
        for (i += run; run > 0; run -= std::min<size_t>(run, 127))
            out.insert(out.end(), {uint8_t(std::min<size_t>(run, 127)), in[i - 1]});
    }
    flush();
    return out;
}

// Runs at every offset (the scans test eight at once), then random mixes.
TEST(PackRle, PacksAsTheRuleSaysAndUnpacksBothWays) {
    std::vector<Bytes> inputs;
    for (size_t at = 0; at < 18; ++at) {
        for (size_t length : {1, 2, 3, 4, 8, 9, 17, 127, 128, 300}) {
            Bytes in(at + length + 5 + (length == 2 ? 130 : 0));
            for (size_t i = 0; i < in.size(); ++i) in[i] = uint8_t(i + 1);
            std::fill(in.begin() + long(at), in.begin() + long(at + length), 0xAA);
            inputs.push_back(in);
        }
    }
    uint32_t state = 7;
    auto next = [&] { return (state = state * 1664525u + 1013904223u) >> 8; };
    for (size_t k = 0; k < 200; ++k) {
        inputs.emplace_back();
        while (inputs.back().size() < k * 3)
            inputs.back().insert(inputs.back().end(), 1 + next() % 9, uint8_t(next() % 3));
    }
    for (const Bytes& in : inputs) {
        Bytes packed = Pack(in), back = Pack(Bytes(in.rbegin(), in.rend()));
        ASSERT_EQ(packed, PackModel(in)) << in.size();
        uint32_t size = uint32_t(in.size());
        EXPECT_EQ(Unpack(packed, size, false), in);
        EXPECT_EQ(Unpack(packed, size / 2, false), Sub(in, 0, size / 2));
        // Backward streams are forward ones back to front.
        EXPECT_EQ(Unpack(Bytes(back.rbegin(), back.rend()), size, true), in);
    }
}

TEST(UnpackRle, StatedStreamsBothWays) {
    // Backward or not, stream, capacity and output ("ff": refused).
    std::tuple<bool, const char*, uint32_t, const char*> cases[] = {
        {false, "80 8109", 16, "09"},
        {false, "0033 8109", 16, "09"},
        {false, "856162", 16, "6162"},
        {false, "05", 16, ""},
        {true, "61626383", 2, "ff"},
        {true, "6283", 8, "ff"},
        {true, "03", 8, "ff"},
        {true, "", 8, ""},
        {true, "0000 0000 0100", 0, ""},
        {true, "80", 0, ""},
        {true, "0703 80 0000", 3, "070707"}};
    for (auto [backward, stream, capacity, out] : cases)
        EXPECT_EQ(Unpack(Hex(stream), capacity, backward), Hex(out)) << stream;
}

}  // namespace
