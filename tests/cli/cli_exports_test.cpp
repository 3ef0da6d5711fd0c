// The tool against the exports it is built on: on the same inputs the tool
// writes what the library gives, so other tests pin only the tool's own texts.
#ifdef BRIOUTIL_CLI_BINARY
#include <cstdlib>
#include <regex>
#include <sstream>

#include "brioutil.h"
#include "cli/cli_support.h"

namespace {

using namespace brio::test;

// Term, synonyms, target, kind, case-sensitive, exclude.
const std::string kTerms =
    "the help\t\tX\t\t\tyes\nhelp\thelps;helping\tHELP\tpopup\nWindow\t\tWIN\tjump\tyes\n"
    "file\t\tFILE\t\tno\tno\ntopic\ttopics\tTOPIC_1\npond\t\tPOND\na\t\tA\tpopup\n";

// What the exports make of a topic: linked with the terms, and that unlinked.
std::pair<std::string, std::string> LinkByLibrary(const std::string& rtf,
                                                  const std::string& context, bool once,
                                                  uint32_t colour) {
    AutolinkDictionary* d = nullptr;
    int32_t result = 0, length = 0;
    for (Args t : TableRows(kTerms)) {
        t.resize(6);  // the fields a line leaves out are empty
        d = AutolinkReference(d, t[0].c_str(), t[1].c_str(), t[2].c_str(), t[5] == "yes",
                              t[4] == "yes", "", t[3] == "popup", &result);
    }
    char* linked =
        Autolink(d, rtf.c_str(), context.c_str(), context.c_str(), once, colour, &length, &result);
    std::string out = linked ? std::string(linked, size_t(length)) : "";
    AutolinkDone(d);
    char* removed = AutolinkRemove(out.c_str(), &length, &result);
    std::string back = removed ? std::string(removed, size_t(length)) : "";
    std::free(removed);
    return {out, back};
}

TEST(CliExports, AutolinkAndUnlinkWriteWhatTheExportsGive) {
    CliDir dir({{"terms.txt", kTerms},
                {"t.rtf",
                 "{\\rtf1 A pond{\\cs15\\super \\chftn {\\footnote pond}}, the help file.\\par}"}});
    // Split corpus topics are topic files; each takes its context from topics.tsv.
    std::vector<std::pair<std::string, std::string>> topics = {{dir.File("t.rtf"), ""}};
    for (const std::string name : {"003.rtf", "004.rtf", "010.rtf"}) {
        std::string parts = dir.File(name + ".d");
        RunOk({"topics", "split", CorpusDir("rtf/" + name), "--out-dir", parts});
        std::vector<Args> rows = TableRows(ReadFile(parts + "/topics.tsv"));
        for (size_t r = 1; r < rows.size(); ++r)
            topics.emplace_back(parts + "/" + rows[r][0], rows[r][1]);
    }
    ASSERT_GT(topics.size(), 20u);
    int linkedTopics = 0;
    for (size_t i = 0; i < topics.size(); ++i) {
        const std::string& file = topics[i].first;
        bool once = i % 2;
        uint32_t colour = i % 3 == 1 ? 5 : 0;
        Args args = {"autolink", dir.File("terms.txt"), file, "-o", dir.File("out.rtf")};
        if (once) args.push_back("--once");
        if (colour) args.insert(args.end(), {"--colour", "5"});
        std::string context = i % 4 == 3 ? "HELP" : topics[i].second;
        if (i % 4 == 3) args.insert(args.end(), {"--context", "HELP"});
        RunOk(args);
        auto expected = LinkByLibrary(ReadFile(file), context, once, colour);
        EXPECT_EQ(ReadFile(dir.File("out.rtf")), expected.first) << file;
        EXPECT_EQ(RunOk({"unlink", dir.File("out.rtf"), "-o", "-"}), expected.second) << file;
        linkedTopics += expected.first != ReadFile(file);
    }
    EXPECT_GT(linkedTopics, 10);
}

// The form as the exports leave it after one edit: {"set", TYPE, NAME, KEY,
// VALUE} or {"delete", TYPE, NAME}.
std::string EditByLibrary(const std::string& text, const Args& e) {
    TempDir dir;
    WriteFile(dir.File("f.frm"), text);
    FormFile* form = FormOpen(dir.File("f.frm").c_str());
    if (e[0] == "set")
        FormSetProperty(form, e[1].c_str(), e[2].c_str(), e[3].c_str(), e[4].c_str());
    else
        FormDeleteSection(form, e[1].c_str(), e[2].c_str());
    FormClose(form);
    return ReadFile(dir.File("f.frm"));
}

TEST(CliExports, FormEditsWriteWhatTheExportsGive) {
    // Sections with plain names: each form's first and last.
    const std::regex begin("^\\s*Begin\\s+([ -~]+?)\\s+([ -~]+?)\\s*$");
    std::vector<std::string> texts = {"Begin Form Main\n   Caption = A\nEnd",
                                      "Begin Form Main\r\n   Caption = A\rB\r\nEnd",
                                      "VERSION 1\r\nBegin Form Main\n   Caption = A\r\n   Begin "
                                      "Button Ok\r\n      X = 1\n   End\nEnd\r\n"};
    for (const std::string& file : ListFiles(CorpusDir("form")))
        if (texts.size() < 19) texts.push_back(ReadFile(file));
    int edits = 0;
    for (const std::string& text : texts) {
        std::vector<Args> sections;
        std::istringstream lines(text);
        std::smatch m;
        for (std::string line; std::getline(lines, line);)
            if (std::regex_search(line, m, begin)) sections.push_back({m[1], m[2]});
        if (sections.empty()) continue;
        const Args &first = sections.front(), &last = sections.back();
        for (const Args& edit :
             {Args{"set", first[0], first[1], "Caption", "Brio \"1\""},
              Args{"set", last[0], last[1], "Tag", "t"}, Args{"delete", last[0], last[1]}}) {
            Args args = Args{"form", edit[0], "-"} + Args(edit.begin() + 1, edit.end());
            EXPECT_EQ(RunOk(args + Args{"-o", "-"}, text), EditByLibrary(text, edit))
                << text.substr(0, 80) << " " << edit[0];
            ++edits;
        }
    }
    EXPECT_GT(edits, 40);
}

}  // namespace
#endif
