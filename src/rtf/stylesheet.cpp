// The style sheet: reading it into the character-style table, copying it
// with the "Autolink;" style added when missing, and the "\cs<n>" reference
// of a style by name.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "platform/platform.h"
#include "rtf/styles.h"

namespace brio {

const char kRtfAutolinkStyleName[] = "Autolink;";

namespace {

// Style numbers in use in one style sheet, so a missing "Autolink;" style
// gets a number no other style has.
class StyleNumbers {
  public:
    void Add(int32_t n) {
        try {
            numbers_.push_back(n);
        } catch (const std::bad_alloc&) {
            // only weakens the choice of a fresh number
        }
    }
    // 99 when free, else the lowest free number above it.
    int32_t ChooseAutolink() {
        std::sort(numbers_.begin(), numbers_.end());
        int32_t n = kRtfAutolinkDefaultStyle;
        for (int32_t number : numbers_) {
            if (number == n) ++n;
        }
        return n;
    }

  private:
    std::vector<int32_t> numbers_;
};

// The decimal parameter of a control word token (0 when it has none).
int32_t Parameter(const RtfReader& r) {
    const char* text = r.Text();
    int32_t n = r.Length();
    int32_t i = 1;
    while (i < n && ((text[i] >= 'a' && text[i] <= 'z') || (text[i] >= 'A' && text[i] <= 'Z'))) ++i;
    bool negative = i < n && text[i] == '-';
    if (negative) ++i;
    int64_t value = 0;
    for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT32_MAX) value = INT32_MAX;
    }
    return static_cast<int32_t>(negative ? -value : value);
}

// Whether the current token names a style number: \s, \cs, \ds or \ts.
bool IsStyleNumber(const RtfReader& r) {
    if (r.Kind() != kRtfControlWord) return false;
    RtfKeywordId id = r.Id();
    if (id == kRtfKwS || id == kRtfKwCs || id == kRtfKwDs) return true;
    const char* text = r.Text();
    return r.Length() >= 4 && std::strncmp(text, "\\ts", 3) == 0 && text[3] >= '0' &&
           text[3] <= '9';
}

// \cs itself, by its text.
bool IsCharStyleWord(const RtfReader& r) {
    if (r.Kind() != kRtfControlWord || r.Length() < 3) return false;
    const char* text = r.Text();
    char next = r.Length() > 3 ? text[3] : 0;
    return std::strncmp(text, "\\cs", 3) == 0 &&
           !((next >= 'a' && next <= 'z') || (next >= 'A' && next <= 'Z'));
}

int32_t WriteCurrent(const RtfReader& r, RtfSink& sink) {
    return sink.Append(r.Text(), static_cast<size_t>(r.Length()));
}

int32_t AddAutolinkIfMissing(RtfStyles& styles, StyleNumbers& numbers) {
    if (styles.Ref(kRtfAutolinkStyleName, nullptr)) return 0;
    return styles.Add(kRtfAutolinkStyleName, numbers.ChooseAutolink());
}

// One entry, its "{" already read. The entry runs to its own closing brace;
// nested groups (list-style definitions) are part of its text, and its name
// is its text outside them.
int32_t ReadEntry(RtfReader& r, RtfStyles& styles, RtfSink* echo, StyleNumbers& numbers) {
    RtfSink entry, name;
    bool ok = entry.Append("{", 1) == 0;
    bool isCharStyle = false;
    bool nameBegun = false;
    int32_t number = 0;
    int32_t level = 1;
    for (;;) {
        int32_t rc = r.Next();
        if (rc == -1) return BRIO_ERR_UNEXPECTED_END;
        if (rc != 0) return rc;
        ok = entry.Append(r.Text(), static_cast<size_t>(r.Length())) == 0 && ok;
        if (r.Kind() == kRtfGroup) {
            if (r.First() == '{') {
                ++level;
            } else if (--level == 0) {
                break;
            }
        } else if (level == 1 && r.Kind() == kRtfControlWord) {
            // The name ends the entry: only its closing brace may follow.
            if (nameBegun) return BRIO_ERR_UNBALANCED;
            if (IsStyleNumber(r)) numbers.Add(Parameter(r));
            if (IsCharStyleWord(r)) {
                isCharStyle = true;
                number = Parameter(r);
            }
        } else if (level == 1 && r.Kind() == kRtfText) {
            nameBegun = true;
            ok = name.Append(r.Text(), static_cast<size_t>(r.Length())) == 0 && ok;
        }
    }
    if (!ok) return BRIO_ERR_NO_MEMORY;
    int32_t rc = 0;
    if (isCharStyle) rc = styles.Add(name.Text(), number);
    // A paragraph style of that name is the document's own.
    if (echo && !(isCharStyle && std::strcmp(name.Text(), kRtfAutolinkStyleName) == 0)) {
        int32_t w = echo->Append(entry.Text(), entry.Length());
        if (rc == 0) rc = w;
    }
    return rc;
}

