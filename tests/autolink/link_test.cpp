// AutolinkReference, Autolink and AutolinkRemove byte for byte, and with TopicFindText on
// generated texts against a model of each.
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

const std::vector<Ref> kPrintSetup = {{"print setup", "PRINT_SETUP"}};
const std::vector<Ref> kSetup = {{"print setup", "PS"}, {"setup", "S"}};
const std::vector<Ref> kA = {{"a", "T"}};
constexpr int32_t kBeforePage = BRIO_ERR_FOOTNOTE_BEFORE_PAGE;
constexpr int32_t kConflict = BRIO_ERR_TERM_CONFLICT;
const std::string kLongTarget(3000, 'T');
const std::string kLongContext(5000, 'C');
const std::string kBang(100000, '!');  // 100,000 one-character words
const std::string kSame = "<the input>";

// clang-format off
struct LinkCase {
    const char* name;
    std::vector<Ref> refs;
    std::string input, expected;
    int32_t status = 0, once = 0;
    std::vector<int32_t> results = {};  // of the registrations, all 0 when empty
};

const LinkCase kLinkCases[] = {
    {"hot spot in one group copied", kPrintSetup, Doc("{\\ul print setup\\v OTHER}."),
     Linked99("{\\ul print setup\\v OTHER}.")},
    {"embedded window reference kept whole", {{"apple", "APPLE"}},
     Doc("\\{ewl apple.dll, apple\\}"), Linked99("\\{ewl apple.dll, apple\\}")},
    {"nothing to link with: the length untouched", {}, "{\\rtf1 x}", "<null>", BRIO_ERR_NOT_FOUND},
    {"groups left open", kPrintSetup, "{\\rtf1 print setup", "<null>", BRIO_ERR_GROUPS_OPEN},
    {"word too long: 2007 with the text so far", kPrintSetup,
     "{\\rtf1 ok " + std::string(600, 'w') + "}", "{\\rtf1 ok ", BRIO_ERR_WORD_TOO_LONG},
    {"511 characters are still a word", kPrintSetup, R(std::string(511, 'w')), kSame},
    {"lone backslash at the end", kPrintSetup, "{\\rtf1 x}\\", "<null>", BRIO_ERR_UNEXPECTED_END},
    {"an empty term never matches", {{"", "ROOT"}}, "{\\rtf1 anything}", kSame},
    {"optional hyphen kept where no run is held", {{"x", "X"}}, "{\\rtf1 auto\\-link \\-x}",
     "{\\rtf1 auto\\-link \\-{\\uldb x}{\\v X}}"},
    {"escaped backslash before a group", {{"x", "X"}}, "{\\rtf1 C:\\\\{\\b x}}",
     "{\\rtf1 C:\\\\{\\b {\\uldb x}{\\v X}}}"},
    {"escaped backslash before a hyphen", {{"b", "B"}}, "{\\rtf1 a\\\\-b}",
     "{\\rtf1 a\\\\-{\\uldb b}{\\v B}}"},
    {"no match inside a hexadecimal escape", {{"E1", "E"}}, "{\\rtf1 est\\'e1 e1}",
     "{\\rtf1 est\\'e1 {\\uldb e1}{\\v E}}"},
    {"hidden text of a fragment stays hidden", kPrintSetup, "\\uldb a\\v b print setup", kSame},
    {"hot spot entered at its own brace only", {{"X", "T"}}, "{{\\uldb X}{\\v Y} X}",
     "{{\\uldb X}{\\v Y} {\\cs99\\uldb X}{\\cs99\\v T}}"},
    {"record starting inside the previous one", {{"X", "T"}},
     "{{\\uldb A}{\\v B}\\uldb C{\\v D}}", kSame},
    {"megabytes of text copied whole", kA, R(std::string(5 << 20, ' ')), kSame},
    {"long target written whole", {{"x", kLongTarget.c_str()}}, "{\\rtf1 x}",
     "{\\rtf1 {\\uldb x}{\\v " + kLongTarget + "}}"},
    {"a term 100,000 words deep", {{kBang.c_str(), "BANG", "", 0, 1}}, R(kBang + " x"),
     R("{\\uldb " + kBang + "}{\\v BANG} x")},
    {"a paragraph style of the name: a character style is added and used", {{"a", "A"}},
     "{\\rtf1{\\stylesheet{\\s99 Autolink;}}a}",
     "{\\rtf1{\\stylesheet{\\s99 Autolink;}{\\*\\cs100 \\additive Autolink;}}{\\cs100\\uldb "
     "a}{\\cs100\\v A}}"},
    {"long context footnote cut, not overflowed", kPrintSetup,
     "{\\rtf1 \\page #{\\footnote " + kLongContext + "} print setup}",
     "{\\rtf1 \\page #{\\footnote " + kLongContext + "} {\\uldb print setup}{\\v PRINT_SETUP}}"},
    // "#{\footnote " names a topic: refused before the first page break.
    {"context footnote", kA, "{\\rtf1 #{\\footnote A}}", "<null>", kBeforePage},
    {"context footnote after a page", kA, "{\\rtf1 \\page #{\\footnote A}}", kSame},
    {"context footnote of a fragment", kA, "#{\\footnote A}", kSame},
    {"context footnote after \\\\", kA, "{\\rtf1 \\\\#{\\footnote A}}", "<null>", kBeforePage},
    {"context footnote deeper", kA, "{\\rtf1 #{{\\footnote A}}}", "<null>", kBeforePage},
    {"context footnote after a style sheet", kA,
     "{\\rtf1 #{\\stylesheet{\\s0 Normal;}}{\\footnote A}}", "<null>", kBeforePage},
    {"footnote word without its blank", kA, "{\\rtf1 #{\\footnote\\b A}}", kSame},
    {"mark, group, footnote", kA, "{\\rtf1 #{\\b}{\\footnote A}}", kSame},
    {"two marks", kA, "{\\rtf1 ##{\\footnote A}}", kSame},
    {"three marks across a line end", kA, "{\\rtf1 x#\r\n##{\\footnote A}}", "<null>",
     kBeforePage},
    {"starred footnote", kA, "{\\rtf1 #{\\*\\footnote A}}", kSame},
    {"the target of the last registration", {{"apple", "APPLE_A"}, {"apple", "apple_a"}},
     R("apple"), R("{\\uldb apple}{\\v apple_a}")},
    {"a synonym shares its reference's pass",
     {{"print setup", "PS", "printer setup"}, {"page", "PG"}},
     R("printer setup print setup page page"),
     R("{\\uldb printer setup}{\\v PS} print setup {\\uldb page}{\\v PG} page"), 0, 1},
    {"paragraph inside a hot spot", kSetup,
     "{\\rtf1 {\\uldb \\par Print setup}{\\v PRINT_SETUP}}", kSame},
    {"picture in a hot spot", kSetup, "{\\rtf1 {\\uldb \\{bmc setup.bmp\\}}{\\v S2}}", kSame},
    {"hot spot right after another, one group deeper", {{"B", "T"}},
     "{{\\uldb A}{\\v X}{\\b {\\uldb B}{\\v Y} B}}",
     "{{\\uldb A}{\\v X}{\\b {\\uldb B}{\\v Y} {\\cs99\\uldb B}{\\cs99\\v T}}}"},
    {"paragraph inside the hidden part", kSetup,
     "{\\rtf1 {\\uldb Print setup}{\\v PRINT\\par _SETUP} setup}",
     "{\\rtf1 {\\uldb Print setup}{\\v PRINT\\par _SETUP} {\\uldb setup}{\\v S}}"},
    {"hot spot switched by words in one group", kSetup,
     "{\\rtf1 \\uldb setup\\uldb0\\v X\\v0  setup}",
     "{\\rtf1 \\uldb setup\\uldb0\\v X\\v0  {\\uldb setup}{\\v S}}"},
    {"underline switched off is plain text", kSetup, "{\\rtf1 {\\ul0 setup}{\\v X}}",
     "{\\rtf1 {\\ul0 {\\uldb setup}{\\v S}}{\\v X}}"},
    {"underlined text without hidden text is linked", kSetup, "{\\rtf1 {\\ul setup}}",
     "{\\rtf1 {\\ul {\\uldb setup}{\\v S}}}"},
    {"bookmark of a fragment", {{"UserGuide", "ug_topic"}},
     "{\\*\\bkmkstart UserGuide}{\\*\\bkmkend UserGuide}UserGuide",
     "{\\*\\bkmkstart UserGuide}{\\*\\bkmkend UserGuide}{\\cs99\\uldb UserGuide}"
     "{\\cs99\\v ug_topic}"},
    {"document brace of a fragment dropped", kSetup, "setup}}",
     "{\\cs99\\uldb setup}{\\cs99\\v S}"},
    {"fragment leaving a group to the text after it", kSetup, "{\\b setup",
     "{\\b {\\cs99\\uldb setup}{\\cs99\\v S}"},
    {"trail byte of a double-byte character", {{"A", "X"}},
     "{\\rtf1\\ansicpg932 \\'81\\'41 A}", "{\\rtf1\\ansicpg932 \\'81\\'41 {\\uldb A}{\\v X}}"},
    {"raw double-byte character", {{"A", "X"}}, "{\\rtf1\\ansicpg936 \x81" "A A}",
     "{\\rtf1\\ansicpg936 \x81" "A {\\uldb A}{\\v X}}"},
    {"a Cyrillic letter of the upper half", kA, "{\\rtf1\\ansicpg1251 a\\'b8 a}",
     "{\\rtf1\\ansicpg1251 a\\'b8 {\\uldb a}{\\v T}}"},
    {"blanks before the document", kA, " \r\n{\\rtf1 a}", " \r\n{\\rtf1 {\\uldb a}{\\v T}}"},
    {"lead byte and escaped trail", {{"A", "X"}}, "{\\rtf1\\ansicpg950 \x81\\'41}", kSame},
    // What registrations give, and what they link.
    {"registrations", {{"Print", "PRINT_TOPIC"},
      {"PRINT", "print_topic", nullptr, 0, 0, 1},  // same target up to case: replaced
      {"print", "OTHER"},
      {"print", "X", "", 1},      // excluded, against a target
      {"m", "M", "s1;print;s2"},  // synonyms before the conflict stay
      {"main", "T", "a;;b"},      // an empty synonym ends the list
      {"k", "K", ";c"},
      {"n", "N", "d;e;"},
      {"page setup", "PS", "printer setup"},
      {"page setup", "ps"}},  // the synonym keeps its target
     R("print m s1 s2 a b c d e Printer SETUP page Setup"),
     R("{\\ul print}{\\v print_topic} {\\uldb m}{\\v M} {\\uldb s1}{\\v M} s2 {\\uldb a}{\\v T} "
       "b c {\\uldb d}{\\v N} {\\uldb e}{\\v N} {\\uldb Printer SETUP}{\\v PS} {\\uldb page Setup}{\\v ps}"),
     0, 0, {0, 0, kConflict, kConflict, kConflict, 0, 0, 0, 0, 0}},
    // Registered again: the new popup and exclude settings; the synonym keeps its own.
    {"popup again", {{"x", "X"}, {"x", "X", "", 0, 0, 1}}, R("y x y"), R("y {\\ul x}{\\v X} y")},
    // Once per pass: linked again, the link with an empty target is taken for no hot spot.
    {"not excluded again", {{"x", "", "", 1}, {"x", ""}}, R("y x y"), R("y {\\uldb x}{\\v } y"), 0, 1},
    {"synonym not a popup", {{"x", "X", "y"}, {"x", "X", "", 0, 0, 1}}, R("y x y"),
     R("{\\uldb y}{\\v X} x y"), 0, 1},
    {"synonym a popup", {{"x", "X", "y"}, {"x", "X", "y", 0, 0, 1}}, R("y x y"),
     R("{\\ul y}{\\v X} x y"), 0, 1},
    // A case-sensitive and a case-insensitive spelling share one target, or conflict.
    {"case-sensitive first", {{"PRINT", "A", "", 0, 1}, {"print", "B"}}, R("PRINT print"),
     R("{\\uldb PRINT}{\\v A} print"), 0, 0, {0, kConflict}},
    {"case-sensitive second", {{"print", "B"}, {"PRINT", "b", "", 0, 1}}, R("PRINT print"),
     R("{\\uldb PRINT}{\\v b} {\\uldb print}{\\v B}")},
    {"case-sensitive synonym", {{"x", "X", "Print  Setup", 0, 1}, {"print setup", "B"}},
     R("PRINT print"), kSame, 0, 0, {0, kConflict}},
    {"case-sensitive, then excluded",
     {{"PRINT", "A", "", 0, 1}, {"print setup", "B"}, {"print", "", "", 1}}, R("PRINT print"),
     R("{\\uldb PRINT}{\\v A} print"), 0, 0, {0, 0, kConflict}},
};
// clang-format on

