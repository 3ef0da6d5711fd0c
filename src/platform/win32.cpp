// The platform layer over the real Win32 API.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// Apart: the headers below need windows.h first.
#include <fcntl.h>
#include <io.h>
#include <ntsecapi.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "brioutil_host.h"
#include "platform/platform.h"

namespace brio {

GlobalHandle PlatGlobalAlloc(uint32_t flags, size_t size) {
    if (AllocationShouldFail()) return nullptr;
    return ::GlobalAlloc(flags, size);
}

void* PlatGlobalLock(GlobalHandle handle) {
    return handle ? ::GlobalLock(handle) : nullptr;
}

bool PlatGlobalUnlock(GlobalHandle handle) {
    return handle && ::GlobalUnlock(handle) != 0;
}

GlobalHandle PlatGlobalFree(GlobalHandle handle) {
    return ::GlobalFree(handle);
}

size_t PlatGlobalSize(GlobalHandle handle) {
    return handle ? ::GlobalSize(handle) : 0;
}

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
    if (gPrivate)
        gPrivateOpen = false;
    else
        ::CloseClipboard();
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

int32_t PlatRegEnumValue(RegKey key, uint32_t index, char* name, uint32_t* nameSize, uint32_t* type,
                         unsigned char* data, uint32_t* dataSize) {
    DWORD nameLength = nameSize ? *nameSize : 0, t = 0, size = dataSize ? *dataSize : 0;
    LONG rc = ::RegEnumValueA(static_cast<HKEY>(key), index, name, &nameLength, nullptr, &t, data,
                              dataSize ? &size : nullptr);
    if (nameSize) *nameSize = nameLength;
    if (type) *type = t;
    if (dataSize) *dataSize = size;
    return rc;
}

void PlatRegCloseKey(RegKey key) {
    ::RegCloseKey(static_cast<HKEY>(key));
}

// ---------------------------------------------------------------------------
// Debugger

void PlatDebugOutputRaw(const char* text) {
    ::OutputDebugStringA(text);
}

bool DebuggerPresent() {
    return ::IsDebuggerPresent() != 0;
}

void DebugBreakIfPresent() {
    if (DebuggerPresent()) ::DebugBreak();
}

// ---------------------------------------------------------------------------
// Text

unsigned char PlatCharUpper(unsigned char c) {
    // CharUpperA takes a single character in the low word of its argument.
    return static_cast<unsigned char>(reinterpret_cast<uintptr_t>(
        ::CharUpperA(reinterpret_cast<LPSTR>(static_cast<uintptr_t>(c)))));
}

const char* PlatCharNext(const char* p) {
    return ::CharNextA(p);
}
const char* PlatCharPrev(const char* start, const char* p) {
    return ::CharPrevA(start, p);
}

int32_t PlatMulDiv(int32_t number, int32_t numerator, int32_t denominator) {
    return ::MulDiv(number, numerator, denominator);
}

// ---------------------------------------------------------------------------
// Files

namespace {

// The host's 8-bit text (the ANSI code page) as UTF-16.
std::wstring Wide(const char* text) {
    int n = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring wide(n > 1 ? static_cast<size_t>(n - 1) : 0, L'\0');
    if (n > 1) ::MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], n);
    return wide;
}

// A path the wide calls accept at any length: past MAX_PATH it is made
// absolute and given the \\?\ prefix, which turns off the length limit.
std::wstring WidePath(const char* path) {
    std::wstring wide = Wide(path);
    if (wide.size() < MAX_PATH - 20 || wide.compare(0, 4, L"\\\\?\\") == 0) return wide;
    DWORD n = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (n == 0) return wide;
    std::wstring full(n, L'\0');
    n = ::GetFullPathNameW(wide.c_str(), n, &full[0], nullptr);
    full.resize(n);
    for (auto& c : full)
        if (c == L'/') c = L'\\';
    if (full.compare(0, 2, L"\\\\") == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

// errno for the last failed call, so the file layer reports its code.
void SetErrno() {
    switch (::GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
            errno = ENOENT;
            break;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
            errno = EACCES;
            break;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            errno = ENOSPC;
            break;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            errno = EEXIST;
            break;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            errno = ENOMEM;
            break;
        default:
            errno = EINVAL;
    }
}

// A C stream over a file handle; the handle is closed when that fails.
FILE* StreamOn(HANDLE handle, int flags, const char* mode) {
    if (handle == INVALID_HANDLE_VALUE) {
        SetErrno();
        return nullptr;
    }
    int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), flags | _O_BINARY);
    if (fd < 0) {
        ::CloseHandle(handle);
        return nullptr;
    }
    FILE* f = ::_fdopen(fd, mode);
    if (!f) ::_close(fd);
    return f;
}

HANDLE Handle(FILE* stream) {
    return reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
}

}  // namespace

FILE* PlatFileOpen(const char* path, const char* mode) {
    return ::_wfopen(WidePath(path).c_str(), Wide(mode).c_str());
}

