// End-to-end runs of the brioutil tool: form and apppath commands, and the
// tool's own help, version and command dispatch.
#ifdef BRIOUTIL_CLI_BINARY
#include "cli/cli_support.h"

namespace {

using namespace brio::test;

const std::string kForm =
    "VERSION 1.00\r\nBegin Form Main\r\n   Caption         =   \"Orders\"\r\n"
    "   Begin Button Ok\n      Caption         =   \"OK\"\r\n   End\r\nEnd";

// The edited bytes match the exports (cli_exports_test.cpp); here the reports.
TEST(CliForm, EditsWriteOnlyWhereTheyAreToldAndSayWhatChanged) {
    struct Case {
        Args edit;
        std::string log;  // standard error
    } cases[] = {
        {{"get", "form", "MAIN", "caption"}, ""},
        {{"set", "Form", "Main", "Caption", "B"},
         ": 'Form Main' Caption: \"\"Orders\"\" -> \"B\"\n"},
        {{"set", "Button", "Ok", "Default", "-1"}, ": 'Button Ok' Default added: \"-1\"\n"},
        {{"delete", "button", "ok"}, ": section 'button ok' deleted (3 lines)\n"},
    };
    for (const auto& c : cases) {
        CliDir dir({{"main.frm", kForm}});
        std::string file = dir.File("main.frm"), out = dir.File("out.frm");
        Args args = {"form", c.edit[0], file};
        args.insert(args.end(), c.edit.begin() + 1, c.edit.end());
        if (c.edit[0] == "get") {
            EXPECT_EQ(RunOk(args), "\"Orders\"\n");
            continue;
        }
        ToolRun run = RunTool(args + Args{"-o", "-"});
        EXPECT_EQ(run.err, file + c.log);
        EXPECT_EQ(RunOk(args + Args{"-o", out}),
                  file + c.log.substr(0, c.log.size() - 1) + " -> " + out + "\n");
        EXPECT_EQ(ReadFile(out), run.out);
        EXPECT_EQ(ReadFile(file), kForm);
        RunOk(args + Args{"--in-place"});
        EXPECT_EQ(ReadFile(file), run.out);
        EXPECT_EQ(dir.Entries(), (Args{"main.frm", "out.frm"}));
    }
    // A new line takes the end of its section's Begin line, a last line the file's first.
    EXPECT_EQ(RunOk({"form", "set", "-", "Button", "Ok", "Default", "-1", "-o", "-"}, kForm),
              "VERSION 1.00\r\nBegin Form Main\r\n   Caption         =   \"Orders\"\r\n   "
              "Begin Button Ok\n      Default = -1\n      Caption         =   "
              "\"OK\"\r\n   End\r\nEnd\r\n");
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
    });
    EXPECT_EQ(ReadFile(file), kForm);
    EXPECT_EQ(dir.Entries(), Args{"main.frm"});
}

TEST(CliAppPath, PrintsTheRegisteredPathOrSaysWhatIsWrong) {
    std::string registry = "BRIOUTIL_REGISTRY=" + kExampleRegistry;
    EXPECT_EQ(RunTool({"apppath", "HELPC.EXE"}, {registry}).out, "C:\\Tools\\Help\\helpc.exe\n");
    // The default value wins even when listed after Path.
    EXPECT_EQ(RunTool({"apppath", "paint.exe"}, {registry}).out, "C:\\Paint\\paint.exe\n");
    struct Case {
        std::string env, message;
    };
    for (const Case& c : std::vector<Case>{
             {"BRIOUTIL_REGISTRY=",
              "no registry to read: BRIOUTIL_REGISTRY is not set (it names a .reg file)"},
             {"BRIOUTIL_REGISTRY=/nonexistent/apps.reg",
              "/nonexistent/apps.reg: the registry file (BRIOUTIL_REGISTRY) does not exist"},
             {registry, "'none.exe' is not registered in " + kExampleRegistry},
         }) {
        ToolRun run = RunTool({"apppath", "none.exe"}, {c.env});
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.err, "brioutil apppath: " + c.message + "\n");
    }
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
