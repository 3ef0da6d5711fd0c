// Form files through a script of operations: the input is the file; its
// last bytes choose operations whose names are words of the file itself.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <fuzzer/FuzzedDataProvider.h>

#include "brioutil.h"
#include "fuzz_support.h"

namespace {

std::vector<std::string> Words(const uint8_t* data, size_t size) {
    std::vector<std::string> words = {"", "Form", "Begin", "End"};
    std::string w;
    for (size_t i = 0; i <= size && words.size() < 256; ++i) {
        char ch = i < size ? static_cast<char>(data[i]) : ' ';
        if (ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n' || ch == '=' || ch == 0) {
            if (!w.empty()) words.push_back(w);
            w.clear();
        } else {
            w += ch;
        }
    }
    return words;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = fuzz::TempPath("form.txt");
    if (!fuzz::WriteBytes(path, data, size)) return 0;
    std::vector<std::string> words = Words(data, size);
    FuzzedDataProvider ops(data, size);  // integers come from the end
    FormFile* form = FormOpen(path.c_str());
    if (!form) {
        std::remove(path.c_str());
        return 0;
    }
    auto pick = [&]() -> const char* {
        return words[ops.ConsumeIntegralInRange<size_t>(0, words.size() - 1)].c_str();
    };
    int count = ops.ConsumeIntegralInRange<int>(0, 12);
    for (int i = 0; i < count; ++i) {
        int op = ops.ConsumeIntegralInRange<int>(0, 3);
        const char* type = pick();
        const char* name = pick();
        const char* key = pick();
        if (op == 0) {
            const char* value = nullptr;
            int32_t length = -1;
            int32_t rc = FormGetProperty(form, type, name, key, &value, &length);
            // A value runs to the end of its line and may hold zero bytes:
            // its terminator stands right after `length` bytes.
            if (rc == 0 && (!value || length < 0 || value[length] != '\0'))
                fuzz::Mismatch("FormGetProperty length");
            if (rc != 0 && rc != BRIO_ERR_NOT_FOUND) fuzz::Mismatch("FormGetProperty status");
        } else if (op == 1) {
            int32_t rc = FormSetProperty(form, type, name, key, pick());
            if (rc != 0 && rc != BRIO_ERR_NOT_FOUND && rc != BRIO_ERR_BAD_VALUE)
                fuzz::Mismatch("FormSetProperty status");
        } else if (op == 2) {
            int32_t rc = FormSetProperty(form, type, name, key, "value\r\nline");
            if (rc != BRIO_ERR_NOT_FOUND && rc != BRIO_ERR_BAD_VALUE)
                fuzz::Mismatch("FormSetProperty accepted a line break");
        } else {
            int32_t rc = FormDeleteSection(form, type, name);
            if (rc != 0 && rc != BRIO_ERR_NOT_FOUND) fuzz::Mismatch("FormDeleteSection status");
        }
    }
    FormClose(form);
    std::remove(path.c_str());
    return 0;
}
