// The picture reader: recognises a file by its first bytes and builds a
// picture with unpacked data. Every size taken from a header is checked
// against the file before anything is allocated or read.
#include <cstring>
#include <new>

#include "adt/bytes.h"
#include "bitmap/bmio.h"
#include "bitmap/bmp.h"
#include "bitmap/picture.h"
#include "bitmap/rle.h"
#include "platform/platform.h"

namespace brio {

namespace {

constexpr uint32_t kMetafileKey = 0x9AC6CDD7;

PictureRead ReadDeviceBitmap(FILE* file, const unsigned char* head, int64_t length, Picture* out) {
    uint32_t width = GetU16(head, 4);
    uint32_t height = GetU16(head, 6);
    uint32_t rowBytes = GetU16(head, 8);
    uint32_t planes = head[10];
    uint32_t bits = head[11];
    uint64_t size = static_cast<uint64_t>(planes) * height * rowBytes;
    if (length < 16 || size > static_cast<uint64_t>(length) - 16) return PictureRead::Unreadable;
    PictureBytes rec = NewRecord(kPicColours + size);
    PutBitmapHeader(rec, kPictureDdb, width, height, planes, bits);
    PutU32(rec.data(), kPicDataSize, static_cast<uint32_t>(size));
    PutU32(rec.data(), kPicDataOffset, kPicColours);
    PutU32(rec.data(), kBiSize, kInfoHeaderSize);
    if (!ReadAt(file, 16, rec.data() + kPicColours, size)) return PictureRead::Unreadable;
    *out = Picture{std::move(rec), {}};
    return PictureRead::Ok;
}

PictureRead ReadPackedMonochrome(FILE* file, int64_t length, Picture* out) {
    unsigned char head[32];
    if (!ReadAt(file, 0, head, sizeof head) || GetU16(head, 2) != 0x7352)
        return PictureRead::Unreadable;
    uint32_t width = GetU16(head, 4);
    uint32_t height = GetU16(head, 6);
    uint32_t packed = GetU16(head, 26);
    uint64_t size = static_cast<uint64_t>((width + 15) / 16) * height * 2;
    if (packed > static_cast<uint64_t>(length) - 32 || !SizePlausible(packed, size))
        return PictureRead::Unreadable;
    PictureBytes rec = NewRecord(kPicColours + size);
    PutBitmapHeader(rec, kPictureDdb, width, height, 1, 1);
    PictureBytes stream;
    try {
        stream.resize(packed);
    } catch (const std::bad_alloc&) {
        return PictureRead::Unreadable;  // the packed copy, unlike the record, is not memory's
                                         // fault
    }
    if (!ReadAt(file, 32, stream.data(), packed)) return PictureRead::Unreadable;
    int32_t produced = UnpackRleBackward(stream.data(), rec.data() + kPicColours, packed,
                                         static_cast<uint32_t>(size));
    if (produced < 0) return PictureRead::Unreadable;
    // The unpacker fills the area from its end: the data starts at its first
    // produced byte.
    PutU32(rec.data(), kPicDataOffset, static_cast<uint32_t>(kPicColours + size - produced));
    PutU32(rec.data(), kPicDataSize, static_cast<uint32_t>(produced));
    *out = Picture{std::move(rec), {}};
    return PictureRead::Ok;
}

}  // namespace

PictureRead ReadBitmapFile(FILE* file, int32_t start, int32_t end, Picture* out) {
    if (start < 0 || end < start) return PictureRead::Unreadable;
    uint64_t span = static_cast<uint64_t>(end - start);
    unsigned char head[kBmpFileHeader + kInfoHeaderSize];
    if (span < 18 || !ReadAt(file, start, head, 18)) return PictureRead::Unreadable;
    uint32_t bitsOffset = GetU32(head, 10);
    uint32_t headerSize = GetU16(head, 14);
    if (headerSize != kBmpCoreHeader && headerSize != kInfoHeaderSize)
        return PictureRead::Unreadable;
    if (!ReadAt(file, static_cast<uint64_t>(start) + 18, head + 18, headerSize - 4))
        return PictureRead::Unreadable;
    BmpInfo info = DecodeBmpInfo(head + kBmpFileHeader, headerSize == kBmpCoreHeader);
    if (info.compression != kBiRgb) return PictureRead::Unreadable;
    uint32_t colours = info.colours == 0 ? ImpliedColours(info.bits) : info.colours;
    uint64_t tableAt = kBmpFileHeader + headerSize;
    uint64_t tableBytes = static_cast<uint64_t>(colours) * info.EntrySize();
    if (tableBytes > span - tableAt || bitsOffset < tableAt || bitsOffset > span)
        return PictureRead::Unreadable;
    uint64_t dataSize = span - bitsOffset;
    uint64_t full = 0;
    if (info.width > 0 && info.height != 0)
        full = DibImageSize(info.bits, static_cast<uint32_t>(info.width), info.Rows());
    if (full > dataSize && !SizePlausible(dataSize, full)) return PictureRead::Unreadable;
    uint64_t room = full > dataSize ? full : dataSize;

    PictureBytes rec = NewRecord(kPicColours + 4 * static_cast<uint64_t>(colours) + room);
    uint8_t* r = rec.data();
    r[kPicType] = kPictureDib;
    PutU32(r, kBiSize, kInfoHeaderSize);
    PutU32(r, kBiWidth, static_cast<uint32_t>(info.width));
    PutU32(r, kBiHeight, static_cast<uint32_t>(info.height));
    PutU16(r, kBiPlanes, info.planes);
    PutU16(r, kBiBitCount, info.bits);
    PutU32(r, kBiSizeImage, info.sizeImage);
    PutU32(r, kBiClrUsed, colours);
    PutU32(r, kBiClrImportant, info.important);
    uint32_t dataAt = kPicColours + 4 * colours;
    // Core entries are read into the back of the table area and widened.
    uint8_t* table = r + kPicColours + (info.core ? colours : 0);
    if (!ReadAt(file, start + tableAt, table, tableBytes)) return PictureRead::Unreadable;
    if (info.core) WidenCoreTable(r + kPicColours, colours);
    PutU32(r, kPicDataOffset, dataAt);
    PutU32(r, kPicDataSize, static_cast<uint32_t>(room));
    if (!ReadAt(file, static_cast<uint64_t>(start) + bitsOffset, r + dataAt, dataSize))
        return PictureRead::Unreadable;
    *out = Picture{std::move(rec), {}};
    return PictureRead::Ok;
}

PictureRead ReadPlaceableMetafile(FILE* file, Picture* out) {
    int64_t length = FileLength(file);
    unsigned char head[22];
    if (length < 22 || !ReadAt(file, 0, head, sizeof head)) return PictureRead::Unreadable;
    uint16_t check = 0;
    for (int i = 0; i < 10; ++i) check ^= GetU16(head, 2 * i);
    if (GetU32(head, 0) != kMetafileKey || GetU16(head, 20) != check)
        return PictureRead::Unreadable;
    auto bitsSize = static_cast<uint32_t>(length - 22);
    PictureBytes bits(bitsSize);
    if (!ReadAt(file, 22, bits.data(), bitsSize)) return PictureRead::Unreadable;
    PictureBytes rec = NewRecord(kMetafileRecordSize);
    int32_t left = GetI16(head, 6), top = GetI16(head, 8);
    int32_t right = GetI16(head, 10), bottom = GetI16(head, 12);
    int32_t inch = GetU16(head, 14);
    rec[kPicType] = kPictureMetafile;
    PutU32(rec.data(), kPicDataSize, bitsSize);
    PutU32(rec.data(), kPicMapMode, kMapModeAnisotropic);
    PutU32(rec.data(), kPicXExt, static_cast<uint32_t>(PlatMulDiv(right - left, 2540, inch)));
    PutU32(rec.data(), kPicYExt, static_cast<uint32_t>(PlatMulDiv(bottom - top, 2540, inch)));
    *out = Picture{std::move(rec), std::move(bits)};
    return PictureRead::Ok;
}

PictureRead ReadGroupPicture(FILE* file, uint32_t index, Picture* out) {
    int64_t length = FileLength(file);
    unsigned char head[4];
    if (length < 4 || !ReadAt(file, 0, head, 4)) return PictureRead::Unreadable;
    uint32_t count = GetU16(head, 2);
    if (count <= index) return PictureRead::Unreadable;
    unsigned char offsets[8];
    bool last = index + 1 == count;
    if (!ReadAt(file, 4 + 4 * static_cast<uint64_t>(index), offsets, last ? 4 : 8))
        return PictureRead::Unreadable;
    uint64_t begin = GetU32(offsets, 0);
    uint64_t end = last ? static_cast<uint64_t>(length) : GetU32(offsets, 4);
    // The picture lies behind the index, inside the file, before the next.
    if (begin < 4 + 4 * static_cast<uint64_t>(count) || end < begin ||
        end > static_cast<uint64_t>(length))
        return PictureRead::Unreadable;
    PictureBytes bytes(static_cast<size_t>(end - begin));
    if (!ReadAt(file, begin, bytes.data(), bytes.size())) return PictureRead::Unreadable;
    return ExpandPicture(bytes.data(), bytes.size(), out);
}

PictureRead ReadPictureFile(FILE* file, Picture* out) {
    int64_t length = FileLength(file);
    unsigned char head[16];
    if (length < 16 || !ReadAt(file, 0, head, sizeof head)) return PictureRead::Unreadable;
    if (head[0] == 2) return ReadDeviceBitmap(file, head, length, out);
    switch (GetU16(head, 0)) {
        case 0x506C:
        case 0x706C:
            return PictureRead::GroupFile;
        case 0x4D42:
            return ReadBitmapFile(file, 0, static_cast<int32_t>(length), out);
        case 0xCDD7:
            return ReadPlaceableMetafile(file, out);
        case 0x4146:
            return ReadPackedMonochrome(file, length, out);
        default:
            return PictureRead::Unreadable;
    }
}

namespace {

bool UsableBitmap(const Picture& picture) {
    const uint8_t* rec = picture.record.data();
    uint32_t bits = GetU16(rec, kBiBitCount);
    // Only what a device-independent bitmap can be: anything else would put
    // a block on the clipboard that no reader can decode.
    return GetU16(rec, kBiPlanes) == 1 && GetU32(rec, kBiCompression) == 0 &&
           (bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32);
}

// Reads the file's picture (the first of a group file); 0, 4 or 100.
uint16_t ReadFirstPicture(const char* path, Picture* picture) {
    UniqueFile file(path ? PlatFileOpen(path, "rb") : nullptr);
    if (!file) return kStatusCannotOpen;
    PictureRead read = ReadPictureFile(file.get(), picture);
    if (read == PictureRead::GroupFile) read = ReadGroupPicture(file.get(), 0, picture);
    return read == PictureRead::Ok ? kStatusOk : kStatusBadArg;
}

}  // namespace

uint16_t OpenHotspotBitmap(const char* path, OpenedPicture* out) {
    *out = OpenedPicture{};
    try {
        Picture picture;
        uint16_t status = ReadFirstPicture(path, &picture);
        if (status != kStatusOk) return status;
        uint8_t type = picture.Type();
        bool accepted =
            (type == kPictureDib && UsableBitmap(picture)) ||
            (type == kPictureMetafile && picture.Field(kPicMapMode) == kMapModeAnisotropic);
        if (type == kPictureDib)
            picture.SetField(kPicHotspotOffset,
                             picture.Field(kPicDataOffset) + picture.Field(kPicDataSize));
        auto width = static_cast<int32_t>(picture.Field(kBiWidth));  // the extents for a metafile
        auto height = static_cast<int32_t>(picture.Field(kBiHeight));
        uint32_t cut = picture.Field(kPicHotspotOffset);
        if (!accepted || width < 1 || height < 1) return kStatusBadArg;
        if (!ReadHotspots(picture, &out->hotspots)) return kStatusNoMemory;
        // Drop the hotspot block: the record ends with its data.
        if (cut != 0 && cut < picture.record.size()) picture.record.resize(cut);
        picture.SetField(kPicHotspotSize, 0);
        out->picture = std::move(picture);
        out->width = width;
        out->height = height;
        return kStatusOk;
    } catch (const std::bad_alloc&) {
        *out = OpenedPicture{};
        return kStatusNoMemory;
    }
}

}  // namespace brio
