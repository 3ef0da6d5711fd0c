// Set-up shared by the tool's end-to-end tests: folders of inputs, runs that succeed or fail.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "bitmap/picture_fixtures.h"
#include "brioutil.h"
#include "test_support.h"

namespace brio::test::cli {

using namespace brio::test;
namespace fs = std::filesystem;

using Args = std::vector<std::string>;

// Two topics of a help-compiler file; the first holds footnotes that import leaves out (a second
// macro, a mark apart from its footnote, marks in superscript groups), kept in a table column.
inline const std::string kHelp =
    "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}\r\n"
    "#{\\footnote # ONE}\r\n${\\footnote $ First}\r\nK{\\footnote K alpha}\r\n"
    "K{\\footnote K beta}\r\n!\r\n{\\footnote ! Run(\"a\\\\b\")}!{\\footnote ! Two()}"
    "{\\cs16\\super A\r\n{\\footnote A plain;fancy}}@{\\footnote {\\super @} Note: "
    "caf\\'e9 {\\b a|b}}\r\nFirst body\\par\r\n\\page\r\n"
    "#{\\footnote # TWO}\r\n${\\footnote $ Second}\r\n"
    "{\\keepn Head\\par}\\pard Second body\\par\r\n}";

inline const std::string kForm =
    "VERSION 1.00\r\nBegin Form Main\r\n   Caption         =   \"Orders\"\r\n"
    "   Begin Button Ok\n      Caption         =   \"OK\"\r\n   End\r\nEnd";
inline const std::string kSmallForm = "Begin Form Main\r\n   Caption = \"A\"\r\nEnd\r\n";
inline const std::string kExampleRegistry = std::string(BRIOUTIL_EXAMPLES_DIR) + "/apps.reg";

// A 4-bit 8 x 3 bitmap file with a 16-colour table; pelsPerMetre as given.
inline std::string Bitmap(uint32_t ppm) {
    Bytes table(64), rows(12);
    for (uint32_t i = 0; i < 16; ++i) Put32(table, {{4 * i, i * 0x00101010u}});
    for (uint32_t row = 0; row < 3; ++row) Put32(rows, {{4 * row, 0x01234567u * (row + 1)}});
    Bytes dib = MakeDib(8, 3, 4, table, rows);
    Put32(dib, {{20, 12}, {24, ppm}, {28, ppm}});
    return MakeBmp(dib, 64);
}

// A temporary folder holding the given files (name -> bytes); names may hold sub-folders.
struct CliDir : TempDir {
    explicit CliDir(std::initializer_list<std::pair<std::string, std::string>> files = {}) {
        for (const auto& f : files) {
            fs::create_directories(fs::path(File(f.first)).parent_path());
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

// Runs that must fail with the exit code and a message in standard error, printing nothing.
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

inline const std::string kPond = "{\\rtf1 The pond.\\par}";

// Every file under the folder and its bytes.
inline std::map<std::string, std::string> Snapshot(const std::string& folder) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        files[e.path().string()] = e.is_regular_file() ? ReadFile(e.path().string()) : "<dir>";
    return files;
}

// A folder with one file of each kind the commands read, broken ones, and a split help file.
struct Project : CliDir {
    Project()
        : CliDir({{"guide.rtf", kPond},
                  {"help.rtf", kHelp},
                  {"terms.txt", "pond\t\tPOND\n"},
                  {"p.tsv", "context\ttitle\nA\tAlpha\n"},
                  {"f.frm", kSmallForm},
                  {"q.bmp", Bitmap(2835)},
                  {"h.txt", "0 0 1 1 jump A\n"},
                  {"hc/001-ONE.rtf", kHelp},
                  {"in/a.rtf", kPond},
                  {"in/z.rtf", "{\\rtf1 pond {open"},
                  {"open.rtf", "{\\rtf1 #{\\footnote # A}{Text\\par"},
                  {"lone.rtf", "{\\rtf1{\\cs99\\uldb a}{\\cs99\\v A}\\"},
                  {"keepn.tsv", "context\tkeepn\nA\tyes\nB\tmaybe\n"},
                  {"missing.tsv", "file\tcontext\nabsent.rtf\tA\n"},
                  {"wide.tsv", "file\tcontext\nhelp.rtf\tA\textra\n"},
                  {"bad.tsv", "file\tcon\x1b[31mtext\n"},
                  {"kind.txt", "# ok\npond\t\tPOND\nlake\t\tLAKE\tpopover\n"},
                  {"conflict.txt", "pond\t\tPOND\npond\t\tLAKE\n"},
                  {"short.txt", "pond\tPOND\n"},
                  {"link.txt", "0 0 1 1 jump A\n0 0 1 1 link B\n"},
                  {"few.txt", "0 0 4 jump\n"},
                  {"huge.txt", "0 0 70000 2 jump A\n"},
                  {"upside.txt", "0 5 4 2 jump A\n"},
                  {"flip.txt", "4 0 0 2 jump A\n"}}) {
        RunOk({"topics", "split", File("help.rtf"), "--out-dir", File("sp")});
    }
};

}  // namespace brio::test::cli
