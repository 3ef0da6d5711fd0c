// Autolink and AutolinkRemove through the public header: the links they write, byte for byte.
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

AutolinkDictionary* MakeDictionary(const std::vector<Ref>& refs) {
    AutolinkDictionary* d = nullptr;
    for (const Ref& r : refs) {
        int32_t result = -7;
        d = AutolinkReference(d, r.term, r.synonyms, r.target, r.exclude, r.caseSensitive, "",
                              r.popup, &result);
        EXPECT_EQ(result, 0) << r.term;
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

std::string Doc(const std::string& body) {
    return "{\\rtf1\\ansi{\\stylesheet{\\widctlpar\\f4\\fs20 \\snext0 Normal;}}" + body + "}";
}
std::string Linked99(const std::string& body) {
    return "{\\rtf1\\ansi{\\stylesheet{\\widctlpar\\f4\\fs20 \\snext0 Normal;}{\\*\\cs99 "
           "\\additive Autolink;}}" +
           body + "}";
}

const std::vector<Ref> kPrintSetup = {{"print setup", "PRINT_SETUP"}};
const std::string kLongTarget(3000, 'T');
const std::string kLongContext(5000, 'C');

TEST(AutolinkTest, WritesLinksByteForByte) {
    // clang-format off
    struct Case {
        const char* name;
        std::vector<Ref> refs;
        std::string input;
        std::string expected;
        int32_t status = 0;
    } cases[] = {
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
        {"existing hot spot copied", kPrintSetup,
         Doc("{\\uldb print setup}{\\v OTHER} print setup"),
         Linked99("{\\uldb print setup}{\\v OTHER} {\\cs99\\uldb print setup}{\\cs99\\v "
                  "PRINT_SETUP}")},
        {"hot spot in one group copied", kPrintSetup, Doc("{\\ul print setup\\v OTHER}."),
         Linked99("{\\ul print setup\\v OTHER}.")},
        {"excluded longer term wins", {{"print setup", "PS"}, {"print setup dialog", "", "", 1}},
         Doc("print setup dialog, print setup."),
         Linked99("print setup dialog, {\\cs99\\uldb print setup}{\\cs99\\v PS}.")},
        {"control symbol splits words", kPrintSetup, Doc("print\\~setup"),
         Linked99("print\\~setup")},
        {"bitmap reference kept whole", {{"apple", "APPLE"}}, Doc("\\{bmc apple.bmp\\} apple"),
         Linked99("\\{bmc apple.bmp\\} {\\cs99\\uldb apple}{\\cs99\\v APPLE}")},
        {"embedded window reference kept whole", {{"apple", "APPLE"}},
         Doc("\\{ewl apple.dll, apple\\}"), Linked99("\\{ewl apple.dll, apple\\}")},
        {"no style sheet: no style", kPrintSetup, "{\\rtf1 print setup}",
         "{\\rtf1 {\\uldb print setup}{\\v PRINT_SETUP}}"},
        {"groups left open", kPrintSetup, "{\\rtf1 print setup", "<null>", BRIO_ERR_GROUPS_OPEN},
        {"footnote before the first page", kPrintSetup, "{\\rtf1 #{\\footnote A}}", "<null>",
         BRIO_ERR_FOOTNOTE_BEFORE_PAGE},
        {"footnote after a page", kPrintSetup, "{\\rtf1 \\page #{\\footnote A} print setup}",
         "{\\rtf1 \\page #{\\footnote A} {\\uldb print setup}{\\v PRINT_SETUP}}"},
        {"line end inside a word", {{"printer", "P"}}, "{\\rtf1 print\r\ner}",
         "{\\rtf1 {\\uldb print}\r\n{\\uldb er}{\\v P}}"},
        {"popup", {{"note", "N", "", 0, 0, 1}}, "{\\rtf1 a note}", "{\\rtf1 a {\\ul note}{\\v N}}"},
        {"a control word does not end a word", {{"setupnow", "S"}}, "{\\rtf1 setup\\b0 now}",
         "{\\rtf1 {\\uldb setup}\\b0 {\\uldb now}{\\v S}}"},
        {"a Symbol control word ends the run", kPrintSetup, "{\\rtf1 print\\par setup}",
         "{\\rtf1 print\\par setup}"},
        {"optional hyphen inside a term", {{"autolink", "AL"}}, "{\\rtf1 auto\\-link}",
         "{\\rtf1 {\\uldb auto\\-link}{\\v AL}}"},
        {"hexadecimal escape matched as its character", {{"caf\xE9", "CAFE"}}, "{\\rtf1 CAF\\'c9!}",
         "{\\rtf1 {\\uldb CAF\\'c9}{\\v CAFE}!}"},
        {"word too long: 2007 with the text so far", kPrintSetup,
         "{\\rtf1 ok " + std::string(600, 'w') + "}", "{\\rtf1 ok ", BRIO_ERR_WORD_TOO_LONG},
        {"511 characters are still a word", kPrintSetup, "{\\rtf1 " + std::string(511, 'w') + "}",
         "{\\rtf1 " + std::string(511, 'w') + "}"},
        {"lone backslash at the end", kPrintSetup, "{\\rtf1 x}\\", "<null>",
         BRIO_ERR_UNEXPECTED_END},
        // Faults of the original, built soundly.
        {"optional hyphen kept where no run is held", {{"x", "X"}}, "{\\rtf1 auto\\-link \\-x}",
         "{\\rtf1 auto\\-link \\-{\\uldb x}{\\v X}}"},
        {"text after the last match at the end of input", {{"a b", "AB"}}, "a b c",
         "{\\uldb a b}{\\v AB} c"},
        {"escaped backslash before a group", {{"x", "X"}}, "{\\rtf1 C:\\\\{\\b x}}",
         "{\\rtf1 C:\\\\{\\b {\\uldb x}{\\v X}}}"},
        {"escaped backslash before a hyphen", {{"b", "B"}}, "{\\rtf1 a\\\\-b}",
         "{\\rtf1 a\\\\-{\\uldb b}{\\v B}}"},
        {"no match inside a hexadecimal escape", {{"E1", "E"}}, "{\\rtf1 est\\'e1 e1}",
         "{\\rtf1 est\\'e1 {\\uldb e1}{\\v E}}"},
        {"underline outside every group", kPrintSetup, "\\uldb a\\v b print setup",
         "\\uldb a\\v b {\\uldb print setup}{\\v PRINT_SETUP}"},
        {"hot spot entered at its own brace only", {{"X", "T"}}, "{{\\uldb X}{\\v Y} X}",
         "{{\\uldb X}{\\v Y} {\\uldb X}{\\v T}}"},
        {"hot spot right after another, one group deeper", {{"B", "T"}},
         "{{\\uldb A}{\\v X}{\\b {\\uldb B}{\\v Y} B}}",
         "{{\\uldb A}{\\v X}{\\b {\\uldb B}{\\v Y} {\\uldb B}{\\v T}}}"},
        {"record starting inside the previous one", {{"X", "T"}},
         "{{\\uldb A}{\\v B}\\uldb C{\\v D}}", "{{\\uldb A}{\\v B}\\uldb C{\\v D}}"},
        {"long target written whole", {{"x", kLongTarget.c_str()}}, "{\\rtf1 x}",
         "{\\rtf1 {\\uldb x}{\\v " + kLongTarget + "}}"},
        {"long context footnote cut, not overflowed", kPrintSetup,
         "{\\rtf1 \\page #{\\footnote " + kLongContext + "} print setup}",
         "{\\rtf1 \\page #{\\footnote " + kLongContext +
             "} {\\uldb print setup}{\\v PRINT_SETUP}}"},
    };
    // clang-format on
    for (const Case& c : cases) {
        AutolinkDictionary* d = MakeDictionary(c.refs);
        Result out = Link(d, c.input);
        EXPECT_EQ(out.text, c.expected) << c.name;
        EXPECT_EQ(out.status, c.status) << c.name;
        AutolinkDone(d);
    }
    int32_t length = -7, status = -7;
    EXPECT_EQ(Autolink(nullptr, "{\\rtf1 x}", "", "", 0, 0, &length, &status), nullptr);
    EXPECT_EQ(status, BRIO_ERR_NOT_FOUND);
    EXPECT_EQ(length, -7);
}

TEST(AutolinkTest, SettingsOfTheCall) {
    AutolinkDictionary* d =
        MakeDictionary({{"home", "HOME"}, {"x", "X", "y"}, {"tip", "TIP", "", 0, 0, 1}});
    // No jump to the topic itself, no popup of the popup context.
    EXPECT_EQ(Link(d, "{\\rtf1 home tip}", "HOME", "TIP").text, "{\\rtf1 home tip}");
    EXPECT_EQ(Link(d, "{\\rtf1 home tip}").text,
              "{\\rtf1 {\\uldb home}{\\v HOME} {\\ul tip}{\\v TIP}}");
    // Once per pass: the first occurrence only, again in the next call.
    for (int pass = 0; pass < 2; ++pass)
        EXPECT_EQ(Link(d, "{\\rtf1 y x y}", "", "", 1).text, "{\\rtf1 {\\uldb y}{\\v X} x y}");
    EXPECT_EQ(Link(d, "{\\rtf1 y x}").text, "{\\rtf1 {\\uldb y}{\\v X} {\\uldb x}{\\v X}}");
    EXPECT_EQ(Link(d, "{\\rtf1 x}", "", "", 0, 2).text, "{\\rtf1 {\\cf2\\uldb x}{\\v X}}");
    AutolinkDone(d);
}

TEST(AutolinkTest, RelinksItsOwnResult) {
    AutolinkDictionary* d = MakeDictionary(kPrintSetup);
    int32_t length = 0, status = -7;
    const char* first =
        Autolink(d, Doc("print setup and print setup").c_str(), "", "", 0, 0, &length, &status);
    ASSERT_NE(first, nullptr);
    std::string firstText = first;
    // The input is the result the dictionary still owns.
    const char* second = Autolink(d, first, "", "", 0, 0, &length, &status);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(std::string(second), firstText);
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
    std::string expected = Linked99(body + "{\\cs99\\uldb print setup}{\\cs99\\v PRINT_SETUP}");
    bool sawFailure = false;
    for (long n = 1; n < 60; ++n) {
        brio::FailAllocationAfter(n);
        Result out = Link(d, input);
        brio::FailAllocationAfter(0);
        sawFailure |= out.status == BRIO_ERR_NO_MEMORY;
        EXPECT_TRUE(out.status == BRIO_ERR_NO_MEMORY || (out.status == 0 && out.text == expected))
            << n;
    }
    EXPECT_TRUE(sawFailure);
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
         Linked99("{\\cs99\\uldb print }\\b {\\cs99\\uldb setup}{\\cs99\\v PS}\\b0 now"),
         Linked99("{print }\\b {setup}\\b0 now")},
        {"style numbered otherwise",
         "{\\rtf1{\\stylesheet{\\*\\cs15 \\additive Autolink;}}{\\cs15\\uldb a}{\\cs15\\v A}}",
         "{\\rtf1{\\stylesheet{\\*\\cs15 \\additive Autolink;}}{a}}"},
        {"sheet without the style: number 99", Doc("{\\cs99\\uldb a}{\\cs99\\v A}"), Doc("{a}")},
        {"no style sheet: nothing is a link", "{\\rtf1 {\\cs99\\uldb a}{\\cs99\\v A}}",
         "{\\rtf1 {\\cs99\\uldb a}{\\cs99\\v A}}"},
        {"hand-made hot spot stays", Linked99("{\\uldb Print}{\\v PRINT}"),
         Linked99("{\\uldb Print}{\\v PRINT}")},
        {"style word with its blank is no link", Linked99("{\\cs99 text}"),
         Linked99("{\\cs99 text}")},
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
    };
    for (const Case& c : cases) {
        Result r = Remove(c.input);
        EXPECT_EQ(r.text, c.expected) << c.name;
        EXPECT_EQ(r.status, c.status) << c.name;
    }
}

