// Allocation-failure sweep: every export runs on a realistic input once to
// count its allocations, then once more for each of them with that one
// allocation failing. Each run must end in the export's documented failure
// (or, where the failure is absorbed, in exactly the result of the clean run),
// must not crash, and — under the asan preset — must leak nothing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "brioutil.h"
#include "brioutil_host.h"
#include "platform/platform.h"
#include "test_support.h"

namespace {

using namespace brio::test;

// Runs `run` once clean to count its allocations, then once per allocation
// with that one failing. Returns the count. `run` gets the failing
// allocation's number (0 for the clean run); `setup` runs before each run,
// with the hook disarmed.
long Sweep(
    const char* name, const std::function<void(long)>& run,
    const std::function<void()>& setup = [] {}) {
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
    std::printf("[ sweep    ] %s: %ld allocations\n", name, total);
    return total;
}

// One topic of a real help file: the shortest of the corpus documents.
std::string CorpusTopicFile() {
    return CorpusDir("rtf/021.rtf");
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

AutolinkDictionary* Dictionary(std::vector<int32_t>* results) {
    struct Term {
        const char* term;
        const char* synonyms;
        const char* target;
        uint32_t popup;
    } terms[] = {
        {"print", "printing;printer setup", "print_topic", 0},
        {"File menu", "", "menu_file", 0},
        {"document", "documents", "doc", 0},
        {"glossary window", "window", "gloss_win", 1},
        {"dialog", "dialog box;dialogs", "dialogs", 0},
    };
    AutolinkDictionary* d = nullptr;
    for (const auto& t : terms) {
        int32_t result = -7;
        AutolinkDictionary* next =
            AutolinkReference(d, t.term, t.synonyms, t.target, 0, 0, "", t.popup, &result);
        if (results) results->push_back(result);
        if (d) {
            EXPECT_EQ(next, d);
        }
        d = next;
    }
    return d;
}

TEST(OutOfMemorySweep, TopicEmitRtfFile) {
    TempDir dir;
    std::string reference;
    long swept = Sweep("TopicEmitRtfFile", [&](long k) {
        std::string path = dir.File("out" + std::to_string(k) + ".rtf");
        char keywords[] = "print|printer|documents";
        int32_t status = TopicEmitRtfFile(kTopic, "print_topic", "Printing", "Macro(1)", keywords,
                                          "main:010", path.c_str(), 1);
        std::string written = ReadFile(path);
        if (k == 0) {
            ASSERT_EQ(status, 0);
            reference = written;
            ASSERT_FALSE(reference.empty());
        } else if (status == 0) {
            EXPECT_EQ(written, reference);
        } else {
            EXPECT_EQ(status, BRIO_ERR_NO_MEMORY);
            EXPECT_EQ(written, "");  // nothing half-written in its place
        }
    });
    EXPECT_GT(swept, 0);
}

struct Imported {
    int32_t status = -7;
    bool handle = false;
    std::string rtf, context, title, browse, keywords, firstLine;
    uint32_t consumed = 0;
    int32_t nonScrolling = -7;
    bool operator==(const Imported& o) const {
        return status == o.status && handle == o.handle && rtf == o.rtf && context == o.context &&
               title == o.title && browse == o.browse && keywords == o.keywords &&
               firstLine == o.firstLine && consumed == o.consumed && nonScrolling == o.nonScrolling;
    }
};

Imported Import(const char* text) {
    Imported r;
    const char* rtf = nullptr;
    const char* firstLine = nullptr;
    uint32_t rtfLength = 0, contextLength = 0, titleLength = 0, browseLength = 0,
             keywordsLength = 0, firstLineLength = 0;
    char *context = nullptr, *title = nullptr, *browse = nullptr, *keywords = nullptr;
    TopicImport* h =
        TopicImportString(text, &rtf, &rtfLength, &r.nonScrolling, &context, &contextLength, &title,
                          &titleLength, &browse, &browseLength, &keywords, &keywordsLength,
                          &r.consumed, &firstLine, &firstLineLength, &r.status);
    r.handle = h != nullptr;
    if (rtf) r.rtf.assign(rtf, rtfLength);
    if (firstLine) r.firstLine.assign(firstLine, firstLineLength);
    if (context) r.context = context;
    if (title) r.title = title;
    if (browse) r.browse = browse;
    if (keywords) r.keywords = keywords;
    for (char* s : {context, title, browse, keywords}) std::free(s);
    TopicImportStringClose(h);
    return r;
}

TEST(OutOfMemorySweep, TopicImportString) {
    std::string document = ReadFile(CorpusTopicFile());
    ASSERT_FALSE(document.empty());
    Imported reference;
    long swept = Sweep("TopicImportString", [&](long k) {
        Imported got = Import(document.c_str());
        if (k == 0) {
            ASSERT_EQ(got.status, 0);
            ASSERT_NE(got.title, "");
            reference = got;
        } else if (got.status == 0) {
            EXPECT_TRUE(got == reference);
        } else if (!got.handle) {
            EXPECT_EQ(got.status, BRIO_ERR_NOT_FOUND);
        } else {
            EXPECT_EQ(got.status, BRIO_ERR_NO_MEMORY);
        }
    });
    EXPECT_GT(swept, 0);
}

TEST(OutOfMemorySweep, TopicFindText) {
    std::string document = ReadFile(CorpusTopicFile());
    long swept = Sweep("TopicFindText", [&](long k) {
        int32_t status = -7;
        int32_t found = TopicFindText(document.c_str(), "go to MOVE number", &status);
        if (k == 0 || status == 0) {
            EXPECT_EQ(status, 0);
            EXPECT_EQ(found, 1);
        } else {
            EXPECT_EQ(status, BRIO_ERR_NO_MEMORY);
            EXPECT_EQ(found, 0);
        }
    });
    EXPECT_GT(swept, 0);
}

TEST(OutOfMemorySweep, AutolinkReference) {
    std::vector<int32_t> reference;
    long swept = Sweep("AutolinkReference", [&](long k) {
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
    EXPECT_GT(swept, 0);
}

TEST(OutOfMemorySweep, Autolink) {
    AutolinkDictionary* d = Dictionary(nullptr);
    ASSERT_NE(d, nullptr);
    std::string reference;
    long swept = Sweep("Autolink", [&](long k) {
        int32_t length = -7, result = -7;
        char* text = Autolink(d, kTopic, "doc", "", 0, 0x008000, &length, &result);
        if (k == 0) {
            ASSERT_NE(text, nullptr);
            ASSERT_EQ(result, 0);
            reference.assign(text, static_cast<size_t>(length));
            EXPECT_NE(reference.find("print_topic"), std::string::npos);
        } else if (result == 0) {
            ASSERT_NE(text, nullptr);
            EXPECT_EQ(std::string(text, static_cast<size_t>(length)), reference);
        } else {
            EXPECT_EQ(result, BRIO_ERR_NO_MEMORY);
        }
    });
    EXPECT_GT(swept, 0);
    AutolinkDone(d);
}

TEST(OutOfMemorySweep, AutolinkRemove) {
    AutolinkDictionary* d = Dictionary(nullptr);
    int32_t length = 0, result = 0;
    char* linked = Autolink(d, kTopic, "", "", 0, 0, &length, &result);
    ASSERT_NE(linked, nullptr);
    std::string input(linked, static_cast<size_t>(length));
    AutolinkDone(d);
    std::string reference;
    long swept = Sweep("AutolinkRemove", [&](long k) {
        int32_t n = -7, r = -7;
        char* text = AutolinkRemove(input.c_str(), &n, &r);
        if (k == 0) {
            ASSERT_NE(text, nullptr);
            ASSERT_EQ(r, -1);
            reference.assign(text, static_cast<size_t>(n));
        } else if (r == -1) {
            ASSERT_NE(text, nullptr);
            EXPECT_EQ(std::string(text, static_cast<size_t>(n)), reference);
        } else {
            EXPECT_EQ(r, BRIO_ERR_NO_MEMORY);
            EXPECT_EQ(text, nullptr);
        }
        std::free(text);
    });
    EXPECT_GT(swept, 0);
}

std::string Clipboard() {
    std::string out(BrioHostClipboardGetDib(nullptr, 0), '\0');
    if (!out.empty()) BrioHostClipboardGetDib(&out[0], out.size());
    return out;
}

struct Opened {
    bool ok = false;
    std::string dib;
    std::vector<std::string> hotspots;
    bool operator==(const Opened& o) const {
        return ok == o.ok && dib == o.dib && hotspots == o.hotspots;
    }
};

Opened OpenPicture(const std::string& path) {
    Opened r;
    BrioHostClipboardClear();
    intptr_t h = FileGetBitmap(path.c_str(), 0);
    if (!h) return r;
    r.ok = true;
    r.dib = Clipboard();
    for (;;) {
        int32_t top, bottom, left, right, kind, length;
        const char* binding = nullptr;
        if (!FileGetHotspot(reinterpret_cast<HotspotFile*>(h), &top, &bottom, &left, &right, &kind,
                            &binding, &length))
            break;
        r.hotspots.push_back(std::to_string(top) + "," + std::to_string(bottom) + "," +
                             std::to_string(left) + "," + std::to_string(right) + "," +
                             std::to_string(kind) + ":" + binding);
    }
    return r;
}

TEST(OutOfMemorySweep, FileGetBitmapAndHotspots) {
    for (const char* name :
         {"bitmap-group/018.bin", "bitmap-group/006.bin", "bmp/011.bmp", "wmf/001.wmf"}) {
        std::string path = CorpusDir(name);
        Opened reference;
        long swept = Sweep(name, [&](long k) {
            Opened got = OpenPicture(path);
            if (k == 0) {
                ASSERT_TRUE(got.ok);
                reference = got;
            } else if (got.ok) {
                EXPECT_TRUE(got == reference);
            }
        });
        EXPECT_GT(swept, 0);
        EXPECT_EQ(FileGetBitmap(path.c_str(), 1), 0);  // release: 0 on success
    }
}

TEST(OutOfMemorySweep, HotspotGetDIBBitmap) {
    std::string path = CorpusDir("bmp/011.bmp");
    std::string reference;
    long swept = Sweep("HotspotGetDIBBitmap", [&](long k) {
        BrioHostClipboardClear();
        int32_t status = HotspotGetDIBBitmap(path.c_str());
        if (k == 0) {
            ASSERT_EQ(status, 0);
            reference = Clipboard();
            ASSERT_FALSE(reference.empty());
        } else if (status == 0) {
            EXPECT_EQ(Clipboard(), reference);
        } else {
            EXPECT_EQ(status, BRIO_ERR_READ);
            EXPECT_EQ(Clipboard(), "");
        }
    });
    EXPECT_GT(swept, 0);
}

TEST(OutOfMemorySweep, FileSetBitmapAndWriteHotspots) {
    // A real picture on the clipboard, written back with hotspots of each kind.
    ASSERT_EQ(HotspotGetDIBBitmap(CorpusDir("bmp/011.bmp").c_str()), 0);
    std::string dib = Clipboard();
    TempDir dir;
    std::string referencePath;
    std::vector<std::string> written;  // files written although an allocation failed
    long swept = Sweep(
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
        [&] { ASSERT_EQ(BrioHostClipboardSetDib(dib.data(), dib.size()), 0); });
    EXPECT_GT(swept, 0);
    Opened reference = OpenPicture(referencePath);
    ASSERT_TRUE(reference.ok);
    ASSERT_EQ(reference.hotspots.size(), 3u);
    for (const auto& path : written) {
        // The same picture; a hotspot whose append failed is missing.
        SCOPED_TRACE(path);
        Opened got = OpenPicture(path);
        ASSERT_TRUE(got.ok);
        EXPECT_EQ(got.dib, reference.dib);
        size_t at = 0;
        for (const auto& h : got.hotspots) {
            while (at < reference.hotspots.size() && reference.hotspots[at] != h) ++at;
            EXPECT_LT(at, reference.hotspots.size()) << h;
        }
        EXPECT_GE(got.hotspots.size(), 2u);
    }
}

TEST(OutOfMemorySweep, FormFile) {
    std::string source = ReadFile(CorpusDir("form/001.txt"));
    ASSERT_FALSE(source.empty());
    TempDir dir;
    std::string reference;
    long swept =
        Sweep("FormOpen/FormGetProperty/FormSetProperty/FormDeleteSection/FormClose", [&](long k) {
            std::string path = dir.File("f" + std::to_string(k) + ".txt");
            ASSERT_TRUE(WriteFile(path, source));
            FormFile* form = FormOpen(path.c_str());
            if (!form) {
                EXPECT_NE(k, 0);
                EXPECT_EQ(ReadFile(path), source);
                return;
            }
            bool failed = false;
            const char* value = nullptr;
            int32_t length = 0;
            FormGetProperty(form, "Form", "x", "Caption", &value, &length);
            for (int32_t rc : {FormSetProperty(form, "Form", "x", "Caption", "New caption"),
                               FormSetProperty(form, "Form", "x", "Added", "1")}) {
                EXPECT_TRUE(rc == 0 || rc == BRIO_ERR_NOT_FOUND || rc == BRIO_ERR_NO_MEMORY) << rc;
                failed |= rc == BRIO_ERR_NO_MEMORY;
            }
            FormDeleteSection(form, "Menu", "x");
            int32_t status = FormClose(form);
            EXPECT_TRUE(status == 0 || status == BRIO_ERR_WRITE || status == BRIO_ERR_NO_MEMORY)
                << status;
            std::string written = ReadFile(path);
            if (k == 0) {
                ASSERT_EQ(status, 0);
                reference = written;
            } else if (status != 0) {
                EXPECT_EQ(written, source);  // the file is kept as it was
            } else if (!failed) {
                EXPECT_EQ(written, reference);
            }
        });
    EXPECT_GT(swept, 0);
}

}  // namespace
