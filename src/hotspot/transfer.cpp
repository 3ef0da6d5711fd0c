// Pictures to and from the clipboard.
#include "hotspot/transfer.h"

#include <cstring>

#include "adt/bytes.h"
#include "bitmap/bmp.h"
#include "platform/platform.h"

namespace brio {

namespace {

// Header sizes of the information headers a bitmap file may carry.
bool KnownHeader(uint32_t size) {
    return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

// Where a bitmap file's parts lie and how large its block will be.
struct DibLayout {
    uint8_t info[124];      // the information header as the block gets it
    uint32_t infoSize = 0;  // 40 for a widened core header
    BmpInfo header;
    uint64_t tableAt = 0;   // in the file
    uint64_t tableIn = 0;   // bytes of masks and table in the file
    uint64_t tableOut = 0;  // in the block
    uint64_t pixelsAt = 0;  // in the file
    uint64_t pixelBytes = 0;
    uint64_t image = 0;  // pixel bytes in the block, padded
};

// Reads and checks the headers of a bitmap file of `length` bytes.
bool LayOut(FILE* file, uint64_t length, DibLayout* d) {
    uint8_t head[kBmpFileHeader + 124];
    if (length < 18 || !ReadAt(file, 0, head, 18) || head[0] != 'B' || head[1] != 'M') return false;
    uint32_t headerSize = GetU32(head, 14);
    bool core = headerSize == kBmpCoreHeader;
    if (!core && !KnownHeader(headerSize)) return false;
    if (length < kBmpFileHeader + headerSize || !ReadAt(file, 18, head + 18, headerSize - 4))
        return false;
    BmpInfo& h = d->header;
    h = DecodeBmpInfo(head + kBmpFileHeader, core);
    // The block always carries an information header of 40 bytes or more: a
    // core header is widened, so no 40-byte field lands in a 12-byte one.
    uint64_t masks = 0;
    if (core) {
        d->infoSize = kInfoHeaderSize;
        std::memset(d->info, 0, kInfoHeaderSize);
        PutU32(d->info, 0, kInfoHeaderSize);
        PutU32(d->info, 4, static_cast<uint32_t>(h.width));
        PutU32(d->info, 8, static_cast<uint32_t>(h.height));
        PutU16(d->info, 12, h.planes);
        PutU16(d->info, 14, h.bits);
    } else {
        d->infoSize = headerSize;
        std::memcpy(d->info, head + kBmpFileHeader, headerSize);
        if (h.colours == 0) h.colours = ImpliedColours(h.bits);
        // Three masks follow a 40-byte header of a bit-field bitmap.
        if (headerSize == kInfoHeaderSize && h.compression == kBiBitfields) masks = 12;
    }
    PutU32(d->info, 32, h.colours);
    d->tableAt = kBmpFileHeader + static_cast<uint64_t>(headerSize);
    d->tableIn = masks + static_cast<uint64_t>(h.EntrySize()) * h.colours;
    d->tableOut = masks + 4 * static_cast<uint64_t>(h.colours);
    if (d->tableIn > length - d->tableAt) return false;
    // Pixels start at the bits offset when it is sensible; a file may leave
    // a gap behind its colour table.
    uint64_t bitsOffset = GetU32(head, 10);
    d->pixelsAt =
        bitsOffset >= d->tableAt && bitsOffset <= length ? bitsOffset : d->tableAt + d->tableIn;
    if (d->pixelsAt > length) return false;
    d->pixelBytes = length - d->pixelsAt;
    d->image = d->pixelBytes;
    if ((h.compression == kBiRgb || h.compression == kBiBitfields) && h.width > 0 &&
        h.height != 0) {
        uint64_t full = DibImageSize(h.bits, static_cast<uint32_t>(h.width), h.Rows());
        if (full > d->pixelBytes) {
            if (!SizePlausible(d->pixelBytes, full)) return false;
            d->image = full;  // a short file: padded with zeros
        }
    }
    if (GetU32(d->info, 20) == 0) PutU32(d->info, 20, static_cast<uint32_t>(d->image));
    return d->infoSize + d->tableOut + d->image <= 0x7FFFFFFF;
}

}  // namespace

bool BitmapFileToClipboard(FILE* file) {
    int64_t length = FileLength(file);
    DibLayout d;
    if (length < 0 || !LayOut(file, static_cast<uint64_t>(length), &d)) return false;
    auto fill = [&](uint8_t* out) {
        std::memcpy(out, d.info, d.infoSize);
        uint8_t* table = out + d.infoSize;
        uint32_t colours = d.header.colours;
        // Core entries are read into the back of the table and widened.
        if (!ReadAt(file, d.tableAt, table + (d.header.core ? colours : 0), d.tableIn))
            return false;
        if (d.header.core) WidenCoreTable(table, colours);
        return ReadAt(file, d.pixelsAt, table + d.tableOut, d.pixelBytes);
    };
    return PutDibOnClipboard(static_cast<size_t>(d.infoSize + d.tableOut + d.image), fill);
}

bool PictureToClipboard(const Picture& picture) {
    // The block holds the record from the information header to the end of
    // its data. A 1-, 4- or 8-bit picture stored without a colour table gets
    // a grey ramp, since a reader of the block would otherwise take 2^bits
    // entries of it for a table that is not there.
    const uint8_t* rec = picture.record.data();
    uint32_t end = picture.Field(kPicHotspotOffset);
    uint32_t bits = GetU16(rec, kBiBitCount);
    uint32_t ramp = picture.Field(kBiClrUsed) == 0 ? ImpliedColours(bits) : 0;
    uint32_t dataAt = picture.Field(kPicDataOffset);
    if (end <= kPicInfo || end > picture.record.size() || dataAt > end) return false;
    size_t size = end - kPicInfo + 4 * static_cast<size_t>(ramp);
    return PutDibOnClipboard(size, [&](uint8_t* out) {
        size_t head = dataAt - kPicInfo;  // header and colour table
        std::memcpy(out, rec + kPicInfo, head);
        for (uint32_t i = 0; i < ramp; ++i) {
            auto level = static_cast<uint8_t>(i * 255 / (ramp - 1));
            uint8_t entry[4] = {level, level, level, 0};
            std::memcpy(out + head + 4 * i, entry, 4);
        }
        std::memcpy(out + head + 4 * static_cast<size_t>(ramp), rec + dataAt, end - dataAt);
        PutU32(out, kBiSizeImage - kPicInfo, picture.Field(kPicDataSize));
        if (ramp) PutU32(out, kBiClrUsed - kPicInfo, ramp);
        return true;
    });
}

namespace {

bool DefaultMasks(uint32_t bits, const uint8_t* masks) {
    uint32_t r = GetU32(masks, 0), g = GetU32(masks, 4), b = GetU32(masks, 8);
    if (bits == 16) return r == 0x7C00 && g == 0x03E0 && b == 0x001F;
    if (bits == 32) return r == 0xFF0000 && g == 0xFF00 && b == 0xFF;
    return false;
}

// Where the colour table of a clipboard block starts; 0 when the block is
// not taken.
uint64_t TableOfDib(const uint8_t* dib, size_t size, const BmpInfo& h) {
    uint32_t headerSize = GetU32(dib, 0);
    if (h.width <= 0 || h.height == 0 || h.height == INT32_MIN || h.planes != 1) return 0;
    if (h.bits != 1 && h.bits != 4 && h.bits != 8 && h.bits != 16 && h.bits != 24 && h.bits != 32)
        return 0;
    uint64_t tableAt = headerSize;
    if (h.compression == kBiBitfields) {
        // Masks follow a 40-byte header and sit inside the larger ones.
        if (headerSize == kInfoHeaderSize) tableAt += 12;
        if (tableAt > size || !DefaultMasks(h.bits, dib + kInfoHeaderSize)) return 0;
    } else if (h.compression != kBiRgb) {
        return 0;
    }
    return tableAt;
}

}  // namespace

bool PictureFromDib(const uint8_t* dib, size_t size, Picture* out) {
    if (!dib || size < kInfoHeaderSize) return false;
    uint32_t headerSize = GetU32(dib, 0);
    if ((headerSize != 40 && headerSize != 108 && headerSize != 124) || headerSize > size)
        return false;
    BmpInfo h = DecodeBmpInfo(dib, false);
    uint64_t tableAt = TableOfDib(dib, size, h);
    if (tableAt == 0) return false;
    uint32_t colours = h.colours == 0 ? ImpliedColours(h.bits) : h.colours;
    uint32_t rows = h.Rows();
    uint64_t stride = DibStride(h.bits, static_cast<uint32_t>(h.width));
    uint64_t image = stride * rows;
    uint64_t tableBytes = 4 * static_cast<uint64_t>(colours);
    if (tableAt + tableBytes + image > size || kPicColours + tableBytes + image > 0x7FFFFFFF)
        return false;

    PictureBytes record = NewRecord(kPicColours + tableBytes + image);
    uint8_t* rec = record.data();
    auto dataAt = static_cast<uint32_t>(kPicColours + tableBytes);
    rec[kPicType] = kPictureDib;
    PutU32(rec, kPicDataSize, static_cast<uint32_t>(image));
    PutU32(rec, kPicDataOffset, dataAt);
    PutU32(rec, kPicHotspotOffset, static_cast<uint32_t>(dataAt + image));
    PutU32(rec, kBiSize, kInfoHeaderSize);
    PutU32(rec, kBiWidth, static_cast<uint32_t>(h.width));
    PutU32(rec, kBiHeight, rows);
    PutU16(rec, kBiPlanes, 1);
    PutU16(rec, kBiBitCount, h.bits);
    PutU32(rec, kBiSizeImage, static_cast<uint32_t>(image));
    // A negative density means nothing and a group file cannot hold it:
    // it is kept as 0, "not given", rather than refusing the picture.
    int32_t xPels = GetI32(dib, 24), yPels = GetI32(dib, 28);
    PutU32(rec, kBiXPels, static_cast<uint32_t>(xPels < 0 ? 0 : xPels));
    PutU32(rec, kBiYPels, static_cast<uint32_t>(yPels < 0 ? 0 : yPels));
    PutU32(rec, kBiClrUsed, colours);
    PutU32(rec, kBiClrImportant, h.important <= colours ? h.important : 0);
    if (tableBytes) std::memcpy(rec + kPicColours, dib + tableAt, static_cast<size_t>(tableBytes));
    const uint8_t* pixels = dib + tableAt + tableBytes;
    if (h.height > 0) {
        std::memcpy(rec + dataAt, pixels, static_cast<size_t>(image));
    } else {
        // Top-down rows: store them bottom-up.
        for (uint32_t r = 0; r < rows; ++r)
            std::memcpy(rec + dataAt + r * stride, pixels + (rows - 1 - r) * stride,
                        static_cast<size_t>(stride));
    }
    *out = Picture{std::move(record), {}};
    return true;
}

bool PictureFromClipboard(Picture* out) {
    bool taken = false;
    ReadClipboardDib(
        [&](const uint8_t* dib, size_t size) { taken = PictureFromDib(dib, size, out); });
    return taken;
}

}  // namespace brio
