// Hotspot records built from the input, written as a picture's hotspot block
// and read back, gives the same records.
#include <cstring>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "adt/bytes.h"
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
        records.push_back(r);
    }
    brio::Picture picture;
    picture.record.assign(58, 0);
    picture.record[0] = brio::kPictureDib;
    picture.SetField(brio::kPicHotspotOffset, 58);
    if (brio::AttachHotspotBlock(&picture, records) != 0)
        fuzz::Mismatch("AttachHotspotBlock refused");
    std::vector<brio::HotspotRecord> back;
    if (!brio::ReadHotspots(picture, &back)) fuzz::Mismatch("ReadHotspots refused its own block");
    if (back.size() != records.size()) fuzz::Mismatch("hotspot count");
    for (size_t i = 0; i < back.size() && i < records.size(); ++i)
        if (!Same(back[i], records[i])) fuzz::Mismatch("hotspot record");
    return 0;
}
