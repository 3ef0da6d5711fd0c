// Stand-ins for the Windows services on other systems: movable global-memory
// blocks, one process-wide clipboard, debugger output on standard error,
// Windows-1252 case mapping and PlatMulDiv. The registry is portable_registry.cpp.
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <random>
#include <string>

#ifdef __linux__
#include <sys/mman.h>
#endif

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/random.h>
#endif

#include "brioutil_host.h"
#include "platform/platform.h"

namespace brio {

// ---------------------------------------------------------------------------
// Global memory

namespace {

constexpr uint32_t kBlockMagic = 0x424C4B31;  // "BLK1": tells a live handle

struct Block {
    uint32_t magic;
    unsigned lockCount;
    size_t size;
    unsigned char* data;
};

Block* AsBlock(GlobalHandle handle) {
    auto* block = static_cast<Block*>(handle);
    return block && block->magic == kBlockMagic ? block : nullptr;
}

#if defined(__linux__)
// Gives `advice` for the whole units of `unit` bytes inside the block.
void AdviseInside(void* data, size_t size, uintptr_t unit, int advice) {
    uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + unit - 1) & ~(unit - 1);
    uintptr_t end = (reinterpret_cast<uintptr_t>(data) + size) & ~(unit - 1);
    if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, advice);
}
#endif

}  // namespace

// Large blocks (whole pictures, long texts) are faulted in a page at a time
// otherwise, which costs more than filling them; huge pages cut that by
// orders.
void PlatAdviseLarge(void* data, size_t size) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr uintptr_t kHuge = uintptr_t(2) << 20;
    if (size >= 2 * kHuge) AdviseInside(data, size, kHuge, MADV_HUGEPAGE);
#else
    (void)data;
    (void)size;
#endif
}

// A fault a page costs more than filling it on some machines (a virtual
// machine traps each one); one call faults in the whole part. An older
// kernel refuses the advice: the pages then fault as they are written.
void PlatFaultIn(void* data, size_t size) {
#if defined(__linux__) && defined(MADV_POPULATE_WRITE)
    AdviseInside(data, size, 4096, MADV_POPULATE_WRITE);
#else
    (void)data;
    (void)size;
#endif
}

GlobalHandle PlatGlobalAlloc(uint32_t flags, size_t size) {
    if (AllocationShouldFail()) return nullptr;
    auto* block = static_cast<Block*>(std::malloc(sizeof(Block)));
    if (!block) return nullptr;
    block->data = static_cast<unsigned char*>(
        (flags & kGmemZeroInit) ? std::calloc(size ? size : 1, 1) : std::malloc(size ? size : 1));
    if (!block->data) {
        std::free(block);
        return nullptr;
    }
    // Clipboard blocks of whole pictures: huge pages before the first touch
    // (picture_bench, a 4000 x 4000 group file: 88 ms without, ~45 ms with).
    PlatAdviseLarge(block->data, size);
    block->magic = kBlockMagic;
    block->lockCount = 0;
    block->size = size;
    return block;
}

void* PlatGlobalLock(GlobalHandle handle) {
    Block* block = AsBlock(handle);
    if (!block) return nullptr;
    if (block->lockCount < 255) ++block->lockCount;
    return block->data;
}

bool PlatGlobalUnlock(GlobalHandle handle) {
    Block* block = AsBlock(handle);
    if (!block || block->lockCount == 0) return false;
    return --block->lockCount > 0;
}

GlobalHandle PlatGlobalFree(GlobalHandle handle) {
    Block* block = AsBlock(handle);
    if (!block) return handle;
    block->magic = 0;
    std::free(block->data);
    std::free(block);
    return nullptr;
}

size_t PlatGlobalSize(GlobalHandle handle) {
    Block* block = AsBlock(handle);
    return block ? block->size : 0;
}

unsigned PlatGlobalLockCount(GlobalHandle handle) {
    Block* block = AsBlock(handle);
    return block ? block->lockCount : 0;
}

// ---------------------------------------------------------------------------
// Clipboard

