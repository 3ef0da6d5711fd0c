// A hotspot list built from the input, written as a picture's hotspot block
// and read back, gives the same records.
#include <cstring>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "adt/bytes.h"
#include "adt/ll.h"
#include "bitmap/picture.h"
#include "fuzz_support.h"
#include "hotspot/hotspot.h"

namespace {

void FillString(FuzzedDataProvider& in, char* out) {
    std::string s = in.ConsumeRandomLengthString(255);
    s = s.substr(0, std::strlen(s.c_str()));  // a host string ends at its NUL
    std::memcpy(out, s.c_str(), s.size() + 1);
}

bool Same(const brio::HotspotRecord& a, const brio::HotspotRecord& b) {
    return std::strcmp(a.name, b.name) == 0 && std::strcmp(a.binding, b.binding) == 0 &&
           a.type == b.type && a.attribute == b.attribute && a.left == b.left && a.top == b.top &&
           a.right == b.right && a.bottom == b.bottom;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    std::vector<brio::HotspotRecord> records;
    size_t count = in.ConsumeIntegralInRange<size_t>(0, 64);
    brio::GlobalHandle list = brio::ListCreate();
    if (!list) return 0;
    for (size_t i = 0; i < count; ++i) {
        brio::HotspotRecord r;
        std::memset(&r, 0, sizeof r);
        r.type = in.ConsumeIntegral<uint8_t>();
        r.attribute = in.ConsumeIntegral<uint8_t>();
        r.left = in.ConsumeIntegral<int16_t>();
        r.top = in.ConsumeIntegral<int16_t>();
        r.right = r.left + in.ConsumeIntegral<int16_t>();
        r.bottom = r.top + in.ConsumeIntegral<int16_t>();
        FillString(in, r.name);
        FillString(in, r.binding);
        if (!brio::ListInsert(list, &r, sizeof r)) fuzz::Mismatch("ListInsert");
        records.push_back(r);
    }
    brio::GlobalHandle picture = brio::PlatGlobalAlloc(brio::kGhnd, 58);
    auto* p = static_cast<uint8_t*>(brio::PlatGlobalLock(picture));
    p[0] = brio::kPictureDib;
    brio::PutU32(p, brio::kPicHotspotOffset, 58);
    brio::PlatGlobalUnlock(picture);
    if (brio::BuildHotspotBlock(&picture, list) != 0) fuzz::Mismatch("BuildHotspotBlock refused");
    brio::GlobalHandle back = brio::BuildHotspotList(picture);
    if (!back) fuzz::Mismatch("BuildHotspotList refused its own block");
    if (brio::ListCount(back) != records.size()) fuzz::Mismatch("hotspot count");
    size_t i = 0;
    for (brio::GlobalHandle node = brio::ListNext(back, nullptr); node;
         node = brio::ListNext(back, node), ++i) {
        brio::HotspotRecord r;
        brio::CopyHotspot(node, &r);
        if (!Same(r, records[i])) fuzz::Mismatch("hotspot record");
    }
    brio::ListDestroy(back);
    brio::ListDestroy(list);
    brio::PlatGlobalFree(picture);
    return 0;
}
