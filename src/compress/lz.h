// Decoder of the LZSS stream in which group files may store picture data.
#pragma once

#include <cstdint>

namespace brio {

// Expands `sourceSize` stream bytes into at most `capacity` bytes at
// `destination`; returns the bytes written. Never reads outside the source
// nor before the start of the output; stops at a malformed item.
int32_t LzDecompress(const void* source, void* destination, uint32_t sourceSize, uint32_t capacity);

}  // namespace brio
