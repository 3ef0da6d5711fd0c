// Picture files through the exports: FileGetBitmap and its hotspots (and
// with release set), then HotspotGetDIBBitmap on the same bytes.
#include <cstring>
#include <string>

#include "brioutil.h"
#include "brioutil_host.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = fuzz::TempPath("picture.bin");
    if (!fuzz::WriteBytes(path, data, size)) return 0;
    BrioHostClipboardClear();
    intptr_t handle = FileGetBitmap(path.c_str(), 0);
    if (handle) {
        auto* f = reinterpret_cast<HotspotFile*>(handle);
        for (int i = 0; i < 70000; ++i) {
            int32_t top, bottom, left, right, kind, length = -1;
            const char* binding = nullptr;
            if (!FileGetHotspot(f, &top, &bottom, &left, &right, &kind, &binding, &length)) break;
            if (!binding || std::strlen(binding) != static_cast<size_t>(length))
                fuzz::Mismatch("FileGetHotspot length");
            if (kind < 0 || kind > 2) fuzz::Mismatch("FileGetHotspot kind");
        }
    }
    intptr_t released = FileGetBitmap(path.c_str(), 1);
    if (released != 0 && released != 1) fuzz::Mismatch("FileGetBitmap release result");
    int32_t status = HotspotGetDIBBitmap(path.c_str());
    if (status != 0 && status != 2001 && status != 2009) fuzz::Mismatch("HotspotGetDIBBitmap");
    if (status == 0) {
        // The block on the clipboard must be readable whole.
        size_t n = BrioHostClipboardGetDib(nullptr, 0);
        std::string dib(n, '\0');
        if (n && BrioHostClipboardGetDib(&dib[0], n) != n) fuzz::Mismatch("clipboard size");
    }
    BrioHostClipboardClear();
    return 0;
}
