#include "report.h"

#include <cstdio>

#include "brioutil.h"
#include "cli.h"

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
