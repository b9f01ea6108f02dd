// The token splitter, as the stage log and the menu builder use it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "texts/clsStrCom.h"

namespace {

struct SplitCase {
    std::string text;
    const char* delims;
    std::vector<std::string> pieces;  // every piece, in order
};

const SplitCase kCases[] = {
    {"Opening", "@", {"Opening"}},
    {"", "@", {""}},
    {"Opening          @", "@", {"Opening          ", ""}},
    {"None             @$@", "@", {"None             ", "$", ""}},
    {"a@@b", "@", {"a", "", "b"}},
    {"@a", "@", {"", "a"}},
    {"@", "@", {"", ""}},
    {"@@@", "@", {"", "", "", ""}},
    {" +&Open", "+", {" ", "&Open"}},
    {"+&File", "+", {"", "&File"}},
    {"&More...,x", "+", {"&More...,x"}},
    {"a+b,c", "+,", {"a", "b", "c"}},
    {",+", "+,", {"", "", ""}},
    {"a@b", "", {"a@b"}},
    {"a@b", nullptr, {"a@b"}},
    // UTF-8: the bytes of multi-byte characters are never delimiters, and
    // ASCII delimiters next to them still split.
    {"\xC3\xA4@\xE2\x82\xAC", "@", {"\xC3\xA4", "\xE2\x82\xAC"}},
    {"x\xC3\xA4y", "\xA4", {"x\xC3\xA4y"}},
    {std::string("a\0b@c", 5), "@", {std::string("a\0b", 3), "c"}},
};

TEST(StrCom, SplitsIntoCountedPieces) {
    for (const SplitCase& c : kCases) {
        SCOPED_TRACE("text \"" + c.text + "\" delims \"" + (c.delims ? c.delims : "(null)") + "\"");
        clsStrCom s;
        s.SetText(c.text);
        const int n = static_cast<int>(c.pieces.size());
        EXPECT_EQ(s.CountPieces(c.delims), n);
        for (int i = 0; i < n; ++i) EXPECT_EQ(s.GetPiece(c.delims, i), c.pieces[i]) << "piece " << i;
        // Past the last piece, and before the first, the piece is empty.
        EXPECT_EQ(s.GetPiece(c.delims, n), "");
        EXPECT_EQ(s.GetPiece(c.delims, n + 4), "");
        EXPECT_EQ(s.GetPiece(c.delims, -1), "");
        EXPECT_EQ(s.GetText(), c.text);
    }
}

TEST(StrCom, StartsEmptyAndSetTextReplacesTheText) {
    clsStrCom s;
    EXPECT_EQ(s.GetText(), "");
    EXPECT_EQ(s.CountPieces("@"), 1);
    s.SetText("a@b@c");
    EXPECT_EQ(s.GetPiece("@", 2), "c");
    // The menu builder's way: take part of the held text and set it back.
    s.SetText(s.GetText().substr(2));
    EXPECT_EQ(s.GetText(), "b@c");
    EXPECT_EQ(s.CountPieces("@"), 2);
    EXPECT_EQ(s.GetPiece("@", 0), "b");
    EXPECT_EQ(s.GetPiece("@", 2147483647), "");
}

}  // namespace
