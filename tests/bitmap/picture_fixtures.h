// Pictures built in memory for tests: bitmap files, placeable metafiles,
// stored records, group files, clipboard blocks; and the clipboard and
// hotspot readers the export tests share.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "adt/bytes.h"
#include "bitmap/picture.h"
#include "brioutil.h"
#include "brioutil_host.h"

namespace brio::test {

using Bytes = std::vector<uint8_t>;

struct BmpFields {
    uint32_t headerSize = 40;
    int32_t width = 4, height = 2;
    uint16_t bits = 8;
    uint32_t compression = 0;
    uint32_t colours = 0;       // colours-used field
    uint32_t tableEntries = 0;  // entries actually present
    Bytes pixels;
    int32_t bitsOffset = -1;  // -1: right behind the table
    uint32_t gap = 0;         // bytes between table and pixels
};

inline void Append(Bytes& b, const Bytes& tail) {
    b.insert(b.end(), tail.begin(), tail.end());
}

inline std::string MakeBmp(const BmpFields& s) {
    bool core = s.headerSize == 12;
    Bytes b(14 + s.headerSize, 0);
    b[0] = 'B';
    b[1] = 'M';
    PutU32(b.data(), 14, s.headerSize);
    if (core) {
        PutU16(b.data(), 18, static_cast<uint32_t>(s.width));
        PutU16(b.data(), 20, static_cast<uint32_t>(s.height));
        PutU16(b.data(), 22, 1);
        PutU16(b.data(), 24, s.bits);
    } else {
        PutU32(b.data(), 18, static_cast<uint32_t>(s.width));
        PutU32(b.data(), 22, static_cast<uint32_t>(s.height));
        PutU16(b.data(), 26, 1);
        PutU16(b.data(), 28, s.bits);
        PutU32(b.data(), 30, s.compression);
        PutU32(b.data(), 38, 2835);
        PutU32(b.data(), 42, 2835);
        PutU32(b.data(), 46, s.colours);
    }
    for (uint32_t i = 0; i < s.tableEntries; ++i) {
        Bytes e = {uint8_t(i), uint8_t(i * 2), uint8_t(i * 3), 0};
        b.insert(b.end(), e.begin(), e.begin() + (core ? 3 : 4));
    }
    b.insert(b.end(), s.gap, 0x77);
    PutU32(b.data(), 10, s.bitsOffset >= 0 ? uint32_t(s.bitsOffset) : uint32_t(b.size()));
    Append(b, s.pixels);
    PutU32(b.data(), 2, static_cast<uint32_t>(b.size()));
    return std::string(b.begin(), b.end());
}

inline std::string MakePlaceableMetafile(int16_t left, int16_t top, int16_t right, int16_t bottom,
                                         uint16_t inch, const std::string& bits,
                                         uint16_t checksumFlip = 0) {
    Bytes h(22, 0);
    PutU32(h.data(), 0, 0x9AC6CDD7);
    int16_t box[] = {left, top, right, bottom};
    for (int i = 0; i < 4; ++i) PutU16(h.data(), 6 + 2 * i, static_cast<uint16_t>(box[i]));
    PutU16(h.data(), 14, inch);
    uint16_t sum = 0;
    for (int i = 0; i < 10; ++i) sum ^= GetU16(h.data(), 2 * i);
    PutU16(h.data(), 20, sum ^ checksumFlip);
    return std::string(h.begin(), h.end()) + bits;
}

inline std::string MakeGroupFile(const std::vector<Bytes>& records, uint16_t magic = 0x706C) {
    Bytes b(4 + 4 * records.size());
    PutU16(b.data(), 0, magic);
    PutU16(b.data(), 2, static_cast<uint32_t>(records.size()));
    for (size_t i = 0; i < records.size(); ++i) {
        PutU32(b.data(), 4 + 4 * i, static_cast<uint32_t>(b.size()));
        Append(b, records[i]);
    }
    return std::string(b.begin(), b.end());
}

// A stored picture record as it lies in a group file: type 6 is a bitmap,
// type 8 a metafile (its header has the mapping mode, extents, size U).
struct Stored {
    uint8_t type = 6, packing = 0;
    uint32_t xRes = 96, yRes = 96, planes = 1, bits = 8, width = 4, height = 2;
    uint32_t colours = 0, important = 0;
    uint32_t mapMode = 8, xExt = 2540, yExt = 1270, unpacked = 0;
    Bytes table, data, hotspots;
    uint32_t gapBeforeData = 0;  // bytes between the table and the data
    bool hotspotsFirst = false;
};

inline Bytes BuildStored(const Stored& s) {
    Bytes h(64);
    size_t n = 0;
    h[n++] = s.type;
    h[n++] = s.packing;
    if (s.type == 8) {
        n += PutCompact16(&h[n], s.mapMode);
        PutU16(h.data(), n, s.xExt);
        PutU16(h.data(), n + 2, s.yExt);
        n += 4;
        n += PutCompact32(&h[n], s.unpacked);
    } else {
        n += PutCompact32(&h[n], s.xRes);
        n += PutCompact32(&h[n], s.yRes);
        n += PutCompact16(&h[n], s.planes);
        n += PutCompact16(&h[n], s.bits);
        for (uint32_t v : {s.width, s.height, s.colours, s.important})
            n += PutCompact32(&h[n], v);
    }
    n += PutCompact32(&h[n], static_cast<uint32_t>(s.data.size()));
    n += PutCompact32(&h[n], static_cast<uint32_t>(s.hotspots.size()));
    size_t offsetsAt = n;
    h.resize(n + 8);
    Append(h, s.table);
    h.insert(h.end(), s.gapBeforeData, 0xAB);
    uint32_t hotAt = uint32_t(h.size() + (s.hotspotsFirst ? 0 : s.data.size()));
    uint32_t dataAt = uint32_t(h.size() + (s.hotspotsFirst ? s.hotspots.size() : 0));
    Append(h, s.hotspotsFirst ? s.hotspots : s.data);
    Append(h, s.hotspotsFirst ? s.data : s.hotspots);
    PutU32(h.data(), offsetsAt, dataAt);
    PutU32(h.data(), offsetsAt + 4, s.hotspots.empty() ? 0 : hotAt);
    return h;
}

// A hotspot block of entries (type, binding); entry i lies at left 10i,
// top 10i + 1, 5 wide and 6 high.
inline Bytes HotspotBytes(const std::vector<std::pair<uint8_t, std::string>>& spots) {
    Bytes b = {1, static_cast<uint8_t>(spots.size()), 0, 0, 0, 0, 0};
    for (size_t i = 0; i < spots.size(); ++i) {
        b.insert(b.end(), {spots[i].first, 4, 0});
        for (int v : {int(10 * i), int(10 * i + 1), 5, 6}) b.insert(b.end(), {uint8_t(v), 0});
        b.insert(b.end(), 4, 0);
    }
    for (const auto& s : spots) {
        b.push_back(0);
        b.insert(b.end(), s.second.begin(), s.second.end());
        b.push_back(0);
    }
    return b;
}

// A packed DIB as on the clipboard: header, table, pixels.
inline Bytes MakeDib(int32_t width, int32_t height, uint16_t bits, const Bytes& table,
                     const Bytes& pixels, uint32_t headerSize = 40, uint32_t compression = 0,
                     uint32_t colours = 0xFFFFFFFF) {
    Bytes d(headerSize + table.size() + pixels.size() + (headerSize < 40 ? 40 : 0), 0);
    PutU32(d.data(), 0, headerSize);
    PutU32(d.data(), 4, static_cast<uint32_t>(width));
    PutU32(d.data(), 8, static_cast<uint32_t>(height));
    PutU16(d.data(), 12, 1);
    PutU16(d.data(), 14, bits);
    PutU32(d.data(), 16, compression);
    PutU32(d.data(), 24, 3780);
    PutU32(d.data(), 28, 3780);
    PutU32(d.data(), 32, colours == 0xFFFFFFFF ? uint32_t(table.size() / 4) : colours);
    if (headerSize < 40) d.resize(headerSize + table.size() + pixels.size());
    if (!table.empty()) std::memcpy(d.data() + headerSize, table.data(), table.size());
    if (!pixels.empty())
        std::memcpy(d.data() + headerSize + table.size(), pixels.data(), pixels.size());
    return d;
}

// A locked view of a picture for checks; unlocks on destruction.
class PictureView {
  public:
    explicit PictureView(GlobalHandle h)
        : handle_(h), data_(static_cast<const uint8_t*>(PlatGlobalLock(h))) {}
    ~PictureView() {
        if (data_) PlatGlobalUnlock(handle_);
    }
    PictureView(const PictureView&) = delete;
    PictureView& operator=(const PictureView&) = delete;
    const uint8_t* data() const { return data_; }
    size_t size() const { return PlatGlobalSize(handle_); }
    uint32_t U32(size_t at) const { return GetU32(data_, at); }
    std::vector<uint8_t> Bytes(size_t at, size_t n) const {
        return std::vector<uint8_t>(data_ + at, data_ + at + n);
    }

