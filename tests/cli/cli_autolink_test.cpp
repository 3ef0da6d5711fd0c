// End-to-end runs of the brioutil tool: autolink and unlink.
#ifdef BRIOUTIL_CLI_BINARY
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "test_support.h"

namespace {

using brio::test::ReadFile;
using brio::test::RunTool;
using brio::test::TempDir;
using brio::test::WriteFile;

const std::string kSheet = "{\\rtf1{\\stylesheet{\\*\\cs99 \\additive Autolink;}}";
const std::string kTopic = kSheet + "Plant a bed near the pond. The pond needs water.\\par}";
const std::string kTerms =
    "# term, synonyms, target, kind, case-sensitive, exclude\n"
    "pond\t\tPOND\n"
    "plant a bed\tplant beds\tPLANT\tpopup\n"
    "water\t\tWATER\tjump\tno\tyes\n";
const std::string kLinked = kSheet +
                            "{\\cs99\\ul Plant a bed}{\\cs99\\v PLANT} near the "
                            "{\\cs99\\uldb pond}{\\cs99\\v POND}. The {\\cs99\\uldb pond}"
                            "{\\cs99\\v POND} needs water.\\par}";

TEST(CliAutolink, LinksOneTopicFileWhereItIsTold) {
    TempDir dir;
    std::string topic = dir.File("topic.rtf"), terms = dir.File("terms.txt");
    WriteFile(topic, kTopic);
    WriteFile(terms, kTerms);
    struct Case {
        std::vector<std::string> options;
        std::string out;
    } cases[] = {
        {{}, kLinked},
        {{"--once", "--colour", "2"},
         kSheet + "{\\cs99\\cf2\\ul Plant a bed}{\\cs99\\v PLANT} near the {\\cs99\\cf2\\uldb pond}"
                  "{\\cs99\\v POND}. The pond needs water.\\par}"},
        // The topic's own context string is never a link target.
        {{"--context", "POND"},
         kSheet + "{\\cs99\\ul Plant a bed}{\\cs99\\v PLANT} near the pond. The pond needs "
                  "water.\\par}"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"autolink", terms, topic, "-o", "-"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        auto run = RunTool(args);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out, c.out);
    }
    auto toFile = RunTool({"autolink", terms, topic, "-o", dir.File("linked.rtf")});
    EXPECT_EQ(toFile.exitCode, 0) << toFile.err;
    EXPECT_EQ(toFile.out, topic + ": 3 links made -> " + dir.File("linked.rtf") + "\n");
    EXPECT_EQ(ReadFile(dir.File("linked.rtf")), kLinked);
    EXPECT_EQ(ReadFile(topic), kTopic);

    auto fromStdin = RunTool({"autolink", terms, "-", "-o", "-"}, {}, kTopic);
    EXPECT_EQ(fromStdin.out, kLinked);
    EXPECT_EQ(fromStdin.err, "-: 3 links made\n");

    auto inPlace = RunTool({"autolink", terms, topic, "--in-place"});
    EXPECT_EQ(inPlace.exitCode, 0) << inPlace.err;
    EXPECT_EQ(ReadFile(topic), kLinked);
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"linked.rtf", "terms.txt", "topic.rtf"}));
}

TEST(CliAutolink, AnOrdinaryFootnoteKeepsATopicFileInItsOwnForm) {
    TempDir dir;
    WriteFile(dir.File("terms.txt"), kTerms);
    const std::string topic = kSheet + "A pond{\\cs15\\super \\chftn {\\footnote pond}}.}";
    auto run = RunTool({"autolink", dir.File("terms.txt"), "-", "-o", "-"}, {}, topic);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, kSheet + "A {\\cs99\\uldb pond}{\\cs99\\v POND}{\\cs15\\super \\chftn "
                                "{\\footnote pond}}.}");
}

TEST(CliAutolink, DryRunReportsAndWritesNothing) {
    TempDir dir;
    WriteFile(dir.File("topic.rtf"), kTopic);
    WriteFile(dir.File("terms.txt"), kTerms);
    auto run = RunTool({"autolink", dir.File("terms.txt"), dir.File("topic.rtf"), "--dry-run"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    std::string t = dir.File("topic.rtf");
    EXPECT_EQ(run.out, t + ": \"Plant a bed\" -> PLANT (popup)\n" + t +
                           ": \"pond\" -> POND (jump)\n" + t + ": \"pond\" -> POND (jump)\n" + t +
                           ": 3 links would be made\n");
    EXPECT_EQ(ReadFile(t), kTopic);
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"terms.txt", "topic.rtf"}));
}

