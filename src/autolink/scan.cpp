// The Autolink scan pass.
#include <cstring>

#include "autolink/autolink.h"

namespace brio {

int32_t AutolinkScan::Run() {
    RtfReader& r = reader_;
    // A fragment is a later topic: a page break stands before it.
    pageSeen_ = r.IsFragment();
    for (;;) {
        uint32_t tokenStart = r.Offset();
        int32_t rc = r.Next();
        if (rc == -1) break;
        if (rc == 0) rc = Token(tokenStart);
        if (rc) return rc;
        if (r.Kind() == kRtfText) {
            // More text characters change only the footnote state, which
            // only the '#'s that end the run decide.
            size_t n = r.PlainRun();
            footnote_ = FootnoteAfter(footnote_, r.Pos(), n);
            rc = spots_.Text(r, r.Offset(), r.Offset() + static_cast<uint32_t>(n));
            if (rc) return rc;
            r.SkipPlain(n);
        }
    }
    // A fragment is a piece of a document: as its start may close groups
    // opened before it, its end may leave groups for the text after it.
    if (r.IsFragment() ? r.Depth() < r.StartDepth() : r.Depth() != 0) return BRIO_ERR_GROUPS_OPEN;
    int32_t rc = spots_.Finish();
    if (rc == 0) rc = RtfFragmentStyles(r, styles_);
    // The reader always leaves the link style in the table; its absence
    // after a style sheet means there was no memory to add it.
    if (rc == 0 && sawStylesheet_ && !styles_.Ref(kRtfAutolinkStyleName, nullptr))
        rc = BRIO_ERR_NO_MEMORY;
    return rc;
}

AutolinkScan::Footnote AutolinkScan::FootnoteAfter(Footnote state, const char* text, size_t n) {
    size_t marks = 0;
    while (marks < n && text[n - 1 - marks] == '#') ++marks;
    if (marks == 0) return n == 0 ? state : Footnote::kNone;
    // A '#' marks only after a character that left no mark: each '#' of a
    // row undoes the one before.
    bool markBefore = marks == n && state != Footnote::kNone;
    return (marks % 2 == 1) != markBefore ? Footnote::kMark : Footnote::kNone;
}

int32_t AutolinkScan::Token(uint32_t tokenStart) {
    RtfReader& r = reader_;
    switch (r.Kind()) {
        case kRtfGroup:
            if (r.First() == '{') {
                r.Push();
                if (footnote_ == Footnote::kMark) footnote_ = Footnote::kGroup;
            } else {
                if (r.IsStrayClose()) return 0;
                r.Pop();
                if (footnote_ != Footnote::kGroup) footnote_ = Footnote::kNone;
            }
            return spots_.Token(r, tokenStart);
        case kRtfControlWord:
            return ControlWord(tokenStart);
        case kRtfText:
            footnote_ = footnote_ == Footnote::kNone && r.Is(kRtfText, '#') ? Footnote::kMark
                                                                            : Footnote::kNone;
            return spots_.Token(r, tokenStart);
        default:
            return 0;
    }
}

int32_t AutolinkScan::ControlWord(uint32_t tokenStart) {
    RtfReader& r = reader_;
    if (r.Id() == kRtfKwStylesheet && r.Class() == kRtfDestination) {
        // The footnote state passes over the style sheet unchanged.
        sawStylesheet_ = true;
        return RtfReadStylesheet(r, styles_, nullptr);
    }
    bool contextFootnote = footnote_ == Footnote::kGroup && r.Length() == 10 &&
                           std::memcmp(r.Text(), "\\footnote ", 10) == 0;
    footnote_ = Footnote::kNone;
    if (r.IsSkippedDestination()) {
        int32_t rc = r.CopyGroup(nullptr);
        if (rc) return rc;
        // A context string names a topic: one before any page break has
        // no topic to name.
        return contextFootnote && !pageSeen_ ? BRIO_ERR_FOOTNOTE_BEFORE_PAGE : 0;
    }
    if (r.Id() == kRtfKwPage) pageSeen_ = true;
    return spots_.Token(r, tokenStart);
}

}  // namespace brio
