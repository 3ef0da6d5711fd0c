// Hotspot handles: the pictures and hotspots behind the hotspot exports.
#include "hotspot/hotspot_file.h"

#include <cstring>
#include <new>

#include "bitmap/bmio.h"
#include "hotspot/transfer.h"

namespace brio {

std::unique_ptr<HotspotFile> OpenHotspotFile(const char* path) {
    OpenedPicture opened;
    if (!path || OpenHotspotBitmap(path, &opened) != kStatusOk) return nullptr;
    // A metafile is no bitmap: the clipboard is left alone for it.
    if (opened.picture.Type() == kPictureDib && !PictureToClipboard(opened.picture)) return nullptr;
    auto file = std::make_unique<HotspotFile>();
    file->hotspots = std::move(opened.hotspots);
    return file;
}

const HotspotRecord* NextHotspot(HotspotFile& file) {
    if (file.next >= file.hotspots.size()) return nullptr;
    return &file.hotspots[file.next++];
}

std::unique_ptr<HotspotFile> PasteHotspotFile(const char* path) {
    auto file = std::make_unique<HotspotFile>();
    if (path) file->path = path;
    Picture picture;
    if (!PictureFromClipboard(&picture)) return nullptr;
    file->pasted = std::move(picture);
    return file;
}

void AddHotspot(HotspotFile& file, int32_t top, int32_t bottom, int32_t left, int32_t right,
                int32_t kind, const char* binding) {
    HotspotRecord r;
    std::memset(&r, 0, sizeof r);
    if (binding) std::strncpy(r.binding, binding, 255);
    r.type = HotspotTypeForKind(kind);
    r.attribute = kAttributeCreated;
    r.left = left;
    r.top = top;
    r.right = right;
    r.bottom = bottom;
    file.hotspots.push_back(r);
}

uint16_t WriteHotspotFile(HotspotFile& file) {
    std::optional<std::string> path = std::move(file.path);
    file.path.reset();
    if (!file.pasted) return kStatusBadArg;
    return SaveHotspotBitmap(path ? path->c_str() : nullptr, &*file.pasted, file.hotspots);
}

}  // namespace brio