bool PlatRenameOver(const std::string& temp, const std::string& target) {
    if (::MoveFileExW(WidePath(temp.c_str()).c_str(), WidePath(target.c_str()).c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    SetErrno();
    return false;
}

bool PlatRemoveFile(const char* path) {
    return ::DeleteFileW(WidePath(path).c_str()) != 0;
}

std::string PlatResolveLinks(const std::string& path) {
    std::wstring wide = WidePath(path.c_str());
    DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return path;
    HANDLE h =
        ::CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return path;
    wchar_t final[32768];
    DWORD n = ::GetFinalPathNameByHandleW(h, final, 32768, FILE_NAME_NORMALIZED);
    ::CloseHandle(h);
    if (n == 0 || n >= 32768) return path;
    // Back to the host's code page; a name it cannot spell stays as given.
    BOOL lossy = FALSE;
    int size =
        ::WideCharToMultiByte(CP_ACP, 0, final, static_cast<int>(n), nullptr, 0, nullptr, &lossy);
    if (size <= 0 || lossy) return path;
    std::string resolved(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, final, static_cast<int>(n), &resolved[0], size, nullptr,
                          nullptr);
    return resolved;
}

PlatTarget PlatTargetKind(const std::string& path) {
    HANDLE h = ::CreateFileW(WidePath(path.c_str()).c_str(), 0,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD e = ::GetLastError();
        return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? PlatTarget::Missing
                                                                      : PlatTarget::Regular;
    }
    PlatTarget kind = PlatTarget::Special;
    BY_HANDLE_FILE_INFORMATION info;
    if (::GetFileType(h) == FILE_TYPE_DISK && ::GetFileInformationByHandle(h, &info) &&
        !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        kind = info.nNumberOfLinks > 1 ? PlatTarget::Linked : PlatTarget::Regular;
    ::CloseHandle(h);
    return kind;
}

FILE* PlatCreateExclusive(const std::string& path, PlatCreate* result) {
    // CREATE_NEW fails on any name that exists, a link among them.
    HANDLE h = ::CreateFileW(WidePath(path.c_str()).c_str(), GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        DWORD e = ::GetLastError();
        SetErrno();
        *result = e == ERROR_FILE_EXISTS || e == ERROR_ALREADY_EXISTS    ? PlatCreate::Exists
                  : e == ERROR_ACCESS_DENIED || e == ERROR_WRITE_PROTECT ? PlatCreate::Refused
                                                                         : PlatCreate::Failed;
        return nullptr;
    }
    FILE* f = StreamOn(h, _O_RDWR, "w+b");
    if (!f) PlatRemoveFile(path.c_str());
    *result = f ? PlatCreate::Created : PlatCreate::Failed;
    return f;
}

FILE* PlatOpenInPlace(const std::string& path, bool readable) {
    HANDLE h = ::CreateFileW(
        WidePath(path.c_str()).c_str(), GENERIC_WRITE | (readable ? GENERIC_READ : 0),
        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return StreamOn(h, readable ? _O_RDWR : _O_WRONLY, readable ? "r+b" : "wb");
}

bool PlatSyncFile(FILE* stream) {
    if (std::fflush(stream) != 0) return false;
    HANDLE h = Handle(stream);
    // Devices and pipes have nothing to flush to a disk.
    return ::GetFileType(h) != FILE_TYPE_DISK || ::FlushFileBuffers(h) != 0;
}

bool PlatTruncateFile(FILE* stream, long size) {
    return std::fflush(stream) == 0 && ::_chsize(::_fileno(stream), size) == 0;
}

void PlatSetTextMode(FILE* stream, bool text) {
    std::fflush(stream);
    ::_setmode(::_fileno(stream), text ? _O_TEXT : _O_BINARY);
}

// The replacement takes the folder's inherited permissions, as a file made
// by a plain create would; the attributes a user sets are carried over.
void PlatAdoptAttributes(FILE* temp, const std::string& target) {
    DWORD attributes = ::GetFileAttributesW(WidePath(target.c_str()).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    FILE_BASIC_INFO info = {};
    info.FileAttributes =
        attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                      FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    if (info.FileAttributes)
        ::SetFileInformationByHandle(Handle(temp), FileBasicInfo, &info, sizeof info);
}

uint64_t PlatRandom64() {
    uint64_t value = 0;
    if (!RtlGenRandom(&value, sizeof value)) {
        static volatile LONG counter = 0;
        LARGE_INTEGER now;
        ::QueryPerformanceCounter(&now);
        value = (static_cast<uint64_t>(now.QuadPart) * 0x9E3779B97F4A7C15ull) ^
                (static_cast<uint64_t>(::GetCurrentProcessId()) << 32) ^
                static_cast<uint64_t>(::InterlockedIncrement(&counter));
    }
    return value;
}

// Windows files have no permission bits of the kind a rename would drop.
void PlatCopyFileMode(const char*, const char*) {}

// No huge-page advice on Windows: large pages need a privilege hosts rarely hold.
void PlatAdviseLarge(void*, size_t) {}
void PlatFaultIn(void*, size_t) {}

}  // namespace brio
