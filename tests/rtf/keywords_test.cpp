#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "rtf/rtf.h"

namespace brio {
namespace {

TEST(RtfKeywords, TableIsSortedWithConsecutiveIds) {
    const RtfKeyword* table = RtfKeywordTable();
    int perClass[5] = {0, 0, 0, 0, 0};
    for (int i = 0; i < kRtfKeywordCount; ++i) {
        EXPECT_EQ(table[i].id, static_cast<uint32_t>(1000 + i));
        ASSERT_LT(table[i].keywordClass, 5u);
        ++perClass[table[i].keywordClass];
        if (i > 0) {
            EXPECT_LT(std::strcmp(table[i - 1].keyword, table[i].keyword), 0) << i;
        }
    }
    EXPECT_EQ(perClass[kRtfToggle], 32);
    EXPECT_EQ(perClass[kRtfValue], 202);
    EXPECT_EQ(perClass[kRtfDestination], 73);
    EXPECT_EQ(perClass[kRtfSymbol], 31);
    EXPECT_EQ(perClass[kRtfFlag], 320);
}

TEST(RtfKeywords, LookupGivesIdAndClass) {
    struct Case {
        const char* word;
        int32_t id;
        int32_t keywordClass;
    } cases[] = {
        {"ab", 1000, kRtfToggle},        {"zwnj", 1657, kRtfSymbol},
        {"stylesheet", 1592, kRtfDestination}, {"b", 1051, kRtfToggle},
        {"cf", 1100, kRtfValue},         {"cs", 1142, kRtfValue},
        {"footnote", 1285, kRtfDestination}, {"keepn", 1340, kRtfFlag},
        {"page", 1422, kRtfSymbol},      {"par", 1426, kRtfSymbol},
        {"pard", 1427, kRtfFlag},        {"ul", 1633, kRtfToggle},
        {"uldb", 1635, kRtfFlag},        {"v", 1639, kRtfToggle},
        {"bin", kRtfIdBin, kRtfValue},   {"s", kRtfIdS, kRtfValue},
        {"ds", kRtfIdDs, kRtfValue},
    };
    for (const auto& k : cases) {
        const RtfKeyword* row = RtfFindKeyword(k.word, std::strlen(k.word));
        ASSERT_NE(row, nullptr) << k.word;
        EXPECT_EQ(static_cast<int32_t>(row->id), k.id) << k.word;
        EXPECT_EQ(static_cast<int32_t>(row->keywordClass), k.keywordClass) << k.word;
    }
}

TEST(RtfKeywords, MissesLeaveTheFieldsAlone) {
    struct Case {
        const char* token;
        int32_t status;
        int32_t id;
    } cases[] = {
        {"\\PAR", BRIO_ERR_UNKNOWN_KEYWORD, 7},  // case-sensitive
        {"\\fo", BRIO_ERR_UNKNOWN_KEYWORD, 7},   // a prefix of footer
        {"\\dplinedadodox", BRIO_ERR_UNKNOWN_KEYWORD, 7},
        {"\\abc", BRIO_ERR_UNKNOWN_KEYWORD, 7},
        {"\\cs99", 0, 1142},  // the parameter takes no part
        {"\\cs99 ", 0, 1142},
        {"\\ul0", 0, 1633},
    };
    for (const auto& k : cases) {
        RtfContext c;
        std::memset(&c, 0, sizeof c);
        std::strcpy(c.tokenText, k.token);
        c.tokenLength = static_cast<int32_t>(std::strlen(k.token));
        c.keywordId = 7;
        c.keywordClass = 3;
        EXPECT_EQ(RtfLookupKeyword(&c), k.status) << k.token;
        EXPECT_EQ(c.keywordId, k.id) << k.token;
        if (k.status != 0) {
            EXPECT_EQ(c.keywordClass, 3);
        }
    }
}

}  // namespace
}  // namespace brio
