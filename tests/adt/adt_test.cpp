#include <gtest/gtest.h>

#include <vector>

#include "adt/hash.h"
#include "adt/ll.h"

namespace {

TEST(ContextHash, KnownValues) {
    struct Case {
        const char* text;
        uint32_t hash;
    } cases[] = {
        {"abc", 32226},
        {"ABC", 32226},
        {"", 1},
        {"a0", 741},
        {"0x0000001F", 31},
        {"0x0000001f", 31},
        {"0x00000000", 0},           // taken as it is, 0 included
        {"0X0000001F", 1746347263},  // upper-case X: hashed
        {"0x1234567", 3275997350u},  // nine characters: hashed
        {"!._0", ((11u * 43 + 12) * 43 + 13) * 43 + 10},
        {" ", static_cast<uint32_t>(-16)},
        {"\x80", static_cast<uint32_t>(-128 - 48)},
        {"{", static_cast<uint32_t>('{' - 80)},
        {"0xDEADBEEF", 0xDEADBEEF},
    };
    for (const auto& c : cases) EXPECT_EQ(brio::ContextHash(c.text), c.hash) << c.text;
}

std::vector<int> Items(brio::GlobalHandle list) {
    std::vector<int> out;
    for (auto node = brio::ListNext(list, nullptr); node; node = brio::ListNext(list, node)) {
        out.push_back(*static_cast<const int*>(brio::ListLockItem(node)));
        brio::ListUnlockItem(node);
    }
    return out;
}

TEST(HandleList, OrderHeadInsertsAndFailures) {
    brio::GlobalHandle list = brio::ListCreate();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(brio::ListNext(list, nullptr), nullptr);
    for (int v : {1, 2, 3}) EXPECT_EQ(brio::ListInsert(list, &v, sizeof v), 1);
    int zero = 0, four = 4, seven = 7;
    EXPECT_EQ(brio::ListInsert(list, &zero, sizeof zero, true), 1);
    EXPECT_EQ(brio::ListInsert(list, &four, sizeof four), 1);
    EXPECT_EQ(Items(list), (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(brio::ListCount(list), 5u);
    // No memory for the node or the item: the list stays as it was.
    for (long n = 1; n <= 2; ++n) {
        brio::FailAllocationAfter(n);
        EXPECT_EQ(brio::ListInsert(list, &seven, sizeof seven), 0) << n;
        brio::FailAllocationAfter(0);
        EXPECT_EQ(Items(list), (std::vector<int>{0, 1, 2, 3, 4})) << n;
    }
    EXPECT_EQ(brio::ListInsert(list, &seven, sizeof seven), 1);
    EXPECT_EQ(Items(list), (std::vector<int>{0, 1, 2, 3, 4, 7}));
    brio::ListDestroy(list);
    brio::ListDestroy(nullptr);
    EXPECT_EQ(brio::ListInsert(nullptr, &seven, sizeof seven), 0);
    EXPECT_EQ(brio::ListNext(nullptr, nullptr), nullptr);
    brio::FailAllocationAfter(1);
    EXPECT_EQ(brio::ListCreate(), nullptr);
    brio::FailAllocationAfter(0);
}

}  // namespace
