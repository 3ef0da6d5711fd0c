// Autolink, AutolinkRemove and TopicFindText on every real topic, against an own reading.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "autolink/autolink_support.h"
#include "rtf/rtf.h"
#include "test_support.h"
#include "topic/topic_support.h"

namespace {

using namespace brio::test;

enum Part { kVisible, kSpotText, kHidden, kDestination, kReference, kPartCount };

struct TextUnit {
    size_t start, end;
    char ch;
    Part part;
};

struct Reading {
    std::vector<TextUnit> units;
    std::vector<std::pair<size_t, size_t>> protect;  // no link may overlap these
    std::string visible;                             // '\n' at paragraph ends, ' ' at other breaks
    std::string parts[kPartCount];  // the text of each part, '\n' between stretches
    std::string own;                // the text less the braces that close groups opened before it
};

// The engine's character classes and fragment rule, tested on their own.
using brio::RtfIsDigit;
using brio::RtfIsLetter;
bool IsFragment(const std::string& s) {
    return brio::RtfStartDepth(s.c_str()) == 1;
}
bool Clean(unsigned char ch) {
    return RtfIsLetter(ch) || RtfIsDigit(ch);
}

// A control word's class, -1 when unknown; destinations the table lacks count as such.
int32_t Class(const std::string& name) {
    static const std::set<std::string> extra = {
        "listtext", "listtable", "listoverridetable", "shp",          "shpinst",
        "shprslt",  "shppict",   "nonshppict",        "latentstyles", "rsidtbl"};
    const brio::RtfKeyword* k = brio::RtfFindKeyword(name.data(), name.size());
    return extra.count(name) ? brio::kRtfDestination : k ? k->keywordClass : -1;
}

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// The end of a picture reference or context marker starting at i, or 0.
size_t ReferenceEnd(const std::string& s, size_t i) {
    std::string head;
    for (size_t j = i + 2; j < s.size() && j < i + 4096;) {
        unsigned char ch = s[j];
        if (ch == '{' || ch == '}' || ch == '\r' || ch == '\n') {
            ++j;
        } else if (ch == '\\' && j + 1 < s.size() && RtfIsLetter(s[j + 1])) {
            j += 2;
            while (j < s.size() && (Clean(s[j]) || s[j] == '-')) ++j;
            if (j < s.size() && s[j] == ' ') ++j;
        } else if (ch == '\\' && j + 1 < s.size() && s[j + 1] == '}') {
            std::string h = Upper(head.substr(0, 3));
            bool picture = h.size() == 3 &&
                           (h.compare(0, 2, "BM") == 0 || h.compare(0, 2, "EW") == 0) &&
                           (h[2] == 'C' || h[2] == 'L' || h[2] == 'R');
            return picture || (!h.empty() && h[0] == '#') ? j + 2 : 0;
        } else if (ch == '\\') {
            if (j + 1 < s.size() && s[j + 1] == '{') return 0;
            if (!(head.empty() && s[j + 1] == ' ')) head += s[j + 1];
            j += 2;
        } else {
            if (!(head.empty() && (ch == ' ' || ch == '\t'))) head += static_cast<char>(ch);
            ++j;
        }
    }
    return 0;
}

// Protected: hot spots (underline then hidden), hidden text, references, destinations.
void Protect(Reading* r) {
    const std::vector<TextUnit>& u = r->units;
    for (size_t i = 0; i < u.size();) {
        if (u[i].end == 0) {
            r->visible += u[i++].ch;
            continue;
        }
        size_t j = i;
        Part part = u[i].part;
        if (part == kSpotText) {
            while (j < u.size() && (u[j].end == 0 || u[j].part == kSpotText ||
                                    u[j].part == kDestination || u[j].part == kReference))
                ++j;
            if (j < u.size() && u[j].part == kHidden) {
                size_t k = j;
                while (k < u.size() && (u[k].end == 0 || u[k].part == kHidden ||
                                        u[k].part == kDestination || u[k].part == kReference))
                    ++k;
                size_t last = k;
                while (u[last - 1].end == 0) --last;
                r->protect.push_back({u[i].start, u[last - 1].end});
            }
            for (size_t k = i; k < j; ++k) {
                if (u[k].end == 0) r->visible += u[k].ch;
                if (u[k].part == kSpotText) {
                    r->visible += u[k].ch;
                    r->parts[kSpotText] += u[k].ch;
                }
                if (u[k].part == kReference && (k + 1 == j || u[k + 1].part != kReference)) {
                    r->visible += ' ';
                    r->protect.push_back({u[k].start, u[k].end});
                }
            }
            r->parts[kSpotText] += '\n';
            i = j;
            continue;
        }
        while (j < u.size() && u[j].part == part && u[j].end != 0) ++j;
        if (part != kVisible) r->protect.push_back({u[i].start, u[j - 1].end});
        for (size_t k = i; k < j; ++k) {
            r->parts[part] += u[k].ch;
            if (part == kVisible) r->visible += u[k].ch;
        }
        if (part == kReference) r->visible += ' ';
        r->parts[part] += '\n';
        i = j;
    }
}

// This test's own reading of a topic.
struct Reader {
    struct Group {
        bool underline = false, hidden = false, destination = false;
    };
    const std::string& s;
    std::vector<Group> stack;
    Reading r;
    size_t referenceEnd = 0;

