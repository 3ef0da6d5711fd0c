// Help-compiler RTF files as the tool sees them: topics split with
// TopicImportString, joined back from TopicEmitRtfFile output, and the
// small text formats of the tool (terms files, properties files).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cli {

// A help footnote: its reference mark and its text (as RTF text: control
// words left out, escapes such as \'e9 kept).
struct Footnote {
    char mark = 0;
    std::string text;
    bool operator==(const Footnote& o) const { return mark == o.mark && text == o.text; }
};

// One topic as the authoring model keeps it.
struct Topic {
    std::string rtf;  // a whole RTF document (later topics get the first one's header)
    std::string context, title, browse, keywords, macro;
    int32_t nonScrolling = 0;
    std::string firstLine;
    // Footnotes that import does not keep (A, @, a second !, ...), in order.
    std::vector<Footnote> others;
    int codePage = 1252;          // of the document the topic comes from
    std::vector<Footnote> notes;  // every help footnote of its source, as written
};

// A topic's properties as the user reads them: UTF-8, escapes decoded.
struct ShownTopic {
    std::string context, title, macro, browse, firstLine;
    std::vector<std::string> keywords;
};
ShownTopic Shown(const Topic& topic);

// The columns of a topics table (topics.tsv).
extern const std::vector<std::string> kTopicColumns;

// The help footnotes of a topic's source text, in order: a mark right
// before "{\footnote", line breaks allowed between.
std::vector<Footnote> HelpFootnotes(const std::string& source);

// The `footnotes` cell of a topics table: "<mark><text>" items joined by
// '|' (a '|' in a text is written \'7c), and back.
std::string FootnotesCell(const std::vector<Footnote>& notes);
std::vector<Footnote> ParseFootnotesCell(const std::string& cell, const std::string& where);

// True for RTF written for the help compiler: topics separated by \page or
// help footnotes (#, $, K, +, ! right before the footnote group). Anything else is one topic in the
// authoring form.
bool IsHelpCompilerRtf(const std::string& rtf);

// Offset where a document's body starts: after "{\rtf1", the document
// control words and the header groups (font table, colour table, style
// sheet, information, ...). npos when the text is not an RTF document.
size_t BodyStart(const std::string& rtf);

// Fails (kInput) naming `name` unless the text is an RTF document.
void RequireRtf(const std::string& rtf, const std::string& name);

// Splits a help-compiler file into its topics; fails (kInput) naming
// `name` and the topic that could not be read.
std::vector<Topic> SplitTopics(const std::string& rtf, const std::string& name);

// Writes a topic as help-compiler input (TopicEmitRtfFile through a work
// file) and returns the text.
std::string EmitTopic(const Topic& topic);

// Joins emitted topic documents into one document: the first one's header,
// the bodies separated by \page.
std::string JoinDocuments(const std::vector<std::string>& documents);

// A tab-separated table whose first line names the columns; blank lines
// and lines starting with '#' (comments) are skipped.
struct Table {
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> rows;
    std::vector<int> lines;  // line number of each row
    // The cell of a column by name, "" when the column is absent.
    std::string Cell(size_t row, const std::string& column) const;
};
Table ReadTable(const std::string& text, const std::string& name,
                const std::vector<std::string>& known);

}  // namespace cli
