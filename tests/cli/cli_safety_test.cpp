// End-to-end runs of the brioutil tool: no user file is lost, and mistakes are refused
// with a clear message.
#ifdef BRIOUTIL_CLI_BINARY
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "cli/cli_support.h"

namespace {

using namespace brio::test::cli;

// Mistakes, broken inputs and outputs that are inputs or in missing folders:
// a message naming the closest option, the file or the line, and nothing changed.
TEST(CliOutputs, MistakesBrokenInputsAndOutputsThatAreInputsAreRefusedAndHelpNamesEachCommand) {
    Project d;
    auto f = [&](const std::string& name) { return d.File(name); };
    fs::create_hard_link(f("guide.rtf"), f("hard.rtf"));
    // Join reads only files in its table's folder.
    WriteFile(f("sp/up.tsv"), "file\tcontext\n../guide.rtf\tX\n");
    WriteFile(f("sp/abs.tsv"), "file\tcontext\n" + f("guide.rtf") + "\tX\n");
    fs::create_symlink(f("guide.rtf"), f("sp/link.rtf"));
    WriteFile(f("sp/link.tsv"), "file\tcontext\nlink.rtf\tX\n");
    auto before = Snapshot(d.Path());
    std::string terms = f("terms.txt"), guide = f("guide.rtf"), bmp = f("q.bmp"), h = f("h.txt");
    std::string frm = f("f.frm"), in = f("in"), out = f("out.rtf"), shg = f("out.shg");
    std::string tsv = f("sp/topics.tsv"), one = f("sp/001-ONE.rtf");
    ExpectFailures({
        // Each command's own check; the message names the output (a folder's: its first file).
        {"topics.tsv is an input", {"topics", "join", tsv, "-o", tsv}},
        {"001-ONE.rtf is an input", {"topics", "join", tsv, "-o", one}},
        {"p.tsv is an input", {"topics", "dummy", f("p.tsv"), "-o", f("p.tsv")}},
        {"/001-ONE.rtf is an input",
         {"topics", "split", f("hc/001-ONE.rtf"), "--out-dir", f("hc")}},
        {"q.bmp is an input", {"picture", "build", bmp, h, "-o", bmp}},
        {"h.txt is an input", {"picture", "build", bmp, h, "-o", h}},
        {"q.bmp is an input", {"picture", "extract", bmp, "-o", bmp}},
        {"q.bmp is an input", {"picture", "preview", bmp, "-o", bmp}},
        {"terms.txt is an input", {"autolink", terms, guide, "-o", terms}},
        {"terms.txt is an input", {"autolink", terms, "-", "-o", terms}},
        {"/001-ONE.rtf is an input", {"unlink", f("sp"), "--out-dir", f("sp")}},
        {"f.frm is an input of this command: use --in-place",
         {"form", "set", frm, "Form", "Main", "Caption", "x", "-o", frm}},
        {"hard.rtf is an input of this command (" + guide + ")",
         {"autolink", terms, guide, "-o", f("hard.rtf")}},
        {"unknown option --dryrun (did you mean --dry-run?)",
         {"autolink", terms, guide, "--in-place", "--dryrun"}},
        {"option -o needs a value", {"unlink", guide, "-o"}},
        {"option --once takes no value", {"autolink", terms, guide, "-o", "-", "--once=yes"}},
        {"option --out-dir does not apply to 'topics list'",
         {"topics", "list", f("help.rtf"), "--out-dir", f("x")}},
        {"-o needs a file name", {"autolink", terms, guide, "-o", ""}},
        {"--out-dir needs a folder name", {"unlink", guide, "--out-dir", ""}},
        {"none/x.rtf: the folder " + f("none") + " does not exist",
         {"autolink", terms, guide, "-o", f("none/x.rtf")}},
        {"does not exist", {"topics", "split", guide, "--out-dir", f("none/deeper")}},
        {"up.tsv:2: ../guide.rtf is outside the properties file's folder",
         {"topics", "join", f("sp/up.tsv"), "-o", out}},
        {"abs.tsv:2: ", {"topics", "join", f("sp/abs.tsv"), "-o", out}},
        {"link.tsv:2: ", {"topics", "join", f("sp/link.tsv"), "-o", out}},
        // Broken inputs; one broken file of a folder stops the run before anything is written.
        {"q.bmp: not an RTF document", {"unlink", bmp, "--in-place"}},
        {"q.bmp: not an RTF document", {"autolink", terms, bmp, "--in-place"}},
        {"q.bmp: not an RTF document", {"topics", "list", bmp}},
        {"open.rtf: topic 1: the RTF ends too early", {"topics", "list", f("open.rtf")}},
        {"lone.rtf: the RTF ends in a lone backslash", {"unlink", f("lone.rtf"), "--in-place"}},
        {"z.rtf: the RTF ends with groups still open",
         {"autolink", terms, in, "--out-dir", f("o")}},
        {"z.rtf", {"autolink", terms, in, "--in-place"}},
        {"bad.tsv:1: unknown column 'con\\x1B[31mtext'",
         {"topics", "join", f("bad.tsv"), "-o", out}},
        {"keepn.tsv:3: keepn must be yes or no, not 'maybe'",
         {"topics", "dummy", f("keepn.tsv"), "-o", out}},
        {"absent.rtf: cannot open", {"topics", "join", f("missing.tsv"), "-o", out}},
        {"wide.tsv:2: 3 fields, the header names 2", {"topics", "join", f("wide.tsv"), "-o", out}},
        {"kind.txt:3: the link kind must be jump or popup, not 'popover'",
         {"autolink", f("kind.txt"), guide, "-o", "-"}},
        {"short.txt:1: expected", {"autolink", f("short.txt"), guide, "-o", "-"}},
        {"conflict.txt:2: 'pond': a term already links to another target",
         {"autolink", f("conflict.txt"), guide, "-o", "-"}},
        {"none.rtf: no such file", {"autolink", terms, f("none.rtf"), "-o", "-"}},
        {"terms.txt: not a picture", {"picture", "info", terms}},
        {"none.shg: cannot open", {"picture", "info", f("none.shg")}},
        {"link.txt:2: the kind must be jump, popup or macro, not 'link'",
         {"picture", "build", bmp, f("link.txt"), "-o", shg}},
        {"few.txt:1: expected LEFT TOP RIGHT BOTTOM KIND BINDING",
         {"picture", "build", bmp, f("few.txt"), "-o", shg}},
        {"flip.txt:1: left must not exceed right",
         {"picture", "build", bmp, f("flip.txt"), "-o", shg}},
        {"upside.txt:1: left must not exceed right",
         {"picture", "build", bmp, f("upside.txt"), "-o", shg}},
        {"cannot hold these hotspots", {"picture", "build", bmp, f("huge.txt"), "-o", shg}},
        {"a metafile picture holds no bitmap",
         {"picture", "extract", CorpusDir("wmf/001.wmf"), "-o", f("x.bmp")}},
        {"no section", {"form", "set", frm, "Form", "Nope", "Caption", "x", "--in-place"}},
        {"no property 'Width'", {"form", "get", frm, "Form", "Main", "Width"}},
        {"absent.frm", {"form", "get", f("absent.frm"), "Form", "Main", "Width"}},
        // Usage mistakes.
        {"--in-place, -o OUT or --out-dir DIR", {"autolink", terms, guide}, 1},
        {"is a folder", {"autolink", terms, in, "-o", f("x.rtf")}, 1},
        {"writes nothing", {"autolink", terms, guide, "--dry-run", "-o", "-"}, 1},
        {"colour-table index", {"autolink", terms, guide, "-o", "-", "--colour", "red"}, 1},
        {"the phrase is empty", {"find", " ", guide}, 1},
        {"--in-place or -o", {"form", "set", frm, "Form", "Main", "Caption", "x"}, 1},
        {"usage", {"form", "delete", frm, "Form"}, 1},
        {"unknown action", {"form", "rename", frm}, 1},
        {"unknown command 'frobnicate'", {"frobnicate"}, 1},
        {"read only once", {"picture", "build", "-", "-", "-o", "-"}, 1},
    });
    // Help names every command.
    std::string overview = RunOk({"--help"});
    for (std::string command :
         {"autolink", "unlink", "topics", "find", "picture", "form", "apppath"}) {
        EXPECT_EQ(RunOk({command, "--help"}).rfind("usage: brioutil " + command, 0), 0u);
        EXPECT_NE(overview.find("\n  " + command + " "), std::string::npos) << command;
    }
    EXPECT_EQ(RunTool({}).out, overview);
    EXPECT_EQ(Snapshot(d.Path()), before);
    RunOk({"topics", "join", f("sp/up.tsv"), "-o", f("j.rtf"), "--allow-outside"});
    EXPECT_NE(ReadFile(f("j.rtf")).find("The pond."), std::string::npos);
}

TEST(CliFiles, NoWorkFileBesideTheUsersNoHalfDoneSplitAndUnchangedFilesStay) {
    Project d;
    // A file named like the old work file is neither written through nor removed.
    fs::create_symlink(d.File("guide.rtf"), d.File("out.rtf.brioutil-dummy"));
    RunOk({"topics", "dummy", d.File("p.tsv"), "-o", d.File("out.rtf")});
    EXPECT_EQ(ReadFile(d.File("guide.rtf")), kPond);
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
    // Nothing to change (not even the small form's spacing): not written again, same inode.
    auto unchanged = [&](const std::string& name, const Args& args, const std::string& log) {
        struct stat before {
        }, after{};
        stat(d.File(name).c_str(), &before);
        EXPECT_EQ(RunOk(args + Args{"--in-place"}), d.File(name) + log + "\n");
        stat(d.File(name).c_str(), &after);
        EXPECT_EQ(before.st_ino, after.st_ino) << name;
    };
    unchanged("guide.rtf", {"unlink", d.File("guide.rtf")}, ": 0 links removed (unchanged)");
    unchanged("f.frm", {"form", "set", d.File("f.frm"), "Form", "Main", "Caption", "\"A\""},
              ": 'Form Main' Caption: \"\"A\"\" -> \"\"A\"\" (unchanged)");
    // A failed split leaves nothing half done; a new folder appears whole; outputs
    // that are links or shared files are written through, as every output is.
    fs::create_directories(d.File("out/002-TWO.rtf"));  // in the way of the second topic
    run = RunTool({"topics", "split", d.File("help.rtf"), "--out-dir", d.File("out")});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("002-TWO.rtf: is a folder"), std::string::npos) << run.err;
    EXPECT_EQ(Snapshot(d.File("out")),
              (std::map<std::string, std::string>{{d.File("out/002-TWO.rtf"), "<dir>"}}));
    RunOk({"topics", "split", d.File("help.rtf"), "--out-dir", d.File("new/")});
    EXPECT_EQ(Snapshot(d.File("new")).size(), 3u);
    fs::create_directory(d.File("plain"));
    EXPECT_EQ(fs::status(d.File("new")).permissions(), fs::status(d.File("plain")).permissions());

