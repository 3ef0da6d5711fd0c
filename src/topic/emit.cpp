// TopicNew and TopicEmitRtfFile: the template of a new topic, and a stored
// topic written back as help-compiler input with its footnotes, its
// non-scrolling region and without the "Autolink;" style.
#include <climits>
#include <cstring>

#include "brioutil.h"
#include "frame/guard.h"
#include "platform/platform.h"
#include "rtf/buffer.h"
#include "rtf/rtf.h"
#include "topic/topic.h"

namespace brio {

const char kTopicTemplate[] =
    "{\\rtf1\\ansi \\deff4\\deflang1033{\\fonttbl{\\f4\\froman\\fcharset0\\fprq2 Times New "
    "Roman;}}{\\colortbl;\\red0\\green0\\blue0;\\red0\\green0\\blue255;\\red0\\green255\\blue255;"
    "\\red0\\green255\\blue0;\\red255\\green0\\blue255;\\red255\\green0\\blue0;\\red255\\green255"
    "\\blue0;\\red255\\green255\\blue255;\\red0\\green0\\blue128;\\red0\\green128\\blue128;\\red0"
    "\\green128\\blue0;\\red128\\green0\\blue128;\\red128\\green0\\blue0;\\red128\\green128\\blue0;"
    "\\red128\\green128\\blue128;\\red192\\green192\\blue192;}{\\stylesheet{\\widctlpar\\f4\\fs20 "
    "\\snext0 Normal;}{\\*\\cs10 \\additive Default Paragraph Font;}{\\*\\cs99 \\additive "
    "Autolink;}}}";
const uint32_t kTopicTemplateLength = sizeof kTopicTemplate - 1;

namespace {

constexpr size_t kDrainSize = 1 << 20;

bool EqualsIgnoringCase(const char* a, size_t length, const char* b) {
    size_t n = std::strlen(b);
    if (n != length || n == 0) return false;
    for (size_t i = 0; i < n; ++i) {
        if (PlatCharUpper(static_cast<unsigned char>(a[i])) !=
            PlatCharUpper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

class Emitter {
  public:
    Emitter(RtfContext* c, AtomicFile* file, int32_t nonScrollingCount, bool continuation)
        : c_(c), file_(file), w_(c), count_(nonScrollingCount), startDepth_(continuation ? 1 : 0) {
        c_->depth = startDepth_;
    }

    int32_t Run(const char* contextString, const char* title, const char* entryMacro,
                char* keywords, const char* browseSequence) {
        bool haveToken = false;
        int32_t rc = Header(&haveToken);
        if (rc != 0) return rc;
        if ((rc = Footnotes(contextString, title, entryMacro, keywords, browseSequence)) != 0)
            return rc;
        if ((rc = RtfFragmentStyles(c_)) != 0) return rc;
        if (!RtfCharStyleRef(c_, kRtfAutolinkStyleName, bodyRef_)) bodyRef_[0] = 0;
        if (haveToken && (rc = Body()) != 0) return rc;
        if (haveToken) {
            while ((rc = RtfNextToken(c_)) == 0) {
                if ((rc = Body()) != 0) return rc;
                if (RtfOutputLength(c_) >= static_cast<int32_t>(kDrainSize) && !Drain())
                    return BRIO_ERR_WRITE;
            }
            if (rc != -1) return rc;
        }
        if (regionOpen_ && startDepth_ == 1 && (rc = w_.WriteString("\\pard ")) != 0) return rc;
        return c_->depth == startDepth_ ? 0 : BRIO_ERR_GROUPS_OPEN;
    }

  private:
    // Moves the text written so far to the (temporary) file.
    bool Drain() {
        bool ok = file_->Write(c_->outBuffer, static_cast<size_t>(RtfOutputLength(c_)));
        c_->outFree = c_->outCapacity;
        c_->outPos = c_->outBuffer;
        *c_->outPos = 0;
        return ok;
    }

    // Phase 1: everything before the topic body. Ends on the body's first
    // counted token (text or \par), on \ul or \uldb, or on the document's
    // closing brace; that token is left for the body.
    int32_t Header(bool* haveToken) {
        char headerRef[kRtfStyleRefSize] = "\\cs99";
        for (;;) {
            int32_t rc = RtfNextToken(c_);
            if (rc == -1) return 0;
            if (rc != 0) return rc;
            switch (c_->tokenKind) {
                case kRtfGroup:
                    if (c_->tokenText[0] == '{') {
                        RtfPushGroup(c_);
                    } else if (c_->depth == 1 && startDepth_ == 0) {
                        *haveToken = true;
                        return 0;
                    } else if (RtfIsStrayClose(c_)) {
                        break;
                    } else {
                        RtfPopGroup(c_);
                    }
                    if ((rc = w_.WriteToken()) != 0) return rc;
                    break;
                case kRtfControlWord:
                    if (c_->keywordId == kRtfIdStylesheet) {
                        if ((rc = w_.WriteToken()) != 0) return rc;
                        if ((rc = RtfReadStylesheet(c_, 1)) != 0) return rc;
                        w_.Reset();
                        RtfCharStyleRef(c_, kRtfAutolinkStyleName, headerRef);
                    } else if (c_->keywordId == kRtfIdCs &&
                               EqualsIgnoringCase(RtfTokenText(c_),
                                                  static_cast<size_t>(c_->tokenLength),
                                                  headerRef)) {
                        // dropped
                    } else if (c_->keywordId == kRtfIdUl || c_->keywordId == kRtfIdUldb ||
                               c_->keywordId == kRtfIdPar) {
                        *haveToken = true;
                        return 0;
                    } else {
                        if ((rc = w_.WriteToken()) != 0) return rc;
                        if (RtfIsSkippedDestination(c_)) {
                            if ((rc = RtfCopyGroup(c_)) != 0) return rc;
                            w_.Reset();
                        }
                    }
                    break;
                case kRtfText:
                    *haveToken = true;
                    return 0;
                default:
                    break;  // line ends are dropped
            }
        }
    }

    int32_t Footnotes(const char* contextString, const char* title, const char* entryMacro,
                      char* keywords, const char* browseSequence) {
        int32_t rc = 0;
        if (count_ != 0) {
            if ((rc = w_.WriteString("\\keepn\r\n")) != 0) return rc;
            regionOpen_ = true;
        }
        if ((rc = w_.WriteString("\r\n")) != 0) return rc;
        if ((rc = RtfWriteFootnote(c_, '#', contextString)) != 0) return rc;
        if ((rc = RtfWriteFootnote(c_, '$', title)) != 0) return rc;
        if ((rc = RtfWriteFootnote(c_, '!', entryMacro)) != 0) return rc;
        for (char* part = keywords; part;) {
            // Split in place: the caller's string keeps only the first keyword.
            char* bar = std::strchr(part, '|');
            if (bar) *bar = 0;
            if ((rc = RtfWriteFootnote(c_, 'K', part)) != 0) return rc;
            part = bar ? bar + 1 : nullptr;
        }
        if ((rc = RtfWriteFootnote(c_, '+', browseSequence)) != 0) return rc;
        w_.Reset();
        return w_.WriteString("\r\n");
    }

    // Phase 2: one token of the body.
    int32_t Body() {
        int32_t rc = 0;
        switch (c_->tokenKind) {
            case kRtfText:
                if (c_->tokenText[0] == '\\') {
                    if (c_->tokenLength == 1) return Escape();
                    return w_.WriteToken();  // the optional hyphen, whole
                }
                if ((rc = Counted()) != 0) return rc;
                return PlainRun();
            case kRtfControlWord:
                if (c_->keywordId == kRtfIdCs &&
                    EqualsIgnoringCase(RtfTokenText(c_), static_cast<size_t>(c_->tokenLength),
                                       bodyRef_))
                    return 0;
                if (RtfIsSkippedDestination(c_)) {
                    // Import copies destinations whole and counts nothing in them.
                    if ((rc = w_.WriteToken()) != 0) return rc;
                    rc = RtfCopyGroup(c_);
                    w_.Reset();
                    return rc;
                }
                if (c_->keywordId == kRtfIdPar) return Counted();
                return w_.WriteToken();
            case kRtfGroup:
                if (c_->tokenText[0] == '{') {
                    RtfPushGroup(c_);
                } else {
                    if (RtfIsStrayClose(c_)) return 0;
                    if (c_->depth == 1 && startDepth_ == 0 && regionOpen_) {
                        if ((rc = w_.WriteString("\\pard ")) != 0) return rc;
                        regionOpen_ = false;
                    }
                    RtfPopGroup(c_);
                }
                return w_.WriteToken();
            default:
                return w_.WriteToken();
        }
    }

    // A token that import counts: the region closes behind the count-th.
    int32_t Counted() {
        int32_t rc = w_.WriteToken();
        if (rc != 0) return rc;
        ++counter_;
        if (regionOpen_ && counter_ == count_) {
            regionOpen_ = false;
            return w_.WriteString("\\pard ");
        }
        return 0;
    }

    // The plain characters that follow a text token, written in one piece:
    // each would be a counted text token of its own. Only outside the
    // region, whose end falls after a given count.
    int32_t PlainRun() {
        if (regionOpen_ || !c_->inIsString || c_->pendingLiteral) return 0;
        const auto* p = reinterpret_cast<const unsigned char*>(c_->inPos);
        size_t n = 0;
        while (kRtfBytes.plain[p[n]]) ++n;
        if (n == 0) return 0;
        int32_t rc = w_.Write(c_->inPos, n, false);
        // Leave the context on the last character, as token by token.
        c_->tokenText[0] = static_cast<char>(p[n - 1]);
        c_->inPos += n;
        c_->inOffset += static_cast<uint32_t>(n);
        c_->consumed += static_cast<uint32_t>(n);
        counter_ += static_cast<int32_t>(n);
        return rc;
    }

    // A backslash that starts a control symbol. "\{#text\}", exactly as
    // import writes it, becomes a # footnote; anything else is written
    // back token for token.
    int32_t Escape() {
        // A string input shows at once whether "{#" follows; the snapshot
        // below is only worth taking when it does.
        if (c_->inIsString && (c_->inPos[0] != '{' || c_->inPos[1] != '#')) return w_.WriteToken();
        RtfContext before = *c_;
        RtfBuffer text;
        bool marker = RtfNextToken(c_) == 0 && RtfTokenIs(c_, kRtfText, '{') &&
                      RtfNextToken(c_) == 0 && RtfTokenIs(c_, kRtfText, '#');
        bool closed = false;
        while (marker) {
            if (RtfNextToken(c_) != 0 || c_->tokenKind != kRtfText) break;
            if (c_->tokenText[0] == '\\') {
                closed =
                    c_->tokenLength == 1 && RtfNextToken(c_) == 0 && RtfTokenIs(c_, kRtfText, '}');
                break;
            }
            if (!text.Append(c_->tokenText, static_cast<size_t>(c_->tokenLength)))
                return BRIO_ERR_NO_MEMORY;
        }
        if (marker && closed) {
            int32_t rc = w_.WriteString("\r\n");
            if (rc == 0) rc = RtfWriteFootnote(c_, '#', text.Text());
            w_.Reset();
            return rc;
        }
        // Not a marker: back to the backslash, which is written alone.
        *c_ = before;
        return w_.WriteToken();
    }

    RtfContext* c_;
    AtomicFile* file_;
    RtfWordWriter w_;
    int32_t count_;
    int32_t startDepth_;
    int32_t counter_ = 0;
    bool regionOpen_ = false;
    char bodyRef_[kRtfStyleRefSize] = "";
};

}  // namespace

}  // namespace brio

static const char* TopicNewBody(uint32_t* length, int32_t* status) {
    if (length) *length = brio::kTopicTemplateLength;
    if (status) *status = 0;
    return brio::kTopicTemplate;
}

static int32_t TopicEmitRtfFileBody(const char* rtfText, const char* contextString,
                                    const char* title, const char* entryMacro, char* keywords,
                                    const char* browseSequence, const char* outputPath,
                                    int32_t nonScrollingCount) {
    using namespace brio;
    if (!rtfText) rtfText = "";
    AtomicFile file;
    if (!outputPath || !file.Open(outputPath)) return BRIO_ERR_CREATE_OUTPUT;
    RtfContext c;
    std::memset(&c, 0, sizeof c);
    // Released however the function is left: the file layer may throw.
    struct Release {
        RtfContext* c;
        ~Release() {
            BrioFree(c->outBuffer);
            RtfFreeContext(c);
        }
    } release{&c};
    RtfOpenText(&c, rtfText);
    // The topic is built in memory and written in one piece, so a failure
    // never leaves half a topic in place of the old file.
    int32_t status = RtfStartBufferOutput(&c);
    // The text goes to the file in pieces of about kDrainSize; a buffer of
    // that size from the start saves the growth steps.
    size_t inputLength = std::strlen(rtfText);
    if (status == 0)
        status = RtfReserveOutput(&c, (inputLength < kDrainSize ? inputLength : kDrainSize) + 4096);
    if (status == 0) {
        Emitter emitter(&c, &file, nonScrollingCount, c.baseDepth > 0);
        status = emitter.Run(contextString, title, entryMacro, keywords, browseSequence);
    }
    if (status == 0 || status == BRIO_ERR_GROUPS_OPEN) {
        if (!file.Write(c.outBuffer, static_cast<size_t>(RtfOutputLength(&c))) || !file.Commit())
            status = BRIO_ERR_WRITE;
    } else {
        file.Abort();
    }
    return status;
}

extern "C" BRIOUTIL_EXPORT const char* BRIOAPI TopicNew(uint32_t* length, int32_t* status) {
    return brio::GuardExport([&] { return TopicNewBody(length, status); },
                             [] { return brio::kTopicTemplate; });
}

extern "C" BRIOUTIL_EXPORT int32_t BRIOAPI TopicEmitRtfFile(
    const char* rtfText, const char* contextString, const char* title, const char* entryMacro,
    char* keywords, const char* browseSequence, const char* outputPath, int32_t nonScrollingCount) {
    return brio::GuardExport(
        [&] {
            return TopicEmitRtfFileBody(rtfText, contextString, title, entryMacro, keywords,
                                        browseSequence, outputPath, nonScrollingCount);
        },
        [] { return int32_t{BRIO_ERR_NO_MEMORY}; });
}
