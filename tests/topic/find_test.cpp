// TopicFindText: whole words, in order, without regard to case.
#include <gtest/gtest.h>

#include <string>

#include "brioutil.h"

namespace {

TEST(TopicFindText, FindsWholeWordsInOrder) {
    std::string longWord(150, 'x');
    std::string manyWords;
    for (int i = 0; i < 300; ++i) manyWords += "w" + std::to_string(i) + " ";
    std::string as250(500, ' '), as300(600, ' ');
    for (int i = 0; i < 250; ++i) as250[2 * i] = 'a';
    for (int i = 0; i < 300; ++i) as300[2 * i] = 'a';
    struct Case {
        std::string rtf;
        std::string phrase;
        int32_t found;
        int32_t status;
    } cases[] = {
        // Unknown words between are no paragraph.
        {"{\\rtf1 set\\par\\widctlpar up}", "set up", 1, 0},
        {"{\\rtf1 set\\par{\\*\\bkmkstart x}up}", "set up", 1, 0},
        {"{\\rtf1 one\\'2ctwo}", "one two", 1, 0},
        {"{\\rtf1 foo\\line bar}", "foo bar", 1, 0},
        {"{\\rtf1 the\\tab end}", "the end", 1, 0},
        {"{\\rtf1 don\\rquote t}", "don't", 1, 0},
        {"{\\rtf1 C:\\\\temp}", "c temp", 1, 0},
        {"{\\rtf1 a\\bin5 hello b}", "hello", 0, 0},
        {"{\\rtf1 a\\bin5 hello b}", "a b", 1, 0},
        {"{\\rtf1 abc\\", "abc", 0, BRIO_ERR_UNEXPECTED_END},
        {"{\\rtf1 abc def\\", "abc", 1, 0},  // found before the error
        // No length limits: a long word never matches a shorter one.
        {"{\\rtf1 " + longWord + "}", std::string(99, 'x'), 0, 0},
        {"{\\rtf1 " + manyWords + "}", manyWords, 1, 0},
        {"{\\rtf1 " + as300 + "b}", as250 + "b", 1, 0},
        // Only visible text: no bookmarks.
        {"{\\*\\bkmkstart UserGuide}x", "UserGuide", 0, 0},
        // Words in the document's code page.
        {"{\\rtf1\\ansicpg932 \\'81\\'41}", "A", 0, 0},
        {"{\\rtf1\\ansicpg932 \\'81\\'41}", "\x81\x41", 1, 0},
        {"{\\rtf1\\ansicpg932 \x81\\'61}", "\x81\x41", 0, 0},
    };
    for (const auto& k : cases) {
        int32_t status = -7;
        EXPECT_EQ(TopicFindText(k.rtf.c_str(), k.phrase.c_str(), &status), k.found)
            << k.rtf.substr(0, 60) << " / " << k.phrase.substr(0, 40);
        EXPECT_EQ(status, k.status) << k.rtf.substr(0, 60);
    }
}

TEST(TopicFindText, NullArguments) {
    int32_t status = -7;
    EXPECT_EQ(TopicFindText(nullptr, "x", &status), 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(TopicFindText("x", nullptr, &status), 0);
    EXPECT_EQ(TopicFindText("{\\rtf1 x}", "x", nullptr), 1);
}

}  // namespace
