// Character input and output of an RtfContext, and its clean-up.
#include <climits>
#include <cstring>

#include "platform/platform.h"
#include "rtf/rtf.h"

namespace brio {

namespace {
constexpr int kCtrlZ = 26;
}

int RtfGetCharFile(RtfContext* c) {
    if (!c->inFile) return -1;
    int ch = std::fgetc(c->inFile);
    if (ch == EOF) return -1;
    if (ch == kCtrlZ) {
        // Keep Ctrl-Z in the stream so every later read ends there too.
        std::ungetc(ch, c->inFile);
        return -1;
    }
    return ch;
}

void RtfUngetChar(RtfContext* c, int ch) {
    --c->inOffset;
    if (ch < 0) return;
    if (c->inIsString) {
        --c->inPos;
    } else if (c->inFile) {
        std::ungetc(ch, c->inFile);
    }
}

int32_t RtfSeek(RtfContext* c, uint32_t offset) {
    c->pendingLiteral = 0;
    c->inOffset = offset;
    if (c->inIsString) {
        c->inPos = c->inText + offset;
        return 0;
    }
    if (!c->inFile) return BRIO_ERR_READ;
    return std::fseek(c->inFile, static_cast<long>(offset), SEEK_SET);
}

int32_t RtfRead(RtfContext* c, char* buffer, int32_t n) {
    if (n <= 0) return 0;
    c->inOffset += static_cast<uint32_t>(n);
    if (c->inIsString) {
        std::memcpy(buffer, c->inPos, static_cast<size_t>(n));
        c->inPos += n;
        return 0;
    }
    if (!c->inFile) return BRIO_ERR_READ;
    size_t got = std::fread(buffer, 1, static_cast<size_t>(n), c->inFile);
    return got == static_cast<size_t>(n) ? 0 : BRIO_ERR_READ;
}

int32_t RtfCopyInput(RtfContext* c, int32_t n) {
    if (n < 0) return BRIO_ERR_NOT_FOUND;
    for (int32_t i = 0; i < n; ++i) {
        char one[2] = {0, 0};
        int32_t rc = RtfRead(c, one, 1);
        if (rc != 0) return rc;
        rc = RtfWriteString(c, one);
        if (rc != 0) return rc;
    }
    return 0;
}

int32_t RtfAppendBytes(RtfContext* c, const char* data, size_t length) {
    if (length >= static_cast<size_t>(INT32_MAX / 2)) return -1;
    int32_t len = static_cast<int32_t>(length);
    if (c->outFree <= len) {
        // The least multiple of 512 that makes room, but at least doubling:
        // large outputs must not cost quadratic copying.
        int64_t step = (static_cast<int64_t>(len) - c->outFree + 512) / 512 * 512;
        int64_t capacity = static_cast<int64_t>(c->outCapacity) + step;
        if (capacity < 2 * static_cast<int64_t>(c->outCapacity))
            capacity = 2 * static_cast<int64_t>(c->outCapacity);
        if (capacity > INT32_MAX) capacity = static_cast<int64_t>(c->outCapacity) + step;
        if (capacity > INT32_MAX) return -1;
        ptrdiff_t used = c->outPos - c->outBuffer;
        char* grown = static_cast<char*>(BrioRealloc(c->outBuffer, static_cast<size_t>(capacity)));
        if (!grown) return -1;
        c->outFree += static_cast<int32_t>(capacity - c->outCapacity);
        c->outCapacity = static_cast<int32_t>(capacity);
        c->outBuffer = grown;
        c->outPos = grown + used;
    }
    std::memcpy(c->outPos, data, length);
    c->outPos += len;
    *c->outPos = 0;
    c->outFree -= len;
    return len;
}

int32_t RtfAppendOutput(RtfContext* c, const char* text) {
    return RtfAppendBytes(c, text, std::strlen(text));
}

int32_t RtfWriteBytesSlow(RtfContext* c, const char* data, size_t length) {
    if (c->outIsBuffer) {
        if (!c->outBuffer) return 0;
        return RtfAppendBytes(c, data, length) < 0 ? BRIO_ERR_NO_MEMORY : 0;
    }
    if (!c->outFile || length == 0) return 0;
    return std::fwrite(data, 1, length, c->outFile) == length ? 0 : BRIO_ERR_WRITE;
}

int32_t RtfWriteString(RtfContext* c, const char* text) {
    return RtfWriteBytes(c, text, std::strlen(text));
}

int32_t RtfStartBufferOutput(RtfContext* c) {
    char* buffer = static_cast<char*>(BrioMalloc(kRtfInitialOutput));
    if (!buffer) return BRIO_ERR_NO_MEMORY;
    buffer[0] = 0;
    c->outIsBuffer = 1;
    c->outBuffer = buffer;
    c->outPos = buffer;
    c->outCapacity = kRtfInitialOutput;
    c->outFree = kRtfInitialOutput;
    return 0;
}

int32_t RtfReserveOutput(RtfContext* c, size_t size) {
    if (size <= static_cast<size_t>(c->outCapacity) || size > static_cast<size_t>(INT32_MAX / 2))
        return 0;
    size_t used = static_cast<size_t>(c->outPos - c->outBuffer);
    char* grown = static_cast<char*>(BrioRealloc(c->outBuffer, size));
    if (!grown) return BRIO_ERR_NO_MEMORY;
    // Before the first write: huge pages can back it from the start.
    PlatAdviseLarge(grown + used, size - used);
    c->outFree += static_cast<int32_t>(size) - c->outCapacity;
    c->outCapacity = static_cast<int32_t>(size);
    c->outBuffer = grown;
    c->outPos = grown + used;
    return 0;
}

void RtfCloseFiles(RtfContext* c) {
    if (c->inFile) std::fclose(c->inFile);
    if (c->outFile) std::fclose(c->outFile);
}

void RtfFreeContext(RtfContext* c) {
    if (c->groupStack) BrioFree(c->groupStack);
    if (c->linkRecords) BrioFree(c->linkRecords);
    if (c->candidates) BrioFree(c->candidates);
    if (c->charStyles) {
        for (int32_t i = 0; i < c->charStyleCount; ++i) BrioFree(c->charStyles[i].name);
        BrioFree(c->charStyles);
    }
    if (c->pageRecords) BrioFree(c->pageRecords);
    if (c->tokenHeap) BrioFree(c->tokenHeap);
    c->groupStack = nullptr;
    c->linkRecords = nullptr;
    c->candidates = nullptr;
    c->charStyles = nullptr;
    c->charStyleCount = 0;
    c->charStyleCapacity = 0;
    c->pageRecords = nullptr;
    c->tokenHeap = nullptr;
    c->tokenHeapSize = 0;
}

}  // namespace brio
