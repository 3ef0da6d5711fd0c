// TopicNew and TopicEmitRtfFile: the template of a new topic, and a stored
// topic written back as help-compiler input with its footnotes, its
// non-scrolling region and without the "Autolink;" style.
#include <climits>
#include <cstring>

#include "brioutil.h"
#include "platform/platform.h"
#include "rtf/footnote.h"
#include "rtf/styles.h"
#include "rtf/writer.h"
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
    Emitter(RtfReader& r, RtfSink& out, AtomicFile& file, int32_t nonScrollingCount)
        : r_(r), out_(out), file_(file), w_(out), count_(nonScrollingCount) {}

    int32_t Run(const char* contextString, const char* title, const char* entryMacro,
                char* keywords, const char* browseSequence) {
        bool haveToken = false;
        int32_t rc = Header(&haveToken);
        if (rc != 0) return rc;
        if ((rc = Footnotes(contextString, title, entryMacro, keywords, browseSequence)) != 0)
            return rc;
        if ((rc = RtfFragmentStyles(r_, styles_)) != 0) return rc;
        if (!styles_.Ref(kRtfAutolinkStyleName, bodyRef_)) bodyRef_[0] = 0;
        if (haveToken && (rc = Body()) != 0) return rc;
        if (haveToken) {
            while ((rc = r_.Next()) == 0) {
                if ((rc = Body()) != 0) return rc;
                if (out_.Length() >= kDrainSize && !Drain()) return BRIO_ERR_WRITE;
            }
            if (rc != -1) return rc;
        }
        if (regionOpen_ && r_.IsFragment() && (rc = w_.WriteString("\\pard ")) != 0) return rc;
        return r_.Depth() == r_.StartDepth() ? 0 : BRIO_ERR_GROUPS_OPEN;
    }

  private:
    // Moves the text written so far to the (temporary) file.
    bool Drain() {
        bool ok = file_.Write(out_.Text(), out_.Length());
        out_.Clear();
        return ok;
    }

    // Phase 1: everything before the topic body. Ends on the body's first
    // counted token (text or \par), on \ul or \uldb, or on the document's
    // closing brace; that token is left for the body.
    int32_t Header(bool* haveToken) {
        char headerRef[kRtfStyleRefSize] = "\\cs99";
        for (;;) {
            int32_t rc = r_.Next();
            if (rc == -1) return 0;
            if (rc != 0) return rc;
            switch (r_.Kind()) {
                case kRtfGroup:
                    if (r_.First() == '{') {
                        r_.Push();
                    } else if (r_.Depth() == 1 && !r_.IsFragment()) {
                        *haveToken = true;
                        return 0;
                    } else if (r_.IsStrayClose()) {
                        break;
                    } else {
                        r_.Pop();
                    }
                    if ((rc = w_.WriteToken(r_)) != 0) return rc;
                    break;
                case kRtfControlWord:
                    if (r_.Id() == kRtfKwStylesheet) {
                        if ((rc = w_.WriteToken(r_)) != 0) return rc;
                        if ((rc = RtfReadStylesheet(r_, styles_, &out_)) != 0) return rc;
                        w_.Reset();
                        styles_.Ref(kRtfAutolinkStyleName, headerRef);
                    } else if (r_.Id() == kRtfKwCs &&
                               EqualsIgnoringCase(r_.Text(), static_cast<size_t>(r_.Length()),
                                                  headerRef)) {
                        // dropped
                    } else if (r_.Id() == kRtfKwUl || r_.Id() == kRtfKwUldb ||
                               r_.Id() == kRtfKwPar) {
                        *haveToken = true;
                        return 0;
                    } else {
                        if ((rc = w_.WriteToken(r_)) != 0) return rc;
                        if (r_.IsSkippedDestination()) {
                            if ((rc = r_.CopyGroup(&out_)) != 0) return rc;
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
        if ((rc = RtfWriteFootnote(out_, '#', contextString)) != 0) return rc;
        if ((rc = RtfWriteFootnote(out_, '$', title)) != 0) return rc;
        if ((rc = RtfWriteFootnote(out_, '!', entryMacro)) != 0) return rc;
        for (char* part = keywords; part;) {
            // Split in place: the caller's string keeps only the first keyword.
            char* bar = std::strchr(part, '|');
            if (bar) *bar = 0;
            if ((rc = RtfWriteFootnote(out_, 'K', part)) != 0) return rc;
            part = bar ? bar + 1 : nullptr;
        }
        if ((rc = RtfWriteFootnote(out_, '+', browseSequence)) != 0) return rc;
        w_.Reset();
        return w_.WriteString("\r\n");
    }

    // Phase 2: one token of the body.
    int32_t Body() {
        int32_t rc = 0;
        switch (r_.Kind()) {
            case kRtfText:
                if (r_.First() == '\\') {
                    if (r_.Length() == 1) return Escape();
                    return w_.WriteToken(r_);  // the optional hyphen, whole
                }
                if ((rc = Counted()) != 0) return rc;
                return PlainRun();
            case kRtfControlWord:
                if (r_.Id() == kRtfKwCs &&
                    EqualsIgnoringCase(r_.Text(), static_cast<size_t>(r_.Length()), bodyRef_))
                    return 0;
                if (r_.IsSkippedDestination()) {
                    // Import copies destinations whole and counts nothing in them.
                    if ((rc = w_.WriteToken(r_)) != 0) return rc;
                    rc = r_.CopyGroup(&out_);
                    w_.Reset();
                    return rc;
                }
                if (r_.Id() == kRtfKwPar) return Counted();
                return w_.WriteToken(r_);
            case kRtfGroup:
                if (r_.First() == '{') {
                    r_.Push();
                } else {
                    if (r_.IsStrayClose()) return 0;
                    if (r_.Depth() == 1 && !r_.IsFragment() && regionOpen_) {
                        if ((rc = w_.WriteString("\\pard ")) != 0) return rc;
                        regionOpen_ = false;
                    }
                    r_.Pop();
                }
                return w_.WriteToken(r_);
            default:
                return w_.WriteToken(r_);
        }
    }

    // A token that import counts: the region closes behind the count-th.
    int32_t Counted() {
        int32_t rc = w_.WriteToken(r_);
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
        if (regionOpen_) return 0;
        size_t n = r_.PlainRun();
        if (n == 0) return 0;
        int32_t rc = w_.Write(r_.Pos(), n, false);
        r_.SkipPlain(n);
        counter_ += static_cast<int32_t>(n);
        return rc;
    }

    // A backslash that starts a control symbol. "\{#text\}", exactly as
    // import writes it, becomes a # footnote; anything else is written
    // back token for token.
    int32_t Escape() {
        // The input shows at once whether "{#" follows; reading ahead is
        // only worth it when it does.
        if (r_.Pos()[0] != '{' || r_.Pos()[1] != '#') return w_.WriteToken(r_);
        RtfReader ahead = r_;
        RtfSink text;
        bool marker = ahead.Next() == 0 && ahead.Is(kRtfText, '{') && ahead.Next() == 0 &&
                      ahead.Is(kRtfText, '#');
        bool closed = false;
        while (marker) {
            if (ahead.Next() != 0 || ahead.Kind() != kRtfText) break;
            if (ahead.First() == '\\') {
                closed = ahead.Length() == 1 && ahead.Next() == 0 && ahead.Is(kRtfText, '}');
                break;
            }
            if (text.Append(ahead.Text(), static_cast<size_t>(ahead.Length())) != 0)
                return BRIO_ERR_NO_MEMORY;
        }
        if (marker && closed) {
            r_ = ahead;
            int32_t rc = w_.WriteString("\r\n");
            if (rc == 0) rc = RtfWriteFootnote(out_, '#', text.Text());
            w_.Reset();
            return rc;
        }
        // Not a marker: the backslash is written alone.
        return w_.WriteToken(r_);
    }

    RtfReader& r_;
    RtfSink& out_;
    AtomicFile& file_;
    RtfWordWriter w_;
    RtfStyles styles_;
    int32_t count_;
    int32_t counter_ = 0;
    bool regionOpen_ = false;
    char bodyRef_[kRtfStyleRefSize] = "";
};

}  // namespace

int32_t TopicEmit(const char* rtfText, const TopicProperties& properties, AtomicFile& file,
                  int32_t nonScrollingCount) {
    RtfReader reader(rtfText);
    RtfSink sink;
    // The topic is built in memory and written in one piece, so a failure
    // never leaves half a topic in place of the old file. The text goes to
    // the file in pieces of about kDrainSize; a buffer of that size from the
    // start saves the growth steps.
    size_t inputLength = std::strlen(reader.Input());
    int32_t status = sink.Reserve((inputLength < kDrainSize ? inputLength : kDrainSize) + 4096);
    if (status == 0) {
        Emitter emitter(reader, sink, file, nonScrollingCount);
        status = emitter.Run(properties.contextString, properties.title, properties.entryMacro,
                             properties.keywords, properties.browseSequence);
    }
    if (status == 0 || status == BRIO_ERR_GROUPS_OPEN) {
        if (!file.Write(sink.Text(), sink.Length()) || !file.Commit()) status = BRIO_ERR_WRITE;
    } else {
        file.Abort();
    }
    return status;
}

}  // namespace brio
