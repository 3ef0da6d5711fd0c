// LzDecompress: the first two bytes give the output capacity.
#include <vector>

#include "compress/lz.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    uint32_t capacity = data[0] | (data[1] << 8);
    std::vector<uint8_t> source(data + 2, data + size);
    std::vector<uint8_t> out(capacity);
    int32_t n = brio::LzDecompress(source.data(), out.data(), static_cast<uint32_t>(source.size()),
                                   capacity);
    if (n < 0 || static_cast<uint32_t>(n) > capacity) fuzz::Mismatch("LzDecompress count");
    return 0;
}
