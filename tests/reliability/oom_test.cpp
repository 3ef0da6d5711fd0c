// Each export with each of its allocations failing in turn ends in its
// documented failure or as the clean run, and (asan preset) leaks nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "bitmap/picture_fixtures.h"
#include "platform/platform.h"
#include "reliability/new_hook.h"
#include "test_support.h"
#include "topic/topic_support.h"

namespace {

using namespace brio::test;

// Runs `run(0)` clean, then `run(k)` with allocation k failing; `throwing`:
// some failures are operator new's, which the export must turn into a status.
void Sweep(
    const char* name, const std::function<void(long)>& run,
    const std::function<void()>& setup = [] {}, bool throwing = false) {
    long thrown = brio::test::ThrownAllocations();
    brio::FailAllocationAfter(0);
    setup();
    long before = brio::AllocationCount();
    run(0);
    long total = brio::AllocationCount() - before;
    for (long k = 1; k <= total; ++k) {
        SCOPED_TRACE(std::string(name) + ": allocation " + std::to_string(k) + " of " +
                     std::to_string(total));
        setup();
        long start = brio::AllocationCount();
        brio::FailAllocationAfter(k);
        run(k);
        brio::FailAllocationAfter(0);
        // The run is deterministic up to the failure: allocation k was tried.
        EXPECT_GE(brio::AllocationCount() - start, k);
    }
    thrown = brio::test::ThrownAllocations() - thrown;
    std::printf("[ sweep    ] %s: %ld allocations, %ld by operator new\n", name, total, thrown);
    EXPECT_GT(total, 0) << name;
    EXPECT_TRUE(!throwing || thrown > 0) << name;
}

// What an export gave: its status and its output (text, file or clipboard).
struct Result {
    int32_t status;
    std::string out;
    bool operator==(const Result& o) const { return status == o.status && out == o.out; }
};
std::ostream& operator<<(std::ostream& os, const Result& r) {
    return os << r.status << " '" << r.out.substr(0, 80) << "'";
}

// Sweeps `run`: the clean run ends in `ok`, every other run either exactly
// so or in one of the `failed` results. Returns the clean run's result.
Result SweepResult(
    const char* name, const std::function<Result(long)>& run, int32_t ok,
    const std::vector<Result>& failed, bool throwing = false,
    const std::function<void()>& setup = [] {}) {
    Result reference{};
    Sweep(
        name,
        [&](long k) {
            Result got = run(k);
            if (k == 0) {
                reference = got;
                EXPECT_EQ(got.status, ok);
                EXPECT_FALSE(got.out.empty());
            } else if (got.status == ok) {
                EXPECT_EQ(got, reference);
            } else {
                EXPECT_TRUE(std::find(failed.begin(), failed.end(), got) != failed.end()) << got;
            }
        },
        setup, throwing);
    return reference;
}

std::string Text(const char* text, int32_t length) {
    return text ? std::string(text, static_cast<size_t>(length)) : "<null>";
}

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

// Five terms, one a popup; the calls' results go to `results`.
AutolinkDictionary* Dictionary(std::vector<int32_t>* results) {
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
        if (results) results->push_back(result);
        EXPECT_TRUE(!d || next == d);
        d = next;
    }
    return d;
}

TEST(OutOfMemorySweep, TopicEmitRtfFile) {
    TempDir dir;
    auto run = [&](long k) {
        std::string path = dir.File("out" + std::to_string(k) + ".rtf");
        char keywords[] = "print|printer|documents";
        int32_t status = TopicEmitRtfFile(kTopic, "print_topic", "Printing", "Macro(1)", keywords,
                                          "main:010", path.c_str(), 1);
        return Result{status, ReadFile(path)};  // nothing half-written on failure
    };
    SweepResult("TopicEmitRtfFile", run, 0, {{BRIO_ERR_NO_MEMORY, ""}}, true);
}

TEST(OutOfMemorySweep, TopicImportString) {
    std::string document = ReadFile(CorpusDir("rtf/021.rtf"));
    auto run = [&](long) {
        Imported t = ImportTopic(document);
        if (t.status != 0) return Result{t.status, t.rtf == "<no handle>" ? t.rtf : ""};
        return Result{0, t.rtf + "|" + Properties(t) + "|" + t.firstLine + "|" +
                             std::to_string(t.count) + "|" + std::to_string(t.consumed)};
    };
    SweepResult("TopicImportString", run, 0,
                {{BRIO_ERR_NOT_FOUND, "<no handle>"}, {BRIO_ERR_NO_MEMORY, ""}});
    EXPECT_NE(ImportTopic(document).title, "");
}

TEST(OutOfMemorySweep, TopicFindText) {
    std::string document = ReadFile(CorpusDir("rtf/021.rtf"));
    auto run = [&](long) {
        int32_t status = -7;
        int32_t found = TopicFindText(document.c_str(), "go to MOVE number", &status);
        return Result{status, std::to_string(found)};
    };
    EXPECT_EQ(SweepResult("TopicFindText", run, 0, {{BRIO_ERR_NO_MEMORY, "0"}}).out, "1");
}

