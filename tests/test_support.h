// Shared helpers of the test suite.
#pragma once

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace brio::test {

// Real files written by other people, beside the project (read-only).
inline std::string CorpusDir(const std::string& sub = "") {
    const char* env = std::getenv("BRIOUTIL_CORPUS_DIR");
    std::string dir = env && *env ? env : BRIOUTIL_CORPUS_DIR;
    return sub.empty() ? dir : dir + "/" + sub;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

// Files of a corpus folder, sorted by name.
std::vector<std::string> ListFiles(const std::string& dir);

// A fresh, empty folder for one test's files; removed by the destructor.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    // Names of the files now in the folder, sorted.
    std::vector<std::string> Entries() const;

  private:
    std::string path_;
};

// Result of running the command-line tool.
struct ToolRun {
    int exitCode;
    std::string out;
    std::string err;
};

// Runs the brioutil tool with the arguments, environment assignments
// ("NAME=value") and standard input; BRIOUTIL_TOOL_LAUNCHER goes in front.
ToolRun RunTool(const std::vector<std::string>& args, const std::vector<std::string>& env = {},
                const std::string& input = "");

#ifndef _WIN32
// Runs `body` in a child process, as an unprivileged user when run as root,
// and gives its exit code (128 + the signal where one ended it).
int RunUnprivileged(const std::function<int()>& body);
#endif

}  // namespace brio::test
