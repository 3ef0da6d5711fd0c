// The style sheet: reading it into the character-style table, copying it
// with the "Autolink;" style added when missing, and the "\cs<n>" reference
// of a style by name.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

#include "platform/platform.h"
#include "rtf/buffer.h"
#include "rtf/rtf.h"

namespace brio {

const char kRtfAutolinkStyleName[] = "Autolink;";

namespace {

// Style numbers in use in one style sheet, so a missing "Autolink;" style
// gets a number no other style has.
class StyleNumbers {
  public:
    ~StyleNumbers() { BrioFree(numbers_); }
    void Add(int32_t n) {
        if (count_ == capacity_) {
            size_t grown = capacity_ ? capacity_ * 2 : 16;
            int32_t* p = static_cast<int32_t*>(BrioRealloc(numbers_, grown * sizeof(int32_t)));
            if (!p) return;  // only weakens the choice of a fresh number
            numbers_ = p;
            capacity_ = grown;
        }
        numbers_[count_++] = n;
    }
    // 99 when free, else the lowest free number above it.
    int32_t ChooseAutolink() {
        std::sort(numbers_, numbers_ + count_);
        int32_t n = kRtfAutolinkDefaultStyle;
        for (size_t i = 0; i < count_; ++i) {
            if (numbers_[i] == n) ++n;
        }
        return n;
    }

  private:
    int32_t* numbers_ = nullptr;
    size_t count_ = 0;
    size_t capacity_ = 0;
};

// The decimal parameter of a control word token (0 when it has none).
int32_t Parameter(const RtfContext* c) {
    const char* text = RtfTokenText(c);
    int32_t i = 1;
    while (i < c->tokenLength &&
           ((text[i] >= 'a' && text[i] <= 'z') || (text[i] >= 'A' && text[i] <= 'Z')))
        ++i;
    bool negative = i < c->tokenLength && text[i] == '-';
    if (negative) ++i;
    int64_t value = 0;
    for (; i < c->tokenLength && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT32_MAX) value = INT32_MAX;
    }
    return static_cast<int32_t>(negative ? -value : value);
}

// Whether the current token names a style number: \s, \cs, \ds or \ts.
bool IsStyleNumber(const RtfContext* c) {
    if (c->tokenKind != kRtfControlWord) return false;
    if (c->keywordId == kRtfIdS || c->keywordId == kRtfIdCs || c->keywordId == kRtfIdDs)
        return true;
    const char* text = RtfTokenText(c);
    return c->tokenLength >= 4 && std::strncmp(text, "\\ts", 3) == 0 && text[3] >= '0' &&
           text[3] <= '9';
}

// \cs itself, by its text: "\*" and unknown words keep the id of the word
// before them.
bool IsCharStyleWord(const RtfContext* c) {
    if (c->tokenKind != kRtfControlWord || c->tokenLength < 3) return false;
    const char* text = RtfTokenText(c);
    char next = c->tokenLength > 3 ? text[3] : 0;
    return std::strncmp(text, "\\cs", 3) == 0 &&
           !((next >= 'a' && next <= 'z') || (next >= 'A' && next <= 'Z'));
}

bool IsGroup(const RtfContext* c, char brace) {
    return RtfTokenIs(c, kRtfGroup, brace);
}

int32_t WriteCurrent(RtfContext* c) {
    return RtfWriteBytes(c, RtfTokenText(c), static_cast<size_t>(c->tokenLength));
}

int32_t AddAutolinkIfMissing(RtfContext* c, StyleNumbers& numbers) {
    if (RtfCharStyleRef(c, kRtfAutolinkStyleName, nullptr)) return 0;
    return RtfAddCharStyle(c, kRtfAutolinkStyleName, numbers.ChooseAutolink());
}

// One entry, its "{" already read. The entry runs to its own closing brace;
// nested groups (list-style definitions) are part of its text, and its name
// is its text outside them.
int32_t ReadEntry(RtfContext* c, int32_t echo, StyleNumbers& numbers) {
    RtfBuffer entry, name;
    bool ok = entry.Append('{');
    bool isCharStyle = false;
    bool nameBegun = false;
    int32_t number = 0;
    int32_t level = 1;
    for (;;) {
        int32_t rc = RtfNextToken(c);
        if (rc == -1) return BRIO_ERR_UNEXPECTED_END;
        if (rc != 0) return rc;
        ok = entry.Append(RtfTokenText(c), static_cast<size_t>(c->tokenLength)) && ok;
        if (c->tokenKind == kRtfGroup) {
            if (c->tokenText[0] == '{') {
                ++level;
            } else if (--level == 0) {
                break;
            }
        } else if (level == 1 && c->tokenKind == kRtfControlWord) {
            // The name ends the entry: only its closing brace may follow.
            if (nameBegun) return BRIO_ERR_UNBALANCED;
            if (IsStyleNumber(c)) numbers.Add(Parameter(c));
            if (IsCharStyleWord(c)) {
                isCharStyle = true;
                number = Parameter(c);
            }
        } else if (level == 1 && c->tokenKind == kRtfText) {
            nameBegun = true;
            ok = name.Append(RtfTokenText(c), static_cast<size_t>(c->tokenLength)) && ok;
        }
    }
    if (!ok) return BRIO_ERR_NO_MEMORY;
    int32_t rc = 0;
    if (isCharStyle) rc = RtfAddCharStyle(c, name.Text(), number);
    // A paragraph style of that name is the document's own.
    if (echo && !(isCharStyle && name.Equals(kRtfAutolinkStyleName))) {
        int32_t w = RtfWriteBytes(c, entry.Text(), entry.Size());
        if (rc == 0) rc = w;
    }
    return rc;
}

bool IsBlank(const RtfContext* c) {
    return c->tokenKind == kRtfText && c->tokenLength == 1 &&
           (c->tokenText[0] == ' ' || c->tokenText[0] == '\t');
}

}  // namespace

