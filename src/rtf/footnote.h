// Help footnotes, the one writer of them.
#pragma once

#include <cstdint>

#include "rtf/sink.h"

namespace brio {

// A topic's footnotes follow CR LF, and the macro mark '!' doubles the
// backslashes of its text; a placeholder topic's follow LF and keep their
// text as given, written even when empty.
enum class RtfFootnoteStyle { kTopic, kPlaceholder };

// A line end, then "<mark>{\footnote {\super <mark>}<text>}". Nothing for
// a null text, nor for an empty one in a topic. 0 or 2005.
int32_t RtfWriteFootnote(RtfSink& sink, char mark, const char* text,
                         RtfFootnoteStyle style = RtfFootnoteStyle::kTopic);

}  // namespace brio
