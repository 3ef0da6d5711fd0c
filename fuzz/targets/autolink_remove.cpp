// AutolinkRemove over arbitrary text.
#include <cstdlib>
#include <cstring>
#include <string>

#include "brioutil.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string rtf = fuzz::AsText(data, size);
    int32_t length = -7, result = 0;
    char* text = AutolinkRemove(rtf.c_str(), &length, &result);
    if (text) {
        if (length < 0 || std::strlen(text) != static_cast<size_t>(length))
            fuzz::Mismatch("AutolinkRemove length");
        std::free(text);
    }
    return 0;
}
