// Autolink through the public header: the links it writes, byte for byte.
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
    const char* synonyms;
    const char* target;
    int32_t exclude;
    int32_t caseSensitive;
    uint32_t popup;
};

AutolinkDictionary* MakeDictionary(const std::vector<Ref>& refs) {
    AutolinkDictionary* d = nullptr;
    for (const Ref& r : refs) {
        int32_t result = -7;
        d = AutolinkReference(d, r.term, r.synonyms, r.target, r.exclude, r.caseSensitive, "",
                              r.popup, &result);
        EXPECT_EQ(result, 0) << r.term;
    }
    if (!d) d = AutolinkReference(nullptr, "", "", "", 0, 0, "", 0, nullptr);
    return d;
}

struct Linked {
    std::string text;  // "<null>" when nothing came back
    int32_t status;
};

Linked Link(AutolinkDictionary* d, const std::string& rtf, const char* topic = "",
            const char* popup = "", int32_t once = 0, uint32_t colour = 0) {
    int32_t length = -7;
    int32_t status = -7;
    char* out = Autolink(d, rtf.c_str(), topic, popup, once, colour, &length, &status);
    if (!out) return {"<null>", status};
    EXPECT_EQ(static_cast<size_t>(length), std::strlen(out));
    return {out, status};
}

const char kSheet[] = "{\\stylesheet{\\widctlpar\\f4\\fs20 \\snext0 Normal;}}";
const char kSheetWithStyle[] =
    "{\\stylesheet{\\widctlpar\\f4\\fs20 \\snext0 Normal;}{\\*\\cs99 \\additive Autolink;}}";

std::string Doc(const std::string& body) {
    return std::string("{\\rtf1\\ansi") + kSheet + body + "}";
}
std::string Linked99(const std::string& body) {
    return std::string("{\\rtf1\\ansi") + kSheetWithStyle + body + "}";
}

const std::vector<Ref> kPrintSetup = {{"print setup", "", "PRINT_SETUP", 0, 0, 0}};

