// End-to-end runs of the brioutil tool: topics and find.
#ifdef BRIOUTIL_CLI_BINARY
#include "brioutil.h"
#include "cli/cli_support.h"

namespace {

using namespace brio::test;

const std::string kHelp =
    "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\r\n"
    "#{\\footnote # ONE}\r\n${\\footnote $ First}\r\nK{\\footnote K alpha}\r\n"
    "K{\\footnote K beta}\r\n!{\\footnote ! Run(\"a\\\\b\")}\r\nFirst body\\par\r\n\\page\r\n"
    "#{\\footnote # TWO}\r\n${\\footnote $ Second}\r\n"
    "{\\keepn Head\\par}\\pard Second body\\par\r\n}";

TEST(CliTopics, ListAsTableAndJson) {
    CliDir dir({{"help.rtf", kHelp}});
    EXPECT_EQ(RunOk({"topics", "list", dir.File("help.rtf")}),
              "#  CONTEXT  TITLE   KEYWORDS    BROWSE  REGION  FIRST LINE\n"
              "1  ONE      First   alpha|beta          0       First body\n"
              "2  TWO      Second                      5       Head\n");
    EXPECT_EQ(RunOk({"topics", "list", dir.File("help.rtf"), "--json"}),
              "[\n {\"topic\": 1, \"context\": \"ONE\", \"title\": \"First\", \"macro\": "
              "\"Run(\\\"a\\\\b\\\")\", \"keywords\": [\"alpha\", \"beta\"], \"browse\": \"\", "
              "\"nonScrolling\": 0, \"firstLine\": \"First body\"},\n {\"topic\": 2, \"context\": "
              "\"TWO\", \"title\": \"Second\", \"macro\": \"\", \"keywords\": [], \"browse\": \"\", "
              "\"nonScrolling\": 5, \"firstLine\": \"Head\"}\n]\n");
}

TEST(CliTopics, SplitThenJoinGivesHelpCompilerInputBack) {
    CliDir dir({{"help.rtf", kHelp},
                {"a.rtf", "{\\rtf1 Alpha\\par}"},
                {"list.tsv", "# before the header\ntitle\tfile\tcontext\tmacro\n# after it\n"
                             "The A\ta.rtf\tA\tRun(1)\n"}});
    std::string file = dir.File("help.rtf"), parts = dir.File("parts"), joined = dir.File("j.rtf");
    EXPECT_EQ(RunOk({"topics", "split", file, "--out-dir", parts}),
              file + ": 2 topics -> " + parts + "/ (properties in " + parts + "/topics.tsv)\n");
    // Each topic is a document of its own: the later one gets the header.
    EXPECT_EQ(ReadFile(parts + "/001-ONE.rtf"), "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}First body\\par}");
    EXPECT_EQ(ReadFile(parts + "/002-TWO.rtf"),
              "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}{Head\\par}Second body\\par}");
    EXPECT_EQ(ReadFile(parts + "/topics.tsv"),
              "file\tcontext\ttitle\tmacro\tkeywords\tbrowse\tnonscroll\n"
              "001-ONE.rtf\tONE\tFirst\tRun(\"a\\b\")\talpha|beta\t\t0\n"
              "002-TWO.rtf\tTWO\tSecond\t\t\t\t5\n");

    EXPECT_EQ(RunOk({"topics", "join", parts + "/topics.tsv", "-o", joined}),
              "2 topics -> " + joined + "\n");
    EXPECT_EQ(ReadFile(joined),
              "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\r\n\r\n"
              "#{\\footnote {\\super #}ONE}\r\n${\\footnote {\\super $}First}\r\n"
              "!{\\footnote {\\super !}Run(\"a\\\\b\")}\r\n"
              "K{\\footnote {\\super K}alpha}\r\nK{\\footnote {\\super K}beta}\r\n"
              "First body\\par\r\n\\page\r\n{\\keepn\r\n\r\n\r\n"
              "#{\\footnote {\\super #}TWO}\r\n${\\footnote {\\super $}Second}\r\n"
              "Head\\par\\pard }Second body\\par}\r\n");
    EXPECT_EQ(RunOk({"topics", "list", joined}), RunOk({"topics", "list", file}));
    // Columns in any order, comments anywhere, the result on standard output.
    EXPECT_EQ(RunOk({"topics", "join", dir.File("list.tsv"), "-o", "-"}),
              "{\\rtf1 \r\n\r\n#{\\footnote {\\super #}A}\r\n${\\footnote {\\super $}The A}\r\n"
              "!{\\footnote {\\super !}Run(1)}\r\nAlpha\\par}\r\n");
    EXPECT_EQ(dir.Entries(), (Args{"a.rtf", "help.rtf", "j.rtf", "list.tsv", "parts"}));
}

TEST(CliTopics, DummyWritesPlaceholderTopics) {
    CliDir dir({{"plan.tsv", "context\ttitle\tkeywords\tbody\tkeepn\n"
                             "P1\tFirst\tx|y\tTo do: {x}\tno\nP2\tSecond\t\tLater\tyes\n"}});
    std::string out = dir.File("plan.rtf");
    EXPECT_EQ(RunOk({"topics", "dummy", dir.File("plan.tsv"), "-o", out}),
              "2 placeholder topics -> " + out + "\n");
    uint32_t length = 0;
    int32_t status = 0;
    std::string header = TopicNew(&length, &status);  // its bytes are pinned in topic/
    EXPECT_EQ(ReadFile(out), header.substr(0, length - 1) +
                                 "\\page\n#{\\footnote {\\super #}P1}\n${\\footnote {\\super $}First}\n"
                                 "K{\\footnote {\\super K}x}\nK{\\footnote {\\super K}y}To do: \\{x\\}"
                                 "\\page\\keepn\n#{\\footnote {\\super #}P2}\n${\\footnote {\\super "
                                 "$}Second}Later\n\\par\\pard\n}\n");
    EXPECT_EQ(dir.Entries(), (Args{"plan.rtf", "plan.tsv"}));
}

TEST(CliTopics, FailuresNameTheFileAndLeaveNoOutput) {
    CliDir dir({{"help.rtf", kHelp},
                {"plain.txt", "hello\n"},
                {"open.rtf", "{\\rtf1 #{\\footnote # A}{Text\\par"},
                {"column.tsv", "context\tcolour\nA\tred\n"},
                {"keepn.tsv", "context\tkeepn\nA\tyes\nB\tmaybe\n"},
                {"missing.tsv", "file\tcontext\nabsent.rtf\tA\n"},
                {"wide.tsv", "file\tcontext\nhelp.rtf\tA\textra\n"}});
    std::string out = dir.File("out.rtf");
    ExpectFailures({
        {{"topics", "list", dir.File("plain.txt")}, 2, "plain.txt: not an RTF document"},
        {{"topics", "list", dir.File("open.rtf")}, 2, "open.rtf: topic 1: the RTF ends too early"},
        {{"topics", "list", dir.File("none.rtf")}, 2, "none.rtf: cannot open"},
        {{"topics", "split", dir.File("help.rtf")}, 1, "--out-dir"},
        {{"topics", "dummy", dir.File("column.tsv"), "-o", out}, 2,
         "column.tsv:1: unknown column 'colour'"},
        {{"topics", "dummy", dir.File("keepn.tsv"), "-o", out}, 2,
         "keepn.tsv:3: keepn must be yes or no, not 'maybe'"},
        {{"topics", "join", dir.File("missing.tsv"), "-o", out}, 2, "absent.rtf: cannot open"},
        {{"topics", "join", dir.File("wide.tsv"), "-o", out}, 2,
         "wide.tsv:2: 3 fields, the header names 2"},
        {{"topics", "join", dir.File("missing.tsv")}, 1, "-o OUT"},
        {{"topics", "merge", dir.File("help.rtf")}, 1, "unknown action 'merge'"},
        {{"find", "alpha"}, 1, "usage"},
        {{"find", " ", dir.File("help.rtf")}, 1, "the phrase is empty"},
        {{"find", "x", dir.File("open.rtf")}, 2, "open.rtf: topic 1"},
    });
    EXPECT_EQ(dir.Entries(), (Args{"column.tsv", "help.rtf", "keepn.tsv", "missing.tsv",
                                   "open.rtf", "plain.txt", "wide.tsv"}));
}

TEST(CliFind, ListsTheTopicsHoldingThePhrase) {
    CliDir dir({{"help.rtf", kHelp}, {"topic.rtf", "{\\rtf1 The second\\par body of text}"}});
    std::string help = dir.File("help.rtf"), topic = dir.File("topic.rtf");
    // Topics of a help-compiler file are named; a topic file stands alone.
    EXPECT_EQ(RunOk({"find", "body", help, topic}), help + ": topic 1 ONE (First)\n" + help +
                                                        ": topic 2 TWO (Second)\n" + topic + "\n");
    EXPECT_EQ(RunOk({"find", "zebra", help, topic}), "");
    // A folder stands for every .rtf file under it.
    EXPECT_EQ(RunOk({"find", "second body", dir.Path(), "--json"}),
              "[\n {\"file\": \"" + help + "\", \"topic\": 2, \"context\": \"TWO\", \"title\": "
              "\"Second\"},\n {\"file\": \"" + topic + "\", \"topic\": 1, \"context\": \"\", "
              "\"title\": \"\"}\n]\n");
    EXPECT_EQ(RunOk({"find", "zebra", dir.Path(), "--json"}), "[]\n");
}

}  // namespace
#endif
