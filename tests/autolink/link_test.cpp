// AutolinkReference, Autolink and AutolinkRemove through the public header, byte for byte.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "brioutil.h"
#include "platform/platform.h"

namespace {

struct Ref {
    const char* term;
    const char* target;
    const char* synonyms = "";
    int32_t exclude = 0;
    int32_t caseSensitive = 0;
    uint32_t popup = 0;
};

// Registers `refs` in order, expecting `results` (all 0 when empty).
AutolinkDictionary* MakeDictionary(const std::vector<Ref>& refs,
                                   const std::vector<int32_t>& results = {}) {
    AutolinkDictionary* d = nullptr;
    for (size_t i = 0; i < refs.size(); ++i) {
        const Ref& r = refs[i];
        int32_t result = -7;
        AutolinkDictionary* next = AutolinkReference(d, r.term, r.synonyms, r.target, r.exclude,
                                                     r.caseSensitive, nullptr, r.popup, &result);
        EXPECT_TRUE(next && (!d || next == d)) << r.term;
        d = next;
        EXPECT_EQ(result, results.empty() ? 0 : results[i]) << r.term;
    }
    return d;
}

struct Result {
    std::string text;  // "<null>" when nothing came back
    int32_t status;
};

Result Link(AutolinkDictionary* d, const std::string& rtf, const char* topic = "",
            const char* popup = "", int32_t once = 0, uint32_t colour = 0) {
    int32_t length = -7, status = -7;
    char* out = Autolink(d, rtf.c_str(), topic, popup, once, colour, &length, &status);
    if (!out) return {"<null>", status};
    EXPECT_EQ(static_cast<size_t>(length), std::strlen(out));
    return {out, status};
}

Result Remove(const std::string& rtf) {
    int32_t length = -7, status = -7;
    char* out = AutolinkRemove(rtf.c_str(), &length, &status);
    if (!out) return {"<null>", status};
    EXPECT_EQ(static_cast<size_t>(length), std::strlen(out));
    Result r{out, status};
    std::free(out);
    return r;
}

std::string R(const std::string& body) {
    return "{\\rtf1 " + body + "}";
}
std::string Doc(const std::string& body) {
    return "{\\rtf1\\ansi{\\stylesheet{\\widctlpar\\f4\\fs20 \\snext0 Normal;}}" + body + "}";
}
std::string Linked99(const std::string& body) {
    return "{\\rtf1\\ansi{\\stylesheet{\\widctlpar\\f4\\fs20 \\snext0 "
           "Normal;}{\\*\\cs99 "
           "\\additive Autolink;}}" +
           body + "}";
}

const std::vector<Ref> kPrintSetup = {{"print setup", "PRINT_SETUP"}};
const std::vector<Ref> kSetup = {{"print setup", "PS"}, {"setup", "S"}};
const std::vector<Ref> kFruit = {{"apple", "A"}, {"apple pie", "AP"}, {"big apple", "BA"}};
const std::vector<Ref> kAB = {{"a", "A"}, {"b", "B"}, {"a b", "AB"}};
const std::vector<Ref> kA = {{"a", "T"}};
constexpr int32_t kBeforePage = BRIO_ERR_FOOTNOTE_BEFORE_PAGE;
const std::string kLongTarget(3000, 'T');
const std::string kLongContext(5000, 'C');
const std::string kBang(100000, '!');  // 100,000 one-character words
const std::string kSame = "<the input>";

// Autolink's output for each case, byte for byte.
// clang-format off
struct LinkCase {
    const char* name;
    std::vector<Ref> refs;
    std::string input;
    std::string expected;
    int32_t status = 0;
    const char* topic = "";
    const char* popup = "";
    int32_t once = 0;
    uint32_t colour = 0;
};

const LinkCase kLinkCases[] = {
    {"style sheet gains the style", kPrintSetup, Doc("\\pard Use print setup now\\par"),
     Linked99("\\pard Use {\\cs99\\uldb print setup}{\\cs99\\v PRINT_SETUP} now\\par")},
    {"longest term from the first word", {{"big apple", "BA"}, {"apple pie", "AP"}},
     Doc("big apple pie"), Linked99("{\\cs99\\uldb big apple}{\\cs99\\v BA} pie")},
    {"first word given back", {{"apple pie", "AP"}}, Doc("big apple pie"),
     Linked99("big {\\cs99\\uldb apple pie}{\\cs99\\v AP}")},
    {"a brace ends the run", kPrintSetup, Doc("print {\\b setup}"),
     Linked99("print {\\b setup}")},
    {"formatting splits the link into pieces", kPrintSetup, Doc("print \\b setup\\b0  now"),
     Linked99("{\\cs99\\uldb print }\\b {\\cs99\\uldb setup}{\\cs99\\v PRINT_SETUP}\\b0  now")},
    {"footnote untouched", kPrintSetup, Doc("x{\\footnote print setup}"),
     Linked99("x{\\footnote print setup}")},
    {"hot spot in one group copied", kPrintSetup, Doc("{\\ul print setup\\v OTHER}."),
     Linked99("{\\ul print setup\\v OTHER}.")},
    {"excluded longer term wins", {{"print setup", "PS"}, {"print setup dialog", "", "", 1}},
     Doc("print setup dialog, print setup."),
     Linked99("print setup dialog, {\\cs99\\uldb print setup}{\\cs99\\v PS}.")},
    {"control symbol splits words", kPrintSetup, Doc("print\\~setup"),
     Linked99("print\\~setup")},
    {"embedded window reference kept whole", {{"apple", "APPLE"}},
     Doc("\\{ewl apple.dll, apple\\}"), Linked99("\\{ewl apple.dll, apple\\}")},
    {"no style sheet: no style", kPrintSetup, "{\\rtf1 print setup}",
     "{\\rtf1 {\\uldb print setup}{\\v PRINT_SETUP}}"},
    {"groups left open", kPrintSetup, "{\\rtf1 print setup", "<null>", BRIO_ERR_GROUPS_OPEN},
    {"line end inside a word", {{"printer", "P"}}, "{\\rtf1 print\r\ner}",
     "{\\rtf1 {\\uldb print}\r\n{\\uldb er}{\\v P}}"},
    {"popup", {{"note", "N", "", 0, 0, 1}}, "{\\rtf1 a note}", "{\\rtf1 a {\\ul note}{\\v N}}"},
    {"a control word does not end a word", {{"setupnow", "S"}}, "{\\rtf1 setup\\b0 now}",
     "{\\rtf1 {\\uldb setup}\\b0 {\\uldb now}{\\v S}}"},
    {"a Symbol control word ends the run", kPrintSetup, "{\\rtf1 print\\par setup}", kSame},
    {"optional hyphen inside a term", {{"autolink", "AL"}}, "{\\rtf1 auto\\-link}",
     "{\\rtf1 {\\uldb auto\\-link}{\\v AL}}"},
    {"hexadecimal escape matched as its character", {{"caf\xE9", "CAFE"}}, "{\\rtf1 CAF\\'c9!}",
     "{\\rtf1 {\\uldb CAF\\'c9}{\\v CAFE}!}"},
    {"word too long: 2007 with the text so far", kPrintSetup,
     "{\\rtf1 ok " + std::string(600, 'w') + "}", "{\\rtf1 ok ", BRIO_ERR_WORD_TOO_LONG},
    {"511 characters are still a word", kPrintSetup,
     "{\\rtf1 " + std::string(511, 'w') + "}", kSame},
    {"lone backslash at the end", kPrintSetup, "{\\rtf1 x}\\", "<null>",
     BRIO_ERR_UNEXPECTED_END},
    {"any case; a path that dies falls back to its last term",
     {{" Print\tSetup ", "PS"}, {"print setup dialog", "PSD"}},
     "{\\rtf1 PRINT SETUP dialog or print setup now print}",
     "{\\rtf1 {\\uldb PRINT SETUP dialog}{\\v PSD} or {\\uldb print setup}{\\v PS} now print}"},
    {"punctuation is a word of its own", {{"Q&A", "QA"}}, "{\\rtf1 see Q & A and Q&A.}",
     "{\\rtf1 see {\\uldb Q & A}{\\v QA} and {\\uldb Q&A}{\\v QA}.}"},
    {"case-sensitive term", {{"Pear", "P", "", 0, 1}}, "{\\rtf1 pear Pear PEAR}",
     "{\\rtf1 pear {\\uldb Pear}{\\v P} PEAR}"},
    // A case-sensitive term never changes how case-insensitive ones match.
    {"case-sensitive term beside a longer one",
     {{"print setup", "PS"}, {"Print", "P", "", 0, 1}},
     "{\\rtf1 Print setup, PRINT SETUP, Print, print}",
     "{\\rtf1 {\\uldb Print setup}{\\v PS}, {\\uldb PRINT SETUP}{\\v PS}, {\\uldb "
     "Print}{\\v P}, print}"},
    {"both kinds of edge followed", {{"print setup", "PS"}, {"PRINT", "P", "", 0, 1}},
     "{\\rtf1 print setup PRINT setup PRINT}",
     "{\\rtf1 {\\uldb print setup}{\\v PS} {\\uldb PRINT setup}{\\v PS} {\\uldb "
     "PRINT}{\\v P}}"},
    {"falls back to the case-sensitive path",
     {{"Print", "P", "", 0, 1}, {"print setup guide", "G"}},
     "{\\rtf1 Print setup now}", "{\\rtf1 {\\uldb Print}{\\v P} setup now}"},
    {"words after the shorter term given back",
     {{"a b", "AB", "", 0, 0, 1}, {"a b c d", "ABCD"}},
     "{\\rtf1 a b c x a b c d a b}",
     "{\\rtf1 {\\ul a b}{\\v AB} c x {\\uldb a b c d}{\\v ABCD} {\\ul a b}{\\v AB}}"},
    {"an empty term never matches", {{"", "ROOT"}}, "{\\rtf1 anything}", kSame},
    // Faults of the original, built soundly.
    {"optional hyphen kept where no run is held", {{"x", "X"}}, "{\\rtf1 auto\\-link \\-x}",
     "{\\rtf1 auto\\-link \\-{\\uldb x}{\\v X}}"},
    {"text after the last match at the end of input", {{"a b", "AB"}}, "a b c",
     "{\\cs99\\uldb a b}{\\cs99\\v AB} c"},
    {"escaped backslash before a group", {{"x", "X"}}, "{\\rtf1 C:\\\\{\\b x}}",
     "{\\rtf1 C:\\\\{\\b {\\uldb x}{\\v X}}}"},
    {"escaped backslash before a hyphen", {{"b", "B"}}, "{\\rtf1 a\\\\-b}",
     "{\\rtf1 a\\\\-{\\uldb b}{\\v B}}"},
    {"no match inside a hexadecimal escape", {{"E1", "E"}}, "{\\rtf1 est\\'e1 e1}",
     "{\\rtf1 est\\'e1 {\\uldb e1}{\\v E}}"},
    {"hidden text of a fragment stays hidden", kPrintSetup, "\\uldb a\\v b print setup", kSame},
    {"hot spot entered at its own brace only", {{"X", "T"}}, "{{\\uldb X}{\\v Y} X}",
     "{{\\uldb X}{\\v Y} {\\cs99\\uldb X}{\\cs99\\v T}}"},
    {"hot spot right after another, one group deeper", {{"B", "T"}},
     "{{\\uldb A}{\\v X}{\\b {\\uldb B}{\\v Y} B}}",
     "{{\\uldb A}{\\v X}{\\b {\\uldb B}{\\v Y} {\\cs99\\uldb B}{\\cs99\\v T}}}"},
    {"record starting inside the previous one", {{"X", "T"}},
     "{{\\uldb A}{\\v B}\\uldb C{\\v D}}", kSame},
    {"long target written whole", {{"x", kLongTarget.c_str()}}, "{\\rtf1 x}",
     "{\\rtf1 {\\uldb x}{\\v " + kLongTarget + "}}"},
    {"a term 100,000 words deep", {{kBang.c_str(), "BANG", "", 0, 1}},
     "{\\rtf1 " + kBang + " x}",
     "{\\rtf1 {\\uldb " + kBang + "}{\\v BANG} x}"},
    {"a paragraph style of the name: a character style is added and used", {{"a", "A"}},
     "{\\rtf1{\\stylesheet{\\s99 Autolink;}}a}",
     "{\\rtf1{\\stylesheet{\\s99 Autolink;}{\\*\\cs100 \\additive Autolink;}}{\\cs100\\uldb "
     "a}{\\cs100\\v A}}"},
    {"long context footnote cut, not overflowed", kPrintSetup,
     "{\\rtf1 \\page #{\\footnote " + kLongContext + "} print setup}",
     "{\\rtf1 \\page #{\\footnote " + kLongContext +
         "} {\\uldb print setup}{\\v PRINT_SETUP}}"},
    // "#{\footnote " names a topic: refused before the first page break.
    {"context footnote", kA, "{\\rtf1 #{\\footnote A}}", "<null>", kBeforePage},
    {"context footnote after a page", kA, "{\\rtf1 \\page #{\\footnote A}}", kSame},
    {"context footnote of a fragment", kA, "#{\\footnote A}", kSame},
    {"context footnote after text", kA, "{\\rtf1 x#{\\footnote A}}", "<null>", kBeforePage},
    {"context footnote after \\\\", kA, "{\\rtf1 \\\\#{\\footnote A}}", "<null>", kBeforePage},
    {"context footnote deeper", kA, "{\\rtf1 #{{\\footnote A}}}", "<null>", kBeforePage},
    {"context footnote after a style sheet", kA,
     "{\\rtf1 #{\\stylesheet{\\s0 Normal;}}{\\footnote A}}", "<null>", kBeforePage},
    {"mark, group, footnote", kA, "{\\rtf1 #{\\b}{\\footnote A}}", kSame},
    {"mark, paragraph, footnote", kA, "{\\rtf1 #{\\pard}{\\footnote A}}", kSame},
    {"mark, blank, footnote", kA, "{\\rtf1 # {\\footnote A}}", kSame},
    {"two marks", kA, "{\\rtf1 ##{\\footnote A}}", kSame},
    {"three marks", kA, "{\\rtf1 ###{\\footnote A}}", "<null>", kBeforePage},
    {"two marks after text", kA, "{\\rtf1 x##{\\footnote A}}", kSame},
    {"mark, text, mark", kA, "{\\rtf1 #b#{\\footnote A}}", "<null>", kBeforePage},
    {"two marks across a line end", kA, "{\\rtf1 #\r\n#{\\footnote A}}", kSame},
    {"three marks across a line end", kA, "{\\rtf1 x#\r\n##{\\footnote A}}", "<null>",
     kBeforePage},
    {"footnote word without its blank", kA, "{\\rtf1 #{\\footnote\\b A}}", kSame},
    {"starred footnote", kA, "{\\rtf1 #{\\*\\footnote A}}", kSame},
    {"title footnote", kA, "{\\rtf1 ${\\footnote A}}", kSame},
    // Words alike, at the root and below it, of both kinds, registered again.
    {"alike in the first 8 bytes",
     {{"internat", "A"}, {"internationalization", "B"}, {"internationalisation", "C"}},
     R("internat internationalisation internationalization internationa"),
     R("{\\uldb internat}{\\v A} {\\uldb internationalisation}{\\v C} "
       "{\\uldb internationalization}{\\v B} internationa")},
    {"one word at the root and below it", {{"setup", "S"}, {"print setup", "PS"}},
     R("setup print setup print"),
     R("{\\uldb setup}{\\v S} {\\uldb print setup}{\\v PS} print")},
    {"one spelling, both kinds", {{"PRINT", "P", "", 0, 1}, {"print dialog", "PD"}},
     R("PRINT Print dialog PRINT dialog print"),
     R("{\\uldb PRINT}{\\v P} {\\uldb Print dialog}{\\v PD} {\\uldb PRINT dialog}{\\v PD} "
       "print")},
    {"a word only below the root", {{"print setup", "PS"}}, R("setup print setup"),
     R("setup {\\uldb print setup}{\\v PS}")},
    {"the target of the last registration", {{"apple", "APPLE_A"}, {"apple", "apple_a"}},
     R("apple"), R("{\\uldb apple}{\\v apple_a}")},
    // The call's topic, popup context, once per pass and colour.
    {"jump to the topic itself", {{"home", "HOME"}, {"tip", "HOME", "", 0, 0, 1}},
     R("home tip"), R("home {\\ul tip}{\\v HOME}"), 0, "HOME", "TIP"},
    {"popup of the popup context", {{"home", "TIP"}, {"tip", "TIP", "", 0, 0, 1}},
     R("home tip"), R("{\\uldb home}{\\v TIP} tip"), 0, "HOME", "TIP"},
    {"a synonym shares its reference's pass",
     {{"print setup", "PS", "printer setup"}, {"page", "PG"}},
     R("printer setup print setup page page"),
     R("{\\uldb printer setup}{\\v PS} print setup {\\uldb page}{\\v PG} page"), 0, "", "", 1},
    {"colour", {{"x", "X"}}, R("x"), R("{\\cf2\\uldb x}{\\v X}"), 0, "", "", 0, 2},
    {"an excluded term among links", {{"page", "PG"}, {"page setup", "", "", 1}},
     R("page setup page"), R("page setup {\\uldb page}{\\v PG}")},
    // After a match that ended one word back, that word starts a new walk.
    {"after a match", kFruit, R("apple pear"), R("{\\uldb apple}{\\v A} pear")},
    {"after a match, a line end", kFruit, R("apple \r\npear apple pie"),
     R("{\\uldb apple}{\\v A} \r\npear {\\uldb apple pie}{\\v AP}")},
    {"after a match, a control word", kFruit, R("apple\\i  pear"),
     R("{\\uldb apple}{\\v A}\\i  pear")},
    {"after a match, another", kFruit, R("apple big apple"),
     R("{\\uldb apple}{\\v A} {\\uldb big apple}{\\v BA}")},
    {"after a match, a longer one", kFruit, R("apple apple pie"),
     R("{\\uldb apple}{\\v A} {\\uldb apple pie}{\\v AP}")},
    {"an optional hyphen makes one word", kFruit, R("apple\\-x apple"),
     R("apple\\-x {\\uldb apple}{\\v A}")},
    {"after a longer match", kAB, R("a b c"), R("{\\uldb a b}{\\v AB} c")},
    {"a shorter match, then a longer one", kAB, R("a a b"),
     R("{\\uldb a}{\\v A} {\\uldb a b}{\\v AB}")},
    {"shorter matches in a row", kAB, R("a a a"),
     R("{\\uldb a}{\\v A} {\\uldb a}{\\v A} {\\uldb a}{\\v A}")},
    {"punctuation between", kAB, R("b a, b"),
     R("{\\uldb b}{\\v B} {\\uldb a}{\\v A}, {\\uldb b}{\\v B}")},
    // Nothing linked in hot spots, hidden text, destinations or references.
    {"paragraph inside a hot spot", kSetup,
     "{\\rtf1 {\\uldb \\par Print setup}{\\v PRINT_SETUP}}", kSame},
    {"paragraph inside the hidden part", kSetup,
     "{\\rtf1 {\\uldb Print setup}{\\v PRINT\\par _SETUP} setup}",
     "{\\rtf1 {\\uldb Print setup}{\\v PRINT\\par _SETUP} {\\uldb setup}{\\v S}}"},
    {"strike, dotted and word underline hot spots", kSetup,
     R("{\\strike setup}{\\v C} {\\uld setup}{\\v !P(setup)} {\\ulw print setup}{\\v X}"),
     kSame},
    {"hot spot switched by words in one group", kSetup,
     "{\\rtf1 \\uldb setup\\uldb0\\v X\\v0  setup}",
     "{\\rtf1 \\uldb setup\\uldb0\\v X\\v0  {\\uldb setup}{\\v S}}"},
    {"underline switched off is plain text", kSetup, "{\\rtf1 {\\ul0 setup}{\\v X}}",
     "{\\rtf1 {\\ul0 {\\uldb setup}{\\v S}}{\\v X}}"},
    {"underlined text without hidden text is linked", kSetup, "{\\rtf1 {\\ul setup}}",
     "{\\rtf1 {\\ul {\\uldb setup}{\\v S}}}"},
    {"picture in a hot spot", kSetup, "{\\rtf1 {\\uldb \\{bmc setup.bmp\\}}{\\v S2}}", kSame},
    {"context marker", kSetup, "{\\rtf1 \\{#setup\\} setup}",
     "{\\rtf1 \\{#setup\\} {\\uldb setup}{\\v S}}"},
    {"escaped braces that are no reference", kSetup, "{\\rtf1 \\{setup\\}}",
     "{\\rtf1 \\{{\\uldb setup}{\\v S}\\}}"},
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
    {"lead byte and escaped trail", {{"A", "X"}}, "{\\rtf1\\ansicpg950 \x81\\'41}", kSame},
    {"single-byte letter escaped", {{"caf", "C"}}, "{\\rtf1 caf\\'e9 caf}",
     "{\\rtf1 caf\\'e9 {\\uldb caf}{\\v C}}"},
    {"single-byte letter raw", {{"caf", "C"}}, "{\\rtf1 caf\xe9 caf}",
     "{\\rtf1 caf\xe9 {\\uldb caf}{\\v C}}"},
    {"curly quotes still end words", {{"caf", "C"}}, "{\\rtf1 \\'93caf\\'94}",
     "{\\rtf1 \\'93{\\uldb caf}{\\v C}\\'94}"},
};
// clang-format on

// Linking the result again changes nothing (once-per-pass calls excepted).
TEST(AutolinkTest, WritesLinksByteForByte) {
    for (const LinkCase& c : kLinkCases) {
        AutolinkDictionary* d = MakeDictionary(c.refs);
        Result out = Link(d, c.input, c.topic, c.popup, c.once, c.colour);
        EXPECT_EQ(out.text, c.expected == kSame ? c.input : c.expected) << c.name;
        EXPECT_EQ(out.status, c.status) << c.name;
        if (out.status == 0 && !c.once) {
            EXPECT_EQ(Link(d, out.text, c.topic, c.popup, 0, c.colour).text, out.text)
                << c.name << " again";
        }
        AutolinkDone(d);
    }
    // Once per pass: the first occurrence only, again in the next call.
    AutolinkDictionary* d = MakeDictionary({{"x", "X", "y"}});
    for (int pass = 0; pass < 2; ++pass)
        EXPECT_EQ(Link(d, R("y x y"), "", "", 1).text, R("{\\uldb y}{\\v X} x y"));
    AutolinkDone(d);
    // Nothing to link with or to link: 2001, the length untouched.
    d = MakeDictionary(kPrintSetup);
    for (auto [dictionary, rtf] : {std::pair{d, (const char*)nullptr}, {nullptr, "{\\rtf1 x}"}}) {
        int32_t length = -7, status = -7;
        EXPECT_EQ(Autolink(dictionary, rtf, "", "", 0, 0, &length, &status), nullptr);
        EXPECT_TRUE(status == BRIO_ERR_NOT_FOUND && length == -7) << status << " " << length;
    }
    int32_t length = -7, status = -7;
    EXPECT_EQ(AutolinkRemove(nullptr, &length, &status), nullptr);
    EXPECT_TRUE(status == BRIO_ERR_NOT_FOUND && length == -7) << status << " " << length;
    AutolinkDone(d);
}

// A large dictionary (filter, 16-byte hash keys) links as a small one; the last two words collide.
TEST(AutolinkTest, LargeDictionaryLinksAsASmallOne) {
    const std::string text =
        "{\\rtf1 ABCDEFGHIJKLMNOPQRSTU ONE "
        "abcdefghijklmnopQRSTU abcdefghijklmnopqrstV "
        "abcdefghijklmnopqrst late arrival filler7 word "
        "filler7 other abcdefghijklmnopffqzqyti "
        "abcdefghijklmnopcdloogkg}";
    const std::string expected =
        "{\\rtf1 {\\uldb ABCDEFGHIJKLMNOPQRSTU ONE}{\\v LONG_CI} "
        "{\\uldb abcdefghijklmnopQRSTU}{\\v LONG_CS} abcdefghijklmnopqrstV "
        "abcdefghijklmnopqrst {\\uldb late arrival}{\\v LATE} {\\uldb filler7 "
        "word}{\\v F7} "
        "filler7 other abcdefghijklmnopffqzqyti {\\uldb "
        "abcdefghijklmnopcdloogkg}{\\v HASHED}}";
    for (int fillers : {8, 3000}) {
        std::vector<std::string> names, targets;
        for (int i = 0; i < fillers; ++i) {
            names.push_back("filler" + std::to_string(i) + " word");
            targets.push_back("F" + std::to_string(i));
        }
        std::vector<Ref> refs = {{"abcdefghijklmnopqrstu one", "LONG_CI"},
                                 {"abcdefghijklmnopQRSTU", "LONG_CS", "", 0, 1}};
        for (int i = 0; i < fillers; ++i) refs.push_back({names[i].c_str(), targets[i].c_str()});
        refs.push_back({"late arrival", "LATE"});
        refs.push_back({"abcdefghijklmnopcdloogkg", "HASHED"});
        AutolinkDictionary* d = MakeDictionary(refs);
        EXPECT_EQ(Link(d, text).text, expected) << fillers << " fillers";
        AutolinkDone(d);
    }
}

// Words past the 16 bytes kept in a key: those differing only in the last byte never match.
TEST(AutolinkTest, LongWordsMatchOnlyWhole) {
    AutolinkDictionary* d = MakeDictionary({{"abcdefghijklmnoP", "CI16"},
                                            {"abcdefghijklmnopQ", "CI17"},
                                            {"ABCDEFGHIJKLMNOPQRSTUVWXYZ", "CS26", "", 0, 1}});
    struct Case {
        const char* word;
        const char* target;  // null: left plain
    } cases[] = {
        {"ABCDEFGHIJKLMNOp", "CI16"},
        {"abcdefghijklmnoX", nullptr},
        {"abcdefghijklmnopq", "CI17"},
        {"ABCDEFGHIJKLMNOPQ", "CI17"},
        {"abcdefghijklmnopR", nullptr},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZ", "CS26"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYz", nullptr},
        {"ABCDEFGHIJKLMNOPQRSTUVWXY", nullptr},
    };
    for (const Case& c : cases) {
        std::string w = c.word;
        std::string expected = c.target ? R("{\\uldb " + w + "}{\\v " + c.target + "}") : R(w);
        EXPECT_EQ(Link(d, R(w)).text, expected) << w;
    }
    AutolinkDone(d);
    // Siblings alike but for their last byte meet on each other's probe
    // paths: each still finds its own target.
    const std::string letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int32_t caseSensitive : {0, 1}) {
        std::vector<std::string> words;
        std::string text, expected;
        for (char c : letters) words.push_back("abcdefghijklmnopq" + std::string(1, c));
        std::vector<Ref> refs;
        for (const std::string& w : words) {
            refs.push_back({w.c_str(), w.c_str() + 16, "", 0, caseSensitive});
            text += w + " ";
            expected += "{\\uldb " + w + "}{\\v " + w.substr(16) + "} ";
        }
        d = MakeDictionary(refs);
        EXPECT_EQ(Link(d, R(text)).text, R(expected)) << caseSensitive;
        AutolinkDone(d);
    }
}

