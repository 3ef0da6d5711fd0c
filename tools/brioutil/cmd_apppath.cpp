// brioutil apppath: where an application is installed.
#include <iostream>
#include <string>

#include "brioutil.h"
#include "cli.h"

namespace cli {

int RunAppPath(const std::vector<std::string>& argv) {
    Args args(argv, {});
    args.Expect(1, 1, "brioutil apppath NAME");
    const std::string& name = args.Positional()[0];
    const char* data = nullptr;
    uint32_t size = 0;
    int32_t status = GetAppPath(name.c_str(), &data, &size);
    if (status == 2) Fail(kInput, "'" + name + "' is not registered");
    if (status == 259) Fail(kInput, "'" + name + "' is registered without a path");
    if (status != 0) Fail(kInput, "'" + name + "': registry error " + std::to_string(status));
    std::string path(data, size);
    while (!path.empty() && path.back() == '\0') path.pop_back();
    std::cout << path << "\n";
    return kOk;
}

}  // namespace cli
