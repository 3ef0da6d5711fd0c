// brioutil topics: list, split, join and placeholder topics.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <vector>

#include "brioutil.h"
#include "cli.h"
#include "files.h"
#include "helpdoc.h"
#include "report.h"

namespace fs = std::filesystem;

namespace cli {

namespace {

const std::vector<std::string> kDummyColumns = {"context", "title", "macro", "keywords",
                                                "browse",  "body",  "keepn"};

// Width of UTF-8 text on a terminal, counting a character as one column.
size_t Columns(const std::string& text) {
    size_t n = 0;
    for (size_t i = 0; i < text.size(); ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++n;
    return n;
}

int List(const Args& args) {
    args.Only("topics list", {});
    args.Expect(2, 2, "brioutil topics list FILE [--json]");
    const std::string& file = args.Positional()[1];
    std::vector<Topic> topics = SplitTopics(ReadInput(file), file);
    if (args.Flag("--json")) {
        std::cout << "[";
        for (size_t i = 0; i < topics.size(); ++i) {
            ShownTopic t = Shown(topics[i]);
            std::cout << (i ? ",\n " : "\n ") << "{\"topic\": " << i + 1
                      << ", \"context\": " << JsonString(t.context)
                      << ", \"title\": " << JsonString(t.title)
                      << ", \"macro\": " << JsonString(t.macro) << ", \"keywords\": [";
            for (size_t j = 0; j < t.keywords.size(); ++j)
                std::cout << (j ? ", " : "") << JsonString(t.keywords[j]);
            std::cout << "], \"browse\": " << JsonString(t.browse)
                      << ", \"nonScrolling\": " << topics[i].nonScrolling
                      << ", \"firstLine\": " << JsonString(t.firstLine) << "}";
        }
        std::cout << (topics.empty() ? "]\n" : "\n]\n");
        return kOk;
    }
    std::vector<std::vector<std::string>> rows = {
        {"#", "CONTEXT", "TITLE", "KEYWORDS", "BROWSE", "REGION", "FIRST LINE"}};
    for (size_t i = 0; i < topics.size(); ++i) {
        ShownTopic t = Shown(topics[i]);
        std::string keywords;
        for (const auto& k : t.keywords) keywords += (keywords.empty() ? "" : "|") + k;
        rows.push_back({std::to_string(i + 1), Printable(t.context), Printable(t.title),
                        Printable(keywords), Printable(t.browse),
                        std::to_string(topics[i].nonScrolling), Printable(t.firstLine)});
    }
    std::vector<size_t> width(rows[0].size(), 0);
    for (const auto& r : rows)
        for (size_t c = 0; c < r.size(); ++c) width[c] = std::max(width[c], Columns(r[c]));
    for (const auto& r : rows) {
        std::string line;
        for (size_t c = 0; c < r.size(); ++c) {
            line += r[c];
            if (c + 1 < r.size()) line += std::string(width[c] - Columns(r[c]) + 2, ' ');
        }
        line.erase(line.find_last_not_of(' ') + 1);
        std::cout << line << "\n";
    }
    return kOk;
}

std::string FileName(size_t number, const std::string& context) {
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%03u", static_cast<unsigned>(number));
    std::string name = prefix;
    if (!context.empty()) {
        name += '-';
        for (unsigned char c : context) name += std::isalnum(c) || c == '_' || c == '.' ? c : '_';
    }
    return name + ".rtf";
}

std::string Cell(const std::string& value, const std::string& what, size_t topic) {
    if (value.find_first_of("\t\r\n") != std::string::npos)
        Fail(kInput, "topic " + std::to_string(topic) + ": the " + what +
                         " holds a tab or line break, which a properties file cannot keep");
    return value;
}

int Split(const Args& args) {
    args.Only("topics split", {"--out-dir"});
    args.Expect(2, 2, "brioutil topics split FILE --out-dir DIR");
    if (!args.Has("--out-dir")) Fail(kUsage, "give the folder for the topics: --out-dir DIR");
    const std::string& file = args.Positional()[1];
    std::string dir = args.Value("--out-dir");
    CheckOutputFolder(dir, "--out-dir");
    std::vector<Topic> topics = SplitTopics(ReadInput(file), file);
    std::string properties;
    for (const auto& c : kTopicColumns)
        properties += c + (&c == &kTopicColumns.back() ? "\n" : "\t");
    std::vector<std::string> names;
    for (size_t i = 0; i < topics.size(); ++i) {
        const Topic& t = topics[i];
        names.push_back(FileName(i + 1, t.context));
        properties += names.back() + "\t" + Cell(t.context, "context string", i + 1) + "\t" +
                      Cell(t.title, "title", i + 1) + "\t" + Cell(t.macro, "entry macro", i + 1) +
                      "\t" + Cell(t.keywords, "keywords", i + 1) + "\t" +
                      Cell(t.browse, "browse sequence", i + 1) + "\t" +
                      std::to_string(t.nonScrolling) + "\t" +
                      Cell(FootnotesCell(t.others), "footnotes", i + 1) + "\n";
    }
    names.push_back("topics.tsv");
    for (const auto& name : names) RefuseOverwrite({file}, dir + "/" + name);
    // Every file appears at once, or none does.
    Staging staging(dir);
    Progress progress("split", args.Quiet() ? 0 : topics.size());
    for (size_t i = 0; i < topics.size(); ++i) {
        progress.Step(names[i]);
        staging.Write(names[i], topics[i].rtf);
    }
    staging.Write("topics.tsv", properties);
    staging.Commit();
    progress.Done();
    if (args.Json()) {
        std::cout << "{\"file\": " << JsonString(file) << ", \"outDir\": " << JsonString(dir)
                  << ", \"topics\": " << topics.size() << ", \"files\": [";
        for (size_t i = 0; i < names.size(); ++i)
            std::cout << (i ? ", " : "") << JsonString(names[i]);
        std::cout << "]}\n";
        return kOk;
    }
    if (args.Quiet()) return kOk;
    if (args.Verbose())
        for (const auto& name : names) std::cout << Printable(dir + "/" + name) << "\n";
    std::cout << Printable(file) << ": " << topics.size() << " topics -> " << Printable(dir)
              << "/ (properties in " << Printable(dir) << "/topics.tsv)\n";
    return kOk;
}

int32_t Number(const std::string& value, const std::string& where) {
    if (value.empty()) return 0;
    if (value.size() > 9 || value.find_first_not_of("0123456789") != std::string::npos)
        Fail(kInput, where + ": nonscroll must be a count, not '" + value + "'");
    return std::stoi(value);
}

std::string Folder(const std::string& file) {
    fs::path parent = fs::u8path(file).parent_path();
    return parent.empty() ? "." : parent.u8string();
}

// The file a properties file names: relative to its folder, and inside it
// unless `anywhere`.
std::string TopicPath(const std::string& props, const std::string& name, bool anywhere,
                      const std::string& where) {
    fs::path named = fs::u8path(name);
    std::string path = named.is_absolute() ? name : Folder(props) + "/" + name;
    if (anywhere) return path;
    std::error_code ec;
    fs::path folder = fs::weakly_canonical(fs::u8path(Folder(props)), ec);
    fs::path file = fs::weakly_canonical(fs::u8path(path), ec);
    fs::path inside = file.lexically_relative(folder);
    if (named.is_absolute() || ec || inside.empty() || *inside.begin() == "..")
        Fail(kInput, where + ": " + name +
                         " is outside the properties file's folder (--allow-outside allows it)");
    return path;
}

int Join(const Args& args) {
    args.Only("topics join", {"-o", "--allow-outside"});
    args.Expect(2, 2, "brioutil topics join PROPERTIES -o OUT");
    if (!args.Has("-o")) Fail(kUsage, "give the output file: -o OUT");
    const std::string& props = args.Positional()[1];
    std::string out = args.Value("-o");
    CheckOutputFile(out, "-o");
    Table table = ReadTable(ReadInput(props), props, kTopicColumns);
    if (std::find(table.columns.begin(), table.columns.end(), "file") == table.columns.end())
        Fail(kInput, props + ": no 'file' column");
    std::vector<std::string> paths = {props};
    for (size_t r = 0; r < table.rows.size(); ++r) {
        std::string where = props + ":" + std::to_string(table.lines[r]);
        std::string name = table.Cell(r, "file");
        if (name.empty()) Fail(kInput, where + ": no file named");
        paths.push_back(TopicPath(props, name, args.Flag("--allow-outside"), where));
    }
    RefuseOverwrite(paths, out);
    std::vector<std::string> documents;
    Progress progress("join", args.Quiet() ? 0 : table.rows.size());
    for (size_t r = 0; r < table.rows.size(); ++r) {
        std::string where = props + ":" + std::to_string(table.lines[r]);
        const std::string& path = paths[r + 1];
        progress.Step(path);
        Topic t;
        t.rtf = ReadInput(path);
        RequireRtf(t.rtf, path);
        t.context = table.Cell(r, "context");
        t.title = table.Cell(r, "title");
        t.macro = table.Cell(r, "macro");
        t.keywords = table.Cell(r, "keywords");
        t.browse = table.Cell(r, "browse");
        t.nonScrolling = Number(table.Cell(r, "nonscroll"), where);
        t.others = ParseFootnotesCell(table.Cell(r, "footnotes"), where);
        documents.push_back(EmitTopic(t));
    }
    progress.Done();
    if (documents.empty()) Fail(kInput, props + ": no topics");
    WriteOutput(out, JoinDocuments(documents));
    std::ostream& log = out == "-" ? std::cerr : std::cout;
    if (args.Json())
        log << "{\"properties\": " << JsonString(props) << ", \"output\": " << JsonString(out)
            << ", \"topics\": " << documents.size() << "}\n";
    else if (out != "-" && !args.Quiet())
        log << documents.size() << " topics -> " << Printable(out) << "\n";
    return kOk;
}

bool Keepn(const std::string& value, const std::string& where) {
    if (value.empty() || value == "0" || value == "no") return false;
    if (value == "1" || value == "yes") return true;
    Fail(kInput, where + ": keepn must be yes or no, not '" + value + "'");
}

int Dummy(const Args& args) {
    args.Only("topics dummy", {"-o"});
    args.Expect(2, 2, "brioutil topics dummy PROPERTIES -o OUT");
    if (!args.Has("-o")) Fail(kUsage, "give the output file: -o OUT");
    const std::string& props = args.Positional()[1];
    std::string out = args.Value("-o");
    CheckOutputFile(out, "-o");
    RefuseOverwrite({props}, out);
    Table table = ReadTable(ReadInput(props), props, kDummyColumns);
    if (table.rows.empty()) Fail(kInput, props + ": no topics");
    for (size_t r = 0; r < table.rows.size(); ++r)
        Keepn(table.Cell(r, "keepn"), props + ":" + std::to_string(table.lines[r]));
    // The library writes a work file in a private folder; the result then
    // replaces the destination in one step.
    WorkDir folder;
    std::string work = folder.File("dummy.rtf");
    TopicFile* file = TopicOpenDummyFile(work.c_str());
    if (!file) Fail(kInternal, out + ": cannot write a work file in the temporary folder");
    for (size_t r = 0; r < table.rows.size(); ++r) {
        std::string keywords = table.Cell(r, "keywords");
        std::vector<char> k(keywords.begin(), keywords.end());
        k.push_back('\0');
        TopicDummy(file, table.Cell(r, "context").c_str(), table.Cell(r, "title").c_str(),
                   table.Cell(r, "macro").c_str(), k.data(), table.Cell(r, "browse").c_str(),
                   table.Cell(r, "body").c_str(),
                   Keepn(table.Cell(r, "keepn"), props + ":" + std::to_string(table.lines[r])));
    }
    if (TopicCloseDummyFile(file) != BRIO_OK) Fail(kInput, out + ": write error");
    WriteOutput(out, ReadInput(work));
    std::ostream& log = out == "-" ? std::cerr : std::cout;
    if (args.Json())
        log << "{\"properties\": " << JsonString(props) << ", \"output\": " << JsonString(out)
            << ", \"topics\": " << table.rows.size() << "}\n";
    else if (out != "-" && !args.Quiet())
        log << table.rows.size() << " placeholder topics -> " << Printable(out) << "\n";
    return kOk;
}

}  // namespace

int RunTopics(const std::vector<std::string>& argv) {
    Args args(argv, {"--allow-outside"}, {"-o", "--out-dir"});
    const auto& p = args.Positional();
    if (p.empty()) Fail(kUsage, "usage: brioutil topics list|split|join|dummy ...");
    if (p[0] == "list") return List(args);
    if (p[0] == "split") return Split(args);
    if (p[0] == "join") return Join(args);
    if (p[0] == "dummy") return Dummy(args);
    Fail(kUsage, "unknown action '" + p[0] + "': use list, split, join or dummy");
}

}  // namespace cli
