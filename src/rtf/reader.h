// The reader: a topic's RTF as a string, cut into tokens by the one
// tokenizer, with the group depth, the fragment rule and the code page of
// the document. It owns no memory: a copy is a snapshot that can be read
// ahead and dropped, or assigned back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "adt/bytes.h"
#include "brioutil.h"
#include "rtf/keywords.h"

namespace brio {

class RtfSink;

enum RtfTokenKind : int32_t {
    kRtfNoToken = 0,
    kRtfGroup = 1,
    kRtfControlWord = 2,
    kRtfText = 3,
    kRtfLineEnd = 5,
};

// What a byte is to the tokenizer. A plain byte is a text token by itself.
enum RtfByteClass : unsigned char {
    kRtfPlainByte = 0,
    kRtfLineEndByte,
    kRtfBraceByte,
    kRtfBackslashByte,
    kRtfEndByte,
};

struct RtfByteClasses {
    unsigned char of[256];
};
constexpr RtfByteClasses RtfMakeByteClasses() {
    RtfByteClasses t{};
    t.of[0] = kRtfEndByte;
    t.of[static_cast<unsigned char>('\n')] = t.of[static_cast<unsigned char>('\r')] =
        kRtfLineEndByte;
    t.of[static_cast<unsigned char>('{')] = t.of[static_cast<unsigned char>('}')] = kRtfBraceByte;
    t.of[static_cast<unsigned char>('\\')] = kRtfBackslashByte;
    return t;
}
inline constexpr RtfByteClasses kRtfByteClasses = RtfMakeByteClasses();

inline bool RtfIsPlain(unsigned char b) {
    return kRtfByteClasses.of[b] == kRtfPlainByte;
}

// The plain bytes at p.
inline size_t RtfPlainLength(const char* text) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    size_t n = 0;
    while (RtfIsPlain(p[n])) ++n;
    return n;
}

// ---------------------------------------------------------------------------
// Reading rules of a whole text

// The character classes of control words and escapes.
inline bool RtfIsLetter(unsigned char ch) {
    return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z');
}
inline bool RtfIsDigit(unsigned char ch) {
    return ch >= '0' && ch <= '9';
}
// The value of a hexadecimal digit, -1 for any other byte.
inline int RtfHexValue(unsigned char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
}

// 0 for a document (it opens with "{\rtf" after white space); 1 for a
// fragment, the text of a later topic as a host keeps it, which stands
// inside the document group.
int32_t RtfStartDepth(const char* text);
// The code page named by \ansicpg in the text, 0 for none.
int32_t RtfFindCodePage(const char* text);
// Destinations written without \* that the table does not hold (list
// bullets, shapes): the tokenizer gives them the destination class.
bool RtfIsExtraDestination(const char* letters, size_t length);

// True when `b` starts a two-byte character in the code page.
inline bool RtfIsLeadByte(int32_t codePage, unsigned char b) {
    switch (codePage) {
        case 932:
            return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
        case 936:
        case 949:
        case 950:
            return b >= 0x81 && b <= 0xFE;
        default:
            return false;
    }
}
// Word characters of a code page, 256 flags: ASCII letters and digits,
// the letters of a single-byte code page's upper half (not its quotes,
// dashes and signs), and every upper-half byte of a two-byte code page.
const unsigned char* RtfWordBytes(int32_t codePage);
// The plain word bytes at `text`, a two-byte character never cut: a lead
// byte whose trail is not plain ends the count before it. As many of them
// as fit in `room` bytes are copied to `to` on the way (and up to seven more
// bytes after them, within `room`); the input is read no further than `end`.
inline size_t RtfTakePlainWordBytes(const char* text, const char* end, int32_t codePage,
                                    const unsigned char* word, char* to, size_t room) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    size_t n = 0;
    // ASCII letters and digits, the word bytes of every code page, eight at
    // a time: no mispredicted loop end for most words. (Term-dense text +6 %.)
    while (n + 8 <= room && static_cast<size_t>(end - text) >= n + 8) {
        uint64_t x = GetU64(p, n);
        std::memcpy(to + n, p + n, 8);
        // A byte from 0x80 on stops it too (it spoils only the sums after it).
        uint64_t stop = (~AsciiAlnum8(x) | x) & kHighBits;
        if (stop == 0) {
            n += 8;
            continue;
        }
        n += FirstMarkedByte(stop);
        break;
    }
    for (;;) {
        unsigned char b = p[n];
        if (!word[b]) return n;
        if (b >= 0x80 && RtfIsLeadByte(codePage, b)) {
            if (!RtfIsPlain(p[n + 1])) return n;
            if (n + 2 <= room) {
                to[n] = static_cast<char>(b);
                to[n + 1] = static_cast<char>(p[n + 1]);
            }
            n += 2;
        } else {
            if (n < room) to[n] = static_cast<char>(b);
            ++n;
        }
    }
}

