// Hotspot blocks: parsed directly and through a picture record that holds
// them, then written back from the records that came out.
#include <cstring>
#include <vector>

#include "adt/bytes.h"
#include "bitmap/picture.h"
#include "fuzz_support.h"
#include "hotspot/hotspot.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> block(data, data + size);
    std::vector<brio::HotspotRecord> parsed;
    brio::ParseHotspotBlock(block.data(), block.size(), &parsed);
    for (const brio::HotspotRecord& r : parsed) {
        if (std::memchr(r.name, 0, sizeof r.name) == nullptr ||
            std::memchr(r.binding, 0, sizeof r.binding) == nullptr)
            fuzz::Mismatch("unterminated hotspot string");
    }

    // The same bytes as the hotspot block of a bare picture.
    brio::Picture picture;
    picture.record.assign(58 + size, 0);
    picture.record[0] = brio::kPictureDib;
    picture.SetField(brio::kPicHotspotOffset, 58);
    picture.SetField(brio::kPicHotspotSize, static_cast<uint32_t>(size));
    if (size) std::memcpy(picture.record.data() + 58, data, size);
    std::vector<brio::HotspotRecord> read;
    if (brio::ReadHotspots(picture, &read)) {
        if (read.size() != parsed.size()) fuzz::Mismatch("picture and parse disagree");
        brio::AttachHotspotBlock(&picture, read);
    }
    return 0;
}
