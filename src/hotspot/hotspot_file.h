// The object behind a hotspot handle, and what the hotspot exports do with
// it: open a picture file and walk its hotspots, or take a bitmap from the
// clipboard, give it hotspots and write it as a group file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bitmap/picture.h"
#include "hotspot/hotspot.h"

struct HotspotFile {
    std::vector<brio::HotspotRecord> hotspots;
    size_t next = 0;                      // the hotspot NextHotspot hands out next
    std::optional<brio::Picture> pasted;  // taken from the clipboard
    std::optional<std::string> path;      // where WriteHotspotFile writes, once
};

namespace brio {

// Opens a picture file with its hotspots and puts a bitmap on the clipboard
// (a metafile leaves the clipboard alone). Null when the file gives no
// acceptable picture or the clipboard refused the bitmap.
std::unique_ptr<HotspotFile> OpenHotspotFile(const char* path);

// The next hotspot of the file; null after the last.
const HotspotRecord* NextHotspot(HotspotFile& file);

// A handle on the clipboard's bitmap, to be written at `path` (none: the
// write is refused). Null when the clipboard holds no bitmap to be taken.
std::unique_ptr<HotspotFile> PasteHotspotFile(const char* path);

// Adds a hotspot of kind 0 (jump), 1 (popup) or any other (macro); the
// binding is cut to 255 bytes.
void AddHotspot(HotspotFile& file, int32_t top, int32_t bottom, int32_t left, int32_t right,
                int32_t kind, const char* binding);

// Writes the pasted picture with its hotspots to the path, which is used up:
// 0, 4 nothing pasted or no path (left), else SaveHotspotBitmap's status.
uint16_t WriteHotspotFile(HotspotFile& file);

}  // namespace brio
