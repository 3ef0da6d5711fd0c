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
using RtfLookupTermFn = int32_t (*)(uintptr_t userData, char* word, char* extra,
                                    int32_t* verdict, int32_t* count);
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
    int32_t underlineOn;
    int32_t hiddenOn;
    int32_t underlineId;
    int32_t hiddenId;
    int32_t spotStart;
    int32_t spotEnd;
    int32_t underlineDepth;
    int32_t hiddenDepth;
    int32_t* linkRecords;
    int32_t linkCapacity;
    int32_t linkCount;
    int32_t linkIndex;
    int32_t wordLength;
    int32_t suppressOutput;
    int32_t* candidates;
    int32_t candidateCapacity;
    int32_t candidateLast;
    int32_t wordState;
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
