// brioutil apppath: where an application is installed.
#include <cstdlib>
#include <iostream>
#include <string>

#include "brioutil.h"
#include "cli.h"
#include "files.h"
#include "helpdoc.h"

namespace cli {

namespace {

// The registry the library reads, as the user knows it; fails when there
// is none to read.
std::string Registry() {
#ifdef _WIN32
    return "the Windows registry (HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\"
           "CurrentVersion\\App Paths)";
#else
    const char* file = std::getenv("BRIOUTIL_REGISTRY");
    if (!file || !*file)
        Fail(kInput, "no registry to read: BRIOUTIL_REGISTRY is not set (it names a .reg file)");
    if (!Exists(file))
        Fail(kInput, std::string(file) + ": the registry file (BRIOUTIL_REGISTRY) does not exist");
    if (IsFolder(file))
        Fail(kInput, std::string(file) + ": the registry file (BRIOUTIL_REGISTRY) is a folder");
    return file;
#endif
}

}  // namespace

int RunAppPath(const std::vector<std::string>& argv) {
    Args args(argv, {}, {});
    args.Expect(1, 1, "brioutil apppath NAME");
    const std::string& name = args.Positional()[0];
    std::string registry = Registry();
    const char* data = nullptr;
    uint32_t size = 0;
    int32_t status = GetAppPath(name.c_str(), &data, &size);
    if (status == 2) Fail(kInput, "'" + name + "' is not registered in " + registry);
    if (status == 259) Fail(kInput, "'" + name + "' is registered without a path in " + registry);
    if (status != 0)
        Fail(kInput,
             "'" + name + "': registry error " + std::to_string(status) + " reading " + registry);
    std::string path(data, size);
    while (!path.empty() && path.back() == '\0') path.pop_back();
    if (args.Json())
        std::cout << "{\"name\": " << JsonString(name) << ", \"path\": " << JsonString(path)
                  << ", \"registry\": " << JsonString(registry) << "}\n";
    else
        std::cout << Printable(path) << "\n";
    return kOk;
}

}  // namespace cli
