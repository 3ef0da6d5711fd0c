// A pass's output when it leaves tokens out: the one rule for when a
// control word needs a delimiting blank so that it does not swallow what is
// written after it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "rtf/rtf.h"

namespace brio {

// The last character of the control word that text[0..length) ends with
// when no delimiter follows it (a letter, or a digit or '-' of its
// parameter), else 0. A backslash starts a word only when it is not itself
// escaped, so "\\b" ends in text.
inline char RtfOpenWordEnd(const char* text, size_t length) {
    auto letter = [](char ch) { return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z'); };
    size_t i = length;
    while (i > 0 && text[i - 1] >= '0' && text[i - 1] <= '9') --i;
    if (i > 0 && text[i - 1] == '-') --i;
    size_t lettersEnd = i;
    while (i > 0 && letter(text[i - 1])) --i;
    if (i == lettersEnd || i == 0 || text[i - 1] != '\\') return 0;
    size_t backslashes = 0;
    while (i > 0 && text[i - 1] == '\\') {
        --i;
        ++backslashes;
    }
    return backslashes % 2 == 1 ? text[length - 1] : 0;
}

// Writes through to the context's output and puts a blank between a
// control word and a following character that would otherwise join it.
class RtfWordWriter {
  public:
    explicit RtfWordWriter(RtfContext* c) : c_(c) {}

    int32_t Write(const char* data, size_t length, bool controlWord) {
        if (length == 0) return 0;
        if (openEnd_ && RtfWordAbsorbs(openEnd_, data[0])) {
            int32_t rc = RtfWriteBytes(c_, " ", 1);
            if (rc != 0) return rc;
        }
        openEnd_ = controlWord ? RtfOpenWordEnd(data, length) : 0;
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
    size_t Length() const { return static_cast<size_t>(RtfOutputLength(c_)); }
    // Takes back everything written from `length` on; the output may end in
    // a control word again, which the next write must not join.
    void CutBack(size_t length) {
        size_t now = Length();
        if (length >= now) return;
        c_->outFree += static_cast<int32_t>(now - length);
        c_->outPos = c_->outBuffer + length;
        *c_->outPos = 0;
        openEnd_ = RtfOpenWordEnd(c_->outBuffer, length);
    }

  private:
    RtfContext* c_;
    char openEnd_ = 0;
};

}  // namespace brio
