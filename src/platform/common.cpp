// The parts of the platform layer that are the same on every build: the
// allocation-failure hook, the heap wrappers, the clipboard sequences, the
// formatter, reading files by offset and atomic file replacement.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "brioutil_host.h"
#include "frame/guard.h"
#include "platform/platform.h"

namespace brio {

namespace {
// Per thread: hosts may call from several threads, and a sweep counts the
// allocations of its own calls only.
thread_local long tFailAt = 0;
thread_local long tAllocations = 0;
thread_local int tExportDepth = 0;
}  // namespace

ExportScope::ExportScope() {
    ++tExportDepth;
}
ExportScope::~ExportScope() {
    --tExportDepth;
}
bool InsideExport() {
    return tExportDepth > 0;
}

void FailAllocationAfter(long n) {
    tFailAt = n;
}
long AllocationCount() {
    return tAllocations;
}

bool AllocationShouldFail() {
    ++tAllocations;
    if (tFailAt > 0 && --tFailAt == 0) return true;
    return false;
}

void* BrioMalloc(size_t size) {
    if (AllocationShouldFail()) return nullptr;
    return std::malloc(size ? size : 1);
}

void* BrioRealloc(void* block, size_t size) {
    if (AllocationShouldFail()) return nullptr;
    return std::realloc(block, size ? size : 1);
}

void BrioFree(void* block) {
    std::free(block);
}

// ---------------------------------------------------------------------------
// Clipboard sequences

bool PutDibOnClipboard(size_t size, const std::function<bool(uint8_t*)>& fill) {
    GlobalHandle block = PlatGlobalAlloc(kClipboardFlags, size);
    if (!block) return false;
    auto* data = static_cast<uint8_t*>(PlatGlobalLock(block));
    bool filled = data && fill(data);
    if (data) PlatGlobalUnlock(block);
    if (!filled || !ClipboardOpen()) {
        PlatGlobalFree(block);
        return false;
    }
    ClipboardEmpty();
    bool placed = ClipboardSetDib(block);
    ClipboardClose();
    if (!placed) PlatGlobalFree(block);
    return placed;
}

bool ReadClipboardDib(const std::function<void(const uint8_t*, size_t)>& read) {
    if (!ClipboardOpen()) return false;
    // Closed and unlocked however `read` ends, a throw included.
    struct Held {
        GlobalHandle block = ClipboardGetDib();
        const uint8_t* data = block ? static_cast<const uint8_t*>(PlatGlobalLock(block)) : nullptr;
        ~Held() {
            if (data) PlatGlobalUnlock(block);
            ClipboardClose();
        }
    } held;
    read(held.data, held.data ? PlatGlobalSize(held.block) : 0);
    return true;
}

// ---------------------------------------------------------------------------
// Formatter

namespace {

// Appends through a sink so the bounded and unbounded forms share one parser.
template <typename Sink>
void FormatInto(Sink& sink, const char* format, va_list args) {
    char digits[32];
    for (const char* f = format; *f; ++f) {
        if (*f != '%') {
            sink(*f);
            continue;
        }
        ++f;
        bool left = false, zero = false;
        for (;; ++f) {
            if (*f == '-')
                left = true;
            else if (*f == '0')
                zero = true;
            else
                break;
        }
        int width = 0;
        while (*f >= '0' && *f <= '9') width = width * 10 + (*f++ - '0');
        bool isLong = false;
        if (*f == 'l') {
            isLong = true;
            ++f;
        }
        const char* text = digits;
        size_t length = 0;
        switch (*f) {
            case '\0':
                return;
            case '%':
                sink('%');
                continue;
            case 'c':
                digits[0] = static_cast<char>(va_arg(args, int));
                length = 1;
                break;
            case 's': {
                text = va_arg(args, const char*);
                if (!text) text = "(null)";
                length = std::strlen(text);
                break;
            }
            case 'd':
            case 'i': {
                long v = isLong ? va_arg(args, long) : va_arg(args, int);
                length = static_cast<size_t>(std::snprintf(digits, sizeof digits, "%ld", v));
                break;
            }
            case 'u': {
                unsigned long v = isLong ? va_arg(args, unsigned long) : va_arg(args, unsigned);
                length = static_cast<size_t>(std::snprintf(digits, sizeof digits, "%lu", v));
                break;
            }
            case 'x':
            case 'X': {
                unsigned long v = isLong ? va_arg(args, unsigned long) : va_arg(args, unsigned);
                length = static_cast<size_t>(
                    std::snprintf(digits, sizeof digits, *f == 'x' ? "%lx" : "%lX", v));
                break;
            }
            default:  // unknown conversion: written as it stands
                sink('%');
                sink(*f);
                continue;
        }
        size_t pad = width > 0 && static_cast<size_t>(width) > length ? width - length : 0;
        if (!left)
            for (size_t i = 0; i < pad; ++i) sink(zero && *f != 's' && *f != 'c' ? '0' : ' ');
        for (size_t i = 0; i < length; ++i) sink(text[i]);
        if (left)
            for (size_t i = 0; i < pad; ++i) sink(' ');
    }
}

}  // namespace

int FormatBoundedV(char* out, const char* format, va_list args) {
    constexpr size_t kBound = 1024;
    size_t n = 0;
    auto sink = [&](char c) {
        if (n + 1 < kBound) out[n++] = c;
    };
    FormatInto(sink, format, args);
    out[n] = '\0';
    return static_cast<int>(n);
}

int FormatBounded(char* out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = FormatBoundedV(out, format, args);
    va_end(args);
    return n;
}

std::string Format(const char* format, ...) {
    std::string result;
    auto sink = [&](char c) { result.push_back(c); };
    va_list args;
    va_start(args, format);
    FormatInto(sink, format, args);
    va_end(args);
    return result;
}

// ---------------------------------------------------------------------------
// Debugger output

namespace {
DebugOutputHook gDebugHook = nullptr;
}

void SetDebugOutputHook(DebugOutputHook hook) {
    gDebugHook = hook;
}

void PlatDebugOutput(const char* text) {
    if (gDebugHook)
        gDebugHook(text);
    else
        PlatDebugOutputRaw(text);
}

// ---------------------------------------------------------------------------
// Text

void PlatCharUpperString(char* text) {
    for (; *text; ++text)
        *text = static_cast<char>(PlatCharUpper(static_cast<unsigned char>(*text)));
}

// ---------------------------------------------------------------------------
// File layer

int32_t FsErrorFromErrno(int e) {
    switch (e) {
        case ENOENT:
        case ENOTDIR:
            return kRcNoExists;
        case EACCES:
        case EPERM:
        case EROFS:
            return kRcNoPermission;
        case ENOSPC:
        case EFBIG:
            return kRcDiskFull;
        case ENOMEM:
            return kRcOutOfMemory;
        default:
            return kRcInvalid;
    }
}

int64_t FileLength(FILE* file) {
    if (!file || std::fseek(file, 0, SEEK_END) != 0) return -1;
    long end = std::ftell(file);
    return end < 0 || end > INT32_MAX ? -1 : end;
}

bool ReadAt(FILE* file, uint64_t offset, void* buffer, uint64_t count) {
    if (offset > INT32_MAX || count > INT32_MAX) return false;
    if (count == 0) return true;
    if (std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0) return false;
    return std::fread(buffer, 1, static_cast<size_t>(count), file) == count;
}

// ---------------------------------------------------------------------------
// Atomic replacement

AtomicFile::~AtomicFile() {
    Abort();
}

namespace {
std::string TempCandidate(const std::string& target) {
    return target + Format(".%08lx%08lx.tmp", static_cast<unsigned long>(PlatRandom64() >> 32),
                           static_cast<unsigned long>(PlatRandom64() & 0xffffffffu));
}
}  // namespace

std::string TempNameBeside(const std::string& target) {
    std::string name;
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = TempCandidate(target);
        FILE* probe = PlatFileOpen(name.c_str(), "rb");
        if (!probe) break;
        std::fclose(probe);
    }
    return name;
}

