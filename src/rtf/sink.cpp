#include "rtf/sink.h"

#include <algorithm>
#include <climits>

#include "brioutil.h"
#include "platform/platform.h"

namespace brio {

namespace {
constexpr size_t kInitialSize = 512;
// Lengths and capacities stay within what the 32-bit exports can report.
constexpr size_t kLimit = INT32_MAX / 2;
// Blocks from this size on are faulted in a step at a time ahead of the
// text, not a page at a time as it is written. (Term-dense text, 16 MB, a
// dictionary's first run: +5 %.)
constexpr size_t kFaultAheadFrom = size_t(4) << 20;
constexpr size_t kFaultAheadStep = size_t(2) << 20;
}  // namespace

RtfSink::~RtfSink() {
    BrioFree(data_);
}

bool RtfSink::Grow(size_t capacity) {
    char* grown = static_cast<char*>(BrioRealloc(data_, capacity));
    if (!grown) return false;
    if (!data_) grown[0] = 0;
    data_ = grown;
    capacity_ = capacity;
    limit_ = capacity < kFaultAheadFrom ? capacity : std::min(limit_, capacity);
    return true;
}

void RtfSink::FaultAhead(size_t length) {
    size_t to = std::max(length_ + length + 1, limit_ + kFaultAheadStep);
    if (to > capacity_) to = capacity_;
    if (to <= limit_) return;
    PlatFaultIn(data_ + limit_, to - limit_);
    limit_ = to;
}

int32_t RtfSink::Reserve(size_t size) {
    if (!data_ && !Grow(kInitialSize)) return BRIO_ERR_NO_MEMORY;
    if (size <= capacity_ || size > kLimit) return 0;
    return Grow(size) ? 0 : BRIO_ERR_NO_MEMORY;
}

int32_t RtfSink::AppendGrowing(const char* data, size_t length) {
    if (length >= kLimit) return BRIO_ERR_NO_MEMORY;
    if (!data_ && !Grow(kInitialSize)) return BRIO_ERR_NO_MEMORY;
    if (length >= capacity_ - length_) {
        // The least multiple of 512 that makes room, but at least doubling:
        // large outputs must not cost quadratic copying.
        size_t free = capacity_ - length_;
        size_t step = (length - free + kInitialSize) / kInitialSize * kInitialSize;
        size_t capacity = capacity_ + step;
        if (capacity < 2 * capacity_) capacity = 2 * capacity_;
        if (capacity > INT32_MAX) capacity = capacity_ + step;
        if (capacity > INT32_MAX || !Grow(capacity)) return BRIO_ERR_NO_MEMORY;
    }
    if (length >= limit_ - length_) FaultAhead(length);
    std::memcpy(data_ + length_, data, length);
    length_ += length;
    data_[length_] = 0;
    return 0;
}

void RtfSink::Adopt(char* data, size_t capacity) {
    BrioFree(data_);
    data_ = data;
    capacity_ = limit_ = capacity;  // its pages were written before
    length_ = 0;
    data_[0] = 0;
}

char* RtfSink::Release() {
    char* p = data_;
    data_ = nullptr;
    length_ = capacity_ = limit_ = 0;
    return p;
}

}  // namespace brio
