// brioutil: the library's jobs from the command line.
#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "brioutil_host.h"
#include "cli.h"
#include "files.h"
#include "textcode.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace cli {

void Fail(int code, const std::string& message) {
    throw Failure{code, message};
}

namespace {

const std::vector<std::string> kCommonFlags = {"-q", "--quiet", "-v", "--verbose", "--json"};

size_t Distance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

std::string Closest(const std::string& name, const std::vector<std::string>& known) {
    std::string best;
    size_t distance = SIZE_MAX;
    for (const auto& k : known) {
        size_t d = Distance(name, k);
        if (d < distance) {
            distance = d;
            best = k;
        }
    }
    return best;
}

bool Contains(const std::vector<std::string>& list, const std::string& name) {
    return std::find(list.begin(), list.end(), name) != list.end();
}

}  // namespace

Args::Args(const std::vector<std::string>& argv, const std::vector<std::string>& flags,
           const std::vector<std::string>& valued) {
    std::vector<std::string> known = flags;
    known.insert(known.end(), kCommonFlags.begin(), kCommonFlags.end());
    known.insert(known.end(), valued.begin(), valued.end());
    bool optionsDone = false;
    for (size_t i = 0; i < argv.size(); ++i) {
        const std::string& a = argv[i];
        // "-1" is a value (form files are full of them), not an option.
        bool option = a.size() >= 2 && a[0] == '-' &&
                      (a[1] == '-' || std::isalpha(static_cast<unsigned char>(a[1])));
        if (optionsDone || !option) {
            positional_.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsDone = true;
            continue;
        }
        std::string name = a, value;
        size_t eq = a.compare(0, 2, "--") == 0 ? a.find('=') : std::string::npos;
        if (eq != std::string::npos) name = a.substr(0, eq);
        if (!Contains(known, name))
            Fail(kInput,
                 "unknown option " + name + " (did you mean " + Closest(name, known) + "?)");
        bool takesValue = Contains(valued, name);
        if (eq != std::string::npos) {
            if (!takesValue) Fail(kInput, "option " + name + " takes no value");
            value = a.substr(eq + 1);
        } else if (takesValue) {
            if (i + 1 >= argv.size()) Fail(kInput, "option " + name + " needs a value");
            value = argv[++i];
        }
        options_.emplace_back(name, value);
    }
    if (Quiet() && Verbose()) Fail(kUsage, "give -q or -v, not both");
}

void Args::Only(const std::string& action, const std::vector<std::string>& allowed) const {
    for (const auto& o : options_)
        if (!Contains(allowed, o.first) && !Contains(kCommonFlags, o.first))
            Fail(kInput, "option " + o.first + " does not apply to '" + action + "'");
}

bool Args::Has(const std::string& name) const {
    for (const auto& o : options_)
        if (o.first == name) return true;
    return false;
}

bool Args::Flag(const std::string& name) const {
    return Has(name);
}

std::string Args::Value(const std::string& name, const std::string& fallback) const {
    for (auto it = options_.rbegin(); it != options_.rend(); ++it)
        if (it->first == name) return it->second;
    return fallback;
}

void Args::Expect(size_t min, size_t max, const std::string& usage) const {
    if (positional_.size() < min || positional_.size() > max) Fail(kUsage, "usage: " + usage);
}

bool NextLine(const std::string& text, size_t* pos, std::string* line) {
    if (*pos >= text.size()) return false;
    size_t end = text.find('\n', *pos);
    if (end == std::string::npos) end = text.size();
    line->assign(text, *pos, end - *pos);
    *pos = end + 1;
    if (!line->empty() && line->back() == '\r') line->pop_back();
    return true;
}

std::string ReadInput(const std::string& path) {
    std::string bytes;
    FILE* f = path == "-" ? stdin : OpenFile(path, "rb");
    if (!f) Fail(kInput, path + ": cannot open: " + std::strerror(errno));
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    bool failed = std::ferror(f) != 0;
    if (f != stdin) std::fclose(f);
    if (failed) Fail(kInput, path + ": read error");
    return bytes;
}

