// A growable byte string on the library heap (BrioRealloc), for the engine's
// and the topic passes' working text. Growth doubles, so long texts stay
// linear; a failed growth leaves the text as it was and reports false.
#pragma once

#include <cstddef>
#include <cstring>

#include "platform/platform.h"

namespace brio {

class RtfBuffer {
public:
    RtfBuffer() = default;
    ~RtfBuffer() { BrioFree(data_); }
    RtfBuffer(const RtfBuffer&) = delete;
    RtfBuffer& operator=(const RtfBuffer&) = delete;

    bool Append(const char* text, size_t length) {
        if (!Reserve(size_ + length + 1)) return false;
        std::memcpy(data_ + size_, text, length);
        size_ += length;
        data_[size_] = 0;
        return true;
    }
    bool Append(const char* text) { return Append(text, std::strlen(text)); }
    bool Append(char ch) { return Append(&ch, 1); }
    bool Reserve(size_t n) {
        if (n <= capacity_) return true;
        size_t grown = capacity_ ? capacity_ * 2 : 32;
        while (grown < n) grown *= 2;
        char* p = static_cast<char*>(BrioRealloc(data_, grown));
        if (!p) return false;
        data_ = p;
        capacity_ = grown;
        return true;
    }
    void Free() {
        BrioFree(data_);
        data_ = nullptr;
        size_ = capacity_ = 0;
    }
    void Clear() {
        size_ = 0;
        if (data_) data_[0] = 0;
    }
    // The text, NUL-terminated ("" when nothing was appended).
    const char* Text() const { return data_ ? data_ : ""; }
    char* Data() { return data_; }
    size_t Size() const { return size_; }
    bool Equals(const char* text) const {
        size_t n = std::strlen(text);
        return n == size_ && (n == 0 || std::memcmp(data_, text, n) == 0);
    }
    // Hands the heap block to the caller (BrioFree/free releases it).
    char* Release() {
        char* p = data_;
        data_ = nullptr;
        size_ = capacity_ = 0;
        return p;
    }

private:
    char* data_ = nullptr;
    size_t size_ = 0;
    size_t capacity_ = 0;
};

}  // namespace brio
