#include "platform/regfile.h"

#include <cstddef>

#include "platform/platform.h"

namespace brio {

namespace {

// Unicode code points of the Windows-1252 bytes 0x80..0x9F; the five bytes
// the code page leaves undefined map to the C1 control of the same number.
constexpr uint16_t kAnsiHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

constexpr char kHeader4[] = "REGEDIT4";
constexpr char kHeader5[] = "Windows Registry Editor Version 5.00";

struct Root {
    const char* name;
    const char* abbreviation;
};
constexpr Root kRoots[] = {
    {"HKEY_LOCAL_MACHINE", "HKLM"}, {"HKEY_CURRENT_USER", "HKCU"},   {"HKEY_CLASSES_ROOT", "HKCR"},
    {"HKEY_USERS", "HKU"},          {"HKEY_CURRENT_CONFIG", "HKCC"},
};

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string Trim(const std::string& text) {
    size_t begin = 0, end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool StartsWithNoCase(const std::string& text, const char* prefix) {
    size_t i = 0;
    for (; prefix[i]; ++i)
        if (i >= text.size() || PlatCharUpper(static_cast<unsigned char>(text[i])) !=
                                    PlatCharUpper(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

// UTF-16LE code units from `start` on, as Windows-1252 text.
std::string Utf16ToAnsi(const std::string& bytes, size_t start) {
    std::string out;
    out.reserve((bytes.size() - start) / 2);
    for (size_t i = start; i + 1 < bytes.size(); i += 2) {
        uint32_t unit = static_cast<unsigned char>(bytes[i]) |
                        static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
            uint32_t next = static_cast<unsigned char>(bytes[i + 2]) |
                            static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 3])) << 8;
            if (next >= 0xDC00 && next <= 0xDFFF) i += 2;  // a pair stands for one character
        }
        out += static_cast<char>(CodePointToAnsi(unit));
    }
    return out;
}

std::string Utf8ToAnsi(const std::string& bytes, size_t start) {
    std::string out;
    size_t i = start;
    while (i < bytes.size()) {
        unsigned char lead = static_cast<unsigned char>(bytes[i]);
        int extra = lead < 0x80             ? 0
                    : (lead & 0xE0) == 0xC0 ? 1
                    : (lead & 0xF0) == 0xE0 ? 2
                    : (lead & 0xF8) == 0xF0 ? 3
                                            : -1;
        uint32_t codePoint = extra == 0   ? lead
                             : extra == 1 ? lead & 0x1F
                             : extra == 2 ? lead & 0x0F
                                          : lead & 0x07;
        bool valid = extra >= 0 && i + extra < bytes.size();
        for (int k = 1; valid && k <= extra; ++k) {
            unsigned char c = static_cast<unsigned char>(bytes[i + k]);
            if ((c & 0xC0) != 0x80) valid = false;
            codePoint = codePoint << 6 | (c & 0x3F);
        }
        if (!valid) {
            out += '?';
            ++i;
            continue;
        }
        out += static_cast<char>(CodePointToAnsi(codePoint));
        i += 1 + extra;
    }
    return out;
}

// A quoted string at text[pos] ('"'): \\ and \" are escapes, any other
// backslash stands for itself. Leaves pos after the closing quote.
bool ParseQuoted(const std::string& text, size_t& pos, std::string* out) {
    out->clear();
    for (size_t i = pos + 1; i < text.size(); ++i) {
        char c = text[i];
        if (c == '"') {
            pos = i + 1;
            return true;
        }
        if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '"'))
            c = text[++i];
        *out += c;
    }
    return false;
}

bool ParseDword(const std::string& digits, std::string* data) {
    if (digits.empty() || digits.size() > 8) return false;
    uint32_t value = 0;
    for (char c : digits) {
        int d = HexDigit(c);
        if (d < 0) return false;
        value = value << 4 | static_cast<uint32_t>(d);
    }
    data->clear();
    for (int shift = 0; shift < 32; shift += 8) *data += static_cast<char>(value >> shift & 0xFF);
    return true;
}

