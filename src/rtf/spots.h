// Hot spots: what a control word does to the hot-spot formatting, the
// help-compiler references written with escaped braces, and the recogniser
// of the stretches no pass links into or searches.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "rtf/reader.h"

namespace brio {

// What a control word does to the hot-spot formatting of its group. The
// underline words the help compiler takes for a hot spot are \ul, \uld,
// \uldb, \ulw and \strike; a parameter of 0 switches them off.
enum RtfSpotFormat : int32_t {
    kRtfFormatOther = 0,
    kRtfUnderlineOn,
    kRtfUnderlineOff,
    kRtfHiddenOn,
    kRtfHiddenOff,
    kRtfFormatPlain,
};
RtfSpotFormat RtfSpotFormatOf(const RtfReader& r);

// A help-compiler reference written in the text with escaped braces: a
// picture or window ("\{bmc name\}", bml, bmr, ewc, ewl, ewr, in any case)
// or a context marker ("\{#context\}"), also when a word processor split
// it over groups or paragraphs. `p` points just past the "\{"; the result
// is the length up to and with the closing "\}", 0 when there is no such
// reference. *depthChange receives the groups it opens less those it
// closes.
size_t RtfReferenceLength(const char* p, int32_t* depthChange);

// A stretch of the input that no pass links into: from `start` to just
// before `end` (input offsets), with the group depth after it.
struct RtfProtected {
    int32_t start;
    int32_t end;
    int32_t endDepth;
    int32_t kind;  // RtfProtectedKind
};
enum RtfProtectedKind : int32_t { kRtfHotspot = 1, kRtfHidden, kRtfReference };

// The hot-spot recogniser. A hot spot is text in a hot-spot underline
// followed by hidden text, whatever paragraph ends stand in either part;
// hidden text that follows no such text, and references, are protected on
// their own. Fed every token a pass reads (after the pass has pushed or
// popped its group); destination groups the pass skips are never seen.
class RtfSpotFinder {
  public:
    // A finder that does not collect stretches only follows the formatting
    // and the references (for a pass that reads the visible text).
    explicit RtfSpotFinder(bool collect = true) : collect_(collect) {}
    RtfSpotFinder(const RtfSpotFinder&) = delete;
    RtfSpotFinder& operator=(const RtfSpotFinder&) = delete;

    // The token in hand, which began at `tokenStart`. 0 or 2005.
    int32_t Token(const RtfReader& r, uint32_t tokenStart);
    // Text units from `start` to `end` in the formatting of the token in
    // hand (a run of plain characters after it). 0 or 2005.
    int32_t Text(const RtfReader& r, uint32_t start, uint32_t end);
    // Commits what is open at the end of the text. 0 or 2005.
    int32_t Finish();
    // Whether text at the current position is hidden or inside a reference:
    // not part of the visible text.
    bool Hidden(const RtfReader& r) const;
    bool InReference(uint32_t offset) const { return offset < referenceEnd_; }

    const RtfProtected* ranges() const { return ranges_.data(); }
    int32_t count() const { return static_cast<int32_t>(ranges_.size()); }

  private:
    struct Format {
        int32_t underlineSince;  // offset of the word that switched it on, -1 off
        int32_t hiddenSince;
    };
    Format* At(int32_t depth);
    int32_t Unit(const RtfReader& r, uint32_t start, uint32_t end, int32_t depth);
    int32_t Commit();
    int32_t Push(int32_t start, int32_t end, int32_t endDepth, int32_t kind);

    bool collect_;
    std::vector<Format> formats_;  // by depth
    std::vector<RtfProtected> ranges_;
    // The stretch being collected: kind 0 none, else a kind; for a hot spot
    // `hiddenSeen` tells whether its hidden part has begun.
    int32_t openKind_ = 0;
    bool hiddenSeen_ = false;
    int32_t openStart_ = -1;
    int32_t openEnd_ = -1;
    int32_t openEndDepth_ = 0;
    int32_t lastEnd_ = 0;  // end of the last committed stretch
    uint32_t referenceEnd_ = 0;
    // References in underlined text not yet known to be a hot spot.
    static constexpr int32_t kHeld = 8;
    RtfProtected held_[kHeld];
    int32_t heldCount_ = 0;
};

}  // namespace brio
