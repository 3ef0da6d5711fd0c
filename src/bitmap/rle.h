// Run-length streams of picture data: records of a control byte c, with
// bit 7 set for c - 128 literal bytes and clear for one byte repeated c times.
#pragma once

#include <cstddef>
#include <cstdint>

namespace brio {

// Unpacks a forward stream into at most `capacity` bytes; returns the bytes
// written. Stops at the capacity and at a record cut off by the source's end.
int32_t UnpackRle(const void* source, void* destination, uint32_t sourceSize, uint32_t capacity);

// Unpacks a stream read from its last byte backwards (each record's control
// byte follows its data) into the end of the `capacity` bytes at
// `destination`. Returns the bytes written, found at destination + capacity -
// result; -1 when a record does not fit the room left or is cut off by the
// start of the source (nothing of that record is written).
int32_t UnpackRleBackward(const void* source, void* destination, uint32_t sourceSize,
                          uint32_t capacity);

// Largest stream PackRle can make of `count` bytes.
inline size_t PackRleBound(size_t count) {
    return count + count / 8 + 1;
}

// Packs `count` bytes: runs of three or more equal bytes become repeat
// records, everything else literal records, each at most 127 bytes. The
// destination holds PackRleBound(count) bytes. Returns the bytes written.
size_t PackRle(const void* source, void* destination, size_t count);

}  // namespace brio
