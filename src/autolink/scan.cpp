// The Autolink scan pass: reads the whole input once without output to find
// the stretches that must not be linked into (hot spots, hidden text,
// references), to read the style sheet, and to check # footnotes against
// \page breaks.
#include <climits>
#include <cstring>
#include <new>

#include "autolink/autolink.h"

namespace brio {

namespace {

int32_t RecordPage(AutolinkScanState* scan, uint32_t offset) {
    try {
        scan->pages.push_back(AutolinkPageRecord{offset, 0});
    } catch (const std::bad_alloc&) {
        return BRIO_ERR_NO_MEMORY;
    }
    return 0;
}

// Only the first context footnote after a \page is examined.
int32_t CheckContext(RtfContext* c, AutolinkScanState* scan, const char* text) {
    if (scan->pages.empty()) return BRIO_ERR_FOOTNOTE_BEFORE_PAGE;
    AutolinkPageRecord& last = scan->pages.back();
    if (last.status != 0) return 0;
    last.status = c->checkContext && c->checkContext(c->userData, text) ? 1 : 2;
    return 0;
}

}  // namespace

int32_t AutolinkScanBegin(RtfContext* c, AutolinkScanState* scan) {
    // A fragment is a later topic: a page break stands before it.
    return c->baseDepth > 0 ? RecordPage(scan, 0) : 0;
}

int32_t AutolinkScanToken(RtfContext* c, AutolinkScanState* scan, uint32_t tokenStart) {
    switch (c->tokenKind) {
        case kRtfGroup:
            if (c->tokenText[0] == '{') {
                int32_t rc = RtfPushGroup(c);
                if (rc) return rc;
                if (c->footnoteMode == 1) c->footnoteMode = 2;
            } else {
                if (RtfIsStrayClose(c)) return 0;
                RtfPopGroup(c);
                if (c->footnoteMode != 2) c->footnoteMode = 0;
            }
            return scan->spots.Token(c, tokenStart);
        case kRtfControlWord: {
            if (c->keywordId == kRtfIdStylesheet && c->keywordClass == kRtfDestination) {
                scan->sawStylesheet = true;
                return RtfReadStylesheet(c, 0);
            }
            int32_t rc = 0;
            if (RtfIsSkippedDestination(c)) {
                bool footnote = c->footnoteMode == 2 && c->tokenLength == 10 &&
                                std::memcmp(c->tokenText, "\\footnote ", 10) == 0;
                if (footnote && c->contextText && c->contextTextSize > 0) {
                    c->contextText[0] = 0;
                    c->footnoteMode = 3;
                }
                rc = RtfCopyGroup(c);
                if (rc) return rc;
                if (c->footnoteMode == 3) {
                    const char* text = c->contextText;
                    if (*text == '#') ++text;
                    while (*text == ' ' || *text == '\t') ++text;
                    rc = CheckContext(c, scan, text);
                }
            } else {
                if (c->keywordId == kRtfIdPage) rc = RecordPage(scan, tokenStart);
                if (rc == 0) rc = scan->spots.Token(c, tokenStart);
            }
            c->footnoteMode = 0;
            return rc;
        }
        case kRtfText:
            if (c->footnoteMode == 0 && c->tokenLength == 1 && c->tokenText[0] == '#') {
                c->footnoteMode = 1;
            } else if (c->footnoteMode != 3) {
                c->footnoteMode = 0;
            }
            return scan->spots.Token(c, tokenStart);
        default:
            return 0;
    }
}

}  // namespace brio
