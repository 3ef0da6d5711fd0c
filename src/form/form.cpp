// Form file model: reading lines, telling line kinds apart, finding sections
// and properties.
#include "form/form.h"

#include <cstring>

#include "platform/platform.h"

namespace brio {

namespace {

// The C locale's white space; bytes above 127 are text (Windows-1252).
bool IsWhite(unsigned char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

size_t SkipWhite(const char* text, size_t length, size_t i) {
    while (i < length && IsWhite(static_cast<unsigned char>(text[i]))) ++i;
    return i;
}

size_t SkipWord(const char* text, size_t length, size_t i) {
    while (i < length && !IsWhite(static_cast<unsigned char>(text[i]))) ++i;
    return i;
}

bool StartsWith(const char* text, size_t length, size_t at, const char* prefix) {
    size_t n = std::strlen(prefix);
    return length - at >= n && std::memcmp(text + at, prefix, n) == 0;
}

unsigned char FoldAscii(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
}

// A slice of a line against a caller's zero-terminated string, ignoring case.
bool SliceEquals(const char* text, size_t begin, size_t end, const char* wanted) {
    size_t n = std::strlen(wanted);
    if (end - begin != n) return false;
    for (size_t i = 0; i < n; ++i)
        if (FoldAscii(static_cast<unsigned char>(text[begin + i])) !=
            FoldAscii(static_cast<unsigned char>(wanted[i])))
            return false;
    return true;
}

bool AppendLine(FormFile* form, const char* text, size_t length, LineEnd end) {
    if (form->lineCount == form->capacity) {
        if (form->capacity > INT32_MAX / 2) return false;
        int32_t capacity = form->capacity ? form->capacity * 2 : 64;
        void* grown = BrioRealloc(form->lines, sizeof(FormLine) * static_cast<size_t>(capacity));
        if (!grown) return false;
        form->lines = static_cast<FormLine*>(grown);
        form->capacity = capacity;
    }
    char* copy = static_cast<char*>(BrioMalloc(length + 1));
    if (!copy) return false;
    if (length) std::memcpy(copy, text, length);
    copy[length] = '\0';
    form->lines[form->lineCount++] = FormLine{copy, length, end};
    return true;
}

}  // namespace

bool ParseProperty(const char* text, size_t length, PropertyParts* parts) {
    size_t key = SkipWhite(text, length, 0);
    size_t keyEnd = key;
    while (keyEnd < length && text[keyEnd] != '=' &&
           !IsWhite(static_cast<unsigned char>(text[keyEnd])))
        ++keyEnd;
    if (keyEnd == key) return false;
    size_t sign = SkipWhite(text, length, keyEnd);
    if (sign == length || text[sign] != '=') return false;
    // Nothing after the sign is an empty value: a set of "" must read back.
    size_t value = SkipWhite(text, length, sign + 1);
    if (parts) *parts = PropertyParts{key, keyEnd, sign, value};
    return true;
}

bool ParseBegin(const char* text, size_t length, BeginParts* parts) {
    size_t i = SkipWhite(text, length, 0);
    if (!StartsWith(text, length, i, "Begin")) return false;
    if (ParseProperty(text, length, nullptr)) return false;
    size_t type = SkipWhite(text, length, i + 5);
    size_t typeEnd = SkipWord(text, length, type);
    if (typeEnd == type) return false;
    size_t name = SkipWhite(text, length, typeEnd);
    size_t nameEnd = SkipWord(text, length, name);
    if (nameEnd == name) return false;
    if (parts) *parts = BeginParts{type, typeEnd, name, nameEnd};
    return true;
}

FormLineKind ClassifyLine(const char* text, size_t length) {
    if (ParseProperty(text, length, nullptr)) return FormLineKind::Property;
    if (ParseBegin(text, length, nullptr)) return FormLineKind::Begin;
    if (StartsWith(text, length, SkipWhite(text, length, 0), "End")) return FormLineKind::End;
    return FormLineKind::Other;
}

int32_t FormReadLines(FormFile* form, FILE* stream) {
    // The whole file first: lines of any length stay whole.
    size_t size = 0, capacity = 0;
    char* data = nullptr;
    for (;;) {
        if (size == capacity) {
            size_t grownCapacity = capacity ? capacity * 2 : 65536;
            char* grown = static_cast<char*>(BrioRealloc(data, grownCapacity));
            if (!grown) {
                BrioFree(data);
                return BRIO_ERR_NO_MEMORY;
            }
            data = grown;
            capacity = grownCapacity;
        }
        size_t got = std::fread(data + size, 1, capacity - size, stream);
        size += got;
        if (got == 0) break;
    }
    if (std::ferror(stream)) {
        BrioFree(data);
        return BRIO_ERR_READ;
    }

    int32_t status = BRIO_OK;
    size_t start = 0;
    for (size_t i = 0; i <= size && status == BRIO_OK; ++i) {
        if (i < size && data[i] != '\n') continue;
        if (i == size && start == size) break;  // nothing after the last terminator
        LineEnd end = LineEnd::None;
        size_t stop = i;
        if (i < size) {
            end = LineEnd::Lf;
            if (stop > start && data[stop - 1] == '\r') {
                end = LineEnd::CrLf;
                --stop;
            }
        }
        if (form->lineCount == INT32_MAX || !AppendLine(form, data + start, stop - start, end))
            status = BRIO_ERR_NO_MEMORY;
        start = i + 1;
    }
    BrioFree(data);
    if (status != BRIO_OK) return status;

    for (int32_t i = 0; i < form->lineCount; ++i)
        if (form->lines[i].end != LineEnd::None) {
            form->defaultEnd = form->lines[i].end;
            break;
        }
    return BRIO_OK;
}

int32_t FormFindSection(const FormFile* form, const char* type, const char* name, int32_t* depth) {
    int32_t level = 0;
    for (int32_t i = 0; i < form->lineCount; ++i) {
        const FormLine& line = form->lines[i];
        BeginParts parts;
        if (ParseBegin(line.text, line.length, &parts)) {
            ++level;
            if (SliceEquals(line.text, parts.typeBegin, parts.typeEnd, type) &&
                SliceEquals(line.text, parts.nameBegin, parts.nameEnd, name)) {
                if (depth) *depth = level;
                return i;
            }
        } else if (ClassifyLine(line.text, line.length) == FormLineKind::End) {
            --level;
        }
    }
    return -1;
}

int32_t FormFindProperty(const FormFile* form, int32_t section, const char* key) {
    int32_t nested = 0;
    for (int32_t i = section + 1; i < form->lineCount; ++i) {
        const FormLine& line = form->lines[i];
        PropertyParts parts;
        if (ParseProperty(line.text, line.length, &parts)) {
            if (nested == 0 && SliceEquals(line.text, parts.keyBegin, parts.keyEnd, key)) return i;
            continue;
        }
        switch (ClassifyLine(line.text, line.length)) {
            case FormLineKind::Begin:
                ++nested;
                break;
            case FormLineKind::End:
                if (nested == 0) return -1;
                --nested;
                break;
            default:
                break;
        }
    }
    return -1;
}

}  // namespace brio
