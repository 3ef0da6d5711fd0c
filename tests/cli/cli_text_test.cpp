// End-to-end runs of the brioutil tool: text in the user's encoding and in
// the document's code page.
#ifdef BRIOUTIL_CLI_BINARY
#include "cli/cli_support.h"

namespace {

using namespace brio::test;

// Spanish in Windows-1252: escapes, a \u character, a raw byte and an
// escaped zero byte in a destination.
const std::string kSpanish =
    "{\\rtf1\\ansi\\ansicpg1252 #{\\footnote # NUEVO}${\\footnote $ Comando Nuevo (men\\'fa "
    "Archivo)}K{\\footnote K men\\'fa;a\\u241?o}\\pard Men\\'fa Archivo: a\\u241?o\\par\\page "
    "#{\\footnote # RAW}${\\footnote $ Cuadr\xed"
    "cula}{\\*\\leveltext\\'02\\'00.;}Cuadr\xed"
    "cula\\par}";

// Japanese in code page 932, written as escapes the way editors write it.
const std::string kJapanese =
    "{\\rtf1\\ansi\\ansicpg932\\deff0{\\fonttbl{\\f0\\fcharset128 Gothic;}}#{\\footnote # START}"
    "${\\footnote $ \\'82\\'cd\\'82\\'b6\\'82\\'df\\'82\\'c9}K{\\footnote K "
    "\\'93\\'fa\\'96\\'7b\\'8c\\'ea}\\pard \\'93\\'fa\\'96\\'7b\\'8c\\'ea\\'82\\'cc\\'83\\'77\\'83"
    "\\'8b\\'83\\'76\\'82\\'d6\\'82\\'e6\\'82\\'a4\\'82\\'b1\\'82\\'bb\\par}";

TEST(CliText, TitlesShowInUtf8AndUtf8PhrasesFindTheirTopics) {
    CliDir dir(
        {{"es.rtf", kSpanish},
         {"ja.rtf", kJapanese},
         {"ctl.rtf", "{\\rtf1\n#{\\footnote # A}\n${\\footnote $ Al\x1b[2Jpha}\nText.\\par\n}"}});
    std::string es = dir.File("es.rtf"), ja = dir.File("ja.rtf");
    // Control bytes from a file are escaped.
    EXPECT_EQ(RunOk({"topics", "list", dir.File("ctl.rtf")}),
              "#  CONTEXT  TITLE         KEYWORDS  BROWSE  REGION  FIRST LINE\n"
              "1  A        Al\\x1B[2Jpha                    0       Text.\n");
    EXPECT_EQ(RunOk({"topics", "list", es}),
              "#  CONTEXT  TITLE                         KEYWORDS  BROWSE  REGION  FIRST LINE\n"
              "1  NUEVO    Comando Nuevo (menú Archivo)  menú;año          0       Menú Archivo: "
              "año\n2  RAW      Cuadrícula                                      0       "
              "Cuadrícula\n");
    EXPECT_EQ(RunOk({"topics", "list", ja}),
              "#  CONTEXT  TITLE  KEYWORDS  BROWSE  REGION  FIRST LINE\n"
              "1  START    はじめに   日本語               0       日本語のヘルプへようこそ\n");
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
    const std::string grid =
        "Cuadr\xed"
        "cula";  // in code page 1252
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

}  // namespace
#endif
