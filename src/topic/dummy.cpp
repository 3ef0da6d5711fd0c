// Placeholder topic files: the template's header, then topics given as
// plain properties and body text, written straight to a text-mode file.
#include <cstdio>
#include <cstring>

#include "brioutil.h"
#include "platform/platform.h"
#include "rtf/rtf.h"
#include "topic/topic.h"

namespace brio {

namespace {

// Writes to the file, and a blank after "\page" or "\keepn" when the next
// character would otherwise be read as part of that word.
class DummyWriter {
  public:
    explicit DummyWriter(FILE* file) : file_(file) {}
    void Word(const char* word) {
        Put(word);
        openEnd_ = RtfOpenWordEnd(word, std::strlen(word));
    }
    void Put(const char* text) { Put(text, std::strlen(text)); }
    void Put(const char* text, size_t length) {
        if (length == 0) return;
        if (openEnd_ && RtfWordAbsorbs(openEnd_, text[0])) std::fputc(' ', file_);
        openEnd_ = 0;
        std::fwrite(text, 1, length, file_);
    }
    void Footnote(char mark, const char* text) {
        char head[] = "\n?{\\footnote {\\super ?}";
        head[1] = mark;
        head[sizeof head - 3] = mark;
        Put(head);
        Put(text);
        Put("}");
    }
    // The body is plain text: backslashes and braces are escaped.
    void Body(const char* text) {
        const char* run = text;
        for (const char* p = text;; ++p) {
            if (*p == '\\' || *p == '{' || *p == '}' || *p == 0) {
                Put(run, static_cast<size_t>(p - run));
                if (*p == 0) break;
                char escaped[3] = {'\\', *p, 0};
                Put(escaped, 2);
                run = p + 1;
            }
        }
    }

  private:
    FILE* file_;
    char openEnd_ = 0;
};

}  // namespace

}  // namespace brio

extern "C" BRIOUTIL_EXPORT TopicFile* BRIOAPI TopicOpenDummyFile(const char* path) {
    using namespace brio;
    if (!path) return nullptr;
    FILE* file = PlatFileOpen(path, "w");
    if (!file) return nullptr;
    // The template less the brace that closes the document.
    std::fwrite(kTopicTemplate, 1, kTopicTemplateLength - 1, file);
    return reinterpret_cast<TopicFile*>(file);
}

extern "C" BRIOUTIL_EXPORT int32_t BRIOAPI TopicDummy(TopicFile* handle, const char* contextString,
                                                      const char* title, const char* entryMacro,
                                                      char* keywords, const char* browseSequence,
                                                      const char* bodyText, int32_t keepn) {
    using namespace brio;
    if (!handle) return 0;
    DummyWriter w(reinterpret_cast<FILE*>(handle));
    w.Word("\\page");
    if (keepn) w.Word("\\keepn");
    if (contextString && *contextString) w.Footnote('#', contextString);
    if (title && *title) w.Footnote('$', title);
    if (entryMacro && *entryMacro) w.Footnote('!', entryMacro);
    if (keywords && *keywords) {
        for (char* part = keywords; part;) {
            char* bar = std::strchr(part, '|');
            if (bar) *bar = 0;
            w.Footnote('K', part);
            part = bar ? bar + 1 : nullptr;
        }
    }
    if (browseSequence && *browseSequence) w.Footnote('+', browseSequence);
    if (bodyText && *bodyText) w.Body(bodyText);
    if (keepn) w.Put("\n\\par\\pard\n");
    return 0;
}

extern "C" BRIOUTIL_EXPORT int32_t BRIOAPI TopicCloseDummyFile(TopicFile* handle) {
    if (!handle) return BRIO_ERR_WRITE;
    FILE* file = reinterpret_cast<FILE*>(handle);
    std::fputs("}\n", file);
    // A write that failed earlier counts as much as a failed close.
    bool failed = std::fflush(file) != 0 || std::ferror(file) != 0;
    if (std::fclose(file) != 0) failed = true;
    return failed ? BRIO_ERR_WRITE : 0;
}
