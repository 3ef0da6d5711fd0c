// End-to-end runs of the brioutil tool: form and apppath commands.
#ifdef BRIOUTIL_CLI_BINARY
#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace {

using brio::test::ReadFile;
using brio::test::RunTool;
using brio::test::TempDir;
using brio::test::WriteFile;

const std::string kForm =
    "VERSION 1.00\r\n"
    "Begin Form Main\r\n"
    "   Caption         =   \"Orders\"\r\n"
    "   Begin Button Ok\r\n"
    "      Caption         =   \"OK\"\r\n"
    "   End\r\n"
    "End\r\n";

TEST(CliForm, GetPrintsTheValueAndLeavesTheFileAlone) {
    TempDir dir;
    std::string file = dir.File("main.frm");
    WriteFile(file, kForm);
    auto run = RunTool({"form", "get", file, "form", "MAIN", "caption"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "\"Orders\"\n");
    EXPECT_EQ(ReadFile(file), kForm);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"main.frm"});
}

TEST(CliForm, SetAndDeleteWriteWhereTheyAreTold) {
    TempDir dir;
    std::string file = dir.File("main.frm"), out = dir.File("out.frm");
    WriteFile(file, kForm);

    auto set = RunTool({"form", "set", file, "Button", "Ok", "Default", "-1", "-o", out});
    EXPECT_EQ(set.exitCode, 0) << set.err;
    EXPECT_EQ(ReadFile(file), kForm);  // the source is untouched
    EXPECT_EQ(ReadFile(out),
              "VERSION 1.00\r\nBegin Form Main\r\n   Caption         =   \"Orders\"\r\n"
              "   Begin Button Ok\r\n      Default = -1\r\n      Caption         =   \"OK\"\r\n"
              "   End\r\nEnd\r\n");

    auto del = RunTool({"form", "delete", out, "button", "ok", "--in-place"});
    EXPECT_EQ(del.exitCode, 0) << del.err;
    EXPECT_EQ(ReadFile(out),
              "VERSION 1.00\r\nBegin Form Main\r\n   Caption         =   \"Orders\"\r\nEnd\r\n");

    auto toStdout = RunTool({"form", "set", file, "Form", "Main", "Caption", "Bye", "-o", "-"});
    EXPECT_EQ(toStdout.exitCode, 0) << toStdout.err;
    const std::string head = "VERSION 1.00\r\nBegin Form Main\r\n   Caption         =   Bye\r\n";
    EXPECT_EQ(toStdout.out.substr(0, head.size()), head);
    EXPECT_EQ(dir.Entries(), (std::vector<std::string>{"main.frm", "out.frm"}));
}

TEST(CliForm, FailuresNameTheProblemAndChangeNothing) {
    TempDir dir;
    std::string file = dir.File("main.frm");
    WriteFile(file, kForm);
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string message;  // part of standard error
    } cases[] = {
        {{"form", "set", file, "Form", "Main", "Caption", "x"}, 1, "--in-place or -o"},
        {{"form", "set", file, "Form", "Nope", "Caption", "x", "--in-place"}, 2, "no section"},
        {{"form", "get", file, "Form", "Main", "Width"}, 2, "no property 'Width'"},
        {{"form", "get", dir.File("absent.frm"), "Form", "Main", "Width"}, 2, "absent.frm"},
        {{"form", "delete", file, "Form"}, 1, "usage"},
        {{"form", "rename", file}, 1, "unknown action"},
        {{"frobnicate"}, 1, "unknown command"},
    };
    for (const auto& c : cases) {
        auto run = RunTool(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.args[1] << ": " << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
    EXPECT_EQ(ReadFile(file), kForm);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"main.frm"});
}

TEST(CliForm, HelpExplainsEachCommandWithAnExample) {
    for (const char* command : {"form", "apppath"}) {
        auto run = RunTool({command, "--help"});
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_NE(run.out.find("usage: brioutil " + std::string(command)), std::string::npos);
        EXPECT_NE(run.out.find("example"), std::string::npos) << command;
    }
    auto overview = RunTool({"--help"});
    EXPECT_EQ(overview.exitCode, 0);
    EXPECT_NE(overview.out.find("apppath"), std::string::npos);
}

TEST(CliAppPath, PrintsTheRegisteredPath) {
    std::string registry = "BRIOUTIL_REGISTRY=" + std::string(BRIOUTIL_EXAMPLES_DIR) + "/apps.reg";
    auto found = RunTool({"apppath", "HELPC.EXE"}, {registry});
    EXPECT_EQ(found.exitCode, 0) << found.err;
    EXPECT_EQ(found.out, "C:\\Tools\\Help\\helpc.exe\n");
    // The default value wins even when listed after Path.
    EXPECT_EQ(RunTool({"apppath", "paint.exe"}, {registry}).out, "C:\\Paint\\paint.exe\n");
    auto missing = RunTool({"apppath", "none.exe"}, {registry});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_NE(missing.err.find("not registered"), std::string::npos);
}

}  // namespace
#endif
