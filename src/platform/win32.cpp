// The platform layer over the real Win32 API.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstring>

#include "brioutil_host.h"
#include "platform/platform.h"

namespace brio {

GlobalHandle PlatGlobalAlloc(uint32_t flags, size_t size) {
    if (AllocationShouldFail()) return nullptr;
    return ::GlobalAlloc(flags, size);
}

void* PlatGlobalLock(GlobalHandle handle) { return handle ? ::GlobalLock(handle) : nullptr; }

bool PlatGlobalUnlock(GlobalHandle handle) { return handle && ::GlobalUnlock(handle) != 0; }

GlobalHandle PlatGlobalReAlloc(GlobalHandle handle, size_t size, uint32_t flags) {
    if (!handle || AllocationShouldFail()) return nullptr;
    return ::GlobalReAlloc(handle, size, flags | GMEM_MOVEABLE);
}

GlobalHandle PlatGlobalFree(GlobalHandle handle) { return ::GlobalFree(handle); }

size_t PlatGlobalSize(GlobalHandle handle) { return handle ? ::GlobalSize(handle) : 0; }

unsigned PlatGlobalLockCount(GlobalHandle handle) {
    UINT flags = handle ? ::GlobalFlags(handle) : GMEM_INVALID_HANDLE;
    return flags == GMEM_INVALID_HANDLE ? 0 : (flags & GMEM_LOCKCOUNT);
}

// ---------------------------------------------------------------------------
// Clipboard

namespace {
// The process's own clipboard, while ClipboardUsePrivate is on.
bool gPrivate = false;
bool gPrivateOpen = false;
HGLOBAL gPrivateDib = nullptr;
}  // namespace

void ClipboardUsePrivate(bool on) {
    if (!on && gPrivateDib) {
        ::GlobalFree(gPrivateDib);
        gPrivateDib = nullptr;
    }
    gPrivate = on;
    gPrivateOpen = false;
}

bool ClipboardOpen() {
    if (gPrivate) {
        if (gPrivateOpen) return false;
        gPrivateOpen = true;
        return true;
    }
    // Another process may hold the clipboard for a moment.
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (::OpenClipboard(nullptr)) return true;
        ::Sleep(10);
    }
    return false;
}
bool ClipboardEmpty() {
    if (!gPrivate) return ::EmptyClipboard() != 0;
    if (!gPrivateOpen) return false;
    if (gPrivateDib) ::GlobalFree(gPrivateDib);
    gPrivateDib = nullptr;
    return true;
}
bool ClipboardSetDib(GlobalHandle block) {
    if (!gPrivate) return ::SetClipboardData(CF_DIB, block) != nullptr;
    if (!gPrivateOpen || !block) return false;
    if (gPrivateDib && gPrivateDib != block) ::GlobalFree(gPrivateDib);
    gPrivateDib = static_cast<HGLOBAL>(block);
    return true;
}
GlobalHandle ClipboardGetDib() {
    if (!gPrivate) return ::GetClipboardData(CF_DIB);
    return gPrivateOpen ? gPrivateDib : nullptr;
}
void ClipboardClose() {
    if (gPrivate) gPrivateOpen = false;
    else ::CloseClipboard();
}

// ---------------------------------------------------------------------------
// Registry

int32_t PlatRegOpenMachineKey(const char* path, RegKey* key) {
    HKEY result = nullptr;
    LONG rc = ::RegOpenKeyA(HKEY_LOCAL_MACHINE, path, &result);
    if (rc == ERROR_SUCCESS) *key = result;
    return rc;
}

int32_t PlatRegQueryValue(RegKey key, const char* name, uint32_t* type, unsigned char* data,
                          uint32_t* dataSize) {
    DWORD t = 0, size = dataSize ? *dataSize : 0;
    LONG rc = ::RegQueryValueExA(static_cast<HKEY>(key), name, nullptr, &t, data,
                                 dataSize ? &size : nullptr);
    if (type) *type = t;
    if (dataSize) *dataSize = size;
    return rc;
}