TEST(OutOfMemorySweep, AutolinkReference) {
    std::vector<int32_t> reference;
    Sweep("AutolinkReference", [&](long k) {
        std::vector<int32_t> results;
        AutolinkDictionary* d = Dictionary(&results);
        if (k == 0) {
            ASSERT_NE(d, nullptr);
            reference = results;
            EXPECT_EQ(reference, std::vector<int32_t>(5, 0));
        } else {
            ASSERT_EQ(results.size(), reference.size());
            int failures = 0;
            for (int32_t r : results) {
                EXPECT_TRUE(r == 0 || r == BRIO_ERR_NO_MEMORY) << r;
                failures += r == BRIO_ERR_NO_MEMORY;
            }
            EXPECT_LE(failures, 1);  // one allocation failed, at most one call fails
            // When the first call could not make the dictionary, the second made it.
            EXPECT_NE(d, nullptr);
        }
        AutolinkDone(d);
    });
}

TEST(OutOfMemorySweep, Autolink) {
    // A dictionary keeps its last result for the next run to write over:
    // each run starts from a new one, so that every run allocates alike.
    AutolinkDictionary* d = nullptr;
    auto fresh = [&] {
        AutolinkDone(d);
        d = Dictionary(nullptr);
        ASSERT_NE(d, nullptr);
    };
    auto link = [&](long) {
        int32_t length = -7, result = -7;
        char* text = Autolink(d, kTopic, "doc", "", 0, 0x008000, &length, &result);
        return Result{result, result == 0 ? Text(text, length) : ""};  // not the text so far
    };
    Result linked = SweepResult("Autolink", link, 0, {{BRIO_ERR_NO_MEMORY, ""}}, true, fresh);
    EXPECT_NE(linked.out.find("print_topic"), std::string::npos);
    AutolinkDone(d);
    auto remove = [&](long) {
        int32_t n = -7, r = -7;
        char* text = AutolinkRemove(linked.out.c_str(), &n, &r);
        Result got{r, Text(text, n)};
        std::free(text);
        return got;
    };
    SweepResult("AutolinkRemove", remove, -1, {{BRIO_ERR_NO_MEMORY, "<null>"}});
}

// The clipboard block and the hotspots of a picture FileGetBitmap opened;
// nothing when it did not open.
std::vector<std::string> OpenPicture(const std::string& path) {
    BrioHostClipboardClear();
    intptr_t h = FileGetBitmap(path.c_str(), 0);
    if (!h) return {};
    std::vector<std::string> picture = {Str(Clipboard())};
    for (const Hotspot& s : Drain(h))
        picture.push_back(
            brio::Format("%d,%d,%d,%d,%d:", s.top, s.bottom, s.left, s.right, s.kind) + s.binding);
    return picture;
}

TEST(OutOfMemorySweep, FileGetBitmapAndHotspots) {
    for (const char* name :
         {"bitmap-group/018.bin", "bitmap-group/006.bin", "bmp/011.bmp", "wmf/001.wmf"}) {
        std::string path = CorpusDir(name);
        auto run = [&](long) {
            std::string all = "opened";
            for (const auto& part : OpenPicture(path)) all += "\n" + part;
            return all == "opened" ? Result{1, ""} : Result{0, all};
        };
        SweepResult(name, run, 0, {{1, ""}});
        EXPECT_EQ(FileGetBitmap(path.c_str(), 1), 0);  // release: 0 on success
    }
}

TEST(OutOfMemorySweep, HotspotGetDIBBitmap) {
    auto run = [&](long) {
        BrioHostClipboardClear();
        int32_t status = HotspotGetDIBBitmap(CorpusDir("bmp/011.bmp").c_str());
        return Result{status, Str(Clipboard())};
    };
    SweepResult("HotspotGetDIBBitmap", run, 0, {{BRIO_ERR_READ, ""}});
}

