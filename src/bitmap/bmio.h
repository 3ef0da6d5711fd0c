// Reading and writing picture files: bitmap group files, Windows bitmap
// files and placeable metafiles.
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace brio {

// What opening a picture gives the hotspot exports.
struct OpenedPicture {
    GlobalHandle picture;
    GlobalHandle list;  // HandleList of HotspotRecords
    int32_t width;      // metafile: x extent
    int32_t height;     // metafile: y extent
};

// Opens a picture file: 0, 4 no acceptable picture, 8 out of memory (or a
// hotspot block that cannot become a list), 100 the file cannot be opened.
// On success the picture is cut back to its data and the list holds its
// hotspots; on failure nothing is kept.
uint16_t OpenHotspotBitmap(const char* path, OpenedPicture* out);

// The readers: a picture handle, 0 out of memory, BadPicture() for no
// readable picture, GroupFileMarker() (ReadPictureFile only) for a group
// file, from which ReadGroupPicture then reads.
GlobalHandle ReadPictureFile(Fid fid);
GlobalHandle ReadGroupPicture(Fid fid, uint32_t index);
GlobalHandle ReadBitmapFile(Fid fid, int32_t start, int32_t end);
GlobalHandle ReadPlaceableMetafile(Fid fid);

// Writes `picture` with the hotspots of `list` as a one-picture group file;
// *picture may change while the hotspot block is attached. 0, 4 no path or
// picture or what the format cannot hold, 8 out of memory, 11 a write fell
// short, else the file layer's code. The target is replaced only when the
// whole file was written.
uint16_t SaveHotspotBitmap(const char* path, GlobalHandle* picture, GlobalHandle list);

// Writes `count` locked PictureRecords as a group file at `path`.
uint16_t WriteBitmapGroup(int count, unsigned char* const* pictures, const char* path);

}  // namespace brio
