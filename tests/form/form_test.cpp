// The Form... exports: exact file bytes after scripts of get, set and delete calls.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "brioutil.h"
#include "platform/platform.h"
#include "test_support.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

using brio::test::ReadFile;
using brio::test::TempDir;
using brio::test::WriteFile;

#ifdef _WIN32
const std::string kNative = "\r\n";  // for a file with no terminated line
#else
const std::string kNative = "\n";
#endif
constexpr int32_t kMissing = BRIO_ERR_NOT_FOUND;

// 'g': get (`value` when `status` is 0, else nothing given back), 's': set `value`, 'd': delete.
struct Step {
    char op;
    const char *type, *name, *key;
    std::string value;
    int32_t status;
};

std::string EditFile(const std::string& input, const std::vector<Step>& steps) {
    TempDir dir;
    std::string path = dir.File("form.frm");
    EXPECT_TRUE(WriteFile(path, input));
    FormFile* form = FormOpen(path.c_str());
    if (!form) return "<not opened>";
    for (size_t i = 0; i < steps.size(); ++i) {
        const Step& s = steps[i];
        SCOPED_TRACE("step " + std::to_string(i + 1));
        if (s.op == 's') {
            EXPECT_EQ(FormSetProperty(form, s.type, s.name, s.key, s.value.c_str()), s.status);
        } else if (s.op == 'd') {
            EXPECT_EQ(FormDeleteSection(form, s.type, s.name), s.status);
        } else {
            const char* value = nullptr;
            int32_t length = -7;
            EXPECT_EQ(FormGetProperty(form, s.type, s.name, s.key, &value, &length), s.status);
            EXPECT_EQ(
                value ? std::string(value, static_cast<size_t>(length)) : std::to_string(length),
                s.status == BRIO_OK ? s.value : "-7");
            EXPECT_TRUE(!value || value[length] == '\0');
        }
    }
    EXPECT_EQ(FormClose(form), BRIO_OK);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"form.frm"});
    return ReadFile(path);
}

const std::string kMain = "Begin Form Main\n   Caption = Hello there\nEnd\n";

const std::string kNested =
    "VERSION 5.00\nBegin A One\n   K = 1\n   Begin B Inner\n      K = 2\n   End\nEnd\n"
    "Begin A Two\n   K = 3\nEnd\nAttribute X = 1\n";
const std::string kFont =
    "Begin VB.Form F\r\n   Caption = \"F\"\r\n   BeginProperty Font \r\n      Name = "
    "\"Arial\"\r\n   EndProperty\r\n   Begin VB.Label L\r\n      Caption = \"L\"\r\n   End\r\n";
const std::string kLongValue(2000, 'v'), kLonger = kLongValue + "w";
const std::string kZero("Begin Form Main\n   Caption = a\0b \nEnd\n", 38);
struct Script {
    const char* title;
    std::string input;
    std::vector<Step> steps;
    std::string expected;
};

