// Autolink and AutolinkRemove on every topic of the real help files, with a
// dictionary of all their titles jumping to their context strings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "autolink/dictionary.h"
#include "brioutil.h"
#include "platform/platform.h"
#include "rtf/rtf.h"
#include "test_support.h"
#include "topic/topic.h"
#include "topic/topic_support.h"

using namespace brio;

namespace {

struct Topic {
    std::string file;
    std::string rtf;
    std::string context;
    std::string title;
};

// The topics of every corpus file that import without an error.
std::vector<Topic> LoadTopics() {
    std::vector<Topic> topics;
    for (const std::string& path : test::ListFiles(test::CorpusDir("rtf")))
        for (const test::Imported& t : test::SplitTopics(test::ReadFile(path)))
            if (t.status == 0 && !t.rtf.empty())
                topics.push_back({path, t.rtf, t.context, t.title});
    return topics;
}

// The character a control symbol stands for in the visible text, its
// backslash just read ("" for none).
std::string ReadSymbol(RtfReader* c) {
    if (c->Next() != 0) return "";
    char ch = c->First();
    if (ch == '{' || ch == '}' || ch == '\\') return std::string(1, ch);
    if (ch == '~') return " ";
    if (ch != '\'') return "";
    std::string hex;
    while (hex.size() < 2 && std::isxdigit(static_cast<unsigned char>(*c->Pos()))) {
        c->Next();
        hex += c->First();
    }
    return hex.size() == 2 ? std::string(1, static_cast<char>(std::stoi(hex, nullptr, 16))) : "";
}

// The text a reader sees: outside destinations and hidden text.
std::string VisibleText(const std::string& rtf) {
    RtfReader c(rtf.c_str());
    struct State {
        bool destination, hidden;
    };
    std::vector<State> stack{{false, false}};
    bool first = false;
    std::string out;
    while (c.Next() == 0) {
        State& s = stack.back();
        bool wasFirst = first;
        first = false;
        if (c.Kind() == kRtfGroup) {
            first = c.First() == '{';
            if (first)
                stack.push_back(s);
            else if (stack.size() > 1)
                stack.pop_back();
        } else if (c.Kind() == kRtfControlWord) {
            std::string w(c.Text(), static_cast<size_t>(c.Length()));
            if ((c.Length() == 2 && w[1] == '*') ||
                (wasFirst && c.Class() == kRtfDestination && w.compare(0, 4, "\\rtf") != 0))
                s.destination = true;
            if (c.Id() == kRtfKwV) s.hidden = w.compare(0, 3, "\\v0") != 0;
            if (w.compare(0, 6, "\\plain") == 0) s.hidden = false;
        } else if (c.Kind() == kRtfText && c.Length() != 2) {  // 2: optional hyphen
            std::string piece = c.First() == '\\' && c.PendingLiteral()
                                    ? ReadSymbol(&c)
                                    : std::string(c.Text(), static_cast<size_t>(c.Length()));
            if (!s.destination && !s.hidden) out += piece;
        }
    }
    return out;
}

std::string StyleRef(const std::string& rtf) {
    size_t at = rtf.find(" \\additive Autolink;}");
    // A fragment (a later topic) links with the default style.
    if (at == std::string::npos) return brio::RtfStartDepth(rtf.c_str()) > 0 ? "\\cs99" : "";
    size_t cs = rtf.rfind("\\cs", at);
    return rtf.substr(cs, at - cs);
}

// The words of a text as the dictionary compares them (any case).
std::string Normal(const std::string& text) {
    std::string out;
    std::string_view rest = text;
    for (std::string_view w = SplitWord(&rest); !w.empty(); w = SplitWord(&rest)) {
        if (!out.empty()) out += ' ';
        for (char ch : w) out += static_cast<char>(PlatCharUpper(static_cast<unsigned char>(ch)));
    }
    return out;
}

// Links get a colour no input uses, to tell them from the input's own hot
// spots also where there is no link style.
const char kColour[] = "77";
constexpr uint32_t kColourIndex = 77;

struct NewLink {
    size_t inputOffset;  // where its first piece was put
    std::string text;    // visible text of its pieces
    std::string target;
};

// Takes out the link groups Autolink wrote and their hidden targets; what is
// left must be the input.
std::string Unlink(const std::string& out, const std::string& ref, std::vector<NewLink>* links) {
    std::string plain;
    std::string openJump = "{" + ref + "\\cf" + kColour, hidden = "{" + ref + "\\v ";
    NewLink current{0, "", ""};
    bool inLink = false;
    size_t pieceEnd = 0;
    for (size_t i = 0; i < out.size();) {
        // The hidden target follows the last piece at once.
        if (inLink && i == pieceEnd && out.compare(i, hidden.size(), hidden) == 0) {
            size_t close = out.find('}', i);
            current.target = out.substr(i + hidden.size(), close - i - hidden.size());
            links->push_back(current);
            current = NewLink{0, "", ""};
            inLink = false;
            i = close + 1;
            continue;
        }
        size_t j = i + openJump.size();
        size_t skip = out.compare(i, openJump.size(), openJump) != 0 ? 0
                      : out.compare(j, 6, "\\uldb ") == 0            ? 6
                      : out.compare(j, 4, "\\ul ") == 0              ? 4
                                                                     : 0;
        if (!skip) {
            plain += out[i++];
            continue;
        }
        size_t close = j + skip;
        while (out[close] != '}') close += out[close] == '\\' ? 2 : 1;
        if (!inLink) current.inputOffset = plain.size();
        inLink = true;
        std::string piece = out.substr(j + skip, close - j - skip);
        current.text += VisibleText("{" + piece + "}");
        plain += piece;
        i = pieceEnd = close + 1;
    }
    return plain;
}

// Offsets that lie inside a destination group or a bitmap reference.
std::vector<std::pair<size_t, size_t>> ForbiddenRanges(const std::string& rtf) {
    std::vector<std::pair<size_t, size_t>> ranges;
    RtfReader c(rtf.c_str());
    std::vector<std::pair<size_t, bool>> stack;
    bool first = false;
    for (size_t start = c.Offset(); c.Next() == 0; start = c.Offset()) {
        bool wasFirst = first;
        first = false;
        if (c.Kind() == kRtfGroup && c.First() == '{') {
            stack.push_back({start, false});
            first = true;
        } else if (c.Kind() == kRtfGroup && !stack.empty()) {
            if (stack.back().second) ranges.push_back({stack.back().first, c.Offset()});
            stack.pop_back();
        } else if (c.Kind() == kRtfControlWord && stack.size() >= 2 &&
                   c.Class() == kRtfDestination && (wasFirst || c.Length() == 2)) {
            stack.back().second = true;
        }
    }
    for (const char* opener : {"\\{bm", "\\{ew"}) {
        for (size_t at = rtf.find(opener); at != std::string::npos; at = rtf.find(opener, at + 1)) {
            size_t close = rtf.find("\\}", at);
            if (close != std::string::npos) ranges.push_back({at, close + 2});
        }
    }
    return ranges;
}

TEST(AutolinkCorpusTest, EveryTopicLinksAndUnlinks) {
    std::vector<Topic> topics = LoadTopics();
    ASSERT_GT(topics.size(), 1000u);
    AutolinkDictionary* d = nullptr;
    std::map<std::string, std::string> targets;  // normalised title -> target
    for (const Topic& t : topics) {
        if (t.title.empty() || t.context.empty()) continue;
        int32_t result = -7;
        d = AutolinkReference(d, t.title.c_str(), "", t.context.c_str(), 0, 0, "", 0, &result);
        ASSERT_NE(d, nullptr);
        if (result == 0) targets.emplace(Normal(t.title), t.context);
    }
    ASSERT_GT(targets.size(), 500u);

    size_t linked = 0, withStyle = 0;
    for (const Topic& t : topics) {
        SCOPED_TRACE(t.file + " " + t.context);
        int32_t length = 0, status = -7;
        char* out =
            Autolink(d, t.rtf.c_str(), t.context.c_str(), "", 0, kColourIndex, &length, &status);
        ASSERT_EQ(status, 0);
        ASSERT_NE(out, nullptr);
        std::string output(out, static_cast<size_t>(length));

        // 1. Apart from the links the text is the input (so it is balanced);
        // links are registered terms, never inside a destination or bitmap
        // reference; the visible text is the same.
        EXPECT_EQ(VisibleText(output), VisibleText(t.rtf));
        std::string ref = StyleRef(output);
        std::vector<NewLink> links;
        EXPECT_TRUE(Unlink(output, ref, &links) == t.rtf) << "text changed outside the links";
        std::vector<std::pair<size_t, size_t>> forbidden = ForbiddenRanges(t.rtf);
        for (const NewLink& l : links) {
            auto found = targets.find(Normal(l.text));
            ASSERT_TRUE(found != targets.end()) << "not a term: " << l.text;
            EXPECT_EQ(found->second, l.target) << l.text;
            for (const auto& r : forbidden)
                EXPECT_FALSE(l.inputOffset > r.first && l.inputOffset < r.second)
                    << "inside a destination or reference: " << l.text;
        }
        linked += links.size();

        // 2. Linking the result again changes nothing.
        int32_t againLength = 0;
        char* again =
            Autolink(d, out, t.context.c_str(), "", 0, kColourIndex, &againLength, &status);
        ASSERT_EQ(status, 0);
        ASSERT_NE(again, nullptr);
        EXPECT_TRUE(std::string(again, static_cast<size_t>(againLength)) == output)
            << "not idempotent";

        // 3. Removal leaves no link style and the same visible text.
        char* removed = AutolinkRemove(output.c_str(), &length, &status);
        ASSERT_NE(removed, nullptr);
        EXPECT_EQ(status, -1);
        std::string stripped(removed, static_cast<size_t>(length));
        std::free(removed);
        withStyle += !ref.empty();
        for (size_t at = ref.empty() ? std::string::npos : stripped.find(ref);
             at != std::string::npos && !HasFailure(); at = stripped.find(ref, at + 1)) {
            char next = stripped[at + ref.size()];
            EXPECT_FALSE(next == '\\' || next == '{' || next == '}' ||
                         std::isalpha(static_cast<unsigned char>(next)))
                << "link style left: " << stripped.substr(at, 40);
        }
        EXPECT_EQ(VisibleText(stripped), VisibleText(t.rtf));
        if (HasFailure()) break;
    }
    EXPECT_GT(linked, 500u);
    EXPECT_GT(withStyle, 0u);
    std::printf("%zu topics, %zu links, %zu with the link style\n", topics.size(), linked,
                withStyle);
    AutolinkDone(d);
}

}  // namespace
