// A group copied in one piece must leave the same output and the same
// context as the token-by-token copy, which still runs while footnote text
// is being collected.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "rtf/rtf.h"
#include "test_support.h"

namespace brio {
namespace {

struct Copied {
    int32_t status;
    std::string output;
    size_t at;
    uint32_t inOffset, consumed;
    int32_t depth, tokenKind, keywordId, keywordClass, pendingLiteral;
    std::string token;
    bool operator==(const Copied& o) const {
        return status == o.status && output == o.output && at == o.at && inOffset == o.inOffset &&
               consumed == o.consumed && depth == o.depth && tokenKind == o.tokenKind &&
               keywordId == o.keywordId && keywordClass == o.keywordClass &&
               pendingLiteral == o.pendingLiteral && token == o.token;
    }
};

std::ostream& operator<<(std::ostream& os, const Copied& k) {
    return os << "status " << k.status << " at " << k.at << " offset " << k.inOffset << " depth "
              << k.depth << " kind " << k.tokenKind << " id " << k.keywordId << " class "
              << k.keywordClass << " token '" << k.token << "' output '" << k.output << "'";
}

// Copies the group from a snapshot of `at`, token by token or in one piece.
Copied CopyFrom(const RtfContext& at, bool tokenByToken) {
    RtfContext c = at;
    c.outBuffer = nullptr;
    EXPECT_EQ(RtfStartBufferOutput(&c), 0);
    char footnote[8] = "";
    if (tokenByToken) {
        c.footnoteMode = 3;
        c.contextText = footnote;
        c.contextTextSize = sizeof footnote;
    }
    Copied k;
    k.status = RtfCopyGroup(&c);
    k.output.assign(c.outBuffer, static_cast<size_t>(RtfOutputLength(&c)));
    k.at = static_cast<size_t>(c.inPos - c.inText);
    k.inOffset = c.inOffset;
    k.consumed = c.consumed;
    k.depth = c.depth;
    k.tokenKind = c.tokenKind;
    k.keywordId = c.keywordId;
    k.keywordClass = c.keywordClass;
    k.pendingLiteral = c.pendingLiteral;
    k.token.assign(RtfTokenText(&c), static_cast<size_t>(c.tokenLength));
    BrioFree(c.outBuffer);
    return k;
}

// Walks the text and compares both copies at every destination word;
// returns how many were compared.
int CompareAtEveryDestination(const std::string& text) {
    RtfContext c;
    std::memset(&c, 0, sizeof c);
    c.inText = c.inPos = text.c_str();
    c.inIsString = 1;
    int compared = 0;
    while (RtfNextToken(&c) == 0) {
        if (c.tokenKind == kRtfGroup) {
            if (c.tokenText[0] == '{') {
                if (RtfPushGroup(&c) != 0) break;
            } else {
                RtfPopGroup(&c);
            }
        } else if (c.tokenKind == kRtfControlWord && c.keywordClass == kRtfDestination &&
                   c.depth >= 1) {
            Copied whole = CopyFrom(c, false), tokens = CopyFrom(c, true);
            EXPECT_EQ(whole, tokens) << "at byte " << (c.inPos - c.inText);
            ++compared;
        }
    }
    RtfFreeContext(&c);
    return compared;
}

TEST(RtfCopyGroup, InOnePieceMatchesTokenByToken) {
    const char* cases[] = {
        "{\\rtf1{\\fonttbl{\\f0 A;}}x}",
        "{\\rtf1{\\*\\x {\\}}}y}",     // escaped braces stay text
        "{\\rtf1{\\*\\x \\\\}}y}",     // an escaped backslash
        "{\\rtf1{\\pict\\bin2 }}}z}",  // binary bytes are never braces
        "{\\rtf1{\\pict\\bin-2 }}z}",  // no count: no binary bytes
        "{\\rtf1{\\pict\\bin0 }z}",
        "{\\rtf1{\\pict\\bin9 }}",           // the input ends inside the data
        "{\\rtf1{\\info{\\title",            // ends inside the group
        "{\\rtf1{\\info\\",                  // ends after a backslash
        "{\\rtf1{\\info\\qqunknown x}z}",    // the last word read is unknown
        "{\\rtf1{\\info\\title x\\*}z}",     // the last word read is \*
        "{\\rtf1{\\info x\\-y\r\n\\'e9}z}",  // optional hyphen, line end, hex
        "{\\rtf1{\\stylesheet{\\s1\\fs20 A;}\\b12345678901 }z}",
    };
    for (const char* text : cases) {
        SCOPED_TRACE(text);
        EXPECT_GE(CompareAtEveryDestination(text), 2);  // \rtf1 and the inner one
    }
}

TEST(RtfCopyGroup, InOnePieceMatchesTokenByTokenOnTheCorpus) {
    int compared = 0;
    for (const auto& path : test::ListFiles(test::CorpusDir("rtf"))) {
        SCOPED_TRACE(path);
        compared += CompareAtEveryDestination(test::ReadFile(path));
    }
    EXPECT_GT(compared, 100);
}

}  // namespace
}  // namespace brio
