// The one guard every export runs its body in. The library's code fails in
// two ways, by a null from its own allocator and by a throwing container;
// the guard turns the second into the first's status, so no C++ exception
// crosses into a host that cannot catch it.
#pragma once

#include "platform/platform.h"

namespace brio {

// Runs `body`; any exception (in practice std::bad_alloc or a length error,
// both a lack of memory) gives `onFailure()` instead, which must not throw.
template <typename Body, typename OnFailure>
auto GuardExport(Body&& body, OnFailure&& onFailure) noexcept -> decltype(body()) {
    ExportScope scope;
    try {
        return body();
    } catch (...) {
        return onFailure();
    }
}

}  // namespace brio
