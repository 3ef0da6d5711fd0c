// Form files: a text file of nested "Begin type name" ... "End" sections with
// "key = value" lines, held in memory as a list of lines until it is closed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "brioutil.h"

namespace brio {

// How a line ended in the file. Kept per line so that an untouched file is
// written back byte for byte, whatever mix of terminators it had.
enum class LineEnd : uint8_t { None, Lf, CrLf };

struct FormLine {
    char* text;     // owned (BrioMalloc), zero-terminated, without the terminator
    size_t length;  // bytes before the terminator; the text itself may hold NULs
    LineEnd end;
};

enum class FormLineKind { Other, Property, Begin, End };

// Offsets into one line.
struct PropertyParts {
    size_t keyBegin, keyEnd;  // the key: up to white space or '='
    size_t sign;              // the '=' that follows the key
    size_t valueBegin;        // first non-white byte after the sign, or the line's end
};

struct BeginParts {
    size_t typeBegin, typeEnd;
    size_t nameBegin, nameEnd;
};

// "key = value": a key (ends at white space or '='), optional white space,
// '=', and the value, which may be empty.
bool ParseProperty(const char* text, size_t length, PropertyParts* parts);
// "Begin" (this case), optional white space, a type word, white space, a name
// word; anything after the name is ignored. A property line is never one.
bool ParseBegin(const char* text, size_t length, BeginParts* parts);
// Property, Begin, End (starts with "End" after white space), or Other.
FormLineKind ClassifyLine(const char* text, size_t length);

// Reads the whole stream into lines. CR LF and LF both end a line; a lone CR
// stays in the text. 0, BRIO_ERR_NO_MEMORY or BRIO_ERR_READ.
int32_t FormReadLines(FormFile* form, FILE* stream);

// Index of the first Begin line of this type and name (any case), however
// deep, and its depth (Begin lines minus End lines up to and including it);
// -1 when there is none.
int32_t FormFindSection(const FormFile* form, const char* type, const char* name, int32_t* depth);
// Index of the property line with this key (any case) at the section's own
// level: nested sections are skipped, the section's End line ends the search.
int32_t FormFindProperty(const FormFile* form, int32_t section, const char* key);

}  // namespace brio

// The handle the host keeps between FormOpen and FormClose.
struct FormFile {
    char* path;  // own copy of the name given to FormOpen
    brio::FormLine* lines;
    int32_t lineCount;
    int32_t capacity;
    brio::LineEnd defaultEnd;  // for lines that had none: the file's own style
};
