// The tokenizer with its group depth, copying destination groups the way
// the passes do; every token written back must give the input again.
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "rtf/rtf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text = fuzz::AsText(data, size);
    brio::RtfReader reader(text.c_str());
    brio::RtfSink sink;
    for (int guard = 0; guard < 1 << 20; ++guard) {
        if (reader.Next() != 0) break;
        if (reader.Kind() == brio::kRtfGroup) {
            if (reader.First() == '{') {
                reader.Push();
            } else if (reader.Pop() != 0) {
                break;
            }
        }
        if (sink.Append(reader.Text(), static_cast<size_t>(reader.Length())) != 0) return 0;
        if (reader.Kind() == brio::kRtfControlWord && reader.Class() == brio::kRtfDestination &&
            reader.Depth() >= 2) {
            if (reader.CopyGroup(&sink) != 0) break;
        }
    }
    // What was read is exactly a prefix of the input.
    if (sink.Length() > text.size() || std::memcmp(sink.Text(), text.c_str(), sink.Length()) != 0)
        __builtin_trap();
    return 0;
}
