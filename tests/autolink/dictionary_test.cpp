// The term dictionary: splitting, registration, the walk and its verdicts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "autolink/dictionary.h"
#include "brioutil.h"
#include "platform/platform.h"

using namespace brio;

namespace {

std::vector<std::string> Split(std::string text) {
    std::vector<std::string> words;
    std::string_view rest = text;
    for (;;) {
        std::string_view word = SplitWord(&rest);
        if (word.empty()) break;
        words.emplace_back(word);
    }
    return words;
}

struct Reference {
    const char* term;
    const char* synonyms;
    const char* target;
    bool exclude;
    bool caseSensitive;
    uint32_t popup;
};

// Drives the walk as the writing pass does, a word at a time, giving back
// the first held word on NoMatch and resuming after a match. Matches come
// out as "[words]->TARGET" (or "[words]" when suppressed), other words as
// they are.
std::string Walk(AutolinkDictionary& d, const std::string& text) {
    std::vector<std::string> words = Split(text);
    std::string out;
    auto emit = [&out](const std::string& piece) {
        if (!out.empty()) out += ' ';
        out += piece;
    };
    size_t start = 0;
    size_t i = 0;
    d.ResetWalk();
    while (start < words.size()) {
        bool end = i == words.size();
        MatchVerdict verdict;
        int32_t count;
        const AutolinkTerm* term;
        d.MatchWord(end ? std::string_view() : std::string_view(words[i]), &verdict, &count, &term);
        if (verdict == Continue) {
            ++i;
            continue;
        }
        int32_t held = static_cast<int32_t>(i - start) + (end ? 0 : 1);
        if (end) --count;
        int32_t last = held - 1 - count;
        if (verdict == NoMatch || last < 0) {
            emit(words[start]);
            i = ++start;
            continue;
        }
        std::string piece = "[";
        for (int32_t k = 0; k <= last; ++k) piece += (k ? " " : "") + words[start + k];
        piece += "]";
        if (verdict != Suppressed) piece += "->" + std::string(term->target);
        emit(piece);
        start += static_cast<size_t>(last) + 1;
        i = start;
    }
    return out;
}

TEST(AutolinkDictionaryTest, SplitsTermsIntoWords) {
    struct Case {
        const char* text;
        std::vector<std::string> words;
    } cases[] = {
        {"R&D Lab", {"R", "&", "D", "Lab"}},
        {"e-mail", {"e", "-", "mail"}},
        {"  print \t  setup  ", {"print", "setup"}},
        {"Q & A", {"Q", "&", "A"}},
        {"a1b2..c", {"a1b2", ".", ".", "c"}},
        {"caf\xE9", {"caf", "\xE9"}},
        {"", {}},
        {" \t ", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(Split(c.text), c.words) << c.text;
}

TEST(AutolinkDictionaryTest, FindChildHonoursCase) {
    AutolinkDictionary d;
    uint32_t node;
    ASSERT_EQ(d.InsertTerm("apple", "A", "", 0, FlagCaseInsensitive, &node), 0);
    ASSERT_EQ(d.InsertTerm("Pear", "P", "", 0, 0, &node), 0);
    EXPECT_EQ(d.Word(node), "Pear");
    struct Case {
        const char* word;
        bool found;
    } cases[] = {{"apple", true}, {"Apple", true}, {"APPLE", true}, {"aPPle", true},
                 {"Pear", true},  {"pear", false}, {"PEAR", false}, {"apples", false}};
    for (const Case& c : cases) {
        EXPECT_EQ(d.FindChild(kRootNode, c.word) != kNoNode, c.found) << c.word;
    }
    // A case-insensitive word is stored upper-cased.
    EXPECT_EQ(d.Word(d.FindChild(kRootNode, "apple")), "APPLE");
}

TEST(AutolinkDictionaryTest, WalkFindsTheLinksOfAText) {
    struct Case {
        const char* name;
        std::vector<Reference> refs;
        bool oncePerPass;
        const char* topicContext;
        const char* popupContext;
        const char* text;
        const char* expected;
    } cases[] = {
        {"longest term wins",
         {{"Print Setup", "", "PS", false, false, 0},
          {"print setup dialog", "", "PSD", false, false, 0}},
         false,
         "",
         "",
         "PRINT SETUP dialog or print setup",
         "[PRINT SETUP dialog]->PSD or [print setup]->PS"},
        {"overlapping terms: the first wins",
         {{"big apple", "", "BA", false, false, 0}, {"apple pie", "", "AP", false, false, 0}},
         false,
         "",
         "",
         "big apple pie",
         "[big apple]->BA pie"},
        {"first word given back",
         {{"apple pie", "", "AP", false, false, 0}},
         false,
         "",
         "",
         "big apple pie",
         "big [apple pie]->AP"},
        {"prefix of a term alone is no match",
         {{"print setup", "", "PS", false, false, 0}},
         false,
         "",
         "",
         "print now print",
         "print now print"},
        {"punctuation words",
         {{"Q&A", "", "QA", false, false, 0}},
         false,
         "",
         "",
         "see Q & A and Q&A.",
         "see [Q & A]->QA and [Q & A]->QA ."},
        {"case-sensitive term matches only as written",
         {{"Pear", "", "P", false, true, 0}},
         false,
         "",
         "",
         "pear Pear PEAR",
         "pear [Pear]->P PEAR"},
        {"synonyms share the main term's pass",
         {{"x", "a;b;c", "X", false, false, 0}},
         true,
         "",
         "",
         "b x c a b",
         "[b]->X [x] [c] [a] [b]"},
        {"synonyms link every time without oncePerPass",
         {{"x", "a;b;c", "X", false, false, 0}},
         false,
         "",
         "",
         "b x",
         "[b]->X [x]->X"},
        {"excluded longer term still wins the longest match",
         {{"print setup", "", "PS", false, false, 0},
          {"print setup dialog", "", "", true, false, 0}},
         false,
         "",
         "",
         "print setup dialog, print setup",
         "[print setup dialog] , [print setup]->PS"},
        {"jump to the topic itself is not made",
         {{"home", "", "HOME", false, false, 0}, {"away", "", "AWAY", false, false, 0}},
         false,
         "HOME",
         "",
         "home away",
         "[home] [away]->AWAY"},
        {"popup context applies to popups only",
         {{"note", "", "N", false, false, 1}, {"jump", "", "N", false, false, 0}},
         false,
         "",
         "N",
         "note jump",
         "[note] [jump]->N"},
        {"case-sensitive term never breaks an earlier case-insensitive one",
         {{"print setup", "", "PS", false, false, 0}, {"Print", "", "P", false, true, 0}},
         false,
         "",
         "",
         "Print setup, PRINT SETUP, Print, print",
         "[Print setup]->PS , [PRINT SETUP]->PS , [Print]->P , print"},
        {"upper-case case-sensitive term beside a case-insensitive path",
         {{"print setup", "", "PS", false, false, 0}, {"PRINT", "", "P", false, true, 0}},
         false,
         "",
         "",
         "print setup PRINT setup PRINT",
         "[print setup]->PS [PRINT setup]->PS [PRINT]->P"},
        {"a shorter term on a dead path is the fallback",
         {{"Print", "", "P", false, true, 0}, {"print setup guide", "", "G", false, false, 0}},
         false,
         "",
         "",
         "Print setup now",
         "[Print]->P setup now"},
        {"Windows-1252 letters fold",
         {{"caf\xE9", "", "C", false, false, 0}},
         false,
         "",
         "",
         "CAF\xC9 caf\xE9",
         "[CAF \xC9]->C [caf \xE9]->C"},
        {"an empty term marks the root, which never matches",
         {{"", "", "ROOT", false, false, 0}},
         false,
         "",
         "",
         "anything at all",
         "anything at all"},
    };
    for (const Case& c : cases) {
        AutolinkDictionary d;
        for (const Reference& r : c.refs) {
            ASSERT_EQ(d.AddReference(r.term, r.synonyms, r.target, "", r.exclude, r.caseSensitive,
                                     r.popup),
                      0)
                << c.name;
        }
        d.passCount = 1;
        d.oncePerPass = c.oncePerPass;
        d.topicContext = c.topicContext;
        d.popupContext = c.popupContext;
        EXPECT_EQ(Walk(d, c.text), c.expected) << c.name;
    }
}

TEST(AutolinkDictionaryTest, OncePerPassStartsAfreshEachPass) {
    AutolinkDictionary d;
    ASSERT_EQ(d.AddReference("x", "y", "X", "", false, false, 0), 0);
    d.oncePerPass = true;
    d.passCount = 1;
    EXPECT_EQ(Walk(d, "y x"), "[y]->X [x]");
    d.passCount = 2;
    EXPECT_EQ(Walk(d, "x y"), "[x]->X [y]");
}

TEST(AutolinkDictionaryTest, VerdictsAndCounts) {
    AutolinkDictionary d;
    ASSERT_EQ(d.AddReference("a b", "", "AB", "more", false, false, 1), 0);
    MatchVerdict v;
    int32_t count;
    const AutolinkTerm* term;
    d.MatchWord("zzz", &v, &count, &term);
    EXPECT_EQ(v, NoMatch);
    d.MatchWord("a", &v, &count, &term);
    EXPECT_EQ(v, Continue);
    d.MatchWord("b", &v, &count, &term);
    EXPECT_EQ(v, Continue);
    d.MatchWord("c", &v, &count, &term);
    EXPECT_EQ(v, LinkPopup);
    EXPECT_EQ(count, 1);
    ASSERT_NE(term, nullptr);
    EXPECT_EQ(term->target, "AB");
    EXPECT_EQ(term->extra, "more");
    // The run ends right after the term: the empty word counts too.
    d.MatchWord("a", &v, &count, &term);
    d.MatchWord("b", &v, &count, &term);
    d.MatchWord("", &v, &count, &term);
    EXPECT_EQ(v, LinkPopup);
    EXPECT_EQ(count, 1);
    // Two words past the last term end.
    ASSERT_EQ(d.AddReference("a b c d", "", "ABCD", "", false, false, 0), 0);
    d.MatchWord("a", &v, &count, &term);
    d.MatchWord("b", &v, &count, &term);
    d.MatchWord("c", &v, &count, &term);
    d.MatchWord("x", &v, &count, &term);
    EXPECT_EQ(v, LinkPopup);
    EXPECT_EQ(count, 2);
}

TEST(AutolinkDictionaryTest, RegistrationResults) {
    AutolinkDictionary d;
    EXPECT_EQ(d.AddReference("Print", "", "PRINT_TOPIC", "", false, false, 0), 0);
    // Same target up to case: replaces the term.
    EXPECT_EQ(d.AddReference("PRINT", "", "print_topic", "new", false, false, 1), 0);
    // Another target: conflict, the first stays.
    EXPECT_EQ(d.AddReference("print", "", "OTHER", "", false, false, 0), BRIO_ERR_TERM_CONFLICT);
    // An excluded term conflicts with any term of nonempty target.
    EXPECT_EQ(d.AddReference("print", "", "X", "", true, false, 0), BRIO_ERR_TERM_CONFLICT);
    uint32_t node = d.FindChild(kRootNode, "print");
    ASSERT_NE(node, kNoNode);
    const AutolinkTerm& t = d.Term(d.Node(node).term);
    EXPECT_EQ(t.target, "print_topic");
    EXPECT_EQ(t.extra, "new");
    EXPECT_EQ(t.popup, 1u);

    // Synonyms: the ones before a conflict stay, those after it are not made.
    EXPECT_EQ(d.AddReference("m", "s1;print;s2", "M", "", false, false, 0), BRIO_ERR_TERM_CONFLICT);
    EXPECT_NE(d.FindChild(kRootNode, "s1"), kNoNode);
    EXPECT_EQ(d.FindChild(kRootNode, "s2"), kNoNode);
}

TEST(AutolinkDictionaryTest, SynonymListEndsAtAnEmptySynonym) {
    struct Case {
        const char* synonyms;
        std::vector<std::string> registered;
        std::vector<std::string> absent;
    } cases[] = {
        {"a;;b", {"a"}, {"b"}},
        {";a", {}, {"a"}},
        {"a;b;", {"a", "b"}, {}},
        {"a;b;c", {"a", "b", "c"}, {}},
    };
    for (const Case& c : cases) {
        AutolinkDictionary d;
        ASSERT_EQ(d.AddReference("main", c.synonyms, "T", "", false, false, 0), 0);
        uint32_t mainNode = d.FindChild(kRootNode, "main");
        for (const std::string& word : c.registered) {
            uint32_t node = d.FindChild(kRootNode, word);
            ASSERT_NE(node, kNoNode) << c.synonyms << " " << word;
            EXPECT_TRUE(d.Node(node).flags & FlagEndsTerm);
            EXPECT_EQ(d.Term(d.Node(node).term).primary, mainNode);
        }
        for (const std::string& word : c.absent)
            EXPECT_EQ(d.FindChild(kRootNode, word), kNoNode) << c.synonyms << " " << word;
    }
}

TEST(AutolinkDictionaryTest, LongTargetsAndTermsAreKeptWhole) {
    AutolinkDictionary d;
    std::string target(5000, 'T');
    std::string extra(3000, 'E');
    std::string word(2000, 'w');
    ASSERT_EQ(d.AddReference(word, "", target, extra, false, false, 0), 0);
    EXPECT_TRUE(Walk(d, word + " x") == "[" + word + "]->" + target + " x");
    uint32_t node = d.FindChild(kRootNode, word);
    ASSERT_NE(node, kNoNode);
    EXPECT_EQ(std::string_view(d.Term(d.Node(node).term).extra), extra);

    // 100 KB of punctuation: 100,000 one-character words, a path that deep.
    std::string punctuation(100000, '!');
    ASSERT_EQ(d.AddReference(punctuation, "", "BANG", "", false, true, 0), 0);
    EXPECT_EQ(d.NodeCount(), 2u + 100000u);
    MatchVerdict v = NoMatch;
    int32_t count;
    const AutolinkTerm* term;
    for (char c : punctuation) {
        d.MatchWord(std::string_view(&c, 1), &v, &count, &term);
        ASSERT_EQ(v, Continue);
    }
    d.MatchWord("", &v, &count, &term);
    EXPECT_EQ(v, LinkJump);
    EXPECT_EQ(term->target, "BANG");
}

// Black-box through the exports.
TEST(AutolinkReferenceTest, CreatesAndFillsADictionary) {
    int32_t result = -7;
    AutolinkDictionary* d =
        AutolinkReference(nullptr, "print setup", "printer setup", "PS", 0, 0, "", 0, &result);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(AutolinkReference(d, "print setup", "", "ps", 0, 0, "", 0, &result), d);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(AutolinkReference(d, "PRINT SETUP", "", "OTHER", 0, 0, "", 0, &result), d);
    EXPECT_EQ(result, BRIO_ERR_TERM_CONFLICT);
    // Null strings are taken as empty.
    EXPECT_EQ(AutolinkReference(d, "x", nullptr, "X", 0, 1, nullptr, 0, &result), d);
    EXPECT_EQ(result, 0);
    d->passCount = 1;
    // The synonym keeps the target it was registered with.
    EXPECT_EQ(Walk(*d, "Printer SETUP print Setup x"),
              "[Printer SETUP]->PS [print Setup]->ps [x]->X");
    AutolinkDone(d);
    AutolinkDone(nullptr);
}

TEST(AutolinkReferenceTest, AllocationFailuresReport2005) {
    int failures = 0;
    for (long n = 1; n < 200; ++n) {
        int32_t result = -7;
        FailAllocationAfter(n);
        AutolinkDictionary* d = AutolinkReference(nullptr, "alpha beta gamma", "delta;epsilon",
                                                  "TARGET_OF_SOME_LENGTH_0123456789", 0, 0,
                                                  "an extra string of some length", 0, &result);
        FailAllocationAfter(0);
        if (!d) {
            EXPECT_EQ(result, BRIO_ERR_NO_MEMORY) << n;
            ++failures;
            continue;
        }
        if (result == 0) {
            AutolinkDone(d);
            break;
        }
        AutolinkDone(d);
        FAIL() << "a dictionary returned with status " << result << " at " << n;
    }
    EXPECT_GT(failures, 3);

    // A failure while adding to an existing dictionary keeps it usable.
    int32_t result = -7;
    AutolinkDictionary* d = AutolinkReference(nullptr, "one", "", "ONE", 0, 0, "", 0, &result);
    ASSERT_NE(d, nullptr);
    bool sawFailure = false;
    for (long n = 1; n < 100; ++n) {
        FailAllocationAfter(n);
        std::string term = "term number " + std::to_string(n);
        AutolinkDictionary* same =
            AutolinkReference(d, term.c_str(), "", "T", 0, 0, "", 0, &result);
        FailAllocationAfter(0);
        EXPECT_EQ(same, d);
        if (result == BRIO_ERR_NO_MEMORY)
            sawFailure = true;
        else
            EXPECT_EQ(result, 0);
    }
    EXPECT_TRUE(sawFailure);
    d->passCount = 1;
    EXPECT_EQ(Walk(*d, "one"), "[one]->ONE");
    AutolinkDone(d);
}

}  // namespace
