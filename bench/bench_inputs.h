// Inputs shared by the benchmark programs: help RTF of a chosen size built
// from the corpus topics, generated word-dense help RTF, and Autolink term
// lists.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "brioutil.h"

namespace bench {

struct Corpus {
    std::vector<std::string> bodies;  // each topic's content, inside its outer braces
    std::vector<std::string> words;   // words of the visible text, in order
};

// Rough words of a topic: letters outside control words.
inline void CollectWords(const std::string& rtf, std::vector<std::string>* words) {
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

// Every topic of every corpus document, cut out by the library's own import.
inline const Corpus& LoadCorpus() {
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
inline std::string BuildHelpRtf(size_t bytes) {
    const Corpus& corpus = LoadCorpus();
    std::string rtf = "{\\rtf1\\ansi{\\stylesheet{\\widctlpar\\f4\\fs20 \\snext0 Normal;}}";
    rtf.reserve(bytes + (64 << 10));
    while (rtf.size() < bytes) {
        for (const auto& body : corpus.bodies) {
            if (rtf.size() >= bytes) break;
            rtf += "{" + body + "}\\page\r\n";
        }
    }
    rtf += "}";
    return rtf;
}

inline const std::string& HelpRtf(size_t megabytes) {
    static std::map<size_t, std::string> cache;
    std::string& rtf = cache[megabytes];
    if (rtf.empty()) rtf = BuildHelpRtf(megabytes << 20);
    return rtf;
}

// `count` terms of 1-3 words. The first 100 are taken from the text, so the
// links made stay the same whatever the count; the others are a word the text
// does not hold, or start with a word of the text and go on with such a word,
// so the walk does its full work on them without adding links.
inline std::vector<std::string> Terms(size_t count, bool sharePrefixes = true) {
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

// Generated help text: a fixed seed, so every run and every machine reads the
// same bytes.
class Random {
  public:
    explicit Random(uint64_t seed) : engine_(seed) {}
    size_t Below(size_t n) { return static_cast<size_t>(engine_() % n); }
    bool OneIn(size_t n) { return Below(n) == 0; }
    double Unit() { return static_cast<double>(engine_() >> 11) * 0x1.0p-53; }

  private:
    std::mt19937_64 engine_;
};

// Distinct words of 2-7 letters: a few dozen common ones of help text first,
// then made-up words of alternating consonants and vowels, so no two
// consonants ever meet in a made-up word.
inline std::vector<std::string> MakeVocabulary(size_t count, uint64_t seed) {
    static const char* const kCommon[] = {
        "the",  "to",   "a",    "of",    "and",  "in",   "is",     "you",  "for",    "on",
        "or",   "this", "box",  "click", "menu", "file", "open",   "it",   "can",    "use",
        "with", "an",   "be",   "that",  "from", "by",   "are",    "list", "select", "type",
        "name", "then", "if",   "as",    "not",  "new",  "see",    "at",   "when",   "your",
        "text", "page", "help", "topic", "all",  "each", "choose", "want", "tab",    "OK"};
    const char* consonants = "bcdfghjklmnprstvwz";
    const char* vowels = "aeiou";
    std::vector<std::string> words;
    std::set<std::string> seen;
    for (const char* w : kCommon)
        if (words.size() < count && seen.insert(w).second) words.push_back(w);
    Random random(seed);
    while (words.size() < count) {
        static const size_t kLengths[] = {2, 3, 3, 4, 4, 4, 5, 5, 5, 6, 6, 7};
        size_t length = kLengths[random.Below(std::size(kLengths))];
        bool vowel = random.OneIn(3);
        std::string word;
        for (size_t k = 0; k < length; ++k, vowel = !vowel)
            word += vowel ? vowels[random.Below(5)] : consonants[random.Below(18)];
        if (seen.insert(word).second) words.push_back(word);
    }
    return words;
}

// Draws vocabulary ranks with a Zipf distribution (rank r weighs 1/(r+1)),
// as words of running text fall.
class ZipfWords {
  public:
    explicit ZipfWords(const std::vector<std::string>& words) : words_(words) {
        double total = 0;
        for (size_t r = 0; r < words.size(); ++r) cumulative_.push_back(total += 1.0 / (r + 1));
        for (double& c : cumulative_) c /= total;
    }
    const std::string& Draw(Random& random) const {
        size_t r = static_cast<size_t>(
            std::lower_bound(cumulative_.begin(), cumulative_.end(), random.Unit()) -
            cumulative_.begin());
        return words_[std::min(r, words_.size() - 1)];
    }

  private:
    const std::vector<std::string>& words_;
    std::vector<double> cumulative_;
};

// A phrase planted once in the last few percent of word-dense text; no
// generated word holds two consonants in a row, so "kestrel" occurs nowhere
// else.
constexpr const char* kLatePhrase = "rebuild the kestrel index";
constexpr const char* kAbsentPhrase = "the kestrel gate";

// Help-compiler RTF of mostly short words: topics, each opened by \page, of
// footnotes, a bold title and paragraphs of sentences, with a word in bold or italics now and then,
// an occasional bulleted list, and lines broken after a blank.
inline std::string BuildWordDenseRtf(size_t bytes, const std::vector<std::string>& vocabulary,
                                     uint64_t seed) {
    ZipfWords zipf(vocabulary);
    Random random(seed);
    std::string rtf =
        "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\froman Times New Roman;}}"
        "{\\stylesheet{\\widctlpar\\f0\\fs20 \\snext0 Normal;}}\r\n";
    rtf.reserve(bytes + (64 << 10));
    size_t lineStart = rtf.size();
    auto breakLine = [&] {
        if (rtf.size() - lineStart > 72) {
            rtf += "\r\n";
            lineStart = rtf.size();
        }
    };
    auto words = [&](size_t n, bool capital) {
        std::string s;
        for (size_t k = 0; k < n; ++k) {
            std::string w = zipf.Draw(random);
            if (k == 0 && capital) w[0] = static_cast<char>(std::toupper(w[0]));
            s += (k ? " " : "") + w;
        }
        return s;
    };
    bool planted = false;
    for (size_t topic = 0; rtf.size() < bytes; ++topic) {
        std::string title = words(1 + random.Below(4), true);
        rtf += "\\page\r\n#{\\footnote IDH_" + std::to_string(topic) + "}\r\n${\\footnote " +
               title + "}\r\nK{\\footnote " + words(1 + random.Below(2), false) + ";" +
               words(1 + random.Below(2), false) + "}\r\n";
        if (random.OneIn(4)) rtf += "+{\\footnote seq:" + std::to_string(topic) + "}\r\n";
        rtf += "\\keepn{\\b\\fs24 " + title + "}\\par\\pard\r\n";
        lineStart = rtf.size();
        for (size_t para = 3 + random.Below(6); para > 0; --para) {
            bool list = random.OneIn(8);
            if (list) rtf += "\\pard\\fi-360\\li360 ";
            for (size_t sentence = list ? 1 : 2 + random.Below(4); sentence > 0; --sentence) {
                if (list) rtf += "\\bullet\\tab ";
                size_t n = 4 + random.Below(11);
                for (size_t k = 0; k < n; ++k) {
                    std::string w = zipf.Draw(random);
                    if (k == 0) w[0] = static_cast<char>(std::toupper(w[0]));
                    if (random.OneIn(40))
                        rtf += (random.OneIn(2) ? "{\\b " : "{\\i ") + w + "}";
                    else
                        rtf += w;
                    if (k + 1 < n) {
                        if (random.OneIn(10)) rtf += ",";
                        rtf += " ";
                        breakLine();
                    }
                }
                rtf += random.OneIn(10) ? "?" : random.OneIn(15) ? ":" : ".";
                rtf += list ? "\\par\r\n" : " ";
                if (list) lineStart = rtf.size();
                breakLine();
            }
            if (list) {
                rtf += "\\pard\r\n";
                continue;
            }
            if (!planted && rtf.size() >= bytes - bytes / 32) {
                rtf += "To " + std::string(kLatePhrase) + ", choose OK. ";
                planted = true;
            }
            rtf += "\\par\r\n";
            lineStart = rtf.size();
        }
    }
    rtf += "}";
    return rtf;
}

inline const std::vector<std::string>& HelpVocabulary() {
    static const std::vector<std::string> words = MakeVocabulary(3000, 17);
    return words;
}

inline const std::string& WordDenseRtf(size_t megabytes) {
    static std::map<size_t, std::string> cache;
    std::string& rtf = cache[megabytes];
    if (rtf.empty()) rtf = BuildWordDenseRtf(megabytes << 20, HelpVocabulary(), 1);
    return rtf;
}

// Text where most words are registered terms: 10,000 terms of 1-3 words
// drawn from a vocabulary of 5,000 words, as often as the text draws them.
inline const std::vector<std::string>& TermVocabulary() {
    static const std::vector<std::string> words = MakeVocabulary(5000, 29);
    return words;
}

inline const std::string& TermDenseRtf(size_t megabytes) {
    static std::map<size_t, std::string> cache;
    std::string& rtf = cache[megabytes];
    if (rtf.empty()) rtf = BuildWordDenseRtf(megabytes << 20, TermVocabulary(), 2);
    return rtf;
}

inline std::vector<std::string> DenseTerms(size_t count = 10000) {
    ZipfWords zipf(TermVocabulary());
    Random random(3);
    std::vector<std::string> terms;
    std::set<std::string> seen;
    while (terms.size() < count) {
        std::string term = zipf.Draw(random);
        for (size_t k = random.Below(3); k > 0; --k) term += " " + zipf.Draw(random);
        if (seen.insert(term).second) terms.push_back(term);
    }
    return terms;
}

inline AutolinkDictionary* MakeDictionary(const std::vector<std::string>& terms, size_t* made) {
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

}  // namespace bench
