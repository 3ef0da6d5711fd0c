// TopicImportString over a whole document, topic after topic, following
// `consumed` the way a host does.
#include <cstdlib>
#include <cstring>
#include <string>

#include "brioutil.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text = fuzz::AsText(data, size);
    const char* pos = text.c_str();
    const char* end = pos + std::strlen(pos);
    for (int topics = 0; topics < 10000; ++topics) {
        const char* rtf = nullptr;
        uint32_t rtfLength = 0, contextLength = 0, titleLength = 0, browseLength = 0;
        uint32_t keywordsLength = 0, consumed = 0, firstLineLength = 0;
        int32_t nonScrolling = 0, status = 0;
        char *context = nullptr, *title = nullptr, *browse = nullptr, *keywords = nullptr;
        const char* firstLine = nullptr;
        TopicImport* h =
            TopicImportString(pos, &rtf, &rtfLength, &nonScrolling, &context, &contextLength,
                              &title, &titleLength, &browse, &browseLength, &keywords,
                              &keywordsLength, &consumed, &firstLine, &firstLineLength, &status);
        // Touch every returned text over its reported length.
        if (rtf) fuzz::Touch(rtf, rtfLength);
        if (firstLine) fuzz::Touch(firstLine, firstLineLength);
        uint32_t lengths[] = {contextLength, titleLength, browseLength, keywordsLength};
        int i = 0;
        for (char* s : {context, title, browse, keywords}) {
            if (s && std::strlen(s) != lengths[i]) fuzz::Mismatch("TopicImportString length");
            std::free(s);
            ++i;
        }
        TopicImportStringClose(h);
        if (!h || status != 0 || consumed == 0 || consumed > static_cast<uint32_t>(end - pos))
            break;
        pos += consumed;
        if (pos >= end) break;
    }
    return 0;
}
