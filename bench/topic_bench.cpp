// Throughput of the topic passes over help RTF of 1 to 64 MB built from the
// corpus topics, beside a plain copy of the same bytes, and of the search
// over generated word-dense help text.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_inputs.h"
#include "brioutil.h"

namespace {

void SetBytes(benchmark::State& state, size_t bytes) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}

void Sizes(benchmark::internal::Benchmark* b) {
    b->Arg(1)->Arg(4)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond);
}

void BM_Memcpy(benchmark::State& state) {
    const std::string& rtf = bench::HelpRtf(static_cast<size_t>(state.range(0)));
    std::vector<char> out(rtf.size());
    for (auto _ : state) {
        std::memcpy(out.data(), rtf.data(), rtf.size());
        benchmark::ClobberMemory();
    }
    SetBytes(state, rtf.size());
}
BENCHMARK(BM_Memcpy)->Apply(Sizes);

void BM_TopicFindText(benchmark::State& state) {
    const std::string& rtf = bench::HelpRtf(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        int32_t status = 0;
        benchmark::DoNotOptimize(TopicFindText(rtf.c_str(), "quixotic zebra phrase", &status));
    }
    SetBytes(state, rtf.size());
}
BENCHMARK(BM_TopicFindText)->Apply(Sizes);

// Word-dense help text: every word goes through the phrase matcher. The
// late phrase is found after about 97 % of the text; the rate counts the
// bytes read up to its end.
void FindInWordDense(benchmark::State& state, const char* phrase, int32_t expected) {
    const std::string& rtf = bench::WordDenseRtf(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        int32_t status = 0;
        int32_t found = TopicFindText(rtf.c_str(), phrase, &status);
        if (found != expected || status != 0) state.SkipWithError("unexpected search result");
    }
    size_t read = rtf.size();
    if (expected) read = rtf.find(phrase) + std::strlen(phrase);
    SetBytes(state, read);
}

void BM_TopicFindTextWordDenseLate(benchmark::State& state) {
    FindInWordDense(state, bench::kLatePhrase, 1);
}
BENCHMARK(BM_TopicFindTextWordDenseLate)->Apply(Sizes);

void BM_TopicFindTextWordDenseAbsent(benchmark::State& state) {
    FindInWordDense(state, bench::kAbsentPhrase, 0);
}
BENCHMARK(BM_TopicFindTextWordDenseAbsent)->Apply(Sizes);

void BM_TopicEmitRtfFile(benchmark::State& state) {
    const std::string& rtf = bench::HelpRtf(static_cast<size_t>(state.range(0)));
    std::string path =
        (std::filesystem::temp_directory_path() / "brioutil-bench-topic.rtf").string();
    for (auto _ : state) {
        char keywords[] = "alpha|beta";
        int32_t status = TopicEmitRtfFile(rtf.c_str(), "ctx", "Title", "Macro()", keywords, "seq:1",
                                          path.c_str(), 40);
        if (status != 0) state.SkipWithError("emission failed");
    }
    std::remove(path.c_str());
    SetBytes(state, rtf.size());
}
BENCHMARK(BM_TopicEmitRtfFile)->Apply(Sizes);

void BM_TopicImportString(benchmark::State& state) {
    // One topic of the full size: the page breaks become paragraphs.
    std::string rtf = bench::HelpRtf(static_cast<size_t>(state.range(0)));
    for (size_t page = rtf.find("\\page"); page != std::string::npos;
         page = rtf.find("\\page", page + 5))
        rtf.replace(page, 5, "\\par ");
    for (auto _ : state) {
        int32_t status = 0;
        TopicImport* h = TopicImportString(rtf.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr,
                                           nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                           nullptr, nullptr, nullptr, &status);
        if (status != 0) state.SkipWithError("import failed");
        TopicImportStringClose(h);
    }
    SetBytes(state, rtf.size());
}
BENCHMARK(BM_TopicImportString)->Apply(Sizes);

}  // namespace

// `topic_bench --write-inputs DIR` writes the inputs as help-1.rtf ...
// help-64.rtf, for the peer tools measured beside the benchmarks.
int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--write-inputs") {
        for (size_t mb : {1, 4, 16, 64}) {
            std::string path = std::string(argv[2]) + "/help-" + std::to_string(mb) + ".rtf";
            const std::string& rtf = bench::HelpRtf(mb);
            FILE* f = std::fopen(path.c_str(), "wb");
            if (!f || std::fwrite(rtf.data(), 1, rtf.size(), f) != rtf.size() || std::fclose(f)) {
                std::perror(path.c_str());
                return 1;
            }
        }
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
