#include <gtest/gtest.h>

#include <vector>

#include "compress/lz.h"

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
    Bytes tiled;  // eight bytes and a reference 8 back for 18 more
    for (uint8_t i = 0; i < 26; ++i) tiled.push_back(uint8_t(1 + i % 8));
    std::tuple<const char*, Bytes, size_t, Bytes> cases[] = {
        {"empty", {}, 16, {}},
        {"flag byte only", {0x00}, 16, {}},
        {"literal then run", {0x02, 0x41, 0x00, 0xF0}, 64, Bytes(19, 0x41)},
        {"nine literals", {0x00, 1, 2, 3, 4, 5, 6, 7, 8, 0x00, 9}, 16, {1, 2, 3, 4, 5, 6, 7, 8, 9}},
        {"length field 0 is 3", {0x04, 7, 8, 0x01, 0x00}, 64, {7, 8, 7, 8, 7}},
        {"seven literals", {0x00, 1, 2, 3, 4, 5, 6, 7}, 16, {1, 2, 3, 4, 5, 6, 7}},
        {"reference eighth", {0x80, 1, 2, 3, 4, 5, 6, 7, 0, 0}, 16, {1, 2, 3, 4, 5, 6, 7, 7, 7, 7}},
        {"short of whole chunks", {0, 1, 2, 3, 4, 5, 6, 7, 8, 1, 0x07, 0xF0}, 26, tiled},
        {"capacity cuts a reference", {0x02, 0x41, 0x00, 0xF0}, 5, Bytes(5, 0x41)},
        {"capacity cuts literals", {0x00, 1, 2, 3, 4, 5, 6, 7, 8}, 7, {1, 2, 3, 4, 5, 6, 7}},
        {"reference before the output", {0x01, 0x00, 0x00}, 16, {}},
        {"distance past what was produced", {0x02, 9, 0x01, 0x00}, 16, {9}},
        {"reference cut in half", {0x02, 9, 0x00}, 16, {9}},
        {"distance 4096", far, 8192, farOut}};
    for (const auto& [name, stream, capacity, expected] : cases)
        EXPECT_EQ(Decode(stream, capacity), expected) << name;
}

}  // namespace
