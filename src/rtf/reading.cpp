// The reading rules that every pass over a topic's text shares: where a
// fragment starts, which groups are skipped, what a word is in the
// document's code page, and which stretches are hot spots, hidden text or
// help-compiler references that no pass links into or searches.
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "rtf/rtf.h"

namespace brio {

namespace {

bool IsLetter(unsigned char ch) {
    return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z');
}
bool IsDigit(unsigned char ch) {
    return ch >= '0' && ch <= '9';
}
int HexValue(unsigned char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F') return ch - 'A' + 10;
    return -1;
}

struct WordTables {
    unsigned char singleByte[256];
    unsigned char cyrillic[256];
    unsigned char doubleByte[256];
    WordTables() {
        for (int b = 0; b < 256; ++b) {
            bool ascii =
                IsLetter(static_cast<unsigned char>(b)) || IsDigit(static_cast<unsigned char>(b));
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

}  // namespace

int32_t RtfStartDepth(const char* text) {
    while (*text == ' ' || *text == '\t' || *text == '\r' || *text == '\n') ++text;
    return std::strncmp(text, "{\\rtf", 5) == 0 ? 0 : 1;
}

void RtfOpenText(RtfContext* c, const char* text) {
    c->inText = c->inPos = text;
    c->inIsString = 1;
    c->baseDepth = RtfStartDepth(text);
    c->depth = c->baseDepth;
    c->codePage = RtfFindCodePage(text);
}

int32_t RtfFragmentStyles(RtfContext* c) {
    if (c->baseDepth == 0 || c->charStyleCount > 0) return 0;
    return RtfAddCharStyle(c, kRtfAutolinkStyleName, kRtfAutolinkDefaultStyle);
}

bool RtfIsExtraDestination(const char* letters, size_t length) {
    for (const char* word : kExtraDestinations)
        if (std::strlen(word) == length && std::memcmp(word, letters, length) == 0) return true;
    return false;
}

int32_t RtfFindCodePage(const char* text) {
    const char* at = std::strstr(text, "\\ansicpg");
    if (!at) return 0;
    at += 8;
    int32_t page = 0;
    for (int i = 0; i < 6 && IsDigit(static_cast<unsigned char>(at[i])); ++i)
        page = page * 10 + (at[i] - '0');
    return page;
}

const unsigned char* RtfWordBytes(int32_t codePage) {
    const WordTables& t = Tables();
    if (RtfIsLeadByte(codePage, 0x81)) return t.doubleByte;
    if (codePage == 1251 || codePage == 866) return t.cyrillic;
    return t.singleByte;
}

namespace {

// One unit without the two-byte pairing.
int32_t ReadSingleUnit(RtfContext* c, RtfUnit* u) {
    const char* text = RtfTokenText(c);
    u->rawLength = 0;
    u->contentLength = 0;
    u->content[0] = u->content[1] = 0;
    auto append = [u](const char* s, int32_t n) {
        for (int32_t i = 0; i < n && u->rawLength < static_cast<int32_t>(sizeof u->raw); ++i)
            u->raw[u->rawLength++] = s[i];
    };
    append(text, c->tokenLength);
    if (c->tokenLength == 2 && text[0] == '\\' && text[1] == '-') {
        u->kind = RtfUnit::kOptionalHyphen;
        return 0;
    }
    if (!(c->tokenLength == 1 && text[0] == '\\' && c->pendingLiteral)) {
        u->kind = RtfUnit::kPlain;
        u->content[0] = text[0];
        u->contentLength = 1;
        return 0;
    }
    int32_t rc = RtfNextToken(c);
    if (rc == -1) return BRIO_ERR_UNEXPECTED_END;
    if (rc) return rc;
    append(c->tokenText, c->tokenLength);
    const unsigned char* p = reinterpret_cast<const unsigned char*>(c->inPos);
    if (c->tokenText[0] == '\'' && c->inIsString && HexValue(p[0]) >= 0 && HexValue(p[1]) >= 0) {
        int value = HexValue(p[0]) * 16 + HexValue(p[1]);
        for (int i = 0; i < 2; ++i) {
            rc = RtfNextToken(c);
            if (rc) return rc == -1 ? BRIO_ERR_UNEXPECTED_END : rc;
            append(c->tokenText, c->tokenLength);
        }
        u->kind = RtfUnit::kHex;
        u->content[0] = static_cast<char>(value);
        u->contentLength = 1;
        return 0;
    }
    u->kind = RtfUnit::kSymbol;
    u->content[0] = '\\';
    u->content[1] = c->tokenText[0];
    u->contentLength = 2;
    return 0;
}

// Whether the input at p starts a text unit (a plain byte or a control
// symbol) that can be the trail byte of a two-byte character.
bool TrailFollows(const unsigned char* p) {
    if (kRtfBytes.plain[p[0]]) return true;
    return p[0] == '\\' && p[1] != 0 && !IsLetter(p[1]) && p[1] != '*' && p[1] != '-' &&
           p[1] != '\r' && p[1] != '\n';
}

}  // namespace

int32_t RtfReadUnit(RtfContext* c, RtfUnit* unit) {
    int32_t rc = ReadSingleUnit(c, unit);
    if (rc) return rc;
    bool single = unit->kind == RtfUnit::kPlain || unit->kind == RtfUnit::kHex;
    if (!single || !c->inIsString ||
        !RtfIsLeadByte(c->codePage, static_cast<unsigned char>(unit->content[0])))
        return 0;
    if (!TrailFollows(reinterpret_cast<const unsigned char*>(c->inPos))) return 0;
    rc = RtfNextToken(c);
    if (rc) return rc == -1 ? BRIO_ERR_UNEXPECTED_END : rc;
    RtfUnit trail;
    rc = ReadSingleUnit(c, &trail);
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

RtfSpotFormat RtfSpotFormatOf(const RtfContext* c) {
    int32_t id = c->keywordId;
    bool underline = id == 1633 || id == 1634 || id == kRtfIdUldb || id == 1637 || id == 1591;
    bool hidden = id == kRtfIdV;
    if (id == 1636) return kRtfUnderlineOff;  // \ulnone
    if (id == 1466) return kRtfFormatPlain;   // \plain
    if (!underline && !hidden) return kRtfFormatOther;
    // A parameter of 0 switches the property off.
    const char* text = RtfTokenText(c);
    int32_t i = 1;
    while (i < c->tokenLength && IsLetter(static_cast<unsigned char>(text[i]))) ++i;
    bool off = i < c->tokenLength && text[i] == '0';
    while (off && i < c->tokenLength && IsDigit(static_cast<unsigned char>(text[i])))
        off = text[i++] == '0';
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
        } else if (IsLetter(p[i + 1])) {
            // A control word (\par, \f7) inside the reference is not content.
            i += 2;
            while (IsLetter(p[i])) ++i;
            if (p[i] == '-') ++i;
            while (IsDigit(p[i])) ++i;
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
        } else if (p[i + 1] == '\'' && HexValue(p[i + 2]) >= 0 && HexValue(p[i + 3]) >= 0) {
            content(static_cast<unsigned char>(HexValue(p[i + 2]) * 16 + HexValue(p[i + 3])));
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

RtfSpotFinder::~RtfSpotFinder() {
    BrioFree(formats_);
    BrioFree(ranges_);
}

RtfSpotFinder::Format* RtfSpotFinder::At(int32_t depth) {
    if (depth < 0) depth = 0;
    if (depth >= formatCapacity_) {
        int32_t grown = formatCapacity_ ? formatCapacity_ * 2 : 16;
        while (grown <= depth) grown *= 2;
        Format* f = static_cast<Format*>(
            BrioRealloc(formats_, static_cast<size_t>(grown) * sizeof(Format)));
        if (!f) return nullptr;
        for (int32_t i = formatCapacity_; i < grown; ++i) f[i] = Format{-1, -1};
        formats_ = f;
        formatCapacity_ = grown;
    }
    return &formats_[depth];
}

bool RtfSpotFinder::Hidden(const RtfContext* c) const {
    int32_t d = c->depth < 0 ? 0 : c->depth;
    return d < formatCapacity_ && formats_[d].hiddenSince >= 0;
}

int32_t RtfSpotFinder::Push(int32_t start, int32_t end, int32_t endDepth, int32_t kind) {
    if (count_ == capacity_) {
        int32_t grown = capacity_ ? capacity_ * 2 : 64;
        auto* r = static_cast<RtfProtected*>(
            BrioRealloc(ranges_, static_cast<size_t>(grown) * sizeof(RtfProtected)));
        if (!r) return BRIO_ERR_NO_MEMORY;
        ranges_ = r;
        capacity_ = grown;
    }
    ranges_[count_++] = RtfProtected{start, end, endDepth, kind};
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

int32_t RtfSpotFinder::Unit(const RtfContext* c, uint32_t start, uint32_t end, int32_t endDepth) {
    if (!collect_) return 0;
    const Format* f = At(c->depth);
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

int32_t RtfSpotFinder::Token(const RtfContext* c, uint32_t tokenStart) {
    int32_t d = c->depth;
    if (c->tokenKind == kRtfGroup) {
        if (c->tokenText[0] == '{' && d >= 1) {
            Format* parent = At(d - 1);
            Format* here = parent ? At(d) : nullptr;
            if (!here) return BRIO_ERR_NO_MEMORY;
            *here = formats_[d - 1 < 0 ? 0 : d - 1];
        }
        return 0;
    }
    if (tokenStart < referenceEnd_) return 0;
    if (c->tokenKind == kRtfControlWord) {
        if (c->keywordId == kRtfIdPage) return Commit();
        RtfSpotFormat what = RtfSpotFormatOf(c);
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
    if (c->tokenKind != kRtfText) return 0;
    uint32_t end = c->inOffset;
    if (c->tokenLength == 1 && c->tokenText[0] == '\\' && c->pendingLiteral && c->inIsString) {
        const unsigned char* p = reinterpret_cast<const unsigned char*>(c->inPos);
        if (p[0] == '{') {
            int32_t change = 0;
            size_t length = RtfReferenceLength(c->inPos + 1, &change);
            if (length) {
                referenceEnd_ = end + 1 + static_cast<uint32_t>(length);
                int32_t endDepth = d + change;
                int32_t rc = Unit(c, tokenStart, referenceEnd_, endDepth);
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
        end += p[0] == '\'' && HexValue(p[1]) >= 0 && HexValue(p[2]) >= 0 ? 3 : 1;
    }
    return Unit(c, tokenStart, end, d);
}

int32_t RtfSpotFinder::Text(const RtfContext* c, uint32_t start, uint32_t end) {
    if (start < referenceEnd_ || end <= start) return 0;
    return Unit(c, start, end, c->depth);
}

int32_t RtfSpotFinder::Finish(const RtfContext*) {
    return Commit();
}

}  // namespace brio