// The input is the result the dictionary still owns, also after a term is added.
TEST(AutolinkTest, RelinksItsOwnResult) {
    AutolinkDictionary* d = MakeDictionary(kPrintSetup);
    int32_t length = 0, status = -7, result = -7;
    const char* out = Autolink(d, Doc("print setup and").c_str(), "", "", 0, 0, &length, &status);
    const std::string first = out ? out : "<null>";
    out = Autolink(d, out, "", "", 0, 0, &length, &status);
    EXPECT_EQ(out ? out : "<null>", first);
    AutolinkReference(d, "and", "", "AND", 0, 0, "", 0, &result);
    out = Autolink(d, out, "", "", 0, 0, &length, &status);
    EXPECT_EQ(out ? out : "<null>", Linked99("{\\cs99\\uldb print setup}{\\cs99\\v PRINT_SETUP} "
                                             "{\\cs99\\uldb and}{\\cs99\\v AND}"));
    EXPECT_EQ(status, 0);
    AutolinkDone(d);
}

TEST(AutolinkReferenceTest, ResultsAndWhatTheyLeave) {
    AutolinkDictionary* d = MakeDictionary(
        {{"Print", "PRINT_TOPIC"},
         {"PRINT", "print_topic", nullptr, 0, 0, 1},  // same target up to case: replaced
         {"print", "OTHER"},
         {"print", "X", "", 1},      // excluded, against a target
         {"m", "M", "s1;print;s2"},  // synonyms before the conflict stay
         {"main", "T", "a;;b"},      // an empty synonym ends the list
         {"k", "K", ";c"},
         {"n", "N", "d;e;"},
         {"page setup", "PS", "printer setup"},
         {"page setup", "ps"}},  // the synonym keeps its target
        {0, 0, BRIO_ERR_TERM_CONFLICT, BRIO_ERR_TERM_CONFLICT, BRIO_ERR_TERM_CONFLICT, 0, 0, 0, 0,
         0});
    EXPECT_EQ(Link(d, "{\\rtf1 print m s1 s2 a b c d e Printer SETUP page Setup}").text,
              "{\\rtf1 {\\ul print}{\\v print_topic} {\\uldb m}{\\v M} {\\uldb s1}{\\v "
              "M} s2 "
              "{\\uldb a}{\\v T} b c {\\uldb d}{\\v N} {\\uldb e}{\\v N} {\\uldb "
              "Printer "
              "SETUP}{\\v PS} {\\uldb page Setup}{\\v ps}}");
    AutolinkDone(d);
    AutolinkDone(nullptr);
}

