// TopicFindText with a phrase taken from the input: the text after its last
// NUL when there is one, else two to four words from the middle of the
// topic itself.
#include <cstring>
#include <string>

#include "brioutil.h"
#include "fuzz_support.h"

namespace {

std::string WordsFromMiddle(const std::string& text, size_t count) {
    size_t at = text.find(' ', text.size() / 2);
    if (at == std::string::npos) return text.substr(text.size() / 2, 12);
    std::string phrase;
    size_t words = 0;
    for (size_t i = at + 1; i < text.size() && words < count; ++i) {
        char ch = text[i];
        if (ch == ' ') {
            ++words;
        } else if (ch == '\\' || ch == '{' || ch == '}' || ch == '\r' || ch == '\n') {
            break;
        }
        phrase += ch;
    }
    return phrase;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const void* last = size ? memrchr(data, 0, size) : nullptr;
    size_t rtfSize = last ? static_cast<size_t>(static_cast<const uint8_t*>(last) - data) : size;
    std::string rtf(reinterpret_cast<const char*>(data), rtfSize);
    std::string phrase = last ? fuzz::AsText(data + rtfSize + 1, size - rtfSize - 1)
                              : WordsFromMiddle(rtf, 2 + size % 3);
    int32_t status = 0;
    int32_t found = TopicFindText(rtf.c_str(), phrase.c_str(), &status);
    if (found != 0 && found != 1) fuzz::Mismatch("TopicFindText returned neither 0 nor 1");
    if (found == 1 && status != 0) fuzz::Mismatch("TopicFindText found with a failure status");
    return 0;
}
