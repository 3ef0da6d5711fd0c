// Line kinds: what is a property, a Begin and an End line.
#include <gtest/gtest.h>

#include <string>

#include "form/form.h"

namespace {

using brio::FormLineKind;

TEST(FormLines, KindsOfLines) {
    const struct {
        std::string text;
        FormLineKind kind;
    } cases[] = {
        {"   Caption         =   \"Form1\"", FormLineKind::Property},
        {"Caption=1", FormLineKind::Property},
        {"   FixedBackground2=   0   'False", FormLineKind::Property},
        {"\tK\t=\tv", FormLineKind::Property},
        {"K =\xa0", FormLineKind::Property},  // a high byte is text, not white space
        {"BeginDate = 1", FormLineKind::Property},
        {"   EndTime = 5", FormLineKind::Property},
        {"Begin = A B", FormLineKind::Property},
        {"K =", FormLineKind::Other},
        {"K =  \t ", FormLineKind::Other},
        {"= 5", FormLineKind::Other},
        {"   =", FormLineKind::Other},
        {"Attribute VB_Name = \"Form1\"", FormLineKind::Other},
        {"Object = \"{831FDD16}#2.0#0\"; \"MSCOMCTL.OCX\"", FormLineKind::Property},
        {"Begin VB.Form Form1 ", FormLineKind::Begin},
        {"      BeginProperty Font {0BE35203-8F91-11CE-9DE3-00AA004BB851} ", FormLineKind::Begin},
        {"   BeginProperty Font ", FormLineKind::Begin},
        {"\tBegin\tA\tB", FormLineKind::Begin},
        {"Begin VB.Form", FormLineKind::Other},
        {"Begin", FormLineKind::Other},
        {"begin VB.Form Form1", FormLineKind::Other},
        {"End", FormLineKind::End},
        {"   EndProperty", FormLineKind::End},
        {"End Sub", FormLineKind::End},
        {"end", FormLineKind::Other},
        {"   END", FormLineKind::Other},
        {"", FormLineKind::Other},
        {"   ", FormLineKind::Other},
        {std::string("End\0", 4), FormLineKind::End},
        {std::string("K = \0", 5), FormLineKind::Property},  // NUL is text too
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(brio::ClassifyLine(c.text.data(), c.text.size()), c.kind);
    }
}

}  // namespace