TEST(AutolinkTest, WritesLinksByteForByte) {
    struct Case {
        const char* name;
        std::vector<Ref> refs;
        std::string input;
        std::string expected;
        int32_t status;
    } cases[] = {
        {"style sheet gains the style", kPrintSetup, Doc("\\pard Use print setup now\\par"),
         Linked99("\\pard Use {\\cs99\\uldb print setup}{\\cs99\\v PRINT_SETUP} now\\par"), 0},
        {"longest term from the first word",
         {{"big apple", "", "BA", 0, 0, 0}, {"apple pie", "", "AP", 0, 0, 0}},
         Doc("big apple pie"),
         Linked99("{\\cs99\\uldb big apple}{\\cs99\\v BA} pie"),
         0},
        {"first word given back",
         {{"apple pie", "", "AP", 0, 0, 0}},
         Doc("big apple pie"),
         Linked99("big {\\cs99\\uldb apple pie}{\\cs99\\v AP}"),
         0},
        {"a brace ends the run", kPrintSetup, Doc("print {\\b setup}"),
         Linked99("print {\\b setup}"), 0},
        {"formatting splits the link into pieces", kPrintSetup, Doc("print \\b setup\\b0  now"),
         Linked99("{\\cs99\\uldb print }\\b {\\cs99\\uldb setup}{\\cs99\\v PRINT_SETUP}\\b0  now"),
         0},
        {"footnote untouched", kPrintSetup, Doc("x{\\footnote print setup}"),
         Linked99("x{\\footnote print setup}"), 0},
        {"existing hot spot copied", kPrintSetup,
         Doc("{\\uldb print setup}{\\v OTHER} print setup"),
         Linked99("{\\uldb print setup}{\\v OTHER} {\\cs99\\uldb print setup}{\\cs99\\v "
                  "PRINT_SETUP}"),
         0},
        {"hot spot in one group copied", kPrintSetup, Doc("{\\ul print setup\\v OTHER}."),
         Linked99("{\\ul print setup\\v OTHER}."), 0},
        {"excluded longer term wins the longest match",
         {{"print setup", "", "PS", 0, 0, 0}, {"print setup dialog", "", "", 1, 0, 0}},
         Doc("print setup dialog, print setup."),
         Linked99("print setup dialog, {\\cs99\\uldb print setup}{\\cs99\\v PS}."),
         0},
        {"control symbol splits words", kPrintSetup, Doc("print\\~setup"),
         Linked99("print\\~setup"), 0},
        {"bitmap reference kept whole",
         {{"apple", "", "APPLE", 0, 0, 0}},
         Doc("\\{bmc apple.bmp\\} apple"),
         Linked99("\\{bmc apple.bmp\\} {\\cs99\\uldb apple}{\\cs99\\v APPLE}"),
         0},
        {"embedded window reference kept whole",
         {{"apple", "", "APPLE", 0, 0, 0}},
         Doc("\\{ewl apple.dll, apple\\}"),
         Linked99("\\{ewl apple.dll, apple\\}"),
         0},
        {"no style sheet: no style", kPrintSetup, "{\\rtf1 print setup}",
         "{\\rtf1 {\\uldb print setup}{\\v PRINT_SETUP}}", 0},
        {"groups left open", kPrintSetup, "{\\rtf1 print setup", "<null>", BRIO_ERR_GROUPS_OPEN},
        {"footnote before the first page", kPrintSetup, "{\\rtf1 #{\\footnote A}}", "<null>",
         BRIO_ERR_FOOTNOTE_BEFORE_PAGE},
        {"footnote after a page", kPrintSetup, "{\\rtf1 \\page #{\\footnote A} print setup}",
         "{\\rtf1 \\page #{\\footnote A} {\\uldb print setup}{\\v PRINT_SETUP}}", 0},
        {"line end inside a word",
         {{"printer", "", "P", 0, 0, 0}},
         "{\\rtf1 print\r\ner}",
         "{\\rtf1 {\\uldb print}\r\n{\\uldb er}{\\v P}}",
         0},
        {"popup with a colour",
         {{"note", "", "N", 0, 0, 1}},
         "{\\rtf1 a note}",
         "{\\rtf1 a {\\ul note}{\\v N}}",
         0},
        {"a control word does not end a word",
         {{"setupnow", "", "S", 0, 0, 0}},
         "{\\rtf1 setup\\b0 now}",
         "{\\rtf1 {\\uldb setup}\\b0 {\\uldb now}{\\v S}}",
         0},
        {"a Symbol control word ends the run", kPrintSetup, "{\\rtf1 print\\par setup}",
         "{\\rtf1 print\\par setup}", 0},
        {"optional hyphen inside a term",
         {{"autolink", "", "AL", 0, 0, 0}},
         "{\\rtf1 auto\\-link}",
         "{\\rtf1 {\\uldb auto\\-link}{\\v AL}}",
         0},
        // The faults of the original, built soundly.
        {"optional hyphen kept where no run is held",
         {{"x", "", "X", 0, 0, 0}},
         "{\\rtf1 auto\\-link \\-x}",
         "{\\rtf1 auto\\-link \\-{\\uldb x}{\\v X}}",
         0},
        {"text after the last match at the end of input",
         {{"a b", "", "AB", 0, 0, 0}},
         "a b c",
         "{\\uldb a b}{\\v AB} c",
         0},
        {"escaped backslash before a group",
         {{"x", "", "X", 0, 0, 0}},
         "{\\rtf1 C:\\\\{\\b x}}",
         "{\\rtf1 C:\\\\{\\b {\\uldb x}{\\v X}}}",
         0},
        {"escaped backslash before a hyphen",
         {{"b", "", "B", 0, 0, 0}},
         "{\\rtf1 a\\\\-b}",
         "{\\rtf1 a\\\\-{\\uldb b}{\\v B}}",
         0},
        {"no match inside a hexadecimal escape",
         {{"E1", "", "E", 0, 0, 0}},
         "{\\rtf1 est\\'e1 e1}",
         "{\\rtf1 est\\'e1 {\\uldb e1}{\\v E}}",
         0},
        {"hexadecimal escape matched as its character",
         {{"caf\xE9", "", "CAFE", 0, 0, 0}},
         "{\\rtf1 CAF\\'c9!}",
         "{\\rtf1 {\\uldb CAF\\'c9}{\\v CAFE}!}",
         0},
        {"underline outside every group", kPrintSetup, "\\uldb a\\v b print setup",
         "\\uldb a\\v b {\\uldb print setup}{\\v PRINT_SETUP}", 0},
        {"hot spot entered at its own brace only",
         {{"X", "", "T", 0, 0, 0}},
         "{{\\uldb X}{\\v Y} X}",
         "{{\\uldb X}{\\v Y} {\\uldb X}{\\v T}}",
         0},
        {"hot spot right after another, one group deeper",
         {{"B", "", "T", 0, 0, 0}},
         "{{\\uldb A}{\\v X}{\\b {\\uldb B}{\\v Y} B}}",
         "{{\\uldb A}{\\v X}{\\b {\\uldb B}{\\v Y} {\\uldb B}{\\v T}}}",
         0},
        {"record starting inside the previous one",
         {{"X", "", "T", 0, 0, 0}},
         "{{\\uldb A}{\\v B}\\uldb C{\\v D}}",
         "{{\\uldb A}{\\v B}\\uldb C{\\v D}}",
         0},
        {"long target written whole", {{"x", "", nullptr, 0, 0, 0}}, "{\\rtf1 x}", "", 0},
    };
    std::string longTarget(3000, 'T');
    cases[sizeof cases / sizeof cases[0] - 1].refs[0].target = longTarget.c_str();
    cases[sizeof cases / sizeof cases[0] - 1].expected =
        "{\\rtf1 {\\uldb x}{\\v " + longTarget + "}}";
    for (const Case& c : cases) {
        AutolinkDictionary* d = MakeDictionary(c.refs);
        Linked out = Link(d, c.input);
        EXPECT_EQ(out.text, c.expected) << c.name;
        EXPECT_EQ(out.status, c.status) << c.name;
        AutolinkDone(d);
    }
}

