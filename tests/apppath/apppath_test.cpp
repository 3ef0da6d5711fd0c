// GetAppPath and the registry calls under it, against the portable registry
// on Linux and against the real registry on Windows (Wine): one table for both.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "brioutil.h"
#include "platform/platform.h"
#include "platform/regfile.h"
#include "test_support.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace brio::test {
namespace {

constexpr char kAppPathsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

inline std::string Sz(const std::string& text) {
    return text + std::string(1, '\0');
}

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
    // No registry until Install, and none after.
    AppPathsRegistry() {
        unsetenv("BRIOUTIL_REGISTRY");
    }
    ~AppPathsRegistry() {
        unsetenv("BRIOUTIL_REGISTRY");
    }
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
        setenv("BRIOUTIL_REGISTRY", file.c_str(), 1);
        return "";
    }

  private:
    TempDir dir_;
#endif
};

constexpr uint32_t kUntouchedSize = 0xDEADBEEF;
const char kSentinel[] = "untouched";

class AppPathTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // The folder is listed before the program: still the program.
        ASSERT_EQ(
            reg.Install(R"([Editor.exe]
"Path"="C:\\Program Files\\Editor"
@="C:\\Program Files\\Editor\\editor.exe"
[Viewer.exe]
@="D:\\Tools\\viewer.exe"
"UseUrl"=dword:00000001
[Empty.exe]
[PathOnly.exe]
"Path"="E:\\Portable"
[Number.exe]
@=dword:12345678
[Longest.exe]
@=")" + std::string(511, 'l') +
                        "\"\n[OneOver.exe]\n@=\"" + std::string(512, 'o') +
                        "\"\n[LongName.exe]\n\"" + std::string(600, 'v') +
                        "\"=\"F:\\\\named.exe\"\n[\311diteur.exe]\n@=\"G:\\\\\351diteur.exe\"\n"),
            "");
    }

    AppPathsRegistry reg;
};

// One buffer for every lookup, overwritten by the next; a refused lookup
// leaves the out arguments alone.
TEST_F(AppPathTest, LooksUpTheDefaultValueOrElseTheFirstOneInOneBuffer) {
    std::string missing = reg.Name("Missing.exe");
    // 459 characters still reach the registry (in short components, as it
    // requires); 460 do not.
    std::string longest = "BrioutilTestNoSuchParent";
    while (longest.size() < 459) longest += "\\" + std::string(100, 'p');
    longest.resize(459);
#ifdef _WIN32
    const int32_t kLongestRc = kErrorMoreData;  // the ANSI registry call's own refusal
#else
    const int32_t kLongestRc = kErrorFileNotFound;
#endif
    const struct {
        std::string name;
        int32_t rc;
        std::string bytes;  // as handed out: strings with their zero
        uint32_t size;
    } cases[] = {
        {reg.Name("Editor.exe"), 0, Sz(R"(C:\Program Files\Editor\editor.exe)"), 35},
        {reg.Name("EDITOR.EXE"), 0, Sz(R"(C:\Program Files\Editor\editor.exe)"), 35},
        {reg.Name("Viewer.exe"), 0, Sz(R"(D:\Tools\viewer.exe)"), 20},
        {reg.Name("PathOnly.exe"), 0, Sz(R"(E:\Portable)"), 12},
        {reg.Name("Empty.exe"), kErrorNoMoreItems, "", 0},
        {reg.Name("Longest.exe"), 0, Sz(std::string(511, 'l')), 512},
        {reg.Name("OneOver.exe"), kErrorMoreData, "", 513},  // and the buffer emptied
        {reg.Name("Number.exe"), 0, "\x78\x56\x34\x12", 4},
        {reg.Name("LongName.exe"), 0, Sz(R"(F:\named.exe)"), 13},
        {reg.Name("\351DITEUR.EXE"), 0, Sz("G:\\\351diteur.exe"), 15},  // \351: e acute
        {missing, kErrorFileNotFound, kSentinel, kUntouchedSize},
        {longest, kLongestRc, kSentinel, kUntouchedSize},
        {longest + "p", kErrorInvalidParameter, kSentinel, kUntouchedSize},
    };
    const char* buffer = nullptr;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.substr(0, 40));
        const char* data = kSentinel;
        uint32_t size = kUntouchedSize;
        EXPECT_EQ(GetAppPath(c.name.c_str(), &data, &size), c.rc);
        EXPECT_EQ(size, c.size);
        if (c.size == kUntouchedSize) {
            EXPECT_EQ(data, kSentinel);
            continue;
        }
        ASSERT_NE(data, kSentinel);
        EXPECT_EQ(data, buffer ? buffer : (buffer = data));
        size_t length = c.rc == 0 ? size : 0;
        EXPECT_EQ(std::string(data, length), c.bytes);
        EXPECT_EQ(data[length], '\0');  // zero-terminated, whatever the value's type
    }
    const char* data = kSentinel;
    uint32_t size = kUntouchedSize;
    EXPECT_EQ(GetAppPath(nullptr, &data, &size), kErrorInvalidParameter);
    EXPECT_EQ(GetAppPath(missing.c_str(), nullptr, &size), kErrorInvalidParameter);
    EXPECT_EQ(GetAppPath(missing.c_str(), &data, nullptr), kErrorInvalidParameter);
    EXPECT_EQ(data, kSentinel);
    EXPECT_EQ(size, kUntouchedSize);
}

