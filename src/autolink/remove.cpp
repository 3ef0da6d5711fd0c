// Removal of Autolink's links: every group that starts with the "Autolink;"
// character style loses its underline, colour and style, and its hidden
// target part goes altogether.
#include <cstring>

#include "autolink/autolink.h"
#include "rtf/spots.h"
#include "rtf/writer.h"

namespace brio {

namespace {

class Stripper {
  public:
    Stripper(const char* rtf, RtfSink& out) : r_(rtf), w_(out) {}

    // Reads the style sheet: without memory for the style table no link
    // would be found, and the text would come back unchanged as if
    // stripped. 0 or 2005.
    int32_t ReadStyles();
    int32_t Run(bool* failed);

  private:
    int32_t StripGroup(bool* failed);
    int32_t Write(const char* data, size_t length, bool controlWord) {
        return w_.Write(data, length, controlWord);
    }
    int32_t WriteToken() { return w_.WriteToken(r_); }
    // Writes a brace and keeps the group depth; *opened tells which it was.
    int32_t EchoBrace(bool* opened) {
        *opened = r_.First() == '{';
        if (!*opened && r_.IsStrayClose()) return 0;
        int32_t rc = WriteToken();
        if (rc == 0) {
            if (*opened)
                r_.Push();
            else
                r_.Pop();
        }
        return rc;
    }
    // A nested destination is copied whole.
    int32_t CopyDestination() {
        int32_t rc = WriteToken();
        if (rc == 0) rc = r_.CopyGroup(&w_.Sink());
        w_.Reset();
        return rc;
    }
    // The text token and the ordinary text characters after it.
    int32_t WriteTextRun() {
        int32_t rc = WriteToken();
        size_t n = r_.PlainRun();
        if (rc == 0 && n) {
            rc = Write(r_.Pos(), n, false);
            r_.SkipPlain(n);
        }
        return rc;
    }

    RtfReader r_;
    RtfStyles styles_;
    // "\cs<n>" of the "Autolink;" style, or empty: then nothing is a link.
    char styleRef_[kRtfStyleRefSize] = {0};
    // A dropped token never lets the control word before it swallow the
    // text after it.
    RtfWordWriter w_;
};

int32_t Stripper::ReadStyles() {
    RtfReader r = r_;
    int32_t status = 0;
    for (;;) {
        if (r.Next() != 0) break;
        if (r.Kind() == kRtfText) {
            r.SkipPlain(r.PlainRun());
        } else if (r.Kind() == kRtfGroup) {
            if (r.First() == '{') {
                r.Push();
            } else if (!r.IsStrayClose()) {
                r.Pop();
            }
        } else if (r.Kind() == kRtfControlWord && r.Class() == kRtfDestination) {
            if (r.Id() == kRtfKwStylesheet) {
                // A sheet that cannot be read is no such failure: the styles
                // read before the fault are used.
                int32_t read = RtfReadStylesheet(r, styles_, nullptr);
                if (read == BRIO_ERR_NO_MEMORY ||
                    (read == 0 && !styles_.Ref(kRtfAutolinkStyleName, nullptr)))
                    status = BRIO_ERR_NO_MEMORY;
                break;
            }
            if (r.IsSkippedDestination()) {
                status = r.CopyGroup(nullptr);
                if (status) break;
            }
        }
    }
    if (status == 0) status = RtfFragmentStyles(r_, styles_);
    styles_.Ref(kRtfAutolinkStyleName, styleRef_);
    return status;
}

int32_t Stripper::Run(bool* failed) {
    bool afterOpenBrace = false;
    for (;;) {
        int32_t rc = r_.Next();
        if (rc) return rc;
        bool opened = false;
        switch (r_.Kind()) {
            case kRtfGroup:
                rc = EchoBrace(&opened);
                if (rc) {
                    *failed = true;
                    return rc;
                }
                break;
            case kRtfControlWord:
                if (r_.IsSkippedDestination()) {
                    rc = CopyDestination();
                    if (rc) {
                        *failed = true;
                        return rc;
                    }
                } else if (afterOpenBrace && styleRef_[0] &&
                           r_.Length() == static_cast<int32_t>(std::strlen(styleRef_)) &&
                           std::memcmp(r_.Text(), styleRef_, std::strlen(styleRef_)) == 0) {
                    // A link group: the style word is the first thing in it.
                    rc = StripGroup(failed);
                    if (rc) return rc;
                } else {
                    rc = WriteToken();
                    if (rc) {
                        *failed = true;
                        return rc;
                    }
                }
                break;
            case kRtfText:
                rc = WriteTextRun();
                if (rc) {
                    *failed = true;
                    return rc;
                }
                break;
            default:
                break;  // line ends of the input do not reach the output
        }
        afterOpenBrace = opened;
    }
}

// Works inside the link group only, tracking its nesting, and stops at its
// closing brace.
int32_t Stripper::StripGroup(bool* failed) {
    size_t brace = w_.Length() - 1;
    int32_t level = 1;
    for (;;) {
        int32_t rc = r_.Next();
        if (rc) return rc;
        switch (r_.Kind()) {
            case kRtfGroup: {
                bool opened = false;
                rc = EchoBrace(&opened);
                if (rc) {
                    *failed = true;
                    return rc;
                }
                if (opened)
                    ++level;
                else if (--level == 0)
                    return 0;
                break;
            }
            case kRtfText:
                rc = WriteTextRun();
                if (rc) {
                    *failed = true;
                    return rc;
                }
                break;
            case kRtfLineEnd:
                break;
            default: {
                RtfKeywordId id = r_.Id();
                if (r_.IsSkippedDestination()) {
                    rc = CopyDestination();
                    if (rc) {
                        *failed = true;
                        return rc;
                    }
                    break;
                }
                if (id == kRtfKwCs || id == kRtfKwCf) break;
                // The rest of the group, the link text, is the main loop's;
                // the writer keeps it apart from a word written before.
                RtfSpotFormat format = RtfSpotFormatOf(r_);
                if (format == kRtfUnderlineOn) return 0;
                if (format == kRtfHiddenOn && level == 1) {
                    // The hidden target part goes with its braces.
                    w_.CutBack(brace);
                    while (level > 0) {
                        rc = r_.Next();
                        if (rc) return rc;
                        if (r_.Kind() != kRtfGroup) continue;
                        if (r_.First() == '{') {
                            ++level;
                        } else {
                            --level;
                        }
                    }
                    r_.Pop();
                    return 0;
                }
                rc = WriteToken();
                if (rc) {
                    *failed = true;
                    return rc;
                }
                break;
            }
        }
    }
}

}  // namespace

int32_t AutolinkStrip(const char* rtf, char** output, size_t* outputLength) {
    *output = nullptr;
    *outputLength = 0;
    RtfSink sink;
    Stripper stripper(rtf, sink);
    int32_t status = stripper.ReadStyles();
    if (status == 0) status = sink.Reserve(std::strlen(rtf) + 1);
    bool failed = status != 0;
    if (!failed) status = stripper.Run(&failed);
    if (!failed) {
        *outputLength = sink.Length();
        *output = sink.Release();
    }
    return status;
}

}  // namespace brio
