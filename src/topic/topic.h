// Internals shared by the topic passes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "rtf/rtf.h"
#include "rtf/writer.h"

namespace brio {

// The RTF of a new, empty topic (577 characters).
extern const char kTopicTemplate[];
extern const uint32_t kTopicTemplateLength;

// A text that does not open with "{\rtf" (after white space) continues a
// document after an earlier topic: it starts inside the document group.
// (A later topic may well open with a group of its own, "{\b Title}...".)
inline bool TopicIsContinuation(const char* text) {
    while (*text == ' ' || *text == '\t' || *text == '\r' || *text == '\n') ++text;
    return std::strncmp(text, "{\\rtf", 5) != 0;
}

}  // namespace brio
