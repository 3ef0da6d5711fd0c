// LZSS decoder: a flag byte per eight items, bit set = back-reference of
// 12-bit distance - 1 and 4-bit length - 3, low byte first.
#include "compress/lz.h"

#include <cstring>

namespace brio {

int32_t LzDecompress(const void* source, void* destination, uint32_t sourceSize,
                     uint32_t capacity) {
    const auto* in = static_cast<const unsigned char*>(source);
    const unsigned char* const inEnd = in + sourceSize;
    auto* const outStart = static_cast<unsigned char*>(destination);
    unsigned char* out = outStart;
    unsigned char* const outEnd = outStart + capacity;
    unsigned flags = 0;
    unsigned mask = 0;

    while (in < inEnd && out < outEnd) {
        if (mask == 0) {
            flags = *in++;
            mask = 1;
            if (in == inEnd) break;
            // Eight literals in a row: one move.
            if (flags == 0 && inEnd - in >= 8 && outEnd - out >= 8) {
                std::memcpy(out, in, 8);
                in += 8;
                out += 8;
                mask = 0;
                continue;
            }
        }
        if (flags & mask) {
            if (inEnd - in < 2) break;  // a reference cut in half
            unsigned w = in[0] | (in[1] << 8);
            in += 2;
            size_t distance = (w & 0x0FFF) + 1;
            size_t length = (w >> 12) + 3;
            if (distance > static_cast<size_t>(out - outStart)) break;  // before the output
            const unsigned char* from = out - distance;
            if (outEnd - out >= 24) {
                // Room for whole chunks: the bytes past `length` are scratch that
                // later items overwrite.
                if (distance >= 8) {
                    for (size_t i = 0; i < length; i += 8) std::memcpy(out + i, from + i, 8);
                } else if (distance == 1) {
                    std::memset(out, *from, length);
                } else {
                    for (size_t i = 0; i < length; ++i) out[i] = from[i];
                }
                out += length;
            } else {
                size_t room = static_cast<size_t>(outEnd - out);
                if (length > room) length = room;
                for (size_t i = 0; i < length; ++i) out[i] = from[i];
                out += length;
            }
        } else {
            *out++ = *in++;
        }
        mask = (mask << 1) & 0xFF;
    }
    return static_cast<int32_t>(out - outStart);
}

}  // namespace brio
