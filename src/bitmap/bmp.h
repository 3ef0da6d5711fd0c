// The headers of Windows bitmap files, decoded in one place for every
// reader of them.
#pragma once

#include <cstdint>

namespace brio {

constexpr uint32_t kBmpFileHeader = 14;
constexpr uint32_t kBmpCoreHeader = 12;
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;

// The fields of an information header (40 bytes or more) or of a core
// header (12 bytes, 16-bit sizes). `colours` is the colours-used field as
// stored; a core header has none, so it holds the colours its bits imply.
struct BmpInfo {
    bool core = false;
    int32_t width = 0;
    int32_t height = 0;
    uint32_t planes = 0;
    uint32_t bits = 0;
    uint32_t compression = kBiRgb;
    uint32_t sizeImage = 0;
    uint32_t colours = 0;
    uint32_t important = 0;

    // Bytes of one colour-table entry in the file.
    uint32_t EntrySize() const { return core ? 3 : 4; }
    // Rows, whichever way they run.
    uint32_t Rows() const {
        return height < 0 ? 0u - static_cast<uint32_t>(height) : static_cast<uint32_t>(height);
    }
};

// Decodes the header that starts at `header` (behind the file header) as a
// core header when `core`, else as an information header of 40 bytes or
// more; the caller has read that many bytes.
BmpInfo DecodeBmpInfo(const uint8_t* header, bool core);

// Widens `colours` core entries (blue, green, red), read into the back of
// the table area at table + colours, into four-byte entries, front to back.
void WidenCoreTable(uint8_t* table, uint32_t colours);

}  // namespace brio
