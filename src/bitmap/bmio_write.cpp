// The picture writer: PictureRecords with their hotspots as a bitmap group
// file. The file is written beside the target and renamed over it only when
// every write succeeded, so a failure never destroys an existing file.
#include <cerrno>
#include <cstring>
#include <string>

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
constexpr uint16_t kGroupMagic = 0x706C;
constexpr size_t kMaxHeader = 46;

bool WriteAll(Fid fid, const void* data, uint64_t size) {
    if (size > 0x7FFFFFFF) return false;
    return size == 0 ||
           LcbWriteFid(fid, data, static_cast<int32_t>(size)) == static_cast<int32_t>(size);
}

// Appends compact numbers to a header, refusing values the form cannot hold.
struct HeaderBuilder {
    unsigned char bytes[kMaxHeader];
    size_t length = 0;
    bool fits = true;

    void Byte(uint32_t v) { bytes[length++] = static_cast<unsigned char>(v); }
    void Plain16(uint32_t v) {
        if (v > 0xFFFF) fits = false;
        PutU16(bytes, length, v);
        length += 2;
    }
    void Plain32(uint32_t v) {
        PutU32(bytes, length, v);
        length += 4;
    }
    void C16(uint64_t v) {
        if (v >= kCompact16Limit) fits = false;
        length += PutCompact16(bytes + length, static_cast<uint32_t>(v & 0x7FFF));
    }
    void C32(uint64_t v) {
        if (v >= kCompact32Limit) fits = false;
        length += PutCompact32(bytes + length, static_cast<uint32_t>(v & 0x7FFFFFFF));
    }
};

// One picture at the current position. Returns 0 or a status.
uint16_t WritePicture(Fid fid, unsigned char* rec) {
    uint8_t type = rec[kPicType];
    if (type != kPictureDdb && type != kPictureDib && type != kPictureMetafile) {
        ReportAssertion(__LINE__, kModule);
        return kStatusBadArg;
    }
    if (rec[kPicPacking] != 0) ReportAssertion(__LINE__, kModule);

    GlobalHandle bitsHandle = nullptr;
    const unsigned char* data;
    uint64_t dataSize = GetU32(rec, kPicDataSize);
    uint32_t colours = 0;
    HeaderBuilder h;
    h.Byte(type);
    h.Byte(0);  // packing, set below
    if (type == kPictureMetafile) {
        if (GetU32(rec, kPicDataOffset) != 0) {
            data = rec + GetU32(rec, kPicDataOffset);
        } else {
            bitsHandle = GetHandleField(rec, kPicBitsHandle);
            data = static_cast<const unsigned char*>(MemLock(bitsHandle, kModule, __LINE__));
            if (!data) {
                ReportAssertion(__LINE__, kModule);
                return kStatusBadArg;
            }
            if (dataSize > PlatGlobalSize(bitsHandle)) dataSize = PlatGlobalSize(bitsHandle);
        }
        h.C16(GetU32(rec, kPicMapMode));
        h.Plain16(GetU32(rec, kPicXExt));
        h.Plain16(GetU32(rec, kPicYExt));
        h.C32(dataSize);
    } else {
        colours = GetU32(rec, kBiClrUsed);
        uint32_t bits = GetU16(rec, kBiBitCount);
        int32_t width = GetI32(rec, kBiWidth);
        int32_t height = GetI32(rec, kBiHeight);
        if (GetU32(rec, kBiCompression) != 0) {
            ReportAssertion(__LINE__, kModule);
            return kStatusBadArg;
        }
        if (width < 0 || height < 0) return kStatusBadArg;
        uint64_t limit = ((static_cast<uint64_t>(bits) * static_cast<uint32_t>(width) + 31) / 8) *
                         static_cast<uint32_t>(height);
        if (dataSize > limit) {
            dataSize = limit;
            PutU32(rec, kPicDataSize, static_cast<uint32_t>(dataSize));
        }
        data = rec + GetU32(rec, kPicDataOffset);
        h.C32(GetU32(rec, kBiXPels));
        h.C32(GetU32(rec, kBiYPels));
        h.C16(GetU16(rec, kBiPlanes));
        h.C16(bits);
        h.C32(static_cast<uint32_t>(width));
        h.C32(static_cast<uint32_t>(height));
        h.C32(colours);
        h.C32(GetU32(rec, kBiClrImportant));
    }

    uint16_t status = kStatusOk;
    GlobalHandle scratch =
        MemAlloc(kGhnd, PackRleBound(static_cast<size_t>(dataSize)), kModule, __LINE__);
    auto* packed =
        scratch ? static_cast<unsigned char*>(MemLock(scratch, kModule, __LINE__)) : nullptr;
    const unsigned char* stored = data;
    uint64_t storedSize = dataSize;
    if (packed) {
        size_t p = PackRle(data, packed, static_cast<size_t>(dataSize));
        if (p != 0 && p < dataSize) {
            h.bytes[kPicPacking] = 1;
            stored = packed;
            storedSize = p;
        }
    }
    uint32_t hotspotSize = GetU32(rec, kPicHotspotSize);
    h.C32(storedSize);
    h.C32(hotspotSize);
    uint64_t dataAt = h.length + 8 + 4 * static_cast<uint64_t>(colours);
    h.Plain32(static_cast<uint32_t>(dataAt));
    h.Plain32(hotspotSize ? static_cast<uint32_t>(dataAt + storedSize) : 0);
    if (!h.fits || dataAt + storedSize + hotspotSize > 0x7FFFFFFF) {
        status = kStatusBadArg;
    } else if (!WriteAll(fid, h.bytes, h.length) ||
               !WriteAll(fid, rec + kPicColours, 4 * static_cast<uint64_t>(colours)) ||
               !WriteAll(fid, stored, storedSize) ||
               (hotspotSize && !WriteAll(fid, rec + GetU32(rec, kPicHotspotOffset), hotspotSize))) {
        status = kStatusShortWrite;
    }
    if (packed) MemUnlock(scratch, kModule, __LINE__);
    MemFree(scratch, kModule, __LINE__);
    if (bitsHandle) MemUnlock(bitsHandle, kModule, __LINE__);
    return status;
}

