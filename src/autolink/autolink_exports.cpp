// The Autolink exports: filling and releasing a dictionary, linking a
// topic's RTF and unlinking it.
#include <new>
#include <string_view>

#include "autolink/autolink.h"
#include "autolink/dictionary.h"
#include "brioutil.h"
#include "frame/guard.h"

using namespace brio;

namespace {

std::string_view View(const char* text) {
    return text ? std::string_view(text) : std::string_view();
}

}  // namespace

static AutolinkDictionary* AutolinkReferenceBody(AutolinkDictionary* dictionary, const char* term,
                                                 const char* synonyms, const char* target,
                                                 int32_t exclude, int32_t caseSensitive,
                                                 const char* extra, uint32_t popup,
                                                 int32_t* result) {
    int32_t status = BRIO_OK;
    bool created = false;
    try {
        if (!dictionary) {
            void* memory = BrioMalloc(sizeof(AutolinkDictionary));
            if (!memory) throw std::bad_alloc();
            try {
                dictionary = new (memory) AutolinkDictionary();
            } catch (...) {
                BrioFree(memory);
                throw;
            }
            created = true;
        }
        status = dictionary->AddReference(View(term), View(synonyms), View(target), View(extra),
                                          exclude != 0, caseSensitive != 0, popup);
    } catch (const std::bad_alloc&) {
        // A dictionary made by this call and left empty is of no use to anyone.
        if (created) {
            dictionary->~AutolinkDictionary();
            BrioFree(dictionary);
            dictionary = nullptr;
        }
        status = BRIO_ERR_NO_MEMORY;
    } catch (...) {
        status = BRIO_ERR_NO_MEMORY;
    }
    if (result) *result = status;
    return dictionary;
}

static void AutolinkDoneBody(AutolinkDictionary* dictionary) {
    if (!dictionary) return;
    dictionary->~AutolinkDictionary();
    BrioFree(dictionary);
}

extern "C" AutolinkDictionary* BRIOAPI AutolinkReference(AutolinkDictionary* dictionary,
                                                         const char* term, const char* synonyms,
                                                         const char* target, int32_t exclude,
                                                         int32_t caseSensitive, const char* extra,
                                                         uint32_t popup, int32_t* result) {
    return GuardExport(
        [&] {
            return AutolinkReferenceBody(dictionary, term, synonyms, target, exclude, caseSensitive,
                                         extra, popup, result);
        },
        [&] {
            if (result) *result = BRIO_ERR_NO_MEMORY;
            return dictionary;
        });
}

extern "C" void BRIOAPI AutolinkDone(AutolinkDictionary* dictionary) {
    GuardExport([&] { AutolinkDoneBody(dictionary); }, [] {});
}

static char* AutolinkBody(AutolinkDictionary* dictionary, const char* rtf, const char* topicContext,
                          const char* popupContext, int32_t oncePerPass, uint32_t linkColour,
                          int32_t* length, int32_t* result) {
    if (!dictionary || !rtf) {
        if (result) *result = BRIO_ERR_NOT_FOUND;
        return nullptr;
    }
    int32_t status = 0;
    char* output = nullptr;
    size_t outputLength = 0, outputCapacity = 0;
    try {
        dictionary->passCount += 1;
        dictionary->oncePerPass = oncePerPass != 0;
        dictionary->topicContext = topicContext ? topicContext : "";
        dictionary->popupContext = popupContext ? popupContext : "";
        dictionary->ResetWalk();
        status = AutolinkRun(dictionary, rtf, linkColour, &output, &outputLength, &outputCapacity);
    } catch (const std::bad_alloc&) {
        status = BRIO_ERR_NO_MEMORY;
    } catch (...) {
        status = BRIO_ERR_NO_MEMORY;
    }
    dictionary->KeepResult(output, outputCapacity);
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
