// An LZSS encoder for tests and benchmarks (the library never writes this stream).
#pragma once

#include <cstdint>
#include <vector>

namespace brio::test {

// Greedy longest match over a 4,096-byte window, hash chains on 3 bytes.
inline std::vector<uint8_t> LzEncode(const std::vector<uint8_t>& input) {
    const uint8_t* data = input.data();
    size_t size = input.size(), flagAt = 0, i = 0;
    std::vector<uint8_t> out;
    std::vector<int32_t> head(1 << 14, -1), prev(size ? size : 1, -1);
    auto hash = [&](size_t k) {
        return ((data[k] << 6) ^ (data[k + 1] << 3) ^ data[k + 2]) & 0x3FFF;
    };
    auto insert = [&](size_t k) {
        if (k + 2 < size) {
            prev[k] = head[hash(k)];
            head[hash(k)] = int32_t(k);
        }
    };
    for (int item = 8; i < size; ++item) {
        if (item == 8) {
            flagAt = out.size();
            out.push_back(0);
            item = 0;
        }
        size_t bestLen = 0, bestDist = 0;
        for (int32_t j = i + 2 < size ? head[hash(i)] : -1, chain = 64;
             j >= 0 && chain-- > 0 && i - j <= 4096; j = prev[j]) {
            size_t len = 0;
            while (len < 18 && i + len < size && data[j + len] == data[i + len]) ++len;
            if (len > bestLen) {
                bestLen = len;
                bestDist = i - j;
            }
            if (len == 18) break;
        }
        if (bestLen >= 3) {
            uint32_t w = uint32_t(((bestLen - 3) << 12) | (bestDist - 1));
            out[flagAt] |= uint8_t(1 << item);
            out.insert(out.end(), {uint8_t(w), uint8_t(w >> 8)});
            for (size_t k = 0; k < bestLen; ++k) insert(i + k);
            i += bestLen;
        } else {
            out.push_back(data[i]);
            insert(i++);
        }
    }
    return out;
}

// Rows of a drawing as in help pictures: flat areas, gradients, repeated rows, noise.
inline std::vector<uint8_t> PictureLikeData(size_t size, uint32_t seed = 1) {
    std::vector<uint8_t> data(size);
    uint32_t state = seed * 2654435761u + 1;
    auto next = [&] { return (state = state * 1664525u + 1013904223u) >> 8; };
    for (size_t i = 0; i < size;) {
        uint32_t kind = next() % 10;
        size_t len = 16 + next() % 400;
        if (len > size - i) len = size - i;
        uint8_t v = uint8_t(next());
        for (size_t k = 0; k < len; ++k)
            data[i + k] = kind < 6   ? v
                          : kind < 8 ? uint8_t(v + k / 4)
                          : kind < 9 ? data[i + k >= 960 ? i + k - 960 : 0]
                                     : uint8_t(next());
        i += len;
    }
    return data;
}

}  // namespace brio::test
