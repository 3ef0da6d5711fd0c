// Hotspot records, blocks and bindings.
#include "hotspot/hotspot.h"

#include <cstring>
#include <string>
#include <vector>

#include "adt/bytes.h"
#include "adt/hash.h"
#include "adt/ll.h"
#include "bitmap/picture.h"
#include "frame/frame.h"

namespace brio {

namespace {

const char kModule[] = "SHG/HHS";
constexpr size_t kBlockHeader = 7;
constexpr size_t kEntrySize = 15;

bool IsBlank(const char* p) {
    return *p == ' ';
}

// Copies [begin, end) without leading and trailing blanks.
void CopyTrimmed(const char* begin, const char* end, char* out) {
    while (begin < end && IsBlank(begin)) begin = PlatCharNext(begin);
    const char* last = begin;  // end of the last non-blank character
    for (const char* p = begin; p < end;) {
        const char* next = PlatCharNext(p);
        if (next > end) next = end;
        if (!IsBlank(p)) last = next;
        if (next == p) break;
        p = next;
    }
    size_t n = static_cast<size_t>(last - begin);
    if (n > 255) n = 255;
    std::memcpy(out, begin, n);
    out[n] = 0;
}

bool Fits16(int64_t v) {
    return v >= -32768 && v <= 32767;
}

}  // namespace

int HotspotKind(uint8_t type) {
    if ((type & 3) == 3) return 0;
    if ((type & 3) == 2) return 1;
    return 2;
}

uint8_t HotspotTypeForKind(int32_t kind) {
    return kind == 0 ? kHotspotJump : kind == 1 ? kHotspotPopup : kHotspotMacroVisible;
}

int SplitBinding(const char* binding, char* context, char* window, char* file) {
    char copy[256];
    size_t n = binding ? std::strlen(binding) : 0;
    if (n > 255) n = 255;
    if (n) std::memcpy(copy, binding, n);
    copy[n] = 0;
    const char* end = copy + n;
    const char* body = copy;
    while (IsBlank(body)) ++body;
    const char* at = nullptr;
    const char* gt = nullptr;
    for (const char* p = body; *p; p = PlatCharNext(p)) {
        if (*p == '@' && !at) at = p;
        if (*p == '>' && !gt) gt = p;
    }
    const char* bodyEnd = end;
    if (at && at < bodyEnd) bodyEnd = at;
    if (gt && gt < bodyEnd) bodyEnd = gt;
    // Each part runs to the other separator when that one follows it.
    if (at)
        CopyTrimmed(at + 1, gt && gt > at ? gt : end, file);
    else
        file[0] = 0;
    if (gt)
        CopyTrimmed(gt + 1, at && at > gt ? at : end, window);
    else
        window[0] = 0;
    CopyTrimmed(body, bodyEnd, context);
    return 1;
}

int ParseHotspotBlock(const void* block, size_t size, HotspotCallback callback, void* context) {
    const auto* b = static_cast<const unsigned char*>(block);
    if (!b || size < kBlockHeader || b[0] != 1) return 0;
    uint64_t count = GetU16(b, 1);
    uint64_t extra = GetU32(b, 3);
    // 64-bit sums: an extra-data length near 2^32 cannot wrap the check.
    uint64_t stringsAt = kBlockHeader + kEntrySize * count + extra;
    if (stringsAt > size) return 0;
    size_t pos = static_cast<size_t>(stringsAt);
    HotspotRecord rec;
    for (uint64_t i = 0; i < count; ++i) {
        std::memset(&rec, 0, sizeof rec);
        for (char* out : {rec.name, rec.binding}) {
            size_t left = size - pos;
            size_t limit = left < 256 ? left : 256;
            const void* nul = std::memchr(b + pos, 0, limit);
            if (!nul) return 0;
            size_t len = static_cast<size_t>(static_cast<const unsigned char*>(nul) - (b + pos));
            std::memcpy(out, b + pos, len + 1);
            pos += len + 1;
        }
        const unsigned char* e = b + kBlockHeader + kEntrySize * i;
        rec.type = e[0];
        rec.attribute = e[1];
        rec.left = GetI16(e, 3);
        rec.top = GetI16(e, 5);
        rec.right = rec.left + GetI16(e, 7);
        rec.bottom = rec.top + GetI16(e, 9);
        callback(&rec, context);
    }
    return 1;
}

namespace {

struct ListBuild {
    GlobalHandle list;
    bool failed;
};

void AppendToList(const HotspotRecord* rec, void* context) {
    auto* build = static_cast<ListBuild*>(context);
    if (!build->failed && !ListInsert(build->list, rec, sizeof *rec)) build->failed = true;
}

}  // namespace

GlobalHandle BuildHotspotList(GlobalHandle picture) {
    GlobalHandle list = ListCreate();
    if (!list) return nullptr;
    const auto* rec = static_cast<const unsigned char*>(MemLock(picture, kModule, __LINE__));
    if (!rec) {
        ListDestroy(list);
        return nullptr;
    }
    ListBuild build{list, false};
    uint32_t size = GetU32(rec, kPicHotspotSize);
    uint32_t offset = GetU32(rec, kPicHotspotOffset);
    size_t total = PlatGlobalSize(picture);
    if (size > 0) {
        if (offset > total || size > total - offset ||
            !ParseHotspotBlock(rec + offset, size, AppendToList, &build))
            build.failed = true;
    }
    MemUnlock(picture, kModule, __LINE__);
    if (build.failed) {
        ListDestroy(list);
        return nullptr;
    }
    return list;
}

void CopyHotspot(GlobalHandle node, HotspotRecord* out) {
    const void* item = ListLockItem(node);
    if (!item) {
        std::memset(out, 0, sizeof *out);
        return;
    }
    std::memcpy(out, item, sizeof *out);
    ListUnlockItem(node);
}

uint16_t BuildHotspotBlock(GlobalHandle* picture, GlobalHandle list) {
    // Gather the records and lay out the extra-data area first, so the
    // picture grows once to its exact size.
    std::vector<HotspotRecord> records;
    for (GlobalHandle node = ListNext(list, nullptr); node; node = ListNext(list, node)) {
        records.emplace_back();
        CopyHotspot(node, &records.back());
    }
    size_t n = records.size();
    if (n > 0xFFFF) return kStatusBadArg;
    std::vector<unsigned char> extra;
    std::vector<uint32_t> values(n);
    size_t stringBytes = 0;
    for (size_t i = 0; i < n; ++i) {
        HotspotRecord& r = records[i];
        r.name[255] = r.binding[255] = 0;
        if (!Fits16(r.left) || !Fits16(r.top) || !Fits16(static_cast<int64_t>(r.right) - r.left) ||
            !Fits16(static_cast<int64_t>(r.bottom) - r.top))
            return kStatusBadArg;
        stringBytes += std::strlen(r.name) + 1 + std::strlen(r.binding) + 1;
        switch (r.type) {
            case kHotspotMacro:
            case kHotspotMacroVisible:
                values[i] = static_cast<uint32_t>(extra.size());
                extra.insert(extra.end(), r.binding, r.binding + std::strlen(r.binding) + 1);
                break;
            case 226:
            case 227:
            case kHotspotPopup:
            case kHotspotJump:
                values[i] = ContextHash(r.binding);
                break;
            case kHotspotJumpWindow:
            case kHotspotJumpWindowVisible: {
                char ctx[256], window[256], file[256];
                SplitBinding(r.binding, ctx, window, file);
                values[i] = static_cast<uint32_t>(extra.size());
                extra.push_back(
                    static_cast<unsigned char>((window[0] ? 2 : 0) | (file[0] ? 4 : 0)));
                unsigned char hash[4];
                PutU32(hash, 0, ContextHash(ctx));
                extra.insert(extra.end(), hash, hash + 4);
                if (window[0]) extra.insert(extra.end(), window, window + std::strlen(window) + 1);
                if (file[0]) extra.insert(extra.end(), file, file + std::strlen(file) + 1);
                break;
            }
            default:
                values[i] = 0;
        }
    }
    size_t blockSize = kBlockHeader + kEntrySize * n + extra.size() + stringBytes;

    auto* rec = static_cast<unsigned char*>(MemLock(*picture, kModule, __LINE__));
    if (!rec) return kStatusNoMemory;
    uint32_t offset = GetU32(rec, kPicHotspotOffset);
    MemUnlock(*picture, kModule, __LINE__);
    GlobalHandle grown = PlatGlobalReAlloc(*picture, offset + blockSize, kGmemMoveable);
    if (!grown) return kStatusNoMemory;
    *picture = grown;
    rec = static_cast<unsigned char*>(MemLock(grown, kModule, __LINE__));
    if (!rec) return kStatusNoMemory;
    unsigned char* b = rec + offset;
    b[0] = 1;
    PutU16(b, 1, static_cast<uint32_t>(n));
    PutU32(b, 3, static_cast<uint32_t>(extra.size()));
    for (size_t i = 0; i < n; ++i) {
        const HotspotRecord& r = records[i];
        unsigned char* e = b + kBlockHeader + kEntrySize * i;
        e[0] = r.type;
        e[1] = r.attribute;
        e[2] = 0;
        PutU16(e, 3, static_cast<uint32_t>(r.left));
        PutU16(e, 5, static_cast<uint32_t>(r.top));
        PutU16(e, 7, static_cast<uint32_t>(r.right - r.left));
        PutU16(e, 9, static_cast<uint32_t>(r.bottom - r.top));
        PutU32(e, 11, values[i]);
    }
    unsigned char* p = b + kBlockHeader + kEntrySize * n;
    if (!extra.empty()) std::memcpy(p, extra.data(), extra.size());
    p += extra.size();
    for (const HotspotRecord& r : records) {
        for (const char* s : {r.name, r.binding}) {
            size_t len = std::strlen(s) + 1;
            std::memcpy(p, s, len);
            p += len;
        }
    }
    PutU32(rec, kPicHotspotSize, static_cast<uint32_t>(blockSize));
    MemUnlock(grown, kModule, __LINE__);
    return kStatusOk;
}

}  // namespace brio
