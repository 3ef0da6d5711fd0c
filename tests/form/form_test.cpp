// The Form... exports, black-box through the public header: exact file bytes
// after scripts of get, set and delete calls.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
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

using brio::test::TempDir;
namespace fs = std::filesystem;

// What a file with no terminated line gets.
#ifdef _WIN32
const std::string kNative = "\r\n";
#else
const std::string kNative = "\n";
#endif

struct Step {
    enum Kind { Get, Set, Delete } kind;
    const char* type;
    const char* name;
    const char* key;
    const char* value;  // Set: the new value; Get: the value expected
    int32_t status;
};

Step Get(const char* type, const char* name, const char* key, const char* expected) {
    return {Step::Get, type, name, key, expected, BRIO_OK};
}
Step GetMissing(const char* type, const char* name, const char* key) {
    return {Step::Get, type, name, key, nullptr, BRIO_ERR_NOT_FOUND};
}
Step Set(const char* type, const char* name, const char* key, const char* value,
         int32_t status = BRIO_OK) {
    return {Step::Set, type, name, key, value, status};
}
Step Delete(const char* type, const char* name, int32_t status = BRIO_OK) {
    return {Step::Delete, type, name, nullptr, nullptr, status};
}

void RunSteps(FormFile* form, const std::vector<Step>& steps) {
    for (size_t i = 0; i < steps.size(); ++i) {
        const Step& s = steps[i];
        SCOPED_TRACE("step " + std::to_string(i + 1));
        switch (s.kind) {
            case Step::Get: {
                const char* value = nullptr;
                int32_t length = -7;
                EXPECT_EQ(FormGetProperty(form, s.type, s.name, s.key, &value, &length), s.status);
                if (s.status != BRIO_OK) break;
                ASSERT_NE(value, nullptr);
                EXPECT_EQ(std::string(value, static_cast<size_t>(length)), s.value);
                EXPECT_EQ(value[length], '\0');
                break;
            }
            case Step::Set:
                EXPECT_EQ(FormSetProperty(form, s.type, s.name, s.key, s.value), s.status);
                break;
            case Step::Delete:
                EXPECT_EQ(FormDeleteSection(form, s.type, s.name), s.status);
                break;
        }
    }
}

// Writes `input`, runs the steps, closes, and returns the file's bytes.
std::string EditFile(const std::string& input, const std::vector<Step>& steps) {
    TempDir dir;
    std::string path = dir.File("form.frm");
    EXPECT_TRUE(brio::test::WriteFile(path, input));
    FormFile* form = FormOpen(path.c_str());
    EXPECT_NE(form, nullptr);
    if (!form) return "<not opened>";
    RunSteps(form, steps);
    EXPECT_EQ(FormClose(form), BRIO_OK);
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"form.frm"});
    return brio::test::ReadFile(path);
}

struct Case {
    const char* title;
    std::string input;
    std::vector<Step> steps;
    std::string expected;
};

const std::string kMain = "Begin Form Main\n   Caption = Hello there\nEnd\n";

