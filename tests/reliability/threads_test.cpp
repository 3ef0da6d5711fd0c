// Every export family on several threads at once gives each thread the
// results of a lone run (the tsan preset runs this under ThreadSanitizer).
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "bitmap/picture_fixtures.h"
#include "platform/platform.h"
#include "reliability/operations.h"
#include "test_support.h"

namespace brio::test {
namespace {

// The clipboard is one for all: a busy clipboard fails a call, which is
// tried again. Every thread puts the same bitmap on it.
std::string WriteSharedPicture(const std::string& file) {
    int32_t written = -1;
    for (int attempt = 0; attempt < 10000 && written != 0; ++attempt) {
        HotspotFile* s = nullptr;
        if (HotspotGetDIBBitmap(CorpusDir("bmp/011.bmp").c_str()) == 0)
            s = FileSetBitmap(file.c_str());
        if (!s) {
            std::this_thread::yield();
            continue;
        }
        FileSetHotspot(s, 1, 5, 2, 9, 0, "topic_a");
        written = FileWriteHotspots(s);
        FileCleanup(s);
    }
    return std::to_string(written) + ReadFile(file);
}

// Everything one thread's calls give, as one text. File names differ by
// thread only in a tag of the same length.
std::string RunAll(const TempDir& dir, const std::string& tag) {
    std::string log = std::to_string(CadenceDLL());
    const std::vector<Operation>& operations = Operations();
    for (size_t i = 0; i < operations.size(); ++i) {
        if (operations[i].clipboard) continue;
        Result got = operations[i].run(dir.File(tag + "-" + std::to_string(i)), 0);
        log += operations[i].name + ": " + std::to_string(got.status) + " " + got.out + "\n";
    }
    // The allocation hook is the thread's own: a sweep here is not thrown
    // off by the other threads' allocations.
    for (long k = 1; k <= 3; ++k) {
        FailAllocationAfter(k);
        int32_t status = -7;
        int32_t found =
            TopicFindText("{\\rtf1 the glossary window\\par}", "GLOSSARY window", &status);
        FailAllocationAfter(0);
        log += std::to_string(found) + "/" + std::to_string(status) + "\n";
    }
    return log + WriteSharedPicture(dir.File(tag + ".shg"));
}

TEST(Threads, EveryExportFamilyRunsOnSeveralThreadsAtOnce) {
    TempDir dir;
    std::string reference = RunAll(dir, "t0");
    ASSERT_NE(reference.find("print_topic"), std::string::npos);
    constexpr int kThreads = 4;
    std::vector<std::string> got(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i)
        threads.emplace_back([&, i] { got[i] = RunAll(dir, "t" + std::to_string(i + 1)); });
    for (auto& t : threads) t.join();
    for (int i = 0; i < kThreads; ++i) EXPECT_EQ(got[i], reference) << "thread " << i + 1;
}

}  // namespace
}  // namespace brio::test