// One unit of text: a character, a control symbol, a hexadecimal escape,
// the optional hyphen, or a two-byte character made of any two of these.
struct RtfUnit {
    enum Kind : int32_t { kPlain, kSymbol, kHex, kOptionalHyphen, kDouble };
    Kind kind;
    char raw[16];  // the input bytes
    int32_t rawLength;
    char content[4];  // the character(s) it stands for
    int32_t contentLength;
};
// Whether the unit is a word character in the code page's word table.
inline bool RtfUnitIsWordChar(const RtfUnit& u, const unsigned char* word) {
    if (u.kind == RtfUnit::kDouble) return true;
    if (u.kind == RtfUnit::kSymbol || u.kind == RtfUnit::kOptionalHyphen) return false;
    return word[static_cast<unsigned char>(u.content[0])] != 0;
}

// ---------------------------------------------------------------------------

class RtfReader {
  public:
    // Reads `text` (null reads as empty) from its start depth.
    explicit RtfReader(const char* text);

    // The next token: 0 with a token in hand, -1 at the end of the input,
    // 2003 after a lone backslash at the end. A token's text is exactly
    // the input bytes it was made of.
    int32_t Next() {
        unsigned char ch = static_cast<unsigned char>(*pos_);
        if (!pendingLiteral_ && kRtfByteClasses.of[ch] == kRtfPlainByte) {
            SetToken(kRtfText, pos_, 1);
            return 0;
        }
        return NextSpecial();
    }

    RtfTokenKind Kind() const { return kind_; }
    const char* Text() const { return token_; }
    int32_t Length() const { return length_; }
    char First() const { return *token_; }
    RtfKeywordId Id() const { return id_; }
    RtfKeywordClass Class() const { return class_; }
    bool Is(RtfTokenKind kind, char ch) const {
        return kind_ == kind && length_ == 1 && *token_ == ch;
    }
    // After a backslash read as a Text token: the next byte is a literal.
    bool PendingLiteral() const { return pendingLiteral_; }
    // Forgets the token in hand (an empty Text token).
    void ClearToken() { SetToken(kRtfText, pos_, 0); }

    // Input position.
    const char* Input() const { return text_; }
    const char* Pos() const { return pos_; }
    uint32_t Offset() const { return static_cast<uint32_t>(pos_ - text_); }
    // The bytes of complete tokens read: the offset less a lone backslash
    // at the end.
    uint32_t Consumed() const { return Offset() - (loneBackslash_ ? 1 : 0); }
    void Seek(uint32_t offset) {
        pendingLiteral_ = false;
        pos_ = text_ + offset;
    }
    // The plain bytes at the position, none while a literal is pending:
    // each would be a one-byte Text token.
    size_t PlainRun() const { return pendingLiteral_ ? 0 : RtfPlainLength(pos_); }
    // Reads n of them at once; the last is then the token in hand.
    void SkipPlain(size_t n) {
        if (n == 0) return;
        pos_ += n;
        SetToken(kRtfText, pos_ - 1, 1);
    }

    // Groups. Depth may go below the start depth on stray closing braces.
    int32_t Depth() const { return depth_; }
    void SetDepth(int32_t depth) { depth_ = depth; }
    void Push() { ++depth_; }
    // 2010 when the depth falls below 0.
    int32_t Pop() { return --depth_ < 0 ? BRIO_ERR_UNBALANCED : 0; }
    int32_t StartDepth() const { return startDepth_; }
    bool IsFragment() const { return startDepth_ > 0; }
    // At a '}' token: a brace that would close a group below the start
    // depth (the document's own, in a fragment) is not the text's; passes
    // drop it.
    bool IsStrayClose() const { return depth_ <= startDepth_ && startDepth_ > 0; }
    // A destination word whose group the passes skip whole.
    bool IsSkippedDestination() const {
        return kind_ == kRtfControlWord && class_ == kRtfDestination && depth_ >= 2;
    }
    int32_t CodePage() const { return codePage_; }

    // Copies the rest of the current group (after a destination word) to
    // the sink, if any, and leaves the reader on its closing brace. 0,
    // 2003, 2010 or 2005.
    int32_t CopyGroup(RtfSink* sink);
    // Reads the unit that the Text token in hand starts. 0, or 2003 when
    // the input ends inside it.
    int32_t ReadUnit(RtfUnit* unit);

  private:
    int32_t NextSpecial();
    int32_t ReadSingleUnit(RtfUnit* unit);
    void SetToken(RtfTokenKind kind, const char* start, int32_t length) {
        kind_ = kind;
        token_ = start;
        length_ = length;
        id_ = kRtfKwNone;
        class_ = kRtfToggle;
        pos_ = start + length;
    }

    // The position is read back at once by the next token: it stays apart
    // from the token's fields, which a compiler may store in one piece.
    // (TokenizeOnly: 300 -> 600 MB/s.)
    const char* pos_;
    const char* text_;
    bool pendingLiteral_ = false;
    bool loneBackslash_ = false;
    int32_t depth_ = 0;
    int32_t startDepth_ = 0;
    int32_t codePage_ = 0;
    RtfTokenKind kind_ = kRtfNoToken;
    int32_t length_ = 0;
    RtfKeywordId id_ = kRtfKwNone;
    RtfKeywordClass class_ = kRtfToggle;
    const char* token_;
};

}  // namespace brio
