// The hotspot model: records, the hotspot block of a picture, and the
// binding split into context, window and file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "bitmap/picture.h"

namespace brio {

struct HotspotRecord {
    char name[256];
    char binding[256];
    uint8_t type;
    uint8_t attribute;
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

// Type codes of hotspot entries.
constexpr uint8_t kHotspotPlain = 138;
constexpr uint8_t kHotspotMacro = 200;
constexpr uint8_t kHotspotMacroVisible = 204;
constexpr uint8_t kHotspotPopup = 230;  // kind 1 as created
constexpr uint8_t kHotspotJump = 231;   // kind 0 as created
constexpr uint8_t kHotspotJumpWindow = 235;
constexpr uint8_t kHotspotJumpWindowVisible = 239;
constexpr uint8_t kAttributeCreated = 4;

// Kinds the exports see: 0 and 1 carry a context string, 2 a macro.
int HotspotKind(uint8_t type);
uint8_t HotspotTypeForKind(int32_t kind);

// Statuses of the picture code.
constexpr uint16_t kStatusOk = 0;
constexpr uint16_t kStatusBadArg = 4;
constexpr uint16_t kStatusNoMemory = 8;
constexpr uint16_t kStatusShortWrite = 11;
constexpr uint16_t kStatusCannotOpen = 100;

// Splits "context>window@file" (either order of the two parts): each output
// holds at least 256 bytes; blanks around each part are dropped.
int SplitBinding(const char* binding, char* context, char* window, char* file);

// Reads a hotspot block of `size` bytes into `out` (emptied first); false
// when the block is invalid (version, strings past its end).
bool ParseHotspotBlock(const void* block, size_t size, std::vector<HotspotRecord>* out);

// The picture's hotspot block as records; false when it lies outside the
// record or is invalid.
bool ReadHotspots(const Picture& picture, std::vector<HotspotRecord>* out);

// Writes the records as a hotspot block at the picture's hotspot offset,
// sizing the record to end with it. 0, 4 when the format cannot hold the
// hotspots (count or coordinates outside 16 bits); out of memory throws
// std::bad_alloc and leaves the picture as it was.
uint16_t AttachHotspotBlock(Picture* picture, const std::vector<HotspotRecord>& hotspots);

}  // namespace brio
