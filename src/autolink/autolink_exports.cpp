// Autolink and AutolinkRemove: linking a topic's RTF and unlinking it.
#include <new>

#include "autolink/autolink.h"
#include "brioutil.h"
#include "frame/guard.h"

using namespace brio;

static char* AutolinkBody(AutolinkDictionary* dictionary, const char* rtf, const char* topicContext,
                          const char* popupContext, int32_t oncePerPass, uint32_t linkColour,
                          int32_t* length, int32_t* result) {
    if (!dictionary || !rtf) {
        if (result) *result = BRIO_ERR_NOT_FOUND;
        return nullptr;
    }
    int32_t status = 0;
    char* output = nullptr;
    size_t outputLength = 0;
    try {
        dictionary->passCount += 1;
        dictionary->oncePerPass = oncePerPass != 0;
        dictionary->topicContext = topicContext ? topicContext : "";
        dictionary->popupContext = popupContext ? popupContext : "";
        dictionary->ResetWalk();
        // The previous result stays until this run is over: the text may be
        // that result itself.
        status = AutolinkRun(dictionary, rtf, linkColour, &output, &outputLength);
    } catch (const std::bad_alloc&) {
        status = BRIO_ERR_NO_MEMORY;
    } catch (...) {
        status = BRIO_ERR_NO_MEMORY;
    }
    BrioFree(dictionary->resultBuffer);
    dictionary->resultBuffer = output;
    if (result) *result = status;
    if (output && length) *length = static_cast<int32_t>(outputLength);
    return output;
}

static char* AutolinkRemoveBody(const char* rtf, int32_t* length, int32_t* result) {
    if (!rtf) {
        if (result) *result = BRIO_ERR_NOT_FOUND;
        return nullptr;
    }
    char* output = nullptr;
    size_t outputLength = 0;
    int32_t status;
    try {
        status = AutolinkStrip(rtf, &output, &outputLength);
    } catch (...) {
        status = BRIO_ERR_NO_MEMORY;
    }
    if (result) *result = status;
    if (output && length) *length = static_cast<int32_t>(outputLength);
    return output;
}

extern "C" char* BRIOAPI Autolink(AutolinkDictionary* dictionary, const char* rtf,
                                  const char* topicContext, const char* popupContext,
                                  int32_t oncePerPass, uint32_t linkColour, int32_t* length,
                                  int32_t* result) {
    return GuardExport(
        [&] {
            return AutolinkBody(dictionary, rtf, topicContext, popupContext, oncePerPass,
                                linkColour, length, result);
        },
        [&] {
            if (result) *result = BRIO_ERR_NO_MEMORY;
            return static_cast<char*>(nullptr);
        });
}

extern "C" char* BRIOAPI AutolinkRemove(const char* rtf, int32_t* length, int32_t* result) {
    return GuardExport([&] { return AutolinkRemoveBody(rtf, length, result); },
                       [&] {
                           if (result) *result = BRIO_ERR_NO_MEMORY;
                           return static_cast<char*>(nullptr);
                       });
}
