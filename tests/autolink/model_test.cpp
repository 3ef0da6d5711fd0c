// Autolink and AutolinkRemove on generated texts, against a model of which words become links.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "brioutil.h"

namespace {

std::vector<std::string> Split(const std::string& s) {
    std::vector<std::string> words(1);
    for (char c : s) c == ' ' ? void(words.emplace_back()) : void(words.back() += c);
    return words;
}

// Words alike in their first bytes, alike but for the last, and two whose 16-byte keys collide.
const std::vector<std::string> kWords = Split(
    "a b print printer prin setup apple pie & , internat internationa internationalisation "
    "internationalization abcdefghijklmnoP abcdefghijklmnopQ abcdefghijklmnopqR abcdefghijklmnopqS "
    "abcdefghijklmnopqT abcdefghijklmnopqU abcdefghijklmnopqV abcdefghijklmnopqW "
    "abcdefghijklmnopq7 "
    "ABCDEFGHIJKLMNOPQRSTUVWXYZ ABCDEFGHIJKLMNOPQRSTUVWXY abcdefghijklmnopffqzqyti "
    "abcdefghijklmnopcdloogkg");

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
};

struct Link {
    size_t start, end;
    const Term* term;
};

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Cased(std::string w, std::mt19937& rnd) {
    for (char& c : w)
        if (rnd() % 3 == 0) c = static_cast<char>(c ^ (std::isalpha(c) ? 0x20 : 0));
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
std::vector<Link> Model(const Text& text, const std::vector<Term>& terms) {
    std::vector<Link> links;
    for (const std::vector<Unit>& run : text.runs) {
        std::vector<Unit> words;  // ch unused
        std::vector<std::string> spelled;
        for (size_t i = 0; i < run.size();) {
            size_t j = i + 1;
            while (std::isalnum(run[i].ch) && j < run.size() && std::isalnum(run[j].ch)) ++j;
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
            if (best && !best->excluded)
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
        s += std::isalpha(c) && rnd() % 8 == 0 ? std::string(hex) : std::string(1, c);
        t.runs.back().push_back({c, start, s.size()});
    };
    auto breakRun = [&](const std::string& token) {
        s += token;
        t.runs.emplace_back();
    };
    int depth = 0;
    for (int n = 2 + rnd() % 30; n > 0; --n) {
        const std::vector<std::string>& from =
            rnd() % 2 ? kWords : terms[rnd() % terms.size()].words;
        std::string w = Cased(from[rnd() % from.size()], rnd);
        // Run ends: a paragraph, a brace, a hot spot, a footnote, hidden text, a control symbol.
        const std::string ends[] = {"\\par ", "{\\uldb " + w + "}{\\v X}", "{\\footnote " + w + "}",
                                    "{\\v " + w + "}", "\\~"};
        size_t pick = rnd() % 12;
        if (pick < 5) {
            breakRun(ends[pick]);
        } else if (pick == 5) {
            breakRun(depth < 3 ? (++depth, "{\\b ") : "\\~");
        } else if (pick == 6) {
            breakRun(depth > 0 ? (--depth, "}") : "\\~");
        } else if (pick == 7) {
            rnd() % 2 ? cut("\\i0 ") : cut("\r\n");
        } else if (pick == 8) {
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
    for (; depth > 0; --depth) breakRun("}");
    return t;
}

// The input with the links written in (or, removed, as the braced text they leave).
std::string Expected(const Text& t, const std::vector<Link>& links, const std::string& head,
                     const std::string& hidden, bool removed) {
    std::string out;
    size_t at = 0;
    for (const Link& l : links) {
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

std::string Call(char* out, int32_t length, int32_t status, int32_t ok, bool owned) {
    EXPECT_EQ(status, ok);
    std::string s = out ? std::string(out, static_cast<size_t>(length)) : "<null>";
    if (owned) std::free(out);
    return s;
}

AutolinkDictionary* Register(AutolinkDictionary* d, const Term& t, std::mt19937& rnd) {
    std::string spelled = rnd() % 4 ? "" : " ";
    for (const std::string& w : t.words) spelled += w + (rnd() % 4 ? " " : "\t ");
    int32_t result = -7;
    d = AutolinkReference(d, spelled.c_str(), "", t.target.c_str(), t.excluded, t.caseSensitive,
                          nullptr, t.popup, &result);
    EXPECT_EQ(result, 0) << spelled;
    return d;
}

// Document kinds: how the body is wrapped, and how links are written in each.
struct Kind {
    std::string before, beforeOut, after, head, hidden;
    uint32_t colour;
    bool styled;
};
const std::string kSheet = "{\\rtf1\\ansi{\\stylesheet{\\widctlpar\\f4\\fs20 \\snext0 Normal;}";
const Kind kKinds[] = {
    {"{\\rtf1 ", "{\\rtf1 ", "}", "{", "{\\v ", 0, false},
    {"{\\rtf1 ", "{\\rtf1 ", "}", "{\\cf2", "{\\v ", 2, false},
    {kSheet + "}", kSheet + "{\\*\\cs99 \\additive Autolink;}}", "}", "{\\cs99\\cf5", "{\\cs99\\v ",
     5, true},
    {"", "", "", "{\\cs99", "{\\cs99\\v ", 0, true},  // a fragment of a later topic
};

TEST(AutolinkModel, GeneratedTextsLinkAndUnlinkAsTheModelSays) {
    size_t linked = 0;
    for (unsigned round = 0; round < 80; ++round) {
        std::mt19937 rnd(round);
        std::vector<Term> terms = MakeTerms(rnd, 4 + rnd() % 14);
        AutolinkDictionary* d = nullptr;
        for (size_t i = 0; i < terms.size(); ++i) {
            // Every third dictionary is large: thousands of terms between the others.
            if (round % 3 == 0 && i == terms.size() / 2)
                for (int k = 0; k < 3000; ++k)
                    d = Register(d, {{"filler" + std::to_string(k), "x"}, "F", 0, 0, 0}, rnd);
            d = Register(d, terms[i], rnd);
        }
        for (int n = 0; n < 80 && !HasFailure(); ++n) {
            Text t = Generate(rnd, terms);
            std::vector<Link> links = Model(t, terms);
            linked += links.size();
            const Kind& k = kKinds[n % 4];
            std::string in = k.before + t.rtf + k.after;
            std::string expected =
                k.beforeOut + Expected(t, links, k.head, k.hidden, false) + k.after;
            int32_t length = 0, status = -7;
            char* out = Autolink(d, in.c_str(), "TOPIC", "POPUP", 0, k.colour, &length, &status);
            EXPECT_EQ(Call(out, length, status, 0, false), expected) << in;
            out = Autolink(d, expected.c_str(), "TOPIC", "POPUP", 0, k.colour, &length, &status);
            EXPECT_EQ(Call(out, length, status, 0, false), expected) << "again: " << in;
            // Removal leaves each piece in braces and no line ends; unstyled links stay.
            std::string removed = k.beforeOut + Expected(t, links, "", "", true) + k.after;
            out = AutolinkRemove(expected.c_str(), &length, &status);
            EXPECT_EQ(Call(out, length, status, -1, true),
                      k.styled ? removed : Expected(Text{expected, {}, {}}, {}, "", "", true))
                << in;
        }
        AutolinkDone(d);
    }
    EXPECT_GT(linked, 2000u);
}

}  // namespace