TEST(AutolinkRemoveTest, AllocationFailuresReport2005) {
    std::string body, expected;
    for (int i = 0; i < 300; ++i) body += "{\\b {\\cs99\\uldb word}{\\cs99\\v W}} ";
    for (int i = 0; i < 300; ++i) expected += "{\\b {word}} ";
    bool sawFailure = false;
    for (long n = 1; n < 40; ++n) {
        brio::FailAllocationAfter(n);
        Result r = Remove(Linked99(body));
        brio::FailAllocationAfter(0);
        if (r.status == BRIO_ERR_NO_MEMORY) {
            EXPECT_EQ(r.text, "<null>");
            sawFailure = true;
            continue;
        }
        EXPECT_EQ(r.status, -1) << n;
        EXPECT_TRUE(r.text == Linked99(expected)) << n << " " << r.text.substr(0, 200);
    }
    EXPECT_TRUE(sawFailure);
}

TEST(AutolinkRemoveTest, UndoesAutolink) {
    AutolinkDictionary* d = MakeDictionary({{"print setup", "PS"}, {"note", "N", "", 0, 0, 1}});
    Result out = Link(d, Doc("Use print \\b setup\\b0  and a note."), "", "", 0, 3);
    ASSERT_EQ(out.status, 0);
    EXPECT_EQ(out.text, Linked99("Use {\\cs99\\cf3\\uldb print }\\b {\\cs99\\cf3\\uldb "
                                 "setup}{\\cs99\\v PS}\\b0  and a {\\cs99\\cf3\\ul "
                                 "note}{\\cs99\\v N}."));
    Result r = Remove(out.text);
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.text, Linked99("Use {print }\\b {setup}\\b0  and a {note}."));
    AutolinkDone(d);
}

}  // namespace
