// The hotspot picture exports: pictures and hotspots to and from the host
// through the clipboard (CF_DIB) and out arguments.
#include <cstdio>
#include <cstring>
#include <new>

#include "adt/bytes.h"
#include "adt/ll.h"
#include "bitmap/bmio.h"
#include "bitmap/picture.h"
#include "brioutil.h"
#include "frame/frame.h"
#include "hotspot/hotspot.h"

using namespace brio;

// The object behind a hotspot handle. It owns everything it names.
struct HotspotFile {
    GlobalHandle picture;  // opened by FileGetBitmap, cut back to its data
    GlobalHandle list;     // HandleList of HotspotRecords
    int32_t width;
    int32_t height;
    char* path;           // where FileWriteHotspots writes
    GlobalHandle cursor;  // the node FileGetHotspot returned last
    GlobalHandle pasted;  // the picture FileSetBitmap took from the clipboard
};

namespace {

const char kModule[] = "SHG/export";
constexpr uint32_t kClipboardFlags = kGmemMoveable | kGmemZeroInit | kGmemDdeShare;  // 0x2042
constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;

// The binding FileGetHotspot hands out; the next call overwrites it.
thread_local char gBinding[256];

HotspotFile* NewObject() {
    auto* f = static_cast<HotspotFile*>(BrioMalloc(sizeof(HotspotFile)));
    if (f) std::memset(f, 0, sizeof *f);
    return f;
}

void ReleaseObject(HotspotFile* f) {
    if (!f) return;
    if (f->picture) FreePicture(f->picture);
    ListDestroy(f->list);
    BrioFree(f->path);
    if (f->pasted) FreePicture(f->pasted);
    BrioFree(f);
}

// Hands a block to the clipboard as CF_DIB; on failure the block is freed.
bool PutOnClipboard(GlobalHandle block) {
    if (!ClipboardOpen()) {
        PlatGlobalFree(block);
        return false;
    }
    ClipboardEmpty();
    bool placed = ClipboardSetDib(block);
    ClipboardClose();
    if (!placed) PlatGlobalFree(block);
    return placed;
}

bool ReadExact(FILE* file, uint64_t offset, void* buffer, uint64_t count) {
    if (count == 0) return true;
    if (offset > 0x7FFFFFFF || std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0)
        return false;
    return std::fread(buffer, 1, static_cast<size_t>(count), file) == count;
}

int32_t DibFromFile(FILE* file) {
    if (std::fseek(file, 0, SEEK_END) != 0) return BRIO_ERR_READ;
    long end = std::ftell(file);
    if (end < 0) return BRIO_ERR_READ;
    uint64_t length = static_cast<uint64_t>(end);
    unsigned char head[14 + 124 + 12];
    if (length < 18 || !ReadExact(file, 0, head, 18) || head[0] != 'B' || head[1] != 'M')
        return BRIO_ERR_READ;
    uint32_t headerSize = GetU32(head, 14);
    bool core = headerSize == 12;
    if (!core && headerSize != 40 && headerSize != 52 && headerSize != 56 && headerSize != 108 &&
        headerSize != 124)
        return BRIO_ERR_READ;
    if (length < 14 + headerSize || !ReadExact(file, 18, head + 18, headerSize - 4))
        return BRIO_ERR_READ;

    // The block always carries an information header of 40 bytes or more: a
    // core header is widened, so no 40-byte field lands in a 12-byte one.
    unsigned char info[124 + 12];
    uint32_t infoSize = core ? 40 : headerSize;
    uint32_t bits, compression, colours;
    int32_t width, height;
    uint64_t masks = 0;
    if (core) {
        std::memset(info, 0, 40);
        width = GetU16(head, 18);
        height = GetU16(head, 20);
        bits = GetU16(head, 24);
        compression = kBiRgb;
        colours = ImpliedColours(bits);
        PutU32(info, 0, 40);
        PutU32(info, 4, static_cast<uint32_t>(width));
        PutU32(info, 8, static_cast<uint32_t>(height));
        PutU16(info, 12, GetU16(head, 22));
        PutU16(info, 14, bits);
        PutU32(info, 32, colours);
    } else {
        std::memcpy(info, head + 14, headerSize);
        width = GetI32(info, 4);
        height = GetI32(info, 8);
        bits = GetU16(info, 14);
        compression = GetU32(info, 16);
        colours = GetU32(info, 32);
        if (colours == 0) colours = ImpliedColours(bits);
        PutU32(info, 32, colours);
        // Three masks follow a 40-byte header of a bit-field bitmap.
        if (headerSize == 40 && compression == kBiBitfields) masks = 12;
    }
    uint64_t entry = core ? 3 : 4;
    uint64_t tableAt = 14 + static_cast<uint64_t>(headerSize);
    uint64_t tableIn = masks + entry * colours;
    if (tableIn > length - tableAt) return BRIO_ERR_READ;
    // Pixels start at the bits offset when it is sensible; a file may leave
    // a gap behind its colour table.
    uint64_t bitsOffset = GetU32(head, 10);
    uint64_t pixelsAt =
        bitsOffset >= tableAt && bitsOffset <= length ? bitsOffset : tableAt + tableIn;
    if (pixelsAt > length) return BRIO_ERR_READ;
    uint64_t pixelBytes = length - pixelsAt;
    uint64_t image = pixelBytes;
    if ((compression == kBiRgb || compression == kBiBitfields) && width > 0 && height != 0) {
        uint64_t full = DibImageSize(
            bits, static_cast<uint32_t>(width),
            height < 0 ? 0u - static_cast<uint32_t>(height) : static_cast<uint32_t>(height));
        if (full > pixelBytes) {
            if (!SizePlausible(pixelBytes, full)) return BRIO_ERR_READ;
            image = full;  // a short file: padded with zeros
        }
    }
    if (GetU32(info, 20) == 0) PutU32(info, 20, static_cast<uint32_t>(image));

    uint64_t tableOut = masks + 4 * static_cast<uint64_t>(colours);
    uint64_t total = infoSize + tableOut + image;
    if (total > 0x7FFFFFFF) return BRIO_ERR_READ;
    GlobalHandle block = PlatGlobalAlloc(kClipboardFlags, static_cast<size_t>(total));
    if (!block) return BRIO_ERR_READ;
    auto* out = static_cast<unsigned char*>(PlatGlobalLock(block));
    bool ok = out != nullptr;
    if (ok) {
        std::memcpy(out, info, infoSize);
        unsigned char* table = out + infoSize;
        if (core) {
            // Read the 3-byte entries into the back of the table and widen.
            unsigned char* staged = table + colours;
            ok = ReadExact(file, tableAt, staged, tableIn);
            for (uint32_t i = 0; ok && i < colours; ++i) {
                unsigned char bgr[3] = {staged[3 * i], staged[3 * i + 1], staged[3 * i + 2]};
                std::memcpy(table + 4 * i, bgr, 3);
                table[4 * i + 3] = 0;
            }
        } else {
            ok = ReadExact(file, tableAt, table, tableIn);
        }
        ok = ok && ReadExact(file, pixelsAt, table + tableOut, pixelBytes);
        PlatGlobalUnlock(block);
    }
    if (!ok) {
        PlatGlobalFree(block);
        return BRIO_ERR_READ;
    }
    return PutOnClipboard(block) ? BRIO_OK : BRIO_ERR_READ;
}

// The clipboard block of an opened bitmap: its bytes from the information
// header to the end of its data. A 1-, 4- or 8-bit picture stored without a
// colour table gets a grey ramp, since a reader of the block would otherwise
// take 2^bits entries of it for a table that is not there.
bool BitmapToClipboard(GlobalHandle picture) {
    const auto* rec = static_cast<const unsigned char*>(MemLock(picture, kModule, __LINE__));
    if (!rec) return false;
    uint32_t end = GetU32(rec, kPicHotspotOffset);
    uint32_t bits = GetU16(rec, kBiBitCount);
    uint32_t ramp = GetU32(rec, kBiClrUsed) == 0 ? ImpliedColours(bits) : 0;
    uint32_t dataAt = GetU32(rec, kPicDataOffset);
    bool ok = end > kPicInfo && end <= PlatGlobalSize(picture) && dataAt <= end;
    size_t size = ok ? end - kPicInfo + 4 * static_cast<size_t>(ramp) : 0;
    GlobalHandle block = ok ? PlatGlobalAlloc(kClipboardFlags, size) : nullptr;
    auto* out = block ? static_cast<unsigned char*>(PlatGlobalLock(block)) : nullptr;
    if (out) {
        size_t head = dataAt - kPicInfo;  // header and colour table
        std::memcpy(out, rec + kPicInfo, head);
        for (uint32_t i = 0; i < ramp; ++i) {
            auto level = static_cast<unsigned char>(i * 255 / (ramp - 1));
            unsigned char entry[4] = {level, level, level, 0};
            std::memcpy(out + head + 4 * i, entry, 4);
        }
        std::memcpy(out + head + 4 * static_cast<size_t>(ramp), rec + dataAt, end - dataAt);
        PutU32(out, kBiSizeImage - kPicInfo, GetU32(rec, kPicDataSize));
        if (ramp) PutU32(out, kBiClrUsed - kPicInfo, ramp);
        PlatGlobalUnlock(block);
    }
    MemUnlock(picture, kModule, __LINE__);
    if (!out) {
        if (block) PlatGlobalFree(block);
        return false;
    }
    return PutOnClipboard(block);
}

bool DefaultMasks(uint32_t bits, const unsigned char* masks) {
    uint32_t r = GetU32(masks, 0), g = GetU32(masks, 4), b = GetU32(masks, 8);
    if (bits == 16) return r == 0x7C00 && g == 0x03E0 && b == 0x001F;
    if (bits == 32) return r == 0xFF0000 && g == 0xFF00 && b == 0xFF;
    return false;
}

// A picture made from a clipboard bitmap, which other programs write: only
// what converts to a 40-byte, uncompressed, bottom-up picture is taken.
GlobalHandle PictureFromDib(const unsigned char* dib, size_t size) {
    if (size < 40) return nullptr;
    uint32_t headerSize = GetU32(dib, 0);
    if ((headerSize != 40 && headerSize != 108 && headerSize != 124) || headerSize > size)
        return nullptr;
    int32_t width = GetI32(dib, 4);
    int32_t height = GetI32(dib, 8);
    uint32_t planes = GetU16(dib, 12);
    uint32_t bits = GetU16(dib, 14);
    uint32_t compression = GetU32(dib, 16);
    if (width <= 0 || height == 0 || height == INT32_MIN || planes != 1) return nullptr;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return nullptr;
    uint64_t tableAt = headerSize;
    if (compression == kBiBitfields) {
        // Masks follow a 40-byte header and sit inside the larger ones.
        uint64_t masksAt = 40;
        if (headerSize == 40) tableAt += 12;
        if (tableAt > size || !DefaultMasks(bits, dib + masksAt)) return nullptr;
    } else if (compression != kBiRgb) {
        return nullptr;
    }
    uint32_t colours = GetU32(dib, 32);
    if (colours == 0) colours = ImpliedColours(bits);
    uint32_t rows = height < 0 ? 0u - static_cast<uint32_t>(height) : static_cast<uint32_t>(height);
    uint64_t stride = DibStride(bits, static_cast<uint32_t>(width));
    uint64_t image = stride * rows;
    uint64_t tableBytes = 4 * static_cast<uint64_t>(colours);
    if (tableAt + tableBytes + image > size || kPicColours + tableBytes + image > 0x7FFFFFFF)
        return nullptr;

    GlobalHandle handle =
        MemAlloc(kGhnd, static_cast<size_t>(kPicColours + tableBytes + image), kModule, __LINE__);
    if (!handle) return nullptr;
    auto* rec = static_cast<unsigned char*>(MemLock(handle, kModule, __LINE__));
    if (!rec) {
        MemFree(handle, kModule, __LINE__);
        return nullptr;
    }
    uint32_t dataAt = static_cast<uint32_t>(kPicColours + tableBytes);
    rec[kPicType] = kPictureDib;
    PutU32(rec, kPicDataSize, static_cast<uint32_t>(image));
    PutU32(rec, kPicDataOffset, dataAt);
    PutU32(rec, kPicHotspotOffset, static_cast<uint32_t>(dataAt + image));
    PutU32(rec, kBiSize, kInfoHeaderSize);
    PutU32(rec, kBiWidth, static_cast<uint32_t>(width));
    PutU32(rec, kBiHeight, rows);
    PutU16(rec, kBiPlanes, 1);
    PutU16(rec, kBiBitCount, bits);
    PutU32(rec, kBiSizeImage, static_cast<uint32_t>(image));
    // A negative density means nothing and a group file cannot hold it:
    // it is kept as 0, "not given", rather than refusing the picture.
    int32_t xPels = GetI32(dib, 24), yPels = GetI32(dib, 28);
    PutU32(rec, kBiXPels, static_cast<uint32_t>(xPels < 0 ? 0 : xPels));
    PutU32(rec, kBiYPels, static_cast<uint32_t>(yPels < 0 ? 0 : yPels));
    PutU32(rec, kBiClrUsed, colours);
    uint32_t important = GetU32(dib, 36);
    PutU32(rec, kBiClrImportant, important <= colours ? important : 0);
    std::memcpy(rec + kPicColours, dib + tableAt, static_cast<size_t>(tableBytes));
    const unsigned char* pixels = dib + tableAt + tableBytes;
    if (height > 0) {
        std::memcpy(rec + dataAt, pixels, static_cast<size_t>(image));
    } else {
        // Top-down rows: store them bottom-up.
        for (uint32_t r = 0; r < rows; ++r)
            std::memcpy(rec + dataAt + r * stride, pixels + (rows - 1 - r) * stride,
                        static_cast<size_t>(stride));
    }
    MemUnlock(handle, kModule, __LINE__);
    return handle;
}

GlobalHandle PictureFromClipboard() {
    if (!ClipboardOpen()) return nullptr;
    GlobalHandle block = ClipboardGetDib();
    GlobalHandle picture = nullptr;
    const auto* dib = block ? static_cast<const unsigned char*>(PlatGlobalLock(block)) : nullptr;
    if (dib) {
        picture = PictureFromDib(dib, PlatGlobalSize(block));
        PlatGlobalUnlock(block);
    }
    ClipboardClose();
    return picture;
}

}  // namespace

