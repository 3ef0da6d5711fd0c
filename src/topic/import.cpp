// TopicImportString and TopicImportStringClose: one help topic taken out of
// help-compiler RTF. The help footnotes leave the text and come back as
// separate strings, the \keepn region is replaced by its size, and the
// style sheet gains the "Autolink;" style when it lacks it.
#include <cstdlib>
#include <cstring>

#include "brioutil.h"
#include "platform/platform.h"
#include "rtf/styles.h"
#include "rtf/writer.h"
#include "topic/topic.h"

namespace brio {

namespace {

constexpr int32_t kFirstLineSize = 50;
thread_local char gFirstLine[kFirstLineSize];

bool IsWhite(char ch) {
    return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\v' || ch == '\f' || ch == '\r';
}

bool IsHex(char ch) {
    return (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f') || (ch >= 'A' && ch <= 'F');
}

// Where the topic stands with its non-scrolling region: only a \keepn that
// comes before the first body text opens it, and the next \pard closes it.
// Any other \keepn and \pard belong to the body.
enum class Region { kBeforeText, kOpen, kDone };

// What the pass wrote last, enough to recognise "<mark>{" before \footnote.
struct Written {
    enum Kind { kNone, kOpenBrace, kMark, kOther } kind = kNone;
    size_t start = 0;      // output length before it, a delimiting blank included
    size_t end = 0;        // output length after it
    bool counted = false;  // the mark was counted as text
    Region regionBefore = Region::kBeforeText;
};

struct Texts {
    RtfSink context, title, browse, keywords;
    bool haveContext = false, haveTitle = false, haveBrowse = false, haveKeywords = false;
};

class Importer {
  public:
    Importer(RtfReader& r, RtfSink& out) : r_(r), out_(out), w_(out) {}

    int32_t Run(Texts& texts, int32_t* nonScrolling) {
        texts_ = &texts;
        nonScrolling_ = nonScrolling;
        for (;;) {
            int32_t rc = r_.Next();
            if (rc == -1) return r_.Depth() == r_.StartDepth() ? 0 : BRIO_ERR_UNEXPECTED_END;
            if (rc != 0) return rc;
            bool stop = false;
            rc = Token(&stop);
            if (rc == -1) return r_.Depth() == r_.StartDepth() ? 0 : BRIO_ERR_UNEXPECTED_END;
            if (rc != 0 || stop) return rc;
        }
    }

    int32_t TextCount() const { return textCount_; }
    // A region that no \pard closed runs to the end of the topic; its
    // \keepn was taken out, so its size must still be reported.
    int32_t RegionToEnd() const { return region_ == Region::kOpen ? textCount_ : 0; }

  private:
    size_t OutLength() const { return out_.Length(); }

    // Writes the current token and remembers what it was.
    int32_t Write(Written::Kind kind, bool counted = false) {
        Written now;
        now.kind = kind;
        now.start = OutLength();
        now.counted = counted;
        now.regionBefore = regionBefore_;
        int32_t rc = w_.WriteToken(r_);
        now.end = OutLength();
        previous_ = last_;
        last_ = now;
        return rc;
    }
    int32_t WriteString(const char* text) {
        previous_ = last_;
        last_ = Written();
        last_.kind = Written::kOther;
        return w_.WriteString(text);
    }
    void Forget() { previous_ = last_ = Written(); }

    // The plain characters after a plain one, written in one piece: each
    // would be a counted text token of its own that changes nothing but
    // the count once the first line is full. The last may be a mark.
    int32_t PlainRun() {
        size_t n = r_.PlainRun();
        if (n == 0) return 0;
        int32_t rc = w_.Write(r_.Pos(), n, false);
        if (rc != 0) return rc;
        r_.SkipPlain(n);
        textCount_ += static_cast<int32_t>(n);
        // The last character stands for the run: a mark is always one.
        last_.end = OutLength();
        last_.start = last_.end - 1;
        last_.regionBefore = region_;
        return 0;
    }

    int32_t Token(bool* stop) {
        int32_t rc = 0;
        switch (r_.Kind()) {
            case kRtfGroup:
                hexLeft_ = 0;
                if (r_.First() == '{') {
                    if ((rc = Write(Written::kOpenBrace)) != 0) return rc;
                    r_.Push();
                    return 0;
                }
                // In a continuation, braces that close groups opened before
                // its text (and the document's own) are not ours to write.
                if (r_.IsStrayClose()) return 0;
                rc = Write(Written::kOther);
                r_.Pop();
                return rc;
            case kRtfControlWord:
                return ControlWord(stop);
            case kRtfText: {
                char ch = r_.First();
                if (textCount_ < kFirstLineSize - 1)
                    gFirstLine[textCount_] = ch;
                else
                    gFirstLine[kFirstLineSize - 1] = 0;
                bool counted = ch != '\\';
                if (counted) ++textCount_;
                // The second half of a control symbol, and the two digits of
                // a \'hh escape, are part of one character: never a mark.
                bool single = r_.Length() == 1;
                bool escaped = afterBackslash_;
                bool hexDigit = hexLeft_ > 0 && single && IsHex(ch);
                hexLeft_ = escaped && ch == '\'' ? 2 : hexDigit ? hexLeft_ - 1 : 0;
                afterBackslash_ = ch == '\\' && single && !escaped;
                bool mark = counted && single && !escaped && !hexDigit;
                regionBefore_ = region_;
                if (counted && region_ == Region::kBeforeText) region_ = Region::kDone;
                rc = Write(mark ? Written::kMark : Written::kOther, counted);
                if (rc == 0 && mark && hexLeft_ == 0 && textCount_ >= kFirstLineSize - 1)
                    rc = PlainRun();
                return rc;
            }
            default:
                return 0;  // line ends are dropped
        }
    }

    int32_t ControlWord(bool* stop) {
        int32_t rc = 0;
        afterBackslash_ = false;
        hexLeft_ = 0;
        if (r_.IsSkippedDestination()) {
            if (r_.Id() == kRtfKwStylesheet) {
                if ((rc = Write(Written::kOther)) != 0) return rc;
                rc = RtfCopyStylesheet(r_, out_);
                w_.Reset();
                Forget();
                return rc;
            }
            if (r_.Id() == kRtfKwFootnote && IsHelpFootnote()) return Footnote();
            if ((rc = Write(Written::kOther)) != 0) return rc;
            rc = r_.CopyGroup(&out_);
            w_.Reset();
            Forget();
            return rc;
        }
        switch (r_.Id()) {
            case kRtfKwKeepn:
                if (region_ == Region::kDone) return Write(Written::kOther);
                region_ = Region::kOpen;
                return 0;
            case kRtfKwPard:
                if (region_ == Region::kOpen) {
                    region_ = Region::kDone;
                    *nonScrolling_ = textCount_;
                    return 0;
                }
                return Write(Written::kOther);
            case kRtfKwPar:
                if (textCount_ < kFirstLineSize - 1) gFirstLine[textCount_] = 0;
                ++textCount_;
                if (region_ == Region::kBeforeText) region_ = Region::kDone;
                return Write(Written::kOther);
            case kRtfKwPage:
                while (r_.Depth() > r_.StartDepth()) {
                    r_.Pop();
                    if ((rc = WriteString("}")) != 0) return rc;
                }
                *stop = true;
                return 0;
            default:
                return Write(Written::kOther);
        }
    }

    // A help footnote only when the output really ends with a one-character
    // mark followed by the "{" that opened this footnote's group.
    bool IsHelpFootnote() const {
        return last_.kind == Written::kOpenBrace && previous_.kind == Written::kMark &&
               last_.end == OutLength() && last_.start + 1 == last_.end &&
               previous_.end == last_.start;
    }

    int32_t Footnote() {
        // Take the mark and the brace back out of the output, with the
        // blank that kept the mark out of a control word before it.
        char mark = out_.Text()[previous_.end - 1];
        w_.CutBack(previous_.start);
        if (previous_.counted) --textCount_;
        region_ = previous_.regionBefore;
        Forget();

        RtfSink text;
        int32_t rc = Collect(mark, text);
        int32_t written = 0;
        switch (mark) {
            case '#':
                if (!texts_->haveContext) {
                    texts_->haveContext = true;
                    if (!Take(texts_->context, text, rc == 0)) rc = BRIO_ERR_NO_MEMORY;
                } else if (rc == 0) {
                    // Later context strings stay in the text as markers.
                    RtfSink marker;
                    if (marker.Append("\\{#") != 0 ||
                        marker.Append(text.Text(), text.Length()) != 0 || marker.Append("\\}") != 0)
                        return BRIO_ERR_NO_MEMORY;
                    written = WriteString(marker.Text());
                    w_.Reset();
                }
                break;
            case '$':
                texts_->haveTitle = true;
                if (!Take(texts_->title, text, rc == 0)) rc = BRIO_ERR_NO_MEMORY;
                break;
            case '+':
                texts_->haveBrowse = true;
                if (!Take(texts_->browse, text, rc == 0)) rc = BRIO_ERR_NO_MEMORY;
                break;
            case 'K':
            case 'k':
                if (rc == 0) {
                    // One growing string: keywords have no length limit.
                    bool ok = (!texts_->haveKeywords || texts_->keywords.Append("|", 1) == 0) &&
                              texts_->keywords.Append(text.Text(), text.Length()) == 0;
                    texts_->haveKeywords = true;
                    if (!ok) return BRIO_ERR_NO_MEMORY;
                }
                break;
            default:
                break;  // other marks are dropped
        }
        r_.Pop();
        if (rc == BRIO_ERR_NO_MEMORY) return rc;
        return written;
    }

    // False when the copy could not be made: the text would be lost.
    static bool Take(RtfSink& into, RtfSink& from, bool ok) {
        BrioFree(into.Release());
        return !ok || into.Append(from.Text(), from.Length()) == 0;
    }

    // The footnote's text: its text tokens up to the brace that closes it,
    // leading white space and the leading reference mark left out.
    int32_t Collect(char mark, RtfSink& text) {
        int32_t level = 1;
        bool markSeen = false;
        for (;;) {
            int32_t rc = r_.Next();
            if (rc != 0) return rc;
            if (r_.Kind() == kRtfGroup) {
                level += r_.First() == '{' ? 1 : -1;
                if (level == 0) return 0;
                continue;
            }
            if (r_.Kind() != kRtfText) continue;
            char ch = r_.First();
            if (text.Length() == 0 && IsWhite(ch)) continue;
            if (!markSeen) {
                markSeen = true;
                if (ch == mark && r_.Length() == 1) continue;
            }
            if (text.Append(r_.Text(), static_cast<size_t>(r_.Length())) != 0)
                return BRIO_ERR_NO_MEMORY;
        }
    }

    RtfReader& r_;
    RtfSink& out_;
    RtfWordWriter w_;
    int32_t textCount_ = 0;
    bool afterBackslash_ = false;
    int32_t hexLeft_ = 0;  // digits of a \'hh escape still to come
    Region region_ = Region::kBeforeText;
    Region regionBefore_ = Region::kBeforeText;
    Written last_, previous_;
    Texts* texts_ = nullptr;
    int32_t* nonScrolling_ = nullptr;
};

// Hands a collected text out as a fresh heap string, leading white space
// removed.
void GiveText(bool have, RtfSink& text, char** out, uint32_t* length) {
    size_t size = text.Length();
    char* data = text.Release();
    if (!have || !data) {
        BrioFree(data);
        return;
    }
    size_t skip = 0;
    while (skip < size && IsWhite(data[skip])) ++skip;
    std::memmove(data, data + skip, size - skip + 1);
    *out = data;
    *length = static_cast<uint32_t>(size - skip);
}

}  // namespace

int32_t TopicImportRun(const char* rtfText, TopicImport& handle, TopicImported& out) {
    std::memset(gFirstLine, 0, sizeof gFirstLine);
    RtfReader reader(rtfText);
    RtfSink& sink = handle.output;
    Texts texts;
    int32_t textCount = 0;
    // The topic ends at the first \page, and its text is seldom longer than
    // the input up to there: room for that at once saves the growth copies.
    const char* page = std::strstr(reader.Input(), "\\page");
    size_t extent = page ? static_cast<size_t>(page - reader.Input()) : std::strlen(reader.Input());
    int32_t rc = sink.Reserve(extent + 4096);
    if (rc == 0) {
        Importer importer(reader, sink);
        rc = importer.Run(texts, &out.nonScrolling);
        textCount = importer.TextCount();
        if (out.nonScrolling == 0) out.nonScrolling = importer.RegionToEnd();
    }
    out.consumed = reader.Consumed();
    if (textCount < kFirstLineSize - 1) gFirstLine[textCount] = 0;
    size_t skip = 0;
    while (IsWhite(gFirstLine[skip])) ++skip;
    std::memmove(gFirstLine, gFirstLine + skip, std::strlen(gFirstLine + skip) + 1);
    GiveText(texts.haveContext, texts.context, &out.strings[0], &out.lengths[0]);
    GiveText(texts.haveTitle, texts.title, &out.strings[1], &out.lengths[1]);
    GiveText(texts.haveBrowse, texts.browse, &out.strings[2], &out.lengths[2]);
    GiveText(texts.haveKeywords, texts.keywords, &out.strings[3], &out.lengths[3]);
    return rc;
}

const char* TopicFirstLine() {
    return gFirstLine;
}

}  // namespace brio
