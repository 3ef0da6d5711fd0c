// The tokenizer with its group stack, over string input and over file
// input, copying destination groups the way the passes do.
#include <cstdio>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "rtf/rtf.h"

namespace {

void Tokenize(brio::RtfContext* c) {
    if (brio::RtfStartBufferOutput(c) != 0) return;
    for (int guard = 0; guard < 1 << 20; ++guard) {
        if (brio::RtfNextToken(c) != 0) break;
        if (c->tokenKind == brio::kRtfGroup) {
            if (c->tokenText[0] == '{') {
                if (brio::RtfPushGroup(c) != 0) break;
            } else if (brio::RtfPopGroup(c) != 0) {
                break;
            }
        } else if (c->tokenKind == brio::kRtfControlWord &&
                   c->keywordClass == brio::kRtfDestination && c->depth >= 2) {
            if (brio::RtfCopyGroup(c) != 0) break;
            continue;
        }
        if (brio::RtfWriteToken(c) != 0) break;
    }
    brio::BrioFree(c->outBuffer);
    c->outBuffer = nullptr;
    brio::RtfFreeContext(c);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text = fuzz::AsText(data, size);
    {
        brio::RtfContext c;
        std::memset(&c, 0, sizeof c);
        c.inText = c.inPos = text.c_str();
        c.inIsString = 1;
        c.outIsBuffer = 1;
        Tokenize(&c);
    }
    // File input reads every byte, NULs included, up to Ctrl-Z.
    if (size > 0) {
        FILE* in = fmemopen(const_cast<uint8_t*>(data), size, "rb");
        if (in) {
            brio::RtfContext c;
            std::memset(&c, 0, sizeof c);
            c.inFile = in;
            c.outIsBuffer = 1;
            Tokenize(&c);
            std::fclose(in);
        }
    }
    return 0;
}
