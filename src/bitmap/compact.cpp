// Writing compact numbers: short form value x 2, long form value x 2 + 1.
#include "bitmap/picture.h"

namespace brio {

size_t PutCompact16(unsigned char* out, uint32_t value) {
    if (value < 0x80) {
        out[0] = static_cast<unsigned char>(value << 1);
        return 1;
    }
    PutU16(out, 0, (value << 1) | 1);
    return 2;
}

size_t PutCompact32(unsigned char* out, uint32_t value) {
    if (value < 0x8000) {
        PutU16(out, 0, value << 1);
        return 2;
    }
    PutU32(out, 0, (value << 1) | 1);
    return 4;
}

}  // namespace brio
