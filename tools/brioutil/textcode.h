// Text in the user's encoding and in a document's code page: what the
// tool prints is UTF-8, what it hands the library is in the document's
// 8-bit code page. Conversions go through the system (iconv, or the Win32
// code-page functions), never through tables of our own.
#pragma once

#include <string>

namespace cli {

class Args;

constexpr int kUtf8 = 65001;

// The code page a document's 8-bit text is in: \ansicpgN, else \mac, \pc,
// \pca, else Windows-1252.
int DocumentCodePage(const std::string& rtf);

// Length of the valid UTF-8 sequence at `at` (0 when there is none).
size_t Utf8Length(const std::string& s, size_t at);
bool IsUtf8(const std::string& s);

// Converts between code pages (kUtf8 for UTF-8). False when the text is not
// valid in `from` or a character has no place in `to`; `*bad` then names
// the first character that failed (as UTF-8 when it could be read).
bool ConvertText(const std::string& text, int from, int to, std::string* out,
                 std::string* bad = nullptr);

// 8-bit text of a code page as UTF-8; bytes that do not decode show as U+FFFD.
std::string ToUtf8(const std::string& bytes, int codePage);

// RTF text as the tool shows it: \'hh bytes decoded in the code page, \uN
// characters, escaped characters; control words left out.
std::string RtfTextToUtf8(const std::string& rtf, int codePage);

// The encoding of what the user gives: --encoding (utf-8, 1252, cp932...),
// else UTF-8; command-line arguments on Windows come in the ANSI code page.
int InputCodePage(const Args& args, bool arguments = false);

// Text the user gave (phrase, term, value) in the document's code page;
// fails naming `what` when it cannot be converted.
std::string ToDocument(const std::string& text, int inputCodePage, int documentCodePage,
                       const std::string& what);

// A phrase or a topic made comparable by the library's word search, which
// knows only ASCII letters and digits: every other character becomes an
// ASCII word of its own code (ideographs and kana stand alone; accented
// letters stay within their word). `rtf` is RTF in `codePage`; `text` is
// plain UTF-8.
std::string SearchableRtf(const std::string& rtf, int codePage);
std::string SearchablePhrase(const std::string& utf8);

}  // namespace cli
