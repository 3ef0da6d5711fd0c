// Internals shared by the topic passes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "rtf/rtf.h"

namespace brio {

// The RTF of a new, empty topic (577 characters).
extern const char kTopicTemplate[];
extern const uint32_t kTopicTemplateLength;

// A text that does not open with "{\rtf" (after white space) continues a
// document after an earlier topic: it starts inside the document group.
// (A later topic may well open with a group of its own, "{\b Title}...".)
inline bool TopicIsContinuation(const char* text) {
    return RtfStartDepth(text) > 0;
}

// The last character of a control word written without its delimiter, or 0
// when a following character cannot join the word (a blank ends it, \bin
// data, \*).
inline char TopicOpenWordEnd(const char* text, size_t length) {
    if (length < 2 || text[0] != '\\') return 0;
    size_t i = 1;
    auto letter = [](char ch) { return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z'); };
    while (i < length && letter(text[i])) ++i;
    if (i == 1) return 0;
    if (i < length && text[i] == '-') ++i;
    while (i < length && text[i] >= '0' && text[i] <= '9') ++i;
    return i == length ? text[length - 1] : 0;
}

// Writes a pass's output, keeping a control word from swallowing what
// follows it once a token between them was left out: a blank is written
// where the next character would otherwise join the word.
class TopicWriter {
  public:
    explicit TopicWriter(RtfContext* c) : c_(c) {}

    int32_t Write(const char* data, size_t length, bool controlWord) {
        if (length == 0) return 0;
        if (openEnd_ && RtfWordAbsorbs(openEnd_, data[0])) {
            int32_t rc = RtfWriteBytes(c_, " ", 1);
            if (rc != 0) return rc;
        }
        openEnd_ = controlWord ? TopicOpenWordEnd(data, length) : 0;
        return RtfWriteBytes(c_, data, length);
    }
    int32_t WriteToken() {
        return Write(RtfTokenText(c_), static_cast<size_t>(c_->tokenLength),
                     c_->tokenKind == kRtfControlWord);
    }
    int32_t WriteString(const char* text) { return Write(text, std::strlen(text), false); }
    // After text written around the writer (copied groups, style sheets).
    void Reset(char openEnd = 0) { openEnd_ = openEnd; }
    char OpenEnd() const { return openEnd_; }

  private:
    RtfContext* c_;
    char openEnd_ = 0;
};

}  // namespace brio
