// ContextHash: the 32-bit hash of a context string that hotspot blocks store.
#pragma once

#include <cstdint>

namespace brio {

// "0x" and eight hex digits give their value; otherwise a base-43 hash that
// folds case, with 0 turned into 1.
uint32_t ContextHash(const char* text);

}  // namespace brio
