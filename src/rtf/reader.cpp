// The tokenizer and the reading rules of a whole text: where a fragment
// starts, which destinations the table lacks, what a word is in the
// document's code page, and the units of text.
#include "rtf/reader.h"

#include <climits>
#include <cstring>

#include "rtf/sink.h"

namespace brio {

namespace {

struct WordTables {
    unsigned char singleByte[256];
    unsigned char cyrillic[256];
    unsigned char doubleByte[256];
    WordTables() {
        for (int b = 0; b < 256; ++b) {
            bool ascii = RtfIsLetter(static_cast<unsigned char>(b)) ||
                         RtfIsDigit(static_cast<unsigned char>(b));
            doubleByte[b] = ascii || b >= 0x80;
            // Quotes, dashes, spaces and signs of the Windows code pages'
            // upper half separate words; everything else there is a letter.
            bool sign = b == 0x80 || b == 0x82 || b == 0x84 || b == 0x85 || b == 0x86 ||
                        b == 0x87 || b == 0x89 || b == 0x8B || (b >= 0x91 && b <= 0x97) ||
                        b == 0x99 || b == 0x9B || b == 0xA0 || b == 0xD7 || b == 0xF7;
            bool latinSign = sign || b == 0x88 || b == 0x98 ||
                             (b >= 0xA1 && b <= 0xBF && b != 0xAA && b != 0xB5 && b != 0xBA);
            singleByte[b] = ascii || (b >= 0x80 && !latinSign);
            // Cyrillic keeps letters among 0xA1-0xBF and has no sign at D7/F7.
            bool cyrillicSign = (sign && b != 0xD7 && b != 0xF7) || b == 0xA4 || b == 0xA6 ||
                                b == 0xA7 || b == 0xA9 || b == 0xAB || b == 0xAC || b == 0xAD ||
                                b == 0xAE || b == 0xB0 || b == 0xB1 || b == 0xB5 || b == 0xB6 ||
                                b == 0xB7 || b == 0xB9 || b == 0xBB;
            cyrillic[b] = ascii || (b >= 0x80 && !cyrillicSign);
        }
    }
};

const WordTables& Tables() {
    static const WordTables tables;
    return tables;
}

// The destinations, written without \*, that the control-word table lacks.
const char* const kExtraDestinations[] = {
    "latentstyles", "listoverridetable", "listtable", "listtext", "nonshppict", "rsidtbl",
    "shp",          "shpinst",           "shppict",   "shprslt",
};

// The numeric parameter after a control word's letters and the blank that
// ends it; -1 when there is none or it is negative.
int64_t ReadParameter(const unsigned char** at) {
    const unsigned char* q = *at;
    int64_t param = -1;
    if (*q == '-' || RtfIsDigit(*q)) {
        bool negative = *q == '-';
        int64_t value = negative ? 0 : *q - '0';
        for (++q; RtfIsDigit(*q); ++q) {
            value = value * 10 + (*q - '0');
            if (value > INT32_MAX) value = INT32_MAX;
        }
        if (!negative) param = value;
    }
    if (*q == ' ') ++q;
    *at = q;
    return param;
}

}  // namespace

int32_t RtfStartDepth(const char* text) {
    while (*text == ' ' || *text == '\t' || *text == '\r' || *text == '\n') ++text;
    return std::strncmp(text, "{\\rtf", 5) == 0 ? 0 : 1;
}

int32_t RtfFindCodePage(const char* text) {
    const char* at = std::strstr(text, "\\ansicpg");
    if (!at) return 0;
    at += 8;
    int32_t page = 0;
    for (int i = 0; i < 6 && RtfIsDigit(static_cast<unsigned char>(at[i])); ++i)
        page = page * 10 + (at[i] - '0');
    return page;
}

bool RtfIsExtraDestination(const char* letters, size_t length) {
    for (const char* word : kExtraDestinations)
        if (std::strlen(word) == length && std::memcmp(word, letters, length) == 0) return true;
    return false;
}

const unsigned char* RtfWordBytes(int32_t codePage) {
    const WordTables& t = Tables();
    if (RtfIsLeadByte(codePage, 0x81)) return t.doubleByte;
    if (codePage == 1251 || codePage == 866) return t.cyrillic;
    return t.singleByte;
}

RtfReader::RtfReader(const char* text)
    : pos_(text ? text : ""),
      text_(pos_),
      depth_(RtfStartDepth(text_)),
      startDepth_(depth_),
      codePage_(RtfFindCodePage(text_)),
      token_(text_) {}

int32_t RtfReader::NextSpecial() {
    const char* start = pos_;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(start);
    unsigned char ch = *p;
    if (ch == 0) return -1;
    if (pendingLiteral_) {
        pendingLiteral_ = false;
        SetToken(kRtfText, start, 1);
        return 0;
    }
    switch (kRtfByteClasses.of[ch]) {
        case kRtfLineEndByte:
            SetToken(kRtfLineEnd, start, 1);
            return 0;
        case kRtfBraceByte:
            SetToken(kRtfGroup, start, 1);
            return 0;
        default:
            break;  // a backslash
    }
    unsigned char c2 = p[1];
    if (c2 == 0) {
        pos_ = start + 1;
        loneBackslash_ = true;
        return BRIO_ERR_UNEXPECTED_END;
    }
    if (c2 == '-') {
        SetToken(kRtfText, start, 2);
        return 0;
    }
    if (c2 == '*') {
        SetToken(kRtfControlWord, start, 2);
        class_ = kRtfDestination;
        return 0;
    }
    if (!RtfIsLetter(c2)) {
        // A control symbol: the backslash now, its character next.
        SetToken(kRtfText, start, 1);
        pendingLiteral_ = true;
        return 0;
    }
    const unsigned char* q = p + 2;
    while (RtfIsLetter(*q)) ++q;
    const RtfKeyword* row = RtfFindKeyword(start + 1, static_cast<size_t>(q - p - 1));
    RtfKeywordId id = row ? row->id : kRtfKwNone;
    RtfKeywordClass cls = row ? row->keywordClass : kRtfToggle;
    if (!row && RtfIsExtraDestination(start + 1, static_cast<size_t>(q - p - 1)))
        cls = kRtfDestination;
    int64_t param = ReadParameter(&q);
    if (id == kRtfKwBin && param > 0) {
        // Binary data belongs to the word: never read as tokens.
        for (int64_t n = param; n > 0 && *q; --n) ++q;
    }
    SetToken(kRtfControlWord, start,
             static_cast<int32_t>(reinterpret_cast<const char*>(q) - start));
    id_ = id;
    class_ = cls;
    return 0;
}

int32_t RtfReader::CopyGroup(RtfSink* sink) {
    int32_t d0 = depth_;
    const char* start = pos_;
    auto flush = [&](const char* end, int32_t rc) {
        if (sink && end > start) {
            int32_t w = sink->Append(start, static_cast<size_t>(end - start));
            if (rc == 0) rc = w;
        }
        return rc;
    };
    for (;;) {
        const char* before = pos_;
        int32_t rc = Next();
        if (rc != 0) return flush(before, rc == -1 ? BRIO_ERR_UNEXPECTED_END : rc);
        if (kind_ == kRtfGroup) {
            if (*token_ == '{') {
                ++depth_;
            } else if (--depth_ < 0) {
                return flush(before, BRIO_ERR_UNBALANCED);
            }
            if (depth_ == d0 - 1) return flush(pos_, 0);
        } else if (kind_ == kRtfText) {
            SkipPlain(PlainRun());
        }
    }
}

// One unit without the two-byte pairing.
int32_t RtfReader::ReadSingleUnit(RtfUnit* u) {
    u->rawLength = 0;
    u->contentLength = 0;
    u->content[0] = u->content[1] = 0;
    auto append = [u](const char* s, int32_t n) {
        for (int32_t i = 0; i < n && u->rawLength < static_cast<int32_t>(sizeof u->raw); ++i)
            u->raw[u->rawLength++] = s[i];
    };
    append(token_, length_);
    if (length_ == 2 && token_[0] == '\\' && token_[1] == '-') {
        u->kind = RtfUnit::kOptionalHyphen;
        return 0;
    }
    if (!(length_ == 1 && token_[0] == '\\' && pendingLiteral_)) {
        u->kind = RtfUnit::kPlain;
        u->content[0] = token_[0];
        u->contentLength = 1;
        return 0;
    }
    int32_t rc = Next();
    if (rc == -1) return BRIO_ERR_UNEXPECTED_END;
    if (rc) return rc;
    append(token_, length_);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(pos_);
    if (token_[0] == '\'' && RtfHexValue(p[0]) >= 0 && RtfHexValue(p[1]) >= 0) {
        int value = RtfHexValue(p[0]) * 16 + RtfHexValue(p[1]);
        for (int i = 0; i < 2; ++i) {
            rc = Next();
            if (rc) return rc == -1 ? BRIO_ERR_UNEXPECTED_END : rc;
            append(token_, length_);
        }
        u->kind = RtfUnit::kHex;
        u->content[0] = static_cast<char>(value);
        u->contentLength = 1;
        return 0;
    }
    u->kind = RtfUnit::kSymbol;
    u->content[0] = '\\';
    u->content[1] = token_[0];
    u->contentLength = 2;
    return 0;
}

namespace {

// Whether the input at p starts a text unit (a plain byte or a control
// symbol) that can be the trail byte of a two-byte character.
bool TrailFollows(const unsigned char* p) {
    if (RtfIsPlain(p[0])) return true;
    return p[0] == '\\' && p[1] != 0 && !RtfIsLetter(p[1]) && p[1] != '*' && p[1] != '-' &&
           p[1] != '\r' && p[1] != '\n';
}

}  // namespace

int32_t RtfReader::ReadUnit(RtfUnit* unit) {
    int32_t rc = ReadSingleUnit(unit);
    if (rc) return rc;
    bool single = unit->kind == RtfUnit::kPlain || unit->kind == RtfUnit::kHex;
    if (!single || !RtfIsLeadByte(codePage_, static_cast<unsigned char>(unit->content[0])))
        return 0;
    if (!TrailFollows(reinterpret_cast<const unsigned char*>(pos_))) return 0;
    rc = Next();
    if (rc) return rc == -1 ? BRIO_ERR_UNEXPECTED_END : rc;
    RtfUnit trail;
    rc = ReadSingleUnit(&trail);
    if (rc) return rc;
    for (int32_t i = 0;
         i < trail.rawLength && unit->rawLength < static_cast<int32_t>(sizeof unit->raw); ++i)
        unit->raw[unit->rawLength++] = trail.raw[i];
    // A control symbol as trail byte stands for its character.
    unit->content[1] = trail.kind == RtfUnit::kSymbol ? trail.content[1] : trail.content[0];
    unit->contentLength = 2;
    unit->kind = RtfUnit::kDouble;
    return 0;
}

}  // namespace brio
