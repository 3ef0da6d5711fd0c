// PictureRecord: one picture as little-endian bytes at fixed offsets
// (header, colour table, data, optional hotspot block), plus the compact
// numbers of the group file format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

#include "adt/bytes.h"
#include "platform/allocator.h"
#include "platform/platform.h"

namespace brio {

// Picture types.
constexpr uint8_t kPictureDdb = 5;
constexpr uint8_t kPictureDib = 6;
constexpr uint8_t kPictureMetafile = 8;

// Record offsets.
constexpr size_t kPicType = 0;
constexpr size_t kPicPacking = 1;
constexpr size_t kPicDataSize = 2;
constexpr size_t kPicDataOffset = 6;
constexpr size_t kPicHotspotSize = 10;
constexpr size_t kPicHotspotOffset = 14;
constexpr size_t kPicInfo = 18;  // BITMAPINFOHEADER of types 5 and 6
constexpr size_t kPicColours = 58;

// Offsets of the information header inside the record.
constexpr size_t kBiSize = kPicInfo + 0;
constexpr size_t kBiWidth = kPicInfo + 4;
constexpr size_t kBiHeight = kPicInfo + 8;
constexpr size_t kBiPlanes = kPicInfo + 12;
constexpr size_t kBiBitCount = kPicInfo + 14;
constexpr size_t kBiCompression = kPicInfo + 16;
constexpr size_t kBiSizeImage = kPicInfo + 20;
constexpr size_t kBiXPels = kPicInfo + 24;
constexpr size_t kBiYPels = kPicInfo + 28;
constexpr size_t kBiClrUsed = kPicInfo + 32;
constexpr size_t kBiClrImportant = kPicInfo + 36;
constexpr size_t kInfoHeaderSize = 40;

// Type 8 instead: mapping mode and extents. The record keeps the 8 bytes
// at 30 where a handle of the bits once lay; they stay zero.
constexpr size_t kPicMapMode = 18;
constexpr size_t kPicXExt = 22;
constexpr size_t kPicYExt = 26;
constexpr size_t kMetafileRecordSize = 66;
constexpr uint32_t kMapModeAnisotropic = 8;

// Picture bytes: huge pages for blocks of megabytes.
using PictureBytes = std::vector<uint8_t, BrioAllocator<uint8_t, true>>;

// A picture: its record and, for a metafile whose record holds no data
// (data offset 0), the metafile's bits beside it.
struct Picture {
    PictureBytes record;
    PictureBytes bits;

    uint8_t Type() const { return record.empty() ? 0 : record[kPicType]; }
    uint32_t Field(size_t offset) const { return GetU32(record.data(), offset); }
    void SetField(size_t offset, uint32_t value) { PutU32(record.data(), offset, value); }
};

// What a reader made of its input. Out of memory throws std::bad_alloc.
enum class PictureRead {
    Ok,
    Unreadable,  // no picture the library can read
    GroupFile,   // ReadPictureFile only: a group file, read by ReadGroupPicture
};

// Bytes of one row of a device-independent bitmap (4-byte aligned), and
// rows x height; 64-bit so header values cannot wrap.
inline uint64_t DibStride(uint32_t bitsPerPixel, uint32_t width) {
    return ((static_cast<uint64_t>(bitsPerPixel) * width + 31) / 32) * 4;
}
inline uint64_t DibImageSize(uint32_t bitsPerPixel, uint32_t width, uint32_t height) {
    return DibStride(bitsPerPixel, width) * height;
}

// Colours a colour table holds when the colours-used field is 0: only 1, 4
// and 8 bits per pixel imply a full table.
inline uint32_t ImpliedColours(uint32_t bitsPerPixel) {
    return bitsPerPixel == 1 || bitsPerPixel == 4 || bitsPerPixel == 8 ? 1u << bitsPerPixel : 0;
}

// Whether `want` bytes of pixels may stand for `have` bytes found in a file
// or unpacked from it: neither unpacker makes more than 64 bytes of one, so
// a header asking for far more than that lies about its size. The slack lets
// a short, truncated picture still open, padded with zeros.
inline bool SizePlausible(uint64_t have, uint64_t want) {
    return want <= have * 64 + (1u << 20) && want < 0x7FFF0000u;
}

// Compact numbers. Writers return the bytes written (1 or 2, 2 or 4).
constexpr uint32_t kCompact16Limit = 0x8000;
constexpr uint32_t kCompact32Limit = 0x80000000u;
size_t PutCompact16(unsigned char* out, uint32_t value);
size_t PutCompact32(unsigned char* out, uint32_t value);

// A zero-filled record of `size` bytes; past the 2 GB a record may hold,
// std::bad_alloc as for any other allocation that cannot be had.
PictureBytes NewRecord(uint64_t size);
// The type and the bitmap header fields every record sets: size, planes,
// bits per pixel, 96 pixels an inch.
void PutBitmapHeader(PictureBytes& rec, uint8_t type, uint32_t width, uint32_t height,
                     uint32_t planes, uint32_t bits);

// ExpandPicture: makes a picture with unpacked data from a stored picture
// record of `size` bytes. Unreadable for an unknown type or a record whose
// offsets, sizes, colour table or stream reach outside it.
PictureRead ExpandPicture(const void* stored, size_t size, Picture* picture);

}  // namespace brio
