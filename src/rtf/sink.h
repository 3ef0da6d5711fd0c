// The sink: a pass's growable output on the library heap. Passes only
// append to it; the one way back is a cut to an earlier length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace brio {

class RtfSink {
  public:
    RtfSink() = default;
    ~RtfSink();
    RtfSink(const RtfSink&) = delete;
    RtfSink& operator=(const RtfSink&) = delete;

    // 0, or 2005 with the text left as it was.
    int32_t Append(const char* data, size_t length) {
        if (length < limit_ - length_) {
            std::memcpy(data_ + length_, data, length);
            length_ += length;
            data_[length_] = 0;
            return 0;
        }
        return AppendGrowing(data, length);
    }
    int32_t Append(const char* text) { return Append(text, std::strlen(text)); }
    // Room for `length` more bytes for the caller to fill, when they fit
    // without growing the text; null otherwise (Append then does the
    // growing). Commit then takes the bytes filled in.
    char* Room(size_t length) { return length < limit_ - length_ ? data_ + length_ : nullptr; }
    void Commit(size_t length) {
        length_ += length;
        data_[length_] = 0;
    }
    // Room for `size` bytes at once, when a pass can tell how much it will
    // write: one allocation instead of a chain of copies. The first call
    // makes the (empty) text. 0 or 2005.
    int32_t Reserve(size_t size);
    // Takes over a heap block of `capacity` (> 0) bytes as the empty text, in
    // place of the one it held.
    void Adopt(char* data, size_t capacity);
    size_t Capacity() const { return capacity_; }

    size_t Length() const { return length_; }
    // The text, NUL-terminated ("" before anything was reserved or written).
    const char* Text() const { return data_ ? data_ : ""; }
    // Takes back everything from `length` on.
    void CutBack(size_t length) {
        if (length >= length_) return;
        length_ = length;
        data_[length_] = 0;
    }
    void Clear() { CutBack(0); }
    // Hands the heap block to the caller (BrioFree releases it); null when
    // the sink never held one.
    char* Release();

  private:
    int32_t AppendGrowing(const char* data, size_t length);
    bool Grow(size_t capacity);
    // Faults in the pages ahead of the text, up to where `length` more bytes
    // end and at least a step further (as far as the capacity goes).
    void FaultAhead(size_t length);

    char* data_ = nullptr;
    size_t length_ = 0;
    size_t capacity_ = 0;
    // Where appending leaves the fast way: the capacity, or in a block of
    // megabytes the end of the pages faulted in ahead of the text. The text
    // always ends below it.
    size_t limit_ = 0;
};

}  // namespace brio
