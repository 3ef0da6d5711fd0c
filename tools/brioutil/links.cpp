#include "links.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "files.h"
#include "helpdoc.h"
#include "report.h"

namespace fs = std::filesystem;

namespace cli {

namespace {

// The number of the "Autolink;" character style in the text's style sheet.
int AutolinkStyle(const std::string& rtf) {
    size_t name = rtf.find("Autolink;");
    if (name == std::string::npos) return -1;
    size_t open = rtf.rfind('{', name);
    if (open == std::string::npos) return -1;
    size_t cs = rtf.find("\\cs", open);
    if (cs == std::string::npos || cs > name) return -1;
    int number = 0;
    size_t i = cs + 3;
    if (i >= rtf.size() || !std::isdigit(static_cast<unsigned char>(rtf[i]))) return -1;
    while (i < rtf.size() && std::isdigit(static_cast<unsigned char>(rtf[i])))
        number = number * 10 + (rtf[i++] - '0');
    return number;
}

}  // namespace

std::string PlainText(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '{' || c == '}' || c == '\r' || c == '\n') continue;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (i + 1 >= s.size()) break;
        char n = s[i + 1];
        if (n == '\'' && i + 3 < s.size() && std::isxdigit(static_cast<unsigned char>(s[i + 2])) &&
            std::isxdigit(static_cast<unsigned char>(s[i + 3]))) {
            out += static_cast<char>(std::strtol(s.substr(i + 2, 2).c_str(), nullptr, 16));
            i += 3;
        } else if (std::isalpha(static_cast<unsigned char>(n))) {
            size_t j = i + 1;
            while (j < s.size() && std::isalpha(static_cast<unsigned char>(s[j]))) ++j;
            if (j < s.size() && (s[j] == '-' || std::isdigit(static_cast<unsigned char>(s[j])))) {
                ++j;
                while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
            }
            if (j < s.size() && s[j] == ' ') ++j;
            i = j - 1;
        } else {
            out += n == '~' ? ' ' : n;
            ++i;
        }
    }
    return out;
}

namespace {

// Whether the control words at the start of a group's content include `word`.
bool LeadingWord(const std::string& content, const std::string& word) {
    size_t i = 0;
    // Line ends among the words are no part of the text.
    auto skipLineEnds = [&] {
        while (i < content.size() && (content[i] == '\r' || content[i] == '\n')) ++i;
    };
    for (skipLineEnds(); i < content.size() && content[i] == '\\'; skipLineEnds()) {
        size_t j = i + 1;
        while (j < content.size() && std::isalpha(static_cast<unsigned char>(content[j]))) ++j;
        if (content.compare(i + 1, j - i - 1, word) == 0) return true;
        while (j < content.size() &&
               (std::isdigit(static_cast<unsigned char>(content[j])) || content[j] == '-'))
            ++j;
        i = j;
    }
    return false;
}

}  // namespace

std::vector<Link> AutolinkLinks(const std::string& rtf, bool styledOnly) {
    std::vector<Link> links;
    int style = AutolinkStyle(rtf);
    if (style < 0 && styledOnly) return links;
    // Without the style, links are plain hot spots: "{\uldb text}{\v target}".
    std::string mark = style < 0 ? "{" : "{\\cs" + std::to_string(style);
    std::string text;
    bool popup = false;
    for (size_t at = rtf.find(mark); at != std::string::npos; at = rtf.find(mark, at + 1)) {
        size_t after = at + mark.size();
        if (after >= rtf.size() || std::isdigit(static_cast<unsigned char>(rtf[after]))) continue;
        if (at > 0 && rtf[at - 1] == '\\') continue;  // an escaped brace
        // The style sheet's own entry is "{\*\csN": not matched by "{\csN".
        int depth = 0;
        size_t end = after;
        for (; end < rtf.size(); ++end) {
            if (rtf[end] == '\\') {
                ++end;
            } else if (rtf[end] == '{') {
                ++depth;
            } else if (rtf[end] == '}' && depth-- == 0) {
                break;
            }
        }
        std::string content = rtf.substr(after, end - after);
        if (LeadingWord(content, "v")) {
            Link link;
            link.text = text;
            link.target = PlainText(content);
            link.popup = popup;
            // Trim the blanks that pieces of a split link keep.
            link.text.erase(0, link.text.find_first_not_of(' '));
            link.text.erase(link.text.find_last_not_of(' ') + 1);
            links.push_back(link);
            text.clear();
        } else if (LeadingWord(content, "uldb") || LeadingWord(content, "ul")) {
            popup = !LeadingWord(content, "uldb");
            text += PlainText(content);
        }
    }
    return links;
}

