// End-to-end runs of the brioutil tool: what each command writes and reports, in the user's
// encoding and the document's code page.
#ifdef BRIOUTIL_CLI_BINARY
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cli/cli_support.h"

namespace {

using namespace brio::test::cli;

TEST(CliTopics, ListSplitJoinAndDummyGiveHelpCompilerInput) {
    CliDir dir({{"help.rtf", kHelp},
                {"a.rtf", "{\\rtf1 Alpha\\par}"},
                {"list.tsv",
                 "# before the header\ntitle\tfile\tcontext\tmacro\n# after it\n"
                 "The A\ta.rtf\tA\tRun(1)\n"},
                {"plan.tsv",
                 "context\ttitle\tkeywords\tbody\tkeepn\n"
                 "P1\tFirst\tx|y\tTo do: {x}\tno\nP2\tSecond\t\tLater\tyes\n"}});
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
    EXPECT_EQ(dir.Entries(),
              (Args{"a.rtf", "help.rtf", "j.rtf", "list.tsv", "parts", "plan.rtf", "plan.tsv"}));
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
    // Import drops a later paragraph's \keepn: the \pard after it goes, the region count moves.
    const std::set<std::string> regionMoves = {"002.rtf:2", "002.rtf:3", "002.rtf:4", "002.rtf:5",
                                               "003.rtf:4"};
    for (const auto& source : ListFiles(CorpusDir("rtf"))) {
        CliDir dir;
        std::string name = fs::path(source).filename().string();
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

// Windows-1252: escapes, a \u character, a raw byte, an escaped zero byte in a destination.
const std::string kSpanish =
    "{\\rtf1\\ansi\\ansicpg1252 #{\\footnote # NUEVO}${\\footnote $ Comando Nuevo (men\\'fa "
    "Archivo)}K{\\footnote K men\\'fa;a\\u241?o}\\pard Men\\'fa Archivo: a\\u241?o\\par\\page "
    "#{\\footnote # RAW}${\\footnote $ "
    "Cuadr\355cula}{\\*\\leveltext\\'02\\'00.;}Cuadr\355cula\\par}";

// Japanese in code page 932, written as escapes the way editors write it.
const std::string kJapanese =
    "{\\rtf1\\ansi\\ansicpg932\\deff0{\\fonttbl{\\f0\\fcharset128 Gothic;}}#{\\footnote # START}"
    "${\\footnote $ \\'82\\'cd\\'82\\'b6\\'82\\'df\\'82\\'c9}K{\\footnote K "
    "\\'93\\'fa\\'96\\'7b\\'8c\\'ea}\\pard \\'93\\'fa\\'96\\'7b\\'8c\\'ea\\'82\\'cc\\'83\\'77\\'83"
    "\\'8b\\'83\\'76\\'82\\'d6\\'82\\'e6\\'82\\'a4\\'82\\'b1\\'82\\'bb\\par}";

TEST(CliFind, ListsTheTopicsHoldingThePhraseAndTitlesShowInUtf8) {
    CliDir dir(
        {{"es.rtf", kSpanish},
         {"ja.rtf", kJapanese},
         {"ctl.rtf", "{\\rtf1\n#{\\footnote # A}\n${\\footnote $ Al\x1b[2Jpha}\nText.\\par\n}"},
         {"help.rtf", kHelp},
         {"topic.rtf", "{\\rtf1 The second\\par body of text}"}});
    std::string es = dir.File("es.rtf"), ja = dir.File("ja.rtf");
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
    // Control bytes from a file are escaped.
    EXPECT_EQ(RunOk({"topics", "list", dir.File("ctl.rtf")}),
              "#  CONTEXT  TITLE         KEYWORDS  BROWSE  REGION  FIRST LINE\n"
              "1  A        Al\\x1B[2Jpha                    0       Text.\n");
    EXPECT_EQ(RunOk({"topics", "list", es}),
              "#  CONTEXT  TITLE                         KEYWORDS  BROWSE  REGION  FIRST LINE\n"
              "1  NUEVO    Comando Nuevo (menú Archivo)  menú;año          0       Menú Archivo: "
              "año\n2  RAW      Cuadrícula                                      0       "
              "Cuadrícula\n");
    EXPECT_EQ(RunOk({"topics", "list", ja, "--json"}),
              "[\n {\"topic\": 1, \"context\": \"START\", \"title\": \"はじめに\", \"macro\": "
              "\"\", \"keywords\": [\"日本語\"], \"browse\": \"\", \"nonScrolling\": 0, "
              "\"firstLine\": \"日本語のヘルプへようこそ\"}\n]\n");
    const std::string nuevo = es + ": topic 1 NUEVO (Comando Nuevo (menú Archivo))\n";
    for (const Args& f : std::vector<Args>{{"AÑO", nuevo},
                                           {"cuadrícula", es + ": topic 2 RAW (Cuadrícula)\n"},

                                           {"ヘルプ", ja + ": topic 1 START (はじめに)\n"},
                                           {"英語", ""}})
        EXPECT_EQ(RunOk({"find", f[0], es, ja}), f[1]) << f[0];
}

TEST(CliText, TermsPhrasesAndValuesAreConvertedOrRefused) {
    const std::string grid = "Cuadr\355cula";  // in code page 1252
    CliDir dir({{"doc.rtf", "{\\rtf1\\ansi\\ansicpg1252 El men\\'fa y la " + grid + "\\par}"},
                {"utf8.txt", "menú\t\tMENU\n日本\t\tJP\n"},
                {"ansi.txt", grid + "\t\tGRID\n"},
                {"f.frm", "Begin Form F\n  Caption = x\nEnd\n"}});
    std::string doc = dir.File("doc.rtf");
    ToolRun run = RunTool({"autolink", dir.File("utf8.txt"), doc, "--dry-run"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, doc + ": \"menú\" -> MENU (jump)\n" + doc + ": 1 link would be made\n");
    EXPECT_EQ(run.err, "brioutil autolink: " + dir.File("utf8.txt") +
                           ":2: '日本' is left out: code page 1252 has no '日'\n");
    EXPECT_EQ(RunOk({"autolink", dir.File("ansi.txt"), doc, "--dry-run", "--encoding", "1252"}),
              doc + ": \"Cuadrícula\" -> GRID (jump)\n" + doc + ": 1 link would be made\n");
    EXPECT_EQ(RunOk({"find", grid, doc, "--encoding", "cp1252"}), doc + "\n");
    RunOk({"form", "set", dir.File("f.frm"), "Form", "F", "Caption", "Menú", "-o",
           dir.File("g.frm")});
    EXPECT_EQ(ReadFile(dir.File("g.frm")), "Begin Form F\n  Caption =   Men\xfa\nEnd\n");
    EXPECT_EQ(RunOk({"form", "get", dir.File("g.frm"), "Form", "F", "Caption"}), "Menú\n");
    ExpectFailures({
        {"ansi.txt:1: not UTF-8 (\\xED): name the file's encoding with --encoding",
         {"autolink", dir.File("ansi.txt"), doc, "--dry-run"}},
        {"the phrase is not UTF-8", {"find", grid, doc}, 1},
        {"--encoding takes utf-8 or a code page", {"find", "x", doc, "--encoding", "latin"}, 1},
        {"'日本': code page 1252 has no '日'",
         {"form", "set", dir.File("f.frm"), "Form", "F", "Caption", "日本", "-o", doc + ".frm"}},
    });
}

const std::string kSheet = "{\\rtf1{\\stylesheet{\\*\\cs99 \\additive Autolink;}}";
const std::string kTopic = kSheet + "Plant a bed near the pond. The pond needs water.\\par}";
const std::string kTerms =
    "# term, synonyms, target, kind, case-sensitive, exclude\n"
    "pond\t\tPOND\nplant a bed\tplant beds\tPLANT\tpopup\nwater\t\tWATER\tjump\tno\tyes\n";

// The linked bytes match the exports (CliExports below); here the reports.
TEST(CliAutolink, LinksAndUnlinksWhereItIsToldAndSaysWhatItDid) {
    const std::string help =
        "{\\rtf1\\ansi{\\stylesheet{\\s0 Normal;}}\r\n"
        "#{\\footnote # POND}\r\n${\\footnote $ The pond}\r\n!{\\footnote ! Show(1)}\r\n"
        "The pond and the bed.\\par\r\n\\page\r\n#{\\footnote # BED}\r\nA bed by the "
        "pond.\\par\r\n}";
    // Only links of the style count, line ends among their words or not.
    const std::string own =
        kSheet + "\r\n{\\uldb Mine}{\\v MINE} {\\cs99\r\n\\uldb pond}{\\cs99\r\n\\v POND}}";
    CliDir dir({{"topic.rtf", kTopic},
                {"terms.txt", kTerms},
                {"own.rtf", own},
                {"in/a.rtf", kTopic},
                {"in/sub/b.RTF", kSheet + "No match here.}"},
                {"in/notes.txt", "pond"},
                {"help.rtf", help},
                {"both.txt", "pond\t\tPOND\nbed\t\tBED\n"}});
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
    // A folder keeps its layout under the output folder; only its RTF files are read.
    std::string out = RunOk({"autolink", terms, dir.File("in"), "--out-dir", dir.File("out")});
    EXPECT_NE(out.find("3 links made in 2 files\n"), std::string::npos) << out;
    EXPECT_EQ(ReadFile(dir.File("out/a.rtf")), ReadFile(linked));
    EXPECT_EQ(ReadFile(dir.File("out/sub/b.RTF")), kSheet + "No match here.}");
    EXPECT_FALSE(fs::exists(dir.File("out/notes.txt")));
    EXPECT_EQ(ReadFile(dir.File("in/a.rtf")), kTopic);
    RunOk({"autolink", terms, dir.File("in"), "--in-place"});
    EXPECT_EQ(ReadFile(dir.File("in/a.rtf")), ReadFile(linked));
    EXPECT_EQ(dir.Entries(), (Args{"both.txt", "help.rtf", "in", "linked.rtf", "out", "own.rtf",
                                   "terms.txt", "topic.rtf"}));
    std::string h = dir.File("help.rtf"), both = dir.File("both.txt");
    // Linked topic by topic: footnotes (entry macro too) back, no link to the topic's context.
    EXPECT_EQ(RunOk({"autolink", both, h, "-o", "-"}),
              "{\\rtf1\\ansi{\\stylesheet{\\s0 Normal;}}\r\n\r\n#{\\footnote {\\super #}POND}\r\n"
              "${\\footnote {\\super $}The pond}\r\n!{\\footnote {\\super !}Show(1)}\r\n"
              "The pond and the {\\uldb bed}{\\v BED}.\\par\r\n\\page\r\n#{\\footnote {\\super #}"
              "BED}\r\nA bed by the {\\uldb pond}{\\v POND}.\\par}\r\n");
    // A split topic takes its context from its properties file.
    RunOk({"topics", "split", h, "--out-dir", dir.File("parts")});
    std::string pond = dir.File("parts/001-POND.rtf");
    EXPECT_EQ(RunOk({"autolink", both, pond, "--dry-run"}),
              pond + ": \"bed\" -> BED (jump)\n" + pond + ": 1 link would be made\n");
}

// The edited bytes match the exports (CliExports below); here the reports.
TEST(CliForm, EditsWriteOnlyWhereTheyAreToldAndSayWhatChanged) {
    for (const Args& c : std::vector<Args>{
             {"'Form Main' Caption: \"\"Orders\"\" -> \"B\"", "set", "Form", "Main", "Caption",
              "B"},
             {"'Button Ok' Default added: \"-1\"", "set", "Button", "Ok", "Default", "-1"},
             {"section 'button ok' deleted (3 lines)", "delete", "button", "ok"}}) {
        CliDir dir({{"main.frm", kForm}});
        std::string file = dir.File("main.frm"), out = dir.File("out.frm");
        Args args = Args{"form", c[1], file} + Args(c.begin() + 2, c.end());
        EXPECT_EQ(RunOk(args + Args{"-o", out}), file + ": " + c[0] + " -> " + out + "\n");
        EXPECT_EQ(ReadFile(file), kForm);
        RunOk(args + Args{"--in-place"});
        EXPECT_EQ(ReadFile(file), ReadFile(out));
        EXPECT_EQ(dir.Entries(), (Args{"main.frm", "out.frm"}));
    }
    EXPECT_EQ(RunOk({"form", "get", "-", "form", "MAIN", "caption"}, kForm), "\"Orders\"\n");
    // A new line takes the end of its section's Begin line, a last line the file's first.
    EXPECT_EQ(RunOk({"form", "set", "-", "Button", "Ok", "Default", "-1", "-o", "-"}, kForm),
              "VERSION 1.00\r\nBegin Form Main\r\n   Caption         =   \"Orders\"\r\n   "
              "Begin Button Ok\n      Default = -1\n      Caption         =   "
              "\"OK\"\r\n   End\r\nEnd\r\n");
}

const std::string kHotspots =
    "# left top right bottom kind binding\n0 0 4 2 jump PLANTING\n"
    "4\t1\t8\t3\tpopup\tPOND\r\n1 0 2 1 macro JumpId(\"x\", `a&b')\n";

TEST(CliPicture, BuildInfoExtractAndPreviewAndInfoFeedsBuild) {
    CliDir dir({{"pic.bmp", Bitmap(2835)},
                {"spots.txt", kHotspots},
                {"out.txt", "0 0 9 1 jump A\n1 1 2 2 macro\n"}});
    std::string bmp = dir.File("pic.bmp"), spots = dir.File("spots.txt"), shg = dir.File("pic.shg");
    EXPECT_EQ(RunOk({"picture", "build", bmp, spots, "-o", shg}),
              bmp + " + 3 hotspots -> " + shg + "\n");
    // Standard streams stand for files; what comes out names the file "-".
    EXPECT_EQ(RunOk({"picture", "build", "-", spots, "-o", "-"}, Bitmap(2835)), ReadFile(shg));
    std::string json = RunOk({"picture", "info", shg, "--json"});
    json.replace(json.find(shg), shg.size(), "-");
    EXPECT_EQ(RunOk({"picture", "info", "-", "--json"}, ReadFile(shg)), json);
    EXPECT_EQ(RunOk({"picture", "info", shg}),
              "file:     " + shg +
                  "\ntype:     bitmap group file\nbitmap:   8 x 3, 4 bits per pixel\n"
                  "hotspots: 3\n# left\ttop\tright\tbottom\tkind\tbinding\n"
                  "0\t0\t4\t2\tjump\tPLANTING\n4\t1\t8\t3\tpopup\tPOND\n"
                  "1\t0\t2\t1\tmacro\tJumpId(\"x\", `a&b')\n");
    EXPECT_EQ(RunOk({"picture", "extract", bmp, "-o", "-"}), Bitmap(0));

    RunOk({"picture", "preview", shg, "-o", dir.File("pic.svg")});
    std::string svg = ReadFile(dir.File("pic.svg"));
    const char* expected[] = {
        "width=\"64\" height=\"24\">",  // 8 pixels wide: drawn 8 times larger
        "<rect x=\"0\" y=\"0\" width=\"32\" height=\"16\" fill=\"#d00000\"",
        "<text x=\"3\" y=\"13\" font-family=\"sans-serif\" font-size=\"12\" fill=\"#d00000\">"
        "jump: PLANTING</text>",
        "<rect x=\"32\" y=\"8\" width=\"32\" height=\"16\" fill=\"#008000\"",
        "popup: POND (4,1)-(8,3)</title>",
        "macro: JumpId(&quot;x&quot;, `a&amp;b')</text>",
        // The bitmap file, up to its resolution fields.
        "xlink:href=\"data:image/bmp;base64,Qk2CAAAAAAAAAHYAAAAoAAAACAAAAAMAAAABAAQAAAAAAAwA",
    };
    for (const char* e : expected) EXPECT_NE(svg.find(e), std::string::npos) << e;
    EXPECT_EQ(svg.substr(svg.size() - 7), "</svg>\n");
    // info's hotspot lines (an empty binding too) rebuild the same picture; outside ones warn.
    std::string corpus = CorpusDir("bitmap-group/024.bin");
    std::string info = RunOk({"picture", "info", corpus});
    std::string list = info.substr(info.find("# left"));
    WriteFile(dir.File("list.txt"), list);
    RunOk({"picture", "build", corpus, dir.File("list.txt"), "-o", dir.File("again.shg")});
    std::string again = RunOk({"picture", "info", dir.File("again.shg")});
    EXPECT_EQ(again.substr(again.find("type:")), info.substr(info.find("type:")));
    EXPECT_NE(list.find("\tjump\t\n"), std::string::npos) << list;
    ToolRun run = RunTool({"picture", "build", bmp, dir.File("out.txt"), "-o", dir.File("o.shg")});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "brioutil picture build: warning: " + dir.File("out.txt") +
                           ":1: the hotspot reaches outside the 8 x 3 picture\n");
    EXPECT_NE(RunOk({"picture", "info", CorpusDir("wmf/001.wmf")})
                  .find("type:     placeable metafile\nbitmap:   none"),
              std::string::npos);
}

TEST(CliPicture, EveryCorpusBitmapComesOutAsAWholeBitmapFile) {
    TempDir dir;
    std::string out = dir.File("x.bmp");
    int extracted = 0;
    for (const char* folder : {"bitmap-group", "bmp"}) {
        for (const auto& file : ListFiles(CorpusDir(folder))) {
            ToolRun run = RunTool({"picture", "extract", file, "-o", out});
            if (run.exitCode != 0) {
                EXPECT_EQ(run.exitCode, 2) << file;
                EXPECT_NE(run.err.find("not a picture this tool can read"), std::string::npos)
                    << run.err;
                continue;
            }
            ++extracted;
            std::string bmp = ReadFile(out);
            ASSERT_GE(bmp.size(), 54u) << file;
            auto field = [&](size_t at) { return brio::GetU32(bmp.data(), at); };
            uint32_t width = field(18), height = field(22), bits = uint8_t(bmp[28]);
            uint32_t colours = field(46) ? field(46) : bits <= 8 ? 1u << bits : 0;
            EXPECT_EQ(field(2), bmp.size()) << file;
            EXPECT_EQ(field(10), 14 + 40 + colours * 4) << file;
            EXPECT_EQ(bmp.size(), field(10) + (uint64_t{width} * bits + 31) / 32 * 4 * height)
                << file;
        }
    }
    EXPECT_GE(extracted, 30);
}

// On the same inputs the tool writes what the exports give; other tests pin the tool's texts.
// Term, synonyms, target, kind, case-sensitive, exclude.
const std::string kManyTerms =
    "the help\t\tX\t\t\tyes\nhelp\thelps;helping\tHELP\tpopup\nWindow\t\tWIN\tjump\tyes\n"
    "file\t\tFILE\t\tno\tno\ntopic\ttopics\tTOPIC_1\npond\t\tPOND\na\t\tA\tpopup\n";

// What the exports make of a topic: linked with the terms, and that unlinked.
std::pair<std::string, std::string> LinkByLibrary(const std::string& rtf,
                                                  const std::string& context, bool once,
                                                  uint32_t colour) {
    AutolinkDictionary* d = nullptr;
    int32_t result = 0, length = 0;
    for (Args t : TableRows(kManyTerms)) {
        t.resize(6);  // the fields a line leaves out are empty
        d = AutolinkReference(d, t[0].c_str(), t[1].c_str(), t[2].c_str(), t[5] == "yes",
                              t[4] == "yes", "", t[3] == "popup", &result);
    }
    char* linked =
        Autolink(d, rtf.c_str(), context.c_str(), context.c_str(), once, colour, &length, &result);
    std::string out = linked ? std::string(linked, size_t(length)) : "";
    AutolinkDone(d);
    char* removed = AutolinkRemove(out.c_str(), &length, &result);
    std::string back = removed ? std::string(removed, size_t(length)) : "";
    std::free(removed);
    return {out, back};
}

TEST(CliExports, AutolinkAndUnlinkWriteWhatTheExportsGive) {
    CliDir dir({{"terms.txt", kManyTerms},
                {"t.rtf",
                 "{\\rtf1 A pond{\\cs15\\super \\chftn {\\footnote pond}}, the help file.\\par}"}});
    // Split corpus topics are topic files; each takes its context from topics.tsv.
    std::vector<std::pair<std::string, std::string>> topics = {{dir.File("t.rtf"), ""}};
    for (const std::string name : {"003.rtf", "004.rtf", "010.rtf"}) {
        std::string parts = dir.File(name + ".d");
        RunOk({"topics", "split", CorpusDir("rtf/" + name), "--out-dir", parts});
        std::vector<Args> rows = TableRows(ReadFile(parts + "/topics.tsv"));
        for (size_t r = 1; r < rows.size(); ++r)
            topics.emplace_back(parts + "/" + rows[r][0], rows[r][1]);
    }
    ASSERT_GT(topics.size(), 20u);
    int linkedTopics = 0;
    for (size_t i = 0; i < topics.size(); ++i) {
        const std::string& file = topics[i].first;
        bool once = i % 2;
        uint32_t colour = i % 3 == 1 ? 5 : 0;
        Args args = {"autolink", dir.File("terms.txt"), file, "-o", dir.File("out.rtf")};
        if (once) args.push_back("--once");
        if (colour) args.insert(args.end(), {"--colour", "5"});
        std::string context = i % 4 == 3 ? "HELP" : topics[i].second;
        if (i % 4 == 3) args.insert(args.end(), {"--context", "HELP"});
        RunOk(args);
        auto expected = LinkByLibrary(ReadFile(file), context, once, colour);
        EXPECT_EQ(ReadFile(dir.File("out.rtf")), expected.first) << file;
        EXPECT_EQ(RunOk({"unlink", dir.File("out.rtf"), "-o", "-"}), expected.second) << file;
        linkedTopics += expected.first != ReadFile(file);
    }
    EXPECT_GT(linkedTopics, 10);
}

// The exports' result of {"set", TYPE, NAME, KEY, VALUE} or {"delete", TYPE, NAME} on a form.
std::string EditByLibrary(const std::string& text, const Args& e) {
    TempDir dir;
    WriteFile(dir.File("f.frm"), text);
    FormFile* form = FormOpen(dir.File("f.frm").c_str());
    if (e[0] == "set")
        FormSetProperty(form, e[1].c_str(), e[2].c_str(), e[3].c_str(), e[4].c_str());
    else
        FormDeleteSection(form, e[1].c_str(), e[2].c_str());
    FormClose(form);
    return ReadFile(dir.File("f.frm"));
}

TEST(CliExports, FormEditsWriteWhatTheExportsGive) {
    // Sections with plain names: each form's first and last.
    const std::regex begin("^\\s*Begin\\s+([ -~]+?)\\s+([ -~]+?)\\s*$");
    std::vector<std::string> texts = {"Begin Form Main\n   Caption = A\nEnd",
                                      "Begin Form Main\r\n   Caption = A\rB\r\nEnd",
                                      "VERSION 1\r\nBegin Form Main\n   Caption = A\r\n   Begin "
                                      "Button Ok\r\n      X = 1\n   End\nEnd\r\n"};
    for (const std::string& file : ListFiles(CorpusDir("form")))
        if (texts.size() < 19) texts.push_back(ReadFile(file));
    int edits = 0;
    for (const std::string& text : texts) {
        std::vector<Args> sections;
        std::istringstream lines(text);
        std::smatch m;
        for (std::string line; std::getline(lines, line);)
            if (std::regex_search(line, m, begin)) sections.push_back({m[1], m[2]});
        if (sections.empty()) continue;
        const Args &first = sections.front(), &last = sections.back();
        for (const Args& edit :
             {Args{"set", first[0], first[1], "Caption", "Brio \"1\""},
              Args{"set", last[0], last[1], "Tag", "t"}, Args{"delete", last[0], last[1]}}) {
            Args args =
                Args{"form", edit[0], "-"} + Args(edit.begin() + 1, edit.end()) + Args{"-o", "-"};
            EXPECT_EQ(RunOk(args, text), EditByLibrary(text, edit))
                << text.substr(0, 80) << " " << edit[0];
            ++edits;
        }
    }
    EXPECT_GT(edits, 40);
}

}  // namespace
#endif
