// Throughput of the topic passes on a large help RTF built from the corpus:
// every corpus document's content inside one outer group, repeated to size.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "brioutil.h"

namespace {

std::string BuildHelpRtf(size_t megabytes) {
    std::vector<std::string> bodies;
    std::vector<std::filesystem::path> files;
    for (const auto& entry :
         std::filesystem::directory_iterator(std::string(BRIOUTIL_CORPUS_DIR) + "/rtf"))
        files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const auto& path : files) {
        std::ifstream in(path, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        size_t open = text.find('{'), close = text.rfind('}');
        if (open != std::string::npos && close != std::string::npos && close > open)
            bodies.push_back(text.substr(open + 1, close - open - 1));
    }
    std::string rtf = "{";
    size_t target = megabytes << 20;
    while (rtf.size() < target) {
        for (const auto& body : bodies) {
            if (rtf.size() >= target) break;
            rtf += body;
        }
    }
    rtf += "}";
    return rtf;
}

const std::string& HelpRtf(size_t megabytes) {
    static std::string rtf16 = BuildHelpRtf(16);
    static std::string rtf64;
    if (megabytes == 16) return rtf16;
    if (rtf64.empty()) rtf64 = BuildHelpRtf(64);
    return rtf64;
}

void BM_TopicFindTextAbsent(benchmark::State& state) {
    const std::string& rtf = HelpRtf(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        int32_t status = 0;
        benchmark::DoNotOptimize(TopicFindText(rtf.c_str(), "quixotic zebra phrase", &status));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(rtf.size()));
}
BENCHMARK(BM_TopicFindTextAbsent)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond);

void BM_TopicEmitRtfFile(benchmark::State& state) {
    const std::string& rtf = HelpRtf(static_cast<size_t>(state.range(0)));
    std::string path =
        (std::filesystem::temp_directory_path() / "brioutil-bench-topic.rtf").string();
    for (auto _ : state) {
        char keywords[] = "alpha|beta";
        int32_t status = TopicEmitRtfFile(rtf.c_str(), "ctx", "Title", "Macro()", keywords,
                                          "seq:1", path.c_str(), 40);
        if (status != 0) state.SkipWithError("emission failed");
    }
    std::remove(path.c_str());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(rtf.size()));
}
BENCHMARK(BM_TopicEmitRtfFile)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond);

void BM_TopicImportString(benchmark::State& state) {
    // One topic of the full size: the text up to the first \page is cut out.
    std::string rtf = HelpRtf(static_cast<size_t>(state.range(0)));
    for (size_t page = rtf.find("\\page"); page != std::string::npos;
         page = rtf.find("\\page", page + 5))
        rtf.replace(page, 5, "\\par ");
    for (auto _ : state) {
        int32_t status = 0;
        TopicImport* h = TopicImportString(rtf.c_str(), nullptr, nullptr, nullptr, nullptr,
                                           nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                           nullptr, nullptr, nullptr, nullptr, &status);
        TopicImportStringClose(h);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(rtf.size()));
}
BENCHMARK(BM_TopicImportString)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
