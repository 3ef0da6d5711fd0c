#include "test_support.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace brio::test {

std::vector<std::string> ListFiles(const std::string& dir) {
    std::vector<std::string> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec))
        if (entry.is_regular_file()) files.push_back(entry.path().generic_string());
    std::sort(files.begin(), files.end());
    return files;
}

TempDir::TempDir() {
    std::random_device rd;
    fs::path base = fs::temp_directory_path();
    for (;;) {
        fs::path candidate = base / ("brioutil-test-" + std::to_string(rd()));
        std::error_code ec;
        if (fs::create_directory(candidate, ec)) {
            path_ = candidate.generic_string();
            break;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::vector<std::string> TempDir::Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_))
        names.push_back(entry.path().filename().generic_string());
    std::sort(names.begin(), names.end());
    return names;
}

#ifdef BRIOUTIL_CLI_BINARY
static std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

ToolRun RunTool(const std::vector<std::string>& args, const std::vector<std::string>& env,
                const std::string& input) {
    TempDir dir;
    WriteFile(dir.File("in"), input);
    std::string command = "env";
    for (const auto& e : env) command += " " + Quote(e);
    // A checker such as valgrind may run the tool: a command prefix, unquoted.
    if (const char* launcher = std::getenv("BRIOUTIL_TOOL_LAUNCHER"))
        command += " " + std::string(launcher);
    command += " " + Quote(BRIOUTIL_CLI_BINARY);
    for (const auto& a : args) command += " " + Quote(a);
    command += " <" + Quote(dir.File("in")) + " >" + Quote(dir.File("out")) + " 2>" +
               Quote(dir.File("err"));
    int status = std::system(command.c_str());
    int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return {code, ReadFile(dir.File("out")), ReadFile(dir.File("err"))};
}
#endif

#ifndef _WIN32
int RunUnprivileged(const std::function<int()>& body) {
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
