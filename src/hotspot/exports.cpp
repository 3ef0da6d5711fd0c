// The hotspot picture exports: C arguments in, the hotspot module's results
// out as the documented codes.
#include <cstring>

#include "brioutil.h"
#include "frame/guard.h"
#include "hotspot/hotspot_file.h"
#include "hotspot/transfer.h"
#include "platform/platform.h"

using namespace brio;

namespace {

// The binding FileGetHotspot hands out; the next call overwrites it.
thread_local char gBinding[256];

int32_t HotspotGetDIBBitmapBody(const char* path) {
    UniqueFile file(path ? PlatFileOpen(path, "rb") : nullptr);
    if (!file) return BRIO_ERR_BITMAP_OPEN;
    return BitmapFileToClipboard(file.get()) ? BRIO_OK : BRIO_ERR_READ;
}

intptr_t FileGetBitmapBody(const char* path, int32_t release) {
    std::unique_ptr<HotspotFile> file = OpenHotspotFile(path);
    if (!file) return release ? 1 : 0;
    return release ? 0 : reinterpret_cast<intptr_t>(file.release());
}

int32_t FileGetHotspotBody(HotspotFile* f, int32_t* top, int32_t* bottom, int32_t* left,
                           int32_t* right, int32_t* kind, const char** binding, int32_t* length) {
    if (!f) return 0;
    const HotspotRecord* r = NextHotspot(*f);
    if (!r) {
        delete f;  // the walk's end releases the handle
        return 0;
    }
    if (top) *top = r->top;
    if (bottom) *bottom = r->bottom;
    if (left) *left = r->left;
    if (right) *right = r->right;
    std::memcpy(gBinding, r->binding, sizeof gBinding - 1);
    gBinding[sizeof gBinding - 1] = 0;
    if (binding) *binding = gBinding;
    if (length) *length = static_cast<int32_t>(std::strlen(gBinding));
    if (kind) *kind = HotspotKind(r->type);
    return 1;
}

}  // namespace

extern "C" {

int32_t BRIOAPI HotspotGetDIBBitmap(const char* path) {
    return GuardExport([&] { return HotspotGetDIBBitmapBody(path); },
                       [] { return int32_t{BRIO_ERR_READ}; });
}

intptr_t BRIOAPI FileGetBitmap(const char* path, int32_t release) {
    return GuardExport([&] { return FileGetBitmapBody(path, release); },
                       [&] { return intptr_t{release ? 1 : 0}; });
}

int32_t BRIOAPI FileGetHotspot(HotspotFile* f, int32_t* top, int32_t* bottom, int32_t* left,
                               int32_t* right, int32_t* kind, const char** binding,
                               int32_t* length) {
    return GuardExport(
        [&] { return FileGetHotspotBody(f, top, bottom, left, right, kind, binding, length); },
        [] { return int32_t{0}; });
}

HotspotFile* BRIOAPI FileSetBitmap(const char* path) {
    return GuardExport([&] { return PasteHotspotFile(path).release(); },
                       [] { return static_cast<HotspotFile*>(nullptr); });
}

// The host cannot be told of a failed append: the hotspot is then missing.
int32_t BRIOAPI FileSetHotspot(HotspotFile* f, int32_t top, int32_t bottom, int32_t left,
                               int32_t right, int32_t kind, const char* binding) {
    return GuardExport(
        [&] {
            if (f) AddHotspot(*f, top, bottom, left, right, kind, binding);
            return int32_t{0};
        },
        [] { return int32_t{0}; });
}

int32_t BRIOAPI FileWriteHotspots(HotspotFile* f) {
    return GuardExport([&] { return int32_t{f ? WriteHotspotFile(*f) : kStatusBadArg}; },
                       [] { return int32_t{kStatusNoMemory}; });
}

int32_t BRIOAPI FileCleanup(HotspotFile* f) {
    return GuardExport(
        [&] {
            delete f;
            return int32_t{0};
        },
        [] { return int32_t{0}; });
}

}  // extern "C"