const Script kScripts[] = {
    {"get ignores case; missing sections, keys and line breaks change nothing",
     kMain,
     {{'g', "form", "main", "caption", "Hello there", 0},
      {'g', "Form", "Other", "Caption", "", kMissing},
      {'g', "Form", "Main", "Width", "", kMissing},
      {'g', "Form", "Main", nullptr, "", kMissing},
      {'s', "Form", "Other", "Caption", "x", kMissing},
      {'d', "Form", "Other", nullptr, "", kMissing},
      {'s', "Form", "Main", "Caption", "a\nb", BRIO_ERR_BAD_VALUE},
      {'s', "Form", "Main", "Caption", "a\r", BRIO_ERR_BAD_VALUE},
      {'s', "Form", "Main", "New\nKey", "a", BRIO_ERR_BAD_VALUE},
      // A new property is the section's first line; a replaced one gets three blanks.
      {'s', "Form", "Main", "Width", "100", 0},
      {'s', "Form", "Main", "Caption", "Bye", 0},
      {'g', "Form", "Main", "Caption", "Bye", 0},
      {'s', "Form", "Main", "A", "", 0},
      {'g', "Form", "Main", "A", "", 0},
      {'s', "Form", "Main", "A", "y", 0},
      {'s', "Form", "Main", "Caption", "", 0},
      {'g', "Form", "Main", "Caption", "", 0},
      {'g', "Form", "Main", "A", "y", 0}},
     "Begin Form Main\n   A =   y\n   Width = 100\n   Caption =   \nEnd\n"},
    {"a zero byte in a line is kept: the value runs to the line's end",
     kZero,
     {{'g', "Form", "Main", "Caption", std::string("a\0b ", 4), 0}},
     kZero},
    {"two sections of one type and name: the first one is used",
     "Begin A X\n   K = 1\nEnd\nBegin a x\n   K = 2\nEnd\n",
     {{'s', "A", "X", "K", "9", 0},
      {'g', "a", "X", "k", "9", 0},
      {'d', "A", "X", nullptr, "", 0},
      {'g', "A", "X", "K", "2", 0}},
     "Begin a x\n   K = 2\nEnd\n"},
    {"new lines are indented three blanks per level",
     "Begin A A\n   Begin B B\n      Begin C C\n      End\n   End\nEnd\n",
     {{'s', "C", "C", "Tag", "x", 0}, {'s', "B", "B", "Tag", "y", 0}},
     "Begin A A\n   Begin B B\n      Tag = y\n      Begin C C\n         Tag = x\n      End\n"
     "   End\nEnd\n"},
    {"deleting a top-level section stops at its own End",
     kNested,
     {{'d', "A", "One", nullptr, "", 0}, {'g', "A", "Two", "K", "3", 0}},
     "VERSION 5.00\nBegin A Two\n   K = 3\nEnd\nAttribute X = 1\n"},
    {"a deleted nested section is gone for every call",
     kNested,
     {{'d', "b", "inner", nullptr, "", 0},
      {'g', "B", "Inner", "K", "", kMissing},
      {'g', "A", "One", "K", "1", 0}},
     "VERSION 5.00\nBegin A One\n   K = 1\nEnd\nBegin A Two\n   K = 3\nEnd\nAttribute X = 1\n"},
    {"a file without sections gets a final terminator in its own style",
     "VERSION 5.00\r\nOption Explicit",
     {{'g', "A", "B", "K", "", kMissing}},
     "VERSION 5.00\r\nOption Explicit\r\n"},
    {"a file without any terminator gets the platform's",
     "Option Explicit",
     {},
     "Option Explicit" + kNative},
    // The fixes: each of these fails under the older rules.
    {"a property behind nested blocks is found and replaced in place",
     kFont + "   LinkTopic = \"F\"\r\nEnd\r\n",
     {{'g', "VB.Form", "F", "LinkTopic", "\"F\"", 0},
      {'g', "VB.Form", "F", "Name", "", kMissing},
      {'g', "Property", "Font", "Name", "\"Arial\"", 0},
      {'s', "VB.Form", "F", "LinkTopic", "\"G\"", 0}},
     kFont + "   LinkTopic =   \"G\"\r\nEnd\r\n"},
    {"the search ends at the section's own End",
     "Begin A S\n   Begin B T\n   End\nEnd\nK = 1\n",
     {{'g', "A", "S", "K", "", kMissing}, {'s', "A", "S", "K", "2", 0}},
     "Begin A S\n   K = 2\n   Begin B T\n   End\nEnd\nK = 1\n"},
    {"a key ends at the sign; the line splits at the sign after the key",
     "Begin A B\n   InvisibleAtRuntime=   -1\n   Tag=a = b\nEnd\n",
     {{'g', "A", "B", "InvisibleAtRuntime", "-1", 0},
      {'g', "A", "B", "Tag", "a = b", 0},
      {'s', "A", "B", "InvisibleAtRuntime", "0", 0},
      {'s', "A", "B", "Tag", "c", 0}},
     "Begin A B\n   InvisibleAtRuntime=   0\n   Tag=   c\nEnd\n"},
    {"BeginDate and EndTime are properties; only End in this case closes",
     "Begin A S\n   BeginDate = 1\n   EndTime = 5\n   end of notes\n   Caption = c\nEnd\n"
     "Begin A T\nEnd\n",
     {{'g', "A", "S", "EndTime", "5", 0},
      {'g', "A", "S", "Caption", "c", 0},
      {'d', "A", "S", nullptr, "", 0},
      {'s', "A", "T", "K", "v", 0}},
     "Begin A T\n   K = v\nEnd\n"},
    {"lines longer than 511 bytes stay whole",
     "Begin A B\n   Text = " + kLongValue + "\nEnd\n" + std::string(3000, 'x') + "\n",
     {{'g', "A", "B", "Text", kLongValue, 0}, {'s', "A", "B", "Text", kLonger, 0}},
     "Begin A B\n   Text =   " + kLonger + "\nEnd\n" + std::string(3000, 'x') + "\n"},
    {"a key with nothing after its sign is a property, also when deleting",
     "Begin A S\n   K =\n   End =  \n   L = 1\nEnd\nBegin A T\nEnd\n",
     {{'g', "A", "S", "K", "", 0},
      {'g', "A", "S", "End", "", 0},
      {'g', "A", "S", "L", "1", 0},
      {'d', "A", "S", nullptr, "", 0}},
     "Begin A T\nEnd\n"},
    {"mixed terminators stay as they were; a lone CR is text",
     "Begin A B\n   K = a\rb\r\nEnd\r\n\nX = 1\r\nlast",
     {{'g', "A", "B", "K", "a\rb", 0}, {'s', "A", "B", "N", "n", 0}},
     "Begin A B\n   N = n\n   K = a\rb\r\nEnd\r\n\nX = 1\r\nlast\n"},
};

