// Removal of Autolink's links: every group that starts with the "Autolink;"
// character style loses its underline, colour and style, and its hidden
// target part goes altogether.
#include <cstring>

#include "autolink/autolink.h"
#include "rtf/writer.h"

namespace brio {

namespace {

class Stripper {
  public:
    explicit Stripper(RtfContext* c) : c_(c), w_(c) {}

    int32_t Run(bool* failed);
    // "\cs<n>" of the "Autolink;" style, or empty: then nothing is a link.
    char styleRef[kRtfStyleRefSize] = {0};

  private:
    int32_t StripGroup(bool* failed);
    int32_t Write(const char* data, size_t length, bool controlWord) {
        return w_.Write(data, length, controlWord);
    }
    int32_t WriteToken() { return w_.WriteToken(); }
    // Writes a brace and keeps the group stack; *opened tells which it was.
    int32_t EchoBrace(bool* opened) {
        int32_t rc = WriteToken();
        *opened = c_->tokenText[0] == '{';
        if (rc == 0) {
            if (*opened)
                rc = RtfPushGroup(c_);
            else
                RtfPopGroup(c_);
        }
        return rc;
    }
    // A nested destination is copied whole.
    int32_t CopyDestination() {
        int32_t rc = WriteToken();
        if (rc == 0) rc = RtfCopyGroup(c_);
        w_.Reset();
        return rc;
    }
    // The text token and the ordinary text characters after it.
    int32_t WriteTextRun() {
        int32_t rc = WriteToken();
        size_t n = RtfPlainRun(c_);
        if (rc == 0 && n) {
            rc = Write(c_->inPos, n, false);
            RtfSkipPlain(c_, n);
        }
        return rc;
    }

    RtfContext* c_;
    // A dropped token never lets the control word before it swallow the
    // text after it.
    RtfWordWriter w_;
};

int32_t Stripper::Run(bool* failed) {
    bool afterOpenBrace = false;
    for (;;) {
        int32_t rc = RtfNextToken(c_);
        if (rc) return rc;
        bool opened = false;
        switch (c_->tokenKind) {
            case kRtfGroup:
                rc = EchoBrace(&opened);
                if (rc) {
                    *failed = true;
                    return rc;
                }
                break;
            case kRtfControlWord:
                if (c_->keywordClass == kRtfDestination && c_->depth >= 2) {
                    rc = CopyDestination();
                    if (rc) {
                        *failed = true;
                        return rc;
                    }
                } else if (afterOpenBrace && styleRef[0] &&
                           c_->tokenLength == static_cast<int32_t>(std::strlen(styleRef)) &&
                           std::strcmp(c_->tokenText, styleRef) == 0) {
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
    size_t brace = static_cast<size_t>(c_->outPos - c_->outBuffer) - 1;
    int32_t level = 1;
    for (;;) {
        int32_t rc = RtfNextToken(c_);
        if (rc) return rc;
        switch (c_->tokenKind) {
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
                int32_t id = c_->keywordId;
                if (c_->keywordClass == kRtfDestination && c_->depth >= 2) {
                    rc = CopyDestination();
                    if (rc) {
                        *failed = true;
                        return rc;
                    }
                    break;
                }
                if (id == kRtfIdCs || id == kRtfIdCf) break;
                // The rest of the group, the link text, is the main loop's;
                // the writer keeps it apart from a word written before.
                if (id == kRtfIdUl || id == kRtfIdUldb) return 0;
                bool hidden =
                    id == kRtfIdV && level == 1 && std::strncmp(RtfTokenText(c_), "\\v0", 3) != 0;
                if (hidden) {
                    // The hidden target part goes with its braces.
                    w_.CutBack(brace);
                    while (level > 0) {
                        rc = RtfNextToken(c_);
                        if (rc) return rc;
                        if (c_->tokenKind != kRtfGroup) continue;
                        if (c_->tokenText[0] == '{') {
                            ++level;
                        } else {
                            --level;
                        }
                    }
                    RtfPopGroup(c_);
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
    RtfContext c;
    std::memset(&c, 0, sizeof c);
    c.inText = rtf;
    c.inPos = rtf;
    c.inIsString = 1;
    c.outIsBuffer = 0;

    // First pass, only for the style sheet.
    int32_t status = 0;
    for (;;) {
        int32_t rc = RtfNextToken(&c);
        if (rc) break;
        if (c.tokenKind == kRtfText) {
            RtfSkipPlain(&c, RtfPlainRun(&c));
        } else if (c.tokenKind == kRtfGroup) {
            if (c.tokenText[0] == '{') {
                status = RtfPushGroup(&c);
                if (status) break;
            } else {
                RtfPopGroup(&c);
            }
        } else if (c.tokenKind == kRtfControlWord && c.keywordClass == kRtfDestination) {
            if (c.keywordId == kRtfIdStylesheet) {
                // Without memory for the style table no link would be found,
                // and the text would come back unchanged as if stripped. A
                // sheet that cannot be read is no such failure: the styles
                // read before the fault are used.
                int32_t read = RtfReadStylesheet(&c, 0);
                if (read == BRIO_ERR_NO_MEMORY ||
                    (read == 0 && !RtfCharStyleRef(&c, kRtfAutolinkStyleName, nullptr)))
                    status = BRIO_ERR_NO_MEMORY;
                break;
            }
            if (c.depth >= 2) {
                status = RtfCopyGroup(&c);
                if (status) break;
            }
        }
    }
    if (status == 0) status = RtfStartBufferOutput(&c);
    if (status == 0) status = RtfReserveOutput(&c, std::strlen(rtf) + 1);
    if (status == 0) status = RtfSeek(&c, 0);
    bool failed = status != 0;
    if (!failed) {
        c.depth = 0;
        Stripper stripper(&c);
        RtfCharStyleRef(&c, kRtfAutolinkStyleName, stripper.styleRef);
        status = stripper.Run(&failed);
    }
    if (!failed) {
        *outputLength = static_cast<size_t>(c.outPos - c.outBuffer);
        *output = c.outBuffer;
        c.outBuffer = nullptr;
    }
    if (c.outBuffer) BrioFree(c.outBuffer);
    RtfCloseFiles(&c);
    RtfFreeContext(&c);
    return status;
}

}  // namespace brio
