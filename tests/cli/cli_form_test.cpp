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
    EXPECT_EQ(ReadFile(file), kForm);
    EXPECT_EQ(dir.Entries(), (Args{"main.frm", "out.frm"}));
}

// Each line keeps the end it had; a last line without one gets the file's
// first, and the count of deleted lines is reported.
TEST(CliForm, EditsKeepEveryLineEndAsWritten) {
    const std::string mixed =
        "VERSION 1\r\nBegin Form Main\n   Caption = A\r\n   Begin Button Ok\r\n      X = 1\n"
        "   End\nEnd\r\n";
    struct Case {
        std::string form;
        Args edit;
        std::string out;
        std::string log;  // part of the report on standard error
    } cases[] = {
        {"Begin Form Main\n   Caption = A\nEnd",
         {"set", "Form", "Main", "Caption", "B"},
         "Begin Form Main\n   Caption =   B\nEnd\n",
         "\"A\" -> \"B\""},
        {mixed,
         {"delete", "Button", "Ok", "--json"},
         "VERSION 1\r\nBegin Form Main\n   Caption = A\r\nEnd\r\n",
         "\"lines\": 3}"},
        {mixed,
         {"delete", "Button", "Ok"},
         "VERSION 1\r\nBegin Form Main\n   Caption = A\r\nEnd\r\n",
         ": section 'Button Ok' deleted (3 lines)\n"},
        {mixed,
         {"set", "Form", "Main", "Width", "9"},
         "VERSION 1\r\nBegin Form Main\n   Width = 9\n   Caption = A\r\n   Begin Button Ok\r\n"
         "      X = 1\n   End\nEnd\r\n",
         "Width added: \"9\""},
        {"Begin Form Main\r\n   Caption = A\rB\r\nEnd",
         {"set", "Form", "Main", "Width", "9"},
         "Begin Form Main\r\n   Width = 9\r\n   Caption = A\rB\r\nEnd\r\n",
         "Width added"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.log);
        CliDir dir({{"f.frm", c.form}});
        Args args = {"form", c.edit[0], dir.File("f.frm")};
        args.insert(args.end(), c.edit.begin() + 1, c.edit.end());
        args.insert(args.end(), {"-o", "-"});
        ToolRun run = RunTool(args);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out, c.out);
        EXPECT_NE(run.err.find(c.log), std::string::npos) << run.err;
        // From standard input the same bytes come out.
        args[2] = "-";
        EXPECT_EQ(RunTool(args, {}, c.form).out, c.out);
        EXPECT_EQ(ReadFile(dir.File("f.frm")), c.form);
        EXPECT_EQ(dir.Entries(), Args{"f.frm"});
    }
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