bool IsBlank(const RtfReader& r) {
    return r.Is(kRtfText, ' ') || r.Is(kRtfText, '\t');
}

}  // namespace

int32_t RtfStyles::Add(const char* name, int32_t number) {
    try {
        styles_.push_back(Style{number, name});
    } catch (const std::bad_alloc&) {
        return BRIO_ERR_NO_MEMORY;
    }
    return 0;
}

bool RtfStyles::Ref(const char* name, char* out) const {
    if (out) out[0] = 0;
    for (const Style& style : styles_) {
        const unsigned char* a = reinterpret_cast<const unsigned char*>(style.name.c_str());
        const unsigned char* b = reinterpret_cast<const unsigned char*>(name);
        while (*a && PlatCharUpper(*a) == PlatCharUpper(*b)) {
            ++a;
            ++b;
        }
        if (*a == 0 && *b == 0) {
            if (out) std::snprintf(out, kRtfStyleRefSize, "\\cs%d", style.number);
            return true;
        }
    }
    return false;
}

int32_t RtfFragmentStyles(const RtfReader& reader, RtfStyles& styles) {
    if (!reader.IsFragment() || !styles.Empty()) return 0;
    return styles.Add(kRtfAutolinkStyleName, kRtfAutolinkDefaultStyle);
}

int32_t RtfReadStylesheet(RtfReader& r, RtfStyles& styles, RtfSink* echo) {
    StyleNumbers numbers;
    for (;;) {
        int32_t rc = r.Next();
        if (rc == -1) return BRIO_ERR_UNEXPECTED_END;
        if (rc != 0) return rc;
        if (r.Is(kRtfGroup, '}')) {
            if (echo) rc = WriteCurrent(r, *echo);
            r.Pop();
            AddAutolinkIfMissing(styles, numbers);
            return rc;
        }
        if (r.Kind() == kRtfLineEnd || IsBlank(r)) {
            if (echo && (rc = WriteCurrent(r, *echo)) != 0) return rc;
        } else if (r.Is(kRtfGroup, '{')) {
            if ((rc = ReadEntry(r, styles, echo, numbers)) != 0) return rc;
        } else {
            return BRIO_ERR_UNBALANCED;
        }
    }
}

int32_t RtfCopyStylesheet(RtfReader& r, RtfSink& sink) {
    StyleNumbers numbers;
    bool haveAutolink = false;
    RtfSink name;
    for (;;) {
        int32_t rc = r.Next();
        if (rc != 0) return rc;
        if (r.Is(kRtfGroup, '}')) break;
        if ((rc = WriteCurrent(r, sink)) != 0) return rc;
        if (!r.Is(kRtfGroup, '{')) continue;
        name.Clear();
        bool isCharStyle = false;
        int32_t level = 1;
        while (level > 0) {
            if (r.Next() != 0) break;  // abandoned; the outer read reports it
            if ((rc = WriteCurrent(r, sink)) != 0) return rc;
            if (r.Kind() == kRtfGroup) {
                level += r.First() == '{' ? 1 : -1;
            } else if (level == 1 && r.Kind() == kRtfControlWord) {
                if (IsStyleNumber(r)) numbers.Add(Parameter(r));
                if (IsCharStyleWord(r)) isCharStyle = true;
            } else if (level == 1 && r.Kind() == kRtfText) {
                if (name.Append(r.Text(), static_cast<size_t>(r.Length())) != 0)
                    return BRIO_ERR_NO_MEMORY;
            }
        }
        // Only a character style of the name defines the links' style; a
        // paragraph style "Autolink;" leaves it to be added.
        if (level == 0 && isCharStyle && std::strcmp(name.Text(), kRtfAutolinkStyleName) == 0)
            haveAutolink = true;
    }
    int32_t rc = 0;
    if (!haveAutolink) {
        char definition[64];
        std::snprintf(definition, sizeof definition, "{\\*\\cs%d \\additive Autolink;}",
                      numbers.ChooseAutolink());
        rc = sink.Append(definition);
    }
    r.Pop();
    int32_t w = sink.Append("}", 1);
    return rc != 0 ? rc : w;
}

}  // namespace brio
