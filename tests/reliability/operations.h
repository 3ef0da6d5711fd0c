// One table of calls through the exports, each with what it gave: swept
// with every allocation failing in turn, and run on several threads at once.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace brio::test {

// What an export gave: its status and its output (text, file or clipboard).
struct Result {
    int32_t status;
    std::string out;
    bool operator==(const Result& o) const { return status == o.status && out == o.out; }
};
inline std::ostream& operator<<(std::ostream& os, const Result& r) {
    return os << r.status << " '" << r.out.substr(0, 80) << "'";
}

struct Operation {
    std::string name;
    // Writes to `file` if it writes at all; `k`: the allocation the sweep
    // fails, for a run that first prepares its input unhindered.
    std::function<Result(const std::string& file, long k)> run;
    int32_t ok;                  // the clean run's status
    std::string cleanHas;        // a part of the clean run's output
    std::vector<Result> failed;  // what a run with a failed allocation may give instead
    bool throwing = false;       // some of its allocations are operator new's
    bool clipboard = false;      // uses the process's one clipboard
    std::function<void()> setup = [] {};
    // Also fine after a failed allocation, given the clean result.
    std::function<bool(const Result& got, const Result& clean)> partial = nullptr;
};

const std::vector<Operation>& Operations();

}  // namespace brio::test
