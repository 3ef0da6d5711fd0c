#include "adt/hash.h"

#include <cstring>

namespace brio {

uint32_t ContextHash(const char* text) {
    const auto* s = reinterpret_cast<const unsigned char*>(text ? text : "");
    if (std::strlen(text ? text : "") == 10 && s[0] == '0' && s[1] == 'x') {
        uint32_t value = 0;
        for (int i = 2; i < 10; ++i) {
            unsigned c = s[i];
            value = (value << 4) | ((c & 0x10) ? (c & 0xF) : ((c + 9) & 0xF));
        }
        return value;
    }
    uint32_t hash = 0;
    for (; *s; ++s) {
        int32_t value;
        switch (*s) {
            case '0':
                value = 10;
                break;
            case '!':
                value = 11;
                break;
            case '.':
                value = 12;
                break;
            case '_':
                value = 13;
                break;
            default: {
                int32_t code = static_cast<signed char>(*s);
                value = code <= 0x5A ? code - 48 : code - 80;
            }
        }
        hash = hash * 43 + static_cast<uint32_t>(value);
    }
    return hash ? hash : 1;
}

}  // namespace brio
