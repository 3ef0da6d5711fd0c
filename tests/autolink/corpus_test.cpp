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

#include "autolink/autolink.h"
#include "autolink/dictionary.h"
#include "brioutil.h"
#include "platform/platform.h"
#include "rtf/rtf.h"
#include "test_support.h"

using namespace brio;

namespace {

struct Topic {
    std::string file;
    std::string rtf;
    std::string context;
    std::string title;
};

std::vector<Topic> LoadTopics() {
    std::vector<Topic> topics;
    for (const std::string& path : test::ListFiles(test::CorpusDir("rtf"))) {
        std::string text = test::ReadFile(path);
        size_t pos = 0;
        for (int guard = 0; pos < text.size() && guard < 100000; ++guard) {
            const char* rtfOut = nullptr;
            uint32_t rtfLength = 0;
            char* context = nullptr;
            char* title = nullptr;
            char* browse = nullptr;
            char* keywords = nullptr;
            uint32_t consumed = 0;
            int32_t status = -7;
            TopicImport* h =
                TopicImportString(text.c_str() + pos, &rtfOut, &rtfLength, nullptr, &context,
                                  nullptr, &title, nullptr, &browse, nullptr, &keywords, nullptr,
                                  &consumed, nullptr, nullptr, &status);
            if (h && rtfOut && status == 0 && rtfLength > 0) {
                topics.push_back(Topic{path, std::string(rtfOut, rtfLength), context ? context : "",
                                       title ? title : ""});
            }
            std::free(context);
            std::free(title);
            std::free(browse);
            std::free(keywords);
            TopicImportStringClose(h);
            if (consumed == 0) break;
            pos += consumed;
        }
    }
    return topics;
}

// Reads the control symbol whose backslash has just been read; returns the
// character it stands for in the visible text ("" for none).
std::string ReadSymbol(RtfContext* c) {
    if (RtfNextToken(c) != 0) return "";
    char ch = c->tokenText[0];
    if (ch == '\'') {
        std::string hex;
        for (int i = 0; i < 2 && std::isxdigit(static_cast<unsigned char>(*c->inPos)); ++i) {
            RtfNextToken(c);
            hex += c->tokenText[0];
        }
        return hex.size() == 2
                   ? std::string(1, static_cast<char>(std::strtol(hex.c_str(), nullptr, 16)))
                   : "";
    }
    if (ch == '{' || ch == '}' || ch == '\\') return std::string(1, ch);
    if (ch == '~') return " ";
    return "";
}

// The text a reader sees: outside destinations and hidden text.
std::string VisibleText(const std::string& rtf) {
    RtfContext c;
    std::memset(&c, 0, sizeof c);
    c.inText = c.inPos = rtf.c_str();
    c.inIsString = 1;
    struct State {
        bool destination;
        bool hidden;
    };
    std::vector<State> stack{{false, false}};
    bool first = false;
    std::string out;
    while (RtfNextToken(&c) == 0) {
        State& s = stack.back();
        bool wasFirst = first;
        first = false;
        switch (c.tokenKind) {
            case kRtfGroup:
                if (c.tokenText[0] == '{') {
                    stack.push_back(stack.back());
                    first = true;
                } else if (stack.size() > 1) {
                    stack.pop_back();
                }
                break;
            case kRtfControlWord: {
                const char* t = RtfTokenText(&c);
                bool star = c.tokenLength == 2 && t[1] == '*';
                if (star || (wasFirst && c.keywordClass == kRtfDestination &&
                             std::strncmp(t, "\\rtf", 4) != 0))
                    s.destination = true;
                if (c.keywordId == kRtfIdV) s.hidden = std::strncmp(t, "\\v0", 3) != 0;
                if (std::strncmp(t, "\\plain", 6) == 0) s.hidden = false;
                break;
            }
            case kRtfText: {
                std::string piece;
                if (c.tokenLength == 2) {
                    piece = "";  // optional hyphen
                } else if (c.tokenText[0] == '\\' && c.pendingLiteral) {
                    piece = ReadSymbol(&c);
                } else {
                    piece = c.tokenText;
                }
                if (!s.destination && !s.hidden) out += piece;
                break;
            }
            default:
                break;
        }
    }
    RtfFreeContext(&c);
    return out;
}

bool Balanced(const std::string& rtf) {
    RtfContext c;
    std::memset(&c, 0, sizeof c);
    c.inText = c.inPos = rtf.c_str();
    c.inIsString = 1;
    int depth = 0;
    int32_t rc;
    while ((rc = RtfNextToken(&c)) == 0) {
        if (c.tokenKind != kRtfGroup) continue;
        depth += c.tokenText[0] == '{' ? 1 : -1;
        if (depth < 0) return false;
    }
    RtfFreeContext(&c);
    return rc == -1 && depth == 0;
}

std::string StyleRef(const std::string& rtf) {
    size_t at = rtf.find(" \\additive Autolink;}");
    if (at == std::string::npos) return "";
    size_t cs = rtf.rfind("\\cs", at);
    return rtf.substr(cs, at - cs);
}

// The words of a text as the dictionary compares them (any case).
std::string Normal(const std::string& text) {
    std::string out;
    std::string_view rest = text;
    for (;;) {
        std::string_view word = SplitWord(&rest);
        if (word.empty()) break;
        if (!out.empty()) out += ' ';
        for (char ch : word)
            out += static_cast<char>(PlatCharUpper(static_cast<unsigned char>(ch)));
    }
    return out;
}

// Links are coloured with a colour no input uses, so that they are told
// apart from the input's own hot spots also where there is no link style.
const char kColour[] = "77";
constexpr uint32_t kColourIndex = 77;

struct NewLink {
    size_t inputOffset;  // where the link's first piece was put
    std::string text;    // visible text of its pieces
    std::string target;
};

// Takes out what Autolink wrote: the link groups of the style and their
// hidden targets. What is left must be the input; the links are listed.
std::string Unlink(const std::string& out, const std::string& ref, std::vector<NewLink>* links) {
    std::string plain;
    std::string openJump = "{" + ref + "\\cf" + kColour;
    std::string hidden = "{" + ref + "\\v ";
    NewLink current{0, "", ""};
    bool inLink = false;
    size_t pieceEnd = 0;
    size_t i = 0;
    while (i < out.size()) {
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
        if (out.compare(i, openJump.size(), openJump) == 0) {
            size_t j = i + openJump.size();
            size_t skip = out.compare(j, 6, "\\uldb ") == 0 ? 6
                          : out.compare(j, 4, "\\ul ") == 0 ? 4
                                                            : 0;
            if (skip) {
                size_t start = j + skip;
                size_t close = start;
                while (out[close] != '}') close += out[close] == '\\' ? 2 : 1;
                if (!inLink) current.inputOffset = plain.size();
                inLink = true;
                std::string piece = out.substr(start, close - start);
                current.text += VisibleText("{" + piece + "}");
                plain += piece;
                i = close + 1;
                pieceEnd = i;
                continue;
            }
        }
        plain += out[i++];
    }
    return plain;
}

// Offsets that lie inside a destination group or a bitmap reference.
std::vector<std::pair<size_t, size_t>> ForbiddenRanges(const std::string& rtf) {
    std::vector<std::pair<size_t, size_t>> ranges;
    RtfContext c;
    std::memset(&c, 0, sizeof c);
    c.inText = c.inPos = rtf.c_str();
    c.inIsString = 1;
    std::vector<std::pair<size_t, bool>> stack;
    bool first = false;
    while (true) {
        size_t start = c.inOffset;
        if (RtfNextToken(&c) != 0) break;
        bool wasFirst = first;
        first = false;
        if (c.tokenKind == kRtfGroup) {
            if (c.tokenText[0] == '{') {
                stack.push_back({start, false});
                first = true;
            } else if (!stack.empty()) {
                if (stack.back().second) ranges.push_back({stack.back().first, c.inOffset});
                stack.pop_back();
            }
        } else if (c.tokenKind == kRtfControlWord && !stack.empty() && stack.size() >= 2 &&
                   (c.keywordClass == kRtfDestination && (wasFirst || c.tokenLength == 2))) {
            stack.back().second = true;
        }
    }
    RtfFreeContext(&c);
    for (const char* opener : {"\\{bm", "\\{ew"}) {
        for (size_t at = rtf.find(opener); at != std::string::npos; at = rtf.find(opener, at + 1)) {
            size_t close = rtf.find("\\}", at);
            if (close != std::string::npos) ranges.push_back({at, close + 2});
        }
    }
    return ranges;
}

std::vector<AutolinkLinkRecord> ExistingHotSpots(const std::string& rtf) {
    RtfContext c;
    std::memset(&c, 0, sizeof c);
    c.inText = c.inPos = rtf.c_str();
    c.inIsString = 1;
    char contextText[512] = {0};
    c.contextText = contextText;
    c.contextTextSize = 512;
    RtfResetHotspot(&c);
    AutolinkScanState scan;
    while (RtfNextToken(&c) == 0) AutolinkScanToken(&c, &scan);
    RtfRecordHotspot(&c, &scan);
    RtfFreeContext(&c);
    return std::vector<AutolinkLinkRecord>(scan.links.begin(), scan.links.end());
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

    size_t linked = 0;
    size_t withStyle = 0;
    for (const Topic& t : topics) {
        SCOPED_TRACE(t.file + " " + t.context);
        int32_t length = 0;
        int32_t status = -7;
        char* out =
            Autolink(d, t.rtf.c_str(), t.context.c_str(), "", 0, kColourIndex, &length, &status);
        ASSERT_EQ(status, 0);
        ASSERT_NE(out, nullptr);
        std::string output(out, static_cast<size_t>(length));

        // 1. Balanced, same visible text.
        EXPECT_TRUE(Balanced(output));
        EXPECT_EQ(VisibleText(output), VisibleText(t.rtf));

        // 2. Only registered terms, never inside a hot spot, destination or
        // bitmap reference; apart from the links the text is the input.
        std::string ref = StyleRef(output);
        std::vector<NewLink> links;
        std::string plain = Unlink(output, ref, &links);
        EXPECT_TRUE(plain == t.rtf) << "text changed outside the links";
        std::vector<AutolinkLinkRecord> spots = ExistingHotSpots(t.rtf);
        std::vector<std::pair<size_t, size_t>> forbidden = ForbiddenRanges(t.rtf);
        for (const NewLink& l : links) {
            auto found = targets.find(Normal(l.text));
            ASSERT_TRUE(found != targets.end()) << "not a term: " << l.text;
            EXPECT_EQ(found->second, l.target) << l.text;
            for (const AutolinkLinkRecord& r : spots)
                EXPECT_FALSE(l.inputOffset > static_cast<size_t>(r.start) &&
                             l.inputOffset < static_cast<size_t>(r.end))
                    << "inside a hot spot: " << l.text;
            for (const auto& r : forbidden)
                EXPECT_FALSE(l.inputOffset > r.first && l.inputOffset < r.second)
                    << "inside a destination or reference: " << l.text;
        }
        linked += links.size();

        // 3. Linking the result again changes nothing.
        int32_t againLength = 0;
        char* again =
            Autolink(d, out, t.context.c_str(), "", 0, kColourIndex, &againLength, &status);
        ASSERT_EQ(status, 0);
        ASSERT_NE(again, nullptr);
        EXPECT_TRUE(std::string(again, static_cast<size_t>(againLength)) == output)
            << "not idempotent";

        // 4. Removal leaves no link style and the same visible text.
        char* removed = AutolinkRemove(output.c_str(), &length, &status);
        ASSERT_NE(removed, nullptr);
        EXPECT_EQ(status, -1);
        std::string stripped(removed, static_cast<size_t>(length));
        std::free(removed);
        if (!ref.empty()) ++withStyle;
        for (size_t at = ref.empty() ? std::string::npos : stripped.find(ref);
             at != std::string::npos; at = stripped.find(ref, at + 1)) {
            char next = stripped[at + ref.size()];
            EXPECT_FALSE(next == '\\' || next == '{' || next == '}' ||
                         std::isalpha(static_cast<unsigned char>(next)))
                << "link style left: " << stripped.substr(at, 40);
            if (::testing::Test::HasFailure()) break;
        }
        EXPECT_EQ(VisibleText(stripped), VisibleText(t.rtf));
        if (::testing::Test::HasFailure()) break;
    }
    EXPECT_GT(linked, 500u);
    EXPECT_GT(withStyle, 0u);
    std::printf("%zu topics, %zu links, %zu with the link style\n", topics.size(), linked,
                withStyle);
    AutolinkDone(d);
}

}  // namespace