namespace {
std::mutex gClipboardMutex;
GlobalHandle gClipboardDib = nullptr;
bool gClipboardOpen = false;
}  // namespace

void ClipboardUsePrivate(bool) {}

bool ClipboardOpen() {
    std::lock_guard<std::mutex> lock(gClipboardMutex);
    if (gClipboardOpen) return false;
    gClipboardOpen = true;
    return true;
}

bool ClipboardEmpty() {
    std::lock_guard<std::mutex> lock(gClipboardMutex);
    if (!gClipboardOpen) return false;
    if (gClipboardDib) PlatGlobalFree(gClipboardDib);
    gClipboardDib = nullptr;
    return true;
}

bool ClipboardSetDib(GlobalHandle block) {
    std::lock_guard<std::mutex> lock(gClipboardMutex);
    if (!gClipboardOpen || !AsBlock(block)) return false;
    if (gClipboardDib && gClipboardDib != block) PlatGlobalFree(gClipboardDib);
    gClipboardDib = block;
    return true;
}

GlobalHandle ClipboardGetDib() {
    std::lock_guard<std::mutex> lock(gClipboardMutex);
    return gClipboardOpen ? gClipboardDib : nullptr;
}

void ClipboardClose() {
    std::lock_guard<std::mutex> lock(gClipboardMutex);
    gClipboardOpen = false;
}

// ---------------------------------------------------------------------------
// Debugger

void PlatDebugOutputRaw(const char* text) {
    std::fputs(text, stderr);
}

bool DebuggerPresent() {
#ifdef __linux__
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 10, "TracerPid:") == 0) return std::atoi(line.c_str() + 10) != 0;
    }
#endif
    return false;
}

void DebugBreakIfPresent() {
    if (!DebuggerPresent()) return;
#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
    __asm__ volatile("int3");
#else
    std::raise(SIGTRAP);
#endif
}

// ---------------------------------------------------------------------------
// Text: the Windows-1252 upper-case mapping.

unsigned char PlatCharUpper(unsigned char c) {
    if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 0x20);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 0x20);
    switch (c) {
        case 0x9A:
            return 0x8A;  // s caron
        case 0x9C:
            return 0x8C;  // oe
        case 0x9E:
            return 0x8E;  // z caron
        case 0xFF:
            return 0x9F;  // y diaeresis
        default:
            return c;
    }
}

// Windows-1252 has no lead bytes: a character is one byte.
const char* PlatCharNext(const char* p) {
    return *p ? p + 1 : p;
}
const char* PlatCharPrev(const char* start, const char* p) {
    return p > start ? p - 1 : start;
}

int32_t PlatMulDiv(int32_t number, int32_t numerator, int32_t denominator) {
    if (denominator == 0) return -1;
    int64_t product = static_cast<int64_t>(number) * numerator;
    bool negative = (product < 0) != (denominator < 0);
    uint64_t a = product < 0 ? static_cast<uint64_t>(-product) : static_cast<uint64_t>(product);
    uint64_t b = denominator < 0 ? static_cast<uint64_t>(-static_cast<int64_t>(denominator))
                                 : static_cast<uint64_t>(denominator);
    uint64_t q = (a + b / 2) / b;  // half away from zero
    // Windows answers -1 for INT32_MIN as well: the range is symmetric.
    if (q > static_cast<uint64_t>(INT32_MAX)) return -1;
    return negative ? static_cast<int32_t>(-static_cast<int64_t>(q)) : static_cast<int32_t>(q);
}

// ---------------------------------------------------------------------------
// Files

FILE* PlatFileOpen(const char* path, const char* mode) {
    return std::fopen(path, mode);
}
bool PlatRemoveFile(const char* path) {
    return std::remove(path) == 0;
}

void PlatCopyFileMode(const char* source, const char* target) {
    struct stat info;
    if (::stat(source, &info) == 0) ::chmod(target, info.st_mode & 07777);
}

