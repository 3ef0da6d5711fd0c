// brioutil unlink: takes the links of the "Autolink;" style apart again.
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "brioutil.h"
#include "cli.h"
#include "files.h"
#include "helpdoc.h"
#include "links.h"
#include "report.h"
#include "textcode.h"

namespace cli {

int RunUnlink(const std::vector<std::string>& argv) {
    Args args(argv, {"--in-place", "--dry-run"}, {"-o", "--out-dir"});
    args.Expect(1, 1, "brioutil unlink INPUT (--in-place | -o OUT | --out-dir DIR)");
    bool dryRun = args.Flag("--dry-run");
    std::string root;
    std::vector<Job> jobs = PlanJobs(args, args.Positional()[0], dryRun, {}, &root);
    bool toStdout = jobs.size() == 1 && jobs[0].destination == "-";
    std::ostream& log = toStdout ? std::cerr : std::cout;
    std::vector<std::string> inputs, results, summaries, json;
    std::vector<std::vector<Link>> removed;
    size_t total = 0;
    Progress progress("unlink", args.Quiet() ? 0 : jobs.size());
    for (const auto& job : jobs) {
        progress.Step(job.source);
        std::string rtf = ReadInput(job.source);
        RequireRtf(rtf, job.source);
        int32_t length = 0, result = 0;
        char* out = AutolinkRemove(rtf.c_str(), &length, &result);
        std::string text = out ? std::string(out, static_cast<size_t>(length)) : "";
        std::free(out);
        // A complete pass reports -1.
        if (result != BRIO_END_OF_INPUT) {
            if (result == BRIO_ERR_UNEXPECTED_END)
                Fail(kInput, job.source + ": the RTF ends in a lone backslash");
            Fail(result == BRIO_ERR_NO_MEMORY ? kInternal : kInput,
                 job.source + ": " + StatusText(result));
        }
        removed.push_back(AutolinkLinks(rtf, true));
        total += removed.back().size();
        results.push_back(text);
        inputs.push_back(std::move(rtf));
    }
    progress.Done();
    WriteResults(jobs, results, inputs, root);
    for (size_t i = 0; i < jobs.size(); ++i) {
        const Job& job = jobs[i];
        bool written = !dryRun && !(job.destination == job.source && results[i] == inputs[i]);
        size_t links = removed[i].size();
        int codePage = DocumentCodePage(inputs[i]);
        json.push_back(
            JsonFileReport(job, written, 0, links, JsonLinks(removed[i], 0, "", codePage)));
        if (args.Verbose())
            for (const auto& l : removed[i])
                summaries.push_back(Printable(job.source) + ": \"" +
                                    Printable(ToUtf8(l.text, codePage)) + "\" -> " +
                                    Printable(ToUtf8(l.target, codePage)) +
                                    (l.popup ? " (popup)" : " (jump)"));
        std::string summary = Printable(job.source) + ": " + Count(links, "link") +
                              (dryRun ? " would be removed" : " removed");
        summaries.push_back(summary + FileOutcome(job, written, dryRun));
    }
    return FinishLinkRun(log, args, dryRun, total, jobs.size(), json, summaries, "removed from",
                         "would be removed from");
}

}  // namespace cli
