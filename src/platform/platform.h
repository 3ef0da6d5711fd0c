// What the library needs of the operating system. win32.cpp forwards to the
// real API; portable.cpp stands in for it elsewhere. Everything here is
// internal: only the exports of the public headers leave the library.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>

namespace brio {

// ---------------------------------------------------------------------------
// Global memory: the movable blocks the clipboard takes (HGLOBALs on
// Windows). Nothing else in the library lives in them.

using GlobalHandle = void*;

constexpr uint32_t kGmemMoveable = 0x0002;
constexpr uint32_t kGmemZeroInit = 0x0040;
constexpr uint32_t kGmemDdeShare = 0x2000;
constexpr uint32_t kGhnd = kGmemMoveable | kGmemZeroInit;  // 66
constexpr uint32_t kClipboardFlags = kGhnd | kGmemDdeShare;

GlobalHandle PlatGlobalAlloc(uint32_t flags, size_t size);
void* PlatGlobalLock(GlobalHandle handle);
// Returns true while the block is still locked (as GlobalUnlock does).
bool PlatGlobalUnlock(GlobalHandle handle);
// Returns 0 on success, the handle on failure (as GlobalFree does).
GlobalHandle PlatGlobalFree(GlobalHandle handle);
size_t PlatGlobalSize(GlobalHandle handle);
// Lock count of a block (the low byte of GlobalFlags).
unsigned PlatGlobalLockCount(GlobalHandle handle);

// Runtime heap with the same failure hook as global memory, for the code
// whose out-of-memory paths must be exercised.
void* BrioMalloc(size_t size);
void* BrioRealloc(void* block, size_t size);
void BrioFree(void* block);
// Asks for huge pages over a block of several megabytes, where the system
// has them; nothing otherwise.
void PlatAdviseLarge(void* data, size_t size);
// Faults in the pages of a part of a block that is about to be written, in
// one call where the system can; nothing otherwise.
void PlatFaultIn(void* data, size_t size);

// Allocation-failure hook: the Nth allocation from now (1 = the next one)
// fails, once. 0 disarms. AllocationCount counts every allocation attempt.
void FailAllocationAfter(long n);
long AllocationCount();
// Consumes one allocation attempt; true when this one must fail.
bool AllocationShouldFail();
// The hook and the count belong to the calling thread, so a sweep on one
// thread is not disturbed by work on others.

// Marks the calling thread as inside an export while it lives: a test
// harness fails its own operator new only there.
class ExportScope {
  public:
    ExportScope();
    ~ExportScope();
    ExportScope(const ExportScope&) = delete;
    ExportScope& operator=(const ExportScope&) = delete;
};
bool InsideExport();

// ---------------------------------------------------------------------------
// Clipboard, CF_DIB only. A block given to ClipboardSetDib belongs to the
// clipboard afterwards.

bool ClipboardOpen();
bool ClipboardEmpty();
// With `on`, the clipboard calls (and the host API) use a clipboard of the
// process's own instead of the system one: the tool's bitmaps then neither
// replace the user's clipboard nor meet another run's. Off releases its block.
// The portable clipboard is the process's own already.
void ClipboardUsePrivate(bool on);
bool ClipboardSetDib(GlobalHandle block);
GlobalHandle ClipboardGetDib();
void ClipboardClose();

// The two sequences every user of the clipboard follows. PutDibOnClipboard
// makes a block of `size` bytes, lets `fill` write it and hands it to the
// clipboard in place of what it held; false when no memory or no clipboard
// was to be had or `fill` failed (the block is then freed and the clipboard
// left alone). ReadClipboardDib hands the clipboard's block, locked, to
// `read` (null and 0 when there is none); false when the clipboard could not
// be opened.
bool PutDibOnClipboard(size_t size, const std::function<bool(uint8_t*)>& fill);
bool ReadClipboardDib(const std::function<void(const uint8_t*, size_t)>& read);

// ---------------------------------------------------------------------------
// Registry: keys under HKEY_LOCAL_MACHINE. Results are Win32 error codes.

using RegKey = void*;

constexpr int32_t kErrorSuccess = 0;
constexpr int32_t kErrorFileNotFound = 2;
constexpr int32_t kErrorAccessDenied = 5;
constexpr int32_t kErrorInvalidParameter = 87;
constexpr int32_t kErrorMoreData = 234;
constexpr int32_t kErrorNoMoreItems = 259;

int32_t PlatRegOpenMachineKey(const char* path, RegKey* key);
// Reads a value by name ("" is the default value).
int32_t PlatRegQueryValue(RegKey key, const char* name, uint32_t* type, unsigned char* data,
                          uint32_t* dataSize);
// Reads value number `index` in the registry's enumeration order.
int32_t PlatRegEnumValue(RegKey key, uint32_t index, char* name, uint32_t* nameSize, uint32_t* type,
                         unsigned char* data, uint32_t* dataSize);
void PlatRegCloseKey(RegKey key);

// ---------------------------------------------------------------------------
// Debugger output and break.

void PlatDebugOutput(const char* text);
// The platform's own debugger output, without the hook.
void PlatDebugOutputRaw(const char* text);
bool DebuggerPresent();
void DebugBreakIfPresent();
// Test hook: when set, PlatDebugOutput hands its text here instead.
using DebugOutputHook = void (*)(const char* text);
void SetDebugOutputHook(DebugOutputHook hook);

// ---------------------------------------------------------------------------
// Text.

// wsprintfA-like: %s %c %d %u %x %ld %lu %%, output bounded at 1024 bytes
// including the NUL. Returns the characters written.
int FormatBounded(char* out, const char* format, ...);
int FormatBoundedV(char* out, const char* format, va_list args);
// The same conversions without a bound.
std::string Format(const char* format, ...);

// Windows-1252 (ANSI) case mapping and character stepping.
unsigned char PlatCharUpper(unsigned char c);
void PlatCharUpperString(char* text);
const char* PlatCharNext(const char* p);
const char* PlatCharPrev(const char* start, const char* p);

// PlatMulDiv with Windows rounding: half away from zero; -1 on overflow or a
// zero divisor.
int32_t PlatMulDiv(int32_t number, int32_t numerator, int32_t denominator);

// ---------------------------------------------------------------------------
// Files: the C library's FILE over ordinary files; every write that replaces
// a file goes through AtomicFile or PlatReplaceFile.

// File-system error codes a writer reports.
constexpr int32_t kRcOk = 0;
constexpr int32_t kRcNoExists = 3;
constexpr int32_t kRcBadArg = 4;
constexpr int32_t kRcOutOfMemory = 8;
constexpr int32_t kRcDiskFull = 11;
constexpr int32_t kRcNoPermission = 13;
constexpr int32_t kRcInvalid = 14;
// The file-system code of a C library error number.
int32_t FsErrorFromErrno(int e);

// The length of a file read by offsets; -1 when it cannot be told or passes
// 2 GB, the most a picture file may be.
int64_t FileLength(FILE* file);
// Reads exactly `count` bytes at `offset`; false past 2 GB or the file's end.
bool ReadAt(FILE* file, uint64_t offset, void* buffer, uint64_t count);

// fopen with an 8-bit path as the host gave it (the ANSI code page on
// Windows).
FILE* PlatFileOpen(const char* path, const char* mode);

// A file closed when it goes out of scope.
struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<FILE, FileCloser>;

// A name for a temporary file beside `target` that no file has yet, drawn
// from a random source. Creating it is still the caller's race: the
// replacement below creates its own temporary file exclusively.
std::string TempNameBeside(const std::string& target);

// Writes a file so that a failed or interrupted write never leaves a
// truncated file in place of the old one. A symbolic link at the target is
// followed, so the file it names is the one replaced. A regular file is
// replaced through a temporary file beside it, created exclusively, flushed
// to disk and renamed over it with the old file's mode and owner. A target
// that must keep its identity (not a regular file, or other hard links to
// it) or whose folder refuses a new file is written in place, its old bytes
// put back when the write fails.
class AtomicFile {
  public:
    AtomicFile() = default;
    ~AtomicFile();  // an uncommitted file is discarded
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // `text`: line feeds are written as the platform's line break.
    bool Open(const char* target, bool text = false);
    // Readable, writable and seekable while open.
    FILE* Stream() const { return stream_; }
    bool Write(const void* data, size_t size);
    bool Write(const char* text);
    // Flushes, syncs and puts the text in place. False when any write, the
    // close or the replacement failed; the target is then as it was.
    bool Commit();
    void Abort();
    bool Failed() const { return failed_; }
    // Marks the text as failed: Commit will discard it.
    void SetFailed() { failed_ = true; }
    // Whether the target is written in place rather than replaced.
    bool InPlace() const { return inPlace_; }