// A term registered again takes the new popup and exclude settings; once per
// pass it still shares its main term's history.
TEST(AutolinkReferenceTest, RegisteredAgainTakesTheNewSetting) {
    struct Case {
        std::vector<Ref> refs;
        int32_t once;
        std::string expected;
    } cases[] = {
        {{{"x", "X"}, {"x", "X", "", 0, 0, 1}}, 0, "y {\\ul x}{\\v X} y"},
        {{{"x", "X", "", 0, 0, 1}, {"x", "X"}}, 0, "y {\\uldb x}{\\v X} y"},
        {{{"x", ""}, {"x", "", "", 1}}, 0, "y x y"},
        {{{"x", "", "", 1}, {"x", ""}}, 0, "y {\\uldb x}{\\v } y"},
        // The synonym keeps its own setting and links for its main term.
        {{{"x", "X", "y"}, {"x", "X", "", 0, 0, 1}}, 1, "{\\uldb y}{\\v X} x y"},
        {{{"x", "X", "y"}, {"x", "X", "y", 0, 0, 1}}, 1, "{\\ul y}{\\v X} x y"},
    };
    for (const Case& c : cases) {
        AutolinkDictionary* d = MakeDictionary(c.refs);
        // An empty target would equal an empty topic: the topic is named.
        EXPECT_EQ(Link(d, R("y x y"), "TOPIC", "", c.once).text, R(c.expected)) << c.expected;
        AutolinkDone(d);
    }
}

