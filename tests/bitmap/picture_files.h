// Picture files built in memory for tests: Windows bitmap files, placeable
// metafiles and group files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "adt/bytes.h"
#include "bitmap/picture.h"

namespace brio::test {

struct BmpFields {
    uint32_t headerSize = 40;
    int32_t width = 4;
    int32_t height = 2;
    uint16_t bits = 8;
    uint32_t compression = 0;
    uint32_t colours = 0;       // colours-used field
    uint32_t tableEntries = 0;  // entries actually present
    std::vector<uint8_t> pixels;
    int32_t bitsOffset = -1;  // -1: right behind the table
    uint32_t gap = 0;         // bytes between table and pixels
};

inline std::string MakeBmp(const BmpFields& s) {
    size_t entry = s.headerSize == 12 ? 3 : 4;
    std::vector<uint8_t> b(14 + s.headerSize, 0);
    b[0] = 'B';
    b[1] = 'M';
    PutU32(b.data(), 14, s.headerSize);
    if (s.headerSize == 12) {
        PutU16(b.data(), 18, static_cast<uint32_t>(s.width));
        PutU16(b.data(), 20, static_cast<uint32_t>(s.height));
        PutU16(b.data(), 22, 1);
        PutU16(b.data(), 24, s.bits);
    } else {
        PutU32(b.data(), 18, static_cast<uint32_t>(s.width));
        PutU32(b.data(), 22, static_cast<uint32_t>(s.height));
        PutU16(b.data(), 26, 1);
        PutU16(b.data(), 28, s.bits);
        PutU32(b.data(), 30, s.compression);
        PutU32(b.data(), 38, 2835);
        PutU32(b.data(), 42, 2835);
        PutU32(b.data(), 46, s.colours);
    }
    for (uint32_t i = 0; i < s.tableEntries; ++i) {
        uint8_t e[4] = {static_cast<uint8_t>(i), static_cast<uint8_t>(i * 2),
                        static_cast<uint8_t>(i * 3), 0};
        b.insert(b.end(), e, e + entry);
    }
    b.insert(b.end(), s.gap, 0x77);
    PutU32(
        b.data(), 10,
        s.bitsOffset >= 0 ? static_cast<uint32_t>(s.bitsOffset) : static_cast<uint32_t>(b.size()));
    b.insert(b.end(), s.pixels.begin(), s.pixels.end());
    PutU32(b.data(), 2, static_cast<uint32_t>(b.size()));
    return std::string(b.begin(), b.end());
}

inline std::string MakePlaceableMetafile(int16_t left, int16_t top, int16_t right, int16_t bottom,
                                         uint16_t inch, const std::string& bits,
                                         uint16_t checksumFlip = 0) {
    std::vector<uint8_t> h(22, 0);
    PutU32(h.data(), 0, 0x9AC6CDD7);
    PutU16(h.data(), 6, static_cast<uint16_t>(left));
    PutU16(h.data(), 8, static_cast<uint16_t>(top));
    PutU16(h.data(), 10, static_cast<uint16_t>(right));
    PutU16(h.data(), 12, static_cast<uint16_t>(bottom));
    PutU16(h.data(), 14, inch);
    uint16_t sum = 0;
    for (int i = 0; i < 10; ++i) sum ^= GetU16(h.data(), 2 * i);
    PutU16(h.data(), 20, sum ^ checksumFlip);
    return std::string(h.begin(), h.end()) + bits;
}

// A group file of stored picture records.
inline std::string MakeGroupFile(const std::vector<std::vector<uint8_t>>& records,
                                 uint16_t magic = 0x706C) {
    std::vector<uint8_t> b(4 + 4 * records.size());
    PutU16(b.data(), 0, magic);
    PutU16(b.data(), 2, static_cast<uint32_t>(records.size()));
    for (size_t i = 0; i < records.size(); ++i) {
        PutU32(b.data(), 4 + 4 * i, static_cast<uint32_t>(b.size()));
        b.insert(b.end(), records[i].begin(), records[i].end());
    }
    return std::string(b.begin(), b.end());
}

}  // namespace brio::test
