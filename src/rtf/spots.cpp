// Hot spots: the formatting words that make one, the references written
// with escaped braces, and the recogniser every pass feeds its tokens to.
#include "rtf/spots.h"

#include <new>

#include "platform/platform.h"

namespace brio {

RtfSpotFormat RtfSpotFormatOf(const RtfReader& r) {
    RtfKeywordId id = r.Id();
    bool underline = id == kRtfKwUl || id == kRtfKwUld || id == kRtfKwUldb || id == kRtfKwUlw ||
                     id == kRtfKwStrike;
    bool hidden = id == kRtfKwV;
    if (id == kRtfKwUlnone) return kRtfUnderlineOff;
    if (id == kRtfKwPlain) return kRtfFormatPlain;
    if (!underline && !hidden) return kRtfFormatOther;
    // A parameter of 0 switches the property off.
    const char* text = r.Text();
    int32_t n = r.Length();
    int32_t i = 1;
    while (i < n && RtfIsLetter(static_cast<unsigned char>(text[i]))) ++i;
    bool off = i < n && text[i] == '0';
    while (off && i < n && RtfIsDigit(static_cast<unsigned char>(text[i]))) off = text[i++] == '0';
    if (underline) return off ? kRtfUnderlineOff : kRtfUnderlineOn;
    return off ? kRtfHiddenOff : kRtfHiddenOn;
}

size_t RtfReferenceLength(const char* text, int32_t* depthChange) {
    // A reference is short; a lone "\{" must not cost a walk over the text.
    constexpr size_t kLimit = 4096;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    char head[3] = {0, 0, 0};
    int heads = 0;
    int32_t depth = 0;
    size_t i = 0;
    auto content = [&](unsigned char ch) {
        if (heads < 3 && !(heads == 0 && (ch == ' ' || ch == '\t')))
            head[heads++] = static_cast<char>(PlatCharUpper(ch));
    };
    while (i < kLimit) {
        unsigned char ch = p[i];
        if (ch == 0) return 0;
        if (ch == '{' || ch == '}') {
            depth += ch == '{' ? 1 : -1;
            ++i;
            continue;
        }
        if (ch == '\r' || ch == '\n') {
            ++i;
            continue;
        }
        if (ch != '\\') {
            content(ch);
            ++i;
        } else if (RtfIsLetter(p[i + 1])) {
            // A control word (\par, \f7) inside the reference is not content.
            i += 2;
            while (RtfIsLetter(p[i])) ++i;
            if (p[i] == '-') ++i;
            while (RtfIsDigit(p[i])) ++i;
            if (p[i] == ' ') ++i;
            continue;
        } else if (p[i + 1] == '}') {
            bool picture = (head[0] == 'B' && head[1] == 'M') || (head[0] == 'E' && head[1] == 'W');
            bool known =
                head[0] == '#' || (picture && (head[2] == 'C' || head[2] == 'L' || head[2] == 'R'));
            if (!known) return 0;
            *depthChange = depth;
            return i + 2;
        } else if (p[i + 1] == '{' || p[i + 1] == 0) {
            return 0;
        } else if (p[i + 1] == '\'' && RtfHexValue(p[i + 2]) >= 0 && RtfHexValue(p[i + 3]) >= 0) {
            content(static_cast<unsigned char>(RtfHexValue(p[i + 2]) * 16 + RtfHexValue(p[i + 3])));
            i += 4;
        } else {
            content(p[i + 1]);
            i += 2;
        }
        // Anything else than a known head is ordinary text in braces.
        if (heads >= 1 && head[0] != '#' && head[0] != 'B' && head[0] != 'E') return 0;
    }
    return 0;
}

// ---------------------------------------------------------------------------
// The hot-spot recogniser

RtfSpotFinder::Format* RtfSpotFinder::At(int32_t depth) {
    if (depth < 0) depth = 0;
    size_t size = formats_.size();
    if (static_cast<size_t>(depth) >= size) {
        size_t grown = size ? size * 2 : 16;
        while (grown <= static_cast<size_t>(depth)) grown *= 2;
        try {
            formats_.resize(grown, Format{-1, -1});
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
    }
    return &formats_[static_cast<size_t>(depth)];
}

bool RtfSpotFinder::Hidden(const RtfReader& r) const {
    size_t d = r.Depth() < 0 ? 0 : static_cast<size_t>(r.Depth());
    return d < formats_.size() && formats_[d].hiddenSince >= 0;
}

int32_t RtfSpotFinder::Push(int32_t start, int32_t end, int32_t endDepth, int32_t kind) {
    try {
        ranges_.push_back(RtfProtected{start, end, endDepth, kind});
    } catch (const std::bad_alloc&) {
        return BRIO_ERR_NO_MEMORY;
    }
    lastEnd_ = end;
    return 0;
}

int32_t RtfSpotFinder::Commit() {
    int32_t kind = openKind_;
    int32_t held = heldCount_;
    openKind_ = 0;
    heldCount_ = 0;
    if (kind == 0) return 0;
    if (kind == kRtfHotspot && !hiddenSeen_) {
        // Underlined text that no hidden text follows is not a hot spot;
        // the references in it stay protected.
        for (int32_t i = 0; i < held; ++i) {
            int32_t rc = Push(held_[i].start, held_[i].end, held_[i].endDepth, held_[i].kind);
            if (rc) return rc;
        }
        return 0;
    }
    return Push(openStart_, openEnd_, openEndDepth_, kind);
}

int32_t RtfSpotFinder::Unit(const RtfReader& r, uint32_t start, uint32_t end, int32_t endDepth) {
    if (!collect_) return 0;
    const Format* f = At(r.Depth());
    if (!f) return BRIO_ERR_NO_MEMORY;
    int32_t s = static_cast<int32_t>(start);
    auto extend = [&] {
        if (static_cast<int32_t>(end) > openEnd_) {
            openEnd_ = static_cast<int32_t>(end);
            openEndDepth_ = endDepth;
        }
    };
    // Where a stretch that begins with this unit starts: at the word that
    // switched its formatting on, unless that lies in the stretch before.
    auto open = [&](int32_t kind, int32_t since) {
        openKind_ = kind;
        hiddenSeen_ = false;
        openStart_ = since >= lastEnd_ && since < s ? since : s;
        openEnd_ = -1;
        extend();
    };
    if (f->hiddenSince >= 0) {
        if (openKind_ == kRtfHotspot) {
            hiddenSeen_ = true;
            extend();
        } else if (openKind_ == kRtfHidden) {
            extend();
        } else {
            open(kRtfHidden, f->hiddenSince);
        }
        return 0;
    }
    if (f->underlineSince >= 0) {
        if (openKind_ == kRtfHotspot && !hiddenSeen_) {
            extend();
            return 0;
        }
        int32_t rc = Commit();
        if (rc) return rc;
        open(kRtfHotspot, f->underlineSince);
        return 0;
    }
    return Commit();
}

int32_t RtfSpotFinder::Token(const RtfReader& r, uint32_t tokenStart) {
    int32_t d = r.Depth();
    if (r.Kind() == kRtfGroup) {
        if (r.First() == '{' && d >= 1) {
            Format* parent = At(d - 1);
            Format* here = parent ? At(d) : nullptr;
            if (!here) return BRIO_ERR_NO_MEMORY;
            *here = formats_[static_cast<size_t>(d - 1)];
        }
        return 0;
    }
    if (tokenStart < referenceEnd_) return 0;
    if (r.Kind() == kRtfControlWord) {
        if (r.Id() == kRtfKwPage) return Commit();
        RtfSpotFormat what = RtfSpotFormatOf(r);
        if (what == kRtfFormatOther) return 0;
        Format* f = At(d);
        if (!f) return BRIO_ERR_NO_MEMORY;
        int32_t at = static_cast<int32_t>(tokenStart);
        switch (what) {
            case kRtfUnderlineOn:
                if (f->underlineSince < 0) f->underlineSince = at;
                break;
            case kRtfUnderlineOff:
                f->underlineSince = -1;
                break;
            case kRtfHiddenOn:
                if (f->hiddenSince < 0) f->hiddenSince = at;
                break;
            case kRtfHiddenOff:
                f->hiddenSince = -1;
                break;
            default:
                f->underlineSince = f->hiddenSince = -1;
                break;
        }
        return 0;
    }
    if (r.Kind() != kRtfText) return 0;
    uint32_t end = r.Offset();
    if (r.Length() == 1 && r.First() == '\\' && r.PendingLiteral()) {
        const unsigned char* p = reinterpret_cast<const unsigned char*>(r.Pos());
        if (p[0] == '{') {
            int32_t change = 0;
            size_t length = RtfReferenceLength(r.Pos() + 1, &change);
            if (length) {
                referenceEnd_ = end + 1 + static_cast<uint32_t>(length);
                int32_t endDepth = d + change;
                int32_t rc = Unit(r, tokenStart, referenceEnd_, endDepth);
                if (rc) return rc;
                if (openKind_ == 0 && collect_)
                    return Push(static_cast<int32_t>(tokenStart),
                                static_cast<int32_t>(referenceEnd_), endDepth, kRtfReference);
                if (openKind_ == kRtfHotspot && !hiddenSeen_ && heldCount_ < kHeld)
                    held_[heldCount_++] =
                        RtfProtected{static_cast<int32_t>(tokenStart),
                                     static_cast<int32_t>(referenceEnd_), endDepth, kRtfReference};
                return 0;
            }
        }
        end += p[0] == '\'' && RtfHexValue(p[1]) >= 0 && RtfHexValue(p[2]) >= 0 ? 3 : 1;
    }
    return Unit(r, tokenStart, end, d);
}

int32_t RtfSpotFinder::Text(const RtfReader& r, uint32_t start, uint32_t end) {
    if (start < referenceEnd_ || end <= start) return 0;
    return Unit(r, start, end, r.Depth());
}

int32_t RtfSpotFinder::Finish() {
    return Commit();
}

}  // namespace brio