TEST(CliAutolink, HelpCompilerFileIsLinkedTopicByTopic) {
    TempDir dir;
    const std::string help =
        "{\\rtf1\\ansi{\\stylesheet{\\s0 Normal;}}\r\n"
        "#{\\footnote # POND}\r\n${\\footnote $ The pond}\r\n!{\\footnote ! Show(1)}\r\n"
        "The pond and the bed.\\par\r\n"
        "\\page\r\n#{\\footnote # BED}\r\nA bed by the pond.\\par\r\n}";
    WriteFile(dir.File("help.rtf"), help);
    WriteFile(dir.File("terms.txt"), "pond\t\tPOND\nbed\t\tBED\n");
    auto dry = RunTool({"autolink", dir.File("terms.txt"), dir.File("help.rtf"), "--dry-run"});
    EXPECT_EQ(dry.exitCode, 0) << dry.err;
    std::string h = dir.File("help.rtf");
    EXPECT_EQ(dry.out, h + " [topic 1 POND]: \"bed\" -> BED (jump)\n" + h +
                           " [topic 2 BED]: \"pond\" -> POND (jump)\n" + h +
                           ": 2 links would be made in 2 topics\n");
    auto run = RunTool({"autolink", dir.File("terms.txt"), h, "-o", dir.File("out.rtf")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    // Help-compiler input again: footnotes back (the entry macro too), the
    // style gone, no link to the topic's own context.
    EXPECT_EQ(ReadFile(dir.File("out.rtf")),
              "{\\rtf1\\ansi{\\stylesheet{\\s0 Normal;}}\r\n\r\n#{\\footnote {\\super #}POND}\r\n"
              "${\\footnote {\\super $}The pond}\r\n!{\\footnote {\\super !}Show(1)}\r\n"
              "The pond and the {\\uldb bed}{\\v BED}.\\par"
              "\r\n\\page\r\n#{\\footnote {\\super #}BED}\r\nA bed by the "
              "{\\uldb pond}{\\v POND}.\\par}\r\n");
    EXPECT_EQ(ReadFile(h), help);
}

TEST(CliAutolink, SplitTopicsTakeTheirContextFromTheirPropertiesFile) {
    TempDir dir;
    WriteFile(dir.File("help.rtf"),
              "{\\rtf1{\\stylesheet{\\s0 Normal;}}#{\\footnote POND}Pond and bed.\\page "
              "#{\\footnote BED}Bed and pond.}");
    WriteFile(dir.File("terms.txt"), "pond\t\tPOND\nbed\t\tBED\n");
    std::string parts = dir.File("parts");
    ASSERT_EQ(RunTool({"topics", "split", dir.File("help.rtf"), "--out-dir", parts}).exitCode, 0);
    auto run = RunTool({"autolink", dir.File("terms.txt"), parts, "--dry-run"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, parts + "/001-POND.rtf: \"bed\" -> BED (jump)\n" + parts +
                           "/002-BED.rtf: \"pond\" -> POND (jump)\n" + parts +
                           "/001-POND.rtf: 1 link would be made\n" + parts +
                           "/002-BED.rtf: 1 link would be made\n2 links would be made in 2 files\n");
}

TEST(CliAutolink, FolderKeepsItsLayoutUnderTheOutputFolder) {
    TempDir dir;
    std::filesystem::create_directories(dir.File("in/sub"));
    WriteFile(dir.File("in/a.rtf"), kTopic);
    WriteFile(dir.File("in/sub/b.RTF"), kSheet + "No match here.}");
    WriteFile(dir.File("in/notes.txt"), "pond");
    WriteFile(dir.File("in/sub/help.rtf"), "{\\rtf1 #{\\footnote A}A pond.\\page #{\\footnote B}B}");
    WriteFile(dir.File("terms.txt"), kTerms);
    auto run = RunTool({"autolink", dir.File("terms.txt"), dir.File("in"), "--out-dir",
                        dir.File("out")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadFile(dir.File("out/a.rtf")), kLinked);
    EXPECT_EQ(ReadFile(dir.File("out/sub/b.RTF")), kSheet + "No match here.}");
    EXPECT_FALSE(std::filesystem::exists(dir.File("out/notes.txt")));
    EXPECT_EQ(ReadFile(dir.File("out/sub/help.rtf")),
              "{\\rtf1 \r\n\r\n#{\\footnote {\\super #}A}\r\nA {\\uldb pond}{\\v POND}.\r\n"
              "\\page\r\n#{\\footnote {\\super #}B}\r\nB}\r\n");
    EXPECT_NE(run.out.find("4 links made in 3 files\n"), std::string::npos) << run.out;
    EXPECT_EQ(ReadFile(dir.File("in/a.rtf")), kTopic);

    auto inPlace = RunTool({"autolink", dir.File("terms.txt"), dir.File("in"), "--in-place"});
    EXPECT_EQ(inPlace.exitCode, 0) << inPlace.err;
    EXPECT_EQ(ReadFile(dir.File("in/a.rtf")), kLinked);
}

TEST(CliAutolink, FailuresNameTheProblemAndWriteNothing) {
    TempDir dir;
    std::filesystem::create_directories(dir.File("in"));
    WriteFile(dir.File("in/a.rtf"), kTopic);
    WriteFile(dir.File("in/z.rtf"), kSheet + "pond {open");  // groups left open
    WriteFile(dir.File("topic.rtf"), kTopic);
    WriteFile(dir.File("terms.txt"), kTerms);
    WriteFile(dir.File("kind.txt"), "# ok\npond\t\tPOND\nlake\t\tLAKE\tpopover\n");
    WriteFile(dir.File("short.txt"), "pond\tPOND\n");
    WriteFile(dir.File("conflict.txt"), "pond\t\tPOND\npond\t\tLAKE\n");
    WriteFile(dir.File("empty.txt"), "# nothing\n\n");
    WriteFile(dir.File("lone.rtf"), kSheet + "{\\cs99\\uldb a}{\\cs99\\v A}\\");
    std::string topic = dir.File("topic.rtf"), terms = dir.File("terms.txt");
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string message;
    } cases[] = {
        {{"autolink", terms, topic}, 1, "--in-place, -o OUT or --out-dir DIR"},
        {{"autolink", terms, topic, "-o", topic}, 1, "is the input file: use --in-place"},
        {{"autolink", terms, dir.File("in"), "-o", dir.File("x.rtf")}, 1, "is a folder"},
        {{"autolink", terms, topic, "--dry-run", "-o", "-"}, 1, "writes nothing"},
        {{"autolink", terms, topic, "-o", "-", "--colour", "red"}, 1, "colour-table index"},
        {{"autolink", terms, dir.File("none.rtf"), "-o", "-"}, 2, "none.rtf: no such file"},
        {{"autolink", dir.File("kind.txt"), topic, "-o", "-"}, 2,
         "kind.txt:3: the link kind must be jump or popup, not 'popover'"},
        {{"autolink", dir.File("short.txt"), topic, "-o", "-"}, 2, "short.txt:1: expected"},
        {{"autolink", dir.File("conflict.txt"), topic, "-o", "-"}, 2,
         "conflict.txt:2: 'pond': a term already links to another target"},
        {{"autolink", dir.File("empty.txt"), topic, "-o", "-"}, 2, "empty.txt: no terms"},
        // One broken file stops the run before anything is written.
        {{"autolink", terms, dir.File("in"), "--out-dir", dir.File("out")}, 2,
         "z.rtf: the RTF ends with groups still open"},
        {{"autolink", terms, dir.File("in"), "--in-place"}, 2, "z.rtf"},
        {{"unlink", dir.File("lone.rtf"), "--in-place"}, 2,
         "lone.rtf: the RTF ends in a lone backslash"},
        {{"unlink", topic}, 1, "--in-place, -o OUT or --out-dir DIR"},
    };
    for (const auto& c : cases) {
        auto run = RunTool(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.args[1] << ": " << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
    EXPECT_EQ(ReadFile(dir.File("in/a.rtf")), kTopic);
    EXPECT_EQ(ReadFile(topic), kTopic);
    EXPECT_EQ(ReadFile(dir.File("lone.rtf")), kSheet + "{\\cs99\\uldb a}{\\cs99\\v A}\\");
    EXPECT_FALSE(std::filesystem::exists(dir.File("out")));
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"conflict.txt", "empty.txt", "in",
                                                       "kind.txt", "lone.rtf", "short.txt",
                                                       "terms.txt", "topic.rtf"}));
}

TEST(CliUnlink, TakesTheLinksApartAgain) {
    TempDir dir;
    std::string linked = dir.File("linked.rtf");
    WriteFile(linked, kLinked);
    const std::string plain =
        kSheet + "{Plant a bed} near the {pond}. The {pond} needs water.\\par}";
    auto run = RunTool({"unlink", linked, "-o", "-"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, plain);
    EXPECT_EQ(run.err, linked + ": 3 links removed\n");

    auto dry = RunTool({"unlink", linked, "--dry-run"});
    EXPECT_EQ(dry.out, linked + ": 3 links would be removed\n");
    EXPECT_EQ(ReadFile(linked), kLinked);

    // Hot spots written by hand (no style) stay; line ends go.
    const std::string own = "{\\rtf1{\\stylesheet{\\*\\cs99 \\additive Autolink;}}\r\n"
                            "{\\uldb Mine}{\\v MINE} {\\cs99\\uldb pond}{\\cs99\\v POND}}";
    WriteFile(dir.File("own.rtf"), own);
    auto mixed = RunTool({"unlink", dir.File("own.rtf"), "--in-place"});
    EXPECT_EQ(mixed.exitCode, 0) << mixed.err;
    EXPECT_EQ(mixed.out, dir.File("own.rtf") + ": 1 link removed -> " + dir.File("own.rtf") + "\n");
    EXPECT_EQ(ReadFile(dir.File("own.rtf")),
              "{\\rtf1{\\stylesheet{\\*\\cs99 \\additive Autolink;}}{\\uldb Mine}{\\v MINE} {pond}}");
}

TEST(CliAutolink, HelpExplainsEveryNewCommandWithAnExample) {
    for (const char* command : {"autolink", "unlink", "topics", "find", "picture"}) {
        auto run = RunTool({command, "--help"});
        EXPECT_EQ(run.exitCode, 0) << command;
        EXPECT_EQ(run.out.rfind("usage: brioutil " + std::string(command), 0), 0u) << command;
        EXPECT_NE(run.out.find("example"), std::string::npos) << command;
        EXPECT_NE(RunTool({"--help"}).out.find(std::string("  ") + command), std::string::npos);
    }
}

}  // namespace
#endif