bool AtomicFile::Open(const char* target, bool text) {
    Abort();
    failed_ = true;
    inPlace_ = false;
    backup_.clear();
    if (!target || !*target) return false;
    target_ = PlatResolveLinks(target);
    PlatTarget kind = PlatTargetKind(target_);
    if (kind == PlatTarget::Missing || kind == PlatTarget::Regular) {
        // Beside the target, so the rename stays on one volume.
        PlatCreate result = PlatCreate::Exists;
        for (int attempt = 0; attempt < 100 && result == PlatCreate::Exists; ++attempt) {
            temp_ = TempCandidate(target_);
            stream_ = PlatCreateExclusive(temp_, &result);
        }
        if (!stream_) temp_.clear();
        // A folder that takes no new file may still hold a writable one.
        if (stream_ || kind == PlatTarget::Missing || result != PlatCreate::Refused) {
            failed_ = !stream_;
            if (stream_ && text) PlatSetTextMode(stream_, true);
            return stream_ != nullptr;
        }
    }
    inPlace_ = true;
    restorable_ = false;
    bool regular = kind != PlatTarget::Special;
    stream_ = PlatOpenInPlace(target_, regular);
    if (!stream_) return false;
    if (regular) {
        // The old bytes are kept before the file is emptied; until then
        // there is nothing to put back.
        char buffer[16384];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, stream_)) > 0) backup_.append(buffer, n);
        bool read = !std::ferror(stream_);
        std::rewind(stream_);
        if (!read || !PlatTruncateFile(stream_, 0)) {
            RestoreInPlace();
            return false;
        }
        restorable_ = true;
    }
    if (text) PlatSetTextMode(stream_, true);
    failed_ = false;
    return true;
}

bool AtomicFile::Write(const void* data, size_t size) {
    if (!stream_) return false;
    if (size && std::fwrite(data, 1, size, stream_) != size) failed_ = true;
    return !failed_;
}

