// The Topic exports: C arguments in, the topic module, status codes out.
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "brioutil.h"
#include "frame/guard.h"
#include "platform/platform.h"
#include "topic/topic.h"

using namespace brio;

static const char* TopicNewBody(uint32_t* length, int32_t* status) {
    if (length) *length = kTopicTemplateLength;
    if (status) *status = 0;
    return kTopicTemplate;
}

static TopicImport* TopicImportStringBody(
    const char* rtfText, const char** rtfOut, uint32_t* rtfOutLength, int32_t* nonScrollingCount,
    char** contextString, uint32_t* contextLength, char** title, uint32_t* titleLength,
    char** browseSequence, uint32_t* browseLength, char** keywords, uint32_t* keywordsLength,
    uint32_t* consumed, const char** firstLine, uint32_t* firstLineLength, int32_t* status) {
    void* memory = BrioMalloc(sizeof(TopicImport));
    if (!memory) {
        if (status) *status = BRIO_ERR_NOT_FOUND;
        return nullptr;
    }
    auto* handle = new (memory) TopicImport();
    char** strings[] = {contextString, title, browseSequence, keywords};
    uint32_t* lengths[] = {contextLength, titleLength, browseLength, keywordsLength};
    for (int i = 0; i < 4; ++i) {
        if (strings[i]) *strings[i] = nullptr;
        if (lengths[i]) *lengths[i] = 0;
    }
    if (nonScrollingCount) *nonScrollingCount = 0;
    TopicImported out;
    int32_t rc = TopicImportRun(rtfText, *handle, out);
    if (status) *status = rc;
    if (nonScrollingCount) *nonScrollingCount = out.nonScrolling;
    if (rtfOut) *rtfOut = handle->output.Text();
    if (rtfOutLength) *rtfOutLength = static_cast<uint32_t>(handle->output.Length());
    if (consumed) *consumed = out.consumed;
    const char* first = TopicFirstLine();
    if (firstLine) *firstLine = first;
    if (firstLineLength) *firstLineLength = static_cast<uint32_t>(std::strlen(first));
    for (int i = 0; i < 4; ++i) {
        if (!out.strings[i]) continue;
        if (strings[i]) {
            *strings[i] = out.strings[i];
        } else {
            std::free(out.strings[i]);
        }
        if (lengths[i]) *lengths[i] = out.lengths[i];
    }
    return handle;
}

static void TopicImportStringCloseBody(TopicImport* handle) {
    if (!handle) return;
    handle->~TopicImport();
    BrioFree(handle);
}

static int32_t TopicEmitRtfFileBody(const char* rtfText, const char* contextString,
                                    const char* title, const char* entryMacro, char* keywords,
                                    const char* browseSequence, const char* outputPath,
                                    int32_t nonScrollingCount) {
    AtomicFile file;
    if (!outputPath || !file.Open(outputPath)) return BRIO_ERR_CREATE_OUTPUT;
    TopicProperties properties{contextString, title, entryMacro, keywords, browseSequence};
    return TopicEmit(rtfText, properties, file, nonScrollingCount);
}

static int32_t TopicFindTextBody(const char* rtfText, const char* phrase, int32_t* status) {
    int32_t localStatus = 0;
    return TopicFind(rtfText, phrase, status ? status : &localStatus);
}

static TopicFile* TopicOpenDummyFileBody(const char* path) {
    if (!path) return nullptr;
    // Written beside the file and put in its place on close, as every
    // file of the library is.
    auto handle = std::make_unique<TopicFile>();
    if (!handle->file.Open(path, true)) return nullptr;
    TopicDummyOpen(*handle);
    return handle.release();
}

static int32_t TopicDummyBody(TopicFile* handle, const char* contextString, const char* title,
                              const char* entryMacro, char* keywords, const char* browseSequence,
                              const char* bodyText, int32_t keepn) {
    if (!handle) return 0;
    TopicProperties properties{contextString, title, entryMacro, keywords, browseSequence};
    return TopicDummyWrite(*handle, properties, bodyText, keepn != 0);
}

static int32_t TopicCloseDummyFileBody(TopicFile* handle) {
    if (!handle) return BRIO_ERR_WRITE;
    std::unique_ptr<TopicFile> owned(handle);
    return TopicDummyClose(*owned);
}

extern "C" BRIOUTIL_EXPORT const char* BRIOAPI TopicNew(uint32_t* length, int32_t* status) {
    return GuardExport([&] { return TopicNewBody(length, status); }, [] { return kTopicTemplate; });
}

extern "C" BRIOUTIL_EXPORT TopicImport* BRIOAPI TopicImportString(
    const char* rtfText, const char** rtfOut, uint32_t* rtfOutLength, int32_t* nonScrollingCount,
    char** contextString, uint32_t* contextLength, char** title, uint32_t* titleLength,
    char** browseSequence, uint32_t* browseLength, char** keywords, uint32_t* keywordsLength,
    uint32_t* consumed, const char** firstLine, uint32_t* firstLineLength, int32_t* status) {
    return GuardExport(
        [&] {
            return TopicImportStringBody(rtfText, rtfOut, rtfOutLength, nonScrollingCount,
                                         contextString, contextLength, title, titleLength,
                                         browseSequence, browseLength, keywords, keywordsLength,
                                         consumed, firstLine, firstLineLength, status);
        },
        [&] {
            if (status) *status = BRIO_ERR_NOT_FOUND;
            return static_cast<TopicImport*>(nullptr);
        });
}

extern "C" BRIOUTIL_EXPORT void BRIOAPI TopicImportStringClose(TopicImport* handle) {
    GuardExport([&] { TopicImportStringCloseBody(handle); }, [] {});
}

extern "C" BRIOUTIL_EXPORT int32_t BRIOAPI TopicEmitRtfFile(
    const char* rtfText, const char* contextString, const char* title, const char* entryMacro,
    char* keywords, const char* browseSequence, const char* outputPath, int32_t nonScrollingCount) {
    return GuardExport(
        [&] {
            return TopicEmitRtfFileBody(rtfText, contextString, title, entryMacro, keywords,
                                        browseSequence, outputPath, nonScrollingCount);
        },
        [] { return int32_t{BRIO_ERR_NO_MEMORY}; });
}

extern "C" BRIOUTIL_EXPORT int32_t BRIOAPI TopicFindText(const char* rtfText, const char* phrase,
                                                         int32_t* status) {
    return GuardExport([&] { return TopicFindTextBody(rtfText, phrase, status); },
                       [&] {
                           if (status) *status = BRIO_ERR_NO_MEMORY;
                           return int32_t{0};
                       });
}

extern "C" BRIOUTIL_EXPORT TopicFile* BRIOAPI TopicOpenDummyFile(const char* path) {
    return GuardExport([&] { return TopicOpenDummyFileBody(path); },
                       [] { return static_cast<TopicFile*>(nullptr); });
}

extern "C" BRIOUTIL_EXPORT int32_t BRIOAPI TopicDummy(TopicFile* handle, const char* contextString,
                                                      const char* title, const char* entryMacro,
                                                      char* keywords, const char* browseSequence,
                                                      const char* bodyText, int32_t keepn) {
    return GuardExport(
        [&] {
            return TopicDummyBody(handle, contextString, title, entryMacro, keywords,
                                  browseSequence, bodyText, keepn);
        },
        [] { return int32_t{0}; });
}

extern "C" BRIOUTIL_EXPORT int32_t BRIOAPI TopicCloseDummyFile(TopicFile* handle) {
    return GuardExport([&] { return TopicCloseDummyFileBody(handle); },
                       [] { return int32_t{BRIO_ERR_WRITE}; });
}
