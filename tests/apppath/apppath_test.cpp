// GetAppPath through the public header, against the portable registry on
// Linux and against the real registry on Windows (Wine): one table for both.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "apppath/app_paths_registry.h"
#include "brioutil.h"
#include "platform/platform.h"
#include "test_support.h"

namespace brio::test {
namespace {

constexpr uint32_t kRegDword = 4;
constexpr uint32_t kUntouchedSize = 0xDEADBEEF;
const char kSentinel[] = "untouched";

const std::string kEditorExe = R"(C:\Program Files\Editor\editor.exe)";
const std::string kQuotedCommand = R"("C:\A B\quoted.exe" /x)";

std::string Sz(const std::string& text) {
    return text + std::string(1, '\0');
}

std::string Dword(uint32_t value) {
    std::string bytes;
    for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>(value >> shift & 0xFF);
    return bytes;
}

// A nested key whose whole name is `length` characters: components of at most
// 255 characters, as the registry requires.
std::string DeepName(const AppPathsRegistry& reg, size_t length) {
    std::string head = reg.Name("Deep");
    std::string tail;
    for (int i = 0; i < 4; ++i) tail += "\\" + std::string(100, static_cast<char>('p' + i));
    return head + std::string(length - head.size() - tail.size(), 'd') + tail;
}

class AppPathTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::vector<TestApp> apps = {
            // The folder is listed before the program: still the program.
            {reg.Name("Editor.exe"),
             {StringValue("Path", R"(C:\Program Files\Editor)"), StringValue("", kEditorExe)}},
            {reg.Name("Viewer.exe"),
             {StringValue("", R"(D:\Tools\viewer.exe)"), {"UseUrl", kRegDword, Dword(1)}}},
            {reg.Name("Empty.exe"), {}},
            {reg.Name("PathOnly.exe"), {StringValue("Path", R"(E:\Portable)")}},
            {reg.Name("Big.exe"), {StringValue("", std::string(600, 'b'))}},
            {reg.Name("Fits.exe"), {StringValue("", std::string(510, 'f'))}},
            {reg.Name("OneOver.exe"), {StringValue("", std::string(511, 'o'))}},
            {reg.Name("Number.exe"), {{"", kRegDword, Dword(0x12345678)}}},
            {reg.Name("LongName.exe"), {StringValue(std::string(600, 'v'), R"(F:\named.exe)")}},
            {reg.Name("\xC9"
                      "diteur.exe"),
             {StringValue("",
                          "G:\\\xE9"
                          "diteur.exe")}},
            {reg.Name("Quoted.exe"), {StringValue("", kQuotedCommand)}},
            {DeepName(reg, 459), {StringValue("", R"(H:\deep.exe)")}},
        };
        ASSERT_TRUE(reg.Install(apps)) << reg.Error();
    }

    AppPathsRegistry reg;
};

TEST_F(AppPathTest, LooksUpTheDefaultValueOrElseTheFirstOne) {
    struct Case {
        std::string name;
        int32_t rc;
        std::string bytes;  // as handed out: strings with their zero
        uint32_t size;
    } cases[] = {
        {reg.Name("Editor.exe"), 0, Sz(kEditorExe), 35},
        {reg.Name("EDITOR.EXE"), 0, Sz(kEditorExe), 35},
        {reg.Name("Viewer.exe"), 0, Sz(R"(D:\Tools\viewer.exe)"), 20},
        {reg.Name("PathOnly.exe"), 0, Sz(R"(E:\Portable)"), 12},
        {reg.Name("Empty.exe"), kErrorNoMoreItems, "", 0},
        {reg.Name("Big.exe"), kErrorMoreData, "", 601},
        {reg.Name("Fits.exe"), 0, Sz(std::string(510, 'f')), 511},
        {reg.Name("OneOver.exe"), kErrorMoreData, "", 512},
        {reg.Name("Number.exe"), 0, Dword(0x12345678), 4},
        {reg.Name("LongName.exe"), 0, Sz(R"(F:\named.exe)"), 13},
        {reg.Name("\xE9"
                  "DITEUR.EXE"),
         0,
         Sz("G:\\\xE9"
            "diteur.exe"),
         15},
        {reg.Name("Quoted.exe"), 0, Sz(kQuotedCommand), 23},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.substr(0, 40));
        const char* data = kSentinel;
        uint32_t size = kUntouchedSize;
        EXPECT_EQ(GetAppPath(c.name.c_str(), &data, &size), c.rc);
        ASSERT_NE(data, kSentinel);
        EXPECT_EQ(size, c.size);
        size_t length = c.rc == 0 ? size : 0;
        EXPECT_EQ(std::string(data, length), c.bytes);
        EXPECT_EQ(data[length], '\0');  // zero-terminated, whatever the value's type
    }
}

