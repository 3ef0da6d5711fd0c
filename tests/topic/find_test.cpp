#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "brioutil.h"
#include "platform/platform.h"
#include "rtf/rtf.h"
#include "test_support.h"
#include "topic/corpus_topics.h"

namespace {

TEST(TopicFindText, FindsWholeWordsInOrder) {
    std::string longWord(150, 'x');
    std::string manyWords, manyText;
    for (int i = 0; i < 300; ++i) manyWords += "w" + std::to_string(i) + " ";
    std::string as250(500, ' '), as300(600, ' ');
    for (int i = 0; i < 250; ++i) as250[2 * i] = 'a';
    for (int i = 0; i < 300; ++i) as300[2 * i] = 'a';
    struct Case {
        std::string rtf;
        std::string phrase;
        int32_t found;
        int32_t status;
    } cases[] = {
        {"{\\rtf1 Use the {\\b print} setup dialog.}", "Print Setup", 1, 0},
        {"{\\rtf1 printer setup}", "print setup", 0, 0},
        {"{\\rtf1 a a a b}", "a a b", 1, 0},
        {"{\\rtf1 set\\par up}", "set up", 1, 0},
        {"{\\rtf1 set\\par\\par up}", "set up", 0, 0},
        // Unknown words between are no paragraph.
        {"{\\rtf1 set\\par\\widctlpar up}", "set up", 1, 0},
        {"{\\rtf1 set\\par{\\*\\bkmkstart x}up}", "set up", 1, 0},
        {"{\\rtf1 ab\\b cd}", "abcd", 1, 0},
        {"{\\rtf1 see{\\footnote hidden} here}", "hidden", 0, 0},
        {"{\\rtf1 see{\\footnote hidden} here}", "see here", 1, 0},
        {"{\\rtf1 {\\b bold}}", "BOLD", 1, 0},
        {"{\\rtf1 caf\\'e9 au lait}", "caf\xe9 au", 1, 0},
        {"{\\rtf1 caf\\'e9 au lait}", "CAF\xc9", 1, 0},
        {"{\\rtf1 caf\\'e9 au lait}", "caf", 0, 0},
        {"{\\rtf1 caf\\'e9 au lait}", "e9", 0, 0},
        {"{\\rtf1 one\\'2ctwo}", "one two", 1, 0},
        {"{\\rtf1 foo\\line bar}", "foobar", 0, 0},
        {"{\\rtf1 foo\\line bar}", "foo bar", 1, 0},
        {"{\\rtf1 foo\\tab bar}", "foo bar", 1, 0},
        {"{\\rtf1 don\\rquote t}", "don't", 1, 0},
        {"{\\rtf1 auto\\-link}", "autolink", 1, 0},
        {"{\\rtf1 C:\\\\temp}", "c temp", 1, 0},
        {"{\\rtf1 a\\bin5 hello b}", "hello", 0, 0},
        {"{\\rtf1 a\\bin5 hello b}", "a b", 1, 0},
        {"{\\rtf1 text.}", "...", 0, 0},
        {"{\\rtf1 text.}", "", 0, 0},
        {"{\\rtf1 the end", "the end", 1, 0},
        {"{\\rtf1 abc\\", "zzz", 0, BRIO_ERR_UNEXPECTED_END},
        {"{\\rtf1 abc\\", "abc", 0, BRIO_ERR_UNEXPECTED_END},
        {"{\\rtf1 abc def\\", "abc", 1, 0},  // found before the error
        // No length limits: a long word never matches a shorter one.
        {"{\\rtf1 " + longWord + "}", std::string(99, 'x'), 0, 0},
        {"{\\rtf1 " + longWord + "}", longWord, 1, 0},
        {"{\\rtf1 " + manyWords + "}", manyWords, 1, 0},
        {"{\\rtf1 " + as300 + "b}", as250 + "b", 1, 0},
        {"{\\rtf1 " + as250 + "b}", as300 + "b", 0, 0},
    };
    for (const auto& k : cases) {
        int32_t status = -7;
        EXPECT_EQ(TopicFindText(k.rtf.c_str(), k.phrase.c_str(), &status), k.found)
            << k.rtf.substr(0, 60) << " / " << k.phrase.substr(0, 40);
        EXPECT_EQ(status, k.status) << k.rtf.substr(0, 60);
    }
}

TEST(TopicFindText, NullArgumentsAndNoMemory) {
    int32_t status = -7;
    EXPECT_EQ(TopicFindText(nullptr, "x", &status), 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(TopicFindText("x", nullptr, &status), 0);
    EXPECT_EQ(TopicFindText("{\\rtf1 x}", "x", nullptr), 1);
    brio::FailAllocationAfter(1);
    EXPECT_EQ(TopicFindText("{\\rtf1 word}", "word", &status), 0);
    brio::FailAllocationAfter(0);
    EXPECT_EQ(status, BRIO_ERR_NO_MEMORY);
}

// The visible words of a topic, written apart from the engine: text outside
// destinations, \'hh decoded, \par ending a word even when empty, other
// symbol words and punctuation ending a begun one.
std::vector<std::string> VisibleWords(const std::string& rtf) {
    std::vector<std::string> words;
    std::string word;
    bool begun = false;
    auto end = [&](bool evenEmpty) {
        if (begun || evenEmpty) words.push_back(word);
        word.clear();
        begun = false;
    };
    auto put = [&](unsigned char b) {
        if (!std::isalnum(b) && b < 0x80) return end(false);
        word += static_cast<char>(brio::PlatCharUpper(b));
        begun = true;
    };
    auto is = [&](int (*f)(int), size_t j) { return j < rtf.size() && f((unsigned char)rtf[j]); };
    int depth = 0, skipUntil = -1;  // depth below which skipping ends
    for (size_t i = 0, n = rtf.size(); i < n;) {
        unsigned char ch = rtf[i++];
        bool live = skipUntil < 0;
        if (ch == '{') {
            ++depth;
        } else if (ch == '}') {
            if (--depth < skipUntil) skipUntil = -1;
        } else if (ch == '\r' || ch == '\n') {
        } else if (ch != '\\' || i == n) {
            if (live) put(ch);
        } else if (is(std::isalpha, i)) {
            size_t j = i;
            while (is(std::isalpha, j)) ++j;
            std::string name = rtf.substr(i, j - i);
            long param = 0;
            if (j < n && (rtf[j] == '-' || is(std::isdigit, j))) {
                param = std::strtol(rtf.c_str() + j, nullptr, 10);
                for (j += rtf[j] == '-'; is(std::isdigit, j);) ++j;
            }
            j += j < n && rtf[j] == ' ';
            if (name == "bin" && param > 0) j += static_cast<size_t>(param);
            i = j;
            const brio::RtfKeyword* row = brio::RtfFindKeyword(name.data(), name.size());
            if (!live || !row) continue;
            if (row->keywordClass == brio::kRtfDestination && depth >= 2) {
                skipUntil = depth;
            } else if (name == "par" || row->keywordClass == brio::kRtfSymbol) {
                end(name == "par");
            }
        } else if (rtf[i] == '*' || rtf[i] == '-') {
            if (live && depth >= 2 && rtf[i] == '*') skipUntil = depth;
            ++i;
        } else if (rtf[i] == '\'' && is(std::isxdigit, i + 1) && is(std::isxdigit, i + 2)) {
            if (live) put(static_cast<unsigned char>(std::stoi(rtf.substr(i + 1, 2), nullptr, 16)));
            i += 3;
        } else {
            if (live) put(rtf[i]);
            ++i;
        }
    }
    end(false);
    return words;
}

bool Contains(const std::vector<std::string>& words, const std::vector<std::string>& phrase) {
    for (size_t s = 0; s + phrase.size() <= words.size(); ++s) {
        size_t k = 0;
        while (k < phrase.size() && words[s + k] == phrase[k]) ++k;
        if (k == phrase.size()) return true;
    }
    return false;
}

TEST(TopicFindText, FindsPhrasesOfEveryCorpusTopic) {
    std::mt19937 rng(7);
    int topics = 0, checked = 0;
    for (const auto& path : brio::test::ListFiles(brio::test::CorpusDir("rtf"))) {
        for (const auto& topic : brio::test::SplitTopics(brio::test::ReadFile(path))) {
            const std::string& rtf = topic.rtf;
            auto words = VisibleWords(rtf);
            ++topics;
            for (int round = 0; round < 4; ++round) {
                if (words.size() < 2) break;
                size_t count = 1 + rng() % std::min<size_t>(5, words.size() - 1);
                size_t start = rng() % (words.size() - count + 1);
                std::vector<std::string> picked(words.begin() + start,
                                                words.begin() + start + count);
                bool usable = true;
                for (const auto& w : picked) usable = usable && !w.empty();
                if (!usable) continue;
                std::string phrase;
                for (const auto& w : picked) phrase += w + (rng() % 2 ? " " : ", ");
                int32_t status = -7;
                EXPECT_EQ(TopicFindText(rtf.c_str(), phrase.c_str(), &status), 1)
                    << path << ": " << phrase;
                EXPECT_EQ(status, 0);
                // One word altered: found only where the altered phrase occurs.
                size_t which = rng() % count;
                picked[which] = rng() % 2 ? picked[which] + "Q" : picked[which].substr(1) + "Z";
                std::string altered;
                for (const auto& w : picked) altered += w + " ";
                EXPECT_EQ(TopicFindText(rtf.c_str(), altered.c_str(), &status),
                          Contains(words, picked) ? 1 : 0)
                    << path << ": " << altered;
                ++checked;
            }
        }
    }
    EXPECT_GT(topics, 2000);
    EXPECT_GT(checked, 5000);
}

}  // namespace
