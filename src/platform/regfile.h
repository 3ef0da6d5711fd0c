// Registry export files (.reg): the text that the registry editor writes and
// reads, as a list of keys with their values. The portable registry stands on
// this; it compiles everywhere so its tests run in every build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace brio {

// Value types, as the registry numbers them.
constexpr uint32_t kRegNone = 0;
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegMultiSz = 7;
constexpr uint32_t kRegQword = 11;

struct RegFileValue {
    std::string name;  // "" for the key's default value
    uint32_t type = kRegNone;
    // The bytes as the ANSI registry calls hand them out: Windows-1252 text,
    // strings with their terminating zero.
    std::string data;
};

struct RegFileKey {
    // Full path with the root spelled out ("HKEY_LOCAL_MACHINE\SOFTWARE\..."),
    // no empty components.
    std::string path;
    std::vector<RegFileValue> values;  // in file order
};

class RegFile {
  public:
    // Reads the bytes of a .reg file: REGEDIT4 or version 5 text, ANSI or
    // UTF-16LE with a byte-order mark, LF or CR LF lines. Lines it cannot
    // make sense of are skipped, as the registry editor does. Returns false,
    // leaving no keys, when the file does not start with a known header.
    bool Parse(const std::string& bytes);

    // The listed key with this full path (case ignored); null when the file
    // does not list it.
    const RegFileKey* FindKey(const std::string& path) const;
    // True when the key is listed or is a parent of a listed key.
    bool HasKey(const std::string& path) const;
    const std::vector<RegFileKey>& Keys() const { return keys_; }

  private:
    static constexpr size_t kNoKey = static_cast<size_t>(-1);
    size_t KeyLine(const std::string& line);
    // Index of the key, added at the end when the file has not listed it yet.
    size_t FindOrAddKey(const std::string& path);
    void DeleteKeyTree(const std::string& path);

    std::vector<RegFileKey> keys_;
};

// Canonical form of a key path: the root's full name in capitals (HKLM and
// the other abbreviations expanded), empty components dropped. "" when the
// root is not one of the registry's roots.
std::string NormalizeKeyPath(const std::string& path);

// Key and value names compare without regard to case, as the registry
// compares them (Windows-1252 case mapping).
bool RegNamesEqual(const std::string& a, const std::string& b);

// Windows-1252 byte for a Unicode code point; '?' when it has none.
unsigned char CodePointToAnsi(uint32_t codePoint);

}  // namespace brio
