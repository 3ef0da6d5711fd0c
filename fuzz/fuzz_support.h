// Helpers shared by the fuzz targets.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/platform.h"

namespace fuzz {

// The input as a NUL-terminated string (stops at the first NUL byte, as a
// host's C string would).
inline std::string AsText(const uint8_t* data, size_t size) {
    return std::string(reinterpret_cast<const char*>(data), size);
}

// A file path private to this process, under TMPDIR.
inline std::string TempPath(const char* name) {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/brioutil-fuzz-" +
           std::to_string(static_cast<long>(getpid())) + "-" + name;
}

inline bool WriteBytes(const std::string& path, const void* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

// Reads every byte, so the sanitizers check a returned buffer's whole extent.
inline volatile unsigned gSink;
inline void Touch(const void* data, size_t size) {
    const auto* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) gSink = gSink + p[i];
}

// Stops the run loudly: a round trip lost or changed data.
[[noreturn]] inline void Mismatch(const char* what) {
    std::fprintf(stderr, "round-trip mismatch: %s\n", what);
    std::abort();
}

}  // namespace fuzz
