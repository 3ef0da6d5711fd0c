// ExpandPicture over a stored picture record.
#include <vector>

#include "bitmap/picture.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A private copy, so a read past the record is caught exactly.
    std::vector<uint8_t> stored(data, data + size);
    brio::Picture picture;
    if (brio::ExpandPicture(stored.data(), stored.size(), &picture) == brio::PictureRead::Ok) {
        fuzz::Touch(picture.record.data(), picture.record.size());
        fuzz::Touch(picture.bits.data(), picture.bits.size());
    }
    return 0;
}
