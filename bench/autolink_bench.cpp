// Throughput of Autolink and AutolinkRemove on help RTF of 1 to 64 MB built
// from the corpus topics and of Autolink on generated text where most words
// are terms, how Autolink grows with the dictionary and the text, and how
// much memory it takes.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bench_inputs.h"
#include "brioutil.h"
#include "rtf/rtf.h"

namespace {

using bench::HelpRtf;
using bench::MakeDictionary;
using bench::Terms;

void Sizes(benchmark::internal::Benchmark* b) {
    b->Arg(1)->Arg(4)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond);
}

AutolinkDictionary* MakeDictionary(size_t count, size_t* made, bool sharePrefixes = true) {
    return MakeDictionary(Terms(count, sharePrefixes), made);
}

void RunAutolink(benchmark::State& state, const std::string& rtf, AutolinkDictionary* d,
                 size_t made) {
    int32_t length = 0;
    // A host links topic after topic with one dictionary. Its first run also
    // takes its result's fresh pages from the system, and is timed on its own
    // (BM_AutolinkTermDenseFirstRun): left out here, every size measures the
    // same thing, where before only the larger sizes were first runs alone.
    int32_t firstStatus = 0;
    Autolink(d, rtf.c_str(), "", "", 0, 0, &length, &firstStatus);
    for (auto _ : state) {
        int32_t status = 0;
        char* out = Autolink(d, rtf.c_str(), "", "", 0, 0, &length, &status);
        if (!out || status != 0) {
            std::fprintf(stderr, "status %d\n", static_cast<int>(status));
            state.SkipWithError("Autolink failed");
        }
        benchmark::DoNotOptimize(out);
    }
    state.counters["terms"] = static_cast<double>(made);
    state.counters["growth"] = static_cast<double>(length) / static_cast<double>(rtf.size());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(rtf.size()));
    AutolinkDone(d);
}

void RunAutolink(benchmark::State& state, size_t megabytes, size_t terms,
                 bool sharePrefixes = true) {
    size_t made = 0;
    AutolinkDictionary* d = MakeDictionary(terms, &made, sharePrefixes);
    RunAutolink(state, HelpRtf(megabytes), d, made);
}

void BM_Autolink(benchmark::State& state) {
    RunAutolink(state, static_cast<size_t>(state.range(0)), 10000);
}
BENCHMARK(BM_Autolink)->Apply(Sizes);

// Generated text where most words are terms: 10,000 terms of 1-3 words from
// a vocabulary of 5,000 words, the text drawn from the same words.
void BM_AutolinkTermDense(benchmark::State& state) {
    size_t made = 0;
    AutolinkDictionary* d = MakeDictionary(bench::DenseTerms(), &made);
    RunAutolink(state, bench::TermDenseRtf(static_cast<size_t>(state.range(0))), d, made);
}
BENCHMARK(BM_AutolinkTermDense)->Apply(Sizes);

// The same, each run on a dictionary of its own: a first run.
void BM_AutolinkTermDenseFirstRun(benchmark::State& state) {
    const std::string& rtf = bench::TermDenseRtf(static_cast<size_t>(state.range(0)));
    const std::vector<std::string> terms = bench::DenseTerms();
    for (auto _ : state) {
        state.PauseTiming();
        size_t made = 0;
        AutolinkDictionary* d = MakeDictionary(terms, &made);
        state.ResumeTiming();
        int32_t length = 0, status = 0;
        char* out = Autolink(d, rtf.c_str(), "", "", 0, 0, &length, &status);
        if (!out || status != 0) state.SkipWithError("Autolink failed");
        state.PauseTiming();
        AutolinkDone(d);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(rtf.size()));
}
BENCHMARK(BM_AutolinkTermDenseFirstRun)->Apply(Sizes);

void BM_AutolinkTerms(benchmark::State& state) {
    RunAutolink(state, 16, static_cast<size_t>(state.range(0)));
}
BENCHMARK(BM_AutolinkTerms)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);

// The same with terms that share no first word with the text beyond the
// 100 that match: what the size of the dictionary alone costs.
void BM_AutolinkTermsApart(benchmark::State& state) {
    RunAutolink(state, 16, static_cast<size_t>(state.range(0)), false);
}
BENCHMARK(BM_AutolinkTermsApart)->Arg(100)->Arg(100000)->Unit(benchmark::kMillisecond);

// Removal over text that holds no link: every byte goes through the
// tokenizer and out again (less the line breaks between tokens).
void BM_AutolinkRemovePassThrough(benchmark::State& state) {
    const std::string& rtf = HelpRtf(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        int32_t length = 0, status = 0;
        char* out = AutolinkRemove(rtf.c_str(), &length, &status);
        if (!out || status != -1) state.SkipWithError("AutolinkRemove failed");
        std::free(out);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(rtf.size()));
}
BENCHMARK(BM_AutolinkRemovePassThrough)->Apply(Sizes);