    fs::remove(d.File("out/002-TWO.rtf"));
    fs::create_directories(d.File("keep"));
    WriteFile(d.File("keep/a.rtf"), "old");
    WriteFile(d.File("keep/b.rtf"), "old");
    fs::create_symlink(d.File("keep/a.rtf"), d.File("out/001-ONE.rtf"));
    fs::create_hard_link(d.File("keep/b.rtf"), d.File("out/002-TWO.rtf"));
    RunOk({"topics", "split", d.File("help.rtf"), "--out-dir", d.File("out")});
    EXPECT_TRUE(fs::is_symlink(d.File("out/001-ONE.rtf")));
    EXPECT_EQ(ReadFile(d.File("keep/a.rtf")), ReadFile(d.File("sp/001-ONE.rtf")));
    EXPECT_EQ(fs::hard_link_count(d.File("keep/b.rtf")), 2u);
    EXPECT_EQ(ReadFile(d.File("keep/b.rtf")), ReadFile(d.File("sp/002-TWO.rtf")));
}

TEST(CliReports, JsonQuietVerboseAndAppPathReports) {
    Project d;
    std::string reg = "BRIOUTIL_REGISTRY=" + kExampleRegistry;
    std::string g = d.File("guide.rtf"), t = d.File("terms.txt"), l = d.File("l.rtf");
    std::string f = d.File("f.frm"), o = d.File("g.frm");
    for (const Args& c : std::vector<Args>{
             {"{\"dryRun\": true, \"count\": 1, \"files\": [\n  {\"file\": \"" + g +
                  "\", \"output\": null, \"written\": false, \"topics\": 1, \"count\": 1, "
                  "\"links\": [{\"text\": \"pond\", \"target\": \"POND\", \"kind\": "
                  "\"jump\"}]}\n]}\n",
              "autolink", t, g, "--dry-run", "--json"},
             {"", "autolink", t, g, "-o", l, "-q"},
             {g + ": \"pond\" -> POND (jump)\n" + g + ": 1 link made -> " + l + "\n", "autolink", t,
              g, "-o", l, "-v"},
             {"{\"file\": \"" + f + "\", \"output\": \"" + o +
                  "\", \"written\": true, \"type\": \"Form\", \"name\": \"Main\", \"key\": "
                  "\"Caption\", \"old\": \"\\\"A\\\"\", \"new\": \"B\\u001b\"}\n",
              "form", "set", f, "Form", "Main", "Caption", "B\x1b", "-o", o, "--json"},
             {"{\"name\": \"helpc.exe\", \"path\": \"C:\\\\Tools\\\\Help\\\\helpc.exe\", "
              "\"registry\": \"" +
                  kExampleRegistry + "\"}\n",
              "apppath", "helpc.exe", "--json"}}) {
        EXPECT_EQ(RunTool(Args(c.begin() + 1, c.end()), {reg}).out, c[0])
            << c[1] << " " << c.back();
    }
    // The path, or what is wrong with the registry.
    for (const Args& c : std::vector<Args>{
             {reg, "HELPC.EXE", "C:\\Tools\\Help\\helpc.exe\n", ""},
             {"BRIOUTIL_REGISTRY=", "x.exe", "",
              "no registry to read: BRIOUTIL_REGISTRY is not set (it names a .reg file)"},
             {"BRIOUTIL_REGISTRY=/no/apps.reg", "x.exe", "",
              "/no/apps.reg: the registry file (BRIOUTIL_REGISTRY) does not exist"},
             {reg, "x.exe", "", "'x.exe' is not registered in " + kExampleRegistry}}) {
        ToolRun run = RunTool({"apppath", c[1]}, {c[0]});
        EXPECT_EQ(run.exitCode, c[2].empty() ? 2 : 0);
        EXPECT_EQ(run.out, c[2]);
        EXPECT_EQ(run.err, c[3].empty() ? "" : "brioutil apppath: " + c[3] + "\n");
    }
}

// The tool under a file-size limit: a clear error and a clean folder.
TEST(CliLimits, FileSizeLimitGivesAnErrorAndLeavesNoTemporaryFile) {
    CliDir dir({{"big.rtf", "{\\rtf1 " + std::string(20000, 'x') + "\\par}"}, {"out.rtf", "old"}});
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
