// Standard containers over the runtime heap with the allocation-failure
// hook, so every out-of-memory path can be exercised; failure throws
// std::bad_alloc, which the exports turn into their out-of-memory status.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

#include "platform/platform.h"

namespace brio {

// kLarge: a block of megabytes asks for huge pages before its first touch
// (picture_bench, a 4000 x 4000 group file to the clipboard: 54 ms without,
// ~45 ms with).
template <class T, bool kLarge = false>
struct BrioAllocator {
    using value_type = T;
    template <class U>
    struct rebind {
        using other = BrioAllocator<U, kLarge>;
    };
    BrioAllocator() = default;
    template <class U>
    BrioAllocator(const BrioAllocator<U, kLarge>&) {}
    T* allocate(size_t n) {
        if (n > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
        void* p = BrioMalloc(n * sizeof(T));
        if (!p) throw std::bad_alloc();
        if (kLarge) PlatAdviseLarge(p, n * sizeof(T));
        return static_cast<T*>(p);
    }
    void deallocate(T* p, size_t) { BrioFree(p); }
    template <class U>
    bool operator==(const BrioAllocator<U, kLarge>&) const {
        return true;
    }
    template <class U>
    bool operator!=(const BrioAllocator<U, kLarge>&) const {
        return false;
    }
};

}  // namespace brio
