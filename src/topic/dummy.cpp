// Placeholder topic files: the template's header, then topics given as
// plain properties and body text, written to a text-mode file.
#include <cstring>

#include "brioutil.h"
#include "rtf/footnote.h"
#include "rtf/writer.h"
#include "topic/topic.h"

namespace brio {

namespace {

// The body is plain text: backslashes and braces are escaped.
int32_t WriteBody(RtfWordWriter& w, const char* text) {
    const char* run = text;
    for (const char* p = text;; ++p) {
        if (*p == '\\' || *p == '{' || *p == '}' || *p == 0) {
            int32_t rc = w.Write(run, static_cast<size_t>(p - run), false);
            if (rc != 0 || *p == 0) return rc;
            char escaped[2] = {'\\', *p};
            if ((rc = w.Write(escaped, 2, false)) != 0) return rc;
            run = p + 1;
        }
    }
}

int32_t WriteTopic(RtfSink& sink, const TopicProperties& p, const char* bodyText, bool keepn) {
    RtfWordWriter w(sink);
    int32_t rc = w.WriteWord("\\page");
    if (rc == 0 && keepn) rc = w.WriteWord("\\keepn");
    const char marks[] = {'#', '$', '!'};
    const char* texts[] = {p.contextString, p.title, p.entryMacro};
    auto footnote = [&](char mark, const char* text) {
        if (rc != 0) return;
        rc = RtfWriteFootnote(sink, mark, text, RtfFootnoteStyle::kPlaceholder);
        // It starts with a line end: no control word took it in.
        w.Reset();
    };
    for (int i = 0; i < 3; ++i)
        if (texts[i] && *texts[i]) footnote(marks[i], texts[i]);
    // Empty keywords between bars are written as they are.
    for (char* part = p.keywords && *p.keywords ? p.keywords : nullptr; part;) {
        char* bar = std::strchr(part, '|');
        if (bar) *bar = 0;
        footnote('K', part);
        part = bar ? bar + 1 : nullptr;
    }
    if (p.browseSequence && *p.browseSequence) footnote('+', p.browseSequence);
    if (rc == 0 && bodyText && *bodyText) rc = WriteBody(w, bodyText);
    if (rc == 0 && keepn) rc = w.WriteString("\n\\par\\pard\n");
    return rc;
}

}  // namespace

bool TopicDummyOpen(TopicFile& handle) {
    // The template less the brace that closes the document.
    return handle.file.Write(kTopicTemplate, kTopicTemplateLength - 1);
}

int32_t TopicDummyWrite(TopicFile& handle, const TopicProperties& properties, const char* bodyText,
                        bool keepn) {
    RtfSink sink;
    // A topic that cannot be put together fails the file, as a failed write.
    if (WriteTopic(sink, properties, bodyText, keepn) != 0 ||
        !handle.file.Write(sink.Text(), sink.Length()))
        handle.file.SetFailed();
    return 0;
}

int32_t TopicDummyClose(TopicFile& handle) {
    handle.file.Write("}\n");
    // A write that failed earlier counts as much as a failed close.
    return handle.file.Commit() ? 0 : BRIO_ERR_WRITE;
}

}  // namespace brio
