#include "textcode.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "cli.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <iconv.h>
#include <locale.h>
#include <wctype.h>

#include <cerrno>
#endif

namespace cli {

namespace {

// Appends one code point as UTF-8.
void PutUtf8(uint32_t c, std::string* out) {
    if (c < 0x80) {
        *out += static_cast<char>(c);
    } else if (c < 0x800) {
        *out += static_cast<char>(0xC0 | (c >> 6));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *out += static_cast<char>(0xE0 | (c >> 12));
        *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *out += static_cast<char>(0xF0 | (c >> 18));
        *out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

size_t Utf8Length(const std::string& s, size_t at) {
    unsigned char c = static_cast<unsigned char>(s[at]);
    size_t n = c < 0x80                ? 1
               : c >= 0xC2 && c < 0xE0 ? 2
               : c >= 0xE0 && c < 0xF0 ? 3
               : c >= 0xF0 && c < 0xF5 ? 4
                                       : 0;
    if (n == 0 || at + n > s.size()) return 0;
    for (size_t i = 1; i < n; ++i)
        if ((static_cast<unsigned char>(s[at + i]) & 0xC0) != 0x80) return 0;
    return n;
}

bool IsUtf8(const std::string& s) {
    for (size_t i = 0; i < s.size();) {
        size_t n = Utf8Length(s, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

namespace {

// The code points of valid UTF-8 (an invalid byte becomes U+FFFD).
std::vector<uint32_t> CodePoints(const std::string& s) {
    std::vector<uint32_t> out;
    for (size_t i = 0; i < s.size();) {
        size_t n = Utf8Length(s, i);
        if (n == 0) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        uint32_t c = static_cast<unsigned char>(s[i]);
        if (n > 1) c &= 0x3F >> (n - 1);
        for (size_t k = 1; k < n; ++k) c = (c << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        out.push_back(c);
        i += n;
    }
    return out;
}

#ifdef _WIN32

// 8-bit or UTF-8 text as UTF-16; false when it is not valid in the code page.
bool Wide(const std::string& text, int codePage, bool strict, std::wstring* out) {
    out->clear();
    if (text.empty()) return true;
    DWORD flags = strict ? MB_ERR_INVALID_CHARS : 0;
    int n = MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()),
                                nullptr, 0);
    if (n <= 0) return false;
    out->resize(n);
    MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), &(*out)[0], n);
    return true;
}

// UTF-16 in a code page; false when a character has no place in it.
bool Narrow(const std::wstring& text, int codePage, std::string* out) {
    out->clear();
    if (text.empty()) return true;
    BOOL lossy = FALSE;
    BOOL* check = codePage == kUtf8 ? nullptr : &lossy;
    DWORD flags = codePage == kUtf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    int n = WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()),
                                nullptr, 0, nullptr, check);
    if (n <= 0 || lossy) return false;
    out->resize(n);
    WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()), &(*out)[0], n,
                        nullptr, nullptr);
    return true;
}

#else

std::string IconvName(int codePage) {
    if (codePage == kUtf8) return "UTF-8";
    if (codePage == 10000) return "MACINTOSH";
    return "CP" + std::to_string(codePage);
}

// Converts with iconv; stops at the first character that fails and
// returns its offset in `text` (npos when all of it converted).
size_t Iconv(const std::string& text, int from, int to, std::string* out) {
    out->clear();
    iconv_t cd = iconv_open(IconvName(to).c_str(), IconvName(from).c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        Fail(kInput, "code page " + std::to_string(from == kUtf8 ? to : from) +
                         " is not known on this system");
    std::vector<char> input(text.begin(), text.end());
    char* in = input.data();
    size_t inLeft = input.size();
    char buffer[4096];
    size_t failed = std::string::npos;
    while (inLeft > 0) {
        char* o = buffer;
        size_t oLeft = sizeof buffer;
        size_t rc = iconv(cd, &in, &inLeft, &o, &oLeft);
        out->append(buffer, static_cast<size_t>(o - buffer));
        if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
            failed = static_cast<size_t>(in - input.data());
            break;
        }
    }
    if (failed == std::string::npos) {
        char* o = buffer;
        size_t oLeft = sizeof buffer;
        iconv(cd, nullptr, nullptr, &o, &oLeft);
        out->append(buffer, static_cast<size_t>(o - buffer));
    }
    iconv_close(cd);
    return failed;
}

#endif

// The character at `at` of text in a code page, for a message.
std::string CharacterAt(const std::string& text, size_t at, int codePage) {
    if (codePage == kUtf8) {
        size_t n = Utf8Length(text, at);
        if (n) return text.substr(at, n);
    }
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(text[at]));
    return hex;
}

}  // namespace

