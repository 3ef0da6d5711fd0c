// Builds stored picture records (as they lie in a group file) for tests.
#pragma once

#include <cstdint>
#include <vector>

#include "bitmap/picture.h"

namespace brio::test {

struct StoredBitmap {
    uint8_t type = 6;
    uint8_t packing = 0;
    uint32_t xRes = 96, yRes = 96, planes = 1, bits = 8, width = 4, height = 2;
    uint32_t colours = 0, important = 0;
    std::vector<uint8_t> table;  // colours x 4 bytes
    std::vector<uint8_t> data;   // as stored (packed or not)
    std::vector<uint8_t> hotspots;
    uint32_t gapBeforeData = 0;  // bytes between the table and the data
    bool hotspotsFirst = false;  // place the hotspot block before the data
};

inline std::vector<uint8_t> BuildStored(const StoredBitmap& s) {
    std::vector<uint8_t> h(64);
    size_t n = 0;
    h[n++] = s.type;
    h[n++] = s.packing;
    n += PutCompact32(&h[n], s.xRes);
    n += PutCompact32(&h[n], s.yRes);
    n += PutCompact16(&h[n], s.planes);
    n += PutCompact16(&h[n], s.bits);
    n += PutCompact32(&h[n], s.width);
    n += PutCompact32(&h[n], s.height);
    n += PutCompact32(&h[n], s.colours);
    n += PutCompact32(&h[n], s.important);
    n += PutCompact32(&h[n], static_cast<uint32_t>(s.data.size()));
    n += PutCompact32(&h[n], static_cast<uint32_t>(s.hotspots.size()));
    size_t offsetsAt = n;
    n += 8;
    h.resize(n);
    h.insert(h.end(), s.table.begin(), s.table.end());
    h.insert(h.end(), s.gapBeforeData, 0xAB);
    uint32_t dataAt, hotAt;
    if (s.hotspotsFirst) {
        hotAt = static_cast<uint32_t>(h.size());
        h.insert(h.end(), s.hotspots.begin(), s.hotspots.end());
        dataAt = static_cast<uint32_t>(h.size());
        h.insert(h.end(), s.data.begin(), s.data.end());
    } else {
        dataAt = static_cast<uint32_t>(h.size());
        h.insert(h.end(), s.data.begin(), s.data.end());
        hotAt = static_cast<uint32_t>(h.size());
        h.insert(h.end(), s.hotspots.begin(), s.hotspots.end());
    }
    PutU32(h.data(), offsetsAt, dataAt);
    PutU32(h.data(), offsetsAt + 4, s.hotspots.empty() ? 0 : hotAt);
    return h;
}

struct StoredMetafile {
    uint8_t packing = 0;
    uint32_t mapMode = 8, xExt = 2540, yExt = 1270, unpacked = 0;
    std::vector<uint8_t> data;
    std::vector<uint8_t> hotspots;
};

inline std::vector<uint8_t> BuildStored(const StoredMetafile& s) {
    std::vector<uint8_t> h(32);
    size_t n = 0;
    h[n++] = 8;
    h[n++] = s.packing;
    n += PutCompact16(&h[n], s.mapMode);
    PutU16(h.data(), n, s.xExt);
    PutU16(h.data(), n + 2, s.yExt);
    n += 4;
    n += PutCompact32(&h[n], s.unpacked);
    n += PutCompact32(&h[n], static_cast<uint32_t>(s.data.size()));
    n += PutCompact32(&h[n], static_cast<uint32_t>(s.hotspots.size()));
    size_t offsetsAt = n;
    n += 8;
    h.resize(n);
    uint32_t dataAt = static_cast<uint32_t>(h.size());
    h.insert(h.end(), s.data.begin(), s.data.end());
    uint32_t hotAt = static_cast<uint32_t>(h.size());
    h.insert(h.end(), s.hotspots.begin(), s.hotspots.end());
    PutU32(h.data(), offsetsAt, dataAt);
    PutU32(h.data(), offsetsAt + 4, s.hotspots.empty() ? 0 : hotAt);
    return h;
}

// A locked view of a picture for checks; unlocks on destruction.
class PictureView {
  public:
    explicit PictureView(GlobalHandle h) : handle_(h) {
        data_ = static_cast<const uint8_t*>(PlatGlobalLock(h));
    }
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

}  // namespace brio::test
