// The picture reader: recognises a file by its first bytes and builds a
// PictureRecord with unpacked data. Every size taken from a header is checked
// against the file before anything is allocated or read.
#include <cstring>

#include "adt/bytes.h"
#include "adt/ll.h"
#include "bitmap/bmio.h"
#include "bitmap/picture.h"
#include "bitmap/rle.h"
#include "frame/frame.h"
#include "hotspot/hotspot.h"

namespace brio {

namespace {

const char kModule[] = "bitmap/bmio";
constexpr uint32_t kMetafileKey = 0x9AC6CDD7;

int32_t FileLength(Fid fid) {
    return LSeekFid(fid, 0, 2);
}

bool ReadAt(Fid fid, uint64_t offset, void* buffer, uint64_t count) {
    if (offset > 0x7FFFFFFF || count > 0x7FFFFFFF) return false;
    if (LSeekFid(fid, static_cast<int32_t>(offset), 0) != static_cast<int32_t>(offset))
        return false;
    return count == 0 ||
           LcbReadFid(fid, buffer, static_cast<int32_t>(count)) == static_cast<int32_t>(count);
}

// A zero-filled record, locked; the handle in *handle.
unsigned char* NewRecord(uint64_t size, GlobalHandle* handle) {
    return NewPictureRecord(size, kGhnd, kModule, handle);
}

GlobalHandle Refuse(GlobalHandle handle) {
    MemUnlock(handle, kModule, __LINE__);
    MemFree(handle, kModule, __LINE__);
    return BadPicture();
}

GlobalHandle ReadDeviceBitmap(Fid fid, const unsigned char* head, int32_t length) {
    uint32_t width = GetU16(head, 4);
    uint32_t height = GetU16(head, 6);
    uint32_t rowBytes = GetU16(head, 8);
    uint32_t planes = head[10];
    uint32_t bits = head[11];
    uint64_t size = static_cast<uint64_t>(planes) * height * rowBytes;
    if (length < 16 || size > static_cast<uint64_t>(length) - 16) return BadPicture();
    GlobalHandle handle;
    unsigned char* rec = NewRecord(66 + size, &handle);
    if (!rec) return nullptr;
    rec[kPicType] = kPictureDdb;
    PutU32(rec, kPicDataSize, static_cast<uint32_t>(size));
    PutU32(rec, kPicDataOffset, kPicColours);
    PutU32(rec, kBiSize, kInfoHeaderSize);
    PutU32(rec, kBiWidth, width);
    PutU32(rec, kBiHeight, height);
    PutU16(rec, kBiPlanes, planes);
    PutU16(rec, kBiBitCount, bits);
    PutU32(rec, kBiXPels, 96);
    PutU32(rec, kBiYPels, 96);
    if (!ReadAt(fid, 16, rec + kPicColours, size)) return Refuse(handle);
    MemUnlock(handle, kModule, __LINE__);
    return handle;
}

GlobalHandle ReadPackedMonochrome(Fid fid, int32_t length) {
    unsigned char head[32];
    if (!ReadAt(fid, 0, head, sizeof head) || GetU16(head, 2) != 0x7352) return BadPicture();
    uint32_t width = GetU16(head, 4);
    uint32_t height = GetU16(head, 6);
    uint32_t packed = GetU16(head, 26);
    uint64_t size = static_cast<uint64_t>((width + 15) / 16) * height * 2;
    if (packed > static_cast<uint64_t>(length) - 32 || !SizePlausible(packed, size))
        return BadPicture();
    GlobalHandle handle;
    unsigned char* rec = NewRecord(66 + size, &handle);
    if (!rec) return nullptr;
    rec[kPicType] = kPictureDdb;
    PutU32(rec, kBiWidth, width);
    PutU32(rec, kBiHeight, height);
    PutU16(rec, kBiPlanes, 1);
    PutU16(rec, kBiBitCount, 1);
    PutU32(rec, kBiXPels, 96);
    PutU32(rec, kBiYPels, 96);
    GlobalHandle temp = MemAlloc(kGmemMoveable, packed, kModule, __LINE__);
    auto* stream = temp ? static_cast<unsigned char*>(MemLock(temp, kModule, __LINE__)) : nullptr;
    int32_t produced = -1;
    if (stream && ReadAt(fid, 32, stream, packed))
        produced =
            UnpackRleBackward(stream, rec + kPicColours, packed, static_cast<uint32_t>(size));
    if (stream) MemUnlock(temp, kModule, __LINE__);
    MemFree(temp, kModule, __LINE__);
    if (produced < 0) return Refuse(handle);
    // The unpacker fills the area from its end: the data starts at its first
    // produced byte.
    PutU32(rec, kPicDataOffset, static_cast<uint32_t>(kPicColours + size - produced));
    PutU32(rec, kPicDataSize, static_cast<uint32_t>(produced));
    MemUnlock(handle, kModule, __LINE__);
    return handle;
}

}  // namespace

GlobalHandle ReadBitmapFile(Fid fid, int32_t start, int32_t end) {
    if (start < 0 || end < start) return BadPicture();
    uint64_t span = static_cast<uint64_t>(end - start);
    unsigned char head[14 + 40];
    if (span < 18 || !ReadAt(fid, start, head, 18)) return BadPicture();
    uint32_t bitsOffset = GetU32(head, 10);
    uint32_t headerSize = GetU16(head, 14);
    uint32_t width, bits, planes, colours, compression = 0, sizeImage = 0, important = 0;
    int32_t height;
    uint64_t entrySize;
    if (headerSize == 12) {
        if (!ReadAt(fid, static_cast<uint64_t>(start) + 18, head + 18, 8)) return BadPicture();
        width = GetU16(head, 18);
        height = GetU16(head, 20);
        planes = GetU16(head, 22);
        bits = GetU16(head, 24);
        colours = ImpliedColours(bits);
        entrySize = 3;
    } else if (headerSize == 40) {
        if (!ReadAt(fid, static_cast<uint64_t>(start) + 18, head + 18, 36)) return BadPicture();
        width = GetU32(head, 18);
        height = GetI32(head, 22);
        planes = GetU16(head, 26);
        bits = GetU16(head, 28);
        compression = GetU32(head, 30);
        sizeImage = GetU32(head, 34);
        colours = GetU32(head, 46);
        important = GetU32(head, 50);
        if (compression != 0) return BadPicture();
        if (colours == 0) colours = ImpliedColours(bits);
        entrySize = 4;
    } else {
        return BadPicture();
    }
    uint64_t tableAt = 14 + headerSize;
    uint64_t tableBytes = colours * entrySize;
    if (tableBytes > span - tableAt || bitsOffset < tableAt || bitsOffset > span)
        return BadPicture();
    uint64_t dataSize = span - bitsOffset;
    uint64_t full = 0;
    if (static_cast<int32_t>(width) > 0 && height != 0)
        full = DibImageSize(
            bits, width,
            height < 0 ? 0u - static_cast<uint32_t>(height) : static_cast<uint32_t>(height));
    if (full > dataSize && !SizePlausible(dataSize, full)) return BadPicture();
    uint64_t room = full > dataSize ? full : dataSize;

    GlobalHandle handle;
    unsigned char* rec =
        NewRecord(kPicColours + 4 * static_cast<uint64_t>(colours) + room, &handle);
    if (!rec) return nullptr;
    rec[kPicType] = kPictureDib;
    PutU32(rec, kBiSize, kInfoHeaderSize);
    PutU32(rec, kBiWidth, width);
    PutU32(rec, kBiHeight, static_cast<uint32_t>(height));
    PutU16(rec, kBiPlanes, planes);
    PutU16(rec, kBiBitCount, bits);
    PutU32(rec, kBiSizeImage, sizeImage);
    PutU32(rec, kBiClrUsed, colours);
    PutU32(rec, kBiClrImportant, important);
    uint32_t dataAt = kPicColours + 4 * colours;
    if (entrySize == 4) {
        if (!ReadAt(fid, start + tableAt, rec + kPicColours, tableBytes)) return Refuse(handle);
    } else {
        // Core entries are blue, green, red: read them into the back of the
        // table area and widen each to four bytes, front to back.
        unsigned char* staged = rec + kPicColours + colours;
        if (!ReadAt(fid, start + tableAt, staged, tableBytes)) return Refuse(handle);
        for (uint32_t i = 0; i < colours; ++i) {
            unsigned char bgr[3] = {staged[3 * i], staged[3 * i + 1], staged[3 * i + 2]};
            std::memcpy(rec + kPicColours + 4 * i, bgr, 3);
            rec[kPicColours + 4 * i + 3] = 0;
        }
    }
    PutU32(rec, kPicDataOffset, dataAt);
    PutU32(rec, kPicDataSize, static_cast<uint32_t>(room));
    if (!ReadAt(fid, static_cast<uint64_t>(start) + bitsOffset, rec + dataAt, dataSize))
        return Refuse(handle);
    MemUnlock(handle, kModule, __LINE__);
    return handle;
}

GlobalHandle ReadPlaceableMetafile(Fid fid) {
    int32_t length = FileLength(fid);
    unsigned char head[22];
    if (length < 22 || !ReadAt(fid, 0, head, sizeof head)) return BadPicture();
    uint16_t check = 0;
    for (int i = 0; i < 10; ++i) check ^= GetU16(head, 2 * i);
    if (GetU32(head, 0) != kMetafileKey || GetU16(head, 20) != check) return BadPicture();
    uint32_t bitsSize = static_cast<uint32_t>(length - 22);
    GlobalHandle bitsHandle = MemAlloc(kGmemMoveable, bitsSize, kModule, __LINE__);
    if (!bitsHandle) return nullptr;
    void* bitsData = MemLock(bitsHandle, kModule, __LINE__);
    bool read = bitsData && ReadAt(fid, 22, bitsData, bitsSize);
    if (bitsData) MemUnlock(bitsHandle, kModule, __LINE__);
    if (!read) {
        MemFree(bitsHandle, kModule, __LINE__);
        return bitsData ? BadPicture() : nullptr;
    }
    GlobalHandle handle;
    unsigned char* rec = NewRecord(kMetafileRecordSize, &handle);
    if (!rec) {
        MemFree(bitsHandle, kModule, __LINE__);
        return nullptr;
    }
    int32_t left = GetI16(head, 6), top = GetI16(head, 8);
    int32_t right = GetI16(head, 10), bottom = GetI16(head, 12);
    int32_t inch = GetU16(head, 14);
    rec[kPicType] = kPictureMetafile;
    PutU32(rec, kPicDataSize, bitsSize);
    PutU32(rec, kPicMapMode, kMapModeAnisotropic);
    PutU32(rec, kPicXExt, static_cast<uint32_t>(PlatMulDiv(right - left, 2540, inch)));
    PutU32(rec, kPicYExt, static_cast<uint32_t>(PlatMulDiv(bottom - top, 2540, inch)));
    PutHandleField(rec, kPicBitsHandle, bitsHandle);
    MemUnlock(handle, kModule, __LINE__);
    return handle;
}

GlobalHandle ReadGroupPicture(Fid fid, uint32_t index) {
    int32_t length = FileLength(fid);
    unsigned char head[4];
    if (length < 4 || !ReadAt(fid, 0, head, 4)) return BadPicture();
    uint32_t count = GetU16(head, 2);
    if (count <= index) return BadPicture();
    unsigned char offsets[8];
    bool last = index + 1 == count;
    if (!ReadAt(fid, 4 + 4 * static_cast<uint64_t>(index), offsets, last ? 4 : 8))
        return BadPicture();
    uint64_t begin = GetU32(offsets, 0);
    uint64_t end = last ? static_cast<uint64_t>(length) : GetU32(offsets, 4);
    // The picture lies behind the index, inside the file, before the next.
    if (begin < 4 + 4 * static_cast<uint64_t>(count) || end < begin ||
        end > static_cast<uint64_t>(length))
        return BadPicture();
    uint32_t size = static_cast<uint32_t>(end - begin);
    GlobalHandle temp = MemAlloc(kGmemMoveable, size, kModule, __LINE__);
    if (!temp) return nullptr;
    auto* bytes = static_cast<unsigned char*>(MemLock(temp, kModule, __LINE__));
    GlobalHandle result = nullptr;
    if (!bytes)
        ReportAssertion(__LINE__, kModule);
    else if (!ReadAt(fid, begin, bytes, size))
        result = BadPicture();
    else
        result = ExpandPicture(bytes, size);
    if (bytes) MemUnlock(temp, kModule, __LINE__);
    MemFree(temp, kModule, __LINE__);
    return result;
}

GlobalHandle ReadPictureFile(Fid fid) {
    int32_t length = FileLength(fid);
    unsigned char head[16];
    if (length < 16 || !ReadAt(fid, 0, head, sizeof head)) return BadPicture();
    if (head[0] == 2) return ReadDeviceBitmap(fid, head, length);
    switch (GetU16(head, 0)) {
        case 0x506C:
        case 0x706C:
            return GroupFileMarker();
        case 0x4D42:
            return ReadBitmapFile(fid, 0, length);
        case 0xCDD7:
            return ReadPlaceableMetafile(fid);
        case 0x4146:
            return ReadPackedMonochrome(fid, length);
        default:
            return BadPicture();
    }
}

namespace {

bool UsableBitmap(const unsigned char* rec) {
    uint32_t bits = GetU16(rec, kBiBitCount);
    // Only what a device-independent bitmap can be: anything else would put
    // a block on the clipboard that no reader can decode.
    return GetU16(rec, kBiPlanes) == 1 && GetU32(rec, kBiCompression) == 0 &&
           (bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32);
}

}  // namespace

uint16_t OpenHotspotBitmap(const char* path, OpenedPicture* out) {
    *out = OpenedPicture{};
    Fid fid = FileOpenRead(path);
    if (fid == kFidNil) return kStatusCannotOpen;
    GlobalHandle picture = ReadPictureFile(fid);
    if (picture == GroupFileMarker()) picture = ReadGroupPicture(fid, 0);
    FileClose(fid);
    if (!picture) return kStatusNoMemory;
    if (picture == BadPicture()) return kStatusBadArg;

    auto* rec = static_cast<unsigned char*>(MemLock(picture, kModule, __LINE__));
    if (!rec) {
        ReportAssertion(__LINE__, kModule);
        FreePicture(picture);
        return kStatusNoMemory;
    }
    uint8_t type = rec[kPicType];
    bool accepted = (type == kPictureDib && UsableBitmap(rec)) ||
                    (type == kPictureMetafile && GetU32(rec, kPicMapMode) == kMapModeAnisotropic);
    if (type == kPictureDib)
        PutU32(rec, kPicHotspotOffset, GetU32(rec, kPicDataOffset) + GetU32(rec, kPicDataSize));
    int32_t width = GetI32(rec, kBiWidth);  // the extents for a metafile
    int32_t height = GetI32(rec, kBiHeight);
    uint32_t cut = GetU32(rec, kPicHotspotOffset);
    MemUnlock(picture, kModule, __LINE__);
    if (!accepted || width < 1 || height < 1) {
        FreePicture(picture);
        return kStatusBadArg;
    }
    GlobalHandle list = BuildHotspotList(picture);
    if (!list) {
        FreePicture(picture);
        return kStatusNoMemory;
    }
    // Drop the hotspot block: the record ends with its data.
    if (cut != 0 && cut < PlatGlobalSize(picture)) {
        GlobalHandle smaller = PlatGlobalReAlloc(picture, cut, kGmemMoveable);
        if (smaller) picture = smaller;
    }
    if ((rec = static_cast<unsigned char*>(MemLock(picture, kModule, __LINE__))) != nullptr) {
        PutU32(rec, kPicHotspotSize, 0);
        MemUnlock(picture, kModule, __LINE__);
    }
    out->picture = picture;
    out->list = list;
    out->width = width;
    out->height = height;
    return kStatusOk;
}

}  // namespace brio
