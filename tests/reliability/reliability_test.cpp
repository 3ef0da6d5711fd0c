// Every export with each allocation failing in turn, and on several threads.
#include <gtest/gtest.h>

#include <thread>
#include <utility>

#include "bitmap/picture_fixtures.h"
#include "brioutil.h"
#include "platform/platform.h"
#include "test_support.h"
#include "topic/topic_support.h"

namespace brio::test {
// Allocations the hook failed in operator new on this thread (new_hook.cpp).
extern thread_local long tThrown;
namespace {

using Result = std::pair<int32_t, std::string>;                  // status, output
const std::string kFailed = std::to_string(BRIO_ERR_NO_MEMORY);  // as a call's result

struct Operation {
    std::string name;
    std::function<Result(const std::string& file, long k)> run;  // k: the allocation to fail
    int32_t ok;
    std::string cleanHas;        // a part of the clean run's output
    std::vector<Result> failed;  // what a failed allocation may give instead
    int flags = 0;
    // Also fine after a failed allocation, given the clean result.
    std::function<bool(const Result& got, const Result& clean)> partial = nullptr;
};
constexpr int kNew = 1;   // some of its allocations are operator new's
constexpr int kClip = 2;  // uses the process's one clipboard

const char kTopic[] =
    "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\froman Times New Roman;}}"
    "{\\colortbl;\\red0\\green0\\blue0;\\red0\\green128\\blue0;}"
    "{\\stylesheet{\\s0 Normal;}{\\*\\cs10 \\additive Default Paragraph Font;}"
    "{\\*\\cs99 \\additive\\uldb\\cf2 Autolink;}}\r\n"
    "\\pard\\keepn\\plain\\f0\\fs24{\\b Printing a document}\\par\r\n"
    "\\pard\\plain\\f1\\fs20 To print, open the {\\uldb File menu}{\\v menu_file} and choose "
    "{\\b Print}. The printer setup dialog lets you pick a printer.\\par\r\n"
    "See also {\\cs99\\uldb help}{\\v help_topic} and the {\\ul glossary}{\\v gloss} "
    "window.\\par\r\n{\\field{\\*\\fldinst PAGE}{\\fldrslt 1}}\\{bmc picture.bmp\\}\\par\r\n}";

// Five terms, one a popup; each call's result goes to `results`.
AutolinkDictionary* Dictionary(std::string* results) {
    const char* terms[][4] = {{"print", "printing;printer setup", "print_topic", ""},
                              {"File menu", "", "menu_file", ""},
                              {"document", "documents", "doc", ""},
                              {"glossary window", "window", "gloss_win", "popup"},
                              {"dialog", "dialog box;dialogs", "dialogs", ""}};
    AutolinkDictionary* d = nullptr;
    for (const auto& t : terms) {
        int32_t result = -7;
        AutolinkDictionary* next =
            AutolinkReference(d, t[0], t[1], t[2], 0, 0, "", *t[3] != 0, &result);
        *results += std::to_string(result) + (!d || next == d ? "," : " new dictionary,");
        d = next;
    }
    return d;
}

// The dictionary's results, then kTopic linked with it (a failed link's text is not compared).
Result Linked(const std::string&, long) {
    std::string results;
    AutolinkDictionary* d = Dictionary(&results);
    int32_t length = -7, result = -7;
    char* text = Autolink(d, kTopic, "doc", "", 0, 0x008000, &length, &result);
    Result got{result, results + "|" + (result == 0 && text ? std::string(text, length) : "")};
    AutolinkDone(d);
    return got;
}

// One reference call failed, a later one made the dictionary: the link may differ.
bool OneReferenceFailed(const Result& got, const Result& clean) {
    std::string calls = got.second.substr(0, got.second.find('|') + 1);
    size_t at = calls.find(kFailed + ",");
    return got.first == 0 && at != std::string::npos &&
           calls.replace(at, kFailed.size() + 1, "0,") ==
               clean.second.substr(0, clean.second.find('|') + 1);
}

// The clipboard block and hotspots of a picture FileGetBitmap opened; "" if none.
std::string OpenPicture(const std::string& path, bool clipboard = true) {
    if (clipboard) BrioHostClipboardClear();
    intptr_t h = FileGetBitmap(path.c_str(), 0);
    if (!h) return "";
    std::string picture = "opened " + (clipboard ? Str(Clipboard()) : "");
    for (const Hotspot& s : Drain(h))
        picture +=
            "\n" + Format("%d,%d,%d,%d,%d:", s.top, s.bottom, s.left, s.right, s.kind) + s.binding;
    return picture;
}

Operation Picture(const char* name) {
    bool clipboard = std::string(name).find(".wmf") == std::string::npos;
    auto run = [=](const std::string&, long) {
        std::string picture = OpenPicture(CorpusDir(name), clipboard);
        return Result{picture.empty(), picture};
    };
    return {name, run, 0, "opened", {{1, ""}}, clipboard ? kClip : 0};
}

Result TakeBitmap(const std::string&, long) {
    BrioHostClipboardClear();
    int32_t status = HotspotGetDIBBitmap(CorpusDir("bmp/011.bmp").c_str());
    return {status, Str(Clipboard())};
}

// Hotspots of each kind on a bitmap put on the clipboard unhindered, read back.
Result WritePicture(const std::string& file, long k) {
    static const Bytes dib = TakeBitmap("", 0).first == 0 ? Clipboard() : Bytes{};
    FailAllocationAfter(0);
    BrioHostClipboardSetDib(dib.data(), dib.size());
    FailAllocationAfter(k);
    HotspotFile* f = FileSetBitmap(file.c_str());
    if (!f) return {BRIO_ERR_NO_MEMORY, "none"};
    std::string sets = std::to_string(FileSetHotspot(f, 1, 5, 2, 9, 0, "topic_a"));
    sets += std::to_string(FileSetHotspot(f, 0, 3, 0, 3, 1, "pop>win@other.hlp"));
    sets += std::to_string(FileSetHotspot(f, 2, 4, 6, 8, 2, "ExecProgram(`x')"));
    int32_t status = FileWriteHotspots(f);
    sets += std::to_string(FileCleanup(f));
    FailAllocationAfter(0);  // read back unhindered
    return {status, sets + (status == 0 ? OpenPicture(file) : ReadFile(file))};
}

// The same picture with one hotspot missing, whose append failed.
bool OneHotspotLess(const Result& got, const Result& clean) {
    const std::string& all = clean.second;
    for (size_t at = all.find('\n'); got.first == 0 && at != std::string::npos;) {
        size_t end = all.find('\n', at + 1);
        if (got.second == all.substr(0, at) + all.substr(std::min(end, all.size()))) return true;
        at = end;
    }
    return false;
}

// A section of 62 properties, so the added line makes the form's lines grow.
const std::string kForm = [] {
    std::string form = "Begin A B\n";
    for (int i = 0; i < 62; ++i) form += "   K" + std::to_string(i) + " = v\n";
    return form + "End\n";
}();

// K1 set and New added, each unless `skip` holds its bit (then as if it failed).
Result Edit(const std::string& file, int skip) {
    WriteFile(file, kForm);
    FormFile* form = FormOpen(file.c_str());
    if (!form) return {BRIO_ERR_NO_MEMORY, ReadFile(file)};
    auto set = [&](int bit, const char* key) {
        return skip & bit ? kFailed : std::to_string(FormSetProperty(form, "A", "B", key, "w"));
    };
    std::string calls = set(1, "K1") + "," + set(2, "New");
    int32_t status = FormClose(form);
    return {status, status == 0 ? calls + "|" + ReadFile(file) : ReadFile(file)};  // kept whole
}

Result EditForm(const std::string& file, long) {
    return Edit(file, 0);
}

// A failed allocation failed form calls, and the file is as if they were never made.
bool FormCallFailed(const Result& got, const Result&) {
    std::string calls = got.second.substr(0, got.second.find('|'));
    int skip =
        (calls.rfind(kFailed + ",", 0) == 0) + 2 * (calls.find("," + kFailed) != std::string::npos);
    TempDir dir;
    return got.first == 0 && skip != 0 && got == Edit(dir.File("f.frm"), skip);
}

Result EmitRtf(const std::string& file, long) {
    char keywords[] = "print|printer|documents";
    int32_t status = TopicEmitRtfFile(kTopic, "print_topic", "Printing", "Macro(1)", keywords,
                                      "main:010", file.c_str(), 1);
    return {status, ReadFile(file)};  // nothing half-written on failure
}

Result Import(const std::string&, long) {
    static const std::string document = ReadFile(CorpusDir("rtf/021.rtf"));
    Imported t = ImportTopic(document);
    if (t.status != 0) return {t.status, t.rtf == "<no handle>" ? t.rtf : ""};
    return {0, t.rtf + "|" + Properties(t) + "|" + t.firstLine + "|" + std::to_string(t.count) +
                   "|" + std::to_string(t.consumed)};
}

Result Find(const std::string&, long) {
    static const std::string document = ReadFile(CorpusDir("rtf/021.rtf"));
    int32_t status = -7;
    int32_t found = TopicFindText(document.c_str(), "go to MOVE number", &status);
    return {status, "found " + std::to_string(found) + "."};
}

Result Unlink(const std::string&, long k) {
    FailAllocationAfter(0);
    std::string linked = Linked("", 0).second;
    int32_t n = -7, r = -7;
    FailAllocationAfter(k);
    char* text = AutolinkRemove(linked.c_str() + linked.find('|') + 1, &n, &r);
    Result got{r, text ? std::string(text, n) : "<null>"};
    std::free(text);
    return got;
}

Result Placeholder(const std::string& file, long) {
    TopicFile* topics = TopicOpenDummyFile(file.c_str());
    if (!topics) return {BRIO_ERR_NO_MEMORY, ReadFile(file)};
    char keywords[] = "start|begin";
    // A failure shows at the close.
    bool added = TopicDummy(topics, "intro", "Introduction", "", keywords, "", "Body", 1) == 0;
    int32_t status = TopicCloseDummyFile(topics);
    return {status, (added ? "" : "not added") + ReadFile(file)};
}

// A failure the replacement survives goes unnoticed; any other keeps the old file.
Result Replace(const std::string&, long) {
    TempDir dir;
    std::string path = dir.File("a-name-long-enough-to-be-allocated.txt");
    WriteFile(path, "old");
    int32_t status = BrioHostReplaceFile(path.c_str(), "new", 3);
    return {status, ReadFile(path) + std::to_string(dir.Entries().size())};
}

const std::vector<Operation>& Operations() {
    const int32_t kMem = BRIO_ERR_NO_MEMORY;
    const int32_t kWrite = BRIO_ERR_WRITE;
    const std::vector<Result> unwritten = {{kMem, "none"}, {8, "0000"}};
    static const std::vector<Operation> operations = {
        {"TopicEmitRtfFile", EmitRtf, 0, "{\\footnote", {{kMem, ""}}, kNew},
        {"TopicImportString", Import, 0, "rtf", {{BRIO_ERR_NOT_FOUND, "<no handle>"}, {kMem, ""}}},
        {"TopicFindText", Find, 0, "found 1.", {{kMem, "found 0."}}},
        {"Autolink", Linked, 0, "0,0,0,0,0,|", {{kMem, "0,0,0,0,0,|"}}, kNew, OneReferenceFailed},
        {"AutolinkRemove", Unlink, -1, "{\\rtf1", {{kMem, "<null>"}}},
        Picture("bitmap-group/018.bin"),
        Picture("bitmap-group/006.bin"),
        Picture("bmp/011.bmp"),
        Picture("wmf/001.wmf"),
        {"HotspotGetDIBBitmap", TakeBitmap, 0, "(", {{BRIO_ERR_READ, ""}}, kClip},
        {"FileWriteHotspots", WritePicture, 0, "opened", unwritten, kNew | kClip, OneHotspotLess},
        {"FormClose", EditForm, 0, "0,0|", {{kMem, kForm}, {kWrite, kForm}}, kNew, FormCallFailed},
        {"TopicCloseDummyFile", Placeholder, 0, "{\\rtf1", {{kMem, ""}, {kWrite, ""}}, kNew},
        {"BrioHostReplaceFile", Replace, 0, "new1", {{kMem, "old1"}}},
    };
    return operations;
}

class OutOfMemorySweep : public ::testing::TestWithParam<size_t> {};

// The operation clean, then with allocation k failing for each k it made.
TEST_P(OutOfMemorySweep, EndsInItsFailureOrAsTheCleanRun) {
    const Operation& op = Operations()[GetParam()];
    SCOPED_TRACE(op.name);
    TempDir dir;
    long thrown = tThrown;
    FailAllocationAfter(0);
    op.run(dir.File("first"), 0);  // makes the statics, outside the count
    long before = AllocationCount();
    Result clean = op.run(dir.File("clean"), 0);
    long total = AllocationCount() - before;
    EXPECT_EQ(clean.first, op.ok);
    EXPECT_NE(clean.second.find(op.cleanHas), std::string::npos) << clean.second;
    for (long k = 1; k <= total; ++k) {
        SCOPED_TRACE("allocation " + std::to_string(k) + " of " + std::to_string(total));
        long start = AllocationCount();
        FailAllocationAfter(k);
        Result got = op.run(dir.File(std::to_string(k)), k);
        FailAllocationAfter(0);
        EXPECT_GE(AllocationCount() - start, k);  // deterministic up to the failure
        if (got == clean || (op.partial && op.partial(got, clean))) continue;
        EXPECT_TRUE(std::find(op.failed.begin(), op.failed.end(), got) != op.failed.end())
            << got.first << " '" << got.second.substr(0, 80) << "'";
    }
    EXPECT_GT(total, 0);
    EXPECT_TRUE(!(op.flags & kNew) || tThrown > thrown);
}

INSTANTIATE_TEST_SUITE_P(Exports, OutOfMemorySweep,
                         ::testing::Range(size_t{0}, Operations().size()));

// The one clipboard, busy, fails a call, tried again; all put the same bitmap on it.
std::string WriteSharedPicture(const std::string& file) {
    int32_t written = -1;
    for (int attempt = 0; attempt < 10000 && written != 0; ++attempt) {
        std::this_thread::yield();
        if (HotspotGetDIBBitmap(CorpusDir("bmp/011.bmp").c_str()) != 0) continue;
        if (HotspotFile* s = FileSetBitmap(file.c_str())) {
            FileSetHotspot(s, 1, 5, 2, 9, 0, "topic_a");
            written = FileWriteHotspots(s);
            FileCleanup(s);
        }
    }
    return std::to_string(written) + ReadFile(file);
}

// The allocation hook is the thread's own: other threads do not move it.
std::string RunAll(const TempDir& dir, const std::string& tag) {
    std::string log = std::to_string(CadenceDLL());
    const std::vector<Operation>& operations = Operations();
    for (size_t i = 0; i < operations.size(); ++i) {
        for (long k = 0; k <= 3 && !(operations[i].flags & kClip); ++k) {
            FailAllocationAfter(k);
            Result got = operations[i].run(dir.File(tag + "-" + std::to_string(i * 4 + k)), k);
            FailAllocationAfter(0);
            log += operations[i].name + ": " + std::to_string(got.first) + " " + got.second + "\n";
        }
    }
    return log + WriteSharedPicture(dir.File(tag + ".shg"));
}

// A group picture's hotspots, on a handle of the thread's own.
std::string WalkHotspots() {
    std::string picture;
    for (int attempt = 0; attempt < 10000 && picture.empty(); ++attempt)
        picture = OpenPicture(CorpusDir("bitmap-group/025.bin"), false);
    return picture;
}

TEST(Threads, EveryExportFamilyRunsOnSeveralThreadsAtOnce) {
    TempDir dir;
    // File names differ by thread only in a tag of the same length.
    std::string reference = RunAll(dir, "t0") + WalkHotspots();
    ASSERT_NE(reference.find("print_topic"), std::string::npos);
    ASSERT_NE(reference.find(":HID_POP_CLOSE_BUTTON"), std::string::npos);
    std::vector<std::string> got(4);
    // The walks come once no thread puts a picture on the clipboard.
    for (bool walks : {false, true}) {
        std::vector<std::thread> threads;
        for (size_t i = 0; i < got.size(); ++i)
            threads.emplace_back([&, i] {
                got[i] += walks ? WalkHotspots() : RunAll(dir, "t" + std::to_string(i + 1));
            });
        for (auto& t : threads) t.join();
    }
    for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], reference) << "thread " << i + 1;
}

}  // namespace
}  // namespace brio::test
