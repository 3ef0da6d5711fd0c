// Form files written by other people: untouched round trips, and scripts over
// their real sections.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "brioutil.h"
#include "test_support.h"

namespace {

using brio::test::TempDir;

// The file's lines, each with its own terminator.
std::vector<std::string> SplitLines(const std::string& bytes) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        end = end == std::string::npos ? bytes.size() : end + 1;
        lines.push_back(bytes.substr(start, end - start));
        start = end;
    }
    return lines;
}

std::string Join(const std::vector<std::string>& lines) {
    std::string bytes;
    for (const auto& line : lines) bytes += line;
    return bytes;
}

std::string GetValue(FormFile* form, const char* type, const char* name, const char* key) {
    const char* value = nullptr;
    int32_t length = 0;
    int32_t status = FormGetProperty(form, type, name, key, &value, &length);
    if (status != BRIO_OK) return "<" + std::to_string(status) + ">";
    return std::string(value, static_cast<size_t>(length));
}

TEST(FormCorpus, OpenCloseGivesEveryFileBack) {
    std::vector<std::string> files = brio::test::ListFiles(brio::test::CorpusDir("form"));
    ASSERT_GE(files.size(), 61u);
    int unterminated = 0;
    for (const std::string& file : files) {
        SCOPED_TRACE(file);
        std::string original = brio::test::ReadFile(file);
        ASSERT_FALSE(original.empty());
        std::string expected = original;
        if (original.back() != '\n') {
            // The file's own terminator, as on its first line.
            size_t first = original.find('\n');
            ASSERT_NE(first, std::string::npos);
            expected += first > 0 && original[first - 1] == '\r' ? "\r\n" : "\n";
            ++unterminated;
        }
        TempDir dir;
        std::string path = dir.File("form.frm");
        ASSERT_TRUE(brio::test::WriteFile(path, original));
        FormFile* form = FormOpen(path.c_str());
        ASSERT_NE(form, nullptr);
        ASSERT_EQ(FormClose(form), BRIO_OK);
        EXPECT_TRUE(brio::test::ReadFile(path) == expected) << "differs from the original";
        EXPECT_EQ(dir.Entries(), std::vector<std::string>{"form.frm"});
    }
    EXPECT_GT(unterminated, 0);
}

// Opens a copy of a corpus file; the caller closes it.
struct CorpusCopy {
    TempDir dir;
    std::string path;
    std::vector<std::string> lines;  // the original's
    FormFile* form = nullptr;

    explicit CorpusCopy(const std::string& name) : path(dir.File(name)) {
        std::string bytes = brio::test::ReadFile(brio::test::CorpusDir("form/" + name));
        lines = SplitLines(bytes);
        if (brio::test::WriteFile(path, bytes)) form = FormOpen(path.c_str());
    }
    ~CorpusCopy() {
        if (form) FormClose(form);
    }
    std::string Closed() {
        EXPECT_EQ(FormClose(form), BRIO_OK);
        form = nullptr;
        return brio::test::ReadFile(path);
    }
};

// CR LF lines; properties behind BeginProperty blocks and nested controls, a
// key written against its sign.
TEST(FormCorpus, ScriptOverNestedControls) {
    CorpusCopy copy("037.txt");
    ASSERT_NE(copy.form, nullptr);
    std::vector<std::string> lines = copy.lines;
    ASSERT_EQ(lines.size(), 616u);
    // Line numbers below count from 1, as an editor shows them.
    ASSERT_EQ(lines[5 - 1], "Begin VB.Form Form1 \r\n");
    ASSERT_EQ(lines[12 - 1], "   BeginProperty Font \r\n");
    ASSERT_EQ(lines[20 - 1], "   EndProperty\r\n");
    ASSERT_EQ(lines[22 - 1], "   LinkTopic       =   \"Form1\"\r\n");
    ASSERT_EQ(lines[27 - 1], "   Begin VB.CommandButton Command1 \r\n");
    ASSERT_EQ(lines[38 - 1], "   Begin ComCtl3.CoolBar CoolBar1 \r\n");
    ASSERT_EQ(lines[60 - 1], "      FixedBackground2=   0   'False\r\n");
    ASSERT_EQ(lines[62 - 1], "      Begin VB.ComboBox Combo1 \r\n");
    ASSERT_EQ(lines[81 - 1], "      End\r\n");
    ASSERT_EQ(lines[93 - 1], "         ImageList       =   \"ImageList1\"\r\n");

    FormFile* form = copy.form;
    EXPECT_EQ(GetValue(form, "VB.Form", "Form1", "LinkTopic"), "\"Form1\"");
    EXPECT_EQ(GetValue(form, "vb.form", "FORM1", "StartUpPosition"), "2  'CenterScreen");
    EXPECT_EQ(GetValue(form, "ComCtl3.CoolBar", "CoolBar1", "FixedBackground2"), "0   'False");
    EXPECT_EQ(GetValue(form, "ComCtl3.CoolBar", "CoolBar1", "NewRow2"), "-1  'True");
    EXPECT_EQ(GetValue(form, "VB.ComboBox", "Combo1", "Text"), "\"www.pojo.com\"");
    EXPECT_EQ(GetValue(form, "VB.Form", "Form1", "Text"), "<2008>");  // Combo1's, not the form's
    EXPECT_EQ(FormSetProperty(form, "VB.Form", "Form1", "LinkTopic", "\"Main\""), BRIO_OK);
    EXPECT_EQ(FormSetProperty(form, "ComCtl3.CoolBar", "CoolBar1", "FixedBackground2", "-1  'True"),
              BRIO_OK);
    EXPECT_EQ(FormSetProperty(form, "VB.CommandButton", "Command1", "ToolTipText", "\"Go\""),
              BRIO_OK);
    EXPECT_EQ(FormDeleteSection(form, "VB.ComboBox", "Combo1"), BRIO_OK);
    EXPECT_EQ(GetValue(form, "VB.ComboBox", "Combo1", "Text"), "<2008>");
    EXPECT_EQ(GetValue(form, "MSComctlLib.Toolbar", "Toolbar1", "ImageList"), "\"ImageList1\"");

    // Bottom up, so that the line numbers still hold.
    lines.erase(lines.begin() + (62 - 1), lines.begin() + 81);
    lines[60 - 1] = "      FixedBackground2=   -1  'True\r\n";
    lines.insert(lines.begin() + 27, "      ToolTipText = \"Go\"\r\n");
    lines[22 - 1] = "   LinkTopic       =   \"Main\"\r\n";
    EXPECT_TRUE(copy.Closed() == Join(lines)) << "differs from the expected file";
}