TEST_F(AppPathTest, TheLongestNameReachesTheRegistry) {
    const char* data = kSentinel;
    uint32_t size = kUntouchedSize;
    int32_t rc = GetAppPath(DeepName(reg, 459).c_str(), &data, &size);
    EXPECT_NE(rc, kErrorInvalidParameter);
#ifdef _WIN32
    // The ANSI registry calls may refuse a path this long with a code of
    // their own, which is passed through.
    if (rc != kErrorSuccess) return;
#endif
    ASSERT_EQ(rc, kErrorSuccess);
    EXPECT_EQ(std::string(data, size), Sz(R"(H:\deep.exe)"));
}

TEST_F(AppPathTest, RefusedLookupsLeaveTheOutArgumentsAlone) {
    std::string missing = reg.Name("Missing.exe");
    std::string tooLong = DeepName(reg, 460);
    const char* missingParent = "BrioutilTestNoSuchParent\\app.exe";
    const char* data = kSentinel;
    uint32_t size = kUntouchedSize;
    struct Case {
        const char* name;
        const char** data;
        uint32_t* size;
        int32_t rc;
    } cases[] = {
        {missing.c_str(), &data, &size, kErrorFileNotFound},
        {missingParent, &data, &size, kErrorFileNotFound},
        {tooLong.c_str(), &data, &size, kErrorInvalidParameter},
        {nullptr, &data, &size, kErrorInvalidParameter},
        {missing.c_str(), nullptr, &size, kErrorInvalidParameter},
        {missing.c_str(), &data, nullptr, kErrorInvalidParameter},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name ? c.name : "(null)");
        EXPECT_EQ(GetAppPath(c.name, c.data, c.size), c.rc);
        EXPECT_EQ(data, kSentinel);
        EXPECT_EQ(size, kUntouchedSize);
    }
}

TEST_F(AppPathTest, OneBufferPerThreadOverwrittenByTheNextCall) {
    const char* first = nullptr;
    const char* second = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(GetAppPath(reg.Name("Editor.exe").c_str(), &first, &size), 0);
    ASSERT_EQ(GetAppPath(reg.Name("Viewer.exe").c_str(), &second, &size), 0);
    EXPECT_EQ(first, second);
    EXPECT_STREQ(first, R"(D:\Tools\viewer.exe)");

    const char* other = nullptr;
    std::string otherText;
    std::thread worker([&] {
        uint32_t otherSize = 0;
        if (GetAppPath(reg.Name("PathOnly.exe").c_str(), &other, &otherSize) == 0)
            otherText = other;
    });
    worker.join();
    EXPECT_EQ(otherText, R"(E:\Portable)");
    EXPECT_NE(other, first);
    EXPECT_STREQ(first, R"(D:\Tools\viewer.exe)");
}

TEST_F(AppPathTest, FailedReadEmptiesTheBuffer) {
    const char* data = nullptr;
    uint32_t size = 0;
    ASSERT_EQ(GetAppPath(reg.Name("Viewer.exe").c_str(), &data, &size), 0);
    ASSERT_EQ(GetAppPath(reg.Name("Big.exe").c_str(), &data, &size), kErrorMoreData);
    EXPECT_STREQ(data, "");
}

#ifndef _WIN32
// Only the portable registry allocates under the failure hook.
TEST_F(AppPathTest, OutOfMemoryInTheRegistryIsReportedAndTouchesNothing) {
    std::string name = reg.Name("Viewer.exe");
    for (long n = 1;; ++n) {
        const char* data = kSentinel;
        uint32_t size = kUntouchedSize;
        FailAllocationAfter(n);
        int32_t rc = GetAppPath(name.c_str(), &data, &size);
        FailAllocationAfter(0);
        if (rc == 8) {
            EXPECT_EQ(data, kSentinel);
            EXPECT_EQ(size, kUntouchedSize);
            continue;
        }
        ASSERT_EQ(rc, 0) << "after " << n << " allocations";
        EXPECT_STREQ(data, R"(D:\Tools\viewer.exe)");
        EXPECT_GT(n, 1);  // the first attempt did fail
        break;
    }
}

TEST(AppPathExportedFile, ReadsWhatTheRegistryEditorWrites) {
    // UTF-16 with CR LF lines; names and text come out in the ANSI code page.
    RegistryVariable variable(DataDir("apppath/exported.reg").c_str());
    struct Case {
        const char* name;
        int32_t rc;
        std::string text;
        uint32_t size;
    } cases[] = {
        {"editeur.exe", 0,
         Sz("C:\\Programmes\\\xC9"
            "diteur\\\xE9"
            "diteur.exe"),
         34},
        {"Tableur.exe", 0, Sz("%PROG%\\t.exe"), 13},  // REG_EXPAND_SZ, handed out unexpanded
        {"Vide.exe", kErrorNoMoreItems, "", 0},
        {"Absent.exe", kErrorFileNotFound, kSentinel, kUntouchedSize},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const char* data = kSentinel;
        uint32_t size = kUntouchedSize;
        EXPECT_EQ(GetAppPath(c.name, &data, &size), c.rc);
        EXPECT_EQ(size, c.size);
        EXPECT_EQ(std::string(data, c.rc == 0 ? size : std::strlen(data)), c.text);
    }
}
#endif

}  // namespace
}  // namespace brio::test
