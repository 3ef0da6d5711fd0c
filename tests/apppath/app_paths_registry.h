// Applications registered under App Paths for one test: in the real registry
// on Windows (removed again afterwards), elsewhere in a .reg file that
// BRIOUTIL_REGISTRY names. The same test cases then run in both builds.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace brio::test {

constexpr char kAppPathsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

struct TestValue {
    std::string name;  // "" for the default value
    uint32_t type;
    std::string data;  // as stored: strings with their zero
};

struct TestApp {
    std::string name;  // may hold backslashes: nested keys
    std::vector<TestValue> values;
};

// A string value with its terminating zero.
TestValue StringValue(const std::string& name, const std::string& text);

class AppPathsRegistry {
  public:
    AppPathsRegistry();
    ~AppPathsRegistry();
    AppPathsRegistry(const AppPathsRegistry&) = delete;
    AppPathsRegistry& operator=(const AppPathsRegistry&) = delete;

    // The registry is shared with other runs on Windows: every application
    // name gets a prefix of this process's own.
    std::string Name(const std::string& app) const { return prefix_ + app; }
    // Registers the applications (names as given, already prefixed). False
    // when the registry refused; the test should then stop.
    bool Install(const std::vector<TestApp>& apps);
    // What Install could not do.
    const std::string& Error() const { return error_; }

  private:
    std::string prefix_;
    std::string error_;
    struct State;
    std::unique_ptr<State> state_;
};

#ifndef _WIN32
// Points BRIOUTIL_REGISTRY at a file, or removes it (null), until destroyed.
class RegistryVariable {
  public:
    explicit RegistryVariable(const char* value);
    ~RegistryVariable();
    RegistryVariable(const RegistryVariable&) = delete;
    RegistryVariable& operator=(const RegistryVariable&) = delete;

  private:
    bool hadOld_ = false;
    std::string old_;
};
#endif

}  // namespace brio::test
