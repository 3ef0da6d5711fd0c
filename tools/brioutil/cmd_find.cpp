// brioutil find: which topics contain a phrase.
#include <cstdint>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "brioutil.h"
#include "cli.h"
#include "files.h"
#include "helpdoc.h"
#include "report.h"
#include "textcode.h"

namespace cli {

int RunFind(const std::vector<std::string>& argv) {
    Args args(argv, {}, {"--encoding"});
    args.Expect(2, SIZE_MAX, "brioutil find PHRASE FILE... [--json] [--encoding ENC]");
    const auto& p = args.Positional();
    const std::string& phrase = p[0];
    if (phrase.find_first_not_of(" \t") == std::string::npos) Fail(kUsage, "the phrase is empty");
    // The phrase and each topic meet in one form that the library's
    // ASCII word search can compare, whatever the code pages.
    int input = InputCodePage(args, true);
    std::string utf8;
    if (!ConvertText(phrase, input, kUtf8, &utf8))
        Fail(kUsage, "the phrase is not " +
                         (input == kUtf8 ? std::string("UTF-8: name its encoding with --encoding")
                                         : "in code page " + std::to_string(input)));
    std::string searched = SearchablePhrase(utf8);
    std::vector<std::string> files;
    for (size_t i = 1; i < p.size(); ++i) {
        if (IsFolder(p[i])) {
            for (const auto& f : RtfFilesUnder(p[i])) files.push_back(f);
        } else {
            files.push_back(p[i]);
        }
    }
    bool json = args.Flag("--json");
    // Printed once the progress line is gone.
    std::ostringstream out;
    size_t found = 0;
    if (json) out << "[";
    Progress progress("find", args.Quiet() ? 0 : files.size());
    for (const auto& file : files) {
        progress.Step(file);
        std::string rtf = ReadInput(file);
        RequireRtf(rtf, file);
        std::vector<Topic> topics;
        if (IsHelpCompilerRtf(rtf)) {
            topics = SplitTopics(rtf, file);
        } else {
            topics.emplace_back();
            topics.back().rtf = rtf;
            topics.back().codePage = DocumentCodePage(rtf);
        }
        for (size_t i = 0; i < topics.size(); ++i) {
            const Topic& t = topics[i];
            int32_t status = 0;
            int32_t hit =
                TopicFindText(SearchableRtf(t.rtf, t.codePage).c_str(), searched.c_str(), &status);
            if (status != BRIO_OK)
                Fail(status == BRIO_ERR_NO_MEMORY ? kInternal : kInput,
                     file + ": topic " + std::to_string(i + 1) + ": " + StatusText(status));
            if (!hit) continue;
            ShownTopic shown = Shown(t);
            if (json) {
                out << (found ? ",\n " : "\n ") << "{\"file\": " << JsonString(file)
                    << ", \"topic\": " << i + 1 << ", \"context\": " << JsonString(shown.context)
                    << ", \"title\": " << JsonString(shown.title) << "}";
            } else {
                out << Printable(file);
                if (topics.size() > 1 || !t.context.empty()) {
                    out << ": topic " << i + 1;
                    if (!t.context.empty()) out << " " << Printable(shown.context);
                    if (!t.title.empty()) out << " (" << Printable(shown.title) << ")";
                }
                out << "\n";
            }
            ++found;
        }
    }
    progress.Done();
    if (json) out << (found ? "\n]\n" : "]\n");
    std::cout << out.str();
    return kOk;
}

}  // namespace cli