int32_t PlatRegEnumValue(RegKey key, uint32_t index, char* name, uint32_t* nameSize,
                         uint32_t* type, unsigned char* data, uint32_t* dataSize) {
    DWORD nameLength = nameSize ? *nameSize : 0, t = 0, size = dataSize ? *dataSize : 0;
    LONG rc = ::RegEnumValueA(static_cast<HKEY>(key), index, name, &nameLength, nullptr, &t, data,
                              dataSize ? &size : nullptr);
    if (nameSize) *nameSize = nameLength;
    if (type) *type = t;
    if (dataSize) *dataSize = size;
    return rc;
}

void PlatRegCloseKey(RegKey key) { ::RegCloseKey(static_cast<HKEY>(key)); }

// ---------------------------------------------------------------------------
// Debugger

void PlatDebugOutputRaw(const char* text) { ::OutputDebugStringA(text); }

bool DebuggerPresent() { return ::IsDebuggerPresent() != 0; }

void DebugBreakIfPresent() {
    if (DebuggerPresent()) ::DebugBreak();
}

// ---------------------------------------------------------------------------
// Text

unsigned char PlatCharUpper(unsigned char c) {
    // CharUpperA takes a single character in the low word of its argument.
    return static_cast<unsigned char>(
        reinterpret_cast<uintptr_t>(::CharUpperA(reinterpret_cast<LPSTR>(static_cast<uintptr_t>(c)))));
}

const char* PlatCharNext(const char* p) { return ::CharNextA(p); }
const char* PlatCharPrev(const char* start, const char* p) { return ::CharPrevA(start, p); }

int32_t PlatMulDiv(int32_t number, int32_t numerator, int32_t denominator) {
    return ::MulDiv(number, numerator, denominator);
}

// ---------------------------------------------------------------------------
// Files

FILE* PlatFileOpen(const char* path, const char* mode) { return std::fopen(path, mode); }

bool PlatReplaceFile(const char* source, const char* target) {
    return ::MoveFileExA(source, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool PlatRemoveFile(const char* path) { return ::DeleteFileA(path) != 0; }

// Windows files have no permission bits of the kind a rename would drop.
void PlatCopyFileMode(const char*, const char*) {}

// No huge-page advice on Windows: large pages need a privilege hosts rarely hold.
void PlatAdviseLarge(void*, size_t) {}

}  // namespace brio

// ---------------------------------------------------------------------------
// Host API over the real clipboard.

using namespace brio;

extern "C" int32_t BrioHostClipboardSetDib(const void* block, size_t size) {
    if (!block || size == 0) return 1;
    HGLOBAL handle = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_DDESHARE, size);
    if (!handle) return 1;
    std::memcpy(::GlobalLock(handle), block, size);
    ::GlobalUnlock(handle);
    if (!ClipboardOpen()) {
        ::GlobalFree(handle);
        return 1;
    }
    ClipboardEmpty();
    bool ok = ClipboardSetDib(handle);
    ClipboardClose();
    if (!ok) {
        ::GlobalFree(handle);
        return 1;
    }
    return 0;
}

extern "C" size_t BrioHostClipboardGetDib(void* buffer, size_t capacity) {
    if (!ClipboardOpen()) return 0;
    HGLOBAL handle = static_cast<HGLOBAL>(ClipboardGetDib());
    size_t size = handle ? ::GlobalSize(handle) : 0;
    if (handle && buffer && capacity) {
        const void* data = ::GlobalLock(handle);
        if (data) std::memcpy(buffer, data, size < capacity ? size : capacity);
        ::GlobalUnlock(handle);
    }
    ClipboardClose();
    return size;
}

extern "C" void BrioHostClipboardClear(void) {
    if (!ClipboardOpen()) return;
    ClipboardEmpty();
    ClipboardClose();
}