TEST(AutolinkTest, SettingsOfTheCall) {
    AutolinkDictionary* d = MakeDictionary(
        {{"home", "", "HOME", 0, 0, 0}, {"x", "y", "X", 0, 0, 0}, {"tip", "", "TIP", 0, 0, 1}});
    // The topic does not jump to itself; popups to the popup context are
    // not made.
    EXPECT_EQ(Link(d, "{\\rtf1 home tip}", "HOME", "TIP").text, "{\\rtf1 home tip}");
    EXPECT_EQ(Link(d, "{\\rtf1 home tip}", "", "").text,
              "{\\rtf1 {\\uldb home}{\\v HOME} {\\ul tip}{\\v TIP}}");
    // Once per pass: the first occurrence of the reference only, again in
    // the next call.
    for (int pass = 0; pass < 2; ++pass) {
        EXPECT_EQ(Link(d, "{\\rtf1 y x y}", "", "", 1).text, "{\\rtf1 {\\uldb y}{\\v X} x y}");
    }
    EXPECT_EQ(Link(d, "{\\rtf1 y x}", "", "", 0).text,
              "{\\rtf1 {\\uldb y}{\\v X} {\\uldb x}{\\v X}}");
    // Colour goes on the underlined part only.
    EXPECT_EQ(Link(d, "{\\rtf1 x}", "", "", 0, 2).text, "{\\rtf1 {\\cf2\\uldb x}{\\v X}}");
    AutolinkDone(d);
}

TEST(AutolinkTest, FailuresAndLimits) {
    int32_t length = -7;
    int32_t status = -7;
    EXPECT_EQ(Autolink(nullptr, "{\\rtf1 x}", "", "", 0, 0, &length, &status), nullptr);
    EXPECT_EQ(status, BRIO_ERR_NOT_FOUND);
    EXPECT_EQ(length, -7);

    AutolinkDictionary* d = MakeDictionary(kPrintSetup);
    // A word longer than 511 characters: 2007 with the text written so far.
    std::string word(600, 'w');
    Linked out = Link(d, "{\\rtf1 ok " + word + "}");
    EXPECT_EQ(out.status, BRIO_ERR_WORD_TOO_LONG);
    EXPECT_EQ(out.text, "{\\rtf1 ok ");
    // 511 is still a word.
    out = Link(d, "{\\rtf1 " + std::string(511, 'w') + "}");
    EXPECT_EQ(out.status, 0);
    // A lone backslash at the end.
    out = Link(d, "{\\rtf1 x}\\");
    EXPECT_EQ(out.text, "<null>");
    EXPECT_EQ(out.status, BRIO_ERR_UNEXPECTED_END);
    AutolinkDone(d);
}

