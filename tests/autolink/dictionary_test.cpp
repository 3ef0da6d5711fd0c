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
    for (std::string_view w = SplitWord(&rest); !w.empty(); w = SplitWord(&rest))
        words.emplace_back(w);
    return words;
}

struct Ref {
    const char* term;
    const char* target;
    const char* synonyms = "";
    bool exclude = false;
    bool caseSensitive = false;
    uint32_t popup = 0;
};

// Drives the walk as the writing pass does: gives back the first held word on
// NoMatch. Matches come out as "[words]->TARGET", or "[words]" when suppressed.
std::string Walk(AutolinkDictionary& d, const std::string& text) {
    std::vector<std::string> words = Split(text);
    std::string out;
    size_t start = 0, i = 0;
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
        int32_t last = static_cast<int32_t>(i - start) - count;
        if (!out.empty()) out += ' ';
        if (verdict == NoMatch || last < 0) {
            out += words[start];
            i = ++start;
            continue;
        }
        out += '[';
        for (int32_t k = 0; k <= last; ++k) out += (k ? " " : "") + words[start + k];
        out += ']';
        if (verdict != Suppressed) out += "->" + std::string(term->target);
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
        {"a1b2..c", {"a1b2", ".", ".", "c"}},
        {"caf\xE9", {"caf", "\xE9"}},
        {" \t ", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(Split(c.text), c.words) << c.text;
}

TEST(AutolinkDictionaryTest, WalkFindsTheLinksOfAText) {
    // clang-format off
    struct Case {
        std::vector<Ref> refs;
        const char* text;
        const char* expected;
        bool once = false;
    } cases[] = {
        {{{"Print Setup", "PS"}, {"print setup dialog", "PSD"}},
         "PRINT SETUP dialog or print setup", "[PRINT SETUP dialog]->PSD or [print setup]->PS"},
        {{{"print setup", "PS"}}, "print now print", "print now print"},
        {{{"Q&A", "QA"}}, "see Q & A and Q&A.", "see [Q & A]->QA and [Q & A]->QA ."},
        {{{"Pear", "P", "", false, true}}, "pear Pear PEAR", "pear [Pear]->P PEAR"},
        {{{"x", "X", "a;b;c"}}, "b x c a b", "[b]->X [x] [c] [a] [b]", true},
        {{{"x", "X", "a;b;c"}}, "b x", "[b]->X [x]->X"},
        // A case-sensitive term never changes how earlier case-insensitive ones match.
        {{{"print setup", "PS"}, {"Print", "P", "", false, true}},
         "Print setup, PRINT SETUP, Print, print",
         "[Print setup]->PS , [PRINT SETUP]->PS , [Print]->P , print"},
        {{{"print setup", "PS"}, {"PRINT", "P", "", false, true}}, "print setup PRINT setup PRINT",
         "[print setup]->PS [PRINT setup]->PS [PRINT]->P"},
        {{{"Print", "P", "", false, true}, {"print setup guide", "G"}}, "Print setup now",
         "[Print]->P setup now"},
        {{{"caf\xE9", "C"}}, "CAF\xC9 caf\xE9", "[CAF \xC9]->C [caf \xE9]->C"},
        {{{"", "ROOT"}}, "anything at all", "anything at all"},
    };
    // clang-format on
    for (const Case& c : cases) {
        AutolinkDictionary d;
        for (const Ref& r : c.refs)
            ASSERT_EQ(d.AddReference(r.term, r.synonyms, r.target, "", r.exclude, r.caseSensitive,
                                     r.popup),
                      0)
                << c.text;
        d.passCount = 1;
        d.oncePerPass = c.once;
        EXPECT_EQ(Walk(d, c.text), c.expected) << c.text;
    }
}

TEST(AutolinkDictionaryTest, VerdictsAndCounts) {
    AutolinkDictionary d;
    ASSERT_EQ(d.AddReference("a b", "", "AB", "more", false, false, 1), 0);
    ASSERT_EQ(d.AddReference("a b c d", "", "ABCD", "", false, false, 0), 0);
    // clang-format off
    struct Case {
        std::vector<const char*> words;
        MatchVerdict verdict;
        int32_t count;
    } cases[] = {
        {{"zzz"}, NoMatch, -1},
        {{"a", "b"}, Continue, -1},
        {{"a", "b", "x"}, LinkPopup, 1},
        {{"a", "b", ""}, LinkPopup, 1},
        {{"a", "b", "c", "x"}, LinkPopup, 2},
    };
    // clang-format on
    for (const Case& c : cases) {
        MatchVerdict v;
        int32_t count = -1;
        const AutolinkTerm* term = nullptr;
        d.ResetWalk();
        for (const char* w : c.words) d.MatchWord(w, &v, &count, &term);
        EXPECT_EQ(v, c.verdict) << c.words.size();
        if (c.count < 0) continue;
        EXPECT_EQ(count, c.count) << c.words.size();
        ASSERT_NE(term, nullptr);
        EXPECT_EQ(term->target, "AB");
        EXPECT_EQ(term->extra, "more");
    }
}

TEST(AutolinkDictionaryTest, RegistrationResults) {
    AutolinkDictionary d;
    EXPECT_EQ(d.AddReference("Print", "", "PRINT_TOPIC", "", false, false, 0), 0);
    // Same target up to case replaces the term; another target conflicts, as
    // does an excluded term against a nonempty target.
    EXPECT_EQ(d.AddReference("PRINT", "", "print_topic", "new", false, false, 1), 0);
    EXPECT_EQ(d.AddReference("print", "", "OTHER", "", false, false, 0), BRIO_ERR_TERM_CONFLICT);
    EXPECT_EQ(d.AddReference("print", "", "X", "", true, false, 0), BRIO_ERR_TERM_CONFLICT);
    EXPECT_EQ(d.Word(d.FindChild(kRootNode, "pRint")), "PRINT");
    const AutolinkTerm& t = d.Term(d.Node(d.FindChild(kRootNode, "print")).term);
    EXPECT_EQ(t.target, "print_topic");
    EXPECT_EQ(t.extra, "new");
    EXPECT_EQ(t.popup, 1u);
    // Synonyms before a conflict stay, those after it are not made.
    EXPECT_EQ(d.AddReference("m", "s1;print;s2", "M", "", false, false, 0), BRIO_ERR_TERM_CONFLICT);
    EXPECT_NE(d.FindChild(kRootNode, "s1"), kNoNode);
    EXPECT_EQ(d.FindChild(kRootNode, "s2"), kNoNode);

    // The synonym list ends at an empty synonym.
    struct Case {
        const char* synonyms;
        std::vector<std::string> registered;
        const char* absent;
    } cases[] = {{"a;;b", {"a"}, "b"}, {";a", {}, "a"}, {"a;b;", {"a", "b"}, ""}};
    for (const Case& c : cases) {
        AutolinkDictionary s;
        ASSERT_EQ(s.AddReference("main", c.synonyms, "T", "", false, false, 0), 0);
        for (const std::string& word : c.registered) {
            uint32_t node = s.FindChild(kRootNode, word);
            ASSERT_NE(node, kNoNode) << c.synonyms << " " << word;
            EXPECT_EQ(s.Term(s.Node(node).term).primary, s.FindChild(kRootNode, "main"));
        }
        EXPECT_TRUE(!*c.absent || s.FindChild(kRootNode, c.absent) == kNoNode) << c.synonyms;
    }
}

TEST(AutolinkDictionaryTest, LongTargetsAndTermsAreKeptWhole) {
    AutolinkDictionary d;
    std::string target(5000, 'T'), extra(3000, 'E'), word(2000, 'w');
    ASSERT_EQ(d.AddReference(word, "", target, extra, false, false, 0), 0);
    EXPECT_TRUE(Walk(d, word + " x") == "[" + word + "]->" + target + " x");
    EXPECT_EQ(std::string_view(d.Term(d.Node(d.FindChild(kRootNode, word)).term).extra), extra);

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

TEST(AutolinkReferenceTest, CreatesAndFillsADictionary) {
    int32_t result = -7;
    AutolinkDictionary* d =
        AutolinkReference(nullptr, "print setup", "printer setup", "PS", 0, 0, "", 0, &result);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(AutolinkReference(d, "print setup", "", "ps", 0, 0, "", 0, &result), d);
    EXPECT_EQ(result, 0);
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
    int32_t result = -7;
    for (long n = 1; n < 200; ++n) {
        FailAllocationAfter(n);
        AutolinkDictionary* d = AutolinkReference(nullptr, "alpha beta gamma", "delta;epsilon",
                                                  "TARGET_0123456789", 0, 0, "extra", 0, &result);
        FailAllocationAfter(0);
        if (!d) {
            EXPECT_EQ(result, BRIO_ERR_NO_MEMORY) << n;
            ++failures;
            continue;
        }
        AutolinkDone(d);
        ASSERT_EQ(result, 0) << n;
        break;
    }
    EXPECT_GT(failures, 3);

    // A failure while adding to an existing dictionary keeps it usable.
    AutolinkDictionary* d = AutolinkReference(nullptr, "one", "", "ONE", 0, 0, "", 0, &result);
    ASSERT_NE(d, nullptr);
    bool sawFailure = false;
    for (long n = 1; n < 100; ++n) {
        FailAllocationAfter(n);
        std::string term = "term number " + std::to_string(n);
        EXPECT_EQ(AutolinkReference(d, term.c_str(), "", "T", 0, 0, "", 0, &result), d);
        FailAllocationAfter(0);
        EXPECT_TRUE(result == 0 || result == BRIO_ERR_NO_MEMORY) << n;
        sawFailure |= result == BRIO_ERR_NO_MEMORY;
    }
    EXPECT_TRUE(sawFailure);
    d->passCount = 1;
    EXPECT_EQ(Walk(*d, "one"), "[one]->ONE");
    AutolinkDone(d);
}

}  // namespace
