// Inputs shared by the benchmark programs: help RTF of a chosen size built
// from the corpus topics, and Autolink term lists.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
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
