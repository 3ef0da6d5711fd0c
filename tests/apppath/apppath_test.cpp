// GetAppPath on the portable registry (Linux) and the real one (Wine): one table.
#include <gtest/gtest.h>

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

// Installs REGEDIT4 sections whose key lines name only the application ("[App.exe]").
class AppPathsRegistry {
  public:
    explicit AppPathsRegistry(const std::string& sections) {
        std::string text = "REGEDIT4\n";
        for (size_t i = 0; i < sections.size(); ++i)
            text +=
                sections[i] == '[' && (i == 0 || sections[i - 1] == '\n')
                    ? "[HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\" + Name("")
                    : std::string(1, sections[i]);
#ifdef _WIN32
        // A key or value not made shows in the lookups.
        RegFile file;
        file.Parse(text);
        for (const RegFileKey& k : file.Keys()) {
            created_.push_back(k.path.substr(k.path.find('\\') + 1));
            HKEY key = nullptr;
            ::RegCreateKeyA(HKEY_LOCAL_MACHINE, created_.back().c_str(), &key);
            for (const RegFileValue& v : k.values)
                ::RegSetValueExA(key, v.name.c_str(), 0, v.type,
                                 reinterpret_cast<const BYTE*>(v.data.data()),
                                 static_cast<DWORD>(v.data.size()));
            ::RegCloseKey(key);
        }
#else
        WriteFile(dir_.File("registry.reg"), text);
        setenv("BRIOUTIL_REGISTRY", dir_.File("registry.reg").c_str(), 1);
#endif
    }
    ~AppPathsRegistry() {
#ifdef _WIN32
        for (const std::string& key : created_) ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
#else
        unsetenv("BRIOUTIL_REGISTRY");
#endif
    }
    // The registry is shared with other runs: names get this run's own prefix.
    std::string Name(const std::string& app) const {
        return prefix_ + app;
    }

  private:
    const std::string prefix_ = "BrioutilTest" + std::to_string(std::random_device()()) + "-";
    std::vector<std::string> created_;  // keys made in the Windows registry
    TempDir dir_;                       // the portable registry's file, elsewhere
};

constexpr uint32_t kUntouchedSize = 0xDEADBEEF;
const char kSentinel[] = "untouched";

TEST(AppPath, LooksUpTheDefaultValueOrElseTheFirstOneInOneBuffer) {
    // The folder is listed before the program: still the program.
    AppPathsRegistry reg(
        "[Editor.exe]\n\"Path\"=\"C:\\\\Editor\"\n@=\"C:\\\\Editor\\\\ed.exe\"\n"
        "[Empty.exe]\n[PathOnly.exe]\n\"Path\"=\"E:\\\\Portable\"\n"
        "[Number.exe]\n@=dword:12345678\n[Longest.exe]\n@=\"" +
        std::string(511, 'l') + "\"\n[OneOver.exe]\n@=\"" + std::string(512, 'o') +
        "\"\n[LongName.exe]\n\"" + std::string(600, 'v') +
        "\"=\"F:\\\\named.exe\"\n[\311diteur.exe]\n@=\"G:\\\\\351diteur.exe\"\n");
    std::string missing = reg.Name("Missing.exe");
    // 459 characters still reach the registry (in short components); 460 do not.
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
        {reg.Name("Editor.exe"), 0, std::string("C:\\Editor\\ed.exe", 17), 17},
        {reg.Name("PathOnly.exe"), 0, std::string("E:\\Portable", 12), 12},
        {reg.Name("Empty.exe"), kErrorNoMoreItems, "", 0},
        {reg.Name("Longest.exe"), 0, std::string(511, 'l') + '\0', 512},
        {reg.Name("OneOver.exe"), kErrorMoreData, "", 513},  // and the buffer emptied
        {reg.Name("Number.exe"), 0, "\x78\x56\x34\x12", 4},
        {reg.Name("LongName.exe"), 0, std::string("F:\\named.exe", 13), 13},
        {reg.Name("\351DITEUR.EXE"), 0, std::string("G:\\\351diteur.exe", 15), 15},  // e acute
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
        ASSERT_EQ(size, c.size);  // stops a read past the buffer
        if (c.size == kUntouchedSize) {
            EXPECT_EQ(data, kSentinel);
            continue;
        }
        EXPECT_EQ(data, buffer ? buffer : (buffer = data));
        size_t length = c.rc == 0 ? size : 0;
        EXPECT_EQ(std::string(data, length), c.bytes);
        EXPECT_EQ(data[length], '\0');  // zero-terminated, whatever the value's type
    }
    const char* data = kSentinel;
    uint32_t size = kUntouchedSize;
    std::vector<int32_t> nulls = {GetAppPath(nullptr, &data, &size),
                                  GetAppPath(missing.c_str(), nullptr, &size),
                                  GetAppPath(missing.c_str(), &data, nullptr)};
    EXPECT_EQ(nulls, std::vector<int32_t>(3, kErrorInvalidParameter));
    EXPECT_EQ(data, kSentinel);
    EXPECT_EQ(size, kUntouchedSize);
#ifndef _WIN32
    // Portable registry only: each failed allocation reports 8 and touches nothing.
    long n = 1;
    for (int32_t rc = 8; rc == 8 && n < 5000; ++n) {
        FailAllocationAfter(n);
        rc = GetAppPath(reg.Name("PathOnly.exe").c_str(), &data, &size);
        FailAllocationAfter(0);
        EXPECT_TRUE(rc == 0 ? std::string(data) == "E:\\Portable"
                            : rc == 8 && data == kSentinel && size == kUntouchedSize)
            << rc;
    }
    EXPECT_GT(n, 2);  // the first attempt failed
    EXPECT_LT(n, 5000);
    for (const char* variable : {"", "/nonexistent/m.reg", static_cast<const char*>(nullptr)}) {
        variable ? setenv("BRIOUTIL_REGISTRY", variable, 1) : unsetenv("BRIOUTIL_REGISTRY");
        EXPECT_EQ(GetAppPath(reg.Name("PathOnly.exe").c_str(), &data, &size), kErrorFileNotFound);
    }
#endif
}

}  // namespace
}  // namespace brio::test