// Whether the record's own offsets and sizes lie inside it.
bool RecordConsistent(GlobalHandle handle, const unsigned char* rec) {
    uint64_t size = PlatGlobalSize(handle);
    if (size < kPicColours) return false;
    uint64_t dataOffset = GetU32(rec, kPicDataOffset);
    uint64_t dataSize = GetU32(rec, kPicDataSize);
    if (rec[kPicType] == kPictureMetafile) {
        if (size < kMetafileRecordSize) return false;
        if (dataOffset != 0 && dataOffset + dataSize > size) return false;
    } else {
        uint64_t tableEnd = kPicColours + 4 * static_cast<uint64_t>(GetU32(rec, kBiClrUsed));
        if (tableEnd > size || dataOffset < tableEnd || dataOffset + dataSize > size) return false;
    }
    uint64_t hotspotSize = GetU32(rec, kPicHotspotSize);
    return hotspotSize == 0 || GetU32(rec, kPicHotspotOffset) + hotspotSize <= size;
}

}  // namespace

uint16_t WriteBitmapGroup(int count, unsigned char* const* pictures, const char* path) {
    if (!path || !*path || count < 0 || count > 0xFFFF) return kStatusBadArg;
    size_t indexSize = 4 + 4 * static_cast<size_t>(count);
    GlobalHandle indexHandle = MemAlloc(kGhnd, indexSize, kModule, __LINE__);
    if (!indexHandle) return kStatusNoMemory;
    // Released however the function is left: the file layer may throw.
    struct IndexBlock {
        GlobalHandle handle;
        unsigned char* bytes = nullptr;
        ~IndexBlock() {
            if (bytes) MemUnlock(handle, kModule, __LINE__);
            MemFree(handle, kModule, __LINE__);
        }
    } block{indexHandle};
    block.bytes = static_cast<unsigned char*>(MemLock(indexHandle, kModule, __LINE__));
    unsigned char* index = block.bytes;
    if (!index) return kStatusNoMemory;
    uint16_t status = kStatusOk;
    AtomicFile file;
    if (!file.Open(path)) {
        int32_t rc = FsErrorFromErrno(errno);
        status = static_cast<uint16_t>(rc ? rc : kRcInvalid);
    } else {
        Fid fid = reinterpret_cast<Fid>(file.Stream());
        PutU16(index, 0, kGroupMagic);
        PutU16(index, 2, static_cast<uint32_t>(count));
        if (LSeekFid(fid, static_cast<int32_t>(indexSize), 0) != static_cast<int32_t>(indexSize))
            status = kStatusShortWrite;
        for (int i = 0; i < count && status == kStatusOk; ++i) {
            int32_t at = LTellFid(fid);
            if (at < 0) {
                ReportAssertion(__LINE__, kModule);
                status = kStatusShortWrite;
                break;
            }
            PutU32(index, 4 + 4 * static_cast<size_t>(i), static_cast<uint32_t>(at));
            status = WritePicture(fid, pictures[i]);
        }
        if (status == kStatusOk && (LSeekFid(fid, 0, 0) != 0 || !WriteAll(fid, index, indexSize)))
            status = kStatusShortWrite;
        if (status != kStatusOk) {
            file.Abort();
        } else if (!file.Commit()) {
            int32_t rc = FsErrorFromErrno(errno);
            status = static_cast<uint16_t>(rc ? rc : kStatusShortWrite);
        }
    }
    return status;
}