TEST(Form, ScriptsGiveExactFiles) {
    for (const auto& c : kScripts) {
        SCOPED_TRACE(c.title);
        EXPECT_EQ(EditFile(c.input, c.steps), c.expected);
    }
}

TEST(FormCorpus, OpenCloseGivesEveryFileBack) {
    std::vector<std::string> files = brio::test::ListFiles(brio::test::CorpusDir("form"));
    ASSERT_GE(files.size(), 61u);
    int unterminated = 0;
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        std::string original = ReadFile(file), expected = original;
        ASSERT_FALSE(original.empty());
        if (original.back() != '\n') {  // gets the terminator of its first line
            size_t first = original.find('\n');
            ASSERT_NE(first, std::string::npos);
            expected += first > 0 && original[first - 1] == '\r' ? "\r\n" : "\n";
            ++unterminated;
        }
        EXPECT_TRUE(EditFile(original, {}) == expected) << "differs from the original";
    }
    EXPECT_GT(unterminated, 0);
}

// Refused calls change nothing; a failed rename leaves no temporary file and stdout alone.
TEST(Form, RefusedCallsAndAFailedCloseLeaveTheFileAndStandardOutputAlone) {
#ifndef _WIN32
    struct stat before {
    }, after{};
    ASSERT_EQ(fstat(fileno(stdout), &before), 0);
#endif
    namespace fs = std::filesystem;
    TempDir dir;
    std::string path = dir.File("f.frm");
    ASSERT_TRUE(WriteFile(path, kMain));
    EXPECT_EQ(FormOpen(nullptr), nullptr);
    EXPECT_EQ(FormOpen(dir.File("absent.frm").c_str()), nullptr);
    EXPECT_EQ(FormClose(nullptr), kMissing);
    FormFile* form = FormOpen(path.c_str());
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(FormSetProperty(form, "Form", "Main", "Caption", nullptr), kMissing);
    EXPECT_EQ(FormClose(form), BRIO_OK);
    EXPECT_EQ(ReadFile(path), kMain);

    form = FormOpen(path.c_str());
    ASSERT_NE(form, nullptr);
    ASSERT_TRUE(fs::remove(fs::u8path(path)));
    ASSERT_TRUE(fs::create_directory(fs::u8path(path)));
    ASSERT_TRUE(WriteFile(path + "/keep", "kept"));
    EXPECT_EQ(FormClose(form), BRIO_ERR_WRITE);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"f.frm"});
    EXPECT_EQ(ReadFile(path + "/keep"), "kept");
    EXPECT_EQ(std::fflush(stdout), 0);
    EXPECT_EQ(std::ferror(stdout), 0);
#ifndef _WIN32
    ASSERT_EQ(fstat(fileno(stdout), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_dev, before.st_dev);
#endif
}

}  // namespace
