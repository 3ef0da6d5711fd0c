// The Autolink passes over one topic's RTF: the scan pass that finds the
// existing hot spots and reads the style sheet, the link pass that turns
// registered terms into hot spots, and the removal of such links.
#pragma once

#include <cstddef>
#include <cstdint>

#include "autolink/dictionary.h"
#include "rtf/reader.h"
#include "rtf/spots.h"
#include "rtf/styles.h"

namespace brio {

// Reads the whole input once without output: the hot spots, hidden text
// and references that the link pass copies as they stand, the style sheet,
// and whether every context footnote follows a page break.
class AutolinkScan {
  public:
    explicit AutolinkScan(const char* rtf) : reader_(rtf) {}

    // 0 or a code.
    int32_t Run();
    const RtfSpotFinder& Spots() const { return spots_; }
    const RtfStyles& Styles() const { return styles_; }

  private:
    // How far the text has come towards a "#{\footnote": a '#', then the
    // group opened after it.
    enum class Footnote { kNone, kMark, kGroup };

    static Footnote FootnoteAfter(Footnote state, const char* text, size_t n);
    int32_t Token(uint32_t tokenStart);
    int32_t ControlWord(uint32_t tokenStart);

    RtfReader reader_;
    RtfSpotFinder spots_;
    RtfStyles styles_;
    Footnote footnote_ = Footnote::kNone;
    bool pageSeen_ = false;
    bool sawStylesheet_ = false;
};

// Both passes over `rtf`. On return *output is the written text (library
// heap, the caller's; *outputCapacity the size of its block), or null when
// the scan pass failed. The dictionary's last result may serve as that block
// (it is then taken from the dictionary); otherwise it stays, as the text
// may lie in it. 0 or a code.
int32_t AutolinkRun(AutolinkDictionary* dictionary, const char* rtf, uint32_t linkColour,
                    char** output, size_t* outputLength, size_t* outputCapacity);

// The links of the "Autolink;" style taken out again. *output is null on
// failure; the status is -1 after a complete pass.
int32_t AutolinkStrip(const char* rtf, char** output, size_t* outputLength);

}  // namespace brio
