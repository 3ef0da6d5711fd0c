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

// Mistaken options and outputs that are inputs or in missing folders: a
// message naming the closest option or the output, and nothing changed.
TEST(CliOutputs, MistakesAndOutputsThatAreInputsAreRefused) {
    Project d;
    fs::create_hard_link(d.File("guide.rtf"), d.File("hard.rtf"));
    // Join reads only files in its table's folder.
    WriteFile(d.File("sp/up.tsv"), "file\tcontext\n../guide.rtf\tX\n");
    WriteFile(d.File("sp/abs.tsv"), "file\tcontext\n" + d.File("guide.rtf") + "\tX\n");
    fs::create_symlink(d.File("guide.rtf"), d.File("sp/link.rtf"));
    WriteFile(d.File("sp/link.tsv"), "file\tcontext\nlink.rtf\tX\n");
    auto before = Snapshot(d.Path());
    std::string terms = d.File("terms.txt"), guide = d.File("guide.rtf"), bmp = d.File("q.bmp");
    std::string h = d.File("h.txt"), none = d.File("none/x.rtf");
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
             {"autolink", terms, guide, "-o", terms},
             {"autolink", terms, "-", "-o", terms},
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
        {{"autolink", terms, guide, "-o", d.File("hard.rtf")},
         2,
         "hard.rtf is an input of this command (" + guide + ")"},
        {{"autolink", terms, guide, "--in-place", "--dryrun"},
         2,
         "unknown option --dryrun (did you mean --dry-run?)"},
        {{"unlink", guide, "-o"}, 2, "option -o needs a value"},
        {{"autolink", terms, guide, "-o", "-", "--once=yes"}, 2, "option --once takes no value"},
        {{"topics", "list", d.File("help.rtf"), "--out-dir", d.File("x")},
         2,
         "option --out-dir does not apply to 'topics list'"},
        {{"autolink", terms, guide, "-o", ""}, 2, "-o needs a file name"},
        {{"unlink", guide, "--out-dir", ""}, 2, "--out-dir needs a folder name"},
        {{"autolink", terms, guide, "-o", none},
         2,
         "none/x.rtf: the folder " + d.File("none") + " does not exist"},
        {{"topics", "split", d.File("help.rtf"), "--out-dir", d.File("none/deeper")},
         2,
         "does not exist"},
        {{"topics", "join", d.File("sp/up.tsv"), "-o", d.File("j.rtf")},
         2,
         "up.tsv:2: ../guide.rtf is outside the properties file's folder"},
        {{"topics", "join", d.File("sp/abs.tsv"), "-o", d.File("j.rtf")}, 2, "abs.tsv:2: "},
        {{"topics", "join", d.File("sp/link.tsv"), "-o", d.File("j.rtf")}, 2, "link.tsv:2: "},
    });
    EXPECT_EQ(Snapshot(d.Path()), before);
    RunOk({"topics", "join", d.File("sp/up.tsv"), "-o", d.File("j.rtf"), "--allow-outside"});
    EXPECT_NE(ReadFile(d.File("j.rtf")).find("The pond."), std::string::npos);
}

