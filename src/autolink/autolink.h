// The Autolink passes over one topic's RTF: the scan pass that finds the
// existing hot spots and reads the style sheet, the writing pass that turns
// registered terms into hot spots, and the removal of such links.
#pragma once

#include <cstdint>
#include <string>

#include "autolink/dictionary.h"
#include "rtf/rtf.h"

namespace brio {

struct AutolinkPageRecord {
    uint32_t offset;
    int32_t status;  // 0 not examined, 1 accepted, 2 not accepted
};

// What the scan pass leaves for the writing pass, beside the context's
// character-style table: the hot spots, hidden text and references that the
// writing pass copies as they stand.
struct AutolinkScanState {
    RtfSpotFinder spots;
    BrioVector<AutolinkPageRecord> pages;
    bool sawStylesheet = false;
};

// Length of the run of ordinary text characters (no backslash, brace, line
// end or the end) at the input position of a string context: each of them
// would come out of the tokenizer as a one-character text token.
inline size_t RtfPlainRun(const RtfContext* c) {
    if (c->pendingLiteral) return 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(c->inPos);
    const unsigned char* q = p;
    for (;;) {
        unsigned char ch = *q;
        if (ch == 0 || ch == '\\' || ch == '{' || ch == '}' || ch == '\r' || ch == '\n') break;
        ++q;
    }
    return static_cast<size_t>(q - p);
}

// Moves a string context past n characters that are ordinary text.
inline void RtfSkipPlain(RtfContext* c, size_t n) {
    c->inPos += n;
    c->inOffset += static_cast<uint32_t>(n);
    c->consumed += static_cast<uint32_t>(n);
}

// Before the first token: a fragment starts a topic, as after a \page.
int32_t AutolinkScanBegin(RtfContext* c, AutolinkScanState* scan);
// The scan pass's treatment of the current token, which began at
// `tokenStart`; 0 or an error code.
int32_t AutolinkScanToken(RtfContext* c, AutolinkScanState* scan, uint32_t tokenStart);

// Both passes over `rtf`. On return *output is the written text (malloc
// heap, the caller's), or null when the scan pass failed. 0 or a code.
int32_t AutolinkRun(AutolinkDictionary* dictionary, const char* rtf, uint32_t linkColour,
                    char** output, size_t* outputLength);

// The links of the "Autolink;" style taken out again. *output is null on
// failure; the status is -1 after a complete pass.
int32_t AutolinkStrip(const char* rtf, char** output, size_t* outputLength);

}  // namespace brio