    void Unit(size_t start, size_t end, char ch) {
        const Group& g = stack.back();
        Part part = g.destination          ? kDestination
                    : start < referenceEnd ? kReference
                    : g.hidden             ? kHidden
                    : g.underline          ? kSpotText
                                           : kVisible;
        r.units.push_back({start, end, ch, part});
    }
    // A control word at `i`: its effect on the group; where it ends.
    size_t ControlWord(size_t i) {
        size_t j = i + 1;
        while (j < s.size() && RtfIsLetter(s[j])) ++j;
        std::string name = s.substr(i + 1, j - i - 1);
        long param = -1;
        if (j < s.size() && (s[j] == '-' || RtfIsDigit(s[j]))) {
            bool minus = s[j] == '-';
            for (param = 0, j += minus; j < s.size() && RtfIsDigit(s[j]); ++j)
                param = std::min(param * 10 + (s[j] - '0'), 0x7FFFFFFFL);
            if (minus) param = -1;
        }
        if (j < s.size() && s[j] == ' ') ++j;
        if (name == "bin" && param > 0) j += static_cast<size_t>(param);
        Group& g = stack.back();
        bool on = param != 0;
        if (stack.size() >= 3 && Class(name) == brio::kRtfDestination) g.destination = true;
        if (name == "ul" || name == "uld" || name == "uldb" || name == "ulw" || name == "strike")
            g.underline = on;
        if (name == "ulnone") g.underline = false;
        if (name == "v") g.hidden = on;
        if (name == "plain") g.underline = g.hidden = false;
        if (Class(name) == brio::kRtfSymbol && i >= referenceEnd && !g.destination && !g.hidden)
            r.units.push_back({0, 0, name == "par" ? '\n' : ' ', kVisible});
        return j;
    }
    Reading Run() {
        size_t floor = stack.size();
        std::vector<size_t> strays;
        for (size_t i = 0; i < s.size();) {
            unsigned char ch = s[i];
            int hex = i + 3 < s.size() && s[i + 1] == '\'' && brio::RtfHexValue(s[i + 2]) >= 0 &&
                              brio::RtfHexValue(s[i + 3]) >= 0
                          ? brio::RtfHexValue(s[i + 2]) * 16 + brio::RtfHexValue(s[i + 3])
                          : -1;
            if (ch == '{') {
                stack.push_back(stack.back());
            } else if (ch == '}' && stack.size() > floor) {
                stack.pop_back();
            } else if (ch == '}') {
                strays.push_back(i);
            } else if (ch == '\r' || ch == '\n') {
                // line ends show nothing
            } else if (ch != '\\') {
                Unit(i, i + 1, static_cast<char>(ch));
            } else if (i + 1 < s.size() && RtfIsLetter(s[i + 1])) {
                i = ControlWord(i);
                continue;
            } else if (i + 1 < s.size() && s[i + 1] == '*') {
                if (stack.size() >= 3) stack.back().destination = true;
                ++i;
            } else if (hex >= 0) {
                Unit(i, i + 4, static_cast<char>(hex));
                i += 3;
            } else if (i + 1 < s.size() && s[i + 1] == '-') {
                ++i;  // the optional hyphen is no character
            } else {
                if (s[i + 1] == '{' && i >= referenceEnd && !stack.back().destination)
                    referenceEnd = std::max(referenceEnd, ReferenceEnd(s, i));
                Unit(i, i + 2, s[i + 1] == '~' ? ' ' : s[i + 1]);
                ++i;
            }
            ++i;
        }
        r.own = s;
        for (auto at = strays.rbegin(); at != strays.rend(); ++at) r.own.erase(*at, 1);
        Protect(&r);
        return r;
    }
};

Reading Read(const std::string& s) {
    return Reader{s, std::vector<Reader::Group>(IsFragment(s) ? 2 : 1), {}, 0}.Run();
}

// Lines of ASCII words that no upper-half byte touches.
std::vector<std::vector<std::string>> Lines(const std::string& text) {
    std::vector<std::vector<std::string>> lines(1);
    auto high = [](char ch) { return static_cast<unsigned char>(ch) >= 0x80; };
    for (size_t i = 0; i < text.size();) {
        size_t j = i;
        while (j < text.size() && (Clean(text[j]) || high(text[j]))) ++j;
        if (j == i) {
            if (text[i++] == '\n') lines.emplace_back();
            continue;
        }
        std::string word = text.substr(i, j - i);
        if (std::any_of(word.begin(), word.end(), high)) {
            lines.emplace_back();  // a word the code page decides on ends the line
        } else {
            lines.back().push_back(word);
        }
        i = j;
    }
    return lines;
}

std::string Pick(const std::vector<std::vector<std::string>>& lines, std::mt19937& random) {
    std::vector<const std::vector<std::string>*> usable;
    for (const auto& l : lines)
        if (!l.empty()) usable.push_back(&l);
    if (usable.empty()) return "";
    const std::vector<std::string>& line = *usable[random() % usable.size()];
    size_t n = std::min<size_t>(1 + random() % 3, line.size());
    size_t at = random() % (line.size() - n + 1);
    std::string phrase;
    for (size_t k = 0; k < n; ++k) phrase += (k ? " " : "") + line[at + k];
    return phrase;
}

constexpr uint32_t kColour = 77;

// The input again, the links' places in it, and in `braced` the output as removal should leave it.
std::string Unlink(const std::string& out, std::vector<std::pair<size_t, size_t>>* links,
                   std::string* braced) {
    size_t at = out.find(" \\additive Autolink;}");
    // A fragment links with the default style.
    std::string ref = IsFragment(out) ? "\\cs99" : "";
    if (at != std::string::npos)
        ref = out.substr(out.rfind("\\cs", at), at - out.rfind("\\cs", at));
    std::string open = "{" + ref + "\\cf" + std::to_string(kColour), hidden = "{" + ref + "\\v ";
    std::string plain;
    bool inLink = false;
    size_t pieceEnd = 0;
    std::pair<size_t, size_t> current{0, 0};
    for (size_t i = 0; i < out.size();) {
        if (inLink && i == pieceEnd && out.compare(i, hidden.size(), hidden) == 0) {
            current.second = plain.size();
            links->push_back(current);
            inLink = false;
            i = out.find('}', i) + 1;
            continue;
        }
        size_t j = i + open.size();
        size_t skip = out.compare(i, open.size(), open) != 0 ? 0
                      : out.compare(j, 6, "\\uldb ") == 0    ? 6
                      : out.compare(j, 4, "\\ul ") == 0      ? 4
                                                             : 0;
        if (!skip) {
            plain += out[i];
            *braced += out[i++];
            continue;
        }
        size_t close = j + skip;
        while (close < out.size() && out[close] != '}') close += out[close] == '\\' ? 2 : 1;
        if (!inLink) current.first = plain.size();
        inLink = true;
        plain += out.substr(j + skip, close - j - skip);
        *braced += "{" + out.substr(j + skip, close - j - skip) + "}";
        i = pieceEnd = close + 1;
    }
    return plain;
}

std::string Unlinked(const std::string& rtf) {
    Result r = Remove(rtf);
    EXPECT_EQ(r.status, -1);
    return r.text;
}

struct Topic {
    std::string name;
    std::string rtf;
};

// Every corpus topic, and every later topic also as the raw text a host
// cuts at `consumed`; the titles with their contexts.
std::vector<Topic> CorpusTopics(std::vector<std::pair<std::string, std::string>>* titles) {
    std::vector<Topic> topics;
    for (const std::string& path : ListFiles(CorpusDir("rtf"))) {
        std::string file = ReadFile(path);
        std::string name = path.substr(path.rfind('/') + 1);
        size_t pos = 0, n = 0;
        for (const Imported& t : SplitTopics(file)) {
            ++n;
            if (t.status == 0 && !t.rtf.empty())
                topics.push_back({name + " topic " + std::to_string(n), t.rtf});
            if (pos > 0)
                topics.push_back(
                    {name + " fragment " + std::to_string(n), file.substr(pos, t.consumed)});
            pos += t.consumed;
            if (!t.title.empty() && !t.context.empty()) titles->push_back({t.title, t.context});
        }
    }
    return topics;
}

// Links one topic and checks the links against this test's reading of it.
void CheckLinks(AutolinkDictionary* d, const Topic& t, const Reading& in, size_t* linked) {
    Result out = Link(d, t.rtf, "", "", 0, kColour);
    ASSERT_EQ(out.status, 0) << t.rtf.substr(0, 200);
    const std::string& output = out.text;

    // The input outside the links, nothing protected linked, the same visible text.
    std::vector<std::pair<size_t, size_t>> links;
    std::string braced;
    EXPECT_TRUE(Unlink(output, &links, &braced) == in.own) << "text changed outside the links";
    for (const auto& l : links)
        for (const auto& p : in.protect)
            EXPECT_FALSE(l.first < p.second && l.second > p.first)
                << "link " << in.own.substr(l.first, l.second - l.first) << " in "
                << in.own.substr(p.first, std::min<size_t>(p.second - p.first, 80));
    *linked += links.size();
    EXPECT_TRUE(Read(output).visible == in.visible) << "visible text changed";

    // Linking again changes nothing.
    EXPECT_TRUE(Link(d, output, "", "", 0, kColour).text == output) << "not idempotent";

    // Removal takes out exactly the links (unstyled ones of a sheetless document stay).
    bool styled = output.find("{\\cs") != std::string::npos &&
                  (IsFragment(output) || output.find("\\additive Autolink;") != std::string::npos);
    const std::string original = Unlinked(t.rtf);
    std::string removed = styled ? Unlinked(output) : original;
    std::string expected = Unlinked(braced);
    EXPECT_TRUE(removed == original || removed == expected) << "removal differs:\n"
                                                            << removed.substr(0, 300) << "\n---\n"
                                                            << expected.substr(0, 300);
}

// The search finds visible phrases, none that stands only in a protected part.
void CheckSearch(const Topic& t, const Reading& in, std::mt19937& random, size_t* hiddenPhrases) {
    int32_t status = -7;
    auto lines = Lines(in.visible);
    for (int k = 0; k < 3; ++k) {
        std::string phrase = Pick(lines, random);
        if (phrase.empty()) break;
        EXPECT_EQ(TopicFindText(t.rtf.c_str(), phrase.c_str(), &status), 1) << phrase;
        EXPECT_EQ(status, 0);
    }
    const std::string visible = Upper(in.visible);
    for (Part part : {kHidden, kDestination, kReference}) {
        std::string phrase = Pick(Lines(in.parts[part]), random);
        if (phrase.empty()) continue;
        bool anyVisible = false;
        for (const auto& line : Lines(phrase))
            for (const std::string& w : line)
                anyVisible |= visible.find(Upper(w)) != std::string::npos;
        if (anyVisible) continue;
        EXPECT_EQ(TopicFindText(t.rtf.c_str(), phrase.c_str(), &status), 0) << phrase;
        ++*hiddenPhrases;
    }
}

TEST(AutolinkInvariants, NoLinkTouchesWhatIsNotPlainVisibleText) {
    std::vector<std::pair<std::string, std::string>> titles;
    std::vector<Topic> topics = CorpusTopics(&titles);
    ASSERT_GT(topics.size(), 4000u);

    std::mt19937 random(20261206);
    std::vector<Reading> readings;
    readings.reserve(topics.size());
    AutolinkDictionary* d = nullptr;
    int32_t result = 0, terms = 0;
    auto add = [&](const std::string& term, const std::string& target) {
        if (term.empty()) return;
        d = AutolinkReference(d, term.c_str(), "", target.c_str(), 0, 0, "", 0, &result);
        terms += result == 0;
    };
    for (const auto& [title, context] : titles) add(title, context);
    for (const Topic& t : topics) {
        // Offsets into the text less its stray braces, which passes drop.
        readings.push_back(Read(Read(t.rtf).own));
        const Reading& r = readings.back();
        for (int part = 0; part < kPartCount; ++part) {
            auto lines = Lines(r.parts[part]);
            for (int k = 0; k < 2; ++k) add(Pick(lines, random), "P" + std::to_string(terms));
        }
    }
    ASSERT_NE(d, nullptr);
    ASSERT_GT(terms, 5000);

    size_t linked = 0, hiddenPhrases = 0;
    for (size_t i = 0; i < topics.size(); ++i) {
        SCOPED_TRACE(topics[i].name);
        CheckLinks(d, topics[i], readings[i], &linked);
        CheckSearch(topics[i], readings[i], random, &hiddenPhrases);
        if (HasFailure()) break;
    }
    EXPECT_GT(linked, 10000u);
    EXPECT_GT(hiddenPhrases, 1000u);
    AutolinkDone(d);
}

}  // namespace
