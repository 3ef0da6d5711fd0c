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

// Copies a short piece by two overlapping moves of fixed size, which the
// compiler turns into plain loads and stores, and returns the end.
char* CopyShort(char* to, std::string_view from) {
    const char* p = from.data();
    size_t n = from.size();
    if (n >= 16) {
        std::memcpy(to, p, n);
    } else if (n >= 8) {
        std::memcpy(to, p, 8);
        std::memcpy(to + n - 8, p + n - 8, 8);
    } else if (n >= 4) {
        std::memcpy(to, p, 4);
        std::memcpy(to + n - 4, p + n - 4, 4);
    } else {
        for (size_t i = 0; i < n; ++i) to[i] = p[i];
    }
    return to + n;
}

// Copies a piece whose source has 16 bytes or more to read: 16 at once and
// the rest (rarely any) after, into room that takes the overrun.
char* CopyPadded(char* to, std::string_view from) {
    std::memcpy(to, from.data(), 16);
    if (from.size() > 16) std::memcpy(to + 16, from.data() + 16, from.size() - 16);
    return to + from.size();
}

struct Candidate {
    uint32_t start;   // input offset of the word's first character
    uint32_t end;     // just past its last character
    int32_t depth;    // group depth at its last character
    uint32_t length;  // the bytes of the word
};

class LinkWriter {
  public:
    LinkWriter(const char* rtf, RtfSink& out, AutolinkDictionary* d, const AutolinkScan& scan,
               uint32_t linkColour)
        : r_(rtf),
          out_(out),
          d_(d),
          spots_(scan.Spots()),
          inputLength_(std::strlen(r_.Input())),
          wordBytes_(RtfWordBytes(r_.CodePage())) {
        char styleRef[kRtfStyleRefSize];
        scan.Styles().Ref(kRtfAutolinkStyleName, styleRef);
        std::string head = std::string("{") + styleRef;
        if (linkColour != 0) head += "\\cf" + std::to_string(static_cast<int32_t>(linkColour));
        jumpHead_ = head + "\\uldb ";
        popupHead_ = head + "\\ul ";
        hiddenHead_ = std::string("{") + styleRef + "\\v ";
        targetHead_ = "}" + hiddenHead_;
        // The heads are copied 16 bytes at a time.
        for (std::string* s : {&jumpHead_, &popupHead_, &targetHead_}) s->reserve(s->size() + 16);
        for (int b = 0; b < 256; ++b) {
            unsigned char c = static_cast<unsigned char>(b);
            plainKind_[b] = !RtfIsPlain(c) || RtfIsLeadByte(r_.CodePage(), c) ? kNotPlain
                            : wordBytes_[c]                                   ? kWordByte
                            : c == ' ' || c == '\t'                           ? kBlankByte
                                                                              : kOtherByte;
        }
        SetProtectedIndex(0);
    }

    int32_t Run();

