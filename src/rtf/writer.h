// The one rule for when a control word needs a delimiting blank so that it
// does not swallow what is written after it, and the writer that applies it
// for a pass that leaves tokens out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "rtf/reader.h"
#include "rtf/sink.h"

namespace brio {

// True when `next`, written right after a control word whose text ends in
// `last` (no delimiter), would be read as part of that word.
inline bool RtfWordAbsorbs(char last, char next) {
    auto letter = [](char ch) { return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z'); };
    auto digit = [](char ch) { return ch >= '0' && ch <= '9'; };
    if (next == ' ') return letter(last) || digit(last) || last == '-';
    if (letter(last)) return letter(next) || digit(next) || next == '-';
    if (digit(last) || last == '-') return digit(next);
    return false;
}

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

// Writes to a sink and puts a blank between a control word and a following
// character that would otherwise join it.
class RtfWordWriter {
  public:
    explicit RtfWordWriter(RtfSink& sink) : sink_(sink) {}

    int32_t Write(const char* data, size_t length, bool controlWord) {
        if (length == 0) return 0;
        if (openEnd_ && RtfWordAbsorbs(openEnd_, data[0])) {
            int32_t rc = sink_.Append(" ", 1);
            if (rc != 0) return rc;
        }
        openEnd_ = controlWord ? RtfOpenWordEnd(data, length) : 0;
        return sink_.Append(data, length);
    }
    int32_t WriteToken(const RtfReader& r) {
        return Write(r.Text(), static_cast<size_t>(r.Length()), r.Kind() == kRtfControlWord);
    }
    int32_t WriteString(const char* text) { return Write(text, std::strlen(text), false); }
    // A control word written by the pass itself.
    int32_t WriteWord(const char* word) { return Write(word, std::strlen(word), true); }
    // After text written around the writer (copied groups, style sheets).
    void Reset(char openEnd = 0) { openEnd_ = openEnd; }
    char OpenEnd() const { return openEnd_; }
    size_t Length() const { return sink_.Length(); }
    RtfSink& Sink() { return sink_; }
    // Takes back everything written from `length` on; the output may end in
    // a control word again, which the next write must not join.
    void CutBack(size_t length) {
        if (length >= sink_.Length()) return;
        sink_.CutBack(length);
        openEnd_ = RtfOpenWordEnd(sink_.Text(), length);
    }

  private:
    RtfSink& sink_;
    char openEnd_ = 0;
};

}  // namespace brio
