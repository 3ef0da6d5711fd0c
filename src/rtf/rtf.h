// The RTF stream engine: control-word table, the context of one pass, its
// character I/O, the tokenizer with its group state, the help footnote
// writer and the character-style table. Every RTF pass of the library is a
// loop over RtfNextToken on a context of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "brioutil.h"

namespace brio {

// ---------------------------------------------------------------------------
// Control-word table

enum RtfKeywordClass : int32_t {
    kRtfToggle = 0,
    kRtfValue = 1,
    kRtfDestination = 2,
    kRtfSymbol = 3,
    kRtfFlag = 4,
};

// One row of the sorted table; id = 1000 + row.
struct RtfKeyword {
    const char* keyword;
    uint32_t id;
    uint32_t keywordClass;
};

constexpr int32_t kRtfKeywordCount = 658;
constexpr int32_t kRtfFirstKeywordId = 1000;

// Ids the passes test.
constexpr int32_t kRtfIdBin = 1064;
constexpr int32_t kRtfIdCf = 1100;
constexpr int32_t kRtfIdCs = 1142;
constexpr int32_t kRtfIdDs = 1241;
constexpr int32_t kRtfIdFootnote = 1285;
constexpr int32_t kRtfIdKeepn = 1340;
constexpr int32_t kRtfIdPage = 1422;
constexpr int32_t kRtfIdPar = 1426;
constexpr int32_t kRtfIdPard = 1427;
constexpr int32_t kRtfIdS = 1563;
constexpr int32_t kRtfIdStylesheet = 1592;
constexpr int32_t kRtfIdUl = 1633;
constexpr int32_t kRtfIdUldb = 1635;
constexpr int32_t kRtfIdV = 1639;

// The whole table, sorted byte-wise by keyword.
const RtfKeyword* RtfKeywordTable();
// Binary search for the letters name[0..length); null when absent.
const RtfKeyword* RtfFindKeyword(const char* name, size_t length);

// ---------------------------------------------------------------------------
// Context

enum RtfTokenKind : int32_t {
    kRtfGroup = 1,
    kRtfControlWord = 2,
    kRtfText = 3,
    kRtfLineEnd = 5,
};

// Autolink's callbacks (the dictionary is passed as userData).
using RtfLookupTermFn = int32_t (*)(uintptr_t userData, char* word, char* extra, int32_t* verdict,
                                    int32_t* count);
using RtfCheckContextFn = int32_t (*)(uintptr_t userData, const char* contextString);

constexpr int32_t kRtfTokenTextSize = 200;
constexpr int32_t kRtfInitialOutput = 512;

// One entry of the character-style table: the style number as written
// after \cs, and the name as it stood in the style sheet (semicolon
// included), a heap string.
struct RtfCharStyle {
    int32_t number;
    char* name;
};

// The record of one pass. Zero-fill it, then select input and output. It
// holds no hidden state: a copy by value is a snapshot that shares the
// input, the output buffer and the arrays with the original (a snapshot
// must therefore not grow those arrays while the original still uses them).
struct RtfContext {
    uintptr_t userData;
    FILE* inFile;
    FILE* outFile;
    const char* inText;
    const char* inPos;
    uint32_t inOffset;
    int32_t inIsString;
    char* outBuffer;  // BrioMalloc'd, owned by the context's user
    char* outPos;
    int32_t outIsBuffer;
    int32_t outCapacity;
    int32_t outFree;
    RtfLookupTermFn lookupTerm;
    RtfCheckContextFn checkContext;
    char* wordBuffer;
    int32_t wordBufferSize;
    char* contextText;
    int32_t contextTextSize;
    uint32_t linkColour;
    int32_t tokenKind;
    int32_t keywordId;
    int32_t keywordClass;
    int32_t pendingLiteral;
    // The current token, NUL-terminated, when it is shorter than the field;
    // read tokens through RtfTokenText and tokenLength.
    char tokenText[kRtfTokenTextSize];
    int32_t depth;
    uint32_t* groupStack;  // [0] = capacity, [d] = offset of the { at depth d
    int32_t footnoteMode;
    int32_t charStyleCount;
    RtfCharStyle* charStyles;
    int32_t* pageRecords;
    uint32_t pageRecordCount;
    int32_t* linkRecords;
    int32_t linkCapacity;
    int32_t linkCount;
    int32_t linkIndex;
    int32_t wordLength;
    int32_t suppressOutput;
    int32_t* candidates;
    int32_t candidateCapacity;
    int32_t candidateLast;
    uint32_t consumed;
    int32_t keepnFirst;
    int32_t keepnOpen;

