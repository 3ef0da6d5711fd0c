// ExpandPicture over a stored picture record.
#include <vector>

#include "bitmap/picture.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A private copy, so a read past the record is caught exactly.
    std::vector<uint8_t> stored(data, data + size);
    brio::GlobalHandle h = brio::ExpandPicture(stored.data(), stored.size());
    if (brio::IsPicture(h)) {
        size_t n = brio::PlatGlobalSize(h);
        auto* p = static_cast<const uint8_t*>(brio::PlatGlobalLock(h));
        fuzz::Touch(p, n);
        brio::PlatGlobalUnlock(h);
        brio::FreePicture(h);
    }
    return 0;
}
