// The test binary's operator new (new_hook.cpp).
#pragma once

namespace brio::test {

// How many allocations of operator new the failure hook has failed on
// this thread: a sweep that makes none never reached a throwing path.
long ThrownAllocations();

}  // namespace brio::test
