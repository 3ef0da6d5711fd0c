// The control-word table. Ids and rows both come from keyword_list.h: the
// row of a word is its id less one, and the table is sorted by spelling.
#pragma once

#include <cstddef>
#include <cstdint>

namespace brio {

enum RtfKeywordClass : int32_t {
    kRtfToggle = 0,
    kRtfValue = 1,
    kRtfDestination = 2,
    kRtfSymbol = 3,
    kRtfFlag = 4,
};

// kRtfKwNone for text, braces, "\*" and words the table lacks.
enum RtfKeywordId : int32_t {
    kRtfKwNone = 0,
#define X(name, spelling, keywordClass) kRtfKw##name,
#include "rtf/keyword_list.h"
#undef X
    kRtfKwEnd
};

constexpr int32_t kRtfKeywordCount = kRtfKwEnd - 1;

struct RtfKeyword {
    const char* keyword;
    RtfKeywordId id;
    RtfKeywordClass keywordClass;
};

// The whole table: kRtfKeywordCount rows, sorted byte-wise by keyword.
const RtfKeyword* RtfKeywordTable();
// The letters name[0..length) looked up; null when absent.
const RtfKeyword* RtfFindKeyword(const char* name, size_t length);
// The spelling of an id ("" for none).
const char* RtfKeywordSpelling(RtfKeywordId id);

}  // namespace brio
