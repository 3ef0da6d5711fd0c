// Set-up shared by the command-line tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

namespace brio::test {

using Args = std::vector<std::string>;

// Two topics of a help-compiler file, a form, a 2 x 2 24-bit bitmap file.
const std::string kPondHelp =
    "{\\rtf1\\ansi\r\n#{\\footnote # A}\r\n${\\footnote $ Alpha}\r\nThe pond.\\par\r\n"
    "\\page\r\n#{\\footnote # B}\r\nThe bed.\\par\r\n}";
const std::string kSmallForm = "Begin Form Main\r\n   Caption = \"A\"\r\nEnd\r\n";
const std::string kExampleRegistry = std::string(BRIOUTIL_EXAMPLES_DIR) + "/apps.reg";

inline std::string TinyBitmap() {
    return std::string(
               "BM\x46\0\0\0\0\0\0\0\x36\0\0\0\x28\0\0\0\2\0\0\0\2\0\0\0\1\0\x18\0\0\0\0\0"
               "\x10\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0",
               54) +
           std::string(16, '\x40');
}

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
    std::string message;
    Args args;
    int exitCode = 2;
};

inline void ExpectFailures(const std::vector<FailingRun>& runs) {
    for (const auto& r : runs) {
        ToolRun run = RunTool(r.args);
        EXPECT_EQ(run.exitCode, r.exitCode) << r.message << ": " << run.err;
        EXPECT_NE(run.err.find(r.message), std::string::npos) << r.message << "\n" << run.err;
        EXPECT_EQ(run.out, "") << r.message;
    }
}

inline Args operator+(Args a, const Args& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The rows of a tab-separated table, each cut into its cells.
inline std::vector<Args> TableRows(const std::string& table) {
    std::vector<Args> rows;
    std::istringstream lines(table);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream in(line);
        rows.emplace_back();
        for (std::string cell; std::getline(in, cell, '\t');) rows.back().push_back(cell);
    }
    return rows;
}

}  // namespace brio::test
