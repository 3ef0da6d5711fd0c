// Pictures to and from the clipboard, where they travel as CF_DIB blocks:
// an information header, a colour table and bottom-up rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "bitmap/picture.h"

namespace brio {

// Puts the bitmap file's picture on the clipboard as it stands (any header
// the format knows, any compression); a core header is widened to 40 bytes.
// False when the file is no readable bitmap or the clipboard refused it.
bool BitmapFileToClipboard(FILE* file);

// Puts an opened bitmap on the clipboard; false when the clipboard or
// memory refused it.
bool PictureToClipboard(const Picture& picture);

// A picture made of a clipboard block: only what converts to a 40-byte,
// uncompressed, bottom-up picture is taken. False when the block is none of
// those (or the clipboard holds none or is busy).
bool PictureFromDib(const uint8_t* dib, size_t size, Picture* out);
bool PictureFromClipboard(Picture* out);

}  // namespace brio
