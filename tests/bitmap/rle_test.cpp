#include <gtest/gtest.h>

#include <vector>

#include "bitmap/picture_fixtures.h"
#include "bitmap/rle.h"

namespace {

using namespace brio::test;
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

// The bytes produced, or {0xFF} for a refused backward stream, which writes
// nothing. No room is a null buffer.
Bytes Unpack(const Bytes& stream, uint32_t capacity, bool backward) {
    Bytes src(stream), out(capacity + 32, 0xEE);
    auto* at = capacity ? out.data() + 16 : nullptr;
    int32_t n = backward ? brio::UnpackRleBackward(src.data(), at, uint32_t(src.size()), capacity)
                         : brio::UnpackRle(src.data(), at, uint32_t(src.size()), capacity);
    EXPECT_LE(n, int32_t(capacity));
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 16), kGuard) << "written before";
    EXPECT_EQ(Bytes(out.end() - 16, out.end()), kGuard) << "written past the capacity";
    if (n < 0) {
        EXPECT_TRUE(backward && out == Bytes(capacity + 32, 0xEE)) << "wrote";
        return {0xFF};
    }
    return backward ? Bytes(out.end() - 16 - n, out.end() - 16) : Bytes(at, at + n);
}

TEST(PackRle, StatedStreams) {
    Bytes counting(130), literals = {0xFF};
    for (size_t i = 0; i < counting.size(); ++i) counting[i] = uint8_t(i);
    literals.insert(literals.end(), counting.begin(), counting.begin() + 127);
    literals.insert(literals.end(), {0x83, 127, 128, 129});
    // A run of 128 ends with a run of 1; a full literal record of 127, then 3.
    std::pair<Bytes, Bytes> cases[] = {{Hex("41414142"), Hex("03418142")},
                                       {Hex("41424142"), Hex("8441424142")},
                                       {Bytes(300, 0), Hex("7f007f002e00")},
                                       {Hex("0707"), Hex("820707")},
                                       {Hex("01090909"), Hex("8101 0309")},
                                       {{}, {}},
                                       {Hex("01020909090903"), Hex("820102 0409 8103")},
                                       {Bytes(128, 5), Hex("7f05 0105")},
                                       {counting, literals}};
    for (const auto& [in, out] : cases) EXPECT_EQ(Pack(in), out);
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
    // "ff": refused. Empty records write nothing, also into no buffer (found
    // by fuzzing).
    // Backward or not, stream, capacity and output.
    std::tuple<bool, const char*, uint32_t, const char*> cases[] = {
        {false, "83616263 0578", 16, "616263 7878787878"},
        {false, "83616263 0578", 5, "616263 7878"},
        {false, "83616263", 2, "6162"},
        {false, "80 8109", 16, "09"},
        {false, "0033 8109", 16, "09"},
        {false, "856162", 16, "6162"},
        {false, "05", 16, ""},
        {true, "61626383", 8, "616263"},
        {true, "61626383", 2, "ff"},
        {true, "7803 6181", 8, "78787861"},
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