// A case-sensitive and a case-insensitive spelling share one target, or conflict.
TEST(AutolinkReferenceTest, BothCaseKindsOfOneSpellingShareATarget) {
    const int32_t kConflict = BRIO_ERR_TERM_CONFLICT;
    struct Case {
        std::vector<Ref> refs;
        std::vector<int32_t> results;
        std::string expected;
    } cases[] = {
        {{{"PRINT", "A", "", 0, 1}, {"print", "B"}},
         {0, kConflict},
         "{\\rtf1 {\\uldb PRINT}{\\v A} print}"},
        {{{"print", "B"}, {"PRINT", "A", "", 0, 1}},
         {0, kConflict},
         "{\\rtf1 {\\uldb PRINT}{\\v B} {\\uldb print}{\\v B}}"},
        {{{"print", "B"}, {"PRINT", "b", "", 0, 1}},
         {0, 0},
         "{\\rtf1 {\\uldb PRINT}{\\v b} {\\uldb print}{\\v B}}"},
        {{{"x", "X", "Print  Setup", 0, 1}, {"print setup", "B"}},
         {0, kConflict},
         "{\\rtf1 PRINT print}"},
        {{{"PRINT", "A", "", 0, 1}, {"print setup", "B"}, {"print", "", "", 1}},
         {0, 0, kConflict},
         "{\\rtf1 {\\uldb PRINT}{\\v A} print}"},
    };
    for (const Case& c : cases) {
        AutolinkDictionary* d = MakeDictionary(c.refs, c.results);
        EXPECT_EQ(Link(d, "{\\rtf1 PRINT print}").text, c.expected) << c.refs[0].term;
        AutolinkDone(d);
    }
}