bool AtomicFile::Write(const char* text) {
    return Write(text, std::strlen(text));
}

// Puts an in-place target's old bytes back and closes it.
bool AtomicFile::RestoreInPlace() {
    bool ok = true;
    if (restorable_) {
        std::fflush(stream_);
        PlatSetTextMode(stream_, false);
        std::clearerr(stream_);
        std::rewind(stream_);
        ok = std::fwrite(backup_.data(), 1, backup_.size(), stream_) == backup_.size();
        ok = PlatTruncateFile(stream_, static_cast<long>(backup_.size())) && ok;
        ok = PlatSyncFile(stream_) && ok;
    }
    ok = std::fclose(stream_) == 0 && ok;
    stream_ = nullptr;
    std::string().swap(backup_);
    return ok;
}

bool AtomicFile::Commit() {
    if (!stream_) return false;
    if (std::ferror(stream_) || !PlatSyncFile(stream_)) failed_ = true;
    if (inPlace_) {
        if (failed_) {
            RestoreInPlace();
            return false;
        }
        std::string().swap(backup_);
        if (std::fclose(stream_) != 0) failed_ = true;
        stream_ = nullptr;
        return !failed_;
    }
    if (!failed_) PlatAdoptAttributes(stream_, target_);
    if (std::fclose(stream_) != 0) failed_ = true;
    stream_ = nullptr;
    if (!failed_ && !PlatRenameOver(temp_, target_)) failed_ = true;
    if (failed_) PlatRemoveFile(temp_.c_str());
    temp_.clear();
    return !failed_;
}

void AtomicFile::Abort() {
    if (stream_ && inPlace_) {
        RestoreInPlace();
    } else if (stream_) {
        std::fclose(stream_);
        stream_ = nullptr;
    }
    if (!temp_.empty()) {
        PlatRemoveFile(temp_.c_str());
        temp_.clear();
    }
}

// A finished file put in the target's place by the same rules as AtomicFile:
// through links, keeping mode and owner, in place where a rename would not do.
bool PlatReplaceFile(const char* source, const char* target) {
    if (!source || !target) return false;
    std::string file = PlatResolveLinks(target);
    PlatTarget kind = PlatTargetKind(file);
    if (kind == PlatTarget::Missing || kind == PlatTarget::Regular) {
        if (FILE* f = kind == PlatTarget::Regular ? PlatFileOpen(source, "r+b") : nullptr) {
            PlatAdoptAttributes(f, file);
            std::fclose(f);
        }
        if (PlatRenameOver(source, file)) return true;
        if (kind == PlatTarget::Missing) return false;
    }
    FILE* in = PlatFileOpen(source, "rb");
    if (!in) return false;
    AtomicFile out;
    bool ok = out.Open(file.c_str());
    char buffer[16384];
    size_t n;
    while (ok && (n = std::fread(buffer, 1, sizeof buffer, in)) > 0) ok = out.Write(buffer, n);
    ok = ok && !std::ferror(in);
    std::fclose(in);
    if (!ok) {
        out.Abort();
        return false;
    }
    if (!out.Commit()) return false;
    PlatRemoveFile(source);
    return true;
}

}  // namespace brio

// ---------------------------------------------------------------------------
// Host API: the same over the system clipboard and the portable one.

using namespace brio;

extern "C" int32_t BrioHostClipboardSetDib(const void* block, size_t size) {
    if (!block || size == 0) return 1;
    bool placed = PutDibOnClipboard(size, [&](uint8_t* to) {
        std::memcpy(to, block, size);
        return true;
    });
    return placed ? 0 : 1;
}

extern "C" size_t BrioHostClipboardGetDib(void* buffer, size_t capacity) {
    size_t found = 0;
    ReadClipboardDib([&](const uint8_t* data, size_t size) {
        found = size;
        if (data && buffer && capacity)
            std::memcpy(buffer, data, size < capacity ? size : capacity);
    });
    return found;
}

extern "C" void BrioHostClipboardClear(void) {
    if (!ClipboardOpen()) return;
    ClipboardEmpty();
    ClipboardClose();
}

// Host API over the file replacement and the clipboard switch, for hosts that
// link the library (the command-line tool among them).

extern "C" int32_t BrioHostReplaceFile(const char* path, const void* data, size_t size) {
    if (!path || (!data && size)) return BRIO_ERR_CREATE_OUTPUT;
    return brio::GuardExport(
        [&]() -> int32_t {
            brio::AtomicFile file;
            if (!file.Open(path)) return BRIO_ERR_CREATE_OUTPUT;
            file.Write(data, size);
            return file.Commit() ? BRIO_OK : BRIO_ERR_WRITE;
        },
        []() -> int32_t { return BRIO_ERR_NO_MEMORY; });
}

extern "C" void BrioHostClipboardUsePrivate(int32_t on) {
    brio::ClipboardUsePrivate(on != 0);
}
