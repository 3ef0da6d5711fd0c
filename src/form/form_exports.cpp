// The Form... exports: open a form file, get, set and delete on its lines in
// memory, and write it back on close.
#include <cstring>
#include <new>

#include "brioutil.h"
#include "form/form.h"
#include "frame/guard.h"
#include "platform/platform.h"

namespace brio {

namespace {

// A file with no terminated line gets the platform's own terminator.
#ifdef _WIN32
constexpr LineEnd kNativeEnd = LineEnd::CrLf;
#else
constexpr LineEnd kNativeEnd = LineEnd::Lf;
#endif

void ReleaseForm(FormFile* form) {
    for (int32_t i = 0; i < form->lineCount; ++i) BrioFree(form->lines[i].text);
    BrioFree(form->lines);
    BrioFree(form->path);
    BrioFree(form);
}

bool HasLineBreak(const char* text) {
    return std::strpbrk(text, "\r\n") != nullptr;
}

// Builds prefix + middle + value as a new zero-terminated line.
char* BuildLine(const char* prefix, size_t prefixLength, const char* middle, size_t middleLength,
                const char* value, size_t* length) {
    size_t valueLength = std::strlen(value);
    size_t total = prefixLength + middleLength + valueLength;
    char* text = static_cast<char*>(BrioMalloc(total + 1));
    if (!text) return nullptr;
    if (prefixLength) std::memcpy(text, prefix, prefixLength);
    if (middleLength) std::memcpy(text + prefixLength, middle, middleLength);
    if (valueLength) std::memcpy(text + prefixLength + middleLength, value, valueLength);
    text[total] = '\0';
    *length = total;
    return text;
}

// Inserts a line at `at`; the form is unchanged on failure.
int32_t InsertLine(FormFile* form, int32_t at, char* text, size_t length, LineEnd end) {
    if (form->lineCount == form->capacity) {
        if (form->capacity > INT32_MAX / 2) return BRIO_ERR_NO_MEMORY;
        int32_t capacity = form->capacity ? form->capacity * 2 : 16;
        void* grown = BrioRealloc(form->lines, sizeof(FormLine) * static_cast<size_t>(capacity));
        if (!grown) return BRIO_ERR_NO_MEMORY;
        form->lines = static_cast<FormLine*>(grown);
        form->capacity = capacity;
    }
    std::memmove(form->lines + at + 1, form->lines + at,
                 sizeof(FormLine) * static_cast<size_t>(form->lineCount - at));
    form->lines[at] = FormLine{text, length, end};
    ++form->lineCount;
    return BRIO_OK;
}

const char* Terminator(LineEnd end) {
    return end == LineEnd::CrLf ? "\r\n" : "\n";
}

}  // namespace

}  // namespace brio

using namespace brio;

static FormFile* FormOpenBody(const char* path) {
    if (!path) return nullptr;
    FILE* stream = PlatFileOpen(path, "rb");
    if (!stream) return nullptr;
    auto* form = static_cast<FormFile*>(BrioMalloc(sizeof(FormFile)));
    if (!form) {
        std::fclose(stream);
        return nullptr;
    }
    *form = FormFile{nullptr, nullptr, 0, 0, kNativeEnd};
    size_t pathLength = std::strlen(path);
    form->path = static_cast<char*>(BrioMalloc(pathLength + 1));
    int32_t status = BRIO_ERR_NO_MEMORY;
    if (form->path) {
        std::memcpy(form->path, path, pathLength + 1);
        status = FormReadLines(form, stream);
    }
    std::fclose(stream);
    if (status != BRIO_OK) {
        ReleaseForm(form);
        return nullptr;
    }
    return form;
}

static int32_t FormGetPropertyBody(FormFile* form, const char* sectionType, const char* sectionName,
                                   const char* key, const char** value, int32_t* length) {
    if (!form || !sectionType || !sectionName || !key) return BRIO_ERR_NOT_FOUND;
    int32_t section = FormFindSection(form, sectionType, sectionName, nullptr);
    if (section < 0) return BRIO_ERR_NOT_FOUND;
    int32_t index = FormFindProperty(form, section, key);
    if (index < 0) return BRIO_ERR_NOT_FOUND;
    const FormLine& line = form->lines[index];
    PropertyParts parts;
    ParseProperty(line.text, line.length, &parts);
    size_t valueLength = line.length - parts.valueBegin;
    if (value) *value = line.text + parts.valueBegin;
    if (length) *length = valueLength > INT32_MAX ? INT32_MAX : static_cast<int32_t>(valueLength);
    return BRIO_OK;
}

