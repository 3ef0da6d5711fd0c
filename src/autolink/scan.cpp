// The Autolink scan pass: reads the whole input once without output to find
// the hot spots it already holds (underlined text followed by hidden text),
// to read the style sheet, and to check # footnotes against \page breaks.
#include <climits>
#include <cstring>
#include <new>

#include "autolink/autolink.h"

namespace brio {

namespace {

int32_t RecordPage(RtfContext* c, AutolinkScanState* scan) {
    try {
        // The \page token has been read: its offset is where it started.
        scan->pages.push_back(
            AutolinkPageRecord{c->inOffset - static_cast<uint32_t>(c->tokenLength), 0});
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

int32_t NoteUnderline(RtfContext* c, AutolinkScanState* scan) {
    if (c->hiddenOn) return 0;
    // Outside every group there is no opening brace to record.
    if (c->depth <= 0 || !c->groupStack) return 0;
    // An underline nested inside the one noted is part of it; but once that
    // hot spot is complete (its hidden group closed), a deeper underline
    // starts the next one, as where a link directly follows another.
    bool complete = c->hiddenId && c->spotEnd >= 0;
    if (c->underlineId && c->underlineDepth < c->depth && !complete) return 0;
    if (c->hiddenId) {
        int32_t rc = RtfRecordHotspot(c, scan);
        if (rc) return rc;
    }
    if (c->underlineId) {
        if (c->keywordId == c->underlineId) c->underlineOn = 1;
        return 0;
    }
    c->underlineId = c->keywordId;
    c->underlineOn = 1;
    c->spotStart = static_cast<int32_t>(c->groupStack[c->depth]);
    c->underlineDepth = c->depth;
    return 0;
}

void NoteHidden(RtfContext* c) {
    if (!c->underlineId) return;
    if (c->hiddenId && c->hiddenDepth < c->depth) return;
    c->hiddenOn = 1;
    c->hiddenId = kRtfIdV;
    c->hiddenDepth = c->depth;
}

}  // namespace

void RtfResetHotspot(RtfContext* c) {
    c->underlineOn = 0;
    c->hiddenOn = 0;
    c->underlineId = 0;
    c->hiddenId = 0;
    c->spotStart = -1;
    c->spotEnd = -1;
    c->underlineDepth = -1;
    c->hiddenDepth = -1;
}

int32_t RtfRecordHotspot(RtfContext* c, AutolinkScanState* scan) {
    int32_t rc = 0;
    // A hot spot cut off before its hidden group closed has no end, and one
    // that starts inside the previous record would be copied twice: neither
    // is recorded.
    if (c->underlineId && c->hiddenId && c->spotEnd > c->spotStart &&
        (scan->links.empty() || c->spotStart >= scan->links.back().end)) {
        try {
            scan->links.push_back(AutolinkLinkRecord{c->spotStart, c->spotEnd});
        } catch (const std::bad_alloc&) {
            rc = BRIO_ERR_NO_MEMORY;
        }
    }
    RtfResetHotspot(c);
    return rc;
}

int32_t AutolinkScanToken(RtfContext* c, AutolinkScanState* scan) {
    switch (c->tokenKind) {
        case kRtfGroup:
            if (c->tokenText[0] == '{') {
                int32_t rc = RtfPushGroup(c);
                if (rc) return rc;
                if (c->footnoteMode == 1) c->footnoteMode = 2;
                return 0;
            } else {
                RtfPopGroup(c);
                if (c->footnoteMode != 2) c->footnoteMode = 0;
                int32_t closed = c->depth + 1;
                if (c->hiddenId && closed > c->hiddenDepth) return 0;
                if (c->underlineId && closed > c->underlineDepth) return 0;
                if (c->hiddenId && c->hiddenOn) c->spotEnd = static_cast<int32_t>(c->inOffset);
                c->underlineOn = 0;
                c->hiddenOn = 0;
                return 0;
            }
        case kRtfControlWord: {
            if (c->keywordId == kRtfIdStylesheet && c->keywordClass == kRtfDestination) {
                scan->sawStylesheet = true;
                return RtfReadStylesheet(c, 0);
            }
            int32_t rc = 0;
            if (c->keywordClass == kRtfDestination && c->depth >= 2) {
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
            } else if (c->keywordId == kRtfIdUl || c->keywordId == kRtfIdUldb) {
                rc = NoteUnderline(c, scan);
            } else if (c->keywordId == kRtfIdV) {
                NoteHidden(c);
            } else if (c->keywordId == kRtfIdPar) {
                rc = RtfRecordHotspot(c, scan);
            } else if (c->keywordId == kRtfIdPage) {
                rc = RecordPage(c, scan);
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
            if (c->hiddenId && c->depth > c->hiddenDepth) return 0;
            if (c->underlineId && c->depth > c->underlineDepth) return 0;
            if (!c->underlineOn && !c->hiddenOn) return RtfRecordHotspot(c, scan);
            return 0;
        default:
            return 0;
    }
}

}  // namespace brio
