// brioutil autolink: turns registered terms into links, in one topic file,
// every topic of a help-compiler file, or every .rtf file under a folder.
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "brioutil.h"
#include "cli.h"
#include "files.h"
#include "helpdoc.h"
#include "links.h"
#include "report.h"
#include "textcode.h"

namespace fs = std::filesystem;

namespace cli {

namespace {

// A yes/no field of the terms file; empty means no.
bool YesNo(const std::string& value, const std::string& where, const char* column) {
    static const char* const kYes[] = {"yes", "y", "1", "true", "case"};
    static const char* const kNo[] = {"", "no", "n", "0", "false", "nocase"};
    for (const char* y : kYes)
        if (value == y) return true;
    for (const char* n : kNo)
        if (value == n) return false;
    Fail(kInput, where + ": " + column + " must be yes or no, not '" + value + "'");
}

struct DictionaryDone {
    void operator()(AutolinkDictionary* d) const { AutolinkDone(d); }
};
using Dictionary = std::unique_ptr<AutolinkDictionary, DictionaryDone>;

// The term, synonyms and target of a terms line in the documents' code
// page; false (with a warning) when that code page cannot hold them.
bool InCodePage(std::vector<std::string>* f, int input, int codePage, const std::string& where) {
    if (input == codePage) return true;
    for (size_t k = 0; k < 3; ++k) {
        std::string out, bad;
        if (ConvertText((*f)[k], input, codePage, &out, &bad)) {
            (*f)[k] = out;
            continue;
        }
        if (input == kUtf8 && !IsUtf8((*f)[k]))
            Fail(kInput,
                 where + ": not UTF-8 (" + bad + "): name the file's encoding with --encoding");
        std::cerr << "brioutil autolink: " << where << ": '" << ToUtf8((*f)[0], input)
                  << "' is left out: code page " << codePage << " has no '" << bad << "'\n";
        return false;
    }
    return true;
}

// Reads a terms file: term, synonyms (";"-separated), target, jump or popup,
// case-sensitive, exclude; tab-separated, '#' starts a comment line. The
// file is in the `input` encoding; the dictionary is in `codePage`, and a
// term that code page cannot hold is reported and left out.
Dictionary ReadTerms(const std::string& path, const std::string& text, int input, int codePage) {
    Dictionary dictionary;
    size_t pos = 0;
    int line = 0, terms = 0;
    std::string l;
    while (NextLine(text, &pos, &l)) {
        ++line;
        if (l.find_first_not_of(" \t") == std::string::npos || l[0] == '#') continue;
        std::string where = path + ":" + std::to_string(line);
        std::vector<std::string> f;
        for (size_t start = 0;;) {
            size_t tab = l.find('\t', start);
            f.push_back(l.substr(start, tab == std::string::npos ? tab : tab - start));
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        if (f.size() < 3 || f.size() > 6)
            Fail(kInput, where +
                             ": expected TERM<tab>SYNONYMS<tab>TARGET[<tab>jump|popup"
                             "<tab>CASE<tab>EXCLUDE], found " +
                             std::to_string(f.size()) + " fields");
        f.resize(6);
        if (f[0].empty()) Fail(kInput, where + ": the term is empty");
        bool exclude = YesNo(f[5], where, "exclude");
        if (f[2].empty() && !exclude) Fail(kInput, where + ": the target is empty");
        bool popup = false;
        if (f[3] == "popup")
            popup = true;
        else if (f[3] != "jump" && !f[3].empty())
            Fail(kInput, where + ": the link kind must be jump or popup, not '" + f[3] + "'");
        bool caseSensitive = YesNo(f[4], where, "case-sensitive");
        ++terms;
        if (!InCodePage(&f, input, codePage, where)) continue;
        int32_t result = 0;
        AutolinkDictionary* d =
            AutolinkReference(dictionary.get(), f[0].c_str(), f[1].c_str(), f[2].c_str(), exclude,
                              caseSensitive, "", popup, &result);
        if (!d) Fail(kInternal, where + ": out of memory");
        if (!dictionary) dictionary.reset(d);
        if (result != BRIO_OK)
            Fail(kInput, where + ": '" + ToUtf8(f[0], codePage) + "': " + StatusText(result));
    }
    if (terms == 0) Fail(kInput, path + ": no terms");
    if (!dictionary)
        Fail(kInput, path + ": no term can be written in code page " + std::to_string(codePage));
    return dictionary;
}

struct Settings {
    AutolinkDictionary* dictionary = nullptr;
    bool once = false;
    uint32_t colour = 0;
    std::string context;  // the topic's own context string (plain topic files)
};

std::string LinkTopic(const Settings& s, const std::string& rtf, const std::string& context,
                      const std::string& where) {
    int32_t length = 0, result = 0;
    char* out = Autolink(s.dictionary, rtf.c_str(), context.c_str(), context.c_str(), s.once,
                         s.colour, &length, &result);
    if (!out || result != BRIO_OK)
        Fail(result == BRIO_ERR_NO_MEMORY ? kInternal : kInput, where + ": " + StatusText(result));
    return std::string(out, static_cast<size_t>(length));
}

// The context string that the topics.tsv beside a split topic file gives it
// (written by 'topics split'), so the topic does not link to itself.
std::string ContextFromProperties(const std::string& file) {
    fs::path path = fs::u8path(file);
    fs::path props = path.parent_path() / "topics.tsv";
    if (!Exists(props.u8string())) return "";
    Table table = ReadTable(ReadInput(props.u8string()), props.u8string(), kTopicColumns);
    for (size_t r = 0; r < table.rows.size(); ++r)
        if (table.Cell(r, "file") == path.filename().u8string()) return table.Cell(r, "context");
    return "";
}

uint32_t Colour(const Args& args) {
    std::string v = args.Value("--colour", "0");
    if (v.empty() || v.size() > 3 || v.find_first_not_of("0123456789") != std::string::npos ||
        std::stoi(v) > 255)
        Fail(kUsage, "--colour takes a colour-table index 0-255, not '" + v + "'");
    return static_cast<uint32_t>(std::stoi(v));
}

void Report(std::ostream& out, const std::string& where, const std::vector<Link>& links,
            int codePage) {
    for (const auto& l : links)
        out << Printable(where) << ": \"" << Printable(ToUtf8(l.text, codePage)) << "\" -> "
            << Printable(ToUtf8(l.target, codePage)) << (l.popup ? " (popup)" : " (jump)") << "\n";
}

}  // namespace

std::string JsonLinks(const std::vector<Link>& links, size_t topic, const std::string& context,
                      int codePage) {
    std::string out;
    for (const auto& l : links) {
        out += out.empty() ? "" : ", ";
        out += "{";
        if (topic)
            out += "\"topic\": " + std::to_string(topic) + ", \"context\": " + JsonString(context) +
                   ", ";
        out += "\"text\": " + JsonString(ToUtf8(l.text, codePage)) +
               ", \"target\": " + JsonString(ToUtf8(l.target, codePage)) + ", \"kind\": \"" +
               (l.popup ? "popup" : "jump") + "\"}";
    }
    return out;
}

std::string JsonFileReport(const Job& job, bool written, size_t topics, size_t count,
                           const std::string& links) {
    return "{\"file\": " + JsonString(job.source) +
           ", \"output\": " + (job.destination.empty() ? "null" : JsonString(job.destination)) +
           ", \"written\": " + (written ? "true" : "false") +
           (topics ? ", \"topics\": " + std::to_string(topics) : "") +
           ", \"count\": " + std::to_string(count) + ", \"links\": [" + links + "]}";
}

std::string JsonRunReport(bool dryRun, size_t total, const std::vector<std::string>& files) {
    std::string out = "{\"dryRun\": " + std::string(dryRun ? "true" : "false") +
                      ", \"count\": " + std::to_string(total) + ", \"files\": [";
    for (size_t i = 0; i < files.size(); ++i) out += (i ? ",\n  " : "\n  ") + files[i];
    return out + (files.empty() ? "]}\n" : "\n]}\n");
}

namespace {

// What linking one input gave: the bytes to write and what to report.
struct JobOutcome {
    std::string result;
    size_t links = 0, topics = 1;
    std::string linksJson;
};

struct LinkRun {
    Settings settings;
    bool dryRun, list, topicProgress;
    std::ostream& log;
};

// Links every topic of a help-compiler file and joins them back.
JobOutcome LinkHelpFile(LinkRun& run, const std::string& source, const std::string& rtf,
                        int codePage) {
    JobOutcome out;
    std::vector<Topic> topics = SplitTopics(rtf, source);
    out.topics = topics.size();
    std::vector<std::string> documents;
    Progress progress("topic", run.topicProgress ? topics.size() : 0);
    for (size_t i = 0; i < topics.size(); ++i) {
        Topic& t = topics[i];
        progress.Step(t.context);
        std::string where = source + " [topic " + std::to_string(i + 1) +
                            (t.context.empty() ? "" : " " + t.context) + "]";
        std::string linked = LinkTopic(run.settings, t.rtf, t.context, where);
        std::vector<Link> added = NewLinks(AutolinkLinks(t.rtf), AutolinkLinks(linked));
        out.links += added.size();
        if (run.list) Report(run.log, where, added, codePage);
        std::string j = JsonLinks(added, i + 1, t.context, codePage);
        if (!j.empty()) out.linksJson += (out.linksJson.empty() ? "" : ", ") + j;
        if (run.dryRun) continue;
        t.rtf = linked;
        documents.push_back(EmitTopic(t));
    }
    if (!run.dryRun) out.result = JoinDocuments(documents);
    return out;
}

JobOutcome LinkTopicFile(LinkRun& run, const std::string& source, const std::string& rtf,
                         const std::string& context, int codePage) {
    JobOutcome out;
    std::string linked = LinkTopic(run.settings, rtf, context, source);
    std::vector<Link> added = NewLinks(AutolinkLinks(rtf), AutolinkLinks(linked));
    out.links = added.size();
    if (run.list) Report(run.log, source, added, codePage);
    out.linksJson = JsonLinks(added, 0, "", codePage);
    if (!run.dryRun) out.result = std::move(linked);
    return out;
}

}  // namespace

int RunAutolink(const std::vector<std::string>& argv) {
    Args args(argv, {"--in-place", "--once", "--dry-run"},
              {"-o", "--out-dir", "--colour", "--context", "--encoding"});
    args.Expect(2, 2, "brioutil autolink TERMS INPUT (--in-place | -o OUT | --out-dir DIR)");
    bool dryRun = args.Flag("--dry-run");
    const std::string& termsPath = args.Positional()[0];
    const std::string& input = args.Positional()[1];
    if (termsPath == "-" && input == "-") Fail(kUsage, "standard input can be read only once");
    std::string root;
    std::vector<Job> jobs = PlanJobs(args, input, dryRun, {termsPath}, &root);
    std::string termsText = ReadInput(termsPath);
    int encoding = InputCodePage(args);
    // One dictionary for each code page the documents are in.
    std::map<int, Dictionary> dictionaries;
    bool toStdout = jobs.size() == 1 && jobs[0].destination == "-";
    // Links are listed for a dry run, and with -v.
    LinkRun run{Settings{}, dryRun, (dryRun || args.Verbose()) && !args.Json(),
                jobs.size() == 1 && !args.Quiet(), toStdout ? std::cerr : std::cout};
    run.settings.once = args.Flag("--once");
    run.settings.colour = Colour(args);
    run.settings.context = args.Value("--context");

    std::vector<std::string> inputs, results, summaries, json;
    std::vector<JobOutcome> outcomes;
    size_t total = 0;
    Progress progress("autolink", args.Quiet() ? 0 : jobs.size());
    for (const auto& job : jobs) {
        progress.Step(job.source);
        std::string rtf = ReadInput(job.source);
        RequireRtf(rtf, job.source);
        int codePage = DocumentCodePage(rtf);
        Dictionary& d = dictionaries[codePage];
        if (!d) d = ReadTerms(termsPath, termsText, encoding, codePage);
        run.settings.dictionary = d.get();
        if (IsHelpCompilerRtf(rtf)) {
            outcomes.push_back(LinkHelpFile(run, job.source, rtf, codePage));
        } else {
            std::string context = args.Has("--context") || job.source == "-"
                                      ? run.settings.context
                                      : ContextFromProperties(job.source);
            outcomes.push_back(LinkTopicFile(run, job.source, rtf, context, codePage));
        }
        results.push_back(std::move(outcomes.back().result));
        inputs.push_back(std::move(rtf));
        total += outcomes.back().links;
    }
    progress.Done();
    WriteResults(jobs, results, inputs, root);
    for (size_t i = 0; i < jobs.size(); ++i) {
        const Job& job = jobs[i];
        const JobOutcome& o = outcomes[i];
        bool written = !dryRun && !(job.destination == job.source && results[i] == inputs[i]);
        json.push_back(JsonFileReport(job, written, o.topics, o.links, o.linksJson));
        std::string summary = Printable(job.source) + ": " + Count(o.links, "link") +
                              (dryRun ? " would be made" : " made");
        if (o.topics > 1) summary += " in " + Count(o.topics, "topic");
        summaries.push_back(summary + FileOutcome(job, written, dryRun));
    }
    return FinishLinkRun(run.log, args, dryRun, total, jobs.size(), json, summaries, "made in",
                         "would be made in");
}

}  // namespace cli
