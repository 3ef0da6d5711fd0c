// Pictures built in memory, and readers of the clipboard and of hotspots.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "adt/bytes.h"
#include "bitmap/picture.h"
#include "bitmap/rle.h"
#include "brioutil.h"
#include "brioutil_host.h"
#include "hotspot/hotspot.h"

namespace brio::test {

using Bytes = std::vector<uint8_t>;
using Fields = std::initializer_list<std::pair<size_t, uint32_t>>;

// Little-endian {offset, value} fields into a string or byte vector.
template <class B>
void Put16(B& b, Fields fields) {
    for (auto [at, v] : fields) PutU16(&b[0], at, v);
}
template <class B>
void Put32(B& b, Fields fields) {
    for (auto [at, v] : fields) PutU32(&b[0], at, v);
}
inline void Append(Bytes& b, const Bytes& tail) {
    b.insert(b.end(), tail.begin(), tail.end());
}
// Bytes from pairs of hex digits; blanks between pairs are ignored.
inline Bytes Hex(const std::string& hex) {
    Bytes b;
    for (size_t i = 0; i + 1 < hex.size(); ++i)
        if (hex[i] != ' ') b.push_back(uint8_t(std::stoi(hex.substr(i++, 2), nullptr, 16)));
    return b;
}
inline std::string Str(const Bytes& b) {
    return std::string(b.begin(), b.end());
}
inline Bytes Plain(const PictureBytes& b) {
    return Bytes(b.begin(), b.end());
}
inline uint32_t U32(const Bytes& b, size_t at) {
    return at + 4 <= b.size() ? GetU32(b.data(), at) : 0xDEADBEEF;
}
// n bytes from `at`, cut at the end of b.
inline Bytes Sub(const Bytes& b, size_t at, size_t n = SIZE_MAX) {
    at = std::min(at, b.size());
    return Bytes(b.begin() + long(at), b.begin() + long(at + std::min(n, b.size() - at)));
}

// Into a buffer of the bound exactly: a write past it shows under ASan.
inline Bytes Pack(const Bytes& in) {
    Bytes out(PackRleBound(in.size()));
    out.resize(PackRle(in.data(), out.data(), in.size()));
    return out;
}

// The record (empty when refused) and a metafile's bits, from an exact-size copy (ASan).
inline Bytes Expand(const Bytes& stored, Bytes* bits = nullptr) {
    Bytes copy(stored);
    brio::Picture picture;
    if (brio::ExpandPicture(copy.data(), copy.size(), &picture) != brio::PictureRead::Ok) return {};
    if (bits) *bits = Plain(picture.bits);
    return Plain(picture.record);
}

// A bitmap file around a packed DIB; the pixels at `bitsAt` (0: behind the table).
inline std::string MakeBmp(const Bytes& dib, uint32_t tableSize = 0, uint32_t bitsAt = 0) {
    std::string file = "BM" + std::string(12, '\0') + Str(dib);
    uint32_t header = GetU32(dib.data(), 0);
    Put32(file, {{2, uint32_t(file.size())}, {10, bitsAt ? bitsAt : 14 + header + tableSize}});
    return file;
}

inline std::string MakeMetafile(int16_t left, int16_t top, int16_t right, int16_t bottom,
                                uint16_t inch, const std::string& bits, uint16_t flipSum = 0) {
    std::string h(22, '\0');
    Put32(h, {{0, 0x9AC6CDD7}});
    Put16(h, {{6, uint16_t(left)}, {8, uint16_t(top)}, {10, uint16_t(right)}});
    Put16(h, {{12, uint16_t(bottom)}, {14, inch}});
    uint32_t sum = flipSum;
    for (int i = 0; i < 10; ++i) sum ^= GetU16(h.data(), 2 * i);
    Put16(h, {{20, sum}});
    return h + bits;
}

inline std::string MakeGroupFile(const std::vector<Bytes>& records, uint32_t magic = 0x706C) {
    Bytes b(4 + 4 * records.size());
    Put16(b, {{0, magic}, {2, uint32_t(records.size())}});
    for (size_t i = 0; i < records.size(); ++i) {
        Put32(b, {{4 + 4 * i, uint32_t(b.size())}});
        Append(b, records[i]);
    }
    return Str(b);
}

// A record as in a group file: type 6 a bitmap, 8 a metafile (map mode, extents, size).
struct Stored {
    uint8_t type = 6, packing = 0;
    uint32_t xRes = 96, yRes = 96, planes = 1, bits = 8, width = 4, height = 2;
    uint32_t colours = 0, important = 0;
    uint32_t mapMode = 8, xExt = 2540, yExt = 1270, unpacked = 0;
    Bytes table, data, hotspots;
    bool hotspotsFirst = false;  // the block before the data, 5 bytes behind the table
};

inline Stored StoredMetafile(const Bytes& data, uint32_t unpacked, const Bytes& hotspots = {}) {
    Stored s;
    s.type = 8;
    s.unpacked = unpacked;
    s.data = data;
    s.hotspots = hotspots;
    return s;
}

inline Bytes BuildStored(const Stored& s) {
    Bytes h(64);
    size_t n = 2;
    h[0] = s.type;
    h[1] = s.packing;
    if (s.type == 8) {
        n += PutCompact16(&h[n], s.mapMode);
        Put16(h, {{n, s.xExt}, {n + 2, s.yExt}});
        n += 4 + PutCompact32(&h[n + 4], s.unpacked);
    } else {
        for (uint32_t v : {s.xRes, s.yRes}) n += PutCompact32(&h[n], v);
        for (uint32_t v : {s.planes, s.bits}) n += PutCompact16(&h[n], v);
        for (uint32_t v : {s.width, s.height, s.colours, s.important}) n += PutCompact32(&h[n], v);
    }
    n += PutCompact32(&h[n], uint32_t(s.data.size()));
    n += PutCompact32(&h[n], uint32_t(s.hotspots.size()));
    h.resize(n + 8);
    Append(h, s.table);
    if (s.hotspotsFirst) h.insert(h.end(), 5, 0xAB);
    size_t at = h.size();
    Append(h, s.hotspotsFirst ? s.hotspots : s.data);
    Append(h, s.hotspotsFirst ? s.data : s.hotspots);
    size_t dataAt = at + (s.hotspotsFirst ? s.hotspots.size() : 0);
    size_t hotAt = s.hotspots.empty() ? 0 : at + (s.hotspotsFirst ? 0 : s.data.size());
    Put32(h, {{n, uint32_t(dataAt)}, {n + 4, uint32_t(hotAt)}});
    return h;
}

// A packed DIB as on the clipboard; colours -1 puts the table's entry count in the header.
inline Bytes MakeDib(int32_t width, int32_t height, uint16_t bits, const Bytes& table,
                     const Bytes& pixels, uint32_t headerSize = 40, uint32_t compression = 0,
                     uint32_t colours = ~0u) {
    Bytes d(std::max(headerSize, 40u) + table.size() + pixels.size(), 0);
    Put32(d, {{0, headerSize}, {4, uint32_t(width)}, {8, uint32_t(height)}, {16, compression}});
    Put32(d, {{24, 3780}, {28, 3780}, {32, ~colours ? colours : uint32_t(table.size() / 4)}});
    Put16(d, {{12, 1}, {14, bits}});
    std::copy(table.begin(), table.end(), d.begin() + headerSize);
    std::copy(pixels.begin(), pixels.end(), d.begin() + long(headerSize + table.size()));
    d.resize(headerSize + table.size() + pixels.size());
    return d;
}

inline Bytes Clipboard() {
    Bytes out(BrioHostClipboardGetDib(nullptr, 0));
    if (!out.empty()) BrioHostClipboardGetDib(out.data(), out.size());
    return out;
}

struct Hotspot {
    int32_t top, bottom, left, right, kind;
    std::string binding;
    auto Tie() const { return std::tie(top, bottom, left, right, kind, binding); }
    bool operator==(const Hotspot& o) const { return Tie() == o.Tie(); }
};

// The hotspots of a FileGetBitmap handle; the last call releases it.
inline std::vector<Hotspot> Drain(intptr_t handle) {
    std::vector<Hotspot> out;
    Hotspot h{};
    const char* binding = nullptr;
    int32_t length = -1;
    while (out.size() < 100000 &&
           FileGetHotspot(reinterpret_cast<HotspotFile*>(handle), &h.top, &h.bottom, &h.left,
                          &h.right, &h.kind, &binding, &length)) {
        h.binding = binding;
        EXPECT_EQ(length, int32_t(h.binding.size()));
        out.push_back(h);
    }
    return out;
}

inline HotspotRecord Record(uint8_t type, int32_t left, int32_t top, int32_t right, int32_t bottom,
                            const char* binding, const char* name = "", uint8_t attribute = 4) {
    HotspotRecord r{{}, {}, type, attribute, left, top, right, bottom};
    std::strncpy(r.name, name, 255);
    std::strncpy(r.binding, binding, 255);
    return r;
}

}  // namespace brio::test

namespace brio {
// Whole name and binding arrays (nothing left behind their ends), then the fields.
inline bool operator==(const HotspotRecord& a, const HotspotRecord& b) {
    return std::memcmp(&a, &b, offsetof(HotspotRecord, attribute) + 1) == 0 &&
           std::tie(a.left, a.top, a.right, a.bottom) == std::tie(b.left, b.top, b.right, b.bottom);
}
}  // namespace brio