void WriteOutput(const std::string& path, const std::string& bytes) {
    if (path == "-") {
        if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() ||
            std::fflush(stdout) != 0)
            Fail(kInput, "standard output: write error");
        return;
    }
    int32_t status = BrioHostReplaceFile(path.c_str(), bytes.data(), bytes.size());
    if (status == BRIO_ERR_CREATE_OUTPUT)
        Fail(kInput, path + ": cannot create: " + std::strerror(errno));
    if (status == BRIO_ERR_NO_MEMORY) Fail(kInternal, path + ": out of memory");
    if (status != BRIO_OK) Fail(kInput, path + ": write error");
}

bool ProgressWanted() {
    return isatty(fileno(stderr)) != 0;
}

std::string JsonString(const std::string& text) {
    // Windows-1252 bytes 0x80-0x9F that differ from Latin-1.
    static const unsigned short k1252[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    std::string out = "\"";
    char buffer[8];
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t n = c >= 0x80 ? Utf8Length(text, i) : 0;
        if (n > 1) {  // UTF-8 stays as it is
            out.append(text, i, n);
            i += n - 1;
            continue;
        }
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c >= 0x7F) {
                    unsigned code = c >= 0x80 && c < 0xA0 ? k1252[c - 0x80] : c;
                    std::snprintf(buffer, sizeof buffer, "\\u%04x", code);
                    out += buffer;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

namespace {

void PrintOverview() {
    std::cout << "brioutil - help topics, Autolink, hotspot pictures, form files and "
                 "application paths\n\n"
                 "usage: brioutil COMMAND [ARGS...]\n\ncommands:\n";
    for (const auto& c : Commands()) std::printf("  %-10s %s\n", c.name, c.summary);
    std::cout << "\n'brioutil COMMAND --help' explains a command, with an example.\n"
                 "Every command takes -q (nothing but errors), -v (more detail) and --json\n"
                 "(its report as JSON). Exit codes: 0 done, 1 usage error, 2 input problem\n"
                 "(an unknown option, a file the command cannot use or must not replace),\n"
                 "3 internal error.\n";
}

}  // namespace

}  // namespace cli

int main(int argc, char** argv) {
    using namespace cli;
#ifdef _WIN32
    // Results on standard output and input read from standard input are
    // bytes (bitmaps, RTF): no CR LF translation, no end of file at Ctrl-Z.
    // Messages keep LF too, so both builds print the same bytes.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    // Pictures pass through a clipboard; the system one is the user's, and
    // runs side by side would take each other's bitmaps.
    BrioHostClipboardUsePrivate(1);
#ifdef SIGXFSZ
    // Past a file-size limit a write then fails with an error the tool
    // reports, and the temporary file is removed, instead of a kill.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        if (args.size() >= 2)
            args = {args[1], "--help"};
        else {
            PrintOverview();
            return args.empty() ? kUsage : kOk;
        }
    }
    if (args[0] == "--version") {
        std::cout << "brioutil 0.1.0\n";
        return kOk;
    }
    for (const auto& c : Commands()) {
        if (args[0] != c.name) continue;
        std::vector<std::string> rest(args.begin() + 1, args.end());
        for (const auto& a : rest) {
            if (a == "--") break;
            if (a == "--help" || a == "-h") {
                std::cout << c.help;
                return kOk;
            }
        }
        try {
            return c.run(rest);
        } catch (const Failure& f) {
            std::cerr << "brioutil " << c.name << ": " << Printable(f.message) << "\n";
            if (f.code == kUsage) std::cerr << "(see 'brioutil " << c.name << " --help')\n";
            return f.code;
        } catch (const std::exception& e) {
            std::cerr << "brioutil " << c.name << ": internal error: " << e.what() << "\n";
            return kInternal;
        }
    }
    std::cerr << "brioutil: unknown command '" << args[0] << "' (see 'brioutil --help')\n";
    return kUsage;
}