int DocumentCodePage(const std::string& rtf) {
    size_t header = std::min<size_t>(rtf.size(), 512);
    size_t at = rtf.find("\\ansicpg");
    if (at != std::string::npos && at < header) {
        int cp = std::atoi(rtf.c_str() + at + 8);
        if (cp > 0) return cp;
    }
    auto word = [&](const char* w) {
        std::string s = std::string("\\") + w;
        size_t p = rtf.find(s);
        return p != std::string::npos && p < header &&
               !std::isalpha(static_cast<unsigned char>(rtf[p + s.size()]));
    };
    if (word("mac")) return 10000;
    if (word("pca")) return 850;
    if (word("pc")) return 437;
    return 1252;
}

bool ConvertText(const std::string& text, int from, int to, std::string* out, std::string* bad) {
#ifdef _WIN32
    std::wstring wide;
    if (!Wide(text, from, true, &wide)) {
        // The first byte that does not read.
        for (size_t i = 0; i < text.size(); ++i) {
            std::wstring w;
            size_t n = from == kUtf8 ? std::max<size_t>(1, Utf8Length(text, i)) : 1;
            if (!Wide(text.substr(0, i + n), from, true, &w)) {
                if (bad) *bad = CharacterAt(text, i, from);
                return false;
            }
            i += n - 1;
        }
        if (bad) *bad = "?";
        return false;
    }
    if (Narrow(wide, to, out)) return true;
    for (size_t i = 0; i < wide.size(); ++i) {
        std::string one;
        if (!Narrow(wide.substr(i, 1), to, &one)) {
            if (bad) Narrow(wide.substr(i, 1), kUtf8, bad);
            return false;
        }
    }
    return false;
#else
    size_t failed = Iconv(text, from, to, out);
    if (failed == std::string::npos) return true;
    if (bad) *bad = CharacterAt(text, failed, from);
    return false;
#endif
}

std::string ToUtf8(const std::string& bytes, int codePage) {
    if (codePage == kUtf8) return bytes;
#ifdef _WIN32
    std::wstring wide;
    std::string out;
    Wide(bytes, codePage, false, &wide);
    Narrow(wide, kUtf8, &out);
    return out;
#else
    std::string out, part;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t failed = Iconv(bytes.substr(start), codePage, kUtf8, &part);
        out += part;
        if (failed == std::string::npos) break;
        out += "\xEF\xBF\xBD";
        start += failed + 1;
    }
    return out;
#endif
}

namespace {

// A control word at s[i] (a backslash and a letter): its letters, its
// parameter, and where it ends (before a delimiting blank).
struct ControlWord {
    std::string word;
    bool hasValue = false;
    long value = 0;
    size_t end = 0;
};

ControlWord ReadControlWord(const std::string& s, size_t i) {
    ControlWord w;
    size_t j = i + 1;
    while (j < s.size() && std::isalpha(static_cast<unsigned char>(s[j]))) ++j;
    w.word = s.substr(i + 1, j - i - 1);
    size_t digits = j;
    if (j < s.size() && (s[j] == '-' || std::isdigit(static_cast<unsigned char>(s[j])))) {
        ++j;
        while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
    }
    w.hasValue = digits < j;
    if (w.hasValue) w.value = std::strtol(s.substr(digits, j - digits).c_str(), nullptr, 10);
    w.end = j;
    return w;
}

}  // namespace