    // Length of the current token's text.
    int32_t tokenLength;
    // The text of a token that does not fit tokenText: a view into the
    // input string (not NUL-terminated), or tokenHeap for file input.
    const char* tokenLong;
    char* tokenHeap;
    int32_t tokenHeapSize;
    int32_t charStyleCapacity;
    // Depth the text was opened at (RtfOpenText): 1 for a fragment.
    int32_t baseDepth;
    // Code page of the document (\ansicpg), 0 when it names none.
    int32_t codePage;
};

// The current token's text (tokenLength bytes; NUL-terminated unless the
// token is longer than tokenText holds and comes from a string input).
inline const char* RtfTokenText(const RtfContext* c) {
    return c->tokenLength < kRtfTokenTextSize ? c->tokenText : c->tokenLong;
}

inline bool RtfTokenIs(const RtfContext* c, int32_t kind, char ch) {
    return c->tokenKind == kind && c->tokenLength == 1 && c->tokenText[0] == ch;
}

// Looks up the letters after the backslash of tokenText. 0 and the id and
// class stored, or 2004 with both fields unchanged.
int32_t RtfLookupKeyword(RtfContext* c);

// Character input: a byte 0-255, or -1 at the end (also for Ctrl-Z in file
// input). Always counts one in inOffset.
int RtfGetCharFile(RtfContext* c);
inline int RtfGetChar(RtfContext* c) {
    ++c->inOffset;
    if (c->inIsString) {
        unsigned char ch = static_cast<unsigned char>(*c->inPos);
        if (ch == 0) return -1;
        ++c->inPos;
        return ch;
    }
    return RtfGetCharFile(c);
}
void RtfUngetChar(RtfContext* c, int ch);
int32_t RtfSeek(RtfContext* c, uint32_t offset);
int32_t RtfRead(RtfContext* c, char* buffer, int32_t n);
int32_t RtfCopyInput(RtfContext* c, int32_t n);

// Output. RtfAppendOutput returns the characters appended, -1 when the
// buffer cannot grow. The writers return 0, 2005 (buffer) or 2006 (file).
int32_t RtfAppendOutput(RtfContext* c, const char* text);
int32_t RtfAppendBytes(RtfContext* c, const char* data, size_t length);
int32_t RtfWriteBytesSlow(RtfContext* c, const char* data, size_t length);
inline int32_t RtfWriteBytes(RtfContext* c, const char* data, size_t length) {
    if (c->outIsBuffer && c->outBuffer && static_cast<size_t>(c->outFree) > length) {
        // Room already: the common case of a short token, copied inline.
        char* out = c->outPos;
        if (length <= 8) {
            for (size_t i = 0; i < length; ++i) out[i] = data[i];
        } else {
            std::memcpy(out, data, length);
        }
        c->outPos += length;
        *c->outPos = 0;
        c->outFree -= static_cast<int32_t>(length);
        return 0;
    }
    return RtfWriteBytesSlow(c, data, length);
}
int32_t RtfWriteString(RtfContext* c, const char* text);
inline int32_t RtfWriteToken(RtfContext* c) {
    if (c->suppressOutput || c->tokenLength == 0) return 0;
    if (c->outIsBuffer ? !c->outBuffer : !c->outFile) return 0;
    const char* text = c->tokenLength < kRtfTokenTextSize ? c->tokenText : c->tokenLong;
    return RtfWriteBytes(c, text, static_cast<size_t>(c->tokenLength));
}
// Gives the context a fresh 512-byte buffer holding the empty string.
int32_t RtfStartBufferOutput(RtfContext* c);
// Grows the output buffer to `size` bytes at once when the pass can tell
// how much it will write: one allocation instead of a chain of copies.
// Sizes past the buffer's limit are left to ordinary growth. 0 or 2005.
int32_t RtfReserveOutput(RtfContext* c, size_t size);
inline int32_t RtfOutputLength(const RtfContext* c) {
    return c->outBuffer ? static_cast<int32_t>(c->outPos - c->outBuffer) : 0;
}

void RtfCloseFiles(RtfContext* c);
// Releases the context's arrays and character styles (not the output buffer).
void RtfFreeContext(RtfContext* c);

// ---------------------------------------------------------------------------
// Tokenizer and groups

// Bytes that are a text token by themselves (not NUL, a line end, a brace
// or a backslash).
struct RtfByteTable {
    unsigned char plain[256];
};
constexpr RtfByteTable RtfMakeByteTable() {
    RtfByteTable t{};
    for (int i = 0; i < 256; ++i)
        t.plain[i] = !(i == 0 || i == '\n' || i == '\r' || i == '{' || i == '}' || i == '\\');
    return t;
}
inline constexpr RtfByteTable kRtfBytes = RtfMakeByteTable();

// 0 with a token ready, -1 at the end of the input, 2003 after a lone
// backslash at the end.
int32_t RtfNextTokenSlow(RtfContext* c);
inline int32_t RtfNextToken(RtfContext* c) {
    if (c->inIsString && !c->pendingLiteral) {
        // The common case, a plain text character, without a call.
        unsigned char ch = static_cast<unsigned char>(*c->inPos);
        if (kRtfBytes.plain[ch]) {
            ++c->inPos;
            ++c->inOffset;
            ++c->consumed;
            c->keywordClass = 0;
            c->tokenKind = kRtfText;
            c->tokenLength = 1;
            c->tokenText[0] = static_cast<char>(ch);
            c->tokenText[1] = 0;
            return 0;
        }
    }
    return RtfNextTokenSlow(c);
}
int32_t RtfPushGroup(RtfContext* c);
int32_t RtfPopGroup(RtfContext* c);
// Copies the rest of the current group (after a destination word) to the
// output. 0, 2003, 2010 or a write error.
int32_t RtfCopyGroup(RtfContext* c);

// True when `next`, written right after a control word whose text ends in
// `last` (no delimiter), would be read as part of that word.
inline bool RtfWordAbsorbs(char last, char next) {
    auto letter = [](char ch) { return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z'); };
    auto digit = [](char ch) { return ch >= '0' && ch <= '9'; };
    if (next == ' ') return letter(last) || digit(last) || last == '-';
    if (letter(last)) return letter(next) || digit(next) || next == '-';
    if (digit(last) || last == '-') return digit(next);
    return false;
}

// ---------------------------------------------------------------------------
// Reading rules every pass over a topic's text shares

// 0 for a document (it opens with "{\rtf" after white space); 1 for a
// fragment, the text of a later topic as a host keeps it, which stands
// inside the document group.
int32_t RtfStartDepth(const char* text);
// String input of `text`, read from its start depth, in its code page.
void RtfOpenText(RtfContext* c, const char* text);
// At a '}' token: a brace that would close a group below the start depth
// (the document's own, in a fragment) is not the text's; passes drop it.
inline bool RtfIsStrayClose(const RtfContext* c) {
    return c->depth <= c->baseDepth && c->baseDepth > 0;
}
// A fragment carries no style sheet: its links are those of the "Autolink;"
// style with the default number, as in a document whose sheet lacks it, so
// that what Autolink writes there removal and emission can take out. 0 or
// 2005; nothing for a document or a fragment with a sheet of its own.
int32_t RtfFragmentStyles(RtfContext* c);
// A destination word whose group the passes skip whole.
inline bool RtfIsSkippedDestination(const RtfContext* c) {
    return c->keywordClass == kRtfDestination && c->depth >= 2;
}
// Destinations written without \* that the table does not hold (list
// bullets, shapes): the tokenizer gives them the destination class, id 0.
bool RtfIsExtraDestination(const char* letters, size_t length);

// The code page named by \ansicpg in the text, 0 for none.
int32_t RtfFindCodePage(const char* text);
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
// The plain word bytes at p (no backslash, brace or line end among them),
// a two-byte character never cut: a lead byte whose trail is not plain
// ends the count before it.
inline size_t RtfPlainWordBytes(const char* text, int32_t codePage, const unsigned char* word) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    size_t n = 0;
    for (;;) {
        unsigned char b = p[n];
        if (!word[b]) return n;
        if (b >= 0x80 && RtfIsLeadByte(codePage, b)) {
            if (!kRtfBytes.plain[p[n + 1]]) return n;
            n += 2;
        } else {
            ++n;
        }
    }
}

// One unit of text: a character, a control symbol, a hexadecimal escape,
// the optional hyphen, or a two-byte character made of any two of these.
struct RtfUnit {
    enum Kind : int32_t { kPlain, kSymbol, kHex, kOptionalHyphen, kDouble };
    int32_t kind;
    char raw[16];  // the input bytes
    int32_t rawLength;
    char content[4];  // the character(s) it stands for
    int32_t contentLength;
};
// Reads the unit that the Text token in hand starts (string input). 0,
// 2003 when the input ends inside it.
int32_t RtfReadUnit(RtfContext* c, RtfUnit* unit);
// Whether the unit is a word character in the context's code page.
inline bool RtfUnitIsWordChar(const RtfUnit& u, const unsigned char* word) {
    if (u.kind == RtfUnit::kDouble) return true;
    if (u.kind == RtfUnit::kSymbol || u.kind == RtfUnit::kOptionalHyphen) return false;
    return word[static_cast<unsigned char>(u.content[0])] != 0;
}

// What a control word does to the hot-spot formatting of its group. The
// underline words the help compiler takes for a hot spot are \ul, \uld,
// \uldb, \ulw and \strike; a parameter of 0 switches them off.
enum RtfSpotFormat : int32_t {
    kRtfFormatOther = 0,
    kRtfUnderlineOn,
    kRtfUnderlineOff,
    kRtfHiddenOn,
    kRtfHiddenOff,
    kRtfFormatPlain,
};
RtfSpotFormat RtfSpotFormatOf(const RtfContext* c);

// A help-compiler reference written in the text with escaped braces: a
// picture or window ("\{bmc name\}", bml, bmr, ewc, ewl, ewr, in any case)
// or a context marker ("\{#context\}"), also when a word processor split
// it over groups or paragraphs. `p` points just past the "\{"; the result
// is the length up to and with the closing "\}", 0 when there is no such
// reference. *depthChange receives the groups it opens less those it
// closes.
size_t RtfReferenceLength(const char* p, int32_t* depthChange);

// A stretch of the input that no pass links into: from `start` to just
// before `end` (input offsets), with the group depth after it.
struct RtfProtected {
    int32_t start;
    int32_t end;
    int32_t endDepth;
    int32_t kind;  // RtfProtectedKind
};
enum RtfProtectedKind : int32_t { kRtfHotspot = 1, kRtfHidden, kRtfReference };

// The hot-spot recogniser. A hot spot is text in a hot-spot underline
// followed by hidden text, whatever paragraph ends stand in either part;
// hidden text that follows no such text, and references, are protected on
// their own. Fed every token a pass reads (after the pass has pushed or
// popped its group); destination groups the pass skips are never seen.
class RtfSpotFinder {
  public:
    // A finder that does not collect stretches only follows the formatting
    // and the references (for a pass that reads the visible text).
    explicit RtfSpotFinder(bool collect = true) : collect_(collect) {}
    ~RtfSpotFinder();
    RtfSpotFinder(const RtfSpotFinder&) = delete;
    RtfSpotFinder& operator=(const RtfSpotFinder&) = delete;