// "01,ab,ff" (a trailing comma is allowed) into bytes.
bool ParseHexList(const std::string& text, std::string* data) {
    data->clear();
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t comma = text.find(',', pos);
        std::string token =
            Trim(text.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos));
        bool last = comma == std::string::npos;
        if (token.empty()) return last;  // "" or a trailing comma
        if (token.size() > 2) return false;
        int value = 0;
        for (char c : token) {
            int d = HexDigit(c);
            if (d < 0) return false;
            value = value << 4 | d;
        }
        *data += static_cast<char>(value);
        if (last) break;
        pos = comma + 1;
    }
    return true;
}

// "hex:" (binary) or "hex(N):" with N in hex; the type and the list after it.
bool ParseHexType(const std::string& text, uint32_t* type, std::string* list) {
    if (!StartsWithNoCase(text, "hex")) return false;
    size_t pos = 3;
    *type = kRegBinary;
    if (pos < text.size() && text[pos] == '(') {
        size_t close = text.find(')', pos);
        if (close == std::string::npos || close == pos + 1 || close - pos - 1 > 8) return false;
        uint32_t value = 0;
        for (size_t i = pos + 1; i < close; ++i) {
            int d = HexDigit(text[i]);
            if (d < 0) return false;
            value = value << 4 | static_cast<uint32_t>(d);
        }
        *type = value;
        pos = close + 1;
    }
    if (pos >= text.size() || text[pos] != ':') return false;
    *list = text.substr(pos + 1);
    return true;
}

bool IsStringType(uint32_t type) {
    return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

bool PathHasPrefix(const std::string& path, const std::string& prefix) {
    return path.size() > prefix.size() && path[prefix.size()] == '\\' &&
           RegNamesEqual(path.substr(0, prefix.size()), prefix);
}

}  // namespace

unsigned char CodePointToAnsi(uint32_t codePoint) {
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF))
        return static_cast<unsigned char>(codePoint);
    for (int i = 0; i < 32; ++i)
        if (kAnsiHigh[i] == codePoint) return static_cast<unsigned char>(0x80 + i);
    return '?';
}

