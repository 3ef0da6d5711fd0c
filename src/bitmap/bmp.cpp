// Bitmap file headers.
#include "bitmap/bmp.h"

#include <cstring>

#include "adt/bytes.h"
#include "bitmap/picture.h"

namespace brio {

BmpInfo DecodeBmpInfo(const uint8_t* header, bool core) {
    BmpInfo info;
    info.core = core;
    if (core) {
        info.width = GetU16(header, 4);
        info.height = GetU16(header, 6);
        info.planes = GetU16(header, 8);
        info.bits = GetU16(header, 10);
        info.colours = ImpliedColours(info.bits);
        return info;
    }
    info.width = GetI32(header, 4);
    info.height = GetI32(header, 8);
    info.planes = GetU16(header, 12);
    info.bits = GetU16(header, 14);
    info.compression = GetU32(header, 16);
    info.sizeImage = GetU32(header, 20);
    info.colours = GetU32(header, 32);
    info.important = GetU32(header, 36);
    return info;
}

void WidenCoreTable(uint8_t* table, uint32_t colours) {
    const uint8_t* staged = table + colours;
    for (uint32_t i = 0; i < colours; ++i) {
        uint8_t bgr[3] = {staged[3 * i], staged[3 * i + 1], staged[3 * i + 2]};
        std::memcpy(table + 4 * i, bgr, 3);
        table[4 * i + 3] = 0;
    }
}

}  // namespace brio