    // The token in hand, which began at `tokenStart`. 0 or 2005.
    int32_t Token(const RtfContext* c, uint32_t tokenStart);
    // Text units from `start` to `end` in the formatting of the token in
    // hand (a run of plain characters after it). 0 or 2005.
    int32_t Text(const RtfContext* c, uint32_t start, uint32_t end);
    // Commits what is open at the end of the text. 0 or 2005.
    int32_t Finish(const RtfContext* c);
    // Whether text at the current position is hidden or inside a reference:
    // not part of the visible text.
    bool Hidden(const RtfContext* c) const;
    bool InReference(uint32_t offset) const { return offset < referenceEnd_; }

    const RtfProtected* ranges() const { return ranges_; }
    int32_t count() const { return count_; }

  private:
    struct Format {
        int32_t underlineSince;  // offset of the word that switched it on, -1 off
        int32_t hiddenSince;
    };
    Format* At(int32_t depth);
    int32_t Unit(const RtfContext* c, uint32_t start, uint32_t end, int32_t depth);
    int32_t Commit();
    int32_t Push(int32_t start, int32_t end, int32_t endDepth, int32_t kind);

    bool collect_;
    Format* formats_ = nullptr;  // by depth
    int32_t formatCapacity_ = 0;
    RtfProtected* ranges_ = nullptr;
    int32_t count_ = 0;
    int32_t capacity_ = 0;
    // The stretch being collected: kind 0 none, else a kind; for a hot spot
    // `hiddenSeen` tells whether its hidden part has begun.
    int32_t openKind_ = 0;
    bool hiddenSeen_ = false;
    int32_t openStart_ = -1;
    int32_t openEnd_ = -1;
    int32_t openEndDepth_ = 0;
    int32_t lastEnd_ = 0;  // end of the last committed stretch
    uint32_t referenceEnd_ = 0;
    // References in underlined text not yet known to be a hot spot.
    static constexpr int32_t kHeld = 8;
    RtfProtected held_[kHeld];
    int32_t heldCount_ = 0;
};

// ---------------------------------------------------------------------------
// Help footnotes: CR LF, then "<mark>{\footnote {\super <mark>}<text>}"; the
// macro mark '!' doubles backslashes. Nothing for a null or empty text.
int32_t RtfWriteFootnote(RtfContext* c, char mark, const char* text);

// ---------------------------------------------------------------------------
// Style sheet and character styles

// Room for "\cs" and any 32-bit number.
constexpr size_t kRtfStyleRefSize = 16;
extern const char kRtfAutolinkStyleName[];  // "Autolink;"
constexpr int32_t kRtfAutolinkDefaultStyle = 99;

int32_t RtfAddCharStyle(RtfContext* c, const char* name, int32_t number);
// 1 when a style of this name (any case) exists; `out` (kRtfStyleRefSize
// bytes, may be null) receives "\cs<number>" or the empty string.
int32_t RtfCharStyleRef(RtfContext* c, const char* name, char* out);
// After \stylesheet and its pushed group: reads the style sheet, fills the
// table; with echo also writes it, less the "Autolink;" entry.
int32_t RtfReadStylesheet(RtfContext* c, int32_t echo);
// After \stylesheet was written: copies the style sheet and adds the
// "Autolink;" definition when it is missing.
int32_t RtfCopyStylesheet(RtfContext* c);

}  // namespace brio