  private:
    int32_t RunTokens();
    int32_t HandleToken(uint32_t tokenStart);
    int32_t HandleText(uint32_t tokenStart);
    // A text token that is one plain byte of a single-byte character, not
    // yet read.
    int32_t PlainCharacter(uint32_t tokenStart);
    int32_t WordCharacter(std::string_view content, uint32_t tokenStart);
    int32_t Blank();
    int32_t Symbol(std::string_view content, uint32_t tokenStart);
    int32_t AddToWord(std::string_view content, uint32_t unitStart);
    int32_t FlushWord(bool* rewound);
    // Flushes and ends a run held back at the token in hand.
    int32_t EndRunHere(bool* rewound);
    int32_t EndRun(bool* rewound);
    int32_t Resolve(bool runEnds, bool* rewound);
    int32_t GiveBackFirstWord(bool* rewound);
    int32_t WriteLinkedStretch(MatchVerdict verdict, uint32_t start, uint32_t end,
                               const AutolinkTerm* term);
    // Drops every held word but the last, the word in hand, and hands that
    // to the dictionary from the root: held if it may start a term, else
    // written.
    int32_t TryLastFromRoot();
    int32_t WritePiece(const char* text, size_t length, MatchVerdict verdict);
    // A stretch that is one piece of text (of the input): the link and its
    // target at once.
    int32_t WriteLink(MatchVerdict verdict, std::string_view text, const AutolinkTerm* term);
    // Input bytes written back to back are held as one pending stretch
    // and copied in one piece once anything else is written. (Text with
    // few terms: +5 %.)
    int32_t Write(const char* data, size_t length) {
        if (data == pendingEnd_) {
            pendingEnd_ += length;
            return 0;
        }
        return WriteApart(data, length);
    }
    int32_t WriteApart(const char* data, size_t length);
    int32_t FlushPending() {
        const char* from = pendingStart_;
        size_t n = static_cast<size_t>(pendingEnd_ - from);
        pendingStart_ = pendingEnd_ = nullptr;
        return n ? out_.Append(from, n) : 0;
    }
    // The token in hand, unless a run is held back: the run is written
    // from the input once the dictionary has decided.
    int32_t WriteToken() {
        if (holding_) return 0;
        return Write(r_.Text(), static_cast<size_t>(r_.Length()));
    }
    // Whether a token that begins at `at` lies in a stretch copied as it
    // stands, and that copy.
    bool InProtected(uint32_t at) { return at >= protectedFrom_ && InProtectedSlow(at); }
    bool InProtectedSlow(uint32_t at);
    // Below protectedFrom_, a token lies before the next stretch: no walk
    // over the ranges per token, as for the next stretch's start. (Text with
    // few terms +5 %, term-dense text +3 %.)
    void SetProtectedIndex(int32_t index) {
        protectedIndex_ = index;
        protectedFrom_ = UINT32_MAX;
        protectedStart_ = static_cast<uint32_t>(inputLength_);
        if (index < spots_.count()) {
            const RtfProtected& range = spots_.ranges()[index];
            protectedFrom_ =
                static_cast<uint32_t>(range.start < range.end ? range.start : range.end);
            protectedStart_ = static_cast<uint32_t>(range.start);
        }
    }
    int32_t CopyProtected(uint32_t at);
    // Where the next protected stretch starts (the end of the input if none).
    uint32_t NextProtected() const { return protectedStart_; }
    void ClearRun() {
        candidates_.clear();
        holding_ = false;
    }

    RtfReader r_;
    RtfSink& out_;
    AutolinkDictionary* d_;
    const RtfSpotFinder& spots_;
    size_t inputLength_;
    const unsigned char* wordBytes_;
    // What each byte is as a one-byte text token of the code page.
    enum PlainKind : unsigned char { kNotPlain, kWordByte, kBlankByte, kOtherByte };
    PlainKind plainKind_[256];
    // What opens a link's text, and its hidden target.
    std::string jumpHead_, popupHead_, hiddenHead_;
    std::string targetHead_;  // what ends a link's text and opens its target
    // The word in hand: a fixed buffer, as no word may be longer, and at
    // least the 16 bytes that the dictionary reads of a word at once.
    char word_[kMaxWord];
    static_assert(kMaxWord >= 16, "the dictionary reads 16 bytes of a word");
    size_t wordLength_ = 0;
    std::string_view Word() const { return std::string_view(word_, wordLength_); }
    BrioVector<Candidate> candidates_;
    int32_t protectedIndex_ = 0;
    uint32_t protectedFrom_ = 0;
    uint32_t protectedStart_ = 0;
    uint32_t tokenStart_ = 0;  // where the token in hand began
    bool holding_ = false;     // a run of words is held back
    const char* pendingStart_ = nullptr;
    const char* pendingEnd_ = nullptr;
};

int32_t LinkWriter::WriteApart(const char* data, size_t length) {
    int32_t rc = FlushPending();
    if (rc) return rc;
    const char* input = r_.Input();
    if (data >= input && data < input + inputLength_) {
        pendingStart_ = data;
        pendingEnd_ = data + length;
        return 0;
    }
    return out_.Append(data, length);
}

int32_t LinkWriter::Run() {
    int32_t rc = RunTokens();
    int32_t flushed = FlushPending();
    return rc ? rc : flushed;
}

