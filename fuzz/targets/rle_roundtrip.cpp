// PackRle then UnpackRle gives back the input, within the packing bound.
#include <cstring>
#include <vector>

#include "bitmap/rle.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> packed(brio::PackRleBound(size));
    size_t n = brio::PackRle(data, packed.data(), size);
    if (n > packed.size()) fuzz::Mismatch("PackRle overran its bound");
    packed.resize(n);  // exact, so a read past the stream is caught
    std::vector<uint8_t> out(size);
    int32_t got = brio::UnpackRle(packed.data(), out.data(), static_cast<uint32_t>(n),
                                  static_cast<uint32_t>(size));
    if (got != static_cast<int32_t>(size)) fuzz::Mismatch("UnpackRle count");
    if (size && std::memcmp(out.data(), data, size) != 0) fuzz::Mismatch("UnpackRle bytes");
    return 0;
}
