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
    brio::SetDebugOutputHook(Capture);
    for (unsigned short line : {0, 123, 65535}) {
        gCaptured.clear();
        brio::ReportAssertion(line, "SHG/HHS");
        std::string expected = "Assertion Failed: File SHG/HHS, Line " + std::to_string(line);
        EXPECT_EQ(gCaptured, expected + ".\r\n");
        EXPECT_STREQ(brio::LastAssertionText(), gCaptured.c_str());
    }
    brio::SetDebugOutputHook(nullptr);
}

}  // namespace
