// Throughput of Autolink and AutolinkRemove on a large help RTF built from the
// corpus topics, and how Autolink grows with the dictionary and the text.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "brioutil.h"
#include "rtf/rtf.h"

namespace {

struct Corpus {
    std::vector<std::string> bodies;  // each topic's content, inside its outer braces
    std::vector<std::string> words;   // words of the visible text, in order
};

// Rough words of a topic: letters outside control words.
void CollectWords(const std::string& rtf, std::vector<std::string>* words) {
    std::string word;
    for (size_t i = 0; i < rtf.size(); ++i) {
        char ch = rtf[i];
        if (ch == '\\') {
            if (!word.empty()) words->push_back(word), word.clear();
            ++i;
            while (i < rtf.size() && std::isalpha(static_cast<unsigned char>(rtf[i]))) ++i;
            continue;
        }
        if (std::isalpha(static_cast<unsigned char>(ch))) {
            word += ch;
        } else if (!word.empty()) {
            if (word.size() >= 3) words->push_back(word);
            word.clear();
        }
    }
}

const Corpus& LoadCorpus() {
    static Corpus corpus = [] {
        Corpus c;
        std::vector<std::filesystem::path> files;
        for (const auto& entry :
             std::filesystem::directory_iterator(std::string(BRIOUTIL_CORPUS_DIR) + "/rtf"))
            files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        for (const auto& path : files) {
            std::ifstream in(path, std::ios::binary);
            std::string text((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
            size_t pos = 0;
            while (pos < text.size()) {
                const char* out = nullptr;
                uint32_t length = 0, consumed = 0;
                int32_t status = 0;
                TopicImport* h = TopicImportString(
                    text.c_str() + pos, &out, &length, nullptr, nullptr, nullptr, nullptr, nullptr,
                    nullptr, nullptr, nullptr, nullptr, &consumed, nullptr, nullptr, &status);
                if (status == 0 && out && length > 2) {
                    // A document's first topic comes with the document's
                    // braces, the others are balanced as they are.
                    std::string topic(out, length);
                    size_t open = topic.find_first_not_of(" \r\n");
                    if (topic.compare(open, 5, "{\\rtf") == 0)
                        topic = topic.substr(open + 1, topic.rfind('}') - open - 1);
                    c.bodies.push_back(topic);
                    CollectWords(c.bodies.back(), &c.words);
                }
                TopicImportStringClose(h);
                if (consumed == 0) break;
                pos += consumed;
            }
        }
        return c;
    }();
    return corpus;
}

// Topics one after another, each ended by \page, in one document.
std::string BuildHelpRtf(size_t megabytes) {
    const Corpus& corpus = LoadCorpus();
    std::string rtf = "{\\rtf1\\ansi{\\stylesheet{\\widctlpar\\f4\\fs20 \\snext0 Normal;}}";
    size_t target = megabytes << 20;
    while (rtf.size() < target) {
        for (const auto& body : corpus.bodies) {
            if (rtf.size() >= target) break;
            rtf += "{" + body + "}\\page\r\n";
        }
    }
    rtf += "}";
    return rtf;
}

const std::string& HelpRtf(size_t megabytes) {
    static std::string rtf16;
    static std::string rtf64;
    std::string& rtf = megabytes == 64 ? rtf64 : rtf16;
    if (rtf.empty()) rtf = BuildHelpRtf(megabytes);
    return rtf;
}

// `count` terms of 1-3 words. The first 100 are taken from the text, so the
// links made stay the same whatever the count; the others are a word the text
// does not hold, or start with a word of the text and go on with such a word,
// so the walk does its full work on them without adding links.
std::vector<std::string> Terms(size_t count, bool sharePrefixes = true) {
    const Corpus& corpus = LoadCorpus();
    std::vector<std::string> terms;
    std::set<std::string> seen;
    size_t total = corpus.words.size();
    for (size_t i = 0; terms.size() < count && i < 50 * count + 1000; ++i) {
        size_t words = 1 + i % 3;
        std::string term;
        if (terms.size() < 100) {
            size_t at = (i * 7919) % (total - 3);
            for (size_t k = 0; k < words; ++k) term += (k ? " " : "") + corpus.words[at + k];
        } else if (words == 1 || !sharePrefixes) {
            term = "qz" + std::to_string(i);
        } else {
            term = corpus.words[(i * 13) % total];
            for (size_t k = 1; k < words; ++k)
                term += " qz" + std::to_string(i) + "x" + std::to_string(k);
        }
        if (seen.insert(term).second) terms.push_back(term);
    }
    return terms;
}

AutolinkDictionary* MakeDictionary(const std::vector<std::string>& terms, size_t* made) {
    AutolinkDictionary* d = nullptr;
    *made = 0;
    for (size_t n = 0; n < terms.size(); ++n) {
        std::string target = "CTX_" + std::to_string(n);
        int32_t result = 0;
        d = AutolinkReference(d, terms[n].c_str(), "", target.c_str(), 0, 0, "", 0, &result);
        if (result == 0) ++*made;
    }
    return d;
}

AutolinkDictionary* MakeDictionary(size_t count, size_t* made, bool sharePrefixes = true) {
    return MakeDictionary(Terms(count, sharePrefixes), made);
}

void RunAutolink(benchmark::State& state, size_t megabytes, size_t terms,
                 bool sharePrefixes = true) {
    const std::string& rtf = HelpRtf(megabytes);
    size_t made = 0;
    AutolinkDictionary* d = MakeDictionary(terms, &made, sharePrefixes);
    int32_t length = 0;
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

void BM_Autolink(benchmark::State& state) {
    RunAutolink(state, static_cast<size_t>(state.range(0)), 10000);
}
BENCHMARK(BM_Autolink)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond);

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
BENCHMARK(BM_AutolinkRemove)->Arg(16)->Arg(64)->Unit(benchmark::kMillisecond);

// The engine's tokenizer alone over the same text: the floor under every
// pass.
void BM_TokenizeOnly(benchmark::State& state) {
    const std::string& rtf = HelpRtf(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        brio::RtfContext c;
        std::memset(&c, 0, sizeof c);
        c.inText = c.inPos = rtf.c_str();
        c.inIsString = 1;
        size_t tokens = 0;
        while (brio::RtfNextToken(&c) == 0) ++tokens;
        benchmark::DoNotOptimize(tokens);
        brio::RtfFreeContext(&c);
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

}  // namespace

BENCHMARK_MAIN();
