// The control-word table, built from keyword_list.h, and its lookup.
#include "rtf/keywords.h"

#include <cstring>

namespace brio {

namespace {

constexpr RtfKeyword kRows[] = {
#define X(name, spelling, keywordClass) {spelling, kRtfKw##name, kRtf##keywordClass},
#include "rtf/keyword_list.h"
#undef X
};

static_assert(sizeof(kRows) / sizeof(kRows[0]) == kRtfKeywordCount, "table size");

constexpr bool Before(const char* a, const char* b) {
    for (;; ++a, ++b) {
        if (*a != *b) return static_cast<unsigned char>(*a) < static_cast<unsigned char>(*b);
        if (*a == 0) return false;
    }
}

constexpr bool SortedWithRowIds() {
    for (int32_t i = 0; i < kRtfKeywordCount; ++i) {
        if (kRows[i].id != i + 1) return false;
        if (i > 0 && !Before(kRows[i - 1].keyword, kRows[i].keyword)) return false;
    }
    return true;
}
static_assert(SortedWithRowIds(), "keyword_list.h must stay sorted by spelling");

constexpr uint32_t kSlots = 2048;  // a power of two, over three times the rows

constexpr size_t LongestKeyword() {
    size_t longest = 0;
    for (const RtfKeyword& row : kRows) {
        size_t n = 0;
        while (row.keyword[n]) ++n;
        if (n > longest) longest = n;
    }
    return longest;
}
constexpr size_t kLongestKeyword = LongestKeyword();
static_assert(kLongestKeyword <= 16, "a key holds 16 letters");

// A keyword's letters, zero-padded to 16 bytes and read as two words: the
// hash and the comparison are a few instructions on them.
struct Key {
    uint64_t lo = 0, hi = 0;
    bool hasNul = false;  // a NUL in the name could pass for the padding
    Key(const char* name, size_t length) {
        char bytes[16] = {};
        for (size_t i = 0; i < length; ++i) {
            bytes[i] = name[i];
            hasNul |= name[i] == 0;
        }
        std::memcpy(&lo, bytes, 8);
        std::memcpy(&hi, bytes + 8, 8);
    }
    uint32_t Hash() const {
        uint64_t h = (lo * 0x9E3779B97F4A7C15ull) ^ (hi * 0xC2B2AE3D27D4EB4Full);
        return static_cast<uint32_t>(h >> 40);
    }
};

// One slot of the index holds the key itself, so a probe reads one line.
struct Slot {
    uint64_t lo, hi;
    uint16_t row;  // row + 1, 0 when empty
};

// An open-addressing index over the rows: lookup is on the hot path of
// every pass. (TokenizeOnly: 145 MB/s with a binary search, 490 with it.)
struct Table {
    Slot slots[kSlots];
    Table() : slots{} {
        for (int32_t i = 0; i < kRtfKeywordCount; ++i) {
            Key key(kRows[i].keyword, std::strlen(kRows[i].keyword));
            uint32_t slot = key.Hash() & (kSlots - 1);
            while (slots[slot].row) slot = (slot + 1) & (kSlots - 1);
            slots[slot] = {key.lo, key.hi, static_cast<uint16_t>(i + 1)};
        }
    }
};

const Table& TheTable() {
    static const Table table;
    return table;
}

}  // namespace

const RtfKeyword* RtfKeywordTable() {
    return kRows;
}

const char* RtfKeywordSpelling(RtfKeywordId id) {
    return id > kRtfKwNone && id < kRtfKwEnd ? kRows[id - 1].keyword : "";
}

const RtfKeyword* RtfFindKeyword(const char* name, size_t length) {
    if (length == 0 || length > kLongestKeyword) return nullptr;
    Key key(name, length);
    if (key.hasNul) return nullptr;
    const Table& t = TheTable();
    for (uint32_t slot = key.Hash() & (kSlots - 1);; slot = (slot + 1) & (kSlots - 1)) {
        const Slot& entry = t.slots[slot];
        if (entry.row == 0) return nullptr;
        if (entry.lo == key.lo && entry.hi == key.hi) return &kRows[entry.row - 1];
    }
}

}  // namespace brio
