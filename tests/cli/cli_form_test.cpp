// End-to-end runs of the brioutil tool: form and apppath commands, and the
// tool's own help and command dispatch.
#ifdef BRIOUTIL_CLI_BINARY
#include "cli/cli_support.h"

namespace {

using namespace brio::test;

const std::string kForm =
    "VERSION 1.00\r\nBegin Form Main\r\n   Caption         =   \"Orders\"\r\n"
    "   Begin Button Ok\n      Caption         =   \"OK\"\r\n   End\r\nEnd";

// The edited bytes match the exports (cli_exports_test.cpp); here the reports.
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

TEST(CliAppPath, PrintsTheRegisteredPathOrSaysWhatIsWrong) {
    std::string reg = "BRIOUTIL_REGISTRY=" + kExampleRegistry;
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

TEST(CliTool, HelpNamesEveryCommand) {
    std::string overview = RunOk({"--help"});
    for (std::string command :
         {"autolink", "unlink", "topics", "find", "picture", "form", "apppath"}) {
        EXPECT_EQ(RunOk({command, "--help"}).rfind("usage: brioutil " + command, 0), 0u);
        EXPECT_NE(overview.find("\n  " + command + " "), std::string::npos) << command;
    }
    EXPECT_EQ(RunTool({}).out, overview);
}

}  // namespace
#endif
