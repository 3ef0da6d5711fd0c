// End-to-end runs of the brioutil tool: autolink and unlink.
#ifdef BRIOUTIL_CLI_BINARY
#include <filesystem>

#include "cli/cli_support.h"

namespace {

using namespace brio::test;

const std::string kSheet = "{\\rtf1{\\stylesheet{\\*\\cs99 \\additive Autolink;}}";
const std::string kTopic = kSheet + "Plant a bed near the pond. The pond needs water.\\par}";
const std::string kTerms =
    "# term, synonyms, target, kind, case-sensitive, exclude\n"
    "pond\t\tPOND\nplant a bed\tplant beds\tPLANT\tpopup\nwater\t\tWATER\tjump\tno\tyes\n";

// The linked bytes match the exports (cli_exports_test.cpp); here the reports.
TEST(CliAutolink, LinksAndUnlinksWhereItIsToldAndSaysWhatItDid) {
    // Only links of the style count, line ends among their words or not.
    const std::string own =
        kSheet + "\r\n{\\uldb Mine}{\\v MINE} {\\cs99\r\n\\uldb pond}{\\cs99\r\n\\v POND}}";
    CliDir dir({{"topic.rtf", kTopic}, {"terms.txt", kTerms}, {"own.rtf", own}});
    std::string topic = dir.File("topic.rtf"), terms = dir.File("terms.txt");
    std::string linked = dir.File("linked.rtf");
    EXPECT_EQ(RunOk({"autolink", terms, topic, "--dry-run"}),
              topic + ": \"Plant a bed\" -> PLANT (popup)\n" + topic +
                  ": \"pond\" -> POND (jump)\n" + topic + ": \"pond\" -> POND (jump)\n" + topic +
                  ": 3 links would be made\n");
    EXPECT_EQ(RunOk({"autolink", terms, topic, "-o", linked}),
              topic + ": 3 links made -> " + linked + "\n");
    EXPECT_EQ(ReadFile(topic), kTopic);
    EXPECT_EQ(RunOk({"autolink", terms, "-", "-o", "-"}, kTopic), ReadFile(linked));
    RunOk({"autolink", terms, topic, "--in-place"});
    EXPECT_EQ(ReadFile(topic), ReadFile(linked));
    EXPECT_EQ(RunTool({"unlink", linked, "-o", "-"}).err, linked + ": 3 links removed\n");
    EXPECT_EQ(RunOk({"unlink", dir.File("own.rtf"), "--in-place"}),
              dir.File("own.rtf") + ": 1 link removed -> " + dir.File("own.rtf") + "\n");
    EXPECT_EQ(dir.Entries(), (Args{"linked.rtf", "own.rtf", "terms.txt", "topic.rtf"}));
}

TEST(CliAutolink, HelpCompilerFileIsLinkedTopicByTopic) {
    const std::string help =
        "{\\rtf1\\ansi{\\stylesheet{\\s0 Normal;}}\r\n"
        "#{\\footnote # POND}\r\n${\\footnote $ The pond}\r\n!{\\footnote ! Show(1)}\r\n"
        "The pond and the bed.\\par\r\n\\page\r\n#{\\footnote # BED}\r\nA bed by the "
        "pond.\\par\r\n}";
    CliDir dir({{"help.rtf", help}, {"terms.txt", "pond\t\tPOND\nbed\t\tBED\n"}});
    std::string h = dir.File("help.rtf"), terms = dir.File("terms.txt");
    // Footnotes back (the entry macro too), the style gone, no link to the
    // topic's own context.
    EXPECT_EQ(RunOk({"autolink", terms, h, "-o", "-"}),
              "{\\rtf1\\ansi{\\stylesheet{\\s0 Normal;}}\r\n\r\n#{\\footnote {\\super #}POND}\r\n"
              "${\\footnote {\\super $}The pond}\r\n!{\\footnote {\\super !}Show(1)}\r\n"
              "The pond and the {\\uldb bed}{\\v BED}.\\par\r\n\\page\r\n#{\\footnote {\\super #}"
              "BED}\r\nA bed by the {\\uldb pond}{\\v POND}.\\par}\r\n");
    // A split topic takes its context from its properties file.
    RunOk({"topics", "split", h, "--out-dir", dir.File("parts")});
    std::string pond = dir.File("parts/001-POND.rtf");
    EXPECT_EQ(RunOk({"autolink", terms, pond, "--dry-run"}),
              pond + ": \"bed\" -> BED (jump)\n" + pond + ": 1 link would be made\n");
}

TEST(CliAutolink, FolderKeepsItsLayoutUnderTheOutputFolder) {
    CliDir dir({{"in/a.rtf", kTopic},
                {"in/sub/b.RTF", kSheet + "No match here.}"},
                {"in/notes.txt", "pond"},
                {"terms.txt", kTerms}});
    std::string out =
        RunOk({"autolink", dir.File("terms.txt"), dir.File("in"), "--out-dir", dir.File("out")});
    EXPECT_NE(out.find("3 links made in 2 files\n"), std::string::npos) << out;
    EXPECT_NE(ReadFile(dir.File("out/a.rtf")).find("{\\cs99\\v PLANT}"), std::string::npos);
    EXPECT_EQ(ReadFile(dir.File("out/sub/b.RTF")), kSheet + "No match here.}");
    EXPECT_FALSE(std::filesystem::exists(dir.File("out/notes.txt")));
    EXPECT_EQ(ReadFile(dir.File("in/a.rtf")), kTopic);
    RunOk({"autolink", dir.File("terms.txt"), dir.File("in"), "--in-place"});
    EXPECT_EQ(ReadFile(dir.File("in/a.rtf")), ReadFile(dir.File("out/a.rtf")));
}

}  // namespace
#endif
