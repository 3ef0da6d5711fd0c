// Hotspot blocks: parsed directly and through a picture record that holds
// them, then written back from the list that came out.
#include <cstring>
#include <vector>

#include "adt/bytes.h"
#include "adt/ll.h"
#include "bitmap/picture.h"
#include "fuzz_support.h"
#include "hotspot/hotspot.h"

namespace {

void Check(const brio::HotspotRecord* r, void* count) {
    if (std::memchr(r->name, 0, sizeof r->name) == nullptr ||
        std::memchr(r->binding, 0, sizeof r->binding) == nullptr)
        fuzz::Mismatch("unterminated hotspot string");
    ++*static_cast<size_t*>(count);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> block(data, data + size);
    size_t count = 0;
    brio::ParseHotspotBlock(block.data(), block.size(), Check, &count);

    // The same bytes as the hotspot block of a bare picture.
    brio::GlobalHandle picture = brio::PlatGlobalAlloc(brio::kGhnd, 58 + size);
    if (!picture) return 0;
    auto* p = static_cast<uint8_t*>(brio::PlatGlobalLock(picture));
    p[0] = brio::kPictureDib;
    brio::PutU32(p, brio::kPicHotspotOffset, 58);
    brio::PutU32(p, brio::kPicHotspotSize, static_cast<uint32_t>(size));
    if (size) std::memcpy(p + 58, data, size);
    brio::PlatGlobalUnlock(picture);
    brio::GlobalHandle list = brio::BuildHotspotList(picture);
    if (list) {
        if (brio::ListCount(list) != count) fuzz::Mismatch("list and parse disagree");
        brio::BuildHotspotBlock(&picture, list);
        brio::ListDestroy(list);
    }
    brio::PlatGlobalFree(picture);
    return 0;
}
