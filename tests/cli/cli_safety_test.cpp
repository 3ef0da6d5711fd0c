// End-to-end runs of the brioutil tool: what every command does with its
// options, its inputs and its outputs, so that no user file is lost.
#ifdef BRIOUTIL_CLI_BINARY
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <map>

#include "cli/cli_support.h"

namespace {

using namespace brio::test;
namespace fs = std::filesystem;

const std::string kTopic = "{\\rtf1 The pond.\\par}";

// Every file under the folder and its bytes.
std::map<std::string, std::string> Snapshot(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        files[e.path().string()] = e.is_regular_file() ? ReadFile(e.path().string()) : "<dir>";
    return files;
}

// A folder with one file of each kind the commands read, and a split help file.
struct Project : CliDir {
    Project()
        : CliDir({{"guide.rtf", kTopic},
                  {"help.rtf", kPondHelp},
                  {"terms.txt", "pond\t\tPOND\n"},
                  {"p.tsv", "context\ttitle\nA\tAlpha\n"},
                  {"f.frm", kSmallForm},
                  {"q.bmp", TinyBitmap()},
                  {"h.txt", "0 0 1 1 jump A\n"},
                  {"hc/001-A.rtf", kPondHelp}}) {
        RunOk({"topics", "split", File("help.rtf"), "--out-dir", File("sp")});
    }
};

TEST(CliOptions, UnknownOrIncompleteOptionsAreRefusedNamingTheClosest) {
    Project d;
    ExpectFailures({
        {{"autolink", d.File("terms.txt"), d.File("guide.rtf"), "--in-place", "--dryrun"},
         2,
         "unknown option --dryrun (did you mean --dry-run?)"},
        {{"topics", "list", d.File("help.rtf"), "--jsn"}, 2, "did you mean --json?"},
        {{"unlink", d.File("guide.rtf"), "-o"}, 2, "option -o needs a value"},
        {{"autolink", d.File("terms.txt"), d.File("guide.rtf"), "-o", "-", "--once=yes"},
         2,
         "option --once takes no value"},
        {{"topics", "list", d.File("help.rtf"), "--out-dir", d.File("x")},
         2,
         "option --out-dir does not apply to 'topics list'"},
    });
    EXPECT_EQ(ReadFile(d.File("guide.rtf")), kTopic);
}

TEST(CliOutputs, AnOutputThatIsAnInputIsRefused) {
    Project d;
    fs::create_hard_link(d.File("guide.rtf"), d.File("hard.rtf"));
    auto before = Snapshot(d.Path());
    std::string terms = d.File("terms.txt"), bmp = d.File("q.bmp"), h = d.File("h.txt");
    // Each command's own check; the message names the output.
    for (const Args& args : std::vector<Args>{
             {"topics", "join", d.File("sp/topics.tsv"), "-o", d.File("sp/topics.tsv")},
             {"topics", "join", d.File("sp/topics.tsv"), "-o", d.File("sp/001-A.rtf")},
             {"topics", "dummy", d.File("p.tsv"), "-o", d.File("p.tsv")},
             {"topics", "split", d.File("hc/001-A.rtf"), "--out-dir", d.File("hc")},
             {"picture", "build", bmp, h, "-o", bmp},
             {"picture", "build", bmp, h, "-o", h},
             {"picture", "extract", bmp, "-o", bmp},
             {"picture", "preview", bmp, "-o", bmp},
             {"autolink", terms, d.File("guide.rtf"), "-o", terms},
             {"unlink", d.File("sp"), "--out-dir", d.File("sp")},
         }) {
        // A folder output: its first file is the input.
        bool folder = args[args.size() - 2] == "--out-dir";
        std::string name = folder ? "/001-A.rtf" : fs::path(args.back()).filename().string();
        ExpectFailures({{args, 2, name + " is an input"}});
    }
    ExpectFailures({
        {{"form", "set", d.File("f.frm"), "Form", "Main", "Caption", "x", "-o", d.File("f.frm")},
         2,
         "f.frm is an input of this command: use --in-place"},
        {{"autolink", terms, d.File("guide.rtf"), "-o", d.File("hard.rtf")},
         2,
         "hard.rtf is an input of this command (" + d.File("guide.rtf") + ")"},
    });
    EXPECT_EQ(Snapshot(d.Path()), before);
}

TEST(CliOutputs, EmptyNamesAndMissingFoldersAreRefused) {
    Project d;
    std::string none = d.File("none/x.rtf");
    ExpectFailures({
        {{"autolink", d.File("terms.txt"), d.File("guide.rtf"), "-o", ""},
         2,
         "-o needs a file name"},
        {{"unlink", d.File("guide.rtf"), "--out-dir", ""}, 2, "--out-dir needs a folder name"},
        {{"autolink", d.File("terms.txt"), d.File("guide.rtf"), "-o", none},
         2,
         "none/x.rtf: the folder " + d.File("none") + " does not exist"},
    });
    for (const Args& args : std::vector<Args>{
             {"topics", "join", d.File("sp/topics.tsv"), "-o", none},
             {"topics", "dummy", d.File("p.tsv"), "-o", none},
             {"form", "set", d.File("f.frm"), "Form", "Main", "Caption", "x", "-o", none},
             {"picture", "extract", d.File("q.bmp"), "-o", none},
             {"topics", "split", d.File("help.rtf"), "--out-dir", d.File("none/deeper")},
         })
        ExpectFailures({{args, 2, "does not exist"}});
    EXPECT_FALSE(fs::exists(d.File("none")));
}

TEST(CliInputs, TextThatIsNotRtfIsRefusedAndUnchangedFilesStay) {
    std::string junk(2000, '\0');
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>(i * 131 % 251);
    CliDir d({{"junk.rtf", junk}, {"terms.txt", "pond\t\tPOND\n"}, {"plain.rtf", kTopic}});
    std::string junkFile = d.File("junk.rtf");
    for (const Args& args :
         std::vector<Args>{{"unlink", junkFile, "--in-place"},
                           {"autolink", d.File("terms.txt"), junkFile, "--in-place"},
                           {"find", "pond", junkFile}})
        ExpectFailures({{args, 2, "junk.rtf: not an RTF document"}});
    EXPECT_EQ(ReadFile(junkFile), junk);
    // Nothing to take out: the file is not written again (same inode).
    struct stat before {
    }, after{};
    stat(d.File("plain.rtf").c_str(), &before);
    EXPECT_EQ(RunOk({"unlink", d.File("plain.rtf"), "--in-place"}),
              d.File("plain.rtf") + ": 0 links removed (unchanged)\n");
    stat(d.File("plain.rtf").c_str(), &after);
    EXPECT_EQ(before.st_ino, after.st_ino);
}

TEST(CliFiles, WorkFilesAreNeverPlacedBesideTheUsersFiles) {
    Project d;
    // A file named like the old work file is neither written through nor removed.
    fs::create_symlink(d.File("guide.rtf"), d.File("out.rtf.brioutil-dummy"));
    RunOk({"topics", "dummy", d.File("p.tsv"), "-o", d.File("out.rtf")});
    EXPECT_EQ(ReadFile(d.File("guide.rtf")), kTopic);
    EXPECT_TRUE(fs::is_symlink(d.File("out.rtf.brioutil-dummy")));
    // Reading a form writes nothing, not even beside it (nothing can be made in /proc).
    EXPECT_EQ(RunOk({"form", "get", "/proc/self/fd/0", "Form", "Main", "Caption"}, kSmallForm),
              "\"A\"\n");
    // Errors name the user's file, not a work file.
    ToolRun run = RunTool(
        {"form", "set", d.File("f.frm"), "Form", "Main", "Caption", "x", "-o", "/proc/x.frm"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err.rfind("brioutil form: /proc/x.frm: cannot create", 0), 0u) << run.err;
    EXPECT_EQ(run.err.find(".tmp"), std::string::npos) << run.err;
}

TEST(CliFiles, AFailedSplitLeavesNothingHalfDone) {
    Project d;
    fs::create_directories(d.File("out/002-B.rtf"));  // in the way of the second topic
    ToolRun run = RunTool({"topics", "split", d.File("help.rtf"), "--out-dir", d.File("out")});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("002-B.rtf: is a folder"), std::string::npos) << run.err;
    EXPECT_EQ(Snapshot(d.File("out")),
              (std::map<std::string, std::string>{{d.File("out/002-B.rtf"), "<dir>"}}));
    // A new folder appears whole.
    RunOk({"topics", "split", d.File("help.rtf"), "--out-dir", d.File("new/")});
    EXPECT_EQ(Snapshot(d.File("new")).size(), 3u);
    fs::create_directory(d.File("plain"));
    EXPECT_EQ(fs::status(d.File("new")).permissions(), fs::status(d.File("plain")).permissions());
}

// Outputs in an existing folder that are links or shared files are written
// through, as every other output is.
TEST(CliFiles, ExistingOutputsStayLinksAndSharedFiles) {
    Project d;
    fs::create_directories(d.File("keep"));
    fs::create_directory(d.File("out"));
    WriteFile(d.File("keep/a.rtf"), "old");
    WriteFile(d.File("keep/b.rtf"), "old");
    fs::create_symlink(d.File("keep/a.rtf"), d.File("out/001-A.rtf"));
    fs::create_hard_link(d.File("keep/b.rtf"), d.File("out/002-B.rtf"));
    RunOk({"topics", "split", d.File("help.rtf"), "--out-dir", d.File("out")});
    EXPECT_TRUE(fs::is_symlink(d.File("out/001-A.rtf")));
    EXPECT_EQ(ReadFile(d.File("keep/a.rtf")), ReadFile(d.File("sp/001-A.rtf")));
    EXPECT_EQ(fs::hard_link_count(d.File("keep/b.rtf")), 2u);
    EXPECT_EQ(ReadFile(d.File("keep/b.rtf")), ReadFile(d.File("sp/002-B.rtf")));
}

TEST(CliTopics, JoinReadsOnlyFilesInItsTablesFolder) {
    Project d;
    WriteFile(d.File("sp/up.tsv"), "file\tcontext\n../guide.rtf\tX\n");
    WriteFile(d.File("sp/abs.tsv"), "file\tcontext\n" + d.File("guide.rtf") + "\tX\n");
    fs::create_symlink(d.File("guide.rtf"), d.File("sp/link.rtf"));
    WriteFile(d.File("sp/link.tsv"), "file\tcontext\nlink.rtf\tX\n");
    ExpectFailures({
        {{"topics", "join", d.File("sp/up.tsv"), "-o", d.File("j.rtf")},
         2,
         "up.tsv:2: ../guide.rtf is outside the properties file's folder"},
        {{"topics", "join", d.File("sp/abs.tsv"), "-o", d.File("j.rtf")}, 2, "abs.tsv:2: "},
        {{"topics", "join", d.File("sp/link.tsv"), "-o", d.File("j.rtf")}, 2, "link.tsv:2: "},
    });
    EXPECT_FALSE(fs::exists(d.File("j.rtf")));
    RunOk({"topics", "join", d.File("sp/up.tsv"), "-o", d.File("j.rtf"), "--allow-outside"});
    EXPECT_NE(ReadFile(d.File("j.rtf")).find("The pond."), std::string::npos);
}

TEST(CliPictureStreams, EveryPictureCommandReadsAndWritesStandardStreams) {
    Project d;
    std::string bmp = d.File("q.bmp"), shg = d.File("q.shg"), h = d.File("h.txt");
    RunOk({"picture", "build", bmp, h, "-o", shg});
    std::string picture = ReadFile(shg);
    struct Case {
        Args streamed, named;
        std::string input;
    };
    for (const Case& c : std::vector<Case>{
             {{"picture", "build", "-", h, "-o", "-"}, {}, TinyBitmap()},
             {{"picture", "build", bmp, "-", "-o", "-"}, {}, "0 0 1 1 jump A\n"},
             {{"picture", "extract", "-", "-o", "-"},
              {"picture", "extract", shg, "-o", "-"},
              picture},
             {{"picture", "preview", "-", "-o", "-"},
              {"picture", "preview", shg, "-o", "-"},
              picture},
             {{"picture", "info", "-", "--json"}, {"picture", "info", shg, "--json"}, picture},
         }) {
        ToolRun run = RunTool(c.streamed, {}, c.input);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        // The file's name differs: it is "-" in what comes out.
        std::string expected = c.named.empty() ? picture : RunOk(c.named);
        if (size_t at = expected.find(shg); at != std::string::npos)
            expected.replace(at, shg.size(), "-");
        EXPECT_EQ(run.out, expected) << c.streamed[1];
    }
    ExpectFailures({{{"picture", "build", "-", "-", "-o", "-"}, 1, "read only once"}});
}

TEST(CliText, ControlBytesFromFilesAreEscapedInHumanOutput) {
    CliDir d({{"h.rtf", "{\\rtf1\n#{\\footnote # A}\n${\\footnote $ Al\x1b[2Jpha}\nText.\\par\n}"},
              {"q.bmp", TinyBitmap()},
              {"spots.txt", "0 0 1 1 jump A\x1b]0;x\x07\n"},
              {"bad.tsv", "file\tcon\x1b[31mtext\n"}});
    EXPECT_EQ(RunOk({"topics", "list", d.File("h.rtf")}),
              "#  CONTEXT  TITLE         KEYWORDS  BROWSE  REGION  FIRST LINE\n"
              "1  A        Al\\x1B[2Jpha                    0       Text.\n");
    EXPECT_EQ(RunOk({"find", "text", d.File("h.rtf")}),
              d.File("h.rtf") + ": topic 1 A (Al\\x1B[2Jpha)\n");
    RunOk({"picture", "build", d.File("q.bmp"), d.File("spots.txt"), "-o", d.File("q.shg")});
    std::string info = RunOk({"picture", "info", d.File("q.shg")});
    EXPECT_EQ(info.substr(info.find("\n0\t")), "\n0\t0\t1\t1\tjump\tA\\x1B]0;x\\x07\n");
    ExpectFailures({{{"topics", "join", d.File("bad.tsv"), "-o", d.File("j.rtf")},
                     2,
                     "bad.tsv:1: unknown column 'con\\x1B[31mtext'"}});
    // JSON keeps the text, escaped its own way.
    EXPECT_NE(RunOk({"picture", "info", d.File("q.shg"), "--json"}).find("A\\u001b]0;x\\u0007"),
              std::string::npos);
}

TEST(CliReports, JsonQuietAndVerboseReportsOfEveryCommand) {
    const std::string sheet = "{\\rtf1{\\stylesheet{\\*\\cs9 \\additive Autolink;}}";
    CliDir d({{"g.rtf", sheet + "The pond.\\par}"},
              {"t.txt", "pond\t\tPOND\n"},
              {"f.frm", kSmallForm},
              {"q.bmp", TinyBitmap()},
              {"h.txt", "0 0 1 1 popup A\n"},
              {"help.rtf", kPondHelp}});
    std::string g = d.File("g.rtf"), l = d.File("l.rtf"), f = d.File("f.frm");
    const std::string link = "{\"text\": \"pond\", \"target\": \"POND\", \"kind\": \"jump\"}";
    struct Case {
        Args args;
        std::string out;
    };
    for (const Case& c : std::vector<Case>{
             {{"autolink", d.File("t.txt"), g, "--dry-run", "--json"},
              "{\"dryRun\": true, \"count\": 1, \"files\": [\n  {\"file\": \"" + g +
                  "\", \"output\": null, \"written\": false, \"topics\": 1, \"count\": 1, "
                  "\"links\": [" +
                  link + "]}\n]}\n"},
             {{"autolink", d.File("t.txt"), g, "-o", l, "-q"}, ""},
             {{"autolink", d.File("t.txt"), g, "-o", l, "-v"},
              g + ": \"pond\" -> POND (jump)\n" + g + ": 1 link made -> " + l + "\n"},
             {{"unlink", l, "--dry-run", "--json"},
              "{\"dryRun\": true, \"count\": 1, \"files\": [\n  {\"file\": \"" + l +
                  "\", \"output\": null, \"written\": false, \"count\": 1, \"links\": [" + link +
                  "]}\n]}\n"},
             {{"unlink", l, "--in-place", "-q"}, ""},
             {{"form", "get", f, "Form", "Main", "Caption", "--json"},
              "{\"file\": \"" + f +
                  "\", \"type\": \"Form\", \"name\": \"Main\", \"key\": \"Caption\", "
                  "\"value\": \"\\\"A\\\"\"}\n"},
             {{"form", "set", f, "Form", "Main", "Caption", "B", "-o", d.File("g.frm"), "--json"},
              "{\"file\": \"" + f + "\", \"output\": \"" + d.File("g.frm") +
                  "\", \"written\": true, \"type\": \"Form\", \"name\": \"Main\", \"key\": "
                  "\"Caption\", \"old\": \"\\\"A\\\"\", \"new\": \"B\"}\n"},
             {{"form", "set", f, "Form", "Main", "Caption", "\"A\"", "--in-place"},
              f + ": 'Form Main' Caption: \"\"A\"\" -> \"\"A\"\" (unchanged)\n"},
             {{"form", "delete", f, "Form", "Main", "-o", d.File("g.frm"), "--json"},
              "{\"file\": \"" + f + "\", \"output\": \"" + d.File("g.frm") +
                  "\", \"written\": true, \"type\": \"Form\", \"name\": \"Main\", "
                  "\"lines\": 3}\n"},
             {{"topics", "split", d.File("help.rtf"), "--out-dir", d.File("sp"), "--json"},
              "{\"file\": \"" + d.File("help.rtf") + "\", \"outDir\": \"" + d.File("sp") +
                  "\", \"topics\": 2, \"files\": [\"001-A.rtf\", \"002-B.rtf\", "
                  "\"topics.tsv\"]}\n"},
             {{"topics", "join", d.File("sp/topics.tsv"), "-o", d.File("j.rtf"), "--json"},
              "{\"properties\": \"" + d.File("sp/topics.tsv") + "\", \"output\": \"" +
                  d.File("j.rtf") + "\", \"topics\": 2}\n"},
             {{"picture", "build", d.File("q.bmp"), d.File("h.txt"), "-o", d.File("q.shg"),
               "--json"},
              "{\"bitmap\": \"" + d.File("q.bmp") + "\", \"hotspots\": 1, \"output\": \"" +
                  d.File("q.shg") + "\", \"warnings\": []}\n"},
             {{"picture", "extract", d.File("q.shg"), "-o", d.File("x.bmp"), "--json"},
              "{\"file\": \"" + d.File("q.shg") + "\", \"output\": \"" + d.File("x.bmp") +
                  "\", \"width\": 2, \"height\": 2}\n"},
             {{"apppath", "helpc.exe", "--json"},
              "{\"name\": \"helpc.exe\", \"path\": \"C:\\\\Tools\\\\Help\\\\helpc.exe\", "
              "\"registry\": \"" +
                  kExampleRegistry + "\"}\n"},
         }) {
        ToolRun run = RunTool(c.args, {"BRIOUTIL_REGISTRY=" + kExampleRegistry});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out, c.out) << c.args[0] << " " << c.args[1];
    }
}

// The tool under a file-size limit: a clear error and a clean folder.
TEST(CliLimits, FileSizeLimitGivesAnErrorAndLeavesNoTemporaryFile) {
    const std::string sheet = "{\\rtf1\\ansi{\\stylesheet{\\*\\cs99 \\additive Autolink;}}\r\n";
    CliDir dir({{"big.rtf", sheet + std::string(20000, 'x') + "\\par}"}, {"out.rtf", "old"}});
    // 4 blocks of 1 KiB: the output cannot be written whole.
    std::string command = "ulimit -f 4; exec '" + std::string(BRIOUTIL_CLI_BINARY) + "' unlink '" +
                          dir.File("big.rtf") + "' -o '" + dir.File("out.rtf") + "' 2>'" +
                          dir.File("err") + "'";
    int status = std::system(("bash -c \"" + command + "\"").c_str());
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_NE(ReadFile(dir.File("err")).find("out.rtf: write error"), std::string::npos)
        << ReadFile(dir.File("err"));
    EXPECT_EQ(ReadFile(dir.File("out.rtf")), "old");
    EXPECT_EQ(dir.Entries(), (Args{"big.rtf", "err", "out.rtf"}));
}

}  // namespace
#endif
