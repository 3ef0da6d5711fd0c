// Shared helpers of the test suite.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

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
inline std::vector<std::string> ListFiles(const std::string& dir) {
    std::vector<std::string> files;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec))
        if (entry.is_regular_file()) files.push_back(entry.path().generic_string());
    std::sort(files.begin(), files.end());
    return files;
}

// A fresh, empty folder for one test's files; removed by the destructor.
class TempDir {
  public:
    TempDir() {
        std::random_device rd;
        std::error_code ec;
        do {
            auto name = "brioutil-test-" + std::to_string(rd());
            path_ = (std::filesystem::temp_directory_path() / name).generic_string();
        } while (!std::filesystem::create_directory(path_, ec));
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path_; }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    // Names of the files now in the folder, sorted.
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path_))
            names.push_back(entry.path().filename().generic_string());
        std::sort(names.begin(), names.end());
        return names;
    }

  private:
    std::string path_;
};

// Result of running the command-line tool.
struct ToolRun {
    int exitCode;
    std::string out;
    std::string err;
};

#ifdef BRIOUTIL_CLI_BINARY
// Runs the brioutil tool with the arguments, environment assignments
// ("NAME=value") and standard input; BRIOUTIL_TOOL_LAUNCHER goes in front.
inline ToolRun RunTool(const std::vector<std::string>& args,
                       const std::vector<std::string>& env = {}, const std::string& input = "") {
    auto quote = [](const std::string& s) {
        std::string q = "'";
        for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return q + "'";
    };
    TempDir dir;
    WriteFile(dir.File("in"), input);
    std::string command = "env";
    for (const auto& e : env) command += " " + quote(e);
    // A checker such as valgrind may run the tool: a command prefix, unquoted.
    if (const char* launcher = std::getenv("BRIOUTIL_TOOL_LAUNCHER"))
        command += " " + std::string(launcher);
    command += " " + quote(BRIOUTIL_CLI_BINARY);
    for (const auto& a : args) command += " " + quote(a);
    command += " <" + quote(dir.File("in")) + " >" + quote(dir.File("out")) + " 2>" +
               quote(dir.File("err"));
    int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(dir.File("out")),
            ReadFile(dir.File("err"))};
}
#endif

#ifndef _WIN32
// Runs `body` in a child process, as an unprivileged user when run as root,
// and gives its exit code (128 + the signal where one ended it).
inline int RunUnprivileged(const std::function<int()>& body) {
    pid_t pid = ::fork();
    if (pid == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) _exit(90);
        _exit(body());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
#endif

}  // namespace brio::test
