// Applications registered under App Paths for one test: in the real registry
// on Windows (removed again afterwards), elsewhere in a .reg file that
// BRIOUTIL_REGISTRY names. The same test cases then run in both builds.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
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
    std::string data;  // as stored: strings with their zero, dwords little-endian
};
using TestApp = std::pair<std::string, std::vector<TestValue>>;

inline std::string Sz(const std::string& text) {
    return text + std::string(1, '\0');
}
inline TestValue StringValue(const std::string& name, const std::string& text) {
    return {name, 1, Sz(text)};
}
inline TestValue Dword(const std::string& name, uint32_t value) {
    std::string bytes;
    for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>(value >> shift & 0xFF);
    return {name, 4, bytes};
}

#ifndef _WIN32
// Points BRIOUTIL_REGISTRY at a file, or removes it (null), until destroyed.
class RegistryVariable {
  public:
    explicit RegistryVariable(const char* value) {
        const char* old = std::getenv("BRIOUTIL_REGISTRY");
        hadOld_ = old != nullptr;
        if (old) old_ = old;
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

// Install gives "" or what the registry refused.
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
    std::string Install(const std::vector<TestApp>& apps) {
        for (const auto& [name, values] : apps) {
            std::string path = kAppPathsKey + name;
            HKEY key = nullptr;
            DWORD disposition = 0;
            LONG rc = ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                        KEY_ALL_ACCESS, nullptr, &key, &disposition);
            if (rc == ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY) created_.push_back(path);
            for (const TestValue& v : values)
                if (rc == ERROR_SUCCESS)
                    rc = ::RegSetValueExA(key, v.name.c_str(), 0, v.type,
                                          reinterpret_cast<const BYTE*>(v.data.data()),
                                          static_cast<DWORD>(v.data.size()));
            if (key) ::RegCloseKey(key);
            if (rc != ERROR_SUCCESS) return name.substr(0, 60) + ": " + std::to_string(rc);
        }
        return "";
    }

  private:
    std::vector<std::string> created_;
#else
    std::string Name(const std::string& app) const {
        return "BrioutilTest-" + app;
    }
    std::string Install(const std::vector<TestApp>& apps) {
        std::string text = "REGEDIT4\n";
        for (const auto& [name, values] : apps) {
            text += "\n[HKEY_LOCAL_MACHINE\\" + std::string(kAppPathsKey) + name + "]\n";
            for (const TestValue& v : values) {
                text += (v.name.empty() ? "@" : Quoted(v.name)) + "=";
                uint32_t dword = 0;
                for (size_t i = v.data.size(); v.type == 4 && i-- > 0;)
                    dword = dword << 8 | static_cast<unsigned char>(v.data[i]);
                char number[16];
                std::snprintf(number, sizeof number, "dword:%08x", dword);
                text += (v.type == 1 ? Quoted(v.data.substr(0, v.data.size() - 1)) : number) + "\n";
            }
        }
        std::string file = dir_.File("registry.reg");
        if (!WriteFile(file, text)) return "cannot write " + file;
        RegistryVariable::Set(file.c_str());
        return "";
    }

  private:
    static std::string Quoted(const std::string& text) {
        std::string out = "\"";
        for (char c : text) out += c == '\\' || c == '"' ? std::string{'\\', c} : std::string{c};
        return out + "\"";
    }
    TempDir dir_;
    RegistryVariable variable_{nullptr};  // no registry until Install
#endif
};

}  // namespace brio::test
