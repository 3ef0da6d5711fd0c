// End-to-end runs of the brioutil tool: topics and find.
#ifdef BRIOUTIL_CLI_BINARY
#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace {

using brio::test::ReadFile;
using brio::test::RunTool;
using brio::test::TempDir;
using brio::test::WriteFile;

const std::string kHelp =
    "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\r\n"
    "#{\\footnote # ONE}\r\n${\\footnote $ First}\r\nK{\\footnote K alpha}\r\n"
    "K{\\footnote K beta}\r\n!{\\footnote ! Run(\"a\\\\b\")}\r\nFirst body\\par\r\n\\page\r\n"
    "#{\\footnote # TWO}\r\n${\\footnote $ Second}\r\n"
    "{\\keepn Head\\par}\\pard Second body\\par\r\n}";

TEST(CliTopics, ListAsTableAndJson) {
    TempDir dir;
    std::string file = dir.File("help.rtf");
    WriteFile(file, kHelp);
    auto table = RunTool({"topics", "list", file});
    EXPECT_EQ(table.exitCode, 0) << table.err;
    EXPECT_EQ(table.out,
              "#  CONTEXT  TITLE   KEYWORDS    BROWSE  REGION  FIRST LINE\n"
              "1  ONE      First   alpha|beta          0       First body\n"
              "2  TWO      Second                      5       Head\n");
    auto json = RunTool({"topics", "list", file, "--json"});
    EXPECT_EQ(json.exitCode, 0) << json.err;
    EXPECT_EQ(json.out,
              "[\n {\"topic\": 1, \"context\": \"ONE\", \"title\": \"First\", \"macro\": "
              "\"Run(\\\"a\\\\b\\\")\", \"keywords\": "
              "[\"alpha\", \"beta\"], \"browse\": \"\", \"nonScrolling\": 0, \"firstLine\": "
              "\"First body\"},\n {\"topic\": 2, \"context\": \"TWO\", \"title\": \"Second\", "
              "\"macro\": \"\", \"keywords\": [], \"browse\": \"\", \"nonScrolling\": 5, \"firstLine\": "
              "\"Head\"}\n]\n");
    EXPECT_EQ(ReadFile(file), kHelp);
}

TEST(CliTopics, SplitThenJoinGivesHelpCompilerInputBack) {
    TempDir dir;
    std::string file = dir.File("help.rtf"), parts = dir.File("parts");
    WriteFile(file, kHelp);
    auto split = RunTool({"topics", "split", file, "--out-dir", parts});
    ASSERT_EQ(split.exitCode, 0) << split.err;
    // Each topic is a document of its own: the later one gets the header.
    EXPECT_EQ(ReadFile(parts + "/001-ONE.rtf"), "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}First body\\par}");
    EXPECT_EQ(ReadFile(parts + "/002-TWO.rtf"),
              "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}{Head\\par}Second body\\par}");
    EXPECT_EQ(ReadFile(parts + "/topics.tsv"),
              "file\tcontext\ttitle\tmacro\tkeywords\tbrowse\tnonscroll\n"
              "001-ONE.rtf\tONE\tFirst\tRun(\"a\\b\")\talpha|beta\t\t0\n"
              "002-TWO.rtf\tTWO\tSecond\t\t\t\t5\n");

    std::string joined = dir.File("joined.rtf");
    auto join = RunTool({"topics", "join", parts + "/topics.tsv", "-o", joined});
    ASSERT_EQ(join.exitCode, 0) << join.err;
    EXPECT_EQ(ReadFile(joined),
              "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\r\n\r\n"
              "#{\\footnote {\\super #}ONE}\r\n${\\footnote {\\super $}First}\r\n"
              "!{\\footnote {\\super !}Run(\"a\\\\b\")}\r\n"
              "K{\\footnote {\\super K}alpha}\r\nK{\\footnote {\\super K}beta}\r\n"
              "First body\\par\r\n\\page\r\n{\\keepn\r\n\r\n\r\n"
              "#{\\footnote {\\super #}TWO}\r\n${\\footnote {\\super $}Second}\r\n"
              "Head\\par\\pard }Second body\\par}\r\n");
    // The joined file lists exactly as the original did.
    EXPECT_EQ(RunTool({"topics", "list", joined}).out, RunTool({"topics", "list", file}).out);
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"help.rtf", "joined.rtf", "parts"}));
}

