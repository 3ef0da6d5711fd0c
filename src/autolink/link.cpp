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

struct Candidate {
    uint32_t start;  // input offset of the word's first character
    uint32_t end;    // just past its last character
    int32_t depth;   // group depth at its last character
};

class LinkWriter {
  public:
    LinkWriter(RtfContext* c, AutolinkDictionary* d, const AutolinkScanState* scan,
               size_t inputLength)
        : c_(c),
          d_(d),
          scan_(scan),
          inputLength_(inputLength),
          wordBytes_(RtfWordBytes(c->codePage)) {
        RtfCharStyleRef(c, kRtfAutolinkStyleName, styleRef_);
    }

    int32_t Run();

  private:
    int32_t HandleToken(uint32_t tokenStart);
    int32_t HandleText(uint32_t tokenStart);
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
    // Whether a token that begins at `at` lies in a stretch copied as it
    // stands, and that copy.
    bool InProtected(uint32_t at);
    int32_t CopyProtected(uint32_t at);
    // Where the next protected stretch starts (the end of the input if none).
    uint32_t NextProtected() const {
        const RtfSpotFinder& s = scan_->spots;
        return protectedIndex_ < s.count()
                   ? static_cast<uint32_t>(s.ranges()[protectedIndex_].start)
                   : static_cast<uint32_t>(inputLength_);
    }
    void ClearRun() {
        candidates_.clear();
        c_->suppressOutput = 0;
        c_->candidateLast = -1;
    }

    RtfContext* c_;
    AutolinkDictionary* d_;
    const AutolinkScanState* scan_;
    size_t inputLength_;
    const unsigned char* wordBytes_;
    char styleRef_[kRtfStyleRefSize] = {0};
    std::string word_;
    BrioVector<Candidate> candidates_;
    int32_t protectedIndex_ = 0;
    uint32_t tokenStart_ = 0;  // where the token in hand began
};