extern "C" {

BRIOUTIL_EXPORT int32_t BRIOAPI HotspotGetDIBBitmap(const char* path) {
    try {
        FILE* file = path ? PlatFileOpen(path, "rb") : nullptr;
        if (!file) return BRIO_ERR_BITMAP_OPEN;
        int32_t result = DibFromFile(file);
        std::fclose(file);
        return result;
    } catch (...) {
        return BRIO_ERR_READ;
    }
}

BRIOUTIL_EXPORT intptr_t BRIOAPI FileGetBitmap(const char* path, int32_t release) {
    const intptr_t failed = release ? 1 : 0;
    try {
        HotspotFile* f = NewObject();
        if (!f) return failed;
        OpenedPicture opened;
        if (!path || OpenHotspotBitmap(path, &opened) != kStatusOk) {
            ReleaseObject(f);
            return failed;
        }
        f->picture = opened.picture;
        f->list = opened.list;
        f->width = opened.width;
        f->height = opened.height;
        // A metafile is no bitmap: the clipboard is left alone for it.
        const auto* rec = static_cast<const unsigned char*>(MemLock(f->picture, kModule, __LINE__));
        bool bitmap = rec && rec[kPicType] == kPictureDib;
        if (rec) MemUnlock(f->picture, kModule, __LINE__);
        if (bitmap && !BitmapToClipboard(f->picture)) {
            ReleaseObject(f);
            return failed;
        }
        f->cursor = nullptr;
        if (release) {
            ReleaseObject(f);
            return 0;
        }
        return reinterpret_cast<intptr_t>(f);
    } catch (...) {
        return failed;
    }
}

BRIOUTIL_EXPORT int32_t BRIOAPI FileGetHotspot(HotspotFile* f, int32_t* top, int32_t* bottom,
                                               int32_t* left, int32_t* right, int32_t* kind,
                                               const char** binding, int32_t* length) {
    if (!f) return 0;
    f->cursor = ListNext(f->list, f->cursor);
    if (!f->cursor) {
        ReleaseObject(f);
        return 0;
    }
    HotspotRecord r;
    CopyHotspot(f->cursor, &r);
    if (top) *top = r.top;
    if (bottom) *bottom = r.bottom;
    if (left) *left = r.left;
    if (right) *right = r.right;
    r.binding[255] = 0;
    std::memcpy(gBinding, r.binding, sizeof gBinding);
    if (binding) *binding = gBinding;
    if (length) *length = static_cast<int32_t>(std::strlen(gBinding));
    if (kind) *kind = HotspotKind(r.type);
    return 1;
}

BRIOUTIL_EXPORT HotspotFile* BRIOAPI FileSetBitmap(const char* path) {
    try {
        HotspotFile* f = NewObject();
        if (!f) return nullptr;
        if (path) {
            size_t n = std::strlen(path) + 1;
            f->path = static_cast<char*>(BrioMalloc(n));
            if (f->path) std::memcpy(f->path, path, n);
        }
        f->pasted = (!path || f->path) ? PictureFromClipboard() : nullptr;
        f->list = f->pasted ? ListCreate() : nullptr;
        if (!f->list) {
            ReleaseObject(f);
            return nullptr;
        }
        return f;
    } catch (...) {
        return nullptr;
    }
}

BRIOUTIL_EXPORT int32_t BRIOAPI FileSetHotspot(HotspotFile* f, int32_t top, int32_t bottom,
                                               int32_t left, int32_t right, int32_t kind,
                                               const char* binding) {
    if (!f) return 0;
    HotspotRecord r;
    std::memset(&r, 0, sizeof r);
    if (binding) std::strncpy(r.binding, binding, 255);
    r.type = HotspotTypeForKind(kind);
    r.attribute = kAttributeCreated;
    r.left = left;
    r.top = top;
    r.right = right;
    r.bottom = bottom;
    // The host cannot be told of a failed append: the hotspot is then missing.
    ListInsert(f->list, &r, sizeof r);
    return 0;
}

BRIOUTIL_EXPORT int32_t BRIOAPI FileWriteHotspots(HotspotFile* f) {
    if (!f) return kStatusBadArg;
    uint16_t status;
    try {
        status = f->pasted ? SaveHotspotBitmap(f->path, &f->pasted, f->list) : kStatusBadArg;
    } catch (...) {
        status = kStatusNoMemory;
    }
    BrioFree(f->path);
    f->path = nullptr;
    return status;
}

BRIOUTIL_EXPORT int32_t BRIOAPI FileCleanup(HotspotFile* f) {
    ReleaseObject(f);
    return 0;
}

}  // extern "C"