TEST(OutOfMemorySweep, FileSetBitmapAndWriteHotspots) {
    // A real picture on the clipboard, written back with hotspots of each kind.
    ASSERT_EQ(HotspotGetDIBBitmap(CorpusDir("bmp/011.bmp").c_str()), 0);
    Bytes dib = Clipboard();
    TempDir dir;
    std::string referencePath;
    std::vector<std::string> written;  // files written although an allocation failed
    Sweep(
        "FileSetBitmap/FileSetHotspot/FileWriteHotspots",
        [&](long k) {
            std::string path = dir.File("w" + std::to_string(k) + ".shg");
            HotspotFile* f = FileSetBitmap(path.c_str());
            if (!f) {
                EXPECT_NE(k, 0);
                return;
            }
            EXPECT_EQ(FileSetHotspot(f, 1, 5, 2, 9, 0, "topic_a"), 0);
            EXPECT_EQ(FileSetHotspot(f, 0, 3, 0, 3, 1, "pop>win@other.hlp"), 0);
            EXPECT_EQ(FileSetHotspot(f, 2, 4, 6, 8, 2, "ExecProgram(`x')"), 0);
            int32_t status = FileWriteHotspots(f);
            EXPECT_EQ(FileCleanup(f), 0);
            if (k == 0) {
                ASSERT_EQ(status, 0);
                referencePath = path;
            } else if (status == 0) {
                written.push_back(path);
            } else {
                EXPECT_EQ(status, 8);
                EXPECT_EQ(ReadFile(path), "");  // nothing half-written
            }
        },
        [&] { ASSERT_EQ(BrioHostClipboardSetDib(dib.data(), dib.size()), 0); }, true);
    std::vector<std::string> reference = OpenPicture(referencePath);
    ASSERT_EQ(reference.size(), 4u);
    for (const auto& path : written) {
        // The same picture; a hotspot whose append failed is missing.
        SCOPED_TRACE(path);
        std::vector<std::string> got = OpenPicture(path);
        ASSERT_GE(got.size(), 3u);
        EXPECT_EQ(got[0], reference[0]);
        size_t at = 1;
        for (size_t i = 1; i < got.size(); ++i) {
            while (at < reference.size() && reference[at] != got[i]) ++at;
            EXPECT_LT(at, reference.size()) << got[i];
        }
    }
}

TEST(OutOfMemorySweep, FormFile) {
    std::string source = ReadFile(CorpusDir("form/001.txt")), reference;
    ASSERT_FALSE(source.empty());
    TempDir dir;
    Sweep(
        "FormOpen/FormGetProperty/FormSetProperty/FormDeleteSection/FormClose",
        [&](long k) {
            std::string path = dir.File("f" + std::to_string(k) + ".txt");
            ASSERT_TRUE(WriteFile(path, source));
            FormFile* form = FormOpen(path.c_str());
            int32_t status = BRIO_ERR_NO_MEMORY;
            bool failed = !form;  // a set failed: the file is not the reference
            if (form) {
                const char* value = nullptr;
                int32_t length = 0;
                FormGetProperty(form, "VB.Form", "Form1", "Caption", &value, &length);
                for (int32_t rc :
                     {FormSetProperty(form, "VB.Form", "Form1", "Caption", "New caption"),
                      FormSetProperty(form, "VB.Form", "Form1", "Added", "1")}) {
                    EXPECT_TRUE(rc == 0 || rc == BRIO_ERR_NOT_FOUND || rc == BRIO_ERR_NO_MEMORY)
                        << rc;
                    failed |= rc == BRIO_ERR_NO_MEMORY;
                }
                FormDeleteSection(form, "Menu", "x");
                status = FormClose(form);
                EXPECT_TRUE(status == 0 || status == BRIO_ERR_WRITE || status == BRIO_ERR_NO_MEMORY)
                    << status;
            }
            std::string written = ReadFile(path);
            if (k == 0) {
                ASSERT_EQ(status, 0);
                reference = written;
            } else if (status != 0) {
                EXPECT_EQ(written, source);  // the file is kept as it was
            } else if (!failed) {
                EXPECT_EQ(written, reference);
            }
        },
        [] {}, true);
}

TEST(OutOfMemorySweep, PlaceholderTopicFile) {
    TempDir dir;
    auto run = [&](long k) {
        std::string path = dir.File("dummy" + std::to_string(k) + ".rtf");
        TopicFile* file = TopicOpenDummyFile(path.c_str());
        if (!file) return Result{BRIO_ERR_NO_MEMORY, ReadFile(path)};
        char keywords[] = "start|begin";
        EXPECT_EQ(TopicDummy(file, "intro", "Introduction", "", keywords, "", "Body", 1), 0);
        return Result{TopicCloseDummyFile(file), ReadFile(path)};
    };
    SweepResult("TopicOpenDummyFile/TopicDummy/TopicCloseDummyFile", run, 0,
                {{BRIO_ERR_NO_MEMORY, ""}, {BRIO_ERR_WRITE, ""}}, true);
}

// An allocation the replacement can do without may fail unnoticed; any other
// leaves the old file whole and nothing beside it.
TEST(OutOfMemorySweep, HostReplaceFile) {
    TempDir dir;
    std::string path = dir.File("a-name-long-enough-to-be-allocated.txt");
    auto run = [&](long) {
        WriteFile(path, "old");
        int32_t status = BrioHostReplaceFile(path.c_str(), "new", 3);
        return Result{status, ReadFile(path) + std::to_string(dir.Entries().size())};
    };
    SweepResult("BrioHostReplaceFile", run, 0, {{BRIO_ERR_NO_MEMORY, "old1"}});
}

// Exports that allocate nothing still run in the guard and give their result.
TEST(OutOfMemorySweep, AllocationFreeExports) {
    long before = brio::AllocationCount();
    uint32_t length = 0;
    int32_t status = -7;
    EXPECT_EQ(CadenceDLL(), 0);
    EXPECT_NE(TopicNew(&length, &status), nullptr);
    EXPECT_EQ(length, 577u);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(brio::AllocationCount(), before);
}

}  // namespace
