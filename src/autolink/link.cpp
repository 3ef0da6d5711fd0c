// The Autolink writing pass: copies the text token by token, holding back
// runs of words while they may still form a term, and rewrites them once the
// dictionary has decided: given back as they were, or as hot spots.
#include <cstring>
#include <new>
#include <string>

#include "autolink/autolink.h"

namespace brio {

namespace {

constexpr int32_t kMaxWord = 511;
constexpr size_t kContextTextSize = 512;

// What one unit of text does to the word being collected.
enum class UnitAction { WordChar, Space, Alone, Hyphen };

struct Candidate {
    uint32_t start;  // input offset of the word's first character
    uint32_t end;    // just past its last character
    int32_t depth;   // group depth at its last character
};

bool IsHexDigit(char ch) {
    return (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f') || (ch >= 'A' && ch <= 'F');
}

int HexValue(char ch) {
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'f') return ch - 'a' + 10;
    return ch - 'A' + 10;
}

// One unit of text: a character, the optional hyphen, a control symbol or a
// hexadecimal escape, as it stands (raw) and as it is matched (content).
struct Unit {
    char raw[4];
    size_t rawLength = 0;
    char content[4];
    size_t contentLength = 0;
    int kind = 0;
    std::string_view Raw() const { return std::string_view(raw, rawLength); }
    std::string_view Content() const { return std::string_view(content, contentLength); }
    void Append(const char* text, size_t length) {
        for (size_t i = 0; i < length && rawLength < sizeof raw; ++i) raw[rawLength++] = text[i];
    }
};

class LinkWriter {
  public:
    LinkWriter(RtfContext* c, AutolinkDictionary* d, const AutolinkScanState* scan,
               size_t inputLength)
        : c_(c), d_(d), scan_(scan), inputLength_(inputLength) {
        RtfCharStyleRef(c, kRtfAutolinkStyleName, styleRef_);
    }

    int32_t Run();

  private:
    int32_t HandleToken(uint32_t tokenStart);
    int32_t HandleText(uint32_t tokenStart);
    int32_t ReadUnit(Unit* unit);
    UnitAction Classify(int kind, std::string_view raw, char ch);
    int32_t AddToWord(std::string_view content, uint32_t unitStart);
    int32_t FlushWord(bool* rewound);
    // Flushes and ends a run held back at the token in hand.
    int32_t EndRunHere(bool* rewound);
    int32_t EndRun(bool* rewound);
    int32_t Resolve(bool runEnds, bool* rewound);
    int32_t GiveBackFirstWord(bool* rewound);
    int32_t WriteLinkedStretch(MatchVerdict verdict, uint32_t end, const AutolinkTerm* term);
    int32_t WritePiece(const std::string& text, MatchVerdict verdict);
    int32_t Write(const char* data, size_t length) { return RtfWriteBytes(c_, data, length); }
    int32_t Write(const std::string& text) { return Write(text.data(), text.size()); }
    bool InLinkRecord(uint32_t brace);
    int32_t CopyLinkRecord();
    void ClearRun() {
        candidates_.clear();
        c_->suppressOutput = 0;
        c_->candidateLast = -1;
        c_->wordState = 0;
    }

