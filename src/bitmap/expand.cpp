// Picture decoding: stored picture records into PictureRecords with their
// data unpacked.
#include <cstring>

#include "bitmap/picture.h"
#include "bitmap/rle.h"
#include "compress/lz.h"
#include "frame/frame.h"

namespace brio {

namespace {

const char kModule[] = "bitmap/expand";

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
            std::memcpy(to, from, n);
            return n;
        }
    }
}

GlobalHandle ExpandBitmap(const unsigned char* stored, size_t size) {
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
    if (!r.ok()) return BadPicture();
    uint64_t tableSize = static_cast<uint64_t>(colours) * 4;
    if (!Inside(tableAt, tableSize, size) || !Inside(dataOffset, storedSize, size) ||
        (hotspotSize && !Inside(hotspotOffset, hotspotSize, size)))
        return BadPicture();

    // Room for the data: the bound B for packed data, the stored size
    // otherwise; at least a full image, so short data is padded with zeros.
    uint64_t full = DibImageSize(bits, width, height);
    uint64_t room = storedSize;
    if (packing == kPackRle || packing == kPackLz) {
        room = ((static_cast<uint64_t>(bits) * width + 31) >> 3) * height;
        if (!SizePlausible(storedSize, room)) return BadPicture();
    } else if (full > room && !SizePlausible(storedSize, full)) {
        return BadPicture();
    }
    if (full > room) room = full;
    uint64_t total = kPicColours + tableSize + room + hotspotSize;
    if (total > 0x7FFFFFFFu) return BadPicture();

    GlobalHandle handle;
    unsigned char* rec = NewPictureRecord(total, kGmemMoveable, kModule, &handle);
    if (!rec) return nullptr;
    std::memset(rec, 0, kPicColours);  // the data behind is written whole
    rec[kPicType] = type;
    PutU32(rec, kBiSize, kInfoHeaderSize);
    PutU32(rec, kBiWidth, width);
    PutU32(rec, kBiHeight, height);
    PutU16(rec, kBiPlanes, planes);
    PutU16(rec, kBiBitCount, bits);
    PutU32(rec, kBiXPels, 96);
    PutU32(rec, kBiYPels, 96);
    PutU32(rec, kBiClrUsed, colours);
    PutU32(rec, kBiClrImportant, important);
    std::memcpy(rec + kPicColours, stored + tableAt, static_cast<size_t>(tableSize));
    uint32_t dataAt = static_cast<uint32_t>(kPicColours + tableSize);

    uint32_t produced =
        Unpack(packing, stored + dataOffset, storedSize, rec + dataAt, static_cast<uint32_t>(room));
    if (produced < full) {
        std::memset(rec + dataAt + produced, 0, static_cast<size_t>(full - produced));
        produced = static_cast<uint32_t>(full);
    }
    uint32_t hotspotAt = dataAt + produced;
    PutU32(rec, kPicDataSize, produced);
    PutU32(rec, kPicDataOffset, dataAt);
    PutU32(rec, kPicHotspotSize, hotspotSize);
    PutU32(rec, kPicHotspotOffset, hotspotAt);
    std::memcpy(rec + hotspotAt, stored + hotspotOffset, hotspotSize);
    MemUnlock(handle, kModule, __LINE__);
    return handle;
}

GlobalHandle ExpandMetafile(const unsigned char* stored, size_t size) {
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
        return BadPicture();
    // Short unpacked data is padded with zeros, but only so far as packed
    // data could have grown: a few stored bytes never ask for gigabytes.
    if ((packing == kPackNone && storedSize > unpacked) || !SizePlausible(storedSize, unpacked))
        return BadPicture();
    if (static_cast<uint64_t>(hotspotSize) + kMetafileRecordSize > 0x7FFFFFFFu) return BadPicture();

    GlobalHandle handle;
    unsigned char* rec =
        NewPictureRecord(kMetafileRecordSize + hotspotSize, kGmemMoveable, kModule, &handle);
    if (!rec) return nullptr;
    std::memset(rec, 0, kMetafileRecordSize);
    rec[kPicType] = kPictureMetafile;
    PutU32(rec, kPicHotspotSize, hotspotSize);
    PutU32(rec, kPicHotspotOffset, kMetafileRecordSize);
    PutU32(rec, kPicMapMode, mapMode);
    PutU32(rec, kPicXExt, xExt);
    PutU32(rec, kPicYExt, yExt);
    std::memcpy(rec + kMetafileRecordSize, stored + hotspotOffset, hotspotSize);

    GlobalHandle bitsHandle = MemAlloc(kGmemMoveable, unpacked, kModule, __LINE__);
    if (!bitsHandle) {
        MemUnlock(handle, kModule, __LINE__);
        MemFree(handle, kModule, __LINE__);
        return nullptr;
    }
    auto* bitsData = static_cast<unsigned char*>(MemLock(bitsHandle, kModule, __LINE__));
    if (!bitsData) {
        ReportAssertion(__LINE__, kModule);
        MemFree(bitsHandle, kModule, __LINE__);
        MemUnlock(handle, kModule, __LINE__);
        MemFree(handle, kModule, __LINE__);
        return nullptr;
    }
    uint32_t produced = Unpack(packing, stored + dataOffset, storedSize, bitsData, unpacked);
    if (produced < unpacked) std::memset(bitsData + produced, 0, unpacked - produced);
    MemUnlock(bitsHandle, kModule, __LINE__);
    PutHandleField(rec, kPicBitsHandle, bitsHandle);
    PutU32(rec, kPicDataSize, produced);
    MemUnlock(handle, kModule, __LINE__);
    return handle;
}

}  // namespace

unsigned char* NewPictureRecord(uint64_t size, uint32_t flags, const char* module,
                                GlobalHandle* handle) {
    *handle = size <= 0x7FFFFFFFu ? MemAlloc(flags, static_cast<size_t>(size), module, __LINE__)
                                  : nullptr;
    if (!*handle) return nullptr;
    auto* rec = static_cast<unsigned char*>(MemLock(*handle, module, __LINE__));
    if (!rec) {
        ReportAssertion(__LINE__, module);
        MemFree(*handle, module, __LINE__);
        *handle = nullptr;
    }
    return rec;
}

GlobalHandle ExpandPicture(const void* stored, size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(stored);
    if (!bytes || size < 2) return BadPicture();
    switch (bytes[0]) {
        case kPictureDdb:
        case kPictureDib:
            return ExpandBitmap(bytes, size);
        case kPictureMetafile:
            return ExpandMetafile(bytes, size);
        default:
            return BadPicture();
    }
}

void FreePicture(GlobalHandle picture) {
    if (!picture) {
        ReportAssertion(__LINE__, kModule);
        return;
    }
    const auto* rec = static_cast<const unsigned char*>(MemLock(picture, kModule, __LINE__));
    if (rec && rec[kPicType] == kPictureMetafile && GetU32(rec, kPicDataOffset) == 0) {
        GlobalHandle bitsHandle = GetHandleField(rec, kPicBitsHandle);
        if (bitsHandle) MemFree(bitsHandle, kModule, __LINE__);
    }
    MemUnlock(picture, kModule, __LINE__);
    MemFree(picture, kModule, __LINE__);
}

}  // namespace brio
