// Each export with each of its allocations failing in turn ends in its
// documented failure or as the clean run, and (asan preset) leaks nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "brioutil.h"
#include "platform/platform.h"
#include "reliability/new_hook.h"
#include "reliability/operations.h"
#include "test_support.h"

namespace brio::test {
namespace {

class OutOfMemorySweep : public ::testing::TestWithParam<size_t> {};

// Runs the operation clean, then with allocation k failing for every k the
// clean run made.
TEST_P(OutOfMemorySweep, EndsInItsFailureOrAsTheCleanRun) {
    const Operation& op = Operations()[GetParam()];
    SCOPED_TRACE(op.name);
    TempDir dir;
    long thrown = ThrownAllocations();
    FailAllocationAfter(0);
    op.setup();
    long before = AllocationCount();
    Result clean = op.run(dir.File("clean"), 0);
    long total = AllocationCount() - before;
    EXPECT_EQ(clean.status, op.ok);
    EXPECT_NE(clean.out.find(op.cleanHas), std::string::npos) << clean;
    EXPECT_FALSE(clean.out.empty());
    for (long k = 1; k <= total; ++k) {
        SCOPED_TRACE("allocation " + std::to_string(k) + " of " + std::to_string(total));
        op.setup();
        long start = AllocationCount();
        FailAllocationAfter(k);
        Result got = op.run(dir.File(std::to_string(k)), k);
        FailAllocationAfter(0);
        EXPECT_GE(AllocationCount() - start, k);  // deterministic up to the failure
        if (got == clean || (op.partial && op.partial(got, clean))) continue;
        EXPECT_TRUE(std::find(op.failed.begin(), op.failed.end(), got) != op.failed.end()) << got;
    }
    thrown = ThrownAllocations() - thrown;
    std::printf("[ sweep    ] %ld allocations, %ld by operator new\n", total, thrown);
    EXPECT_GT(total, 0);
    EXPECT_TRUE(!op.throwing || thrown > 0);
}

INSTANTIATE_TEST_SUITE_P(Exports, OutOfMemorySweep,
                         ::testing::Range(size_t{0}, Operations().size()));

// Exports that allocate nothing still run in the guard and give their result.
TEST(OutOfMemory, AllocationFreeExports) {
    long before = AllocationCount();
    uint32_t length = 0;
    int32_t status = -7;
    EXPECT_EQ(CadenceDLL(), 0);
    EXPECT_NE(TopicNew(&length, &status), nullptr);
    EXPECT_EQ(length, 577u);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(AllocationCount(), before);
}

}  // namespace
}  // namespace brio::test