namespace {
std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

FILE* StreamOn(int fd, const char* mode) {
    if (fd < 0) return nullptr;
    FILE* f = ::fdopen(fd, mode);
    if (!f) {
        int e = errno;
        ::close(fd);
        errno = e;
    }
    return f;
}

// The permission bits a plain create gives: the process's umask is read
// without changing it where the system tells it.
mode_t CreateMode() {
    mode_t mask = 022;
    if (FILE* status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, status))
            if (std::strncmp(line, "Umask:", 6) == 0) {
                mask = static_cast<mode_t>(std::strtoul(line + 6, nullptr, 8));
                break;
            }
        std::fclose(status);
    }
    return 0666 & ~mask;
}
}  // namespace

std::string PlatResolveLinks(const std::string& path) {
    std::string at = path;
    // Enough hops for any real chain; a loop stays where it is and fails later.
    for (int hop = 0; hop < 40; ++hop) {
        char link[4096];
        ssize_t n = ::readlink(at.c_str(), link, sizeof link - 1);
        if (n < 0) break;
        std::string next(link, static_cast<size_t>(n));
        if (next.empty()) break;
        at = next[0] == '/' ? next : FolderOf(at) + "/" + next;
    }
    return at;
}

PlatTarget PlatTargetKind(const std::string& path) {
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0) return PlatTarget::Missing;
    if (!S_ISREG(info.st_mode)) return PlatTarget::Special;
    return info.st_nlink > 1 ? PlatTarget::Linked : PlatTarget::Regular;
}

FILE* PlatCreateExclusive(const std::string& path, PlatCreate* result) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        int e = errno;
        *result = e == EEXIST || e == ELOOP                 ? PlatCreate::Exists
                  : e == EACCES || e == EPERM || e == EROFS ? PlatCreate::Refused
                                                            : PlatCreate::Failed;
        return nullptr;
    }
    FILE* f = StreamOn(fd, "w+b");
    if (!f) ::unlink(path.c_str());
    *result = f ? PlatCreate::Created : PlatCreate::Failed;
    return f;
}

FILE* PlatOpenInPlace(const std::string& path, bool readable) {
    int fd = ::open(path.c_str(), (readable ? O_RDWR : O_WRONLY) | O_CLOEXEC);
    return StreamOn(fd, readable ? "r+b" : "wb");
}

bool PlatSyncFile(FILE* stream) {
    if (std::fflush(stream) != 0) return false;
    int fd = ::fileno(stream);
    struct stat info;
    // Devices and pipes have nothing to sync.
    if (::fstat(fd, &info) == 0 && !S_ISREG(info.st_mode)) return true;
    return ::fsync(fd) == 0;
}

bool PlatTruncateFile(FILE* stream, long size) {
    return std::fflush(stream) == 0 && ::ftruncate(::fileno(stream), size) == 0;
}

void PlatSetTextMode(FILE*, bool) {}

void PlatAdoptAttributes(FILE* temp, const std::string& target) {
    int fd = ::fileno(temp);
    struct stat info;
    if (::stat(target.c_str(), &info) != 0) {
        ::fchmod(fd, CreateMode());
        return;
    }
    // Owner first: a change of owner clears the set-id bits the mode restores.
    if (::fchown(fd, info.st_uid, info.st_gid) != 0)
        (void)::fchown(fd, static_cast<uid_t>(-1), info.st_gid);
    ::fchmod(fd, info.st_mode & 07777);
}

bool PlatRenameOver(const std::string& temp, const std::string& target) {
    // Everything that may fail for want of memory comes before the rename.
    std::string folderPath = FolderOf(target);
    if (std::rename(temp.c_str(), target.c_str()) != 0) return false;
    int folder = ::open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return true;
}

uint64_t PlatRandom64() {
    uint64_t value = 0;
#ifdef __linux__
    if (::getrandom(&value, sizeof value, 0) == static_cast<ssize_t>(sizeof value)) return value;
#endif
    static std::atomic<uint64_t> counter{0};
    std::random_device device;
    value = (uint64_t(device()) << 32) ^ device();
    return value ^ (++counter * 0x9E3779B97F4A7C15ull) ^ uint64_t(::getpid());
}

}  // namespace brio