std::string RtfTextToUtf8(const std::string& s, int codePage) {
    std::string out, bytes;
    auto flush = [&] {
        out += ToUtf8(bytes, codePage);
        bytes.clear();
    };
    int skip = 1;      // fallback characters after \uN (\ucN)
    int fallback = 0;  // fallback characters still to drop
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '{' || c == '}' || c == '\r' || c == '\n') continue;
        if (c != '\\') {
            if (fallback > 0) {
                --fallback;
                continue;
            }
            bytes += c;
            continue;
        }
        if (i + 1 >= s.size()) break;
        char n = s[i + 1];
        if (n == '\'' && i + 3 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 2])) &&
            std::isxdigit(static_cast<unsigned char>(s[i + 3]))) {
            i += 3;
            if (fallback > 0) {
                --fallback;
                continue;
            }
            bytes += static_cast<char>(std::strtol(s.substr(i - 1, 2).c_str(), nullptr, 16));
        } else if (std::isalpha(static_cast<unsigned char>(n))) {
            ControlWord w = ReadControlWord(s, i);
            const std::string& word = w.word;
            long value = w.value;
            size_t j = w.end;
            if (j < s.size() && s[j] == ' ') ++j;
            i = j - 1;
            if (word == "uc") {
                skip = static_cast<int>(value);
            } else if (word == "u" && w.hasValue) {
                flush();
                PutUtf8(static_cast<uint32_t>(value < 0 ? value + 65536 : value), &out);
                fallback = skip;
            } else if (word == "tab") {
                bytes += ' ';
            }
        } else {
            ++i;
            if (n == '~') {
                flush();
                PutUtf8(0xA0, &out);
            } else if (n == '_') {
                bytes += '-';
            } else if (n != '-' && n != '*' && n != '\r' && n != '\n') {
                bytes += n;
            }
        }
    }
    flush();
    return out;
}

int InputCodePage(const Args& args, bool arguments) {
#ifdef _WIN32
    if (arguments && !args.Has("--encoding")) return static_cast<int>(GetACP());
#else
    (void)arguments;
#endif
    std::string v = args.Value("--encoding", "utf-8");
    std::string lower;
    for (char c : v) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "utf-8" || lower == "utf8") return kUtf8;
    for (const char* prefix : {"windows-", "cp"})
        if (lower.compare(0, std::string(prefix).size(), prefix) == 0)
            lower = lower.substr(std::string(prefix).size());
    if (lower.empty() || lower.size() > 5 ||
        lower.find_first_not_of("0123456789") != std::string::npos)
        Fail(kUsage,
             "--encoding takes utf-8 or a code page such as 1252 or cp932, not '" + v + "'");
    return std::atoi(lower.c_str());
}

std::string ToDocument(const std::string& text, int inputCodePage, int documentCodePage,
                       const std::string& what) {
    if (inputCodePage == documentCodePage) return text;
    std::string out, bad;
    if (ConvertText(text, inputCodePage, documentCodePage, &out, &bad)) return out;
    if (inputCodePage == kUtf8 && !IsUtf8(text))
        Fail(kInput, what + " is not UTF-8 (" + bad + "): name its encoding with --encoding");
    Fail(kInput,
         what + ": code page " + std::to_string(documentCodePage) + " has no '" + bad + "'");
}

namespace {

// Whether a character is written without blanks around words (ideographs,
// kana): each one is a word of its own.
bool StandsAlone(uint32_t c) {
    return (c >= 0x2E80 && c < 0xA000) || (c >= 0xF900 && c < 0xFB00) ||
           (c >= 0xFF66 && c < 0xFFA0) || c >= 0x20000;
}

// The system's letter-or-digit test and lower case of a character.
bool LetterOrDigit(uint32_t c, uint32_t* lower) {
    *lower = c;
#ifdef _WIN32
    if (c > 0xFFFF) return true;
    WCHAR w = static_cast<WCHAR>(c);
    if (!IsCharAlphaNumericW(w)) return false;
    CharLowerBuffW(&w, 1);
    *lower = w;
    return true;
#else
    static locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    if (!utf8) return true;
    if (!iswalnum_l(static_cast<wint_t>(c), utf8)) return false;
    *lower = static_cast<uint32_t>(towlower_l(static_cast<wint_t>(c), utf8));
    return true;
#endif
}

// The ASCII form of a character that is not ASCII.
void PutSearchable(uint32_t c, std::string* out, bool* afterWord) {
    uint32_t lower;
    bool alone = StandsAlone(c);
    if (!alone && !LetterOrDigit(c, &lower)) {
        *out += ' ';
        *afterWord = false;
        return;
    }
    if (alone) lower = c;
    char code[12];
    std::snprintf(code, sizeof code, "Z%06X", static_cast<unsigned>(lower));
    if (alone || *afterWord) *out += ' ';
    *out += code;
    if (alone) *out += ' ';
    *afterWord = false;
}

}  // namespace