    RtfContext* c_;
    AutolinkDictionary* d_;
    const AutolinkScanState* scan_;
    size_t inputLength_;
    char styleRef_[kRtfStyleRefSize] = {0};
    std::string word_;
    BrioVector<Candidate> candidates_;
    size_t linkIndex_ = 0;
    uint32_t tokenStart_ = 0;  // where the token in hand began
};

// Unit kinds read by ReadUnit.
enum UnitKind { kPlain = 0, kSymbol, kHex, kOptionalHyphen };

int32_t LinkWriter::Run() {
    int32_t rc = RtfSeek(c_, 0);
    if (rc) return rc;
    c_->depth = 0;
    c_->suppressOutput = 0;
    c_->candidateLast = -1;
    c_->wordState = 0;
    for (;;) {
        uint32_t tokenStart = c_->inOffset;
        rc = RtfNextToken(c_);
        if (rc == -1) {
            // A run held at the end rewinds: go on from there to the real end.
            tokenStart_ = tokenStart;
            bool rewound = false;
            rc = FlushWord(&rewound);
            if (rc) return rc;
            if (rewound) continue;
            rc = EndRun(&rewound);
            if (rc) return rc;
            if (rewound) continue;
            return 0;
        }
        if (rc) return rc;
        rc = HandleToken(tokenStart);
        if (rc) return rc;
    }
}

bool LinkWriter::InLinkRecord(uint32_t brace) {
    const auto& links = scan_->links;
    while (linkIndex_ < links.size() && static_cast<uint32_t>(links[linkIndex_].end) <= brace)
        ++linkIndex_;
    // Only the { at the hot spot's own start enters it.
    return linkIndex_ < links.size() && static_cast<uint32_t>(links[linkIndex_].start) == brace;
}

int32_t LinkWriter::CopyLinkRecord() {
    const AutolinkLinkRecord& r = scan_->links[linkIndex_];
    // The { has been read; the copy never runs past the input.
    size_t from = c_->inOffset;
    size_t to = static_cast<size_t>(r.end);
    if (to > inputLength_) to = inputLength_;
    int32_t rc = Write("{", 1);
    if (rc) return rc;
    if (to > from) {
        rc = Write(c_->inText + from, to - from);
        if (rc) return rc;
        rc = RtfSeek(c_, static_cast<uint32_t>(to));
    }
    ++linkIndex_;
    return rc;
}

int32_t LinkWriter::EndRunHere(bool* rewound) {
    *rewound = false;
    if (!c_->suppressOutput) return 0;
    int32_t rc = FlushWord(rewound);
    if (rc || *rewound) return rc;
    return EndRun(rewound);
}

int32_t LinkWriter::HandleToken(uint32_t tokenStart) {
    tokenStart_ = tokenStart;
    switch (c_->tokenKind) {
        case kRtfGroup: {
            // A brace ends the run; when the run rewinds, the brace is read
            // again later.
            bool rewound = false;
            if (c_->tokenText[0] == '{') {
                if (InLinkRecord(tokenStart)) {
                    int32_t rc = EndRunHere(&rewound);
                    if (rc || rewound) return rc;
                    return CopyLinkRecord();
                }
                RtfPushGroup(c_);
            } else {
                RtfPopGroup(c_);
            }
            int32_t rc = EndRunHere(&rewound);
            if (rc || rewound) return rc;
            return RtfWriteToken(c_);
        }
        case kRtfControlWord: {
            if (c_->keywordClass == kRtfSymbol) {
                bool rewound = false;
                int32_t rc = EndRunHere(&rewound);
                if (rc || rewound) return rc;
            }
            int32_t rc = RtfWriteToken(c_);
            if (rc) return rc;
            if (c_->keywordClass == kRtfDestination && c_->depth >= 2) {
                if (c_->keywordId == kRtfIdStylesheet) {
                    // Only a full output buffer is worth reporting here.
                    return RtfCopyStylesheet(c_) == BRIO_ERR_NO_MEMORY ? BRIO_ERR_NO_MEMORY : 0;
                }
                return RtfCopyGroup(c_);
            }
            return 0;
        }
        case kRtfText:
            return HandleText(tokenStart);
        default:
            return RtfWriteToken(c_);
    }
}

// A control symbol is one unit: its backslash and the character after it
// (and the two digits of a hexadecimal escape) are never parted.
int32_t LinkWriter::ReadUnit(Unit* unit) {
    unit->Append(RtfTokenText(c_), static_cast<size_t>(c_->tokenLength));
    if (c_->tokenLength == 2 && unit->Raw() == "\\-") {
        unit->kind = kOptionalHyphen;
        return 0;
    }
    if (!(c_->tokenLength == 1 && unit->raw[0] == '\\' && c_->pendingLiteral)) {
        unit->kind = kPlain;
        unit->content[0] = unit->raw[0];
        unit->contentLength = 1;
        return 0;
    }
    int32_t rc = RtfNextToken(c_);
    if (rc == -1) return BRIO_ERR_UNEXPECTED_END;
    if (rc) return rc;
    unit->Append(RtfTokenText(c_), static_cast<size_t>(c_->tokenLength));
    if (unit->raw[1] == '\'' && IsHexDigit(c_->inPos[0]) && IsHexDigit(c_->inPos[1])) {
        char hi = c_->inPos[0];
        char lo = c_->inPos[1];
        for (int i = 0; i < 2; ++i) {
            rc = RtfNextToken(c_);
            if (rc) return rc == -1 ? BRIO_ERR_UNEXPECTED_END : rc;
            unit->Append(RtfTokenText(c_), static_cast<size_t>(c_->tokenLength));
        }
        // Matched as the character it stands for.
        unit->kind = kHex;
        unit->content[0] = static_cast<char>(HexValue(hi) * 16 + HexValue(lo));
        unit->contentLength = 1;
        return 0;
    }
    unit->kind = kSymbol;
    unit->contentLength = unit->rawLength;
    for (size_t i = 0; i < unit->rawLength; ++i) unit->content[i] = unit->raw[i];
    return 0;
}

// The recogniser of bitmap and embedded-window references ('\{bmc x.bmp\}',
// likewise bml, bmr, ewc, ewl, ewr) keeps each one together as one word,
// which never matches a term.
UnitAction LinkWriter::Classify(int kind, std::string_view raw, char ch) {
    int32_t& s = c_->wordState;
    if (kind == kOptionalHyphen) return UnitAction::Hyphen;
    if (kind == kSymbol || kind == kHex) {
        char second = raw[1];
        if (kind == kSymbol && second == '{') {
            if (s != 7 && !word_.empty()) return UnitAction::Alone;  // flushes first
            s = 2;
            return UnitAction::WordChar;
        }
        if (kind == kSymbol && second == '}') {
            bool inside = s == 7;
            s = 0;
            return inside ? UnitAction::WordChar : UnitAction::Alone;
        }
        if (s == 7) return UnitAction::WordChar;
        s = 0;
        return UnitAction::Alone;
    }
    unsigned char u = static_cast<unsigned char>(ch);
    if (s == 0) {
        if (IsAlnumByte(u)) return UnitAction::WordChar;
        return ch == ' ' || ch == '\t' ? UnitAction::Space : UnitAction::Alone;
    }
    if (s == 7) {
        return UnitAction::WordChar;
    }
    switch (ch) {
        case ' ':
        case '\t':
            if (s == 2) return UnitAction::WordChar;
            break;
        case 'b':
            if (s == 2) {
                s = 5;
                return UnitAction::WordChar;
            }
            break;
        case 'e':
            if (s == 2) {
                s = 3;
                return UnitAction::WordChar;
            }
            break;
        case 'm':
            if (s == 5) {
                s = 6;
                return UnitAction::WordChar;
            }
            break;
        case 'w':
            if (s == 3) {
                s = 4;
                return UnitAction::WordChar;
            }
            break;
        case 'c':
        case 'l':
        case 'r':
            if (s == 4 || s == 6) {
                s = 7;
                return UnitAction::WordChar;
            }
            break;
        default:
            break;
    }
    s = 0;
    if (IsAlnumByte(u)) return UnitAction::WordChar;
    return ch == ' ' || ch == '\t' ? UnitAction::Space : UnitAction::Alone;
}

int32_t LinkWriter::AddToWord(std::string_view content, uint32_t unitStart) {
    if (word_.size() + content.size() > static_cast<size_t>(kMaxWord))
        return BRIO_ERR_WORD_TOO_LONG;
    try {
        if (word_.empty()) candidates_.push_back(Candidate{unitStart, 0, 0});
        word_ += content;
    } catch (const std::bad_alloc&) {
        return BRIO_ERR_NO_MEMORY;
    }
    Candidate& last = candidates_.back();
    last.end = c_->inOffset;
    last.depth = c_->depth;
    c_->candidateLast = static_cast<int32_t>(candidates_.size()) - 1;
    c_->wordLength = static_cast<int32_t>(word_.size());
    c_->suppressOutput = 1;
    return 0;
}

int32_t LinkWriter::HandleText(uint32_t tokenStart) {
    Unit unit;
    int32_t rc = ReadUnit(&unit);
    if (rc) return rc;
    const int kind = unit.kind;
    const std::string_view raw = unit.Raw();
    const std::string_view content = unit.Content();
    char ch = raw[0];
    bool startsBitmapRef = kind == kSymbol && raw[1] == '{' && c_->wordState != 7;
    UnitAction action = Classify(kind, raw, ch);
    bool rewound = false;
    switch (action) {
        case UnitAction::Hyphen:
            // Not part of the word ('auto\-link' matches 'autolink'); held
            // back with a run, else written where it stands.
            if (c_->suppressOutput) return 0;
            return RtfWriteToken(c_);
        case UnitAction::WordChar:
            if (startsBitmapRef) {
                // The reference starts a word of its own.
                rc = FlushWord(&rewound);
                if (rc || rewound) return rc;
                c_->wordState = 2;
            }
            rc = AddToWord(content, tokenStart);
            if (rc == 0 && kind == kPlain && c_->wordState == 0) {
                // The letters and digits that follow belong to the same word.
                const char* p = c_->inPos;
                size_t n = 0;
                while (IsAlnumByte(static_cast<unsigned char>(p[n])) && !c_->pendingLiteral) ++n;
                if (n && word_.size() + n <= static_cast<size_t>(kMaxWord)) {
                    word_.append(p, n);
                    RtfSkipPlain(c_, n);
                    candidates_.back().end = c_->inOffset;
                    c_->wordLength = static_cast<int32_t>(word_.size());
                }
            }
            return rc;
        case UnitAction::Space:
            rc = FlushWord(&rewound);
            if (rc || rewound) return rc;
            return RtfWriteToken(c_);
        case UnitAction::Alone:
            rc = FlushWord(&rewound);
            if (rc || rewound) return rc;
            if (startsBitmapRef) {
                c_->wordState = 2;
                return AddToWord(content, tokenStart);
            }
            if (kind == kSymbol && raw[1] == '}') {
                // Outside a reference a closing escaped brace starts a word.
                return AddToWord(content, tokenStart);
            }
            rc = AddToWord(content, tokenStart);
            if (rc) return rc;
            return FlushWord(&rewound);
    }
    return 0;
}

int32_t LinkWriter::FlushWord(bool* rewound) {
    *rewound = false;
    if (word_.empty()) return 0;
    return Resolve(false, rewound);
}

int32_t LinkWriter::EndRun(bool* rewound) {
    *rewound = false;
    if (!word_.empty()) {
        int32_t rc = FlushWord(rewound);
        if (rc || *rewound) return rc;
    }
    // Nothing held: the dictionary's walk is at its root already.
    if (candidates_.empty()) return 0;
    return Resolve(true, rewound);
}

int32_t LinkWriter::GiveBackFirstWord(bool* rewound) {
    const Candidate first = candidates_.front();
    int32_t rc = RtfSeek(c_, first.start);
    if (rc) return rc;
    size_t to = first.end;
    if (to > inputLength_) to = inputLength_;
    if (to > first.start) {
        rc = Write(c_->inText + first.start, to - first.start);
        if (rc) return rc;
    }
    rc = RtfSeek(c_, static_cast<uint32_t>(to));
    if (rc) return rc;
    c_->depth = first.depth;
    ClearRun();
    *rewound = true;
    return 0;
}

int32_t LinkWriter::Resolve(bool runEnds, bool* rewound) {
    *rewound = false;
    MatchVerdict verdict = NoMatch;
    int32_t count = 0;
    const AutolinkTerm* term = nullptr;
    std::string_view word = runEnds ? std::string_view() : std::string_view(word_);
    try {
        d_->MatchWord(word, &verdict, &count, &term);
    } catch (const std::bad_alloc&) {
        return BRIO_ERR_NO_MEMORY;
    }
    c_->wordLength = 0;
    if (verdict == Continue || candidates_.empty()) {
        word_.clear();
        return 0;
    }
    if (verdict == NoMatch) {
        // Where nothing is held after the word in hand, giving back the first
        // word and reading on from there comes to the same as writing it
        // out, with what lies before the next word, and trying the word in
        // hand from the root: the input is not read again.
        const Candidate last = candidates_.back();
        bool nothingAfter = last.end == tokenStart_ || last.end == c_->inOffset;
        if (nothingAfter && candidates_.size() == 1) {
            word_.clear();
            int32_t rc = Write(c_->inText + last.start, last.end - last.start);
            ClearRun();
            return rc;
        }
        if (nothingAfter && candidates_.size() == 2 && !runEnds) {
            const Candidate first = candidates_.front();
            int32_t rc = Write(c_->inText + first.start, last.start - first.start);
            if (rc) return rc;
            candidates_.erase(candidates_.begin());
            c_->candidateLast = 0;
            try {
                d_->MatchWord(word_, &verdict, &count, &term);
            } catch (const std::bad_alloc&) {
                return BRIO_ERR_NO_MEMORY;
            }
            word_.clear();
            if (verdict == Continue) return 0;
            rc = Write(c_->inText + last.start, last.end - last.start);
            ClearRun();
            return rc;
        }
        word_.clear();
        return GiveBackFirstWord(rewound);
    }
    word_.clear();
    if (runEnds) --count;
    int32_t index = static_cast<int32_t>(candidates_.size()) - 1 - count;
    if (index < 0 || index >= static_cast<int32_t>(candidates_.size()))
        return GiveBackFirstWord(rewound);
    const Candidate matchEnd = candidates_[static_cast<size_t>(index)];
    const uint32_t start = candidates_.front().start;
    c_->depth = matchEnd.depth;
    int32_t rc = RtfSeek(c_, start);
    if (rc) return rc;
    ClearRun();
    rc = WriteLinkedStretch(verdict, matchEnd.end, term);
    if (rc) return rc;
    c_->tokenLength = 0;
    c_->tokenText[0] = 0;
    *rewound = true;
    return RtfSeek(c_, matchEnd.end);
}

// Reads the matched stretch again through a snapshot of the context: text
// goes to the link, formatting between the pieces of text is written as it
// stands.
int32_t LinkWriter::WriteLinkedStretch(MatchVerdict verdict, uint32_t end,
                                       const AutolinkTerm* term) {
    RtfContext snapshot = *c_;
    std::string text;
    while (snapshot.inOffset < end) {
        int32_t rc = RtfNextToken(&snapshot);
        if (rc == -1) return BRIO_ERR_UNEXPECTED_END;
        if (rc) return rc;
        const char* token = RtfTokenText(&snapshot);
        size_t length = static_cast<size_t>(snapshot.tokenLength);
        if (snapshot.tokenKind == kRtfText) {
            text.append(token, length);
            continue;
        }
        if (!text.empty()) {
            rc = WritePiece(text, verdict);
            if (rc) return rc;
            text.clear();
        }
        rc = Write(token, length);
        if (rc) return rc;
    }
    if (!text.empty()) {
        int32_t rc = WritePiece(text, verdict);
        if (rc) return rc;
    }
    if (verdict == Suppressed || !term) return 0;
    std::string hidden = "{";
    hidden += styleRef_;
    hidden += "\\v ";
    hidden.append(term->target.data(), term->target.size());
    hidden += "}";
    return Write(hidden);
}

int32_t LinkWriter::WritePiece(const std::string& text, MatchVerdict verdict) {
    if (verdict == Suppressed) return Write(text);
    std::string piece = "{";
    piece += styleRef_;
    if (c_->linkColour != 0) {
        piece += "\\cf";
        piece += std::to_string(static_cast<int32_t>(c_->linkColour));
    }
    piece += verdict == LinkJump ? "\\uldb " : "\\ul ";
    piece += text;
    piece += "}";
    return Write(piece);
}

}  // namespace

int32_t AutolinkRun(AutolinkDictionary* dictionary, const char* rtf, uint32_t linkColour,
                    char** output, size_t* outputLength) {
    *output = nullptr;
    *outputLength = 0;
    RtfContext c;
    std::memset(&c, 0, sizeof c);
    c.inText = rtf;
    c.inPos = rtf;
    c.inIsString = 1;
    c.outIsBuffer = 1;
    c.userData = reinterpret_cast<uintptr_t>(dictionary);
    c.linkColour = linkColour;
    c.candidateLast = -1;
    char contextText[kContextTextSize] = {0};
    c.contextText = contextText;
    c.contextTextSize = static_cast<int32_t>(kContextTextSize);
    RtfResetHotspot(&c);

    int32_t status = 0;
    try {
        AutolinkScanState scan;
        for (;;) {
            int32_t rc = RtfNextToken(&c);
            if (rc == -1) break;
            if (rc == 0) rc = AutolinkScanToken(&c, &scan);
            if (rc) {
                status = rc;
                break;
            }
            if (c.tokenKind == kRtfText) {
                // More text characters change only the footnote mode.
                size_t n = RtfPlainRun(&c);
                for (size_t i = 0; i < n; ++i)
                    c.footnoteMode = c.footnoteMode == 0 && c.inPos[i] == '#' ? 1 : 0;
                RtfSkipPlain(&c, n);
            }
        }
        if (status == 0 && c.depth != 0) status = BRIO_ERR_GROUPS_OPEN;
        if (status == 0) status = RtfRecordHotspot(&c, &scan);
        // The reader always leaves the link style in the table; its absence
        // after a style sheet means there was no memory to add it.
        if (status == 0 && scan.sawStylesheet &&
            !RtfCharStyleRef(&c, kRtfAutolinkStyleName, nullptr))
            status = BRIO_ERR_NO_MEMORY;
        if (status == 0) {
            status = RtfStartBufferOutput(&c);
            size_t inputLength = std::strlen(rtf);
            if (status == 0) status = RtfReserveOutput(&c, inputLength + inputLength / 4);
            if (status == 0) {
                LinkWriter writer(&c, dictionary, &scan, inputLength);
                status = writer.Run();
                *outputLength = static_cast<size_t>(c.outPos - c.outBuffer);
                *output = c.outBuffer;
                c.outBuffer = nullptr;
            }
        }
    } catch (const std::bad_alloc&) {
        status = BRIO_ERR_NO_MEMORY;
    }
    // The walk may stand inside the trie after a failure.
    dictionary->ResetWalk();
    if (c.outBuffer) BrioFree(c.outBuffer);
    c.contextText = nullptr;
    RtfCloseFiles(&c);
    RtfFreeContext(&c);
    return status;
}

}  // namespace brio
