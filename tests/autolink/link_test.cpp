// AutolinkReference, Autolink and AutolinkRemove byte for byte.
#include <gtest/gtest.h>

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
// 512 words of one 16-byte prefix and length: whatever the hash, some share a term's slot.
const std::string kSamePrefix = [] {
    std::string words;
    for (int i = 0; i < 512; ++i) words += "abcdefghijklmnop" + std::to_string(10000000 + i) + " ";
    return words;
}();

// clang-format off
struct LinkCase {
    const char* name;
    std::vector<Ref> refs;
    std::string input, expected;
    int32_t status = 0, once = 0;
    std::vector<int32_t> results = {};  // of the registrations, all 0 when empty
    uint32_t colour = 0;
};

const LinkCase kLinkCases[] = {
    {"hot spot in one group copied", kPrintSetup, Doc("{\\ul print setup\\v OTHER}."),
     Linked99("{\\ul print setup\\v OTHER}.")},
    {"a reference's head may be escaped", {{"x", "X"}}, "{\\rtf1 \\{\\'62mc x.bmp\\} x}",
     "{\\rtf1 \\{\\'62mc x.bmp\\} {\\uldb x}{\\v X}}"},
    {"an escaped brace inside is no reference", {{"x", "X"}}, "{\\rtf1 \\{bmc a\\{x\\}}",
     "{\\rtf1 \\{bmc a\\{{\\uldb x}{\\v X}\\}}"},
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
    {"no match inside a hexadecimal escape", {{"E0", "E"}}, "{\\rtf1 est\\'e0 e0}",
     "{\\rtf1 est\\'e0 {\\uldb e0}{\\v E}}"},
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
    // Of a word that both kinds start, the longest term wins, of either kind.
    {"case-insensitive term through a case-sensitive word",
     {{"Print", "A", "", 0, 1}, {"print setup", "B"}}, R("Print setup Print"),
     R("{\\uldb Print setup}{\\v B} {\\uldb Print}{\\v A}")},
    {"longer case-sensitive term against a shorter one",
     {{"Print setup", "A", "", 0, 1}, {"print", "B"}, {"print setup x", "C"}}, R("Print setup y"),
     R("{\\uldb Print setup}{\\v A} y")},
    {"an excluded term keeps its words from shorter ones",
     {{"print setup", "", "", 1}, {"setup", "S"}}, R("print setup setup"),
     R("print setup {\\uldb setup}{\\v S}")},
    {"the topic's own target left out; a popup only against the popup context",
     {{"x", "TOPIC"}, {"y", "TOPIC", "", 0, 0, 1}}, R("x y"), R("x {\\ul y}{\\v TOPIC}")},
    {"colour index", kA, R("a"), R("{\\cf1\\uldb a}{\\v T}"), 0, 0, {}, 1},
    {"upper-half letters start a term's word", {{"\xc9t\xe9", "E"}}, R("\xe9t\xe9 t\xe9"),
     R("{\\uldb \xe9t\xe9}{\\v E} t\xe9")},
    {"tabs separate words in terms and text", {{"print\tsetup", "P"}},
     R("print\tsetup print setup"),
     R("{\\uldb print\tsetup}{\\v P} {\\uldb print setup}{\\v P}")},
    {"a paragraph or a non-breaking space ends a run", kSetup,
     R("print\\par setup\\par print\\~setup"),
     R("print\\par {\\uldb setup}{\\v S}\\par print\\~{\\uldb setup}{\\v S}")},
    {"a run ending after two held words, the second starting a term",
     {{"a b c", "X"}, {"b d", "Y"}}, R("a b\\{#x\\}"), kSame},
    {"16-byte keys that collide", {{"abcdefghijklmnopffqzqyti", "A"}},
     R(kSamePrefix + "abcdefghijklmnopffqzqyti"),
     R(kSamePrefix + "{\\uldb abcdefghijklmnopffqzqyti}{\\v A}")},
};
// clang-format on

// Topic TOPIC. Linking the result again changes nothing; once per pass, a call starts a new pass.
TEST(AutolinkTest, WritesLinksByteForByte) {
    for (const LinkCase& c : kLinkCases) {
        AutolinkDictionary* d = MakeDictionary(c.refs, c.results);
        Result out;
        for (int pass = 0; pass <= c.once; ++pass) {
            out = Link(d, c.input, "TOPIC", "", c.once, c.colour);
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

}  // namespace
