// Little-endian reads and writes at explicit offsets, and a bounded reader
// for the variable-length headers of stored pictures.
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

}  // namespace brio