  private:
    GlobalHandle handle_;
    const uint8_t* data_;
};

inline Bytes Clipboard() {
    Bytes out(BrioHostClipboardGetDib(nullptr, 0));
    if (!out.empty()) BrioHostClipboardGetDib(out.data(), out.size());
    return out;
}

struct Hotspot {
    int32_t top, bottom, left, right, kind;
    std::string binding;
    bool operator==(const Hotspot& o) const {
        return top == o.top && bottom == o.bottom && left == o.left && right == o.right &&
               kind == o.kind && binding == o.binding;
    }
};

inline std::vector<Hotspot> Drain(intptr_t handle) {
    std::vector<Hotspot> out;
    Hotspot h{};
    const char* binding = nullptr;
    int32_t length = -1;
    while (FileGetHotspot(reinterpret_cast<HotspotFile*>(handle), &h.top, &h.bottom, &h.left,
                          &h.right, &h.kind, &binding, &length) &&
           out.size() < 100000) {
        h.binding = binding;
        EXPECT_EQ(length, static_cast<int32_t>(h.binding.size()));
        out.push_back(h);
    }
    return out;
}

// Pixels offset and end of the rows in a packed DIB (masks follow a
// 40-byte bit-field header).
inline size_t PixelsAt(const Bytes& dib) {
    uint32_t used = GetU32(dib.data(), 32), bits = GetU16(dib.data(), 14);
    uint32_t colours = used ? used : (bits <= 8 ? 1u << bits : 0);
    bool masks = GetU32(dib.data(), 0) == 40 && GetU32(dib.data(), 16) == 3;
    return GetU32(dib.data(), 0) + (masks ? 12 : 0) + 4 * colours;
}
inline uint64_t RowsEnd(const Bytes& dib) {
    uint64_t stride = ((uint64_t(GetU16(dib.data(), 14)) * GetU32(dib.data(), 4) + 31) / 32) * 4;
    return PixelsAt(dib) + stride * GetU32(dib.data(), 8);
}

}  // namespace brio::test