// A failure while adding to a dictionary reports 2005 and keeps it usable.
TEST(AutolinkReferenceTest, AllocationFailureKeepsTheDictionary) {
    AutolinkDictionary* d = MakeDictionary({{"one", "ONE"}});
    bool sawFailure = false;
    for (long n = 1; n < 100; ++n) {
        int32_t result = -7;
        std::string term = "term number " + std::to_string(n);
        brio::FailAllocationAfter(n);
        EXPECT_EQ(AutolinkReference(d, term.c_str(), "", "T", 0, 0, "", 0, &result), d);
        brio::FailAllocationAfter(0);
        EXPECT_TRUE(result == 0 || result == BRIO_ERR_NO_MEMORY) << n;
        sawFailure |= result == BRIO_ERR_NO_MEMORY;
    }
    EXPECT_TRUE(sawFailure);
    EXPECT_EQ(Link(d, "{\\rtf1 one term number 99}").text,
              "{\\rtf1 {\\uldb one}{\\v ONE} {\\uldb term number 99}{\\v T}}");
    AutolinkDone(d);
}

TEST(AutolinkRemoveTest, StripsLinksOfTheStyle) {
    struct Case {
        const char* name;
        std::string input;
        std::string expected;
        int32_t status = -1;
    } cases[] = {
        {"jump", Linked99("{\\cs99\\uldb print setup}{\\cs99\\v PRINT_SETUP} now"),
         Linked99("{print setup} now")},
        {"coloured popup", Linked99("{\\cs99\\cf2\\ul print setup}{\\cs99\\v PRINT_SETUP}"),
         Linked99("{print setup}")},
        {"pieces with formatting",
         Linked99("{\\cs99\\uldb print }\\b {\\cs99\\uldb setup}{\\cs99\\v "
                  "PS}\\b0 now"),
         Linked99("{print }\\b {setup}\\b0 now")},
        {"style numbered otherwise",
         "{\\rtf1{\\stylesheet{\\*\\cs15 \\additive Autolink;}}{\\cs15\\uldb "
         "a}{\\cs15\\v A}}",
         "{\\rtf1{\\stylesheet{\\*\\cs15 \\additive Autolink;}}{a}}"},
        {"sheet without the style: number 99", Doc("{\\cs99\\uldb a}{\\cs99\\v A}"), Doc("{a}")},
        {"no style sheet: nothing is a link", "{\\rtf1 {\\cs99\\uldb a}{\\cs99\\v A}}", kSame},
        {"hand-made hot spot stays", Linked99("{\\uldb Print}{\\v PRINT}"), kSame},
        {"style word with its blank is no link", Linked99("{\\cs99 text}"), kSame},
        {"line ends dropped", Linked99("a\r\nb\r\n"), Linked99("ab")},
        {"lone backslash at the end", "{\\rtf1 x}\\", "{\\rtf1 x}", BRIO_ERR_UNEXPECTED_END},
        {"destination never closed", "{\\rtf1{\\*\\x abc", "<null>", BRIO_ERR_UNEXPECTED_END},
        // Faults of the original, built soundly.
        {"style group that is no link keeps its text",
         Linked99("{\\cs99\\b Note} Body text.{\\v hidden}"),
         Linked99("{\\b Note} Body text.{\\v hidden}")},
        {"underline switched off", Linked99("{\\cs99\\ulnone print}"),
         Linked99("{\\ulnone print}")},
        {"style word not first in its group", Linked99("{\\b\\cs99\\uldb a}{\\cs99\\v A}"),
         Linked99("{\\b\\cs99\\uldb a}")},
        {"hidden part only when its own group is hidden", Linked99("{\\cs99\\b {\\v x}y}"),
         Linked99("{\\b {\\v x}y}")},
        {"blank where a dropped line end separated", Linked99("\\par\r\nHello\\par\r\n World"),
         Linked99("\\par Hello\\par  World")},
        {"blank where a dropped style word separated", Linked99("{\\cs99\\b\\cf2 Note}"),
         Linked99("{\\b Note}")},
        {"one blank where the underline word had one",
         Linked99("{\\cs99\\b\\uldb bold link}{\\cs99\\v BL}"), Linked99("{\\b bold link}")},
        {"a cut never glues a word to the next letter", Linked99("\\b{\\cs99\\v T}y"),
         Linked99("\\b y")},
        {"a style sheet that cannot be read: the text, nothing a link",
         "{\\rtf1{\\stylesheet{\\s0 N;}\\b}{\\cs99\\uldb a}{\\cs99\\v A}}", kSame},
        {"a paragraph style of the name is no link style",
         "{\\rtf1{\\stylesheet{\\s99 Autolink;}{\\*\\cs100 \\additive "
         "Autolink;}}{\\s99 "
         "{\\cs100\\uldb a}{\\cs100\\v A}{\\cs99\\uldb b}}}",
         "{\\rtf1{\\stylesheet{\\s99 Autolink;}{\\*\\cs100 \\additive "
         "Autolink;}}{\\s99 "
         "{a}{\\cs99\\uldb b}}}"},
        {"an escaped backslash ends no word", Linked99("\\\\b{\\cs99\\v T}y"), Linked99("\\\\by")},
        // Fragments use the default style and drop the document's brace.
        {"fragment", "{\\*\\bkmkstart a}{\\cs99\\uldb x}{\\cs99\\v X}", "{\\*\\bkmkstart a}{x}"},
        {"fragment: document brace dropped", "x}}", "x"},
        {"any hot-spot underline", Linked99("{\\cs99\\uld x}{\\cs99\\v X}"), Linked99("{x}")},
    };
    for (const Case& c : cases) {
        Result r = Remove(c.input);
        EXPECT_EQ(r.text, c.expected == kSame ? c.input : c.expected) << c.name;
        EXPECT_EQ(r.status, c.status) << c.name;
    }
}

}  // namespace
