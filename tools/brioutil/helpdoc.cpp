#include "helpdoc.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "brioutil.h"
#include "cli.h"
#include "files.h"
#include "links.h"
#include "platform/platform.h"

namespace fs = std::filesystem;

namespace cli {

std::string Count(size_t n, const std::string& word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

std::string StatusText(int32_t status) {
    switch (status) {
        case BRIO_ERR_BITMAP_OPEN:
            return "cannot open the bitmap";
        case BRIO_ERR_CREATE_OUTPUT:
            return "cannot create the output file";
        case BRIO_ERR_UNEXPECTED_END:
            return "the RTF ends too early (a group left open?)";
        case BRIO_ERR_UNKNOWN_KEYWORD:
            return "unknown control word";
        case BRIO_ERR_NO_MEMORY:
            return "out of memory";
        case BRIO_ERR_WRITE:
            return "write error";
        case BRIO_ERR_WORD_TOO_LONG:
            return "a word is longer than 511 characters";
        case BRIO_ERR_NOT_FOUND:
            return "not found";
        case BRIO_ERR_READ:
            return "not a usable bitmap";
        case BRIO_ERR_UNBALANCED:
            return "a group is closed that was never opened";
        case BRIO_ERR_FOOTNOTE_BEFORE_PAGE:
            return "a # footnote before the first \\page";
        case BRIO_ERR_GROUPS_OPEN:
            return "the RTF ends with groups still open";
        case BRIO_ERR_TERM_CONFLICT:
            return "a term already links to another target";
        case BRIO_ERR_STACK_FULL:
            return "too many pending words";
        case BRIO_ERR_BAD_VALUE:
            return "a value holds a line break";
        default:
            return "status " + std::to_string(status);
    }
}

bool IsHelpCompilerRtf(const std::string& rtf) {
    if (rtf.find("\\page") != std::string::npos) return true;
    // A help footnote: its mark right before the group (an ordinary footnote
    // of a topic has a \chftn or nothing there).
    for (size_t at = rtf.find("{\\footnote"); at != std::string::npos;
         at = rtf.find("{\\footnote", at + 1)) {
        if (at > 0 && std::strchr("#$Kk+!", rtf[at - 1]) && (at < 2 || rtf[at - 2] != '\\'))
            return true;
    }
    return false;
}

namespace {

// Reads the control word at `pos` (just after its backslash): its letters.
std::string WordAt(const std::string& s, size_t pos) {
    size_t end = pos;
    while (end < s.size() && std::isalpha(static_cast<unsigned char>(s[end]))) ++end;
    return s.substr(pos, end - pos);
}

// Offset just past the group that opens at `open` (npos when unclosed).
size_t GroupEnd(const std::string& s, size_t open) {
    int depth = 0;
    for (size_t i = open; i < s.size(); ++i) {
        if (s[i] == '\\') {
            ++i;
        } else if (s[i] == '{') {
            ++depth;
        } else if (s[i] == '}' && --depth == 0) {
            return i + 1;
        }
    }
    return std::string::npos;
}

bool IsHeaderGroup(const std::string& s, size_t open) {
    static const char* const kHeader[] = {"fonttbl", "colortbl", "stylesheet", "info",
                                          "filetbl", "revtbl",   "listtable",  "listoverridetable",
                                          "rsidtbl", "generator"};
    size_t p = open + 1;
    if (s.compare(p, 3, "\\*\\") == 0) return true;  // ignorable document destinations
    if (p >= s.size() || s[p] != '\\') return false;
    std::string word = WordAt(s, p + 1);
    for (const char* h : kHeader)
        if (word == h) return true;
    return false;
}

// Control words that start the body of a document.
bool IsBodyWord(const std::string& word) {
    static const char* const kBody[] = {"pard", "plain", "sectd", "par",
                                        "page", "keepn", "line",  "tab"};
    for (const char* b : kBody)
        if (word == b) return true;
    return false;
}

}  // namespace

size_t BodyStart(const std::string& s) {
    if (s.compare(0, 5, "{\\rtf") != 0) return std::string::npos;
    size_t i = 1;
    while (i < s.size()) {
        char c = s[i];
        if (c == ' ' || c == '\r' || c == '\n' || c == '\t') {
            ++i;
        } else if (c == '{') {
            if (!IsHeaderGroup(s, i)) return i;
            size_t end = GroupEnd(s, i);
            if (end == std::string::npos) return i;
            i = end;
        } else if (c == '\\' && i + 1 < s.size() &&
                   std::isalpha(static_cast<unsigned char>(s[i + 1]))) {
            std::string word = WordAt(s, i + 1);
            if (IsBodyWord(word)) return i;
            i += 1 + word.size();
            if (i < s.size() && (s[i] == '-' || std::isdigit(static_cast<unsigned char>(s[i])))) {
                ++i;
                while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
            }
            if (i < s.size() && s[i] == ' ') ++i;
        } else {
            return i;  // text, a control symbol or the closing brace
        }
    }
    return i;
}

namespace {

// A topic fragment that continues a document, made a document of its own:
// the header, the fragment without braces that would close the document,
// and the braces it leaves open closed.
std::string Standalone(const std::string& header, const std::string& fragment) {
    std::string out = header;
    int depth = 1;
    for (size_t i = 0; i < fragment.size(); ++i) {
        char c = fragment[i];
        if (c == '\\' && i + 1 < fragment.size()) {
            out += c;
            out += fragment[++i];
            continue;
        }
        if (c == '{') ++depth;
        if (c == '}') {
            if (depth == 1) continue;
            --depth;
        }
        out += c;
    }
    out.append(depth, '}');
    return out;
}

// The entry macro of a topic's source text (import drops `!` footnotes): the
// text of the first "!{\footnote" group, without its reference mark.
std::string EntryMacro(const std::string& source) {
    size_t at = source.find("!{\\footnote");
    if (at == std::string::npos || (at > 0 && source[at - 1] == '\\')) return "";
    size_t end = GroupEnd(source, at + 1);
    if (end == std::string::npos) return "";
    std::string text = PlainText(source.substr(at + 11, end - 1 - (at + 11)));
    size_t start = text.find_first_not_of(" \t");
    if (start != std::string::npos && text[start] == '!') ++start;
    start = text.find_first_not_of(" \t", start);
    return start == std::string::npos ? "" : text.substr(start);
}

std::string Take(char* text) {
    std::string s = text ? text : "";
    std::free(text);
    return s;
}

}  // namespace

void RequireRtf(const std::string& rtf, const std::string& name) {
    if (BodyStart(rtf) == std::string::npos)
        Fail(kInput, name + ": not an RTF document (it does not start with {\\rtf)");
}

std::vector<Topic> SplitTopics(const std::string& rtf, const std::string& name) {
    RequireRtf(rtf, name);
    std::vector<Topic> topics;
    std::string header;
    size_t pos = 0;
    while (pos < rtf.size()) {
        // Nothing but white space and the document's closing brace left.
        if (!topics.empty() && rtf.find_first_not_of(" \t\r\n}", pos) == std::string::npos) break;
        const char* out = nullptr;
        const char* first = nullptr;
        uint32_t outLength = 0, n = 0, consumed = 0, firstLength = 0;
        char *context = nullptr, *title = nullptr, *browse = nullptr, *keywords = nullptr;
        Topic t;
        int32_t status = 0;
        TopicImport* h = TopicImportString(rtf.c_str() + pos, &out, &outLength, &t.nonScrolling,
                                           &context, &n, &title, &n, &browse, &n, &keywords, &n,
                                           &consumed, &first, &firstLength, &status);
        if (!h) Fail(kInternal, name + ": out of memory");
        std::string text = out ? std::string(out, outLength) : "";
        t.firstLine = first ? std::string(first, firstLength) : "";
        TopicImportStringClose(h);
        t.context = Take(context);
        t.title = Take(title);
        t.browse = Take(browse);
        t.keywords = Take(keywords);
        t.macro = EntryMacro(rtf.substr(pos, consumed ? consumed : std::string::npos));
        if (status != BRIO_OK)
            Fail(kInput,
                 name + ": topic " + std::to_string(topics.size() + 1) + ": " + StatusText(status));
        if (topics.empty()) {
            size_t body = BodyStart(text);
            header = text.substr(0, body == std::string::npos ? 0 : body);
            t.rtf = text;
        } else {
            t.rtf = Standalone(header, text);
        }
        topics.push_back(std::move(t));
        if (consumed == 0) break;
        pos += consumed;
    }
    return topics;
}

std::string EmitTopic(const Topic& topic) {
    // A work file in a private folder: nobody else can read or replace it.
    static WorkDir folder;
    static unsigned counter = 0;
    std::string work = folder.File("topic-" + std::to_string(++counter) + ".rtf");
    std::vector<char> keywords(topic.keywords.begin(), topic.keywords.end());
    keywords.push_back('\0');
    int32_t status = TopicEmitRtfFile(topic.rtf.c_str(), topic.context.c_str(), topic.title.c_str(),
                                      topic.macro.c_str(), keywords.data(), topic.browse.c_str(),
                                      work.c_str(), topic.nonScrolling);
    if (status != BRIO_OK) {
        brio::PlatRemoveFile(work.c_str());
        std::string what = topic.context.empty() ? "a topic" : "topic " + topic.context;
        bool ours = status == BRIO_ERR_NO_MEMORY || status == BRIO_ERR_WRITE;
        if (status == BRIO_ERR_CREATE_OUTPUT)
            Fail(kInternal, what + ": cannot write a work file in the temporary folder");
        Fail(ours ? kInternal : kInput, what + ": " + StatusText(status));
    }
    std::string text = ReadInput(work);
    brio::PlatRemoveFile(work.c_str());
    return text;
}

namespace {

// The document without its closing brace (and what follows it).
std::string Unclosed(const std::string& doc) {
    size_t close = doc.find_last_of('}');
    return close == std::string::npos ? doc : doc.substr(0, close);
}

}  // namespace

std::string JoinDocuments(const std::vector<std::string>& documents) {
    if (documents.empty()) return "";
    std::string out = Unclosed(documents[0]);
    for (size_t i = 1; i < documents.size(); ++i) {
        const std::string& doc = documents[i];
        size_t body = BodyStart(doc);
        if (body == std::string::npos) body = 0;
        out += "\r\n\\page\r\n";
        out += Unclosed(doc.substr(body));
    }
    return out + "}\r\n";
}

std::string Table::Cell(size_t row, const std::string& column) const {
    for (size_t c = 0; c < columns.size(); ++c)
        if (columns[c] == column) return c < rows[row].size() ? rows[row][c] : "";
    return "";
}

Table ReadTable(const std::string& text, const std::string& name,
                const std::vector<std::string>& known) {
    Table table;
    size_t pos = 0;
    int line = 0;
    bool header = true;
    std::string l;
    while (NextLine(text, &pos, &l)) {
        ++line;
        if (l.find_first_not_of(" \t") == std::string::npos) continue;
        if (l[0] == '#') continue;
        std::vector<std::string> cells;
        size_t start = 0;
        while (true) {
            size_t tab = l.find('\t', start);
            cells.push_back(
                l.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
            if (tab == std::string::npos) break;
            start = tab + 1;
        }
        if (header) {
            for (auto& c : cells) {
                c.erase(0, c.find_first_not_of(' '));
                c.erase(c.find_last_not_of(' ') + 1);
                if (std::find(known.begin(), known.end(), c) == known.end())
                    Fail(kInput,
                         name + ":" + std::to_string(line) + ": unknown column '" + c + "'");
            }
            table.columns = cells;
            header = false;
            continue;
        }
        if (cells.size() > table.columns.size())
            Fail(kInput, name + ":" + std::to_string(line) + ": " + std::to_string(cells.size()) +
                             " fields, the header names " + std::to_string(table.columns.size()));
        table.rows.push_back(cells);
        table.lines.push_back(line);
    }
    if (header) Fail(kInput, name + ": no header line naming the columns");
    return table;
}

bool IsFolder(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(fs::u8path(path), ec);
}

bool Exists(const std::string& path) {
    std::error_code ec;
    return fs::exists(fs::u8path(path), ec);
}

void MakeFolders(const std::string& path) {
    std::error_code ec;
    fs::create_directories(fs::u8path(path), ec);
    if (ec || !IsFolder(path)) Fail(kInput, path + ": cannot create the folder");
}

std::vector<std::string> RtfFilesUnder(const std::string& folder) {
    std::vector<std::string> files;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(fs::u8path(folder), ec), end; !ec && it != end;
         it.increment(ec)) {
        if (!it->is_regular_file(ec)) continue;
        std::string ext = it->path().extension().u8string();
        for (auto& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (ext == ".rtf") files.push_back(it->path().generic_u8string());
    }
    if (ec) Fail(kInput, folder + ": cannot list: " + ec.message());
    std::sort(files.begin(), files.end());
    return files;
}

Progress::Progress(const std::string& what, size_t total)
    : what_(what), total_(total), shown_(total > 1 && ProgressWanted()) {}

Progress::~Progress() {
    Done();
}

void Progress::Done() {
    if (shown_ && done_ > 0) std::fprintf(stderr, "\r\033[K");
    shown_ = false;
}

void Progress::Step(const std::string& item) {
    ++done_;
    if (!shown_) return;
    std::fprintf(stderr, "\r\033[K%s %lu/%lu %s", what_.c_str(), static_cast<unsigned long>(done_),
                 static_cast<unsigned long>(total_), item.c_str());
    std::fflush(stderr);
}

}  // namespace cli