int32_t LinkWriter::RunTokens() {
    for (;;) {
        uint32_t tokenStart = r_.Offset();
        // A plain character outside the protected stretches, without the
        // tokenizer and the checks for the other kinds. (Term-dense text +X %.)
        if (tokenStart < protectedFrom_ &&
            plainKind_[static_cast<unsigned char>(*r_.Pos())] != kNotPlain &&
            !r_.PendingLiteral()) {
            int32_t rc = PlainCharacter(tokenStart);
            if (rc) return rc;
            continue;
        }
        int32_t rc = r_.Next();
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

bool LinkWriter::InProtectedSlow(uint32_t at) {
    int32_t index = protectedIndex_;
    while (index < spots_.count() && static_cast<uint32_t>(spots_.ranges()[index].end) <= at)
        ++index;
    SetProtectedIndex(index);
    return protectedIndex_ < spots_.count() &&
           static_cast<uint32_t>(spots_.ranges()[protectedIndex_].start) <= at;
}

int32_t LinkWriter::CopyProtected(uint32_t at) {
    const RtfProtected& range = spots_.ranges()[protectedIndex_];
    // The copy never runs past the input.
    size_t to = static_cast<size_t>(range.end);
    if (to > inputLength_) to = inputLength_;
    int32_t rc = 0;
    if (to > at) rc = Write(r_.Input() + at, to - at);
    r_.Seek(static_cast<uint32_t>(to));
    r_.SetDepth(range.endDepth);
    SetProtectedIndex(protectedIndex_ + 1);
    return rc;
}

int32_t LinkWriter::EndRunHere(bool* rewound) {
    *rewound = false;
    if (!holding_) return 0;
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
    switch (r_.Kind()) {
        case kRtfGroup: {
            // A brace ends the run; when the run rewinds, the brace is read
            // again later.
            bool rewound = false;
            bool stray = false;
            if (r_.First() == '{') {
                r_.Push();
            } else if (r_.IsStrayClose()) {
                stray = true;
            } else {
                r_.Pop();
            }
            int32_t rc = EndRunHere(&rewound);
            if (rc || rewound) return rc;
            return stray ? 0 : WriteToken();
        }
        case kRtfControlWord: {
            if (r_.Class() == kRtfSymbol) {
                bool rewound = false;
                int32_t rc = EndRunHere(&rewound);
                if (rc || rewound) return rc;
            }
            int32_t rc = WriteToken();
            if (rc) return rc;
            if (r_.IsSkippedDestination()) {
                rc = FlushPending();
                if (rc) return rc;
                if (r_.Id() == kRtfKwStylesheet) {
                    // Only a full output buffer is worth reporting here.
                    return RtfCopyStylesheet(r_, out_) == BRIO_ERR_NO_MEMORY ? BRIO_ERR_NO_MEMORY
                                                                             : 0;
                }
                return r_.CopyGroup(holding_ ? nullptr : &out_);
            }
            return 0;
        }
        case kRtfText:
            return HandleText(tokenStart);
        default:
            return WriteToken();
    }
}

int32_t LinkWriter::AddToWord(std::string_view content, uint32_t unitStart) {
    if (wordLength_ + content.size() > static_cast<size_t>(kMaxWord)) return BRIO_ERR_WORD_TOO_LONG;
    try {
        if (wordLength_ == 0) candidates_.push_back(Candidate{unitStart, 0, 0, 0});
    } catch (const std::bad_alloc&) {
        return BRIO_ERR_NO_MEMORY;
    }
    // A unit is at most four bytes: copied without the call.
    for (char c : content) word_[wordLength_++] = c;
    Candidate& last = candidates_.back();
    last.end = r_.Offset();
    last.depth = r_.Depth();
    last.length = static_cast<uint32_t>(wordLength_);
    holding_ = true;
    return 0;
}

int32_t LinkWriter::HandleText(uint32_t tokenStart) {
    RtfUnit unit;
    int32_t rc = r_.ReadUnit(&unit);
    if (rc) return rc;
    std::string_view content(unit.content, static_cast<size_t>(unit.contentLength));
    if (unit.kind == RtfUnit::kOptionalHyphen) {
        // Not part of the word ('auto\-link' matches 'autolink'); held back
        // with a run, else written where it stands.
        return WriteToken();
    }
    if (RtfUnitIsWordChar(unit, wordBytes_)) return WordCharacter(content, tokenStart);
    char ch = unit.content[0];
    if (unit.kind == RtfUnit::kPlain && (ch == ' ' || ch == '\t')) return Blank();
    return Symbol(content, tokenStart);
}

int32_t LinkWriter::PlainCharacter(uint32_t tokenStart) {
    tokenStart_ = tokenStart;
    const char* at = r_.Pos();
    r_.SkipPlain(1);
    switch (plainKind_[static_cast<unsigned char>(*at)]) {
        case kWordByte:
            return WordCharacter(std::string_view(at, 1), tokenStart);
        case kBlankByte:
            return Blank();
        default:
            return Symbol(std::string_view(at, 1), tokenStart);
    }
}

int32_t LinkWriter::WordCharacter(std::string_view content, uint32_t tokenStart) {
    int32_t rc = AddToWord(content, tokenStart);
    if (rc != 0 || r_.PendingLiteral()) return rc;
    // The word characters that follow belong to the same word, up to a
    // protected stretch; copied while counted (term-dense text +1.5 %).
    size_t n =
        RtfTakePlainWordBytes(r_.Pos(), r_.Input() + inputLength_ + 1, r_.CodePage(), wordBytes_,
                              word_ + wordLength_, static_cast<size_t>(kMaxWord) - wordLength_);
    uint32_t at = r_.Offset();
    uint32_t limit = NextProtected();
    if (limit > at && n > limit - at) n = limit - at;
    if (n && wordLength_ + n <= static_cast<size_t>(kMaxWord)) {
        wordLength_ += n;
        r_.SkipPlain(n);
        candidates_.back().end = r_.Offset();
        candidates_.back().length = static_cast<uint32_t>(wordLength_);
    }
    return 0;
}

int32_t LinkWriter::Blank() {
    bool rewound = false;
    int32_t rc = FlushWord(&rewound);
    if (rc || rewound) return rc;
    return WriteToken();
}

// Punctuation and symbols are words of their own.
int32_t LinkWriter::Symbol(std::string_view content, uint32_t tokenStart) {
    bool rewound = false;
    int32_t rc = FlushWord(&rewound);
    if (rc || rewound) return rc;
    rc = AddToWord(content, tokenStart);
    if (rc) return rc;
    return FlushWord(&rewound);
}

int32_t LinkWriter::FlushWord(bool* rewound) {
    *rewound = false;
    if (wordLength_ == 0) return 0;
    return Resolve(false, rewound);
}

int32_t LinkWriter::EndRun(bool* rewound) {
    *rewound = false;
    if (wordLength_ != 0) {
        int32_t rc = FlushWord(rewound);
        if (rc || *rewound) return rc;
    }
    // Nothing held: the dictionary's walk is at its root already.
    if (candidates_.empty()) return 0;
    return Resolve(true, rewound);
}

int32_t LinkWriter::GiveBackFirstWord(bool* rewound) {
    const Candidate first = candidates_.front();
    size_t to = first.end;
    if (to > inputLength_) to = inputLength_;
    if (to > first.start) {
        int32_t rc = Write(r_.Input() + first.start, to - first.start);
        if (rc) return rc;
    }
    r_.Seek(static_cast<uint32_t>(to));
    r_.SetDepth(first.depth);
    ClearRun();
    *rewound = true;
    return 0;
}

int32_t LinkWriter::Resolve(bool runEnds, bool* rewound) {
    *rewound = false;
    MatchVerdict verdict = NoMatch;
    int32_t count = 0;
    const AutolinkTerm* term = nullptr;
    std::string_view word = runEnds ? std::string_view() : Word();
    try {
        d_->MatchWord(word, &verdict, &count, &term);
    } catch (const std::bad_alloc&) {
        return BRIO_ERR_NO_MEMORY;
    }
    if (verdict == Continue || candidates_.empty()) {
        wordLength_ = 0;
        return 0;
    }
    if (verdict == NoMatch) {
        // Where nothing is held after the word in hand, giving back the first
        // word and reading on from there comes to the same as writing it
        // out, with what lies before the next word, and trying the word in
        // hand from the root: the input is not read again.
        const Candidate last = candidates_.back();
        bool nothingAfter = last.end == tokenStart_ || last.end == r_.Offset();
        if (nothingAfter && candidates_.size() == 1) {
            wordLength_ = 0;
            int32_t rc = Write(r_.Input() + last.start, last.end - last.start);
            ClearRun();
            return rc;
        }
        if (nothingAfter && candidates_.size() == 2 && !runEnds) {
            const Candidate first = candidates_.front();
            int32_t rc = Write(r_.Input() + first.start, last.start - first.start);
            if (rc) return rc;
            return TryLastFromRoot();
        }
        wordLength_ = 0;
        return GiveBackFirstWord(rewound);
    }
    if (runEnds) --count;
    const Candidate last = candidates_.back();
    if (count == 1 && !runEnds && candidates_.size() >= 2 &&
        (last.end == tokenStart_ || last.end == r_.Offset())) {
        // The match ends at the word before the one in hand, and nothing is
        // held after that: the link, what lies between, and the word in
        // hand tried from the root, as reading on from the match's end
        // would. (Term-dense text: 31 -> 34 MB/s.)
        const Candidate matchEnd = candidates_[candidates_.size() - 2];
        const char* input = r_.Input();
        // A word whose input is as long as its text is plain bytes, but for
        // a control symbol: the link at once. (Term-dense text +2 %.)
        bool plainWord = candidates_.size() == 2 &&
                         matchEnd.end - matchEnd.start == matchEnd.length &&
                         input[matchEnd.start] != '\\';
        int32_t rc =
            plainWord ? WriteLink(verdict,
                                  std::string_view(input + matchEnd.start, matchEnd.length), term)
                      : WriteLinkedStretch(verdict, candidates_.front().start, matchEnd.end, term);
        if (rc == 0 && last.start > matchEnd.end)
            rc = Write(r_.Input() + matchEnd.end, last.start - matchEnd.end);
        if (rc) return rc;
        return TryLastFromRoot();
    }
    wordLength_ = 0;
    int32_t index = static_cast<int32_t>(candidates_.size()) - 1 - count;
    if (index < 0 || index >= static_cast<int32_t>(candidates_.size()))
        return GiveBackFirstWord(rewound);
    const Candidate matchEnd = candidates_[static_cast<size_t>(index)];
    const uint32_t start = candidates_.front().start;
    r_.SetDepth(matchEnd.depth);
    r_.Seek(start);
    ClearRun();
    int32_t rc = WriteLinkedStretch(verdict, start, matchEnd.end, term);
    if (rc) return rc;
    r_.ClearToken();
    *rewound = true;
    r_.Seek(matchEnd.end);
    return 0;
}

int32_t LinkWriter::TryLastFromRoot() {
    const Candidate last = candidates_.back();
    candidates_.erase(candidates_.begin(), candidates_.end() - 1);
    MatchVerdict verdict = NoMatch;
    int32_t count = 0;
    const AutolinkTerm* term = nullptr;
    try {
        // The dictionary still holds the word prepared from the call that
        // ended the walk.
        d_->MatchWordAgain(&verdict, &count, &term);
    } catch (const std::bad_alloc&) {
        return BRIO_ERR_NO_MEMORY;
    }
    wordLength_ = 0;
    if (verdict == Continue) return 0;
    int32_t rc = Write(r_.Input() + last.start, last.end - last.start);
    ClearRun();
    return rc;
}

// Reads the matched stretch again through a snapshot of the reader: text
// goes to the link, formatting between the pieces of text is written as it
// stands.
int32_t LinkWriter::WriteLinkedStretch(MatchVerdict verdict, uint32_t start, uint32_t end,
                                       const AutolinkTerm* term) {
    const char* input = r_.Input();
    uint32_t plain = start;
    while (plain < end && RtfIsPlain(static_cast<unsigned char>(input[plain]))) ++plain;
    if (plain == end) return WriteLink(verdict, std::string_view(input + start, end - start), term);
    RtfReader snapshot = r_;
    snapshot.Seek(start);
    // The text tokens between two formatting tokens lie back to back.
    const char* text = nullptr;
    size_t textLength = 0;
    while (snapshot.Offset() < end) {
        // Plain bytes are text tokens of one byte each: taken as one run.
        size_t run = 0;
        const size_t room = end - snapshot.Offset();
        const char* at = snapshot.Pos();
        if (!snapshot.PendingLiteral())
            while (run < room && RtfIsPlain(static_cast<unsigned char>(at[run]))) ++run;
        if (run > 0) {
            if (textLength == 0) text = at;
            textLength += run;
            snapshot.SkipPlain(run);
            continue;
        }
        int32_t rc = snapshot.Next();
        if (rc == -1) return BRIO_ERR_UNEXPECTED_END;
        if (rc) return rc;
        const char* token = snapshot.Text();
        size_t length = static_cast<size_t>(snapshot.Length());
        if (snapshot.Kind() == kRtfText) {
            if (textLength == 0) text = token;
            textLength += length;
            continue;
        }
        if (textLength > 0) {
            rc = WritePiece(text, textLength, verdict);
            if (rc) return rc;
            textLength = 0;
        }
        rc = Write(token, length);
        if (rc) return rc;
    }
    if (textLength > 0) {
        int32_t rc = WritePiece(text, textLength, verdict);
        if (rc) return rc;
    }
    if (verdict == Suppressed || !term) return 0;
    int32_t rc = Write(hiddenHead_.data(), hiddenHead_.size());
    if (rc == 0) rc = Write(term->target.data(), term->target.size());
    return rc == 0 ? Write("}", 1) : rc;
}

int32_t LinkWriter::WriteLink(MatchVerdict verdict, std::string_view text,
                              const AutolinkTerm* term) {
    if (verdict == Suppressed) return Write(text.data(), text.size());
    const std::string& head = verdict == LinkJump ? jumpHead_ : popupHead_;
    std::string_view target;
    if (term) target = std::string_view(term->target.data(), term->target.size());
    std::string_view tail = term ? std::string_view(targetHead_) : std::string_view("}");
    // The pending input goes in the same reservation.
    std::string_view pending(pendingStart_, static_cast<size_t>(pendingEnd_ - pendingStart_));
    size_t total =
        pending.size() + head.size() + text.size() + tail.size() + target.size() + (term ? 1 : 0);
    // One reservation, and the pieces of input and the heads copied 16 bytes
    // at a time: no branch on each length. (Term-dense text +X %.)
    if (char* to = out_.Room(total + 16)) {
        const char* inputEnd = r_.Input() + inputLength_ + 1;
        auto fromInput = [inputEnd](char* at, std::string_view piece) {
            return inputEnd - piece.data() >= 16 ? CopyPadded(at, piece) : CopyShort(at, piece);
        };
        char* at = pending.empty() ? to : fromInput(to, pending);
        at = CopyPadded(at, head);
        at = fromInput(at, text);
        at = term ? CopyShort(CopyPadded(at, tail), target) : CopyShort(at, tail);
        if (term) *at = '}';
        out_.Commit(total);
        pendingStart_ = pendingEnd_ = nullptr;
        return 0;
    }
    int32_t rc = FlushPending();
    std::string_view parts[5] = {head, text, tail, target, term ? "}" : ""};
    for (size_t i = 0; rc == 0 && i < 5; ++i) rc = Write(parts[i].data(), parts[i].size());
    return rc;
}

int32_t LinkWriter::WritePiece(const char* text, size_t length, MatchVerdict verdict) {
    if (verdict == Suppressed) return Write(text, length);
    const std::string& head = verdict == LinkJump ? jumpHead_ : popupHead_;
    int32_t rc = Write(head.data(), head.size());
    if (rc == 0) rc = Write(text, length);
    return rc == 0 ? Write("}", 1) : rc;
}

}  // namespace

int32_t AutolinkRun(AutolinkDictionary* dictionary, const char* rtf, uint32_t linkColour,
                    char** output, size_t* outputLength, size_t* outputCapacity) {
    *output = nullptr;
    *outputLength = 0;
    *outputCapacity = 0;
    int32_t status = 0;
    try {
        AutolinkScan scan(rtf);
        status = scan.Run();
        if (status == 0) {
            RtfSink sink;
            size_t spareCapacity = 0;
            if (char* spare = dictionary->TakeLastResult(rtf, &spareCapacity))
                sink.Adopt(spare, spareCapacity);
            size_t inputLength = std::strlen(rtf);
            status = sink.Reserve(inputLength + inputLength / 4);
            if (status == 0) {
                LinkWriter writer(rtf, sink, dictionary, scan, linkColour);
                status = writer.Run();
                *outputLength = sink.Length();
                *outputCapacity = sink.Capacity();
                *output = sink.Release();
            }
        }
    } catch (const std::bad_alloc&) {
        status = BRIO_ERR_NO_MEMORY;
    }
    // The walk may stand inside the trie after a failure.
    dictionary->ResetWalk();
    return status;
}

}  // namespace brio