// Topic TOPIC. Linking the result again changes nothing; once per pass, a call starts a new pass.
TEST(AutolinkTest, WritesLinksByteForByte) {
    for (const LinkCase& c : kLinkCases) {
        AutolinkDictionary* d = MakeDictionary(c.refs, c.results);
        Result out;
        for (int pass = 0; pass <= c.once; ++pass) {
            out = Link(d, c.input, "TOPIC", "", c.once);
            EXPECT_EQ(out.text, c.expected == kSame ? c.input : c.expected) << c.name;
            EXPECT_EQ(out.status, c.status) << c.name;
        }
        if (out.status == 0 && !c.once) {
            EXPECT_EQ(Link(d, out.text, "TOPIC").text, out.text) << c.name << " again";
        }
        AutolinkDone(d);
    }
    // Nothing to unlink: 2008, the length untouched.
    AutolinkDictionary* d = MakeDictionary(kPrintSetup);
    int32_t length = -7, status = -7;
    EXPECT_EQ(AutolinkRemove(nullptr, &length, &status), nullptr);
    EXPECT_TRUE(status == BRIO_ERR_NOT_FOUND && length == -7) << status << " " << length;
    // The input is the result the dictionary still owns, also after a term is added.
    const char* out = Autolink(d, Doc("print setup and").c_str(), "", "", 0, 0, &length, &status);
    out = Autolink(d, out, "", "", 0, 0, &length, &status);
    AutolinkReference(d, "and", "", "AND", 0, 0, "", 0, &status);
    out = Autolink(d, out, "", "", 0, 0, &length, &status);
    EXPECT_EQ(out ? out : "<null>", Linked99("{\\cs99\\uldb print setup}{\\cs99\\v PRINT_SETUP} "
                                             "{\\cs99\\uldb and}{\\cs99\\v AND}"));
    AutolinkDone(d);
}

