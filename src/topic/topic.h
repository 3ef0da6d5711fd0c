// The topic module: import of a topic out of help-compiler RTF, emission
// back to it, text search, and placeholder topic files.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/platform.h"
#include "rtf/sink.h"

// The handle of TopicImportString: the imported text.
struct TopicImport {
    brio::RtfSink output;
};

// The handle of TopicOpenDummyFile: the file, written beside its place.
struct TopicFile {
    brio::AtomicFile file;
};

namespace brio {

// The RTF of a new, empty topic (577 characters).
extern const char kTopicTemplate[];
extern const uint32_t kTopicTemplateLength;

// What an import yields besides the text.
struct TopicImported {
    int32_t nonScrolling = 0;
    uint32_t consumed = 0;
    // Context string, title, browse sequence, keywords: malloc'd, null when
    // the topic has no such footnote.
    char* strings[4] = {};
    uint32_t lengths[4] = {};
};

// The footnote texts of a topic. The keywords are split at '|' in place.
struct TopicProperties {
    const char* contextString;
    const char* title;
    const char* entryMacro;
    char* keywords;
    const char* browseSequence;
};

// Imports the topic at the start of `rtfText` into the handle's output.
int32_t TopicImportRun(const char* rtfText, TopicImport& handle, TopicImported& out);
// The first line of the last import's text (thread-local).
const char* TopicFirstLine();

// Writes the topic to the file and commits it (aborts it on failure).
int32_t TopicEmit(const char* rtfText, const TopicProperties& properties, AtomicFile& file,
                  int32_t nonScrollingCount);

// 1 when the words of the phrase occur in order in the topic's visible
// text; *status receives 0 or the code that stopped the reading.
int32_t TopicFind(const char* rtfText, const char* phrase, int32_t* status);

// Placeholder topic files.
bool TopicDummyOpen(TopicFile& file);
int32_t TopicDummyWrite(TopicFile& file, const TopicProperties& properties, const char* bodyText,
                        bool keepn);
int32_t TopicDummyClose(TopicFile& file);

}  // namespace brio
