#include "apppath/app_paths_registry.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "test_support.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace brio::test {

TestValue StringValue(const std::string& name, const std::string& text) {
    return TestValue{name, 1, text + std::string(1, '\0')};
}

#ifdef _WIN32

namespace {

std::vector<std::string> Components(const std::string& name) {
    std::vector<std::string> parts;
    for (size_t pos = 0; pos <= name.size();) {
        size_t slash = name.find('\\', pos);
        if (slash == std::string::npos) slash = name.size();
        parts.push_back(name.substr(pos, slash - pos));
        pos = slash + 1;
    }
    return parts;
}

// Opens App Paths and then the first `depth` levels one by one: the ANSI calls
// refuse long paths, while each level's name is short.
HKEY OpenLevels(const std::vector<std::string>& levels, size_t depth) {
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kAppPathsKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return nullptr;
    for (size_t i = 0; i < depth; ++i) {
        HKEY next = nullptr;
        LONG rc = ::RegOpenKeyExA(key, levels[i].c_str(), 0, KEY_ALL_ACCESS, &next);
        ::RegCloseKey(key);
        if (rc != ERROR_SUCCESS) return nullptr;
        key = next;
    }
    return key;
}

}  // namespace

struct AppPathsRegistry::State {
    std::vector<std::vector<std::string>> created;  // parents before children
};

AppPathsRegistry::AppPathsRegistry() : state_(new State) {
    prefix_ = "BrioutilTest" + std::to_string(::GetCurrentProcessId()) + "-";
}

AppPathsRegistry::~AppPathsRegistry() {
    for (auto it = state_->created.rbegin(); it != state_->created.rend(); ++it) {
        HKEY parent = OpenLevels(*it, it->size() - 1);
        if (!parent) continue;
        ::RegDeleteKeyA(parent, it->back().c_str());
        ::RegCloseKey(parent);
    }
}

bool AppPathsRegistry::Install(const std::vector<TestApp>& apps) {
    for (const TestApp& app : apps) {
        std::vector<std::string> levels = Components(app.name);
        HKEY key = OpenLevels(levels, 0);
        if (!key) {
            error_ = "cannot open App Paths";
            return false;
        }
        for (size_t depth = 1; depth <= levels.size(); ++depth) {
            HKEY child = nullptr;
            DWORD disposition = 0;
            LONG rc = ::RegCreateKeyExA(key, levels[depth - 1].c_str(), 0, nullptr, 0,
                                        KEY_ALL_ACCESS, nullptr, &child, &disposition);
            ::RegCloseKey(key);
            if (rc != ERROR_SUCCESS) {
                error_ = "creating " + app.name.substr(0, 60) + ": " + std::to_string(rc);
                return false;
            }
            if (disposition == REG_CREATED_NEW_KEY)
                state_->created.emplace_back(levels.begin(), levels.begin() + depth);
            key = child;
        }
        for (const TestValue& value : app.values) {
            LONG rc = ::RegSetValueExA(key, value.name.c_str(), 0, value.type,
                                       reinterpret_cast<const BYTE*>(value.data.data()),
                                       static_cast<DWORD>(value.data.size()));
            if (rc != ERROR_SUCCESS) {
                error_ = "setting " + value.name.substr(0, 40) + " of " + app.name.substr(0, 60) +
                         ": " + std::to_string(rc);
                ::RegCloseKey(key);
                return false;
            }
        }
        ::RegCloseKey(key);
    }
    return true;
}

#else

namespace {

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

bool IsPlainString(const TestValue& value) {
    return value.type == 1 && !value.data.empty() && value.data.back() == '\0' &&
           value.data.find('\0') == value.data.size() - 1;
}

std::string Render(const TestValue& value) {
    std::string line = value.name.empty() ? "@=" : Quoted(value.name) + "=";
    if (IsPlainString(value)) return line + Quoted(value.data.substr(0, value.data.size() - 1));
    char buffer[32];
    if (value.type == 4 && value.data.size() == 4) {
        uint32_t number = 0;
        for (int i = 3; i >= 0; --i)
            number = number << 8 | static_cast<unsigned char>(value.data[i]);
        std::snprintf(buffer, sizeof buffer, "dword:%08x", static_cast<unsigned>(number));
        return line + buffer;
    }
    std::snprintf(buffer, sizeof buffer, "hex(%x):", static_cast<unsigned>(value.type));
    line += buffer;
    for (size_t i = 0; i < value.data.size(); ++i) {
        std::snprintf(buffer, sizeof buffer, "%s%02x", i ? "," : "",
                      static_cast<unsigned>(static_cast<unsigned char>(value.data[i])));
        line += buffer;
        if (i % 16 == 15 && i + 1 < value.data.size()) line += ",\\\n  ";
    }
    return line;
}

}  // namespace

RegistryVariable::RegistryVariable(const char* value) {
    if (const char* old = std::getenv("BRIOUTIL_REGISTRY")) {
        hadOld_ = true;
        old_ = old;
    }
    if (value)
        setenv("BRIOUTIL_REGISTRY", value, 1);
    else
        unsetenv("BRIOUTIL_REGISTRY");
}

RegistryVariable::~RegistryVariable() {
    if (hadOld_)
        setenv("BRIOUTIL_REGISTRY", old_.c_str(), 1);
    else
        unsetenv("BRIOUTIL_REGISTRY");
}

struct AppPathsRegistry::State {
    TempDir dir;
    RegistryVariable variable{nullptr};  // no registry until Install
};

AppPathsRegistry::AppPathsRegistry() : state_(new State) {
    prefix_ = "BrioutilTest-";
}

AppPathsRegistry::~AppPathsRegistry() = default;

bool AppPathsRegistry::Install(const std::vector<TestApp>& apps) {
    std::string text = "REGEDIT4\n";
    for (const TestApp& app : apps) {
        text += "\n[HKEY_LOCAL_MACHINE\\" + std::string(kAppPathsKey) + app.name + "]\n";
        for (const TestValue& value : app.values) text += Render(value) + "\n";
    }
    std::string file = state_->dir.File("registry.reg");
    if (!WriteFile(file, text) || setenv("BRIOUTIL_REGISTRY", file.c_str(), 1) != 0) {
        error_ = "cannot write " + file;
        return false;
    }
    return true;
}

#endif

}  // namespace brio::test
