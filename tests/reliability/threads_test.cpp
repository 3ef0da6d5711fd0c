// Every export family on several threads at once gives each thread the
// results of a lone run (the tsan preset runs this under ThreadSanitizer).
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "bitmap/picture_fixtures.h"
#include "platform/platform.h"
#include "test_support.h"
#include "topic/topic_support.h"

namespace {

using namespace brio::test;

const char kTopic[] =
    "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}"
    "{\\stylesheet{\\s0 Normal;}{\\*\\cs99 \\additive\\uldb Autolink;}}\r\n"
    "\\pard\\keepn\\plain\\f0{\\b Printing a document}\\par\r\n"
    "\\pard\\plain\\f0 To print, open the {\\uldb File menu}{\\v menu_file} and choose Print. "
    "See also the glossary window.\\par\r\n}";

const char kForm[] =
    "VERSION 5.00\r\nBegin VB.Form Form1\r\n   Caption = \"Form1\"\r\n"
    "   Begin VB.Menu x\r\n   End\r\nEnd\r\n";

// What one thread's calls give, as one text.
struct Log {
    std::string out;
    void operator()(const std::string& part) { out += part + "\n--\n"; }
};

void RunProbe(Log& add) {
    uint32_t length = 0;
    int32_t status = -7;
    const char* data = nullptr;
    uint32_t size = 0;
    add(std::to_string(CadenceDLL()) + TopicNew(&length, &status) +
        std::to_string(GetAppPath("BrioutilThreads.exe", &data, &size)));
}

// Topics: emission, import, search, placeholder file.
void RunTopics(const TempDir& dir, const std::string& tag, Log& add) {
    std::string rtf = dir.File(tag + ".rtf");
    char keywords[] = "print|printer";
    int32_t status =
        TopicEmitRtfFile(kTopic, "print", "Printing", "", keywords, "main:1", rtf.c_str(), 1);
    add(std::to_string(status) + ReadFile(rtf));
    Imported imported = ImportTopic(ReadFile(rtf));
    add(imported.rtf + imported.title + imported.keywords);
    int32_t found = TopicFindText(kTopic, "glossary WINDOW", &status);
    add(std::to_string(found) + std::to_string(status));
    std::string dummy = dir.File(tag + ".dummy");
    TopicFile* file = TopicOpenDummyFile(dummy.c_str());
    char more[] = "a||b";
    add(std::to_string(TopicDummy(file, "ctx", "Title", "", more, "", "C:\\temp", 0)));
    status = TopicCloseDummyFile(file);
    add(std::to_string(status) + ReadFile(dummy));
}

// Autolink on a dictionary of this thread's own.
void RunAutolink(Log& add) {
    int32_t result = -7, linkedLength = 0;
    AutolinkDictionary* d =
        AutolinkReference(nullptr, "glossary window", "window", "gloss", 0, 0, "", 0, &result);
    AutolinkReference(d, "print", "printing", "print_topic", 0, 0, "", 1, &result);
    char* linked = Autolink(d, kTopic, "doc", "", 0, 0, &linkedLength, &result);
    std::string linkedText = linked ? std::string(linked, size_t(linkedLength)) : "<null>";
    add(linkedText + std::to_string(result));
    char* removed = AutolinkRemove(linkedText.c_str(), &linkedLength, &result);
    add((removed ? std::string(removed, size_t(linkedLength)) : "<null>") + std::to_string(result));
    std::free(removed);
    AutolinkDone(d);
}

void RunPictures(const TempDir& dir, const std::string& tag, Log& add) {
    // Pictures: a metafile, which leaves the clipboard alone.
    intptr_t h = FileGetBitmap(CorpusDir("wmf/001.wmf").c_str(), 0);
    add(std::to_string(h != 0));
    for (const Hotspot& s : Drain(h)) add(s.binding + std::to_string(s.kind));
    // The clipboard is one for all: a busy clipboard fails a call, which is
    // tried again. Every thread puts the same bitmap on it.
    std::string picture = dir.File(tag + ".shg");
    int32_t written = -1;
    for (int attempt = 0; attempt < 10000 && written != 0; ++attempt) {
        HotspotFile* s = nullptr;
        if (HotspotGetDIBBitmap(CorpusDir("bmp/011.bmp").c_str()) == 0)
            s = FileSetBitmap(picture.c_str());
        if (!s) {
            std::this_thread::yield();
            continue;
        }
        FileSetHotspot(s, 1, 5, 2, 9, 0, "topic_a");
        written = FileWriteHotspots(s);
        FileCleanup(s);
    }
    add(std::to_string(written) + ReadFile(picture));
}

// Forms, each thread on its own file.
void RunForms(const TempDir& dir, const std::string& tag, Log& add) {
    std::string form = dir.File(tag + ".frm");
    WriteFile(form, kForm);
    FormFile* f = FormOpen(form.c_str());
    const char* value = nullptr;
    int32_t valueLength = 0;
    int32_t status = FormGetProperty(f, "VB.Form", "Form1", "caption", &value, &valueLength);
    add(std::to_string(status) + std::string(value ? value : "", size_t(valueLength)));
    add(std::to_string(
        FormSetProperty(f, "VB.Form", "Form1", "Caption", tag.substr(0, 1).c_str())));
    add(std::to_string(FormDeleteSection(f, "VB.Menu", "x")));
    status = FormClose(f);
    add(std::to_string(status) + ReadFile(form));
}

void RunSweep(Log& add) {
    // The allocation hook is the thread's own: a sweep here is not thrown
    // off by the other threads' allocations.
    for (long k = 1; k <= 3; ++k) {
        brio::FailAllocationAfter(k);
        int32_t status = -7;
        int32_t found = TopicFindText(kTopic, "glossary window", &status);
        brio::FailAllocationAfter(0);
        add(std::to_string(found) + "/" + std::to_string(status));
    }
}

// Everything one thread's calls give, as one text.
std::string RunFamilies(const TempDir& dir, const std::string& tag) {
    Log add;
    RunProbe(add);
    RunTopics(dir, tag, add);
    RunAutolink(add);
    RunPictures(dir, tag, add);
    RunForms(dir, tag, add);
    RunSweep(add);
    return add.out;
}

TEST(Threads, EveryExportFamilyRunsOnSeveralThreadsAtOnce) {
    TempDir dir;
    // File names differ by thread only in a tag of the same length; the
    // texts hold the tag's first letter, the same for all.
    std::string reference = RunFamilies(dir, "t0");
    ASSERT_NE(reference.find("glossary"), std::string::npos);
    constexpr int kThreads = 4;
    std::vector<std::string> got(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([&, i] { got[i] = RunFamilies(dir, "t" + std::to_string(i + 1)); });
    for (auto& t : threads) t.join();
    for (int i = 0; i < kThreads; ++i) EXPECT_EQ(got[i], reference) << "thread " << i + 1;
}

}  // namespace
