// Inputs the fuzz targets found to crash or misbehave, kept with the exact
// results the fixed code gives.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "bitmap/picture.h"
#include "bitmap/rle.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Backward streams whose records hold nothing: read from the end, each
// zero-count record consumes its control byte (and a repeat its value byte)
// and writes nothing, also into an empty, null buffer.
TEST(FuzzRegression, BackwardRunLengthEmptyRecords) {
    struct Case {
        const char* name;
        Bytes stream;
        uint32_t capacity;
        int32_t result;
        Bytes tail;  // the last `result` bytes of the buffer
    } cases[] = {
        {"found by the fuzzer", {0, 0, 0, 0, 1, 0}, 0, 0, {}},
        {"empty repeats, room", {0, 0, 0, 0, 1, 0}, 4, 0, {}},
        {"empty literal", {0x80}, 0, 0, {}},
        {"empty records around a run", {7, 3, 0x80, 0, 0}, 3, 3, {7, 7, 7}},
        {"empty repeat without its value", {0}, 0, -1, {}},
    };
    for (const auto& c : cases) {
        Bytes out(c.capacity, 0xEE);
        int32_t n = brio::UnpackRleBackward(c.stream.data(), c.capacity ? out.data() : nullptr,
                                            static_cast<uint32_t>(c.stream.size()), c.capacity);
        EXPECT_EQ(n, c.result) << c.name;
        if (n > 0) {
            EXPECT_EQ(Bytes(out.end() - n, out.end()), c.tail) << c.name;
        }
    }
}

// A 39-byte metafile record, stored unpacked, that gave its size as some
// 700 MB: the bits were allocated and zero-filled. Now refused; the same
// record asking for what its bytes plausibly hold is still expanded.
TEST(FuzzRegression, TinyUnpackedMetafileAskingForGigabytes) {
    Bytes stored = {0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x8b, 0x8b, 0x8b, 0x8b, 0x00, 0x00,
                    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x8b, 0x8b, 0x8b, 0x8b, 0x8b, 0x04, 0xf9,
                    0x00, 0x00, 0x00, 0x2e, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x88, 0xff};
    brio::GlobalHandle h = brio::ExpandPicture(stored.data(), stored.size());
    EXPECT_EQ(h, brio::BadPicture());
    // Map mode 1, extents 0, unpacked 4,096 bytes, 2 stored at offset 21.
    Bytes small = {0x08, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20, 0x04, 0x00, 0x00,
                   0x00, 0x15, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xAB, 0xCD};
    h = brio::ExpandPicture(small.data(), small.size());
    ASSERT_TRUE(brio::IsPicture(h));
    EXPECT_EQ(
        brio::GetU32(static_cast<const uint8_t*>(brio::PlatGlobalLock(h)), brio::kPicDataSize), 2u);
    brio::PlatGlobalUnlock(h);
    brio::FreePicture(h);
}

}  // namespace
