// The command-line tool: shared argument handling and error reporting.
#pragma once

#include <string>
#include <vector>

namespace cli {

// Exit codes.
constexpr int kOk = 0;
constexpr int kUsage = 1;     // bad arguments
constexpr int kInput = 2;     // a file or value the tool cannot use
constexpr int kInternal = 3;  // the library failed

// Thrown to end a command with a message and an exit code.
struct Failure {
    int code;
    std::string message;
};

[[noreturn]] void Fail(int code, const std::string& message);

// Arguments of one command: options (--name or --name=value, -o value)
// and the positional arguments in order. An option the command does not
// know, or one without its value, fails (exit 2) naming it and the known
// option closest to it. Every command also knows -q, -v and --json.
class Args {
  public:
    // `flags` take no value, `valued` take one.
    Args(const std::vector<std::string>& argv, const std::vector<std::string>& flags,
         const std::vector<std::string>& valued);
    // Fails unless every option given is one of `allowed` (or common to all
    // commands): options of a command that one of its actions has no use for.
    void Only(const std::string& action, const std::vector<std::string>& allowed) const;
    bool Flag(const std::string& name) const;
    // The option's value, or `fallback` when absent.
    std::string Value(const std::string& name, const std::string& fallback = "") const;
    bool Has(const std::string& name) const;
    const std::vector<std::string>& Positional() const { return positional_; }
    // Fails with a usage error unless between min and max positionals.
    void Expect(size_t min, size_t max, const std::string& usage) const;
    bool Quiet() const { return Has("-q") || Has("--quiet"); }
    bool Verbose() const { return Has("-v") || Has("--verbose"); }
    bool Json() const { return Has("--json"); }

  private:
    std::vector<std::pair<std::string, std::string>> options_;
    std::vector<std::string> positional_;
};

struct Command {
    const char* name;
    const char* summary;
    const char* help;  // full --help text, with an example
    int (*run)(const std::vector<std::string>& args);
};

// Every command of the tool, in the order of the overview.
const std::vector<Command>& Commands();

// Reads a whole file ("-" is standard input); fails with kInput.
std::string ReadInput(const std::string& path);
// The next line of `text` from *pos, without its CR LF or LF; false at the
// end. *pos moves past the line.
bool NextLine(const std::string& text, size_t* pos, std::string* line);
// Writes a whole file atomically ("-" is standard output); fails with kInput.
void WriteOutput(const std::string& path, const std::string& bytes);
// True when standard error is a terminal (progress lines go there).
bool ProgressWanted();
// JSON string literal of UTF-8 text (other bytes are read as Windows-1252).
std::string JsonString(const std::string& text);

// Command entry points.
int RunAutolink(const std::vector<std::string>& args);
int RunUnlink(const std::vector<std::string>& args);
int RunTopics(const std::vector<std::string>& args);
int RunFind(const std::vector<std::string>& args);
int RunPicture(const std::vector<std::string>& args);
int RunForm(const std::vector<std::string>& args);
int RunAppPath(const std::vector<std::string>& args);

}  // namespace cli