bool RegNamesEqual(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (PlatCharUpper(static_cast<unsigned char>(a[i])) !=
            PlatCharUpper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string NormalizeKeyPath(const std::string& path) {
    std::string out;
    size_t pos = 0;
    bool first = true;
    while (pos <= path.size()) {
        size_t slash = path.find('\\', pos);
        std::string part =
            path.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
        if (!part.empty()) {
            if (first) {
                for (const Root& root : kRoots)
                    if (RegNamesEqual(part, root.name) || RegNamesEqual(part, root.abbreviation))
                        out = root.name;
                if (out.empty()) return "";
                first = false;
            } else {
                out += '\\';
                out += part;
            }
        }
        if (slash == std::string::npos) break;
        pos = slash + 1;
    }
    return out;
}

const RegFileKey* RegFile::FindKey(const std::string& path) const {
    std::string wanted = NormalizeKeyPath(path);
    if (wanted.empty()) return nullptr;
    for (const RegFileKey& key : keys_)
        if (RegNamesEqual(key.path, wanted)) return &key;
    return nullptr;
}

bool RegFile::HasKey(const std::string& path) const {
    std::string wanted = NormalizeKeyPath(path);
    if (wanted.empty()) return false;
    for (const RegFileKey& key : keys_)
        if (RegNamesEqual(key.path, wanted) || PathHasPrefix(key.path, wanted)) return true;
    return false;
}

size_t RegFile::FindOrAddKey(const std::string& path) {
    for (size_t k = 0; k < keys_.size(); ++k)
        if (RegNamesEqual(keys_[k].path, path)) return k;
    keys_.push_back(RegFileKey{path, {}});
    return keys_.size() - 1;
}

void RegFile::DeleteKeyTree(const std::string& path) {
    std::vector<RegFileKey> kept;
    for (RegFileKey& key : keys_)
        if (!RegNamesEqual(key.path, path) && !PathHasPrefix(key.path, path))
            kept.push_back(std::move(key));
    keys_.swap(kept);
}

namespace {

// The file's lines, trimmed, in the ANSI code page whatever the file's encoding.
std::vector<std::string> DecodedLines(const std::string& bytes) {
    std::string text;
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE')
        text = Utf16ToAnsi(bytes, 2);
    else if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        text = Utf8ToAnsi(bytes, 3);
    else
        text = bytes;
    std::vector<std::string> lines;
    for (size_t pos = 0; pos < text.size();) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        lines.push_back(Trim(text.substr(pos, end - pos)));
        pos = end + 1;
    }
    return lines;
}

// The data of a value line ("text", dword:, hex(N): with its list already
// joined); false when it cannot be read.
bool ParseValueData(const std::string& data, bool isHex, uint32_t hexType, const std::string& list,
                    bool unicodeFormat, RegFileValue* value) {
    if (!data.empty() && data[0] == '"') {
        size_t end = 0;
        if (!ParseQuoted(data, end, &value->data) || end != data.size()) return false;
        value->type = kRegSz;
        value->data += '\0';
    } else if (StartsWithNoCase(data, "dword:")) {
        if (!ParseDword(Trim(data.substr(6)), &value->data)) return false;
        value->type = kRegDword;
    } else if (isHex) {
        if (!ParseHexList(list, &value->data)) return false;
        value->type = hexType;
        // Version 5 files give string data in UTF-16; the ANSI calls hand
        // it out converted.
        if (unicodeFormat && IsStringType(hexType)) value->data = Utf16ToAnsi(value->data, 0);
    } else {
        return false;
    }
    return true;
}

void StoreValue(std::vector<RegFileValue>& values, RegFileValue value) {
    for (RegFileValue& existing : values)
        if (RegNamesEqual(existing.name, value.name)) {
            existing.type = value.type;
            existing.data = std::move(value.data);
            return;
        }
    values.push_back(std::move(value));
}

void DeleteValue(std::vector<RegFileValue>& values, const std::string& name) {
    for (size_t k = 0; k < values.size(); ++k)
        if (RegNamesEqual(values[k].name, name)) {
            values.erase(values.begin() + static_cast<std::ptrdiff_t>(k));
            return;
        }
}

}  // namespace

// A [key] or [-key] line: the key that value lines now go to.
size_t RegFile::KeyLine(const std::string& line) {
    size_t close = line.rfind(']');
    if (close == std::string::npos) return kNoKey;
    std::string inner = line.substr(1, close - 1);
    bool remove = !inner.empty() && inner[0] == '-';
    std::string path = NormalizeKeyPath(remove ? inner.substr(1) : inner);
    if (path.empty()) return kNoKey;
    if (!remove) return FindOrAddKey(path);
    DeleteKeyTree(path);
    return kNoKey;
}

bool RegFile::Parse(const std::string& bytes) {
    keys_.clear();
    std::vector<std::string> lines = DecodedLines(bytes);
    size_t i = 0;
    while (i < lines.size() && lines[i].empty()) ++i;
    if (i == lines.size()) return false;
    bool unicodeFormat = lines[i] == kHeader5;
    if (!unicodeFormat && lines[i] != kHeader4) return false;

    size_t current = kNoKey;  // index: keys_ may grow under us
    for (++i; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            current = KeyLine(line);
            continue;
        }
        if (line[0] != '@' && line[0] != '"') continue;
        RegFileValue value;
        size_t pos = 0;
        if (line[0] == '@')
            pos = 1;
        else if (!ParseQuoted(line, pos, &value.name))
            continue;
        while (pos < line.size() && IsBlank(line[pos])) ++pos;
        if (pos >= line.size() || line[pos] != '=') continue;
        std::string data = Trim(line.substr(pos + 1));

        // Binary lists run on over lines that end in a backslash; take them
        // up before anything else so a skipped value leaves no stray lines.
        uint32_t hexType = 0;
        std::string list;
        bool isHex = ParseHexType(data, &hexType, &list);
        if (isHex) {
            list = Trim(list);
            while (!list.empty() && list.back() == '\\' && i + 1 < lines.size()) {
                list.pop_back();
                list += lines[++i];
            }
        }
        if (current == kNoKey) continue;
        std::vector<RegFileValue>& values = keys_[current].values;
        if (data == "-")
            DeleteValue(values, value.name);
        else if (ParseValueData(data, isHex, hexType, list, unicodeFormat, &value))
            StoreValue(values, std::move(value));
    }
    return true;
}

}  // namespace brio
