// End-to-end runs of the brioutil tool: form and apppath commands, and the
// tool's own help, version and command dispatch.
#ifdef BRIOUTIL_CLI_BINARY
#include "cli/cli_support.h"

namespace {

using namespace brio::test;

const std::string kForm =
    "VERSION 1.00\r\nBegin Form Main\r\n   Caption         =   \"Orders\"\r\n"
    "   Begin Button Ok\r\n      Caption         =   \"OK\"\r\n   End\r\nEnd\r\n";

TEST(CliForm, GetSetAndDeleteWriteOnlyWhereTheyAreTold) {
    CliDir dir({{"main.frm", kForm}});
    std::string file = dir.File("main.frm"), out = dir.File("out.frm");
    EXPECT_EQ(RunOk({"form", "get", file, "form", "MAIN", "caption"}), "\"Orders\"\n");
    RunOk({"form", "set", file, "Button", "Ok", "Default", "-1", "-o", out});
    EXPECT_EQ(ReadFile(out),
              "VERSION 1.00\r\nBegin Form Main\r\n   Caption         =   \"Orders\"\r\n"
              "   Begin Button Ok\r\n      Default = -1\r\n      Caption         =   \"OK\"\r\n"
              "   End\r\nEnd\r\n");
    RunOk({"form", "delete", out, "button", "ok", "--in-place"});
    EXPECT_EQ(ReadFile(out),
              "VERSION 1.00\r\nBegin Form Main\r\n   Caption         =   \"Orders\"\r\nEnd\r\n");
    const std::string head = "VERSION 1.00\r\nBegin Form Main\r\n   Caption         =   Bye\r\n";
    EXPECT_EQ(RunOk({"form", "set", file, "Form", "Main", "Caption", "Bye", "-o", "-"})
                  .substr(0, head.size()),
              head);
    EXPECT_EQ(ReadFile(file), kForm);
    EXPECT_EQ(dir.Entries(), (Args{"main.frm", "out.frm"}));
}

TEST(CliForm, FailuresNameTheProblemAndChangeNothing) {
    CliDir dir({{"main.frm", kForm}});
    std::string file = dir.File("main.frm");
    ExpectFailures({
        {{"form", "set", file, "Form", "Main", "Caption", "x"}, 1, "--in-place or -o"},
        {{"form", "set", file, "Form", "Nope", "Caption", "x", "--in-place"}, 2, "no section"},
        {{"form", "get", file, "Form", "Main", "Width"}, 2, "no property 'Width'"},
        {{"form", "get", dir.File("absent.frm"), "Form", "Main", "Width"}, 2, "absent.frm"},
        {{"form", "delete", file, "Form"}, 1, "usage"},
        {{"form", "rename", file}, 1, "unknown action"},
        {{"frobnicate"}, 1, "unknown command 'frobnicate'"},
        {{"topics", "list", file, "-o"}, 2, "option -o needs a value"},
    });
    EXPECT_EQ(ReadFile(file), kForm);
    EXPECT_EQ(dir.Entries(), Args{"main.frm"});
}

TEST(CliAppPath, PrintsTheRegisteredPath) {
    std::string registry = "BRIOUTIL_REGISTRY=" + std::string(BRIOUTIL_EXAMPLES_DIR) + "/apps.reg";
    ToolRun found = RunTool({"apppath", "HELPC.EXE"}, {registry});
    EXPECT_EQ(found.exitCode, 0) << found.err;
    EXPECT_EQ(found.out, "C:\\Tools\\Help\\helpc.exe\n");
    // The default value wins even when listed after Path.
    EXPECT_EQ(RunTool({"apppath", "paint.exe"}, {registry}).out, "C:\\Paint\\paint.exe\n");
    ToolRun missing = RunTool({"apppath", "none.exe"}, {registry});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_NE(missing.err.find("not registered"), std::string::npos);
}

TEST(CliTool, HelpExplainsEveryCommandWithAnExample) {
    std::string overview = RunOk({"--help"});
    for (std::string command :
         {"autolink", "unlink", "topics", "find", "picture", "form", "apppath"}) {
        std::string help = RunOk({command, "--help"});
        EXPECT_EQ(help.rfind("usage: brioutil " + command, 0), 0u) << command;
        EXPECT_NE(help.find("example"), std::string::npos) << command;
        EXPECT_NE(overview.find("\n  " + command + " "), std::string::npos) << command;
    }
    EXPECT_EQ(RunOk({"--version"}), "brioutil 0.1.0\n");
    ToolRun bare = RunTool({});
    EXPECT_EQ(bare.exitCode, 1);
    EXPECT_EQ(bare.out, overview);
}

}  // namespace
#endif
