// The writer of the Autolink writing pass: it reads the text token by token
// (link.cpp) and writes the text back with its links (link_out.cpp).
#pragma once

#include <cstring>
#include <string>

#include "autolink/autolink.h"

namespace brio {

// The longest word, in bytes.
constexpr int32_t kMaxWord = 511;

// A word held back while the dictionary decides.
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

}  // namespace brio
