#include <gtest/gtest.h>

#include <string>

#include "brioutil.h"
#include "frame/frame.h"
#include "platform/platform.h"

namespace {

std::string gCaptured;
void Capture(const char* text) {
    gCaptured += text;
}

TEST(Frame, AssertionTextIsExactAndLineUnsigned) {
    std::tuple<unsigned short, const char*, const char*> cases[] = {
        {65535, "bitmap/bmio", "Assertion Failed: File bitmap/bmio, Line 65535.\r\n"},
        {0, "compress/lz", "Assertion Failed: File compress/lz, Line 0.\r\n"},
        {123, "SHG/HHS", "Assertion Failed: File SHG/HHS, Line 123.\r\n"},
    };
    brio::SetDebugOutputHook(Capture);
    for (auto [line, module, expected] : cases) {
        gCaptured.clear();
        brio::ReportAssertion(line, module);
        EXPECT_EQ(gCaptured, expected);
        EXPECT_STREQ(brio::LastAssertionText(), expected);
    }
    brio::SetDebugOutputHook(nullptr);
}

}  // namespace