TEST(Form, ScriptsGiveExactFiles) {
    const std::string nested =
        "VERSION 5.00\n"
        "Begin A One\n"
        "   K = 1\n"
        "   Begin B Inner\n"
        "      K = 2\n"
        "   End\n"
        "End\n"
        "Begin A Two\n"
        "   K = 3\n"
        "End\n"
        "Attribute X = 1\n";
    const Case cases[] = {
        {"get ignores case and keeps the file",
         kMain,
         {Get("form", "main", "caption", "Hello there")},
         kMain},
        {"a new property becomes the section's first line",
         kMain,
         {Set("Form", "Main", "Width", "100")},
         "Begin Form Main\n   Width = 100\n   Caption = Hello there\nEnd\n"},
        {"a replaced value follows the sign after three blanks",
         kMain,
         {Set("Form", "Main", "Caption", "Bye"), Get("Form", "Main", "Caption", "Bye")},
         "Begin Form Main\n   Caption =   Bye\nEnd\n"},
        {"leading white space of a value is skipped, trailing kept",
         "Begin A B\n   K =  \t v w  \nEnd\n",
         {Get("A", "B", "K", "v w  ")},
         "Begin A B\n   K =  \t v w  \nEnd\n"},
        {"two sections of one type and name: the first one is used",
         "Begin A X\n   K = 1\nEnd\nBegin a x\n   K = 2\nEnd\n",
         {Get("a", "X", "k", "1"), Set("A", "X", "K", "9"), Get("A", "X", "K", "9"),
          Delete("A", "X"), Get("A", "X", "K", "2")},
         "Begin a x\n   K = 2\nEnd\n"},
        {"new lines are indented three blanks per level",
         "Begin A A\n   Begin B B\n      Begin C C\n      End\n   End\nEnd\n",
         {Set("C", "C", "Tag", "x"), Set("B", "B", "Tag", "y")},
         "Begin A A\n   Begin B B\n      Tag = y\n      Begin C C\n         Tag = x\n      End\n"
         "   End\nEnd\n"},
        {"deleting a top-level section stops at its own End",
         nested,
         {Delete("A", "One"), Get("A", "Two", "K", "3")},
         "VERSION 5.00\nBegin A Two\n   K = 3\nEnd\nAttribute X = 1\n"},
        {"deleting an indented nested section",
         nested,
         {Delete("b", "inner"), Get("A", "One", "K", "1")},
         "VERSION 5.00\nBegin A One\n   K = 1\nEnd\nBegin A Two\n   K = 3\nEnd\nAttribute X = 1\n"},
        {"a deleted section is gone for every call",
         nested,
         {Delete("B", "Inner"), GetMissing("B", "Inner", "K"),
          Set("B", "Inner", "K", "5", BRIO_ERR_NOT_FOUND), Delete("B", "Inner", BRIO_ERR_NOT_FOUND),
          Set("A", "Two", "K", "4")},
         "VERSION 5.00\nBegin A One\n   K = 1\nEnd\nBegin A Two\n   K =   4\nEnd\nAttribute X = "
         "1\n"},
        {"missing sections and keys change nothing",
         kMain,
         {GetMissing("Form", "Other", "Caption"), GetMissing("Form", "Main", "Width"),
          GetMissing("Main", "Form", "Caption"),
          Set("Form", "Other", "Caption", "x", BRIO_ERR_NOT_FOUND),
          Delete("Form", "Other", BRIO_ERR_NOT_FOUND)},
         kMain},
        {"the section's own lines are not properties of it",
         kMain,
         {GetMissing("Form", "Main", "Begin"), GetMissing("Form", "Main", "End")},
         kMain},
        {"a key with nothing after the sign is not a property",
         "Begin A B\n   K =  \nEnd\n",
         {GetMissing("A", "B", "K")},
         "Begin A B\n   K =  \nEnd\n"},
        {"a file without sections gets a final terminator",
         "VERSION 5.00\r\nOption Explicit",
         {GetMissing("A", "B", "K")},
         "VERSION 5.00\r\nOption Explicit\r\n"},
        {"a file without any terminator gets the platform's",
         "Option Explicit",
         {},
         "Option Explicit" + kNative},
        {"an empty file stays empty", "", {Delete("A", "B", BRIO_ERR_NOT_FOUND)}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        EXPECT_EQ(EditFile(c.input, c.steps), c.expected);
    }
}

// Each of these fails under the older rules: a key ending only at white
// space, property search stopping at the first nested block, Begin/End
// recognised by prefix, lines split at 511 bytes, LF-only reading.
TEST(Form, SoundRulesGiveExactFiles) {
    const std::string longValue(2000, 'v');
    const std::string longer = longValue + "w";
    const std::string longLine = "   Text = " + longValue;
    const std::string font =
        "Begin VB.Form F\r\n"
        "   Caption = \"F\"\r\n"
        "   BeginProperty Font \r\n"
        "      Name = \"Arial\"\r\n"
        "   EndProperty\r\n"
        "   Begin VB.Label L\r\n"
        "      Caption = \"L\"\r\n"
        "   End\r\n"
        "   LinkTopic = \"F\"\r\n"
        "End\r\n";
    const Case cases[] = {
        {"a property behind nested blocks is found and replaced in place",
         font,
         {Get("VB.Form", "F", "LinkTopic", "\"F\""), Set("VB.Form", "F", "LinkTopic", "\"G\"")},
         "Begin VB.Form F\r\n   Caption = \"F\"\r\n   BeginProperty Font \r\n      Name = "
         "\"Arial\"\r\n"
         "   EndProperty\r\n   Begin VB.Label L\r\n      Caption = \"L\"\r\n   End\r\n"
         "   LinkTopic =   \"G\"\r\nEnd\r\n"},
        {"a nested block's property is not the section's",
         font,
         {GetMissing("VB.Form", "F", "Name"), Set("VB.Form", "F", "Name", "n"),
          Get("Property", "Font", "Name", "\"Arial\"")},
         "Begin VB.Form F\r\n   Name = n\r\n   Caption = \"F\"\r\n   BeginProperty Font \r\n"
         "      Name = \"Arial\"\r\n   EndProperty\r\n   Begin VB.Label L\r\n      Caption = "
         "\"L\"\r\n"
         "   End\r\n   LinkTopic = \"F\"\r\nEnd\r\n"},
        {"the search ends at the section's own End",
         "Begin A S\n   Begin B T\n   End\nEnd\nK = 1\n",
         {GetMissing("A", "S", "K"), Set("A", "S", "K", "2")},
         "Begin A S\n   K = 2\n   Begin B T\n   End\nEnd\nK = 1\n"},
        {"a key written against the sign",
         "Begin A B\n   InvisibleAtRuntime=   -1\n   Tag=a = b\nEnd\n",
         {Get("A", "B", "InvisibleAtRuntime", "-1"), Get("A", "B", "Tag", "a = b"),
          Set("A", "B", "InvisibleAtRuntime", "0"), Set("A", "B", "Tag", "c")},
         "Begin A B\n   InvisibleAtRuntime=   0\n   Tag=   c\nEnd\n"},
        {"BeginDate and EndTime are properties, not section bounds",
         "Begin A S\n   BeginDate = 1\n   EndTime = 5\n   Caption = c\nEnd\nBegin A T\nEnd\n",
         {Get("A", "S", "EndTime", "5"), Get("A", "S", "Caption", "c"), Set("A", "T", "K", "v"),
          Delete("A", "S"), Get("A", "T", "K", "v")},
         "Begin A T\n   K = v\nEnd\n"},
        {"only an End line in this case closes a section",
         "Begin A S\n   end of notes\n   K = 1\nEnd\nBegin A U\nEnd\n",
         {Get("A", "S", "K", "1"), Delete("A", "S")},
         "Begin A U\nEnd\n"},
        {"a value holding a line break is refused",
         kMain,
         {Set("Form", "Main", "Caption", "a\r\nb", BRIO_ERR_BAD_VALUE),
          Set("Form", "Main", "Caption", "a\nb", BRIO_ERR_BAD_VALUE),
          Set("Form", "Main", "Caption", "a\r", BRIO_ERR_BAD_VALUE),
          Set("Form", "Main", "New\nKey", "a", BRIO_ERR_BAD_VALUE),
          Get("Form", "Main", "Caption", "Hello there")},
         kMain},
        {"lines longer than 511 bytes stay whole",
         "Begin A B\n" + longLine + "\nEnd\n" + std::string(3000, 'x') + "\n",
         {Get("A", "B", "Text", longValue.c_str()), Set("A", "B", "Text", longer.c_str()),
          Get("A", "B", "Text", longer.c_str())},
         "Begin A B\n   Text =   " + longValue + "w\nEnd\n" + std::string(3000, 'x') + "\n"},
        {"CR LF lines give values without CR and new lines with CR LF",
         "Begin A B\r\n   K = v\r\nEnd\r\n",
         {Get("A", "B", "K", "v"), Set("A", "B", "N", "n")},
         "Begin A B\r\n   N = n\r\n   K = v\r\nEnd\r\n"},
        {"mixed terminators stay as they were",
         "Begin A B\n   K = v\r\nEnd\r\n\nX = 1\r\nlast",
         {Get("A", "B", "K", "v"), Set("A", "B", "N", "n"), Set("A", "B", "K", "w")},
         "Begin A B\n   N = n\n   K =   w\r\nEnd\r\n\nX = 1\r\nlast\n"},
        {"a lone CR is text",
         "Begin A B\n   K = a\rb\nEnd\n\r",
         {Get("A", "B", "K", "a\rb")},
         "Begin A B\n   K = a\rb\nEnd\n\r\n"},
        {"a section on the last line without terminator",
         "Begin A B",
         {Set("A", "B", "K", "v")},
         "Begin A B" + kNative + "   K = v" + kNative},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        EXPECT_EQ(EditFile(c.input, c.steps), c.expected);
    }
}

TEST(Form, ValueStaysValidUntilItsLineChanges) {
    TempDir dir;
    std::string path = dir.File("f.frm");
    ASSERT_TRUE(brio::test::WriteFile(path, "Begin A B\n   K = short\n   L = other\nEnd\n"));
    FormFile* form = FormOpen(path.c_str());
    ASSERT_NE(form, nullptr);
    const char* k = nullptr;
    int32_t length = 0;
    ASSERT_EQ(FormGetProperty(form, "A", "B", "K", &k, &length), BRIO_OK);
    // Many inserted lines move the line table, never the line texts.
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(FormSetProperty(form, "A", "B", ("N" + std::to_string(i)).c_str(), "v"), BRIO_OK);
    ASSERT_EQ(FormSetProperty(form, "A", "B", "L", "changed"), BRIO_OK);
    EXPECT_STREQ(k, "short");
    EXPECT_EQ(length, 5);
    EXPECT_EQ(FormClose(form), BRIO_OK);
}

TEST(Form, NullArgumentsAreRefused) {
    EXPECT_EQ(FormOpen(nullptr), nullptr);
    EXPECT_EQ(FormClose(nullptr), BRIO_ERR_NOT_FOUND);
    const char* value = nullptr;
    int32_t length = 0;
    EXPECT_EQ(FormGetProperty(nullptr, "A", "B", "K", &value, &length), BRIO_ERR_NOT_FOUND);
    EXPECT_EQ(FormSetProperty(nullptr, "A", "B", "K", "v"), BRIO_ERR_NOT_FOUND);
    EXPECT_EQ(FormDeleteSection(nullptr, "A", "B"), BRIO_ERR_NOT_FOUND);

    TempDir dir;
    std::string path = dir.File("f.frm");
    ASSERT_TRUE(brio::test::WriteFile(path, kMain));
    FormFile* form = FormOpen(path.c_str());
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(FormGetProperty(form, "Form", nullptr, "Caption", &value, &length),
              BRIO_ERR_NOT_FOUND);
    EXPECT_EQ(FormSetProperty(form, "Form", "Main", "Caption", nullptr), BRIO_ERR_NOT_FOUND);
    EXPECT_EQ(FormDeleteSection(form, nullptr, "Main"), BRIO_ERR_NOT_FOUND);
    // The out arguments are optional.
    EXPECT_EQ(FormGetProperty(form, "Form", "Main", "Caption", nullptr, &length), BRIO_OK);
    EXPECT_EQ(length, 11);
    EXPECT_EQ(FormClose(form), BRIO_OK);
    EXPECT_EQ(brio::test::ReadFile(path), kMain);
}

TEST(Form, OpenFailsForMissingFile) {
    TempDir dir;
    EXPECT_EQ(FormOpen(dir.File("absent.frm").c_str()), nullptr);
    EXPECT_TRUE(dir.Entries().empty());
}

TEST(Form, CloseLeavesStandardOutputAlone) {
#ifndef _WIN32
    struct stat before {};
    ASSERT_EQ(fstat(fileno(stdout), &before), 0);
#endif
    TempDir dir;
    std::string path = dir.File("f.frm");
    ASSERT_TRUE(brio::test::WriteFile(path, kMain));
    FormFile* form = FormOpen(path.c_str());
    ASSERT_NE(form, nullptr);
    ASSERT_EQ(FormClose(form), BRIO_OK);
    // Still the same stream, open and writable.
    EXPECT_GE(std::printf("%s", ""), 0);
    EXPECT_EQ(std::fflush(stdout), 0);
    EXPECT_EQ(std::ferror(stdout), 0);
#ifndef _WIN32
    struct stat after {};
    ASSERT_EQ(fstat(fileno(stdout), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_dev, before.st_dev);
#endif
    EXPECT_EQ(brio::test::ReadFile(path), kMain);
}

TEST(Form, FailedWriteReportsAndLeavesNoTempFile) {
    {
        // The folder is gone by the time the form is closed.
        TempDir dir;
        std::string sub = dir.File("sub");
        ASSERT_TRUE(fs::create_directory(fs::u8path(sub)));
        std::string path = sub + "/f.frm";
        ASSERT_TRUE(brio::test::WriteFile(path, kMain));
        FormFile* form = FormOpen(path.c_str());
        ASSERT_NE(form, nullptr);
        ASSERT_EQ(FormSetProperty(form, "Form", "Main", "Caption", "x"), BRIO_OK);
        fs::remove_all(fs::u8path(sub));
        EXPECT_EQ(FormClose(form), BRIO_ERR_WRITE);
        EXPECT_TRUE(dir.Entries().empty());
    }
    {
        // A folder now stands where the file was: the temporary file is
        // written, but cannot replace it.
        TempDir dir;
        std::string path = dir.File("f.frm");
        ASSERT_TRUE(brio::test::WriteFile(path, kMain));
        FormFile* form = FormOpen(path.c_str());
        ASSERT_NE(form, nullptr);
        ASSERT_TRUE(fs::remove(fs::u8path(path)));
        ASSERT_TRUE(fs::create_directory(fs::u8path(path)));
        ASSERT_TRUE(brio::test::WriteFile(path + "/keep", "kept"));
        EXPECT_EQ(FormClose(form), BRIO_ERR_WRITE);
        EXPECT_EQ(dir.Entries(), std::vector<std::string>{"f.frm"});
        EXPECT_EQ(brio::test::ReadFile(path + "/keep"), "kept");
    }
}

// Runs `edit` on a freshly opened form with the Nth allocation failing, for
// N = 1, 2, ... until it succeeds. A failed edit must report 2005 and leave
// the file exactly as it was.
void SweepAllocationFailures(const std::string& input, const std::string& expected,
                             int32_t (*edit)(FormFile*)) {
    int failures = 0;
    for (long n = 1; n < 200; ++n) {
        SCOPED_TRACE("failing allocation " + std::to_string(n));
        TempDir dir;
        std::string path = dir.File("f.frm");
        ASSERT_TRUE(brio::test::WriteFile(path, input));
        FormFile* form = FormOpen(path.c_str());
        ASSERT_NE(form, nullptr);
        brio::FailAllocationAfter(n);
        int32_t status = edit(form);
        brio::FailAllocationAfter(0);
        ASSERT_EQ(FormClose(form), BRIO_OK);
        if (status == BRIO_ERR_NO_MEMORY) {
            ++failures;
            EXPECT_EQ(brio::test::ReadFile(path), input);
            continue;
        }
        EXPECT_EQ(status, BRIO_OK);
        EXPECT_EQ(brio::test::ReadFile(path), expected);
        EXPECT_GT(failures, 0);
        return;
    }
    ADD_FAILURE() << "never succeeded";
}

std::string NumberedSection(int properties) {
    std::string text = "Begin A B\n";
    for (int i = 0; i < properties; ++i) text += "   K" + std::to_string(i) + " = v\n";
    return text + "End\n";
}

TEST(Form, AllocationFailuresAreReported) {
    // Opening: each failure gives null and keeps nothing (the sanitizer
    // build checks for leaks).
    for (const std::string& input : {kMain, NumberedSection(200)}) {
        TempDir dir;
        std::string path = dir.File("f.frm");
        ASSERT_TRUE(brio::test::WriteFile(path, input));
        long n = 1;
        FormFile* form = nullptr;
        for (; n < 1000 && !form; ++n) {
            brio::FailAllocationAfter(n);
            form = FormOpen(path.c_str());
            brio::FailAllocationAfter(0);
        }
        ASSERT_NE(form, nullptr);
        EXPECT_GT(n, 3);
        EXPECT_EQ(FormClose(form), BRIO_OK);
        EXPECT_EQ(brio::test::ReadFile(path), input);
    }

    auto insert = [](FormFile* f) { return FormSetProperty(f, "A", "B", "New", "n"); };
    auto replace = [](FormFile* f) { return FormSetProperty(f, "A", "B", "K1", "w"); };
    // Line counts on both sides of where the line table must grow.
    for (int count : {1, 62, 63, 64, 126, 127}) {
        SCOPED_TRACE(std::to_string(count) + " properties");
        std::string input = NumberedSection(count);
        std::string inserted = input;
        inserted.insert(std::strlen("Begin A B\n"), "   New = n\n");
        SweepAllocationFailures(input, inserted, insert);
    }
    std::string input = NumberedSection(3);
    std::string replaced = "Begin A B\n   K0 = v\n   K1 =   w\n   K2 = v\nEnd\n";
    SweepAllocationFailures(input, replaced, replace);
}

}  // namespace
