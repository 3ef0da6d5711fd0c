// The character-style table of a document, read from its style sheet, and
// the copy of a style sheet with the "Autolink;" style added.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "rtf/reader.h"
#include "rtf/sink.h"

namespace brio {

// Room for "\cs" and any 32-bit number.
constexpr size_t kRtfStyleRefSize = 16;
extern const char kRtfAutolinkStyleName[];  // "Autolink;"
constexpr int32_t kRtfAutolinkDefaultStyle = 99;

class RtfStyles {
  public:
    // The name as it stood in the style sheet, semicolon included. 0 or 2005.
    int32_t Add(const char* name, int32_t number);
    bool Empty() const { return styles_.empty(); }
    // Whether a style of this name (any case) exists; `out`
    // (kRtfStyleRefSize bytes, may be null) receives "\cs<number>" or "".
    bool Ref(const char* name, char* out) const;

  private:
    struct Style {
        int32_t number;
        std::string name;
    };
    std::vector<Style> styles_;
};

// After \stylesheet and its pushed group: reads the style sheet into the
// table, which then always holds "Autolink;" unless memory ran out; with an
// echo sink also writes it there, less the "Autolink;" entry.
int32_t RtfReadStylesheet(RtfReader& reader, RtfStyles& styles, RtfSink* echo);
// After \stylesheet was written: copies the style sheet and adds the
// "Autolink;" definition when it is missing.
int32_t RtfCopyStylesheet(RtfReader& reader, RtfSink& sink);
// A fragment carries no style sheet: its links are those of the "Autolink;"
// style with the default number, as in a document whose sheet lacks it, so
// that what Autolink writes there removal and emission can take out. 0 or
// 2005; nothing for a document or a fragment with a sheet of its own.
int32_t RtfFragmentStyles(const RtfReader& reader, RtfStyles& styles);

}  // namespace brio
