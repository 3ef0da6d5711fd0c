// A small LZSS encoder for tests and benchmarks only: the library reads
// this stream but never writes it.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

namespace brio::test {

// Greedy longest match over a 4,096-byte window, hash chains on 3 bytes.
inline std::vector<uint8_t> LzEncode(const std::vector<uint8_t>& input) {
    const uint8_t* data = input.data();
    size_t size = input.size();
    std::vector<uint8_t> out;
    std::vector<int32_t> head(1 << 14, -1), prev(size ? size : 1, -1);
    auto hash = [&](size_t i) {
        return ((data[i] << 6) ^ (data[i + 1] << 3) ^ data[i + 2]) & ((1 << 14) - 1);
    };
    auto insert = [&](size_t i) {
        if (i + 2 < size) {
            int h = hash(i);
            prev[i] = head[h];
            head[h] = static_cast<int32_t>(i);
        }
    };
    size_t flagAt = 0, i = 0;
    int item = 8;
    while (i < size) {
        if (item == 8) {
            flagAt = out.size();
            out.push_back(0);
            item = 0;
        }
        size_t bestLen = 0, bestDist = 0;
        if (i + 2 < size) {
            int chain = 64;
            for (int32_t j = head[hash(i)]; j >= 0 && chain-- > 0; j = prev[j]) {
                size_t dist = i - static_cast<size_t>(j);
                if (dist > 4096) break;
                size_t len = 0;
                while (len < 18 && i + len < size && data[j + len] == data[i + len]) ++len;
                if (len > bestLen) {
                    bestLen = len;
                    bestDist = dist;
                    if (len == 18) break;
                }
            }
            // A run seen from distance 1 is often not in the chain yet.
            if (i > 0 && bestLen < 18) {
                size_t len = 0;
                while (len < 18 && i + len < size && data[i - 1 + len] == data[i + len]) ++len;
                if (len > bestLen) {
                    bestLen = len;
                    bestDist = 1;
                }
            }
        }
        if (bestLen >= 3) {
            uint32_t w = static_cast<uint32_t>(((bestLen - 3) << 12) | (bestDist - 1));
            out[flagAt] |= static_cast<uint8_t>(1 << item);
            out.push_back(static_cast<uint8_t>(w));
            out.push_back(static_cast<uint8_t>(w >> 8));
            for (size_t k = 0; k < bestLen; ++k) insert(i + k);
            i += bestLen;
        } else {
            out.push_back(data[i]);
            insert(i);
            ++i;
        }
        ++item;
    }
    return out;
}

// Rows of a drawing: flat areas, gradients, some noise; what help pictures
// look like.
inline std::vector<uint8_t> PictureLikeData(size_t size, uint32_t seed = 1) {
    std::vector<uint8_t> data(size);
    uint32_t state = seed * 2654435761u + 1;
    auto next = [&] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    size_t i = 0;
    while (i < size) {
        uint32_t kind = next() % 10;
        size_t len = 16 + next() % 400;
        if (len > size - i) len = size - i;
        uint8_t v = static_cast<uint8_t>(next());
        for (size_t k = 0; k < len; ++k) {
            if (kind < 6)
                data[i + k] = v;  // flat
            else if (kind < 8)
                data[i + k] = static_cast<uint8_t>(v + k / 4);  // gradient
            else if (kind < 9)
                data[i + k] = data[i + k >= 960 ? i + k - 960 : 0];  // repeat of an earlier row
            else
                data[i + k] = static_cast<uint8_t>(next());  // noise
        }
        i += len;
    }
    return data;
}

}  // namespace brio::test
