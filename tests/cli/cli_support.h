// Set-up shared by the command-line tests.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

namespace brio::test {

using Args = std::vector<std::string>;

// A temporary folder holding the given files (name -> bytes); names may hold sub-folders.
struct CliDir : TempDir {
    explicit CliDir(std::initializer_list<std::pair<std::string, std::string>> files = {}) {
        for (const auto& f : files) {
            std::filesystem::create_directories(std::filesystem::path(File(f.first)).parent_path());
            WriteFile(File(f.first), f.second);
        }
    }
};

// Runs the tool, expects exit code 0 and returns standard output.
inline std::string RunOk(const Args& args, const std::string& input = "") {
    ToolRun run = RunTool(args, {}, input);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return run.out;
}

// Runs that must fail with the exit code and a message (part of standard
// error), printing nothing on standard output.
struct FailingRun {
    Args args;
    int exitCode;
    std::string message;
};

inline void ExpectFailures(const std::vector<FailingRun>& runs) {
    for (const auto& r : runs) {
        ToolRun run = RunTool(r.args);
        EXPECT_EQ(run.exitCode, r.exitCode) << r.message << ": " << run.err;
        EXPECT_NE(run.err.find(r.message), std::string::npos) << r.message << "\n" << run.err;
        EXPECT_EQ(run.out, "") << r.message;
    }
}

}  // namespace brio::test
