// The picture writer: a picture with its hotspots as a bitmap group file.
// The file is written beside the target and renamed over it only when every
// write succeeded, so a failure never destroys an existing file.
#include <cerrno>
#include <cstring>
#include <new>

#include "adt/bytes.h"
#include "bitmap/bmio.h"
#include "bitmap/picture.h"
#include "bitmap/rle.h"
#include "hotspot/hotspot.h"
#include "platform/platform.h"

namespace brio {

namespace {

constexpr uint16_t kGroupMagic = 0x706C;
constexpr size_t kMaxHeader = 46;

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

void Append(PictureBytes* out, const void* data, uint64_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    if (size) out->insert(out->end(), p, p + size);
}

// The header fields of a bitmap; the data size is cut to what the rows can
// hold. 0 or 4.
uint16_t BitmapHeader(Picture& picture, HeaderBuilder* h, uint64_t* dataSize) {
    const uint8_t* rec = picture.record.data();
    uint32_t bits = GetU16(rec, kBiBitCount);
    auto width = static_cast<int32_t>(picture.Field(kBiWidth));
    auto height = static_cast<int32_t>(picture.Field(kBiHeight));
    if (picture.Field(kBiCompression) != 0 || width < 0 || height < 0) return kStatusBadArg;
    uint64_t limit = ((static_cast<uint64_t>(bits) * static_cast<uint32_t>(width) + 31) / 8) *
                     static_cast<uint32_t>(height);
    if (*dataSize > limit) {
        *dataSize = limit;
        picture.SetField(kPicDataSize, static_cast<uint32_t>(limit));
    }
    h->C32(picture.Field(kBiXPels));
    h->C32(picture.Field(kBiYPels));
    h->C16(GetU16(rec, kBiPlanes));
    h->C16(bits);
    h->C32(static_cast<uint32_t>(width));
    h->C32(static_cast<uint32_t>(height));
    h->C32(picture.Field(kBiClrUsed));
    h->C32(picture.Field(kBiClrImportant));
    return kStatusOk;
}

// Appends one picture as a group file stores it. 0 or 4.
uint16_t AppendPicture(Picture& picture, PictureBytes* out) {
    uint8_t type = picture.Type();
    if (type != kPictureDdb && type != kPictureDib && type != kPictureMetafile)
        return kStatusBadArg;
    uint64_t dataSize = picture.Field(kPicDataSize);
    uint32_t colours = 0;
    const uint8_t* data;
    HeaderBuilder h;
    h.Byte(type);
    h.Byte(0);  // packing, set below
    if (type == kPictureMetafile) {
        uint32_t dataOffset = picture.Field(kPicDataOffset);
        if (dataOffset != 0) {
            data = picture.record.data() + dataOffset;
        } else {
            data = picture.bits.data();
            if (dataSize > picture.bits.size()) dataSize = picture.bits.size();
        }
        h.C16(picture.Field(kPicMapMode));
        h.Plain16(picture.Field(kPicXExt));
        h.Plain16(picture.Field(kPicYExt));
        h.C32(dataSize);
    } else {
        if (BitmapHeader(picture, &h, &dataSize) != kStatusOk) return kStatusBadArg;
        colours = picture.Field(kBiClrUsed);
        data = picture.record.data() + picture.Field(kPicDataOffset);
    }

    // Without room to pack, the data is stored as it is.
    PictureBytes packed;
    try {
        packed.resize(PackRleBound(static_cast<size_t>(dataSize)));
    } catch (const std::bad_alloc&) {
        packed.clear();
    }
    const uint8_t* stored = data;
    uint64_t storedSize = dataSize;
    size_t p = packed.empty() ? 0 : PackRle(data, packed.data(), static_cast<size_t>(dataSize));
    if (p != 0 && p < dataSize) {
        h.bytes[kPicPacking] = 1;
        stored = packed.data();
        storedSize = p;
    }
    uint32_t hotspotSize = picture.Field(kPicHotspotSize);
    h.C32(storedSize);
    h.C32(hotspotSize);
    uint64_t dataAt = h.length + 8 + 4 * static_cast<uint64_t>(colours);
    h.Plain32(static_cast<uint32_t>(dataAt));
    h.Plain32(hotspotSize ? static_cast<uint32_t>(dataAt + storedSize) : 0);
    if (!h.fits || dataAt + storedSize + hotspotSize > 0x7FFFFFFF) return kStatusBadArg;
    Append(out, h.bytes, h.length);
    Append(out, picture.record.data() + kPicColours, 4 * static_cast<uint64_t>(colours));
    Append(out, stored, storedSize);
    Append(out, picture.record.data() + picture.Field(kPicHotspotOffset), hotspotSize);
    return kStatusOk;
}

// Whether the record's own offsets and sizes lie inside it.
bool RecordConsistent(const Picture& picture) {
    uint64_t size = picture.record.size();
    if (size < kPicColours) return false;
    uint64_t dataOffset = picture.Field(kPicDataOffset);
    uint64_t dataSize = picture.Field(kPicDataSize);
    if (picture.Type() == kPictureMetafile) {
        if (size < kMetafileRecordSize) return false;
        if (dataOffset != 0 && dataOffset + dataSize > size) return false;
    } else {
        uint64_t tableEnd = kPicColours + 4 * static_cast<uint64_t>(picture.Field(kBiClrUsed));
        if (tableEnd > size || dataOffset < tableEnd || dataOffset + dataSize > size) return false;
    }
    uint64_t hotspotSize = picture.Field(kPicHotspotSize);
    return hotspotSize == 0 || picture.Field(kPicHotspotOffset) + hotspotSize <= size;
}

// Writes the picture as a group file of one. 0, 4, 11 or the file-system
// code of the failure.
uint16_t WriteGroupFile(Picture& picture, const char* path) {
    AtomicFile file;
    if (!file.Open(path)) {
        int32_t rc = FsErrorFromErrno(errno);
        return static_cast<uint16_t>(rc ? rc : kRcInvalid);
    }
    constexpr uint32_t kIndexSize = 4 + 4;
    PictureBytes bytes(kIndexSize);
    PutU16(bytes.data(), 0, kGroupMagic);
    PutU16(bytes.data(), 2, 1);
    PutU32(bytes.data(), 4, kIndexSize);
    uint16_t status = AppendPicture(picture, &bytes);
    if (status != kStatusOk) return status;  // the file is discarded
    if (!file.Write(bytes.data(), bytes.size())) return kStatusShortWrite;
    if (!file.Commit()) {
        int32_t rc = FsErrorFromErrno(errno);
        return static_cast<uint16_t>(rc ? rc : kStatusShortWrite);
    }
    return kStatusOk;
}

}  // namespace

uint16_t SaveHotspotBitmap(const char* path, Picture* picture,
                           const std::vector<HotspotRecord>& hotspots) {
    if (!path || !*path || !picture || !RecordConsistent(*picture)) return kStatusBadArg;
    uint32_t cut = picture->Field(kPicHotspotOffset);
    if (cut == 0 && picture->Type() == kPictureMetafile) {
        // A metafile made from a file has no place for hotspots yet: it
        // is behind the header, or behind bits held in the record, never
        // over the header at offset 0.
        uint32_t dataOffset = picture->Field(kPicDataOffset);
        cut = dataOffset != 0 ? dataOffset + picture->Field(kPicDataSize)
                              : static_cast<uint32_t>(kMetafileRecordSize);
        picture->SetField(kPicHotspotOffset, cut);
    }
    if (cut > picture->record.size()) return kStatusBadArg;
    try {
        if (!hotspots.empty()) {
            uint16_t status = AttachHotspotBlock(picture, hotspots);
            if (status != kStatusOk) return status;
        } else {
            picture->SetField(kPicHotspotSize, 0);
        }
        picture->record[kPicPacking] = 0;
        uint16_t status = WriteGroupFile(*picture, path);
        picture->SetField(kPicHotspotSize, 0);
        if (!hotspots.empty() && cut < picture->record.size()) picture->record.resize(cut);
        return status;
    } catch (const std::bad_alloc&) {
        picture->SetField(kPicHotspotSize, 0);
        if (!hotspots.empty() && cut < picture->record.size()) picture->record.resize(cut);
        return kStatusNoMemory;
    }
}

}  // namespace brio