std::vector<Link> NewLinks(const std::vector<Link>& before, const std::vector<Link>& after) {
    std::vector<Link> old = before, added;
    for (const auto& l : after) {
        bool found = false;
        for (auto it = old.begin(); it != old.end(); ++it) {
            if (*it == l) {
                old.erase(it);
                found = true;
                break;
            }
        }
        if (!found) added.push_back(l);
    }
    return added;
}

std::vector<Job> PlanJobs(const Args& args, const std::string& input, bool dryRun,
                          const std::vector<std::string>& otherInputs, std::string* root) {
    bool inPlace = args.Flag("--in-place");
    bool toFile = args.Has("-o");
    bool toDir = args.Has("--out-dir");
    int given = inPlace + toFile + toDir;
    if (!dryRun && given != 1) Fail(kUsage, "give one of --in-place, -o OUT or --out-dir DIR");
    if (dryRun && given != 0) Fail(kUsage, "--dry-run writes nothing: drop the output option");
    if (toFile) CheckOutputFile(args.Value("-o"), "-o");
    if (toDir) CheckOutputFolder(args.Value("--out-dir"), "--out-dir");
    root->clear();
    if (input == "-") {
        if (inPlace || toDir) Fail(kUsage, "standard input can only go to -o OUT");
        if (!dryRun) RefuseOverwrite(otherInputs, args.Value("-o"));
        return {Job{input, dryRun ? "" : args.Value("-o")}};
    }
    bool folder = IsFolder(input);
    if (!folder && !Exists(input)) Fail(kInput, input + ": no such file or folder");
    if (folder && toFile) Fail(kUsage, input + " is a folder: use --out-dir DIR or --in-place");
    std::vector<Job> jobs;
    std::vector<std::string> sources;
    if (folder) {
        sources = RtfFilesUnder(input);
        if (sources.empty()) Fail(kInput, input + ": no .rtf files in this folder");
    } else {
        sources.push_back(input);
    }
    if (!dryRun && (toDir || (folder && inPlace))) *root = toDir ? args.Value("--out-dir") : input;
    std::string base = folder ? fs::u8path(input).generic_u8string() : "";
    for (const auto& source : sources) {
        Job job{source, ""};
        if (inPlace) {
            job.destination = source;
        } else if (toFile) {
            job.destination = args.Value("-o");
        } else if (toDir) {
            fs::path rel = folder ? fs::u8path(source).lexically_relative(fs::u8path(base))
                                  : fs::u8path(source).filename();
            job.destination = (fs::u8path(args.Value("--out-dir")) / rel).generic_u8string();
        }
        if (!dryRun) {
            RefuseOverwrite(otherInputs, job.destination);
            if (!inPlace) RefuseOverwrite(sources, job.destination, "--in-place");
        }
        jobs.push_back(job);
    }
    return jobs;
}

void WriteResults(const std::vector<Job>& jobs, const std::vector<std::string>& results,
                  const std::vector<std::string>& inputs, const std::string& root) {
    auto unchanged = [&](size_t i) {
        return jobs[i].destination == jobs[i].source && results[i] == inputs[i];
    };
    if (root.empty()) {
        for (size_t i = 0; i < jobs.size(); ++i)
            if (!jobs[i].destination.empty() && !unchanged(i))
                WriteOutput(jobs[i].destination, results[i]);
        return;
    }
    Staging staging(root);
    for (size_t i = 0; i < jobs.size(); ++i) {
        if (jobs[i].destination.empty() || unchanged(i)) continue;
        fs::path rel = fs::u8path(jobs[i].destination).lexically_relative(fs::u8path(root));
        staging.Write(rel.generic_u8string(), results[i]);
    }
    staging.Commit();
}

std::string FileOutcome(const Job& job, bool written, bool dryRun) {
    if (dryRun) return "";
    if (!written) return " (unchanged)";
    return job.destination != "-" ? " -> " + Printable(job.destination) : "";
}

int FinishLinkRun(std::ostream& log, const Args& args, bool dryRun, size_t total, size_t files,
                  const std::vector<std::string>& json, const std::vector<std::string>& summaries,
                  const char* done, const char* dry) {
    if (args.Json()) {
        log << JsonRunReport(dryRun, total, json);
        return kOk;
    }
    if (args.Quiet() && !dryRun) return kOk;
    for (const auto& line : summaries) log << line << "\n";
    if (files > 1)
        log << Count(total, "link") << " " << (dryRun ? dry : done) << " " << Count(files, "file")
            << "\n";
    return kOk;
}

}  // namespace cli