#ifndef _WIN32
// Only the portable registry allocates under the failure hook: each failure
// reports 8 and touches nothing, until the lookup succeeds.
TEST_F(AppPathTest, OutOfMemoryInTheRegistryIsReported) {
    long n = 1;
    for (int32_t rc = 8; rc == 8 && n < 5000; ++n) {
        const char* data = kSentinel;
        uint32_t size = kUntouchedSize;
        FailAllocationAfter(n);
        rc = GetAppPath(reg.Name("Viewer.exe").c_str(), &data, &size);
        FailAllocationAfter(0);
        EXPECT_TRUE(rc == 0 ? std::string(data) == R"(D:\Tools\viewer.exe)"
                            : rc == 8 && data == kSentinel && size == kUntouchedSize)
            << rc;
    }
    EXPECT_GT(n, 2);  // the first attempt failed
    EXPECT_LT(n, 5000);
}
#endif

// The registry calls' Win32 codes, on keys of the registry this build uses.
TEST(RegistryCalls, OpenQueryAndEnumerationCodes) {
    AppPathsRegistry reg;
    ASSERT_EQ(reg.Install("[App.exe]\n\"Zeta\"=\"z\"\n\"alpha\"=\"a\"\n@=\"C:\\\\app.exe\"\n"), "");
    const std::string path = kAppPathsKey + reg.Name("App.exe");
    const std::pair<std::string, int32_t> opens[] = {
        {kAppPathsKey + reg.Name("APP.EXE") + "\\", kErrorSuccess},
        {std::string(kAppPathsKey) + "\\" + reg.Name("App.exe"), kErrorSuccess},
        {"", kErrorSuccess},
        {kAppPathsKey + reg.Name("Missing.exe"), kErrorFileNotFound},
        {path + "\\Sub", kErrorFileNotFound},
        {"\\" + path, 161},
    };
    for (const auto& [name, rc] : opens) {
        RegKey key = nullptr;
        EXPECT_EQ(PlatRegOpenMachineKey(name.c_str(), &key), rc) << name;
        EXPECT_EQ(key != nullptr, rc == kErrorSuccess) << name;
        if (key) PlatRegCloseKey(key);
    }
    RegKey key = nullptr;
    ASSERT_EQ(PlatRegOpenMachineKey(path.c_str(), &key), kErrorSuccess);
    unsigned char data[64];
    char name[64];
    uint32_t type = 0, size = sizeof data, nameSize = sizeof name;
    EXPECT_EQ(PlatRegQueryValue(key, "", &type, data, &size), kErrorSuccess);
    EXPECT_EQ(type, kRegSz);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), size), Sz("C:\\app.exe"));
    // Too small a buffer: the size needed, the buffer untouched.
    std::memset(data, 0xBD, sizeof data);
    size = 10;
    EXPECT_EQ(PlatRegQueryValue(key, nullptr, &type, data, &size), kErrorMoreData);
    EXPECT_EQ(size, 11u);
    EXPECT_EQ(data[0], 0xBD);
    EXPECT_EQ(PlatRegQueryValue(key, "zeta", &type, nullptr, &size), kErrorSuccess);
    EXPECT_EQ(size, 2u);
    EXPECT_EQ(PlatRegQueryValue(key, "Nope", &type, data, &size), kErrorFileNotFound);
    size = sizeof data;
    EXPECT_EQ(PlatRegEnumValue(key, 3, name, &nameSize, &type, data, &size), kErrorNoMoreItems);
#ifndef _WIN32
    // The registry file's order.
    const char* expected[] = {"Zeta", "alpha", ""};
    for (uint32_t index = 0; index < 3; ++index) {
        nameSize = sizeof name, size = sizeof data;
        ASSERT_EQ(PlatRegEnumValue(key, index, name, &nameSize, &type, data, &size), 0);
        EXPECT_STREQ(name, expected[index]);
        EXPECT_EQ(nameSize, std::strlen(expected[index]));
    }
    nameSize = 4;  // "Zeta" needs 5 bytes
    EXPECT_EQ(PlatRegEnumValue(key, 0, name, &nameSize, &type, data, &size), kErrorMoreData);
    EXPECT_EQ(PlatRegEnumValue(key, 1, nullptr, &nameSize, &type, data, &size),
              kErrorInvalidParameter);
    EXPECT_EQ(PlatRegQueryValue(nullptr, "", &type, data, &size), 6);
#endif
    PlatRegCloseKey(key);
}

#ifndef _WIN32
TEST(RegistryCalls, NoRegistryFileNoKeys) {
    for (const char* variable : {static_cast<const char*>(nullptr), "", "/nonexistent/m.reg"}) {
        AppPathsRegistry none;
        if (variable) setenv("BRIOUTIL_REGISTRY", variable, 1);
        RegKey key = nullptr;
        EXPECT_EQ(PlatRegOpenMachineKey("SOFTWARE", &key), kErrorFileNotFound);
        EXPECT_EQ(key, nullptr);
    }
}
#endif

}  // namespace
}  // namespace brio::test
