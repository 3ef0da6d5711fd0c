// Applications registered under App Paths for one test: in the real registry
// on Windows (removed again afterwards), elsewhere in a .reg file that
// BRIOUTIL_REGISTRY names. The same test cases then run in both builds.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "test_support.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace brio::test {

constexpr char kAppPathsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

struct TestValue {
    std::string name;  // "" for the default value
    uint32_t type;     // string (1) or dword (4)
    std::string data;  // as stored: strings with their zero
};

struct TestApp {
    std::string name;
    std::vector<TestValue> values;
};

inline TestValue StringValue(const std::string& name, const std::string& text) {
    return TestValue{name, 1, text + std::string(1, '\0')};
}

#ifndef _WIN32
// Points BRIOUTIL_REGISTRY at a file, or removes it (null), until destroyed.
class RegistryVariable {
  public:
    explicit RegistryVariable(const char* value) : hadOld_(std::getenv("BRIOUTIL_REGISTRY")) {
        if (hadOld_) old_ = std::getenv("BRIOUTIL_REGISTRY");
        Set(value);
    }
    ~RegistryVariable() { Set(hadOld_ ? old_.c_str() : nullptr); }
    static void Set(const char* value) {
        value ? setenv("BRIOUTIL_REGISTRY", value, 1) : unsetenv("BRIOUTIL_REGISTRY");
    }

  private:
    bool hadOld_;
    std::string old_;
};
#endif

class AppPathsRegistry {
  public:
#ifdef _WIN32
    // The registry is shared with other runs: names get this process's prefix.
    std::string Name(const std::string& app) const {
        return "BrioutilTest" + std::to_string(::GetCurrentProcessId()) + "-" + app;
    }
    ~AppPathsRegistry() {
        for (const std::string& key : created_) ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
    }
    // False when the registry refused; Error() says why.
    bool Install(const std::vector<TestApp>& apps) {
        for (const TestApp& app : apps) {
            std::string path = kAppPathsKey + app.name;
            HKEY key = nullptr;
            DWORD disposition = 0;
            LONG rc = ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                        KEY_ALL_ACCESS, nullptr, &key, &disposition);
            if (rc != ERROR_SUCCESS) return Fail("creating " + app.name, rc);
            if (disposition == REG_CREATED_NEW_KEY) created_.push_back(path);
            for (const TestValue& v : app.values) {
                rc = ::RegSetValueExA(key, v.name.c_str(), 0, v.type,
                                      reinterpret_cast<const BYTE*>(v.data.data()),
                                      static_cast<DWORD>(v.data.size()));
                if (rc != ERROR_SUCCESS) break;
            }
            ::RegCloseKey(key);
            if (rc != ERROR_SUCCESS) return Fail("setting a value of " + app.name, rc);
        }
        return true;
    }
#else
    std::string Name(const std::string& app) const { return "BrioutilTest-" + app; }
    bool Install(const std::vector<TestApp>& apps) {
        std::string text = "REGEDIT4\n";
        for (const TestApp& app : apps) {
            text += "\n[HKEY_LOCAL_MACHINE\\" + std::string(kAppPathsKey) + app.name + "]\n";
            for (const TestValue& v : app.values) {
                text += v.name.empty() ? "@=" : Quoted(v.name) + "=";
                if (v.type == 1) {
                    text += Quoted(v.data.substr(0, v.data.size() - 1)) + "\n";
                    continue;
                }
                char dword[32];
                std::snprintf(dword, sizeof dword, "dword:%02x%02x%02x%02x\n",
                              v.data[3] & 0xFF, v.data[2] & 0xFF, v.data[1] & 0xFF,
                              v.data[0] & 0xFF);
                text += dword;
            }
        }
        std::string file = dir_.File("registry.reg");
        if (!WriteFile(file, text)) return Fail("cannot write " + file, 0);
        RegistryVariable::Set(file.c_str());
        return true;
    }
#endif
    const std::string& Error() const { return error_; }

  private:
    bool Fail(const std::string& what, long rc) {
        error_ = what.substr(0, 80) + ": " + std::to_string(rc);
        return false;
    }
#ifdef _WIN32
    std::vector<std::string> created_;
#else
    static std::string Quoted(const std::string& text) {
        std::string out = "\"";
        for (char c : text) out += c == '\\' || c == '"' ? std::string{'\\', c} : std::string{c};
        return out + "\"";
    }
    TempDir dir_;
    RegistryVariable variable_{nullptr};  // no registry until Install
#endif
    std::string error_;
};

}  // namespace brio::test
