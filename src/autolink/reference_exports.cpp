// AutolinkReference and AutolinkDone: filling and releasing a dictionary.
#include <new>
#include <string_view>

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
