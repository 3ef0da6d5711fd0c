// The tokenizer: group braces, control words with their parameter, text
// characters and line ends. A token's text is exactly the input bytes it
// was made of, so writing every token back reproduces the input.
#include <climits>
#include <cstring>

#include "platform/platform.h"
#include "rtf/rtf.h"

namespace brio {

namespace {

enum CharClass : unsigned char { kPlain = 0, kLineEnd, kBrace, kBackslash, kEnd };

struct CharClasses {
    unsigned char cls[256];
    CharClasses() {
        std::memset(cls, kPlain, sizeof cls);
        cls[0] = kEnd;
        cls[0x0A] = cls[0x0D] = kLineEnd;
        cls[0x7B] = cls[0x7D] = kBrace;  // { }
        cls[0x5C] = kBackslash;
    }
};
const CharClasses kClasses;

inline bool IsLetter(int ch) {
    return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z');
}
inline bool IsDigit(int ch) {
    return ch >= '0' && ch <= '9';
}

// Sets id and class of a control word from its letters; unknown words
// carry id 0 so no caller mistakes them for the word before.
inline void Classify(RtfContext* c, const char* letters, size_t length) {
    const RtfKeyword* row = RtfFindKeyword(letters, length);
    if (row) {
        c->keywordId = static_cast<int32_t>(row->id);
        c->keywordClass = static_cast<int32_t>(row->keywordClass);
    } else {
        c->keywordId = 0;
        if (RtfIsExtraDestination(letters, length)) c->keywordClass = kRtfDestination;
    }
}

inline int64_t AddDigit(int64_t value, int ch) {
    value = value * 10 + (ch - '0');
    return value > INT32_MAX ? INT32_MAX : value;
}

// The numeric parameter after a control word's letters and the blank that
// ends it, read from a string; -1 when there is none or it is negative.
inline int64_t ReadParameter(const unsigned char** at) {
    const unsigned char* q = *at;
    int64_t param = -1;
    if (*q == '-' || IsDigit(*q)) {
        bool negative = *q == '-';
        int64_t value = negative ? 0 : *q - '0';
        for (++q; IsDigit(*q); ++q) value = AddDigit(value, *q);
        if (!negative) param = value;
    }
    if (*q == ' ') ++q;
    *at = q;
    return param;
}

// String input: the token is the bytes from `start` to `end`.
inline void FinishString(RtfContext* c, const char* start, const char* end) {
    int32_t length = static_cast<int32_t>(end - start);
    c->inPos = end;
    c->inOffset += static_cast<uint32_t>(length);
    c->consumed += static_cast<uint32_t>(length);
    c->tokenLength = length;
    if (length <= 16) {
        // Most control words: a short loop beats a call to memcpy.
        for (int32_t i = 0; i < length; ++i) c->tokenText[i] = start[i];
        c->tokenText[length] = 0;
    } else if (length < kRtfTokenTextSize) {
        std::memcpy(c->tokenText, start, static_cast<size_t>(length));
        c->tokenText[length] = 0;
    } else {
        c->tokenText[0] = 0;
        c->tokenLong = start;
    }
}

int32_t NextTokenString(RtfContext* c) {
    const char* start = c->inPos;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(start);
    unsigned ch = *p;
    if (ch == 0) {
        ++c->inOffset;
        return -1;
    }
    ++p;
    if (c->pendingLiteral) {
        c->pendingLiteral = 0;
        c->tokenKind = kRtfText;
        c->inPos = reinterpret_cast<const char*>(p);
        ++c->inOffset;
        ++c->consumed;
        c->tokenLength = 1;
        c->tokenText[0] = static_cast<char>(ch);
        c->tokenText[1] = 0;
        return 0;
    }
    c->keywordClass = 0;
    switch (kClasses.cls[ch]) {
        case kPlain:
            // The common case: one text character.
            c->tokenKind = kRtfText;
            c->inPos = reinterpret_cast<const char*>(p);
            ++c->inOffset;
            ++c->consumed;
            c->tokenLength = 1;
            c->tokenText[0] = static_cast<char>(ch);
            c->tokenText[1] = 0;
            return 0;
        case kLineEnd:
            c->tokenKind = kRtfLineEnd;
            break;
        case kBrace:
            c->tokenKind = kRtfGroup;
            break;
        default: {  // backslash
            unsigned c2 = *p;
            if (c2 == 0) {
                c->inPos = reinterpret_cast<const char*>(p);
                c->inOffset += 2;
                return BRIO_ERR_UNEXPECTED_END;
            }
            if (IsLetter(static_cast<int>(c2))) {
                const unsigned char* q = p + 1;
                while (IsLetter(*q)) ++q;
                Classify(c, reinterpret_cast<const char*>(p), static_cast<size_t>(q - p));
                int64_t param = ReadParameter(&q);
                if (c->keywordId == kRtfIdBin && c->keywordClass == kRtfValue && param > 0) {
                    // Binary data belongs to the word: never read as tokens.
                    for (int64_t n = param; n > 0 && *q; --n) ++q;
                }
                c->tokenKind = kRtfControlWord;
                FinishString(c, start, reinterpret_cast<const char*>(q));
                return 0;
            }
            if (c2 == '-') {
                c->tokenKind = kRtfText;
                ++p;
            } else if (c2 == '*') {
                c->tokenKind = kRtfControlWord;
                c->keywordClass = kRtfDestination;
                c->keywordId = 0;
                ++p;
            } else {
                // A control symbol: the backslash now, its character next.
                c->tokenKind = kRtfText;
                c->pendingLiteral = 1;
            }
            break;
        }
    }
    FinishString(c, start, reinterpret_cast<const char*>(p));
    return 0;
}

// File input builds the token byte by byte; long tokens spill to tokenHeap.
bool TokenPut(RtfContext* c, char ch) {
    int32_t n = c->tokenLength;
    if (n < kRtfTokenTextSize - 1) {
        c->tokenText[n] = ch;
        c->tokenText[n + 1] = 0;
        c->tokenLength = n + 1;
        return true;
    }
    if (n + 2 > c->tokenHeapSize) {
        int64_t size = c->tokenHeapSize ? 2 * static_cast<int64_t>(c->tokenHeapSize) : 512;
        if (size > INT32_MAX) return false;
        char* grown = static_cast<char*>(BrioRealloc(c->tokenHeap, static_cast<size_t>(size)));
        if (!grown) return false;
        c->tokenHeap = grown;
        c->tokenHeapSize = static_cast<int32_t>(size);
    }
    if (n == kRtfTokenTextSize - 1) std::memcpy(c->tokenHeap, c->tokenText, static_cast<size_t>(n));
    c->tokenHeap[n] = ch;
    c->tokenHeap[n + 1] = 0;
    c->tokenLength = n + 1;
    c->tokenLong = c->tokenHeap;
    return true;
}

int32_t NextTokenFile(RtfContext* c) {
    int ch = RtfGetChar(c);
    if (ch < 0) return -1;
    c->tokenLength = 0;
    TokenPut(c, static_cast<char>(ch));
    if (c->pendingLiteral) {
        c->pendingLiteral = 0;
        c->tokenKind = kRtfText;
        ++c->consumed;
        return 0;
    }
    c->keywordClass = 0;
    if (ch == '\n' || ch == '\r') {
        c->tokenKind = kRtfLineEnd;
    } else if (ch == '{' || ch == '}') {
        c->tokenKind = kRtfGroup;
    } else if (ch == '\\') {
        int c2 = RtfGetChar(c);
        if (c2 < 0) return BRIO_ERR_UNEXPECTED_END;
        if (IsLetter(c2)) {
            bool ok = TokenPut(c, static_cast<char>(c2));
            int d = RtfGetChar(c);
            while (IsLetter(d)) {
                ok = TokenPut(c, static_cast<char>(d)) && ok;
                d = RtfGetChar(c);
            }
            if (!ok) return BRIO_ERR_NO_MEMORY;
            Classify(c, RtfTokenText(c) + 1, static_cast<size_t>(c->tokenLength - 1));
            int64_t param = -1;
            if (d == '-' || IsDigit(d)) {
                bool negative = d == '-';
                int64_t value = negative ? 0 : AddDigit(0, d);
                ok = TokenPut(c, static_cast<char>(d));
                d = RtfGetChar(c);
                while (IsDigit(d)) {
                    value = AddDigit(value, d);
                    ok = TokenPut(c, static_cast<char>(d)) && ok;
                    d = RtfGetChar(c);
                }
                if (!ok) return BRIO_ERR_NO_MEMORY;
                if (!negative) param = value;
            }
            if (d == ' ') {
                if (!TokenPut(c, ' ')) return BRIO_ERR_NO_MEMORY;
            } else {
                RtfUngetChar(c, d);
            }
            if (c->keywordId == kRtfIdBin && c->keywordClass == kRtfValue && param > 0) {
                for (int64_t n = param; n > 0; --n) {
                    int b = RtfGetChar(c);
                    if (b < 0) {
                        RtfUngetChar(c, b);
                        break;
                    }
                    if (!TokenPut(c, static_cast<char>(b))) return BRIO_ERR_NO_MEMORY;
                }
            }
            c->tokenKind = kRtfControlWord;
            c->consumed += static_cast<uint32_t>(c->tokenLength);
            return 0;
        }
        if (c2 == '-' || c2 == '*') {
            TokenPut(c, static_cast<char>(c2));
            c->tokenKind = c2 == '-' ? kRtfText : kRtfControlWord;
            if (c2 == '*') {
                c->keywordClass = kRtfDestination;
                c->keywordId = 0;
            }
            c->consumed += 2;
            return 0;
        }
        c->tokenKind = kRtfText;
        c->pendingLiteral = 1;
        RtfUngetChar(c, c2);
    } else {
        c->tokenKind = kRtfText;
    }
    ++c->consumed;
    return 0;
}

}  // namespace

int32_t RtfNextTokenSlow(RtfContext* c) {
    return c->inIsString ? NextTokenString(c) : NextTokenFile(c);
}

int32_t RtfPushGroup(RtfContext* c) {
    ++c->depth;
    if (!c->groupStack) {
        c->groupStack = static_cast<uint32_t*>(BrioMalloc(5 * sizeof(uint32_t)));
        if (!c->groupStack) return BRIO_ERR_NO_MEMORY;
        std::memset(c->groupStack, 0, 5 * sizeof(uint32_t));
        c->groupStack[0] = 5;
    }
    // After extra closing braces the depth may be 0 or less: no slot then.
    if (c->depth < 1) return 0;
    uint32_t capacity = c->groupStack[0];
    if (static_cast<uint32_t>(c->depth) >= capacity) {
        uint64_t grown = capacity * 2ull;
        if (grown < capacity + 5ull) grown = capacity + 5ull;
        if (grown <= static_cast<uint64_t>(c->depth)) grown = static_cast<uint64_t>(c->depth) + 5;
        if (grown > UINT32_MAX / sizeof(uint32_t)) return BRIO_ERR_NO_MEMORY;
        uint32_t* stack = static_cast<uint32_t*>(
            BrioRealloc(c->groupStack, static_cast<size_t>(grown) * sizeof(uint32_t)));
        if (!stack) return BRIO_ERR_NO_MEMORY;
        std::memset(stack + capacity, 0, static_cast<size_t>(grown - capacity) * sizeof(uint32_t));
        stack[0] = static_cast<uint32_t>(grown);
        c->groupStack = stack;
    }
    c->groupStack[c->depth] = c->inOffset - 1;
    return 0;
}

int32_t RtfPopGroup(RtfContext* c) {
    --c->depth;
    return c->depth < 0 ? BRIO_ERR_UNBALANCED : 0;
}

namespace {

// The bytes after the current token up to the brace that closes the group
// at depth d0, read as the tokenizer would read them; null when the input
// ends first. `lastWord` receives the letters of the last control word on
// the way ("*" for \*), `lastLength` their count (0 for none).
const char* FindGroupEnd(const char* from, int32_t d0, const char** lastWord, size_t* lastLength) {
    static const RtfKeyword* const bin = RtfFindKeyword("bin", 3);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(from);
    int32_t depth = d0;
    *lastLength = 0;
    for (;;) {
        unsigned ch = *p++;
        if (kRtfBytes.plain[ch]) continue;
        if (ch == '{') {
            ++depth;
        } else if (ch == '}') {
            if (--depth == d0 - 1) return reinterpret_cast<const char*>(p);
        } else if (ch == '\\') {
            unsigned c2 = *p;
            if (c2 == 0) return nullptr;
            if (!IsLetter(static_cast<int>(c2))) {
                // \- and \* are two-byte tokens; any other byte after the
                // backslash is a literal character, braces included.
                if (c2 == '*') *lastWord = reinterpret_cast<const char*>(p), *lastLength = 1;
                ++p;
                continue;
            }
            const unsigned char* q = p + 1;
            while (IsLetter(*q)) ++q;
            *lastWord = reinterpret_cast<const char*>(p);
            *lastLength = static_cast<size_t>(q - p);
            int64_t param = ReadParameter(&q);
            if (param > 0 && bin && bin->keywordClass == kRtfValue && *lastLength == 3 &&
                std::memcmp(p, "bin", 3) == 0) {
                for (int64_t n = param; n > 0 && *q; --n) ++q;
            }
            p = q;
        } else if (ch == 0) {
            return nullptr;
        }
        // line ends are plain bytes here
    }
}

// The group copied in one piece: string input, nothing held back, no
// footnote text collected. False when the slow path must run.
bool CopyGroupFast(RtfContext* c, int32_t* rc) {
    if (!c->inIsString || c->pendingLiteral || c->depth < 1) return false;
    if (c->footnoteMode == 3 && c->contextText && c->contextTextSize > 0) return false;
    const char* lastWord = nullptr;
    size_t lastLength = 0;
    const char* start = c->inPos;
    const char* end = FindGroupEnd(start, c->depth, &lastWord, &lastLength);
    if (!end) return false;  // the slow path reports where the input ended
    size_t length = static_cast<size_t>(end - start);
    if (length > static_cast<size_t>(INT32_MAX)) return false;
    // Leave the context as the token-by-token copy would: on the closing
    // brace, with the id of the last control word read.
    if (lastLength == 1 && *lastWord == '*') {
        c->keywordId = 0;
    } else if (lastLength > 0) {
        Classify(c, lastWord, lastLength);
    }
    c->inPos = end;
    c->inOffset += static_cast<uint32_t>(length);
    c->consumed += static_cast<uint32_t>(length);
    c->depth -= 1;
    c->keywordClass = 0;
    c->tokenKind = kRtfGroup;
    c->tokenLength = 1;
    c->tokenText[0] = '}';
    c->tokenText[1] = 0;
    *rc = 0;
    if (!c->suppressOutput && (c->outIsBuffer ? c->outBuffer != nullptr : c->outFile != nullptr))
        *rc = RtfWriteBytes(c, start, length);
    return true;
}

}  // namespace

int32_t RtfCopyGroup(RtfContext* c) {
    int32_t fast = 0;
    if (CopyGroupFast(c, &fast)) return fast;
    int32_t d0 = c->depth;
    for (;;) {
        int32_t rc = RtfNextToken(c);
        if (rc == -1) return BRIO_ERR_UNEXPECTED_END;
        if (rc != 0) return rc;
        if (c->tokenKind == kRtfGroup) {
            if (c->tokenText[0] == '{') {
                ++c->depth;
            } else if (--c->depth < 0) {
                return BRIO_ERR_UNBALANCED;
            }
        }
        rc = RtfWriteToken(c);
        if (rc != 0) return rc;
        if (c->footnoteMode == 3 && c->tokenKind == kRtfText && c->contextText &&
            c->contextTextSize > 0) {
            // The footnote text is cut at the buffer, never overflows it.
            size_t have = std::strlen(c->contextText);
            size_t room = static_cast<size_t>(c->contextTextSize) - 1 - have;
            size_t n = static_cast<size_t>(c->tokenLength) < room ? c->tokenLength : room;
            std::memcpy(c->contextText + have, c->tokenText, n);
            c->contextText[have + n] = 0;
        }
        if (c->depth == d0 - 1) return 0;
    }
}

}  // namespace brio
