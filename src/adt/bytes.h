// Little-endian reads and writes at explicit offsets, a bounded reader for
// the variable-length headers of stored pictures, and tests of eight bytes
// at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace brio {

inline uint16_t GetU16(const void* base, size_t offset) {
    const auto* p = static_cast<const unsigned char*>(base) + offset;
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t GetU32(const void* base, size_t offset) {
    const auto* p = static_cast<const unsigned char*>(base) + offset;
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline int32_t GetI32(const void* base, size_t offset) {
    return static_cast<int32_t>(GetU32(base, offset));
}

inline int16_t GetI16(const void* base, size_t offset) {
    return static_cast<int16_t>(GetU16(base, offset));
}

inline void PutU16(void* base, size_t offset, uint32_t value) {
    auto* p = static_cast<unsigned char*>(base) + offset;
    p[0] = static_cast<unsigned char>(value);
    p[1] = static_cast<unsigned char>(value >> 8);
}

inline void PutU32(void* base, size_t offset, uint32_t value) {
    auto* p = static_cast<unsigned char*>(base) + offset;
    p[0] = static_cast<unsigned char>(value);
    p[1] = static_cast<unsigned char>(value >> 8);
    p[2] = static_cast<unsigned char>(value >> 16);
    p[3] = static_cast<unsigned char>(value >> 24);
}

// Reads fields one after another from a bounded buffer. A read past the end
// yields 0 and leaves ok() false, so a caller checks once after a run of
// reads.
class ByteReader {
  public:
    ByteReader(const void* data, size_t size, size_t pos = 0)
        : data_(static_cast<const unsigned char*>(data)), size_(size), pos_(pos) {
        if (pos_ > size_) ok_ = false;
    }

    bool ok() const { return ok_; }
    size_t pos() const { return pos_; }

    uint32_t U8() {
        if (!Need(1)) return 0;
        return data_[pos_++];
    }
    uint32_t U16() {
        if (!Need(2)) return 0;
        uint32_t v = GetU16(data_, pos_);
        pos_ += 2;
        return v;
    }
    uint32_t U32() {
        if (!Need(4)) return 0;
        uint32_t v = GetU32(data_, pos_);
        pos_ += 4;
        return v;
    }
    // Compact numbers: bit 0 of the first byte tells the short form (clear)
    // from the long one (set); the value is the word shifted right by one.
    uint32_t Compact16() {
        if (!Need(1)) return 0;
        if ((data_[pos_] & 1) == 0) return data_[pos_++] >> 1;
        return U16() >> 1;
    }
    uint32_t Compact32() {
        if (!Need(2)) return 0;
        if ((data_[pos_] & 1) == 0) return U16() >> 1;
        return U32() >> 1;
    }

  private:
    bool Need(size_t n) {
        if (!ok_ || size_ - pos_ < n) {
            ok_ = false;
            return false;
        }
        return true;
    }

    const unsigned char* data_;
    size_t size_;
    size_t pos_;
    bool ok_ = true;
};

// Eight bytes at a time, each as the high bit of its byte: where short words
// cost a mispredicted branch at every end, one load and a few sums decide.
constexpr uint64_t kEachByte = 0x0101010101010101ull;
constexpr uint64_t kHighBits = kEachByte * 0x80;

// Eight little-endian bytes: one load where that is the machine's order.
inline uint64_t GetU64(const void* base, size_t offset) {
    const auto* p = static_cast<const unsigned char*>(base) + offset;
    uint64_t v = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
#else
    std::memcpy(&v, p, sizeof v);
#endif
    return v;
}

// The high bit of every byte of x from lo to hi, where the bytes before it
// are below 0x80 (a byte from 0x80 on spoils the sums of the bytes after it).
inline uint64_t BytesInRange(uint64_t x, unsigned lo, unsigned hi) {
    return ((x + kEachByte * (0x80 - lo)) ^ (x + kEachByte * (0x7F - hi))) & kHighBits;
}

// The eight ASCII bytes with their letters upper-cased.
inline uint64_t UpperAscii8(uint64_t x) {
    return x - (BytesInRange(x, 'a', 'z') >> 2);
}

// The high bit of every ASCII letter and digit of x (as BytesInRange).
inline uint64_t AsciiAlnum8(uint64_t x) {
    return BytesInRange(x, '0', '9') | BytesInRange(x | kEachByte * 0x20, 'a', 'z');
}

// The place of the first byte whose high bit `marks` (high bits only, not 0) has.
inline size_t FirstMarkedByte(uint64_t marks) {
    uint64_t lowest = marks & (~marks + 1);
    return static_cast<size_t>(((lowest >> 7) * 0x0001020304050607ull) >> 56);
}

}  // namespace brio
