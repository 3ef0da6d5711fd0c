// Reading and writing picture files: bitmap group files, Windows bitmap
// files and placeable metafiles.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "bitmap/picture.h"
#include "hotspot/hotspot.h"

namespace brio {

// What opening a picture gives the hotspot exports.
struct OpenedPicture {
    Picture picture;
    std::vector<HotspotRecord> hotspots;
    int32_t width = 0;   // metafile: x extent
    int32_t height = 0;  // metafile: y extent
};

// Opens a picture file: 0, 4 no acceptable picture, 8 out of memory (or a
// hotspot block that cannot be read), 100 the file cannot be opened. On
// success the picture is cut back to its data and `hotspots` holds what its
// hotspot block held.
uint16_t OpenHotspotBitmap(const char* path, OpenedPicture* out);

// The readers. Out of memory throws std::bad_alloc.
PictureRead ReadPictureFile(FILE* file, Picture* out);
PictureRead ReadGroupPicture(FILE* file, uint32_t index, Picture* out);
PictureRead ReadBitmapFile(FILE* file, int32_t start, int32_t end, Picture* out);
PictureRead ReadPlaceableMetafile(FILE* file, Picture* out);

// Writes `picture` with `hotspots` as a one-picture group file; the
// picture's record is as it was afterwards. 0, 4 no path or picture or what
// the format cannot hold, 8 out of memory, 11 a write fell short, else the
// file-system code of the failure. The target is replaced only when the
// whole file was written.
uint16_t SaveHotspotBitmap(const char* path, Picture* picture,
                           const std::vector<HotspotRecord>& hotspots);

}  // namespace brio