int32_t RtfAddCharStyle(RtfContext* c, const char* name, int32_t number) {
    if (c->charStyleCount == c->charStyleCapacity) {
        int64_t grown = c->charStyleCapacity ? 2 * static_cast<int64_t>(c->charStyleCapacity) : 8;
        if (grown > INT32_MAX / static_cast<int64_t>(sizeof(RtfCharStyle)))
            return BRIO_ERR_NO_MEMORY;
        RtfCharStyle* p = static_cast<RtfCharStyle*>(
            BrioRealloc(c->charStyles, static_cast<size_t>(grown) * sizeof(RtfCharStyle)));
        if (!p) return BRIO_ERR_NO_MEMORY;
        c->charStyles = p;
        c->charStyleCapacity = static_cast<int32_t>(grown);
    }
    size_t length = std::strlen(name);
    char* copy = static_cast<char*>(BrioMalloc(length + 1));
    if (!copy) return BRIO_ERR_NO_MEMORY;
    std::memcpy(copy, name, length + 1);
    c->charStyles[c->charStyleCount++] = {number, copy};
    return 0;
}

int32_t RtfCharStyleRef(RtfContext* c, const char* name, char* out) {
    if (out) out[0] = 0;
    for (int32_t i = 0; i < c->charStyleCount; ++i) {
        const unsigned char* a = reinterpret_cast<const unsigned char*>(c->charStyles[i].name);
        const unsigned char* b = reinterpret_cast<const unsigned char*>(name);
        while (*a && PlatCharUpper(*a) == PlatCharUpper(*b)) {
            ++a;
            ++b;
        }
        if (*a == 0 && *b == 0) {
            if (out) std::snprintf(out, kRtfStyleRefSize, "\\cs%d", c->charStyles[i].number);
            return 1;
        }
    }
    return 0;
}

int32_t RtfReadStylesheet(RtfContext* c, int32_t echo) {
    StyleNumbers numbers;
    for (;;) {
        int32_t rc = RtfNextToken(c);
        if (rc == -1) return BRIO_ERR_UNEXPECTED_END;
        if (rc != 0) return rc;
        if (IsGroup(c, '}')) {
            if (echo) rc = WriteCurrent(c);
            --c->depth;
            AddAutolinkIfMissing(c, numbers);
            return rc;
        }
        if (c->tokenKind == kRtfLineEnd || IsBlank(c)) {
            if (echo && (rc = WriteCurrent(c)) != 0) return rc;
        } else if (IsGroup(c, '{')) {
            if ((rc = ReadEntry(c, echo, numbers)) != 0) return rc;
        } else {
            return BRIO_ERR_UNBALANCED;
        }
    }
}

int32_t RtfCopyStylesheet(RtfContext* c) {
    StyleNumbers numbers;
    bool haveAutolink = false;
    RtfBuffer name;
    for (;;) {
        int32_t rc = RtfNextToken(c);
        if (rc != 0) return rc;
        if (IsGroup(c, '}')) break;
        if ((rc = WriteCurrent(c)) != 0) return rc;
        if (!IsGroup(c, '{')) continue;
        name.Clear();
        bool isCharStyle = false;
        int32_t level = 1;
        while (level > 0) {
            if (RtfNextToken(c) != 0) break;  // abandoned; the outer read reports it
            if ((rc = WriteCurrent(c)) != 0) return rc;
            if (c->tokenKind == kRtfGroup) {
                level += c->tokenText[0] == '{' ? 1 : -1;
            } else if (level == 1 && c->tokenKind == kRtfControlWord) {
                if (IsStyleNumber(c)) numbers.Add(Parameter(c));
                if (IsCharStyleWord(c)) isCharStyle = true;
            } else if (level == 1 && c->tokenKind == kRtfText) {
                if (!name.Append(RtfTokenText(c), static_cast<size_t>(c->tokenLength)))
                    return BRIO_ERR_NO_MEMORY;
            }
        }
        // Only a character style of the name defines the links' style; a
        // paragraph style "Autolink;" leaves it to be added.
        if (level == 0 && isCharStyle && name.Equals(kRtfAutolinkStyleName)) haveAutolink = true;
    }
    int32_t rc = 0;
    if (!haveAutolink) {
        char definition[64];
        std::snprintf(definition, sizeof definition, "{\\*\\cs%d \\additive Autolink;}",
                      numbers.ChooseAutolink());
        rc = RtfWriteString(c, definition);
    }
    RtfPopGroup(c);
    int32_t w = RtfWriteBytes(c, "}", 1);
    return rc != 0 ? rc : w;
}

}  // namespace brio
