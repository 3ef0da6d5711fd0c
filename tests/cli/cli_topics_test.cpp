// End-to-end runs of the brioutil tool: topics and find.
#ifdef BRIOUTIL_CLI_BINARY
#include <cstring>
#include <map>
#include <set>

#include "brioutil.h"
#include "cli/cli_support.h"

namespace {

using namespace brio::test;

// Footnotes that import leaves out (a second macro, other marks) travel in the table's
// footnotes column; a mark may stand apart from its footnote or in a superscript group.
const std::string kHelp =
    "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\r\n"
    "#{\\footnote # ONE}\r\n${\\footnote $ First}\r\nK{\\footnote K alpha}\r\n"
    "K{\\footnote K beta}\r\n!\r\n{\\footnote ! Run(\"a\\\\b\")}!{\\footnote ! Two()}"
    "{\\cs16\\super A\r\n{\\footnote A plain;fancy}}@{\\footnote {\\super @} Note: "
    "caf\\'e9 {\\b a|b}}\r\nFirst body\\par\r\n\\page\r\n"
    "#{\\footnote # TWO}\r\n${\\footnote $ Second}\r\n"
    "{\\keepn Head\\par}\\pard Second body\\par\r\n}";

TEST(CliTopics, ListSplitThenJoinGivesHelpCompilerInputBack) {
    CliDir dir({{"help.rtf", kHelp},
                {"a.rtf", "{\\rtf1 Alpha\\par}"},
                {"list.tsv",
                 "# before the header\ntitle\tfile\tcontext\tmacro\n# after it\n"
                 "The A\ta.rtf\tA\tRun(1)\n"}});
    std::string file = dir.File("help.rtf"), parts = dir.File("parts"), joined = dir.File("j.rtf");
    EXPECT_EQ(RunOk({"topics", "list", file}),
              "#  CONTEXT  TITLE   KEYWORDS    BROWSE  REGION  FIRST LINE\n"
              "1  ONE      First   alpha|beta          0       First body\n"
              "2  TWO      Second                      5       Head\n");
    EXPECT_EQ(RunOk({"topics", "split", file, "--out-dir", parts}),
              file + ": 2 topics -> " + parts + "/ (properties in " + parts + "/topics.tsv)\n");
    // Each topic is a document of its own: the later one gets the header.
    EXPECT_EQ(ReadFile(parts + "/001-ONE.rtf"),
              "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}{\\cs16\\super }First body\\par}");
    EXPECT_EQ(ReadFile(parts + "/002-TWO.rtf"),
              "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}{Head\\par}Second body\\par}");
    EXPECT_EQ(ReadFile(parts + "/topics.tsv"),
              "file\tcontext\ttitle\tmacro\tkeywords\tbrowse\tnonscroll\tfootnotes\n"
              "001-ONE.rtf\tONE\tFirst\tRun(\"a\\b\")\talpha|beta\t\t0\t"
              "!Two()|Aplain;fancy|@Note: caf\\'e9 a\\'7cb\n"
              "002-TWO.rtf\tTWO\tSecond\t\t\t\t5\t\n");

    EXPECT_EQ(RunOk({"topics", "join", parts + "/topics.tsv", "-o", joined}),
              "2 topics -> " + joined + "\n");
    EXPECT_EQ(ReadFile(joined),
              "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}{\\cs16\\super }\r\n\r\n"
              "#{\\footnote {\\super #}ONE}\r\n${\\footnote {\\super $}First}\r\n"
              "!{\\footnote {\\super !}Run(\"a\\\\b\")}\r\n"
              "K{\\footnote {\\super K}alpha}\r\nK{\\footnote {\\super K}beta}\r\n"
              "!{\\footnote {\\super !}Two()}\r\nA{\\footnote {\\super A}plain;fancy}\r\n"
              "@{\\footnote {\\super @}Note: caf\\'e9 a\\'7cb}\r\n"
              "First body\\par\r\n\\page\r\n{\\keepn\r\n\r\n\r\n"
              "#{\\footnote {\\super #}TWO}\r\n${\\footnote {\\super $}Second}\r\n"
              "Head\\par\\pard }Second body\\par}\r\n");
    // Columns in any order, comments anywhere, the result on standard output.
    EXPECT_EQ(RunOk({"topics", "join", dir.File("list.tsv"), "-o", "-"}),
              "{\\rtf1 \r\n\r\n#{\\footnote {\\super #}A}\r\n${\\footnote {\\super $}The A}\r\n"
              "!{\\footnote {\\super !}Run(1)}\r\nAlpha\\par}\r\n");
    EXPECT_EQ(dir.Entries(), (Args{"a.rtf", "help.rtf", "j.rtf", "list.tsv", "parts"}));
}

// Help footnotes of each mark in a help file: the mark, line breaks, "{\footnote".
std::map<char, int> MarkCounts(const std::string& rtf) {
    std::map<char, int> counts;
    for (size_t at = rtf.find("{\\footnote"); at != std::string::npos;
         at = rtf.find("{\\footnote", at + 1)) {
        size_t m = rtf.find_last_not_of("\r\n", at - 1);
        if (m != std::string::npos && std::strchr("#$!K+A@", rtf[m])) ++counts[rtf[m]];
    }
    return counts;
}

std::string WithoutPard(std::string rtf) {
    for (size_t at = rtf.find("\\pard"); at != std::string::npos; at = rtf.find("\\pard", at))
        rtf.erase(at, rtf.compare(at, 6, "\\pard ") == 0 ? 6 : 5);
    return rtf;
}

TEST(CliTopics, SplitJoinResplitKeepsEveryCorpusTopic) {
    // Import drops the \keepn of later paragraphs, so these topics lose the
    // \pard after one and their region count changes (the text stays).
    const std::set<std::string> regionMoves = {"002.rtf:2", "002.rtf:3", "002.rtf:4", "002.rtf:5",
                                               "003.rtf:4"};
    for (const auto& source : ListFiles(CorpusDir("rtf"))) {
        CliDir dir;
        std::string name = std::filesystem::path(source).filename().string();
        std::string a = dir.File("a"), b = dir.File("b"), joined = dir.File("j.rtf");
        RunOk({"topics", "split", source, "--out-dir", a});
        RunOk({"topics", "join", a + "/topics.tsv", "-o", joined});
        RunOk({"topics", "split", joined, "--out-dir", b});
        EXPECT_EQ(MarkCounts(ReadFile(joined)), MarkCounts(ReadFile(source))) << name;
        std::vector<Args> rowsA = TableRows(ReadFile(a + "/topics.tsv"));
        std::vector<Args> rowsB = TableRows(ReadFile(b + "/topics.tsv"));
        ASSERT_EQ(rowsB.size(), rowsA.size()) << name;
        ASSERT_GT(rowsA.size(), 1u) << name;
        for (size_t r = 1; r < rowsA.size(); ++r) {
            std::string topic = name + ":" + std::to_string(r);
            std::string bodyA = ReadFile(a + "/" + rowsA[r][0]);
            std::string bodyB = ReadFile(b + "/" + rowsA[r][0]);
            if (regionMoves.count(topic)) {
                rowsA[r][6] = rowsB[r][6] = "";  // nonscroll
                bodyA = WithoutPard(bodyA);
                bodyB = WithoutPard(bodyB);
            }
            EXPECT_EQ(rowsB[r], rowsA[r]) << topic;
            EXPECT_EQ(bodyB, bodyA) << topic;
        }
    }
}

TEST(CliTopics, DummyWritesPlaceholderTopics) {
    CliDir dir({{"plan.tsv",
                 "context\ttitle\tkeywords\tbody\tkeepn\n"
                 "P1\tFirst\tx|y\tTo do: {x}\tno\nP2\tSecond\t\tLater\tyes\n"}});
    std::string out = dir.File("plan.rtf");
    EXPECT_EQ(RunOk({"topics", "dummy", dir.File("plan.tsv"), "-o", out}),
              "2 placeholder topics -> " + out + "\n");
    uint32_t length = 0;
    int32_t status = 0;
    std::string header = TopicNew(&length, &status);  // its bytes are pinned in topic/
    EXPECT_EQ(ReadFile(out),
              header.substr(0, length - 1) +
                  "\\page\n#{\\footnote {\\super #}P1}\n${\\footnote {\\super $}First}\n"
                  "K{\\footnote {\\super K}x}\nK{\\footnote {\\super K}y}To do: \\{x\\}"
                  "\\page\\keepn\n#{\\footnote {\\super #}P2}\n${\\footnote {\\super "
                  "$}Second}Later\n\\par\\pard\n}\n");
    EXPECT_EQ(dir.Entries(), (Args{"plan.rtf", "plan.tsv"}));
}

TEST(CliFind, ListsTheTopicsHoldingThePhrase) {
    CliDir dir({{"help.rtf", kHelp}, {"topic.rtf", "{\\rtf1 The second\\par body of text}"}});
    std::string help = dir.File("help.rtf"), topic = dir.File("topic.rtf");
    // Topics of a help-compiler file are named; a topic file stands alone.
    EXPECT_EQ(RunOk({"find", "body", help, topic}),
              help + ": topic 1 ONE (First)\n" + help + ": topic 2 TWO (Second)\n" + topic + "\n");
    // A folder stands for every .rtf file under it.
    EXPECT_EQ(RunOk({"find", "second body", dir.Path(), "--json"}),
              "[\n {\"file\": \"" + help +
                  "\", \"topic\": 2, \"context\": \"TWO\", \"title\": \"Second\"},\n"
                  " {\"file\": \"" +
                  topic + "\", \"topic\": 1, \"context\": \"\", \"title\": \"\"}\n]\n");
    EXPECT_EQ(RunOk({"find", "zebra", dir.Path(), "--json"}), "[]\n");
}

}  // namespace
#endif
