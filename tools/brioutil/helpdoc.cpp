#include "helpdoc.h"
#include "report.h"

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
#include "textcode.h"

namespace fs = std::filesystem;

namespace cli {

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
    // A header ending in a control word would take a leading blank of the
    // fragment as its delimiter: give it one of its own.
    size_t slash = out.find_last_of('\\');
    if (slash != std::string::npos && slash + 1 < out.size() &&
        std::isalpha(static_cast<unsigned char>(out[slash + 1])) &&
        out.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-",
                              slash + 1) == std::string::npos &&
        !fragment.empty() && fragment[0] == ' ')
        out += ' ';
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

std::string Take(char* text) {
    std::string s = text ? text : "";
    std::free(text);
    return s;
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// True when the character at `at` is escaped by a backslash before it.
bool Escaped(const std::string& s, size_t at) {
    size_t n = 0;
    while (at > n && s[at - n - 1] == '\\') ++n;
    return n % 2 == 1;
}

// The text of a footnote group's content as import collects it: text and
// control symbols, leading blanks and the leading reference mark left out.
std::string FootnoteText(const std::string& s, size_t begin, size_t end, char mark) {
    std::string text;
    bool markSeen = false;
    for (size_t i = begin; i < end; ++i) {
        char c = s[i];
        if (c == '{' || c == '}' || c == '\r' || c == '\n') continue;
        std::string piece(1, c);
        if (c == '\\') {
            if (i + 1 >= end) break;
            char n = s[i + 1];
            if (std::isalpha(static_cast<unsigned char>(n))) {
                size_t j = i + 1;
                while (j < end && std::isalpha(static_cast<unsigned char>(s[j]))) ++j;
                if (j < end && (s[j] == '-' || std::isdigit(static_cast<unsigned char>(s[j])))) {
                    ++j;
                    while (j < end && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
                }
                if (j < end && s[j] == ' ') ++j;
                // Unicode characters are kept, with their blank.
                std::string word = s.substr(i + 1, j - i - 1);
                if (word.compare(0, 1, "u") == 0 && word.size() > 1 &&
                    (word[1] == '-' || std::isdigit(static_cast<unsigned char>(word[1])))) {
                    word.erase(word.find_last_not_of(' ') + 1);
                    text += "\\" + word + " ";
                    markSeen = true;
                } else if (word.compare(0, 2, "uc") == 0 && word.size() > 2 &&
                           std::isdigit(static_cast<unsigned char>(word[2]))) {
                    word.erase(word.find_last_not_of(' ') + 1);
                    text += "\\" + word + " ";
                }
                i = j - 1;
                continue;
            }
            if (n == '\r' || n == '\n') {  // a paragraph mark
                ++i;
                continue;
            }
            size_t length = n == '\'' ? std::min<size_t>(4, end - i) : 2;
            piece = s.substr(i, length);
            i += length - 1;
        }
        if (text.empty() && piece.size() == 1 && IsBlank(c)) continue;
        if (!markSeen) {
            markSeen = true;
            if (piece.size() == 1 && c == mark) continue;
        }
        text += piece;
    }
    return text;
}

}  // namespace

const std::vector<std::string> kTopicColumns = {"file",     "context", "title",     "macro",
                                                "keywords", "browse",  "nonscroll", "footnotes"};

std::vector<Footnote> HelpFootnotes(const std::string& s) {
    std::vector<Footnote> notes;
    static const std::string kGroup = "{\\footnote";
    for (size_t at = s.find(kGroup); at != std::string::npos; at = s.find(kGroup, at + 1)) {
        size_t after = at + kGroup.size();
        if (after < s.size() && std::isalpha(static_cast<unsigned char>(s[after]))) continue;
        if (Escaped(s, at)) continue;
        size_t m = at;
        while (m > 0 && (s[m - 1] == '\r' || s[m - 1] == '\n')) --m;
        if (m == 0) continue;
        char mark = s[--m];
        if (!std::isgraph(static_cast<unsigned char>(mark)) || std::strchr("{}\\", mark) ||
            Escaped(s, m))
            continue;
        // A letter may end a control word ("\super K" is a mark, "\superK" is not).
        size_t w = m;
        while (w > 0 && std::isalpha(static_cast<unsigned char>(s[w - 1]))) --w;
        if (std::isalpha(static_cast<unsigned char>(mark)) && w > 0 && s[w - 1] == '\\' &&
            !Escaped(s, w - 1))
            continue;
        size_t end = GroupEnd(s, at);
        if (end == std::string::npos) continue;
        std::string text = FootnoteText(s, after, end - 1, mark);
        text.erase(0, text.find_first_not_of(" \t"));
        notes.push_back({mark, text});
    }
    return notes;
}

std::string FootnotesCell(const std::vector<Footnote>& notes) {
    std::string cell;
    for (const auto& n : notes) {
        if (!cell.empty()) cell += '|';
        cell += n.mark;
        for (char c : n.text) cell += c == '|' ? std::string("\\'7c") : std::string(1, c);
    }
    return cell;
}

std::vector<Footnote> ParseFootnotesCell(const std::string& cell, const std::string& where) {
    std::vector<Footnote> notes;
    size_t start = 0;
    while (start < cell.size()) {
        size_t bar = cell.find('|', start);
        if (bar == std::string::npos) bar = cell.size();
        std::string item = cell.substr(start, bar - start);
        start = bar + 1;
        if (item.empty()) continue;
        Footnote n{item[0], item.substr(1)};
        int depth = 0;
        for (size_t i = 0; i < n.text.size() && depth >= 0; ++i) {
            if (n.text[i] == '\\')
                ++i;
            else if (n.text[i] == '{')
                ++depth;
            else if (n.text[i] == '}')
                --depth;
        }
        if (!std::isgraph(static_cast<unsigned char>(n.mark)) || std::strchr("{}\\", n.mark) ||
            depth != 0)
            Fail(kInput, where + ": footnote '" + item +
                             "' must be a mark and its text, with balanced braces");
        notes.push_back(n);
    }
    return notes;
}

void RequireRtf(const std::string& rtf, const std::string& name) {
    if (BodyStart(rtf) == std::string::npos)
        Fail(kInput, name + ": not an RTF document (it does not start with {\\rtf)");
}

std::vector<Topic> SplitTopics(const std::string& rtf, const std::string& name) {
    RequireRtf(rtf, name);
    std::vector<Topic> topics;
    std::string header;
    size_t pos = 0;
    int codePage = DocumentCodePage(rtf);
    while (pos < rtf.size()) {
        // Nothing but white space and the document's closing brace left.
        if (!topics.empty() && rtf.find_first_not_of(" \t\r\n}", pos) == std::string::npos) break;
        const char* out = nullptr;
        const char* first = nullptr;
        uint32_t outLength = 0, n = 0, consumed = 0, firstLength = 0;
        char *context = nullptr, *title = nullptr, *browse = nullptr, *keywords = nullptr;
        Topic t;
        t.codePage = codePage;
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
        // Import keeps #, $, K and +; the first entry macro and every other
        // footnote are taken from the source.
        for (auto& note : HelpFootnotes(rtf.substr(pos, consumed ? consumed : std::string::npos))) {
            t.notes.push_back(note);
            if (std::strchr("#$Kk+", note.mark)) continue;
            if (note.mark == '!' && t.macro.empty() && !note.text.empty())
                t.macro = PlainText(note.text);
            else
                t.others.push_back(std::move(note));
        }
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

namespace {

// Emission writes only #, $, !, K and +: the other footnotes take the place
// of a stand-in keyword, after the keywords.
const char kOthersKeyword[] = "brioutil-other-footnotes-7f3a";

std::string WithOtherFootnotes(std::string text, const Topic& topic) {
    if (topic.others.empty()) return text;
    std::string standIn = std::string("\r\nK{\\footnote {\\super K}") + kOthersKeyword + "}";
    size_t at = text.find(standIn);
    if (at == std::string::npos || text.find(standIn, at + 1) != std::string::npos)
        Fail(kInternal, "topic " + topic.context + ": cannot place its footnotes");
    std::string notes;
    for (const auto& n : topic.others)
        notes +=
            std::string("\r\n") + n.mark + "{\\footnote {\\super " + n.mark + "}" + n.text + "}";
    return text.replace(at, standIn.size(), notes);
}

}  // namespace

namespace {

// Groups whose text is not part of the topic's visible text.
bool HiddenGroup(const std::string& s, size_t open) {
    static const char* const kHidden[] = {
        "fldinst",  "pict",       "object",   "bkmkstart",  "bkmkend", "xe",
        "tc",       "footnote",   "header",   "footer",     "headerl", "headerr",
        "footerl",  "footerr",    "shppict",  "nonshppict", "info",    "fonttbl",
        "colortbl", "stylesheet", "listtext", "pntext",     "pntxta",  "pntxtb"};
    if (s.compare(open + 1, 2, "\\*") == 0) return true;
    if (open + 1 >= s.size() || s[open + 1] != '\\') return false;
    std::string word = WordAt(s, open + 2);
    for (const char* h : kHidden)
        if (word == h) return true;
    return false;
}

// The topic's text up to its first paragraph mark, at most 49 characters.
std::string FirstLineOf(const std::string& rtf, int codePage) {
    size_t i = BodyStart(rtf);
    if (i == std::string::npos) return "";
    std::string raw;
    while (i < rtf.size()) {
        char c = rtf[i];
        if (c == '{' && HiddenGroup(rtf, i)) {
            size_t end = GroupEnd(rtf, i);
            if (end == std::string::npos) break;
            i = end;
            continue;
        }
        if (c == '\\' && i + 1 < rtf.size() &&
            std::isalpha(static_cast<unsigned char>(rtf[i + 1]))) {
            std::string word = WordAt(rtf, i + 1);
            if (word == "par" || word == "page") break;
        }
        if (c == '\\' && i + 1 < rtf.size()) {
            raw += rtf.substr(i, 2);
            i += 2;
            continue;
        }
        raw += c;
        ++i;
    }
    std::string text = RtfTextToUtf8(raw, codePage);
    text.erase(0, text.find_first_not_of(" \t"));
    size_t at = 0;
    for (int n = 0; n < 49 && at < text.size(); ++n)
        at += std::max<size_t>(1, Utf8Length(text, at));
    return text.substr(0, at);
}

}  // namespace

ShownTopic Shown(const Topic& t) {
    // From the footnotes as the source has them (import drops \uN characters).
    std::string context = t.context, title = t.title, browse = t.browse;
    std::vector<std::string> keywords;
    bool firstContext = true;
    for (const auto& n : t.notes) {
        if (n.mark == '#' && firstContext) {
            context = n.text;
            firstContext = false;
        }
        if (n.mark == '$') title = n.text;
        if (n.mark == '+') browse = n.text;
        if (n.mark == 'K' || n.mark == 'k') keywords.push_back(n.text);
    }
    if (t.notes.empty() && !t.keywords.empty()) {
        for (size_t start = 0;;) {
            size_t bar = t.keywords.find('|', start);
            keywords.push_back(
                t.keywords.substr(start, bar == std::string::npos ? bar : bar - start));
            if (bar == std::string::npos) break;
            start = bar + 1;
        }
    }
    ShownTopic s;
    s.context = RtfTextToUtf8(context, t.codePage);
    s.title = RtfTextToUtf8(title, t.codePage);
    s.browse = RtfTextToUtf8(browse, t.codePage);
    s.macro = ToUtf8(t.macro, t.codePage);
    s.firstLine = FirstLineOf(t.rtf, t.codePage);
    for (const auto& k : keywords) s.keywords.push_back(RtfTextToUtf8(k, t.codePage));
    return s;
}

std::string EmitTopic(const Topic& topic) {
    // A work file in a private folder: nobody else can read or replace it.
    static WorkDir folder;
    static unsigned counter = 0;
    std::string work = folder.File("topic-" + std::to_string(++counter) + ".rtf");
    std::string k = topic.keywords;
    if (!topic.others.empty()) k += (k.empty() ? "" : "|") + std::string(kOthersKeyword);
    std::vector<char> keywords(k.begin(), k.end());
    keywords.push_back('\0');
    int32_t status = TopicEmitRtfFile(topic.rtf.c_str(), topic.context.c_str(), topic.title.c_str(),
                                      topic.macro.c_str(), keywords.data(), topic.browse.c_str(),
                                      work.c_str(), topic.nonScrolling);
    if (status != BRIO_OK) {
        RemoveFile(work);
        std::string what = topic.context.empty() ? "a topic" : "topic " + topic.context;
        bool ours = status == BRIO_ERR_NO_MEMORY || status == BRIO_ERR_WRITE;
        if (status == BRIO_ERR_CREATE_OUTPUT)
            Fail(kInternal, what + ": cannot write a work file in the temporary folder");
        Fail(ours ? kInternal : kInput, what + ": " + StatusText(status));
    }
    std::string text = ReadInput(work);
    RemoveFile(work);
    return WithOtherFootnotes(text, topic);
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

}  // namespace cli
