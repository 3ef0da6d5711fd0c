#include <gtest/gtest.h>

#include <vector>

#include "adt/ll.h"

namespace {

std::vector<int> Items(brio::GlobalHandle list) {
    std::vector<int> out;
    for (auto node = brio::ListNext(list, nullptr); node; node = brio::ListNext(list, node)) {
        const int* item = static_cast<const int*>(brio::ListLockItem(node));
        out.push_back(*item);
        brio::ListUnlockItem(node);
    }
    return out;
}

TEST(HandleList, AppendsKeepOrderAndHeadInsertsGoFirst) {
    brio::GlobalHandle list = brio::ListCreate();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(brio::ListNext(list, nullptr), nullptr);
    for (int v : {1, 2, 3}) EXPECT_EQ(brio::ListInsert(list, &v, sizeof v), 1);
    int zero = 0;
    EXPECT_EQ(brio::ListInsert(list, &zero, sizeof zero, true), 1);
    int four = 4;
    EXPECT_EQ(brio::ListInsert(list, &four, sizeof four), 1);
    EXPECT_EQ(Items(list), (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(brio::ListCount(list), 5u);
    brio::ListDestroy(list);
    brio::ListDestroy(nullptr);
}

TEST(HandleList, NoListAndNoMemoryKeepNothing) {
    int v = 7;
    EXPECT_EQ(brio::ListInsert(nullptr, &v, sizeof v), 0);
    EXPECT_EQ(brio::ListNext(nullptr, nullptr), nullptr);
    brio::GlobalHandle list = brio::ListCreate();
    for (int v2 : {1, 2}) brio::ListInsert(list, &v2, sizeof v2);
    for (long n = 1; n <= 2; ++n) {
        brio::FailAllocationAfter(n);
        EXPECT_EQ(brio::ListInsert(list, &v, sizeof v), 0) << n;
        brio::FailAllocationAfter(0);
        EXPECT_EQ(Items(list), (std::vector<int>{1, 2})) << n;
    }
    EXPECT_EQ(brio::ListInsert(list, &v, sizeof v), 1);
    EXPECT_EQ(Items(list), (std::vector<int>{1, 2, 7}));
    brio::ListDestroy(list);
    brio::FailAllocationAfter(1);
    EXPECT_EQ(brio::ListCreate(), nullptr);
    brio::FailAllocationAfter(0);
}

}  // namespace
