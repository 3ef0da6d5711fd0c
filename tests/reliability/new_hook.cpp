// Inside an export operator new obeys the allocation-failure hook.
#include <cstdlib>
#include <new>

#include "platform/platform.h"

namespace brio::test {
thread_local long tThrown = 0;  // allocations failed here, this thread's own
}  // namespace brio::test

void* operator new(std::size_t size) {
    if (brio::InsideExport() && brio::AllocationShouldFail()) {
        ++brio::test::tThrown;
        throw std::bad_alloc();
    }
    if (void* block = std::malloc(size ? size : 1)) return block;
    throw std::bad_alloc();
}

void* operator new[](std::size_t size) {
    return ::operator new(size);
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}
