#include <gtest/gtest.h>

#include "adt/hash.h"

namespace {

TEST(ContextHash, KnownValues) {
    std::pair<const char*, uint32_t> cases[] = {
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
    for (auto [text, hash] : cases) EXPECT_EQ(brio::ContextHash(text), hash) << text;
}

}  // namespace