uint16_t SaveHotspotBitmap(const char* path, GlobalHandle* picture, GlobalHandle list) {
    if (!path || !*path || !picture || !IsPicture(*picture)) return kStatusBadArg;
    auto* rec = static_cast<unsigned char*>(MemLock(*picture, kModule, __LINE__));
    if (!rec) return kStatusBadArg;
    bool consistent = RecordConsistent(*picture, rec);
    uint32_t cut = GetU32(rec, kPicHotspotOffset);
    if (consistent && cut == 0 && rec[kPicType] == kPictureMetafile) {
        // A metafile made from a file has no place for hotspots yet: it
        // is behind the header, or behind bits held in the record, never
        // over the header at offset 0.
        uint32_t dataOffset = GetU32(rec, kPicDataOffset);
        cut = dataOffset != 0 ? dataOffset + GetU32(rec, kPicDataSize)
                              : static_cast<uint32_t>(kMetafileRecordSize);
        PutU32(rec, kPicHotspotOffset, cut);
    }
    if (consistent && cut > PlatGlobalSize(*picture)) consistent = false;
    MemUnlock(*picture, kModule, __LINE__);
    if (!consistent) return kStatusBadArg;

    bool withHotspots = ListNext(list, nullptr) != nullptr;
    if (withHotspots) {
        uint16_t status = BuildHotspotBlock(picture, list);
        if (status != kStatusOk) return status;
    }
    rec = static_cast<unsigned char*>(MemLock(*picture, kModule, __LINE__));
    if (!rec) return kStatusNoMemory;
    if (!withHotspots) PutU32(rec, kPicHotspotSize, 0);
    rec[kPicPacking] = 0;
    uint16_t status = WriteBitmapGroup(1, &rec, path);
    PutU32(rec, kPicHotspotSize, 0);
    MemUnlock(*picture, kModule, __LINE__);
    if (withHotspots && cut < PlatGlobalSize(*picture)) {
        GlobalHandle smaller = PlatGlobalReAlloc(*picture, cut, kGmemMoveable);
        if (smaller) *picture = smaller;
    }
    return status;
}

}  // namespace brio
