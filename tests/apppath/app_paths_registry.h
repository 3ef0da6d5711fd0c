// App Paths keys written as .reg text, installed for one test: elsewhere in
// the file BRIOUTIL_REGISTRY names, on Windows read by the .reg reader into
// the real registry (removed again afterwards). One text serves both builds.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/regfile.h"
#include "test_support.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace brio::test {

constexpr char kAppPathsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

inline std::string Sz(const std::string& text) {
    return text + std::string(1, '\0');
}

#ifndef _WIN32
// Points BRIOUTIL_REGISTRY at a file, or removes it (null), until destroyed.
class RegistryVariable {
  public:
    explicit RegistryVariable(const char* value) : hadOld_(std::getenv(kName) != nullptr) {
        if (hadOld_) old_ = std::getenv(kName);
        Set(value);
    }
    ~RegistryVariable() { Set(hadOld_ ? old_.c_str() : nullptr); }
    static void Set(const char* value) { value ? setenv(kName, value, 1) : unsetenv(kName); }

  private:
    static constexpr const char* kName = "BRIOUTIL_REGISTRY";
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
#else
    std::string Name(const std::string& app) const {
        return "BrioutilTest-" + app;
    }
#endif

    // `sections`: REGEDIT4 lines whose key lines name only the application
    // ("[App.exe]"). Gives "" or what went wrong.
    std::string Install(const std::string& sections) {
        std::string text = "REGEDIT4\n";
        for (size_t i = 0; i < sections.size(); ++i)
            text += sections[i] == '[' && (i == 0 || sections[i - 1] == '\n')
                        ? "[HKEY_LOCAL_MACHINE\\" + std::string(kAppPathsKey) + Name("")
                        : std::string(1, sections[i]);
#ifdef _WIN32
        RegFile file;
        if (!file.Parse(text)) return "unreadable";
        for (const RegFileKey& k : file.Keys()) {
            std::string path = k.path.substr(k.path.find('\\') + 1);
            HKEY key = nullptr;
            DWORD disposition = 0;
            LONG rc = ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                        KEY_ALL_ACCESS, nullptr, &key, &disposition);
            if (rc == ERROR_SUCCESS && disposition == REG_CREATED_NEW_KEY) created_.push_back(path);
            for (const RegFileValue& v : k.values)
                if (rc == ERROR_SUCCESS)
                    rc = ::RegSetValueExA(key, v.name.c_str(), 0, v.type,
                                          reinterpret_cast<const BYTE*>(v.data.data()),
                                          static_cast<DWORD>(v.data.size()));
            if (key) ::RegCloseKey(key);
            if (rc != ERROR_SUCCESS) return path.substr(0, 80) + ": " + std::to_string(rc);
        }
        return "";
    }

  private:
    std::vector<std::string> created_;
#else
        std::string file = dir_.File("registry.reg");
        if (!WriteFile(file, text)) return "cannot write " + file;
        RegistryVariable::Set(file.c_str());
        return "";
    }

  private:
    TempDir dir_;
    RegistryVariable variable_{nullptr};  // no registry until Install
#endif
};

}  // namespace brio::test
