// The registry where there is none: HKEY_LOCAL_MACHINE as listed in the .reg
// file named by BRIOUTIL_REGISTRY, with the Win32 calls' error codes. The file
// is read again on every open, so a host (or a test) may change it at will.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/regfile.h"

namespace brio {

namespace {

constexpr int32_t kErrorInvalidHandle = 6;
constexpr int32_t kErrorNotEnoughMemory = 8;
constexpr int32_t kErrorBadPathname = 161;
constexpr uint32_t kKeyMagic = 0x52454731;  // "REG1": tells a live handle

struct OpenKey {
    uint32_t magic = kKeyMagic;
    std::vector<RegFileValue> values;
};

OpenKey* AsKey(RegKey key) {
    auto* open = static_cast<OpenKey*>(key);
    return open && open->magic == kKeyMagic ? open : nullptr;
}

// The registry file's bytes; empty when there is no variable or no file.
std::string ReadRegistryFile() {
    const char* name = std::getenv("BRIOUTIL_REGISTRY");
    std::string bytes;
    if (!name || !*name) return bytes;
    FILE* file = PlatFileOpen(name, "rb");
    if (!file) return bytes;
    char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, got);
    std::fclose(file);
    return bytes;
}

const RegFileValue* FindValue(const OpenKey& key, const char* name) {
    std::string wanted = name ? name : "";
    for (const RegFileValue& value : key.values)
        if (RegNamesEqual(value.name, wanted)) return &value;
    return nullptr;
}

}  // namespace

int32_t PlatRegOpenMachineKey(const char* path, RegKey* key) {
    if (!key) return kErrorInvalidParameter;
    if (path && path[0] == '\\') return kErrorBadPathname;
    try {
        std::string full = std::string("HKEY_LOCAL_MACHINE\\") + (path ? path : "");
        RegFile file;
        file.Parse(ReadRegistryFile());
        const RegFileKey* listed = file.FindKey(full);
        // The root always exists; any other key when it is listed or is the
        // parent of a listed key.
        bool isRoot = NormalizeKeyPath(full) == "HKEY_LOCAL_MACHINE";
        if (!listed && !isRoot && !file.HasKey(full)) return kErrorFileNotFound;
        if (AllocationShouldFail()) return kErrorNotEnoughMemory;
        std::unique_ptr<OpenKey> open(new OpenKey);
        if (listed) open->values = listed->values;
        *key = open.release();
        return kErrorSuccess;
    } catch (const std::bad_alloc&) {
        return kErrorNotEnoughMemory;
    }
}

int32_t PlatRegQueryValue(RegKey key, const char* name, uint32_t* type, unsigned char* data,
                          uint32_t* dataSize) {
    OpenKey* open = AsKey(key);
    if (!open) return kErrorInvalidHandle;
    if (data && !dataSize) return kErrorInvalidParameter;
    const RegFileValue* value = FindValue(*open, name);
    if (!value) return kErrorFileNotFound;
    auto needed = static_cast<uint32_t>(value->data.size());
    if (type) *type = value->type;
    if (data) {
        if (*dataSize < needed) {
            *dataSize = needed;
            return kErrorMoreData;
        }
        std::memcpy(data, value->data.data(), needed);
    }
    if (dataSize) *dataSize = needed;
    return kErrorSuccess;
}

int32_t PlatRegEnumValue(RegKey key, uint32_t index, char* name, uint32_t* nameSize, uint32_t* type,
                         unsigned char* data, uint32_t* dataSize) {
    OpenKey* open = AsKey(key);
    if (!open) return kErrorInvalidHandle;
    if (!name || !nameSize || (data && !dataSize)) return kErrorInvalidParameter;
    if (index >= open->values.size()) return kErrorNoMoreItems;
    const RegFileValue& value = open->values[index];
    // The name's size counts its terminating zero; the reported one does not.
    if (*nameSize <= value.name.size()) return kErrorMoreData;
    auto needed = static_cast<uint32_t>(value.data.size());
    if (type) *type = value.type;
    if (data && *dataSize < needed) {
        *dataSize = needed;
        return kErrorMoreData;
    }
    std::memcpy(name, value.name.c_str(), value.name.size() + 1);
    *nameSize = static_cast<uint32_t>(value.name.size());
    if (data) std::memcpy(data, value.data.data(), needed);
    if (dataSize) *dataSize = needed;
    return kErrorSuccess;
}

void PlatRegCloseKey(RegKey key) {
    OpenKey* open = AsKey(key);
    if (!open) return;
    open->magic = 0;
    delete open;
}

}  // namespace brio
