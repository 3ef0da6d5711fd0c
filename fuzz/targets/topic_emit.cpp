// TopicEmitRtfFile into a temporary file. The input is the topic; bytes
// after its last NUL, if any, choose the non-scrolling count and the
// property texts (so plain RTF files serve as seeds).
#include <cstdio>
#include <cstring>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>

#include "brioutil.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const void* last = size ? memrchr(data, 0, size) : nullptr;
    size_t rtfSize = last ? static_cast<size_t>(static_cast<const uint8_t*>(last) - data) : size;
    std::string rtf(reinterpret_cast<const char*>(data), rtfSize);
    int32_t nonScrolling = 1;
    std::string context = "topic_1", title = "A Title", macro = "Macro(\\x)", keywords = "one|two";
    std::string browse = "seq:0010";
    bool nulls = false;
    if (last) {
        FuzzedDataProvider in(data + rtfSize + 1, size - rtfSize - 1);
        nonScrolling = in.ConsumeIntegralInRange<int32_t>(-2, 8);
        nulls = in.ConsumeBool();
        context = in.ConsumeRandomLengthString(40);
        title = in.ConsumeRandomLengthString(40);
        macro = in.ConsumeRandomLengthString(40);
        keywords = in.ConsumeRandomLengthString(60);
        browse = in.ConsumeRandomLengthString(20);
    }
    static const std::string path = fuzz::TempPath("emit.rtf");
    TopicEmitRtfFile(rtf.c_str(), nulls ? nullptr : context.c_str(), title.c_str(),
                     nulls ? nullptr : macro.c_str(), nulls ? nullptr : &keywords[0],
                     browse.c_str(), path.c_str(), nonScrolling);
    std::remove(path.c_str());
    return 0;
}
