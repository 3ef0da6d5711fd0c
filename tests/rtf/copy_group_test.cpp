// Copying or skipping a group in one call leaves what reading it token by token leaves.
#include <gtest/gtest.h>

#include <string>

#include "rtf/rtf.h"
#include "test_support.h"

namespace brio {
namespace {

std::string State(const RtfReader& r, int32_t status, const std::string& output) {
    return std::to_string(status) + " offset " + std::to_string(r.Offset()) + " consumed " +
           std::to_string(r.Consumed()) + " depth " + std::to_string(r.Depth()) + " kind " +
           std::to_string(r.Kind()) + (r.PendingLiteral() ? " pending" : "") + " token '" +
           std::string(r.Text(), static_cast<size_t>(r.Length())) + "' output '" + output + "'";
}

// The group after the destination word in hand, from a snapshot of the reader.
std::string InOnePiece(RtfReader r, bool copy) {
    RtfSink sink;
    int32_t status = r.CopyGroup(copy ? &sink : nullptr);
    return State(r, status, std::string(sink.Text(), sink.Length()));
}

std::string TokenByToken(RtfReader r) {
    std::string output;
    int32_t d0 = r.Depth();
    for (;;) {
        int32_t rc = r.Next();
        if (rc != 0) return State(r, rc == -1 ? BRIO_ERR_UNEXPECTED_END : rc, output);
        if (r.Kind() == kRtfGroup) {
            if (r.First() == '{') {
                r.Push();
            } else if (r.Pop() != 0) {
                return State(r, BRIO_ERR_UNBALANCED, output);
            }
        }
        output.append(r.Text(), static_cast<size_t>(r.Length()));
        if (r.Depth() == d0 - 1) return State(r, 0, output);
    }
}

// Compares at every destination word; returns how many were compared.
int CompareAtEveryDestination(const std::string& text) {
    RtfReader r(text.c_str());
    int compared = 0;
    while (r.Next() == 0) {
        if (r.Kind() == kRtfGroup) {
            if (r.First() == '{')
                r.Push();
            else
                r.Pop();
        } else if (r.Kind() == kRtfControlWord && r.Class() == kRtfDestination && r.Depth() >= 1) {
            std::string expected = TokenByToken(r);
            EXPECT_EQ(InOnePiece(r, true), expected) << "at byte " << r.Offset();
            // Skipped: the same place and status, nothing written.
            EXPECT_EQ(InOnePiece(r, false),
                      expected.substr(0, expected.find(" output '")) + " output ''")
                << "at byte " << r.Offset();
            ++compared;
        }
    }
    return compared;
}

TEST(RtfCopyGroup, InOnePieceMatchesTokenByToken) {
    const char* cases[] = {
        "{\\rtf1{\\fonttbl{\\f0 A;}}x}",
        "{\\rtf1{\\*\\x {\\}}}y}",           // escaped braces stay text
        "{\\rtf1{\\*\\x \\\\}}y}",           // an escaped backslash
        "{\\rtf1{\\pict\\bin2 }}}z}",        // binary bytes are never braces
        "{\\rtf1{\\pict\\bin-2 }}z}",        // no count: no binary bytes
        "{\\rtf1{\\pict\\bin9 }}",           // the input ends inside the data
        "{\\rtf1{\\info{\\title",            // ends inside the group
        "{\\rtf1{\\info\\",                  // ends after a backslash
        "{\\rtf1{\\info\\title x\\*}z}",     // the last word read is \*
        "{\\rtf1{\\info x\\-y\r\n\\'e9}z}",  // optional hyphen, line end, hex
        "{\\rtf1{\\stylesheet{\\s1\\fs20 A;}\\b12345678901 }z}",
        "{\\rtf1{\\info abc\\}}}}",  // more closing braces than groups
    };
    for (const char* text : cases) {
        SCOPED_TRACE(text);
        EXPECT_GE(CompareAtEveryDestination(text), 2);  // \rtf1 and the inner one
    }
    // A group at depth 0 closes below the document: unbalanced at once.
    RtfReader r("}x");
    r.SetDepth(0);
    EXPECT_EQ(InOnePiece(r, true), TokenByToken(r));
    EXPECT_EQ(InOnePiece(r, true).substr(0, 5), std::to_string(BRIO_ERR_UNBALANCED) + " ");
    int compared = 0;
    for (const auto& path : test::ListFiles(test::CorpusDir("rtf"))) {
        SCOPED_TRACE(path);
        compared += CompareAtEveryDestination(test::ReadFile(path));
    }
    EXPECT_GT(compared, 100);
}

}  // namespace
}  // namespace brio