TEST(CliTopics, JoinTakesPropertiesInAnyColumnOrder) {
    TempDir dir;
    WriteFile(dir.File("a.rtf"), "{\\rtf1 Alpha\\par}");
    WriteFile(dir.File("list.tsv"),
              "# a comment before the header\n"
              "title\tfile\tcontext\tmacro\n"
              "# and one after it\n"
              "The A\ta.rtf\tA\tRun(1)\n");
    auto join = RunTool({"topics", "join", dir.File("list.tsv"), "-o", "-"});
    EXPECT_EQ(join.exitCode, 0) << join.err;
    EXPECT_EQ(join.out,
              "{\\rtf1 \r\n\r\n#{\\footnote {\\super #}A}\r\n${\\footnote {\\super $}The A}\r\n"
              "!{\\footnote {\\super !}Run(1)}\r\nAlpha\\par}\r\n");
}

TEST(CliTopics, DummyWritesPlaceholderTopics) {
    TempDir dir;
    WriteFile(dir.File("planned.tsv"),
              "context\ttitle\tkeywords\tbody\tkeepn\n"
              "P1\tFirst\tx|y\tTo do: {x}\tno\n"
              "P2\tSecond\t\tLater\tyes\n");
    std::string out = dir.File("planned.rtf");
    auto run = RunTool({"topics", "dummy", dir.File("planned.tsv"), "-o", out});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "2 placeholder topics -> " + out + "\n");
    std::string text = ReadFile(out);
    std::string head = text.substr(0, text.find("\\page"));
    EXPECT_EQ(head + "}", std::string(
        "{\\rtf1\\ansi \\deff4\\deflang1033{\\fonttbl{\\f4\\froman\\fcharset0\\fprq2 Times New "
        "Roman;}}{\\colortbl;\\red0\\green0\\blue0;\\red0\\green0\\blue255;\\red0\\green255\\blue255;"
        "\\red0\\green255\\blue0;\\red255\\green0\\blue255;\\red255\\green0\\blue0;\\red255\\green255"
        "\\blue0;\\red255\\green255\\blue255;\\red0\\green0\\blue128;\\red0\\green128\\blue128;\\red0"
        "\\green128\\blue0;\\red128\\green0\\blue128;\\red128\\green0\\blue0;\\red128\\green128\\blue0;"
        "\\red128\\green128\\blue128;\\red192\\green192\\blue192;}{\\stylesheet{\\widctlpar\\f4\\fs20 "
        "\\snext0 Normal;}{\\*\\cs10 \\additive Default Paragraph Font;}{\\*\\cs99 \\additive "
        "Autolink;}}}"));
    EXPECT_EQ(text.substr(head.size()),
              "\\page\n#{\\footnote {\\super #}P1}\n${\\footnote {\\super $}First}\n"
              "K{\\footnote {\\super K}x}\nK{\\footnote {\\super K}y}To do: \\{x\\}"
              "\\page\\keepn\n#{\\footnote {\\super #}P2}\n${\\footnote {\\super $}Second}Later\n"
              "\\par\\pard\n}\n");
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"planned.rtf", "planned.tsv"}));
}