int32_t LinkWriter::Run() {
    int32_t rc = RtfSeek(c_, 0);
    if (rc) return rc;
    c_->depth = c_->baseDepth;
    c_->suppressOutput = 0;
    c_->candidateLast = -1;
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

bool LinkWriter::InProtected(uint32_t at) {
    const RtfSpotFinder& s = scan_->spots;
    while (protectedIndex_ < s.count() &&
           static_cast<uint32_t>(s.ranges()[protectedIndex_].end) <= at)
        ++protectedIndex_;
    return protectedIndex_ < s.count() &&
           static_cast<uint32_t>(s.ranges()[protectedIndex_].start) <= at;
}

int32_t LinkWriter::CopyProtected(uint32_t at) {
    const RtfProtected& r = scan_->spots.ranges()[protectedIndex_];
    // The copy never runs past the input.
    size_t to = static_cast<size_t>(r.end);
    if (to > inputLength_) to = inputLength_;
    int32_t rc = 0;
    if (to > at) rc = Write(c_->inText + at, to - at);
    if (rc == 0) rc = RtfSeek(c_, static_cast<uint32_t>(to));
    c_->depth = r.endDepth;
    ++protectedIndex_;
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
    if (InProtected(tokenStart)) {
        // A hot spot, hidden text or a reference: copied as it stands. A run
        // held before it ends here; when it rewinds, this token comes again.
        bool rewound = false;
        int32_t rc = EndRunHere(&rewound);
        if (rc || rewound) return rc;
        return CopyProtected(tokenStart);
    }
    switch (c_->tokenKind) {
        case kRtfGroup: {
            // A brace ends the run; when the run rewinds, the brace is read
            // again later.
            bool rewound = false;
            bool stray = false;
            if (c_->tokenText[0] == '{') {
                RtfPushGroup(c_);
            } else if (RtfIsStrayClose(c_)) {
                stray = true;
            } else {
                RtfPopGroup(c_);
            }
            int32_t rc = EndRunHere(&rewound);
            if (rc || rewound) return rc;
            return stray ? 0 : RtfWriteToken(c_);
        }
        case kRtfControlWord: {
            if (c_->keywordClass == kRtfSymbol) {
                bool rewound = false;
                int32_t rc = EndRunHere(&rewound);
                if (rc || rewound) return rc;
            }
            int32_t rc = RtfWriteToken(c_);
            if (rc) return rc;
            if (RtfIsSkippedDestination(c_)) {
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
    RtfUnit unit;
    int32_t rc = 0;
    unsigned char first = static_cast<unsigned char>(c_->tokenText[0]);
    if (c_->tokenLength == 1 && first != '\\' && !RtfIsLeadByte(c_->codePage, first)) {
        // The common case, one plain character, without the call.
        unit.kind = RtfUnit::kPlain;
        unit.content[0] = static_cast<char>(first);
        unit.contentLength = 1;
    } else if ((rc = RtfReadUnit(c_, &unit)) != 0) {
        return rc;
    }
    bool rewound = false;
    std::string_view content(unit.content, static_cast<size_t>(unit.contentLength));
    if (unit.kind == RtfUnit::kOptionalHyphen) {
        // Not part of the word ('auto\-link' matches 'autolink'); held back
        // with a run, else written where it stands.
        if (c_->suppressOutput) return 0;
        return RtfWriteToken(c_);
    }
    if (RtfUnitIsWordChar(unit, wordBytes_)) {
        rc = AddToWord(content, tokenStart);
        if (rc == 0 && !c_->pendingLiteral) {
            // The word characters that follow belong to the same word, up to
            // a protected stretch.
            size_t n = RtfPlainWordBytes(c_->inPos, c_->codePage, wordBytes_);
            uint32_t limit = NextProtected();
            if (limit > c_->inOffset && n > limit - c_->inOffset) n = limit - c_->inOffset;
            if (n && word_.size() + n <= static_cast<size_t>(kMaxWord)) {
                word_.append(c_->inPos, n);
                RtfSkipPlain(c_, n);
                candidates_.back().end = c_->inOffset;
                c_->wordLength = static_cast<int32_t>(word_.size());
            }
        }
        return rc;
    }
    char ch = unit.content[0];
    if (unit.kind == RtfUnit::kPlain && (ch == ' ' || ch == '\t')) {
        rc = FlushWord(&rewound);
        if (rc || rewound) return rc;
        return RtfWriteToken(c_);
    }
    // Punctuation and symbols are words of their own.
    rc = FlushWord(&rewound);
    if (rc || rewound) return rc;
    rc = AddToWord(content, tokenStart);
    if (rc) return rc;
    return FlushWord(&rewound);
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
    RtfOpenText(&c, rtf);
    c.outIsBuffer = 1;
    c.userData = reinterpret_cast<uintptr_t>(dictionary);
    c.linkColour = linkColour;
    c.candidateLast = -1;
    char contextText[kContextTextSize] = {0};
    c.contextText = contextText;
    c.contextTextSize = static_cast<int32_t>(kContextTextSize);

    int32_t status = 0;
    try {
        AutolinkScanState scan;
        status = AutolinkScanBegin(&c, &scan);
        for (; status == 0;) {
            uint32_t tokenStart = c.inOffset;
            int32_t rc = RtfNextToken(&c);
            if (rc == -1) break;
            if (rc == 0) rc = AutolinkScanToken(&c, &scan, tokenStart);
            if (rc) {
                status = rc;
                break;
            }
            if (c.tokenKind == kRtfText) {
                // More text characters change only the footnote mode.
                size_t n = RtfPlainRun(&c);
                for (size_t i = 0; i < n; ++i)
                    c.footnoteMode = c.footnoteMode == 0 && c.inPos[i] == '#' ? 1 : 0;
                status = scan.spots.Text(&c, c.inOffset, c.inOffset + static_cast<uint32_t>(n));
                RtfSkipPlain(&c, n);
            }
        }
        // A fragment is a piece of a document: as its start may close groups
        // opened before it, its end may leave groups for the text after it.
        if (status == 0 && (c.baseDepth == 0 ? c.depth != 0 : c.depth < c.baseDepth))
            status = BRIO_ERR_GROUPS_OPEN;
        if (status == 0) status = scan.spots.Finish(&c);
        if (status == 0) status = RtfFragmentStyles(&c);
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