TEST(CliInputs, TextThatIsNotRtfIsRefusedAndUnchangedFilesStay) {
    std::string junk(2000, '\0');
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>(i * 131 % 251);
    CliDir d({{"junk.rtf", junk},
              {"terms.txt", "pond\t\tPOND\n"},
              {"plain.rtf", kTopic},
              {"f.frm", kSmallForm}});
    std::string junkFile = d.File("junk.rtf");
    for (const Args& args :
         std::vector<Args>{{"unlink", junkFile, "--in-place"},
                           {"autolink", d.File("terms.txt"), junkFile, "--in-place"}})
        ExpectFailures({{args, 2, "junk.rtf: not an RTF document"}});
    EXPECT_EQ(ReadFile(junkFile), junk);
    // Nothing to change: the file is not written again (same inode).
    auto unchanged = [&](const std::string& name, const Args& args, const std::string& log) {
        struct stat before {
        }, after{};
        stat(d.File(name).c_str(), &before);
        EXPECT_EQ(RunOk(args + Args{"--in-place"}), d.File(name) + log + "\n");
        stat(d.File(name).c_str(), &after);
        EXPECT_EQ(before.st_ino, after.st_ino) << name;
    };
    unchanged("plain.rtf", {"unlink", d.File("plain.rtf")}, ": 0 links removed (unchanged)");
    unchanged("f.frm", {"form", "set", d.File("f.frm"), "Form", "Main", "Caption", "\"A\""},
              ": 'Form Main' Caption: \"\"A\"\" -> \"\"A\"\" (unchanged)");
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

// A failed split leaves nothing half done; a new folder appears whole; outputs
// that are links or shared files are written through, as every output is.
TEST(CliFiles, SplitOutputsAreWholeAndKeepLinksAndSharedFiles) {
    Project d;
    fs::create_directories(d.File("out/002-B.rtf"));  // in the way of the second topic
    ToolRun run = RunTool({"topics", "split", d.File("help.rtf"), "--out-dir", d.File("out")});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("002-B.rtf: is a folder"), std::string::npos) << run.err;
    EXPECT_EQ(Snapshot(d.File("out")),
              (std::map<std::string, std::string>{{d.File("out/002-B.rtf"), "<dir>"}}));
    RunOk({"topics", "split", d.File("help.rtf"), "--out-dir", d.File("new/")});
    EXPECT_EQ(Snapshot(d.File("new")).size(), 3u);
    fs::create_directory(d.File("plain"));
    EXPECT_EQ(fs::status(d.File("new")).permissions(), fs::status(d.File("plain")).permissions());

    fs::remove(d.File("out/002-B.rtf"));
    fs::create_directories(d.File("keep"));
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

// Standard streams stand for files; what comes out names the file "-".
TEST(CliPictureStreams, PictureCommandsReadAndWriteStandardStreams) {
    Project d;
    std::string bmp = d.File("q.bmp"), shg = d.File("q.shg"), h = d.File("h.txt");
    RunOk({"picture", "build", bmp, h, "-o", shg});
    EXPECT_EQ(RunOk({"picture", "build", "-", h, "-o", "-"}, TinyBitmap()), ReadFile(shg));
    std::string info = RunOk({"picture", "info", shg, "--json"});
    info.replace(info.find(shg), shg.size(), "-");
    EXPECT_EQ(RunOk({"picture", "info", "-", "--json"}, ReadFile(shg)), info);
    ExpectFailures({{{"picture", "build", "-", "-", "-o", "-"}, 1, "read only once"}});
}

TEST(CliText, ControlBytesFromFilesAreEscapedInHumanOutput) {
    CliDir d({{"h.rtf", "{\\rtf1\n#{\\footnote # A}\n${\\footnote $ Al\x1b[2Jpha}\nText.\\par\n}"},
              {"bad.tsv", "file\tcon\x1b[31mtext\n"}});
    EXPECT_EQ(RunOk({"topics", "list", d.File("h.rtf")}),
              "#  CONTEXT  TITLE         KEYWORDS  BROWSE  REGION  FIRST LINE\n"
              "1  A        Al\\x1B[2Jpha                    0       Text.\n");
    ExpectFailures({{{"topics", "join", d.File("bad.tsv"), "-o", d.File("j.rtf")},
                     2,
                     "bad.tsv:1: unknown column 'con\\x1B[31mtext'"}});
}

TEST(CliReports, JsonQuietAndVerboseReports) {
    const std::string sheet = "{\\rtf1{\\stylesheet{\\*\\cs9 \\additive Autolink;}}";
    CliDir d(
        {{"g.rtf", sheet + "The pond.\\par}"}, {"t.txt", "pond\t\tPOND\n"}, {"f.frm", kSmallForm}});
    std::string g = d.File("g.rtf"), l = d.File("l.rtf"), f = d.File("f.frm");
    for (const Args& c : std::vector<Args>{
             {"{\"dryRun\": true, \"count\": 1, \"files\": [\n  {\"file\": \"" + g +
                  "\", \"output\": null, \"written\": false, \"topics\": 1, \"count\": 1, "
                  "\"links\": [{\"text\": \"pond\", \"target\": \"POND\", \"kind\": "
                  "\"jump\"}]}\n]}\n",
              "autolink", d.File("t.txt"), g, "--dry-run", "--json"},
             {"", "autolink", d.File("t.txt"), g, "-o", l, "-q"},
             {g + ": \"pond\" -> POND (jump)\n" + g + ": 1 link made -> " + l + "\n", "autolink",
              d.File("t.txt"), g, "-o", l, "-v"},
             {"{\"file\": \"" + f + "\", \"output\": \"" + d.File("g.frm") +
                  "\", \"written\": true, \"type\": \"Form\", \"name\": \"Main\", \"key\": "
                  "\"Caption\", \"old\": \"\\\"A\\\"\", \"new\": \"B\\u001b\"}\n",
              "form", "set", f, "Form", "Main", "Caption", "B\x1b", "-o", d.File("g.frm"),
              "--json"},
             {"{\"name\": \"helpc.exe\", \"path\": \"C:\\\\Tools\\\\Help\\\\helpc.exe\", "
              "\"registry\": \"" +
                  kExampleRegistry + "\"}\n",
              "apppath", "helpc.exe", "--json"}}) {
        ToolRun run =
            RunTool(Args(c.begin() + 1, c.end()), {"BRIOUTIL_REGISTRY=" + kExampleRegistry});
        EXPECT_EQ(run.out, c[0]) << c[1] << " " << c.back();
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
