// Picture decoding: stored picture records into pictures with their data
// unpacked.
#include <cstring>
#include <new>

#include "bitmap/picture.h"
#include "bitmap/rle.h"
#include "compress/lz.h"

namespace brio {

namespace {

constexpr uint8_t kPackNone = 0;
constexpr uint8_t kPackRle = 1;
constexpr uint8_t kPackLz = 2;

bool Inside(uint64_t offset, uint64_t length, size_t size) {
    return offset <= size && length <= size - offset;
}

// Unpacks (or copies) `storedSize` bytes into `capacity` bytes; returns the
// count produced.
uint32_t Unpack(uint8_t packing, const unsigned char* from, uint32_t storedSize, unsigned char* to,
                uint32_t capacity) {
    switch (packing) {
        case kPackRle:
            return static_cast<uint32_t>(UnpackRle(from, to, storedSize, capacity));
        case kPackLz:
            return static_cast<uint32_t>(LzDecompress(from, to, storedSize, capacity));
        default: {
            uint32_t n = storedSize < capacity ? storedSize : capacity;
            if (n) std::memcpy(to, from, n);
            return n;
        }
    }
}

PictureRead ExpandBitmap(const unsigned char* stored, size_t size, Picture* picture) {
    uint8_t type = stored[0];
    uint8_t packing = stored[1];
    ByteReader r(stored, size, 2);
    r.Compact32();  // resolutions: the record gets 96 in both
    r.Compact32();
    uint32_t planes = r.Compact16();
    uint32_t bits = r.Compact16();
    uint32_t width = r.Compact32();
    uint32_t height = r.Compact32();
    uint32_t colours = r.Compact32();
    uint32_t important = r.Compact32();
    uint32_t storedSize = r.Compact32();
    uint32_t hotspotSize = r.Compact32();
    uint32_t dataOffset = r.U32();
    uint32_t hotspotOffset = r.U32();
    size_t tableAt = r.pos();
    if (!r.ok()) return PictureRead::Unreadable;
    uint64_t tableSize = static_cast<uint64_t>(colours) * 4;
    if (!Inside(tableAt, tableSize, size) || !Inside(dataOffset, storedSize, size) ||
        (hotspotSize && !Inside(hotspotOffset, hotspotSize, size)))
        return PictureRead::Unreadable;

    // Room for the data: the bound B for packed data, the stored size
    // otherwise; at least a full image, so short data is padded with zeros.
    uint64_t full = DibImageSize(bits, width, height);
    uint64_t room = storedSize;
    if (packing == kPackRle || packing == kPackLz) {
        room = ((static_cast<uint64_t>(bits) * width + 31) >> 3) * height;
        if (!SizePlausible(storedSize, room)) return PictureRead::Unreadable;
    } else if (full > room && !SizePlausible(storedSize, full)) {
        return PictureRead::Unreadable;
    }
    if (full > room) room = full;
    uint64_t total = kPicColours + tableSize + room + hotspotSize;
    if (total > 0x7FFFFFFFu) return PictureRead::Unreadable;

    PictureBytes rec = NewRecord(total);
    PutBitmapHeader(rec, type, width, height, planes, bits);
    PutU32(rec.data(), kBiSize, kInfoHeaderSize);
    PutU32(rec.data(), kBiClrUsed, colours);
    PutU32(rec.data(), kBiClrImportant, important);
    if (tableSize)
        std::memcpy(rec.data() + kPicColours, stored + tableAt, static_cast<size_t>(tableSize));
    uint32_t dataAt = static_cast<uint32_t>(kPicColours + tableSize);

    uint32_t produced = Unpack(packing, stored + dataOffset, storedSize, rec.data() + dataAt,
                               static_cast<uint32_t>(room));
    if (produced < full) produced = static_cast<uint32_t>(full);  // the zeros are there
    uint32_t hotspotAt = dataAt + produced;
    PutU32(rec.data(), kPicDataSize, produced);
    PutU32(rec.data(), kPicDataOffset, dataAt);
    PutU32(rec.data(), kPicHotspotSize, hotspotSize);
    PutU32(rec.data(), kPicHotspotOffset, hotspotAt);
    if (hotspotSize) std::memcpy(rec.data() + hotspotAt, stored + hotspotOffset, hotspotSize);
    picture->record = std::move(rec);
    picture->bits.clear();
    return PictureRead::Ok;
}

PictureRead ExpandMetafile(const unsigned char* stored, size_t size, Picture* picture) {
    uint8_t packing = stored[1];
    ByteReader r(stored, size, 2);
    uint32_t mapMode = r.Compact16();
    uint32_t xExt = r.U16();
    uint32_t yExt = r.U16();
    uint32_t unpacked = r.Compact32();
    uint32_t storedSize = r.Compact32();
    uint32_t hotspotSize = r.Compact32();
    uint32_t dataOffset = r.U32();
    uint32_t hotspotOffset = r.U32();
    if (!r.ok() || packing > kPackLz || !Inside(dataOffset, storedSize, size) ||
        (hotspotSize && !Inside(hotspotOffset, hotspotSize, size)))
        return PictureRead::Unreadable;
    // Short unpacked data is padded with zeros, but only so far as packed
    // data could have grown: a few stored bytes never ask for gigabytes.
    if ((packing == kPackNone && storedSize > unpacked) || !SizePlausible(storedSize, unpacked))
        return PictureRead::Unreadable;
    if (static_cast<uint64_t>(hotspotSize) + kMetafileRecordSize > 0x7FFFFFFFu)
        return PictureRead::Unreadable;

    PictureBytes rec = NewRecord(kMetafileRecordSize + hotspotSize);
    rec[kPicType] = kPictureMetafile;
    PutU32(rec.data(), kPicHotspotSize, hotspotSize);
    PutU32(rec.data(), kPicHotspotOffset, kMetafileRecordSize);
    PutU32(rec.data(), kPicMapMode, mapMode);
    PutU32(rec.data(), kPicXExt, xExt);
    PutU32(rec.data(), kPicYExt, yExt);
    if (hotspotSize)
        std::memcpy(rec.data() + kMetafileRecordSize, stored + hotspotOffset, hotspotSize);

    PictureBytes bits(unpacked);
    uint32_t produced = Unpack(packing, stored + dataOffset, storedSize, bits.data(), unpacked);
    PutU32(rec.data(), kPicDataSize, produced);
    picture->record = std::move(rec);
    picture->bits = std::move(bits);
    return PictureRead::Ok;
}

}  // namespace

void PutBitmapHeader(PictureBytes& rec, uint8_t type, uint32_t width, uint32_t height,
                     uint32_t planes, uint32_t bits) {
    rec[kPicType] = type;
    PutU32(rec.data(), kBiWidth, width);
    PutU32(rec.data(), kBiHeight, height);
    PutU16(rec.data(), kBiPlanes, planes);
    PutU16(rec.data(), kBiBitCount, bits);
    PutU32(rec.data(), kBiXPels, 96);
    PutU32(rec.data(), kBiYPels, 96);
}

PictureBytes NewRecord(uint64_t size) {
    if (size > 0x7FFFFFFFu) throw std::bad_alloc();
    return PictureBytes(static_cast<size_t>(size));
}

PictureRead ExpandPicture(const void* stored, size_t size, Picture* picture) {
    const auto* bytes = static_cast<const unsigned char*>(stored);
    if (!bytes || size < 2) return PictureRead::Unreadable;
    switch (bytes[0]) {
        case kPictureDdb:
        case kPictureDib:
            return ExpandBitmap(bytes, size, picture);
        case kPictureMetafile:
            return ExpandMetafile(bytes, size, picture);
        default:
            return PictureRead::Unreadable;
    }
}

}  // namespace brio
