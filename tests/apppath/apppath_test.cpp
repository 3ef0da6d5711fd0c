// GetAppPath through the public header, against the portable registry on
// Linux and against the real registry on Windows (Wine): one table for both.
#include <gtest/gtest.h>

#include <string>

#include "apppath/app_paths_registry.h"
#include "brioutil.h"
#include "platform/platform.h"

namespace brio::test {
namespace {

constexpr uint32_t kUntouchedSize = 0xDEADBEEF;
const char kSentinel[] = "untouched";

class AppPathTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // The folder is listed before the program: still the program.
        ASSERT_EQ(reg.Install(R"([Editor.exe]
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
                              "\"=\"F:\\\\named.exe\"\n[\xC9"
                              "diteur.exe]\n@=\"G:\\\\\xE9"
                              "diteur.exe\"\n"),
                  "");
    }

    AppPathsRegistry reg;
};

TEST_F(AppPathTest, LooksUpTheDefaultValueOrElseTheFirstOneInOneBuffer) {
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
        {reg.Name("\xE9"
                  "DITEUR.EXE"),
         0,
         Sz("G:\\\xE9"
            "diteur.exe"),
         15},
    };
    const char* buffer = nullptr;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.substr(0, 40));
        const char* data = kSentinel;
        uint32_t size = kUntouchedSize;
        EXPECT_EQ(GetAppPath(c.name.c_str(), &data, &size), c.rc);
        ASSERT_NE(data, kSentinel);
        EXPECT_EQ(data, buffer ? buffer : (buffer = data));  // overwritten by the next call
        EXPECT_EQ(size, c.size);
        size_t length = c.rc == 0 ? size : 0;
        EXPECT_EQ(std::string(data, length), c.bytes);
        EXPECT_EQ(data[length], '\0');  // zero-terminated, whatever the value's type
    }
}

TEST_F(AppPathTest, RefusedLookupsLeaveTheOutArgumentsAlone) {
    std::string missing = reg.Name("Missing.exe");
    // 459 characters still reach the registry (in short components, as it
    // requires); 460 do not.
    std::string longest = "BrioutilTestNoSuchParent";
    while (longest.size() < 459) longest += "\\" + std::string(100, 'p');
    longest.resize(459);
    std::string tooLong = longest + "p";
#ifdef _WIN32
    const int32_t kLongestRc = kErrorMoreData;  // the ANSI registry call's own refusal
#else
    const int32_t kLongestRc = kErrorFileNotFound;
#endif
    const char* data = kSentinel;
    uint32_t size = kUntouchedSize;
    const struct {
        const char* name;
        const char** data;
        uint32_t* size;
        int32_t rc;
    } cases[] = {
        {missing.c_str(), &data, &size, kErrorFileNotFound},
        {longest.c_str(), &data, &size, kLongestRc},
        {tooLong.c_str(), &data, &size, kErrorInvalidParameter},
        {nullptr, &data, &size, kErrorInvalidParameter},
        {missing.c_str(), nullptr, &size, kErrorInvalidParameter},
        {missing.c_str(), &data, nullptr, kErrorInvalidParameter},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name ? std::string(c.name).substr(0, 40) : "(null)");
        EXPECT_EQ(GetAppPath(c.name, c.data, c.size), c.rc);
        EXPECT_EQ(data, kSentinel);
        EXPECT_EQ(size, kUntouchedSize);
    }
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

}  // namespace
}  // namespace brio::test
