#include <gtest/gtest.h>

#include <string>

#include "brioutil.h"
#include "test_support.h"

namespace {

#ifdef _WIN32
const std::string kNl = "\r\n";  // text mode stores the platform's line break
#else
const std::string kNl = "\n";
#endif

std::string Header() {
    uint32_t length = 0;
    int32_t status = 0;
    std::string tmpl = TopicNew(&length, &status);
    return tmpl.substr(0, tmpl.size() - 1);
}

TEST(TopicDummyFile, WritesPlaceholderTopics) {
    brio::test::TempDir dir;
    std::string path = dir.File("dummy.rtf");
    TopicFile* file = TopicOpenDummyFile(path.c_str());
    ASSERT_NE(file, nullptr);
    char keywords[] = "start|begin";
    EXPECT_EQ(TopicDummy(file, "intro", "Introduction", nullptr, keywords, nullptr, nullptr, 1), 0);
    EXPECT_STREQ(keywords, "start");
    char three[] = "a||b";
    EXPECT_EQ(TopicDummy(file, "", nullptr, "Run(\"c:\\x\")", three, "s:1", "C:\\temp {x}", 0), 0);
    EXPECT_EQ(TopicDummy(file, nullptr, nullptr, nullptr, nullptr, nullptr, "Hello", 0), 0);
    EXPECT_EQ(TopicDummy(file, nullptr, nullptr, nullptr, nullptr, nullptr, " x", 1), 0);
    EXPECT_EQ(TopicDummy(file, nullptr, nullptr, nullptr, nullptr, nullptr, "\\x", 0), 0);
    EXPECT_EQ(TopicDummy(file, nullptr, nullptr, nullptr, nullptr, nullptr, "-1", 0), 0);
    EXPECT_EQ(TopicCloseDummyFile(file), 0);
    std::string expected = Header() + "\\page\\keepn" + kNl + "#{\\footnote {\\super #}intro}" +
                           kNl + "${\\footnote {\\super $}Introduction}" + kNl +
                           "K{\\footnote {\\super K}start}" + kNl +
                           "K{\\footnote {\\super K}begin}" + kNl + "\\par\\pard" + kNl +
                           // macro as given; empty keyword kept; body escaped
                           "\\page" + kNl + "!{\\footnote {\\super !}Run(\"c:\\x\")}" + kNl +
                           "K{\\footnote {\\super K}a}" + kNl + "K{\\footnote {\\super K}}" + kNl +
                           "K{\\footnote {\\super K}b}" + kNl + "+{\\footnote {\\super +}s:1}" +
                           "C:\\\\temp \\{x\\}" +
                           // a blank keeps the body out of the control word
                           "\\page Hello" + "\\page\\keepn  x" + kNl + "\\par\\pard" + kNl +
                           "\\page\\\\x" + "\\page -1" + "}" + kNl;
    EXPECT_EQ(brio::test::ReadFile(path), expected);
}

TEST(TopicDummyFile, ReportsFailures) {
    brio::test::TempDir dir;
    EXPECT_EQ(TopicOpenDummyFile(dir.File("no/such/dir/x.rtf").c_str()), nullptr);
    EXPECT_EQ(TopicOpenDummyFile(nullptr), nullptr);
    EXPECT_EQ(TopicDummy(nullptr, "a", "b", "c", nullptr, "d", "e", 1), 0);
#ifndef _WIN32
    // A full device fails at the final flush: reported by the close.
    TopicFile* full = TopicOpenDummyFile("/dev/full");
    if (full) {
        for (int i = 0; i < 100; ++i)
            TopicDummy(full, "ctx", "title", nullptr, nullptr, nullptr, "body text", 0);
        EXPECT_EQ(TopicCloseDummyFile(full), BRIO_ERR_WRITE);
    }
#endif
}

}  // namespace
