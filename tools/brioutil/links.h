// What the autolink and unlink commands share: where results go, and the
// links of the "Autolink;" style found in a text.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli.h"

namespace cli {

// One link of the "Autolink;" style: its visible text and its target.
struct Link {
    std::string text, target;
    bool popup = false;
    bool operator==(const Link& o) const {
        return text == o.text && target == o.target && popup == o.popup;
    }
};

// The links of the "Autolink;" style in an RTF text, in order. A text
// without that style has its links as plain hot spots: those count unless
// `styledOnly`.
std::vector<Link> AutolinkLinks(const std::string& rtf, bool styledOnly = false);

// The visible text of RTF: control words and braces dropped, hex escapes
// decoded, escaped characters kept.
std::string PlainText(const std::string& rtf);

// Links of `after` that are not in `before` (as a multiset).
std::vector<Link> NewLinks(const std::vector<Link>& before, const std::vector<Link>& after);

// One input file and where its result goes ("" for a dry run).
struct Job {
    std::string source, destination;
};

// The jobs of a command over a file or a folder: --in-place, -o OUT (a file
// only) or --out-dir DIR; INPUT "-" is standard input (-o only); `dryRun`
// needs none of them. No output may be one of the inputs or `otherInputs`
// (unless in place). *root is the folder the outputs go to when they are
// written together ("" for one file).
std::vector<Job> PlanJobs(const Args& args, const std::string& input, bool dryRun,
                          const std::vector<std::string>& otherInputs, std::string* root);

// Writes every result once all were made, so an input problem in one file
// leaves every output untouched; results under `root` appear together or
// not at all. A file replaced in place is rewritten only when it changed
// (`inputs` are the bytes read).
void WriteResults(const std::vector<Job>& jobs, const std::vector<std::string>& results,
                  const std::vector<std::string>& inputs, const std::string& root);

// JSON reports of autolink and unlink: the links of one file (each with
// its topic number and context when `topic` is not 0), one file, the run.
std::string JsonLinks(const std::vector<Link>& links, size_t topic, const std::string& context,
                      int codePage);
std::string JsonFileReport(const Job& job, bool written, size_t topics, size_t count,
                           const std::string& links);
std::string JsonRunReport(bool dryRun, size_t total, const std::vector<std::string>& files);
// What became of a file: " (unchanged)", " -> DEST" or nothing (a dry run,
// standard output).
std::string FileOutcome(const Job& job, bool written, bool dryRun);
// Prints a run's report over files: JSON, or the files' lines and, for
// several files, the total ("N links made in M files"); `done` and `dry`
// are the verbs with their preposition ("made in", "would be made in").
int FinishLinkRun(std::ostream& log, const Args& args, bool dryRun, size_t total, size_t files,
                  const std::vector<std::string>& json, const std::vector<std::string>& summaries,
                  const char* done, const char* dry);

}  // namespace cli