TEST(AutolinkTest, LongContextFootnoteIsCutNotOverflowed) {
    AutolinkDictionary* d = MakeDictionary(kPrintSetup);
    std::string input = "{\\rtf1 \\page #{\\footnote " + std::string(5000, 'C') + "} print setup}";
    Linked out = Link(d, input);
    EXPECT_EQ(out.status, 0);
    EXPECT_EQ(out.text, "{\\rtf1 \\page #{\\footnote " + std::string(5000, 'C') +
                            "} {\\uldb print setup}{\\v PRINT_SETUP}}");
    AutolinkDone(d);
}

TEST(AutolinkTest, RelinksItsOwnResult) {
    AutolinkDictionary* d = MakeDictionary(kPrintSetup);
    int32_t length = 0;
    int32_t status = -7;
    const char* first =
        Autolink(d, Doc("print setup and print setup").c_str(), "", "", 0, 0, &length, &status);
    ASSERT_NE(first, nullptr);
    std::string firstText = first;
    // Linking the result again, while the dictionary still owns it.
    const char* second = Autolink(d, first, "", "", 0, 0, &length, &status);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(std::string(second), firstText);
    // New terms added between calls are linked in the old result.
    int32_t result = -7;
    AutolinkReference(d, "and", "", "AND", 0, 0, "", 0, &result);
    const char* third = Autolink(d, second, "", "", 0, 0, &length, &status);
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(std::string(third),
              Linked99("{\\cs99\\uldb print setup}{\\cs99\\v PRINT_SETUP} {\\cs99\\uldb "
                       "and}{\\cs99\\v AND} {\\cs99\\uldb print setup}{\\cs99\\v PRINT_SETUP}"));
    AutolinkDone(d);
}

TEST(AutolinkTest, AllocationFailuresReport2005) {
    AutolinkDictionary* d = MakeDictionary(kPrintSetup);
    std::string body;
    for (int i = 0; i < 400; ++i) body += "{\\b word} ";
    std::string input = Doc(body + "print setup");
    bool sawFailure = false;
    for (long n = 1; n < 60; ++n) {
        brio::FailAllocationAfter(n);
        int32_t length = 0;
        int32_t status = -7;
        char* out = Autolink(d, input.c_str(), "", "", 0, 0, &length, &status);
        brio::FailAllocationAfter(0);
        if (status == BRIO_ERR_NO_MEMORY) {
            sawFailure = true;
        } else {
            EXPECT_EQ(status, 0) << n;
            ASSERT_NE(out, nullptr);
            EXPECT_TRUE(std::string(out) ==
                        Linked99(body + "{\\cs99\\uldb print setup}{\\cs99\\v PRINT_SETUP}"))
                << n;
        }
    }
    EXPECT_TRUE(sawFailure);
    AutolinkDone(d);
}

// Removal.
struct Removed {
    std::string text;
    int32_t status;
};

Removed Remove(const std::string& rtf) {
    int32_t length = -7;
    int32_t status = -7;
    char* out = AutolinkRemove(rtf.c_str(), &length, &status);
    if (!out) return {"<null>", status};
    EXPECT_EQ(static_cast<size_t>(length), std::strlen(out));
    Removed r{out, status};
    std::free(out);
    return r;
}