TEST(AutolinkRemoveTest, StripsLinksOfTheStyle) {
    struct Case {
        const char* name;
        std::string input, expected;
        int32_t status = -1;
    } cases[] = {
        {"style numbered otherwise",
         "{\\rtf1{\\stylesheet{\\*\\cs15 \\additive Autolink;}}{\\cs15\\uldb a}{\\cs15\\v A}}",
         "{\\rtf1{\\stylesheet{\\*\\cs15 \\additive Autolink;}}{a}}"},
        {"sheet without the style: number 99", Doc("{\\cs99\\uldb a}{\\cs99\\v A}"), Doc("{a}")},
        {"hand-made hot spot stays; a style word with its blank is no link",
         Linked99("{\\uldb Print}{\\v PRINT}{\\cs99 text}"), kSame},
        {"lone backslash at the end", "{\\rtf1 x}\\", "{\\rtf1 x}", BRIO_ERR_UNEXPECTED_END},
        {"destination never closed", "{\\rtf1{\\*\\x abc", "<null>", BRIO_ERR_UNEXPECTED_END},
        {"style groups that are no link keep their text; a blank for a dropped style word",
         Linked99("{\\cs99\\b Note} Body text.{\\v hidden}{\\cs99\\ulnone print}"
                  "{\\b\\cs99\\uldb a}{\\cs99\\v A}{\\cs99\\b {\\v x}y}{\\cs99\\b\\cf2 Note}"),
         Linked99(
             "{\\b Note} Body text.{\\v hidden}{\\ulnone print}{\\b\\cs99\\uldb a}{\\b {\\v x}y}"
             "{\\b Note}")},
        {"any underline; line ends among style words; one blank kept; no word glued to a letter",
         Linked99("{\\cs99\\b\\uldb bold link}{\\cs99\\v BL}{\\cs99\\uld x}{\\cs99\\v X}"
                  "{\\cs99\r\n\\uldb a}{\\cs99\r\n\\v A} b\\b{\\cs99\\v T}y \\\\b{\\cs99\\v T}y"),
         Linked99("{\\b bold link}{x}{a} b\\b y \\\\by")},
        {"a style sheet that cannot be read: the text, nothing a link",
         "{\\rtf1{\\stylesheet{\\s0 N;}\\b}{\\cs99\\uldb a}{\\cs99\\v A}}", kSame},
        {"a paragraph style of the name is no link style",
         "{\\rtf1{\\stylesheet{\\s99 Autolink;}{\\*\\cs100 \\additive Autolink;}}{\\s99 "
         "{\\cs100\\uldb a}{\\cs100\\v A}{\\cs99\\uldb b}}}",
         "{\\rtf1{\\stylesheet{\\s99 Autolink;}{\\*\\cs100 \\additive Autolink;}}{\\s99 "
         "{a}{\\cs99\\uldb b}}}"},
        // Fragments use the default style and drop the document's brace.
        {"fragment", "{\\*\\bkmkstart a}{\\cs99\\uldb x}{\\cs99\\v X}", "{\\*\\bkmkstart a}{x}"},
        {"fragment: document brace dropped", "x}}", "x"},
    };
    for (const Case& c : cases) {
        Result r = Remove(c.input);
        EXPECT_EQ(r.text, c.expected == kSame ? c.input : c.expected) << c.name;
        EXPECT_EQ(r.status, c.status) << c.name;
    }
}

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
        std::string key;
        for (size_t k = 1 + rnd() % 3; k > 0; --k) {
            std::string w = kWords[rnd() % kWords.size()];
            t.words.push_back(t.caseSensitive ? Cased(w, rnd) : w);
            key += Lower(w) + " ";
        }
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
        for (size_t i = 0, j; i < run.size(); i = j) {
            for (j = i + 1; WordChar(run[i].ch) && j < run.size() && WordChar(run[j].ch);) ++j;
            if (run[i].ch == ' ') continue;
            words.push_back({0, run[i].start, run[j - 1].end});
            spelled.emplace_back();
            for (size_t k = i; k < j; ++k) spelled.back() += run[k].ch;
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
        bool escaped = (Letter(c) || static_cast<unsigned char>(c) >= 0x80) && rnd() % 8 == 0;
        s += escaped ? hex : c == '{' || c == '}' ? "\\" + std::string(1, c) : std::string(1, c);
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
        // Run ends, as written and shown: a paragraph, a hot spot, a footnote, hidden text, a
        // control symbol, references.
        const std::pair<std::string, std::string> ends[] = {
            {"\\par ", "\n"},
            {"{\\" + kUnderlines[rnd() % 4] + " " + x + "}{\\v X}", x},
            {"{\\footnote " + x + "}", ""},
            {"{\\v " + x + "}", ""},
            {"\\~", " "},
            {"\\{#" + x + "\\}", " "},
            {"\\{bmc " + x + ".bmp\\}", " "}};
        size_t pick = rnd() % 14;
        if (pick < 7) {
            breakRun(ends[pick].first, ends[pick].second);
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