// LF lines, no final terminator; two BeginProperty blocks of one name.
TEST(FormCorpus, ScriptOverGridAndFrame) {
    CorpusCopy copy("016.txt");
    ASSERT_NE(copy.form, nullptr);
    std::vector<std::string> lines = copy.lines;
    ASSERT_EQ(lines.size(), 416u);
    ASSERT_EQ(lines.back(), "End Sub");
    ASSERT_EQ(lines[18 - 1], "   Begin MSDataGridLib.DataGrid dgUsuarioConvenio \n");
    ASSERT_EQ(lines[48 - 1], "      ColumnCount     =   4\n");
    ASSERT_EQ(lines[49 - 1], "      BeginProperty Column00 \n");
    ASSERT_EQ(lines[101 - 1], "      SplitCount      =   1\n");
    ASSERT_EQ(lines[103 - 1], "         BeginProperty Column00 \n");
    ASSERT_EQ(lines[113 - 1], "   End\n");
    ASSERT_EQ(lines[114 - 1], "   Begin VB.Frame Frame1 \n");
    ASSERT_EQ(lines[183 - 1], "   End\n");
    ASSERT_EQ(lines[184 - 1], "   Begin VB.CommandButton cmdAceptar \n");

    FormFile* form = copy.form;
    EXPECT_EQ(GetValue(form, "MSDataGridLib.DataGrid", "dgUsuarioConvenio", "ColumnCount"), "4");
    EXPECT_EQ(GetValue(form, "MSDataGridLib.DataGrid", "dgUsuarioConvenio", "SplitCount"), "1");
    // The first Column00 in the file is the grid's own, not Split0's.
    EXPECT_EQ(GetValue(form, "Property", "Column00", "DataField"), "\"cNomCliente\"");
    EXPECT_EQ(GetValue(form, "Property", "Column00", "ColumnWidth"), "<2008>");
    EXPECT_EQ(GetValue(form, "VB.OptionButton", "cboCodigo", "Caption"), "\"Codig&o\"");
    EXPECT_EQ(
        FormSetProperty(form, "MSDataGridLib.DataGrid", "dgUsuarioConvenio", "SplitCount", "2"),
        BRIO_OK);
    EXPECT_EQ(
        FormSetProperty(form, "MSDataGridLib.DataGrid", "dgUsuarioConvenio", "Tag", "\"grid\""),
        BRIO_OK);
    EXPECT_EQ(FormDeleteSection(form, "VB.Frame", "Frame1"), BRIO_OK);
    EXPECT_EQ(GetValue(form, "VB.OptionButton", "cboCodigo", "Caption"), "<2008>");
    EXPECT_EQ(GetValue(form, "VB.CommandButton", "cmdAceptar", "Caption"), "\"&Aceptar\"");

    lines.back() += "\n";
    lines.erase(lines.begin() + (114 - 1), lines.begin() + 183);
    lines[101 - 1] = "      SplitCount      =   2\n";
    lines.insert(lines.begin() + 18, "      Tag = \"grid\"\n");
    EXPECT_TRUE(copy.Closed() == Join(lines)) << "differs from the expected file";
}

// A top-level form deleted whole; the code after it stays.
TEST(FormCorpus, ScriptDeletesTheForm) {
    CorpusCopy copy("001.txt");
    ASSERT_NE(copy.form, nullptr);
    std::vector<std::string> lines = copy.lines;
    ASSERT_EQ(lines.size(), 26u);
    ASSERT_EQ(lines[2 - 1], "Begin VB.Form Form1 \r\n");
    ASSERT_EQ(lines[11 - 1], "   StartUpPosition =   3  'Windows Default\r\n");
    ASSERT_EQ(lines[12 - 1], "End\r\n");

    FormFile* form = copy.form;
    EXPECT_EQ(GetValue(form, "VB.Form", "Form1", "StartUpPosition"), "3  'Windows Default");
    EXPECT_EQ(GetValue(form, "VB.Form", "Form1", "Attribute"), "<2008>");
    EXPECT_EQ(FormSetProperty(form, "VB.Form", "Form1", "Caption", "\"Sum\""), BRIO_OK);
    EXPECT_EQ(FormDeleteSection(form, "VB.Form", "Form1"), BRIO_OK);
    EXPECT_EQ(FormSetProperty(form, "VB.Form", "Form1", "Caption", "x"), BRIO_ERR_NOT_FOUND);

    lines.erase(lines.begin() + (2 - 1), lines.begin() + 12);
    EXPECT_TRUE(copy.Closed() == Join(lines)) << "differs from the expected file";
}

}  // namespace