TEST(CliTopics, FailuresNameTheFileAndLeaveNoOutput) {
    TempDir dir;
    WriteFile(dir.File("help.rtf"), kHelp);
    WriteFile(dir.File("plain.txt"), "hello\n");
    WriteFile(dir.File("open.rtf"), "{\\rtf1 #{\\footnote # A}{Text\\par");
    WriteFile(dir.File("bad-column.tsv"), "context\tcolour\nA\tred\n");
    WriteFile(dir.File("bad-keepn.tsv"), "context\tkeepn\nA\tyes\nB\tmaybe\n");
    WriteFile(dir.File("missing.tsv"), "file\tcontext\nabsent.rtf\tA\n");
    WriteFile(dir.File("wide.tsv"), "file\tcontext\nhelp.rtf\tA\textra\n");
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string message;
    } cases[] = {
        {{"topics", "list", dir.File("plain.txt")}, 2, "plain.txt: not an RTF document"},
        {{"topics", "list", dir.File("open.rtf")}, 2, "open.rtf: topic 1: the RTF ends too early"},
        {{"topics", "list", dir.File("none.rtf")}, 2, "none.rtf: cannot open"},
        {{"topics", "split", dir.File("help.rtf")}, 1, "--out-dir"},
        {{"topics", "dummy", dir.File("bad-column.tsv"), "-o", dir.File("out.rtf")}, 2,
         "bad-column.tsv:1: unknown column 'colour'"},
        {{"topics", "dummy", dir.File("bad-keepn.tsv"), "-o", dir.File("out.rtf")}, 2,
         "bad-keepn.tsv:3: keepn must be yes or no, not 'maybe'"},
        {{"topics", "join", dir.File("missing.tsv"), "-o", dir.File("out.rtf")}, 2,
         "absent.rtf: cannot open"},
        {{"topics", "join", dir.File("wide.tsv"), "-o", dir.File("out.rtf")}, 2,
         "wide.tsv:2: 3 fields, the header names 2"},
        {{"topics", "join", dir.File("missing.tsv")}, 1, "-o OUT"},
        {{"topics", "merge", dir.File("help.rtf")}, 1, "unknown action 'merge'"},
        {{"find", "alpha"}, 1, "usage"},
        {{"find", " ", dir.File("help.rtf")}, 1, "the phrase is empty"},
        {{"find", "x", dir.File("open.rtf")}, 2, "open.rtf: topic 1"},
    };
    for (const auto& c : cases) {
        auto run = RunTool(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.args[1] << ": " << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
    EXPECT_EQ(dir.Entries(),
              (std::vector<std::string>{"bad-column.tsv", "bad-keepn.tsv", "help.rtf",
                                        "missing.tsv", "open.rtf", "plain.txt", "wide.tsv"}));
}

TEST(CliFind, ListsTheTopicsHoldingThePhrase) {
    TempDir dir;
    std::string help = dir.File("help.rtf");
    WriteFile(help, kHelp);
    brio::test::WriteFile(dir.File("topic.rtf"), "{\\rtf1 The second\\par body of text}");
    struct Case {
        const char* phrase;
        std::string out;
    } cases[] = {
        {"second BODY", help + ": topic 2 TWO (Second)\n" + dir.File("topic.rtf") + "\n"},
        {"body", help + ": topic 1 ONE (First)\n" + help + ": topic 2 TWO (Second)\n" +
                     dir.File("topic.rtf") + "\n"},
        {"first", help + ": topic 1 ONE (First)\n"},
        {"bod", ""},          // whole words only
        {"body second", ""},  // in order
        {"alpha", ""},        // footnotes are not topic text
    };
    for (const auto& c : cases) {
        auto run = RunTool({"find", c.phrase, help, dir.File("topic.rtf")});
        EXPECT_EQ(run.exitCode, 0) << c.phrase << ": " << run.err;
        EXPECT_EQ(run.out, c.out) << c.phrase;
    }
    // A folder stands for every .rtf file under it.
    auto json = RunTool({"find", "second body", dir.Path(), "--json"});
    EXPECT_EQ(json.exitCode, 0) << json.err;
    EXPECT_EQ(json.out, "[\n {\"file\": \"" + help +
                            "\", \"topic\": 2, \"context\": \"TWO\", \"title\": \"Second\"},\n"
                            " {\"file\": \"" + dir.File("topic.rtf") +
                            "\", \"topic\": 1, \"context\": \"\", \"title\": \"\"}\n]\n");
}

}  // namespace
#endif