TEST(AutolinkRemoveTest, StripsLinksOfTheStyle) {
    struct Case {
        const char* name;
        std::string input;
        std::string expected;
        int32_t status;
    } cases[] = {
        {"jump", Linked99("{\\cs99\\uldb print setup}{\\cs99\\v PRINT_SETUP} now"),
         Linked99("{print setup} now"), -1},
        {"coloured popup", Linked99("{\\cs99\\cf2\\ul print setup}{\\cs99\\v PRINT_SETUP}"),
         Linked99("{print setup}"), -1},
        {"pieces with formatting",
         Linked99("{\\cs99\\uldb print }\\b {\\cs99\\uldb setup}{\\cs99\\v PS}\\b0 now"),
         Linked99("{print }\\b {setup}\\b0 now"), -1},
        {"style numbered otherwise",
         "{\\rtf1{\\stylesheet{\\*\\cs15 \\additive Autolink;}}{\\cs15\\uldb a}{\\cs15\\v A}}",
         "{\\rtf1{\\stylesheet{\\*\\cs15 \\additive Autolink;}}{a}}", -1},
        {"sheet without the style: number 99", Doc("{\\cs99\\uldb a}{\\cs99\\v A}"), Doc("{a}"),
         -1},
        {"no style sheet: nothing is a link", "{\\rtf1 {\\cs99\\uldb a}{\\cs99\\v A}}",
         "{\\rtf1 {\\cs99\\uldb a}{\\cs99\\v A}}", -1},
        {"hand-made hot spot stays", Linked99("{\\uldb Print}{\\v PRINT}"),
         Linked99("{\\uldb Print}{\\v PRINT}"), -1},
        {"style word with its blank is no link", Linked99("{\\cs99 text}"),
         Linked99("{\\cs99 text}"), -1},
        {"line ends dropped", Linked99("a\r\nb\r\n"), Linked99("ab"), -1},
        {"lone backslash at the end", "{\\rtf1 x}\\", "{\\rtf1 x}", BRIO_ERR_UNEXPECTED_END},
        {"destination never closed", "{\\rtf1{\\*\\x abc", "<null>", BRIO_ERR_UNEXPECTED_END},
        // The faults of the original, built soundly.
        {"style group that is no link keeps its text",
         Linked99("{\\cs99\\b Note} Body text.{\\v hidden}"),
         Linked99("{\\b Note} Body text.{\\v hidden}"), -1},
        {"underline switched off", Linked99("{\\cs99\\ulnone print}"), Linked99("{\\ulnone print}"),
         -1},
        {"style word not first in its group", Linked99("{\\b\\cs99\\uldb a}{\\cs99\\v A}"),
         Linked99("{\\b\\cs99\\uldb a}"), -1},
        {"hidden part only when its own group is hidden", Linked99("{\\cs99\\b {\\v x}y}"),
         Linked99("{\\b {\\v x}y}"), -1},
        {"blank where a dropped line end separated", Linked99("\\par\r\nHello\\par\r\n World"),
         Linked99("\\par Hello\\par  World"), -1},
        {"blank where a dropped style word separated", Linked99("{\\cs99\\b\\cf2 Note}"),
         Linked99("{\\b Note}"), -1},
    };
    for (const Case& c : cases) {
        Removed r = Remove(c.input);
        EXPECT_EQ(r.text, c.expected) << c.name;
        EXPECT_EQ(r.status, c.status) << c.name;
    }
}

TEST(AutolinkRemoveTest, AllocationFailuresReport2005) {
    std::string body;
    for (int i = 0; i < 300; ++i) body += "{\\b {\\cs99\\uldb word}{\\cs99\\v W}} ";
    std::string input = Linked99(body);
    bool sawFailure = false;
    for (long n = 1; n < 40; ++n) {
        brio::FailAllocationAfter(n);
        int32_t length = 0;
        int32_t status = -7;
        char* out = AutolinkRemove(input.c_str(), &length, &status);
        brio::FailAllocationAfter(0);
        if (!out) {
            EXPECT_EQ(status, BRIO_ERR_NO_MEMORY) << n;
            sawFailure = true;
            continue;
        }
        EXPECT_EQ(status, -1) << n;
        std::string stripped = out;
        std::free(out);
        std::string expected;
        for (int i = 0; i < 300; ++i) expected += "{\\b {word}} ";
        EXPECT_TRUE(stripped == Linked99(expected)) << n << " " << stripped.substr(0, 200);
    }
    EXPECT_TRUE(sawFailure);
}

TEST(AutolinkRemoveTest, UndoesAutolink) {
    AutolinkDictionary* d =
        MakeDictionary({{"print setup", "", "PS", 0, 0, 0}, {"note", "", "N", 0, 0, 1}});
    Linked out = Link(d, Doc("Use print \\b setup\\b0  and a note."), "", "", 0, 3);
    ASSERT_EQ(out.status, 0);
    EXPECT_EQ(out.text, Linked99("Use {\\cs99\\cf3\\uldb print }\\b {\\cs99\\cf3\\uldb "
                                 "setup}{\\cs99\\v PS}\\b0  and a {\\cs99\\cf3\\ul "
                                 "note}{\\cs99\\v N}."));
    Removed r = Remove(out.text);
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.text, Linked99("Use {print }\\b {setup}\\b0  and a {note}."));
    AutolinkDone(d);
}

}  // namespace
