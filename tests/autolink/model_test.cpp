// Autolink, AutolinkRemove and TopicFindText on generated texts, against a model of each.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "autolink/autolink_support.h"

namespace {

using namespace brio::test;

std::vector<std::string> Split(const std::string& s) {
    std::vector<std::string> words(1);
    for (char c : s) c == ' ' ? void(words.emplace_back()) : void(words.back() += c);
    return words;
}

// Words alike in their first bytes or but for the last, upper-half letters and a quote, and two
// whose 16-byte keys collide.
const std::vector<std::string> kWords = Split(
    "a b print printer prin setup apple pie & , caf\xe9 \xc9t\xe9 \x93 internat internationa "
    "internationalisation internationalization abcdefghijklmnoP abcdefghijklmnopQ "
    "abcdefghijklmnopqR abcdefghijklmnopqS abcdefghijklmnopqT abcdefghijklmnopqU "
    "abcdefghijklmnopqV abcdefghijklmnopqW abcdefghijklmnopq7 ABCDEFGHIJKLMNOPQRSTUVWXYZ "
    "ABCDEFGHIJKLMNOPQRSTUVWXY abcdefghijklmnopffqzqyti abcdefghijklmnopcdloogkg");

const std::string kUnderlines[] = {"uldb", "uld", "ulw", "strike"};

struct Term {
    std::vector<std::string> words;
    std::string target;
    bool caseSensitive, popup, excluded;
};

struct Unit {
    char ch;
    size_t start, end;  // the input bytes that show it
};

struct Text {
    std::string rtf;
    std::vector<std::vector<Unit>> runs;          // the visible text, cut where a run ends
    std::vector<std::pair<size_t, size_t>> cuts;  // tokens that cut a link into pieces
    std::string shown;                            // the text as a search reads it
};

struct Match {
    size_t start, end;
    const Term* term;
};

// Letters of the single-byte code page: ASCII ones and the upper half from 0xC0 but for the signs.
bool Letter(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return std::isalpha(u) || (u >= 0xC0 && u != 0xD7 && u != 0xF7);
}
bool WordChar(char c) {
    return Letter(c) || std::isdigit(static_cast<unsigned char>(c));
}
std::string Lower(std::string s) {
    for (char& c : s)
        if (Letter(c) && !(c & 0x20) && static_cast<unsigned char>(c) != 0xDF) c ^= 0x20;
    return s;
}

std::string Cased(std::string w, std::mt19937& rnd) {
    for (char& c : w)
        if (rnd() % 3 == 0 && Letter(c) && (c & 0x1F) != 0x1F) c ^= 0x20;
    return w;
}

std::vector<Term> MakeTerms(std::mt19937& rnd, size_t n) {
    std::vector<Term> terms;
    std::set<std::string> keys;
    while (terms.size() < n) {
        Term t{{}, "", rnd() % 4 == 0, rnd() % 4 == 0, rnd() % 6 == 0};
        for (size_t k = 1 + rnd() % 3; k > 0; --k) {
            std::string w = kWords[rnd() % kWords.size()];
            t.words.push_back(t.caseSensitive ? Cased(w, rnd) : w);
        }
        std::string key;
        for (const std::string& w : t.words) key += Lower(w) + " ";
        if (!keys.insert(key).second) continue;
        if (!t.excluded) t.target = "T" + std::to_string(terms.size());
        terms.push_back(t);
    }
    return terms;
}

// Words join letters and digits; other characters are words of their own; blanks separate.
std::vector<Match> Model(const Text& text, const std::vector<Term>& terms, const std::string& topic,
                         const std::string& popup) {
    std::vector<Match> links;
    for (const std::vector<Unit>& run : text.runs) {
        std::vector<Unit> words;  // ch unused
        std::vector<std::string> spelled;
        for (size_t i = 0; i < run.size();) {
            size_t j = i + 1;
            while (WordChar(run[i].ch) && j < run.size() && WordChar(run[j].ch)) ++j;
            if (run[i].ch != ' ') {
                words.push_back({0, run[i].start, run[j - 1].end});
                spelled.emplace_back();
                for (size_t k = i; k < j; ++k) spelled.back() += run[k].ch;
            }
            i = j;
        }
        for (size_t i = 0; i < words.size();) {
            const Term* best = nullptr;
            for (const Term& t : terms) {
                size_t n = t.words.size();
                if ((best && n <= best->words.size()) || i + n > words.size()) continue;
                bool same = true;
                for (size_t k = 0; k < n; ++k)
                    same = same && (t.caseSensitive ? spelled[i + k] == t.words[k]
                                                    : Lower(spelled[i + k]) == Lower(t.words[k]));
                if (same) best = &t;
            }
            if (best && !best->excluded && best->target != (best->popup ? popup : topic))
                links.push_back({words[i].start, words[i + best->words.size() - 1].end, best});
            i += best ? best->words.size() : 1;
        }
    }
    return links;
}

Text Generate(std::mt19937& rnd, const std::vector<Term>& terms) {
    Text t;
    t.runs.emplace_back();
    std::string& s = t.rtf;
    auto cut = [&](const char* token) {
        t.cuts.push_back({s.size(), s.size() + std::string(token).size()});
        s += token;
    };
    auto show = [&](char c) {
        size_t start = s.size();
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\'%02x", static_cast<unsigned char>(c));
        s += (Letter(c) || static_cast<unsigned char>(c) >= 0x80) && rnd() % 8 == 0
                 ? std::string(hex)
             : c == '{' || c == '}' ? std::string("\\") + c
                                    : std::string(1, c);
        t.runs.back().push_back({c, start, s.size()});
        t.shown += c;
    };
    auto breakRun = [&](const std::string& token, const std::string& shown) {
        s += token;
        t.shown += shown;
        t.runs.emplace_back();
    };
    int depth = 0;
    for (int n = 2 + rnd() % 30; n > 0; --n) {
        const std::vector<std::string>& from =
            rnd() % 2 ? kWords : terms[rnd() % terms.size()].words;
        std::string w = Cased(from[rnd() % from.size()], rnd);
        if (rnd() % 16 == 0) w = rnd() % 2 ? "{" : "}";  // escaped: no group, no reference
        const std::string x = Letter(w[0]) ? w : "x";
        // Run ends: a paragraph, a hot spot, a footnote, hidden text, a control symbol, references.
        const std::string ends[] = {"\\par ",
                                    "{\\" + kUnderlines[rnd() % 4] + " " + x + "}{\\v X}",
                                    "{\\footnote " + x + "}",
                                    "{\\v " + x + "}",
                                    "\\~",
                                    "\\{#" + x + "\\}",
                                    "\\{bmc " + x + ".bmp\\}"};
        const std::string shown[] = {"\n", x, "", "", " ", " ", " "};
        size_t pick = rnd() % 14;
        if (pick < 7) {
            breakRun(ends[pick], shown[pick]);
        } else if (pick == 7 && depth < 3) {
            ++depth;
            breakRun("{\\b ", "");
        } else if (pick == 8 && depth > 0) {
            --depth;
            breakRun("}", "");
        } else if (pick == 9) {
            rnd() % 2 ? cut("\\i0 ") : cut("\r\n");
        } else if (pick == 10) {
            show(' ');
        } else {
            for (size_t i = 0; i < w.size(); ++i) {
                if (i > 0 && rnd() % 10 == 0)
                    rnd() % 3 ? cut(rnd() % 2 ? "\\b " : "\r\n") : void(s += "\\-");
                show(w[i]);
            }
            if (rnd() % 2) show(' ');
        }
    }
    for (; depth > 0; --depth) breakRun("}", "");
    return t;
}

// The words a search sees; a paragraph end not right after a word is an empty word.
std::vector<std::string> SearchWords(const std::string& text) {
    std::vector<std::string> out;
    auto alnum = [&](size_t i) { return WordChar(text[i]); };
    for (size_t i = 0, j = 0; i < text.size(); i = j) {
        while (j < text.size() && alnum(j)) ++j;
        if (j > i) out.push_back(Lower(text.substr(i, j - i)));
        if (j == i && text[j++] == '\n' && (i == 0 || !alnum(i - 1))) out.push_back("\n");
    }
    return out;
}

// Whole words in order, case aside.
int32_t Found(const std::string& shown, const std::string& phrase) {
    std::vector<std::string> text = SearchWords(shown), wanted = SearchWords(phrase);
    wanted.erase(std::remove(wanted.begin(), wanted.end(), "\n"), wanted.end());
    return !wanted.empty() &&
           std::search(text.begin(), text.end(), wanted.begin(), wanted.end()) != text.end();
}

// The input with the links written in (or, removed, as the braced text they leave).
std::string Expected(const Text& t, const std::vector<Match>& links, const std::string& head,
                     const std::string& hidden, bool removed) {
    std::string out;
    size_t at = 0;
    for (const Match& l : links) {
        out += t.rtf.substr(at, l.start - at);
        std::string open = removed ? "{" : head + (l.term->popup ? "\\ul " : "\\uldb ");
        size_t p = l.start;
        for (auto [from, to] : t.cuts) {
            if (from < l.start || from >= l.end) continue;
            if (from > p) out += open + t.rtf.substr(p, from - p) + "}";
            out += t.rtf.substr(from, to - from);
            p = to;
        }
        out += open + t.rtf.substr(p, l.end - p) + "}";
        if (!removed) out += hidden + l.term->target + "}";
        at = l.end;
    }
    out += t.rtf.substr(at);
    if (removed)
        for (size_t crlf; (crlf = out.find("\r\n")) != std::string::npos;) out.erase(crlf, 2);
    return out;
}

// Documents without a style sheet, with one, and fragments of later topics.
std::string Same(const std::string& s) {
    return s;
}
struct Kind {
    std::string (*in)(const std::string&), (*out)(const std::string&);
    std::string head, hidden;
    uint32_t colour;
    bool styled;
};
const Kind kKinds[] = {{R, R, "{", "{\\v ", 0, false},
                       {R, R, "{\\cf2", "{\\v ", 2, false},
                       {Doc, Linked99, "{\\cs99\\cf5", "{\\cs99\\v ", 5, true},
                       {Same, Same, "{\\cs99", "{\\cs99\\v ", 0, true}};

TEST(AutolinkModel, GeneratedTextsLinkAndUnlinkAsTheModelSays) {
    size_t linked = 0, found = 0;
    for (unsigned round = 0; round < 80; ++round) {
        std::mt19937 rnd(round);
        std::vector<Term> terms = MakeTerms(rnd, 4 + rnd() % 14);
        std::vector<std::string> spelled(terms.size()), fillers(round % 3 ? 0 : 3000);
        std::vector<Ref> refs;
        for (size_t i = 0; i < fillers.size(); ++i)
            fillers[i] = "filler" + std::to_string(i) + " x";
        for (size_t i = 0; i < terms.size(); ++i) {
            // Every third dictionary is large: thousands of terms between the others.
            if (i == terms.size() / 2)
                for (const std::string& f : fillers) refs.push_back({f.c_str(), "F"});
            const Term& t = terms[i];
            for (const std::string& w : t.words) spelled[i] += (rnd() % 4 ? " " : "\t") + w;
            refs.push_back(
                {spelled[i].c_str(), t.target.c_str(), "", t.excluded, t.caseSensitive, t.popup});
        }
        AutolinkDictionary* d = MakeDictionary(refs);
        // Links to the topic itself, or popups of the popup context, are left out.
        const std::string topic = "T" + std::to_string(rnd() % terms.size()),
                          popup = "T" + std::to_string(rnd() % terms.size());
        for (int n = 0; n < 80 && !HasFailure(); ++n) {
            Text t = Generate(rnd, terms);
            std::vector<Match> links = Model(t, terms, topic, popup);
            linked += links.size();
            const Kind& k = kKinds[n % 4];
            std::string expected = k.out(Expected(t, links, k.head, k.hidden, false));
            Result out = Link(d, k.in(t.rtf), topic.c_str(), popup.c_str(), 0, k.colour);
            EXPECT_EQ(out.text + "|" + std::to_string(out.status), expected + "|0");
            EXPECT_EQ(Link(d, expected, topic.c_str(), popup.c_str(), 0, k.colour).text, expected)
                << "again";
            // Removal leaves each piece in braces and no line ends; unstyled links stay.
            Text unstyled{expected, {}, {}, ""};
            EXPECT_EQ(Remove(expected).text, k.styled ? k.out(Expected(t, links, "", "", true))
                                                      : Expected(unstyled, {}, "", "", true));
            // The search reads the same text: a few of its words, maybe one cut short, or any two.
            std::vector<std::string> words = SearchWords(t.shown);
            std::string phrase;
            for (size_t i = rnd() % (words.size() + 1), n = 1 + rnd() % 3;
                 n > 0 && i < words.size(); --n)
                phrase += words[i++] + (rnd() % 4 ? " " : ", ");
            if (rnd() % 4 == 0 && !phrase.empty()) phrase.erase(phrase.find_last_not_of(", "), 1);
            if (rnd() % 4 == 0)
                phrase = kWords[rnd() % kWords.size()] + " " + kWords[rnd() % kWords.size()];
            phrase = Cased(phrase, rnd);
            int32_t status = -7, expectFound = Found(t.shown, phrase);
            found += expectFound;
            EXPECT_EQ(TopicFindText(k.in(t.rtf).c_str(), phrase.c_str(), &status), expectFound)
                << phrase << " in " << k.in(t.rtf);
            EXPECT_EQ(status, 0);
        }
        AutolinkDone(d);
    }
    EXPECT_GT(linked, 2000u);
    EXPECT_GT(found, 2000u);
}

}  // namespace