// A plain copy of the same bytes into a fresh buffer: the floor under any
// pass that writes its input out again.
void BM_MemcpyFresh(benchmark::State& state) {
    const std::string& rtf = HelpRtf(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        char* out = static_cast<char*>(std::malloc(rtf.size() + 1));
        std::memcpy(out, rtf.c_str(), rtf.size() + 1);
        benchmark::DoNotOptimize(out);
        std::free(out);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(rtf.size()));
}
BENCHMARK(BM_MemcpyFresh)->Apply(Sizes);

void BM_AutolinkRemove(benchmark::State& state) {
    const std::string& rtf = HelpRtf(static_cast<size_t>(state.range(0)));
    size_t made = 0;
    AutolinkDictionary* d = MakeDictionary(10000, &made);
    int32_t length = 0;
    int32_t status = 0;
    std::string linked = Autolink(d, rtf.c_str(), "", "", 0, 0, &length, &status);
    AutolinkDone(d);
    for (auto _ : state) {
        char* out = AutolinkRemove(linked.c_str(), &length, &status);
        if (!out || status != -1) state.SkipWithError("AutolinkRemove failed");
        std::free(out);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(linked.size()));
}
BENCHMARK(BM_AutolinkRemove)->Apply(Sizes);

// The engine's tokenizer alone over the same text: the floor under every
// pass.
void BM_TokenizeOnly(benchmark::State& state) {
    const std::string& rtf = HelpRtf(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        brio::RtfReader reader(rtf.c_str());
        size_t tokens = 0;
        while (reader.Next() == 0) ++tokens;
        benchmark::DoNotOptimize(tokens);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(rtf.size()));
}
BENCHMARK(BM_TokenizeOnly)->Arg(16)->Unit(benchmark::kMillisecond);

// Heap bytes in use (glibc).
double HeapBytes() {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 33))
    struct mallinfo2 info = mallinfo2();
    return static_cast<double>(info.uordblks + info.hblkhd);
#else
    return 0;
#endif
}

void BM_DictionaryMemory(benchmark::State& state) {
    for (auto _ : state) {
        std::vector<std::string> terms = Terms(static_cast<size_t>(state.range(0)));
        double before = HeapBytes();
        size_t made = 0;
        AutolinkDictionary* d = MakeDictionary(terms, &made);
        double after = HeapBytes();
        state.counters["terms"] = static_cast<double>(made);
        state.counters["MB"] = (after - before) / (1 << 20);
        AutolinkDone(d);
    }
}
BENCHMARK(BM_DictionaryMemory)->Arg(100000)->Iterations(1)->Unit(benchmark::kMillisecond);

// Resident kilobytes of this process: the current size or the high-water mark.
long StatusKilobytes(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    size_t n = std::strlen(field);
    while (std::getline(in, line))
        if (line.compare(0, n, field) == 0) return std::atol(line.c_str() + n + 1);
    return -1;
}

// Peak memory of one Autolink call with 10,000 terms: measured in a child
// process, so memory freed by earlier benchmarks cannot hide any of it. The
// high-water mark is reset once the input and dictionary are in place.
// Pages of the output reserved but never written do not count: they cost
// address space, not memory.
void BM_AutolinkPeakMemory(benchmark::State& state) {
    size_t megabytes = static_cast<size_t>(state.range(0));
    for (auto _ : state) {
        int fds[2];
        if (pipe(fds) != 0) return state.SkipWithError("pipe failed");
        pid_t child = fork();
        if (child == 0) {
            // Every large block its own mapping, returned when freed, so the
            // resident size follows what is in use rather than what the
            // allocator keeps.
            mallopt(M_MMAP_THRESHOLD, 128 << 10);
            mallopt(M_TRIM_THRESHOLD, 128 << 10);
            std::string rtf = bench::BuildHelpRtf(megabytes << 20);
            size_t made = 0;
            AutolinkDictionary* d = MakeDictionary(10000, &made);
            long peak = -1;
            std::ofstream("/proc/self/clear_refs") << "5";
            long before = StatusKilobytes("VmRSS:");
            int32_t length = 0, status = 0;
            char* out = Autolink(d, rtf.c_str(), "", "", 0, 0, &length, &status);
            if (out && status == 0) peak = StatusKilobytes("VmHWM:") - before;
            double result[2] = {static_cast<double>(peak), static_cast<double>(rtf.size())};
            ssize_t written = write(fds[1], result, sizeof result);
            _exit(written == sizeof result ? 0 : 1);
        }
        close(fds[1]);
        double result[2] = {-1, 0};
        ssize_t got = read(fds[0], result, sizeof result);
        close(fds[0]);
        int wstatus = 0;
        waitpid(child, &wstatus, 0);
        if (got != sizeof result || result[0] < 0) return state.SkipWithError("no measurement");
        double inputMb = result[1] / (1 << 20);
        state.counters["input_MB"] = inputMb;
        state.counters["peak_MB"] = result[0] / 1024;
        state.counters["limit_MB"] = 3 * inputMb + 16;
    }
}
BENCHMARK(BM_AutolinkPeakMemory)->Arg(16)->Arg(64)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