  private:
    bool RestoreInPlace();

    FILE* stream_ = nullptr;
    std::string target_;  // the file itself, links followed
    std::string temp_;
    std::string backup_;  // an in-place target's old bytes
    bool inPlace_ = false;
    bool restorable_ = false;
    bool failed_ = false;
};

// Puts the finished file `source` in the place of `target` by the rules of
// AtomicFile (links followed, mode and owner kept, written in place where a
// rename would not do); `source` is gone afterwards.
bool PlatReplaceFile(const char* source, const char* target);
bool PlatRemoveFile(const char* path);
// Gives `target` the permission bits of `source` when `source` exists.
void PlatCopyFileMode(const char* source, const char* target);

// What AtomicFile asks of the system.
// Linked: a regular file with other hard links; Special: a device, a pipe
// or anything else that is not a regular file.
enum class PlatTarget { Missing, Regular, Linked, Special };
// The path with symbolic links of its last component followed.
std::string PlatResolveLinks(const std::string& path);
PlatTarget PlatTargetKind(const std::string& path);
enum class PlatCreate { Created, Exists, Refused, Failed };
// Creates a new file, never through a link, readable only by its owner;
// opened for reading and writing.
FILE* PlatCreateExclusive(const std::string& path, PlatCreate* result);
// Opens an existing file for writing without truncating it; `readable`
// for reading too.
FILE* PlatOpenInPlace(const std::string& path, bool readable);
// Flushes the stream and the system's buffers to the disk.
bool PlatSyncFile(FILE* stream);
bool PlatTruncateFile(FILE* stream, long size);
// Text or binary translation of line breaks; nothing where they are the same.
void PlatSetTextMode(FILE* stream, bool text);
// Gives the temporary file the target's mode and, where permitted, its
// owner; a new target gets the mode a plain create would give.
void PlatAdoptAttributes(FILE* temp, const std::string& target);
// Renames `temp` over `target` and makes the rename durable.
bool PlatRenameOver(const std::string& temp, const std::string& target);
uint64_t PlatRandom64();

}  // namespace brio
