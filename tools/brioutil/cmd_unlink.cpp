// brioutil unlink: takes the links of the "Autolink;" style apart again.
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "brioutil.h"
#include "cli.h"
#include "helpdoc.h"
#include "links.h"

namespace cli {

int RunUnlink(const std::vector<std::string>& argv) {
    Args args(argv, {"-o", "--out-dir"});
    args.Expect(1, 1, "brioutil unlink INPUT (--in-place | -o OUT | --out-dir DIR)");
    bool dryRun = args.Flag("--dry-run");
    std::vector<Job> jobs = PlanJobs(args, args.Positional()[0], dryRun);
    bool toStdout = jobs.size() == 1 && jobs[0].destination == "-";
    std::ostream& log = toStdout ? std::cerr : std::cout;
    std::vector<std::string> results, summaries;
    size_t total = 0;
    Progress progress("unlink", jobs.size());
    for (const auto& job : jobs) {
        progress.Step(job.source);
        std::string rtf = ReadInput(job.source);
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
        size_t links = AutolinkLinks(rtf, true).size();
        total += links;
        results.push_back(text);
        std::string summary = job.source + ": " + Count(links, "link") +
                              (dryRun ? " would be removed" : " removed");
        if (!dryRun && job.destination != "-") summary += " -> " + job.destination;
        summaries.push_back(summary);
    }
    progress.Done();
    WriteResults(jobs, results);
    for (const auto& line : summaries) log << line << "\n";
    if (jobs.size() > 1)
        log << Count(total, "link") << (dryRun ? " would be removed from " : " removed from ")
            << Count(jobs.size(), "file") << "\n";
    return kOk;
}

}  // namespace cli
