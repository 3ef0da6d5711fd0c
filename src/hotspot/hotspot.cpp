// Hotspot records, blocks and bindings.
#include "hotspot/hotspot.h"

#include <cstring>
#include <string>
#include <vector>

#include "adt/bytes.h"
#include "adt/hash.h"
#include "bitmap/picture.h"
#include "platform/platform.h"

namespace brio {

namespace {

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

bool ParseHotspotBlock(const void* block, size_t size, std::vector<HotspotRecord>* out) {
    out->clear();
    const auto* b = static_cast<const unsigned char*>(block);
    if (!b || size < kBlockHeader || b[0] != 1) return false;
    uint64_t count = GetU16(b, 1);
    uint64_t extra = GetU32(b, 3);
    // 64-bit sums: an extra-data length near 2^32 cannot wrap the check.
    uint64_t stringsAt = kBlockHeader + kEntrySize * count + extra;
    if (stringsAt > size) return false;
    size_t pos = static_cast<size_t>(stringsAt);
    out->reserve(static_cast<size_t>(count));
    for (uint64_t i = 0; i < count; ++i) {
        HotspotRecord rec;
        std::memset(&rec, 0, sizeof rec);
        for (char* text : {rec.name, rec.binding}) {
            size_t left = size - pos;
            size_t limit = left < 256 ? left : 256;
            const void* nul = std::memchr(b + pos, 0, limit);
            if (!nul) {
                out->clear();
                return false;
            }
            size_t len = static_cast<size_t>(static_cast<const unsigned char*>(nul) - (b + pos));
            std::memcpy(text, b + pos, len + 1);
            pos += len + 1;
        }
        const unsigned char* e = b + kBlockHeader + kEntrySize * i;
        rec.type = e[0];
        rec.attribute = e[1];
        rec.left = GetI16(e, 3);
        rec.top = GetI16(e, 5);
        rec.right = rec.left + GetI16(e, 7);
        rec.bottom = rec.top + GetI16(e, 9);
        out->push_back(rec);
    }
    return true;
}

bool ReadHotspots(const Picture& picture, std::vector<HotspotRecord>* out) {
    out->clear();
    const PictureBytes& rec = picture.record;
    if (rec.size() < kPicInfo) return false;
    uint32_t size = picture.Field(kPicHotspotSize);
    uint32_t offset = picture.Field(kPicHotspotOffset);
    if (size == 0) return true;
    return offset <= rec.size() && size <= rec.size() - offset &&
           ParseHotspotBlock(rec.data() + offset, size, out);
}

namespace {

// The value of an entry and the extra data it adds.
uint32_t EntryValue(const HotspotRecord& r, std::vector<uint8_t>* extra) {
    auto appendText = [extra](const char* text) {
        extra->insert(extra->end(), text, text + std::strlen(text) + 1);
    };
    switch (r.type) {
        case kHotspotMacro:
        case kHotspotMacroVisible: {
            auto at = static_cast<uint32_t>(extra->size());
            appendText(r.binding);
            return at;
        }
        case 226:
        case 227:
        case kHotspotPopup:
        case kHotspotJump:
            return ContextHash(r.binding);
        case kHotspotJumpWindow:
        case kHotspotJumpWindowVisible: {
            char ctx[256], window[256], file[256];
            SplitBinding(r.binding, ctx, window, file);
            auto at = static_cast<uint32_t>(extra->size());
            extra->push_back(static_cast<uint8_t>((window[0] ? 2 : 0) | (file[0] ? 4 : 0)));
            uint8_t hash[4];
            PutU32(hash, 0, ContextHash(ctx));
            extra->insert(extra->end(), hash, hash + 4);
            if (window[0]) appendText(window);
            if (file[0]) appendText(file);
            return at;
        }
        default:
            return 0;
    }
}

bool FitsBlock(const HotspotRecord& r) {
    return Fits16(r.left) && Fits16(r.top) && Fits16(static_cast<int64_t>(r.right) - r.left) &&
           Fits16(static_cast<int64_t>(r.bottom) - r.top);
}

}  // namespace

uint16_t AttachHotspotBlock(Picture* picture, const std::vector<HotspotRecord>& hotspots) {
    size_t n = hotspots.size();
    if (n > 0xFFFF) return kStatusBadArg;
    // Entries, extra data and strings are laid out apart first, so the
    // record grows once to its exact size.
    std::vector<uint8_t> entries(kEntrySize * n), extra, strings;
    for (size_t i = 0; i < n; ++i) {
        HotspotRecord r = hotspots[i];
        r.name[255] = r.binding[255] = 0;
        if (!FitsBlock(r)) return kStatusBadArg;
        uint8_t* e = entries.data() + kEntrySize * i;
        e[0] = r.type;
        e[1] = r.attribute;
        PutU16(e, 3, static_cast<uint32_t>(r.left));
        PutU16(e, 5, static_cast<uint32_t>(r.top));
        PutU16(e, 7, static_cast<uint32_t>(r.right - r.left));
        PutU16(e, 9, static_cast<uint32_t>(r.bottom - r.top));
        PutU32(e, 11, EntryValue(r, &extra));
        for (const char* text : {r.name, r.binding})
            strings.insert(strings.end(), text, text + std::strlen(text) + 1);
    }
    size_t blockSize = kBlockHeader + entries.size() + extra.size() + strings.size();
    uint32_t offset = picture->Field(kPicHotspotOffset);
    picture->record.resize(offset + blockSize);  // throws before any change
    uint8_t* b = picture->record.data() + offset;
    b[0] = 1;
    PutU16(b, 1, static_cast<uint32_t>(n));
    PutU32(b, 3, static_cast<uint32_t>(extra.size()));
    uint8_t* p = b + kBlockHeader;
    for (const std::vector<uint8_t>* part : {&entries, &extra, &strings}) {
        if (!part->empty()) std::memcpy(p, part->data(), part->size());
        p += part->size();
    }
    picture->SetField(kPicHotspotSize, static_cast<uint32_t>(blockSize));
    return kStatusOk;
}

}  // namespace brio
