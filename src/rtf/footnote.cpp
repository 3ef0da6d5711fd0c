// Help footnotes: "<mark>{\footnote {\super <mark>}<text>}" after a line
// break. Written piece by piece, so a footnote of any length stays whole.
#include <cstring>

#include "rtf/rtf.h"

namespace brio {

int32_t RtfWriteFootnote(RtfContext* c, char mark, const char* text) {
    if (!text || !*text) return 0;
    char head[] = "\r\n?{\\footnote {\\super ?}";
    head[2] = mark;
    head[sizeof head - 3] = mark;
    int32_t rc = RtfWriteString(c, head);
    if (mark == '!') {
        // The macro's backslashes are doubled; nothing else is escaped.
        const char* run = text;
        for (const char* p = text;; ++p) {
            if (*p == '\\' || *p == 0) {
                int32_t w = RtfWriteBytes(c, run, static_cast<size_t>(p - run));
                if (rc == 0) rc = w;
                if (*p == 0) break;
                w = RtfWriteBytes(c, "\\\\", 2);
                if (rc == 0) rc = w;
                run = p + 1;
            }
        }
    } else {
        int32_t w = RtfWriteString(c, text);
        if (rc == 0) rc = w;
    }
    int32_t w = RtfWriteBytes(c, "}", 1);
    return rc != 0 ? rc : w;
}

}  // namespace brio
