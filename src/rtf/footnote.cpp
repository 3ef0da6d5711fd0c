// Help footnotes, written piece by piece, so a footnote of any length stays
// whole.
#include "rtf/footnote.h"

#include <cstring>

namespace brio {

int32_t RtfWriteFootnote(RtfSink& sink, char mark, const char* text, RtfFootnoteStyle style) {
    bool topic = style == RtfFootnoteStyle::kTopic;
    if (!text || (topic && !*text)) return 0;
    char head[] = "?{\\footnote {\\super ?}";
    head[0] = mark;
    head[sizeof head - 3] = mark;
    int32_t rc = sink.Append(topic ? "\r\n" : "\n");
    if (rc == 0) rc = sink.Append(head);
    if (mark == '!' && topic) {
        // The macro's backslashes are doubled; nothing else is escaped.
        const char* run = text;
        for (const char* p = text; rc == 0; ++p) {
            if (*p == '\\' || *p == 0) {
                rc = sink.Append(run, static_cast<size_t>(p - run));
                if (*p == 0 || rc != 0) break;
                rc = sink.Append("\\\\", 2);
                run = p + 1;
            }
        }
    } else if (rc == 0) {
        rc = sink.Append(text);
    }
    return rc == 0 ? sink.Append("}", 1) : rc;
}

}  // namespace brio