static int32_t FormSetPropertyBody(FormFile* form, const char* sectionType, const char* sectionName,
                                   const char* key, const char* value) {
    if (!form || !sectionType || !sectionName || !key || !value) return BRIO_ERR_NOT_FOUND;
    // A line break would write new lines into the file.
    if (HasLineBreak(value) || HasLineBreak(key)) return BRIO_ERR_BAD_VALUE;
    int32_t depth = 0;
    int32_t section = FormFindSection(form, sectionType, sectionName, &depth);
    if (section < 0) return BRIO_ERR_NOT_FOUND;

    size_t length = 0;
    int32_t index = FormFindProperty(form, section, key);
    if (index >= 0) {
        FormLine& line = form->lines[index];
        PropertyParts parts;
        ParseProperty(line.text, line.length, &parts);
        char* text = BuildLine(line.text, parts.sign + 1, "   ", 3, value, &length);
        if (!text) return BRIO_ERR_NO_MEMORY;
        BrioFree(line.text);
        line.text = text;
        line.length = length;
        return BRIO_OK;
    }

    // A new property becomes the section's first line, indented by level.
    size_t indent = depth > 0 ? 3 * static_cast<size_t>(depth) : 0;
    size_t keyLength = std::strlen(key);
    char* prefix = static_cast<char*>(BrioMalloc(indent + keyLength + 1));
    if (!prefix) return BRIO_ERR_NO_MEMORY;
    std::memset(prefix, ' ', indent);
    std::memcpy(prefix + indent, key, keyLength);
    char* text = BuildLine(prefix, indent + keyLength, " = ", 3, value, &length);
    BrioFree(prefix);
    if (!text) return BRIO_ERR_NO_MEMORY;
    LineEnd beginEnd = form->lines[section].end;
    int32_t status = InsertLine(form, section + 1, text, length,
                                beginEnd != LineEnd::None ? beginEnd : form->defaultEnd);
    if (status != BRIO_OK) BrioFree(text);
    return status;
}

static int32_t FormDeleteSectionBody(FormFile* form, const char* sectionType,
                                     const char* sectionName) {
    if (!form || !sectionType || !sectionName) return BRIO_ERR_NOT_FOUND;
    int32_t section = FormFindSection(form, sectionType, sectionName, nullptr);
    if (section < 0) return BRIO_ERR_NOT_FOUND;
    // Through the matching End line; a section left open runs to the end.
    int32_t last = form->lineCount - 1;
    int32_t nested = 0;
    for (int32_t i = section + 1; i < form->lineCount; ++i) {
        const FormLine& line = form->lines[i];
        FormLineKind kind = ClassifyLine(line.text, line.length);
        if (kind == FormLineKind::Begin) {
            ++nested;
        } else if (kind == FormLineKind::End) {
            if (nested == 0) {
                last = i;
                break;
            }
            --nested;
        }
    }
    for (int32_t i = section; i <= last; ++i) BrioFree(form->lines[i].text);
    std::memmove(form->lines + section, form->lines + last + 1,
                 sizeof(FormLine) * static_cast<size_t>(form->lineCount - last - 1));
    form->lineCount -= last - section + 1;
    return BRIO_OK;
}

static int32_t FormCloseBody(FormFile* form) {
    if (!form) return BRIO_ERR_NOT_FOUND;
    int32_t status = BRIO_OK;
    try {
        // Written beside the target and renamed over it, so a failed write
        // never leaves a truncated form file.
        AtomicFile out;
        if (!out.Open(form->path)) {
            status = BRIO_ERR_WRITE;
        } else {
            for (int32_t i = 0; i < form->lineCount; ++i) {
                const FormLine& line = form->lines[i];
                out.Write(line.text, line.length);
                out.Write(Terminator(line.end != LineEnd::None ? line.end : form->defaultEnd));
            }
            if (!out.Commit()) status = BRIO_ERR_WRITE;
        }
    } catch (const std::bad_alloc&) {
        status = BRIO_ERR_NO_MEMORY;
    } catch (...) {
        status = BRIO_ERR_WRITE;
    }
    ReleaseForm(form);
    return status;
}

namespace {
int32_t NoMemory() {
    return BRIO_ERR_NO_MEMORY;
}
}  // namespace

extern "C" FormFile* BRIOAPI FormOpen(const char* path) {
    return GuardExport([&] { return FormOpenBody(path); },
                       [] { return static_cast<FormFile*>(nullptr); });
}

extern "C" int32_t BRIOAPI FormGetProperty(FormFile* form, const char* sectionType,
                                           const char* sectionName, const char* key,
                                           const char** value, int32_t* length) {
    return GuardExport(
        [&] { return FormGetPropertyBody(form, sectionType, sectionName, key, value, length); },
        NoMemory);
}

extern "C" int32_t BRIOAPI FormSetProperty(FormFile* form, const char* sectionType,
                                           const char* sectionName, const char* key,
                                           const char* value) {
    return GuardExport(
        [&] { return FormSetPropertyBody(form, sectionType, sectionName, key, value); }, NoMemory);
}

extern "C" int32_t BRIOAPI FormDeleteSection(FormFile* form, const char* sectionType,
                                             const char* sectionName) {
    return GuardExport([&] { return FormDeleteSectionBody(form, sectionType, sectionName); },
                       NoMemory);
}

extern "C" int32_t BRIOAPI FormClose(FormFile* form) {
    return GuardExport([&] { return FormCloseBody(form); }, NoMemory);
}