std::string SearchablePhrase(const std::string& utf8) {
    std::string out;
    bool afterWord = false;
    for (uint32_t c : CodePoints(utf8)) {
        if (c < 0x80)
            out += static_cast<char>(c);
        else
            PutSearchable(c, &out, &afterWord);
    }
    return out;
}

namespace {

// Rewrites an RTF text so that every character above ASCII is written the
// way the search compares it (see PutSearchable).
class Searchable {
  public:
    Searchable(const std::string& s, int codePage) : s_(s), codePage_(codePage) {}
    std::string Run();

  private:
    void Flush();
    bool TakeHex(size_t* i);
    void CopyControlWord(size_t* i);

    const std::string& s_;
    int codePage_;
    std::string out_, bytes_;  // bytes_: code-page characters not yet written
    bool afterWord_ = false;   // the last thing written is a control word without its blank
    int skip_ = 1, fallback_ = 0;
};

void Searchable::Flush() {
    if (bytes_.empty()) return;
    if (afterWord_) out_ += ' ';
    afterWord_ = false;
    for (uint32_t c : CodePoints(ToUtf8(bytes_, codePage_))) {
        if (c >= 0x80) {
            PutSearchable(c, &out_, &afterWord_);
            continue;
        }
        if (c < 0x20) {  // kept escaped: a zero byte would end the text
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\'%02x", static_cast<unsigned>(c));
            out_ += hex;
        } else {
            if (c == '{' || c == '}' || c == '\\') out_ += '\\';
            out_ += static_cast<char>(c);
        }
        afterWord_ = false;
    }
    bytes_.clear();
}

// A \'hh escape at `*i`: its byte joins the pending characters.
bool Searchable::TakeHex(size_t* i) {
    const std::string& s = s_;
    if (!(s[*i] == '\\' && *i + 3 < s.size() && s[*i + 1] == '\'' &&
          std::isxdigit(static_cast<unsigned char>(s[*i + 2])) &&
          std::isxdigit(static_cast<unsigned char>(s[*i + 3]))))
        return false;
    *i += 3;
    if (fallback_ > 0) {
        --fallback_;
        return true;
    }
    bytes_ += static_cast<char>(std::strtol(s.substr(*i - 1, 2).c_str(), nullptr, 16));
    return true;
}

void Searchable::CopyControlWord(size_t* at) {
    size_t& i = *at;
    ControlWord w = ReadControlWord(s_, i);
    size_t j = w.end;
    bool blank = j < s_.size() && s_[j] == ' ';
    if (w.word == "u" && w.hasValue) {
        i = j - (blank ? 0 : 1);
        PutSearchable(static_cast<uint32_t>(w.value < 0 ? w.value + 65536 : w.value), &out_,
                      &afterWord_);
        fallback_ = skip_;
        return;
    }
    if (w.word == "uc") skip_ = static_cast<int>(w.value);
    if (w.word == "bin" && w.value > 0) {  // binary data passes untouched
        size_t end = std::min(s_.size(), j + (blank ? 1 : 0) + static_cast<size_t>(w.value));
        out_ += s_.substr(i, end - i);
        i = end - 1;
        afterWord_ = false;
        return;
    }
    out_ += s_.substr(i, j - i + (blank ? 1 : 0));
    afterWord_ = !blank;
    i = j - (blank ? 0 : 1);
}

std::string Searchable::Run() {
    const std::string& s = s_;
    for (size_t i = 0; i < s.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c >= 0x80) {
            if (fallback_ > 0)
                --fallback_;
            else
                bytes_ += static_cast<char>(c);
            continue;
        }
        if (TakeHex(&i)) continue;
        Flush();
        if (c == '\\' && i + 1 < s.size() && std::isalpha(static_cast<unsigned char>(s[i + 1]))) {
            CopyControlWord(&i);
            continue;
        }
        if (fallback_ > 0 && c != '{' && c != '}' && c != '\r' && c != '\n') {
            --fallback_;
            if (c == '\\' && i + 1 < s.size()) ++i;
            continue;
        }
        out_ += static_cast<char>(c);
        if (c == '\\' && i + 1 < s.size()) out_ += s[++i];
        afterWord_ = false;
    }
    Flush();
    return out_;
}

}  // namespace

std::string SearchableRtf(const std::string& s, int codePage) {
    return Searchable(s, codePage).Run();
}

}  // namespace cli
