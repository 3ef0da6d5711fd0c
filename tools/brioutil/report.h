// What the tool tells the user: counts, status texts and progress.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace cli {

// "1 link", "2 links".
std::string Count(size_t n, const std::string& word);

// Text of a library status code, for messages.
std::string StatusText(int32_t status);

// A progress line on standard error while many items are worked on, when
// standard error is a terminal.
class Progress {
  public:
    Progress(const std::string& what, size_t total);
    ~Progress();
    void Step(const std::string& item);
    // Clears the line (before the command prints its results).
    void Done();

  private:
    std::string what_;
    size_t total_, done_ = 0;
    bool shown_;
};

}  // namespace cli
