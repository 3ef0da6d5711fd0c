// GetAppPath: where an application is installed, from its entry under the
// shell's App Paths key.
#include <cstring>

#include "brioutil.h"
#include "platform/platform.h"

namespace brio {

namespace {

constexpr char kAppPathsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
constexpr size_t kKeyPathSize = 512;
// The key path and its terminating zero must fit kKeyPathSize bytes.
constexpr size_t kMaxAppNameLength = kKeyPathSize - (sizeof(kAppPathsKey) - 1) - 1;
static_assert(kMaxAppNameLength == 459, "App Paths key prefix changed");

// The data the buffer takes; the byte for the terminator comes on top, so
// a 511-character path with its zero fits.
constexpr size_t kResultSize = 512;
// Longest value name the registry allows, plus its zero.
constexpr size_t kValueNameSize = 16384;

// Library-owned result, valid until this thread's next call.
thread_local unsigned char tResult[kResultSize + 1];

}  // namespace

}  // namespace brio

extern "C" int32_t BRIOAPI GetAppPath(const char* appName, const char** data, uint32_t* size) {
    using namespace brio;
    if (!appName || !data || !size) return kErrorInvalidParameter;
    size_t nameLength = strnlen(appName, kMaxAppNameLength + 1);
    if (nameLength > kMaxAppNameLength) return kErrorInvalidParameter;

    char keyPath[kKeyPathSize];
    std::memcpy(keyPath, kAppPathsKey, sizeof(kAppPathsKey) - 1);
    std::memcpy(keyPath + sizeof(kAppPathsKey) - 1, appName, nameLength + 1);

    RegKey key = nullptr;
    int32_t rc = PlatRegOpenMachineKey(keyPath, &key);
    if (rc != kErrorSuccess) return rc;

    // The spare byte keeps the result zero-terminated, even when the data
    // is not a string or was stored without its zero.
    uint32_t type = 0;
    uint32_t got = kResultSize;
    rc = PlatRegQueryValue(key, "", &type, tResult, &got);
    if (rc == kErrorFileNotFound) {
        // No default value: fall back on the first value the key lists.
        char valueName[kValueNameSize];
        uint32_t valueNameSize = kValueNameSize;
        got = kResultSize;
        rc = PlatRegEnumValue(key, 0, valueName, &valueNameSize, &type, tResult, &got);
    }
    PlatRegCloseKey(key);

    // A failed read leaves an empty text. Only a value too large for the
    // buffer has a size worth reporting: the one the caller would need.
    if (rc == kErrorSuccess && got <= kResultSize) {
        tResult[got] = 0;
    } else {
        tResult[0] = 0;
        if (rc != kErrorMoreData) got = 0;
    }
    *data = reinterpret_cast<const char*>(tResult);
    *size = got;
    return rc;
}
