// The overlay table against small line arrays of its own.
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "texts/clsGTex.h"

namespace {

const std::string kFail = "**** ERROR !!! ****";

// Two keys named Alpha (the first wins), a "#" line that is no key, and a key
// after the end mark.
const char* const kFixture[] = {
    "// comment",   // 0
    "#Alpha",       // 1
    "a0",           // 2
    " a1 ",         // 3
    "a2",           // 4
    "#",            // 5
    "#Beta",        // 6
    "b0",           // 7
    "#Alpha",       // 8
    "dup0",         // 9
    "#End_Of_Ovl",  // 10
    "#After",       // 11
    "x0",           // 12
};
constexpr int kFixtureCount = static_cast<int>(std::size(kFixture));

TEST(GTex, LooksUpValueLinesOfTheFirstKeyOfAName) {
    clsGTex t;
    ASSERT_TRUE(t.AttachLines(kFixture, kFixtureCount));
    EXPECT_EQ(t.GetLine("Beta", 0), "b0");
    EXPECT_EQ(t.GetLine("Alpha", 0), "a0");
    EXPECT_EQ(t.GetLine("Alpha", 1), " a1 ");  // blanks kept
    // Value lines run on past the key's own lines: the "#" line and the next
    // key line come back as plain text.
    EXPECT_EQ(t.GetLine("Alpha", 3), "#");
    EXPECT_EQ(t.GetLine("Alpha", 4), "#Beta");
    EXPECT_EQ(t.GetLine("Beta", 1), "#Alpha");
    // Keys are exact and case-sensitive.
    EXPECT_EQ(t.GetLine("alpha", 0), kFail);
    EXPECT_EQ(t.GetLine("Alpha ", 0), kFail);
}

TEST(GTex, FailsForMissingEmptyAndLateKeysAndBadIndexes) {
    clsGTex t;
    ASSERT_TRUE(t.AttachLines(kFixture, kFixtureCount));
    EXPECT_EQ(t.GetLine("Missing", 0), kFail);
    // "#" alone is no key, so an empty name finds nothing.
    EXPECT_EQ(t.GetLine("", 0), kFail);
    // A key line after "#End_Of_Ovl" is never indexed.
    EXPECT_EQ(t.GetLine("After", 0), kFail);
    EXPECT_EQ(t.GetLine("Alpha", -1), kFail);
    // The end key itself is found; its line 0 is whatever stands after it.
    EXPECT_EQ(t.GetLine("End_Of_Ovl", 0), "#After");
    EXPECT_EQ(t.GetLine("End_Of_Ovl", 2), kFail);  // past the array
    // A failed lookup leaves the key's cache usable.
    EXPECT_EQ(t.GetLine("Alpha", 2), "a2");
}

TEST(GTex, EndKeyAsLastLineHasNoValueLine) {
    const char* const lines[] = {"#Sys_Ovl", "OVL", "#End_Of_Ovl"};
    clsGTex t;
    ASSERT_TRUE(t.AttachLines(lines, 3));
    EXPECT_EQ(t.GetLine("End_Of_Ovl", 0), kFail);
    EXPECT_EQ(t.GetLine("Sys_Ovl", 0), "OVL");
}

TEST(GTex, TableWithoutEndMarkStopsAtTheEndOfTheArray) {
    const char* const lines[] = {"#A", "a0", "#B", "b0"};
    clsGTex t;
    ASSERT_TRUE(t.AttachLines(lines, 4));
    EXPECT_EQ(t.GetLine("Nope", 0), kFail);
    EXPECT_EQ(t.LineReads(), 4);
    EXPECT_EQ(t.GetLine("B", 0), "b0");
    EXPECT_EQ(t.GetLine("B", 1), kFail);
    EXPECT_EQ(t.GetLine("A", 2), "b0");
    EXPECT_EQ(t.GetLine("A", 3), kFail);
}

TEST(GTex, ReadingUpwardCostsOneReadPerLineAndLowerIndexRestarts) {
    clsGTex t;
    ASSERT_TRUE(t.AttachLines(kFixture, kFixtureCount));
    // The scan indexes only as far as needed: lines 0 and 1, then a0.
    EXPECT_EQ(t.GetLine("Alpha", 0), "a0");
    EXPECT_EQ(t.LineReads(), 3);
    long before = t.LineReads();
    EXPECT_EQ(t.GetLine("Alpha", 1), " a1 ");
    EXPECT_EQ(t.GetLine("Alpha", 2), "a2");
    EXPECT_EQ(t.GetLine("Alpha", 3), "#");
    EXPECT_EQ(t.LineReads() - before, 3);
    // Same line again: the cache sits after it, so the read restarts at the
    // key's first line.
    before = t.LineReads();
    EXPECT_EQ(t.GetLine("Alpha", 1), " a1 ");
    EXPECT_EQ(t.LineReads() - before, 2);
    // Skipping forward reads the lines in between once.
    before = t.LineReads();
    EXPECT_EQ(t.GetLine("Alpha", 4), "#Beta");
    EXPECT_EQ(t.LineReads() - before, 3);
    // Another key keeps its own cache.
    EXPECT_EQ(t.GetLine("Beta", 0), "b0");
    before = t.LineReads();
    EXPECT_EQ(t.GetLine("Alpha", 5), "b0");
    EXPECT_EQ(t.LineReads() - before, 1);
}

TEST(GTex, MissingKeyScansToTheEndMarkOnceThenReadsNothing) {
    clsGTex t;
    ASSERT_TRUE(t.AttachLines(kFixture, kFixtureCount));
    EXPECT_EQ(t.GetLine("Missing", 0), kFail);
    EXPECT_EQ(t.LineReads(), 11);  // lines 0..10, not the lines after the mark
    EXPECT_EQ(t.GetLine("Missing", 0), kFail);
    EXPECT_EQ(t.GetLine("Other", 3), kFail);
    EXPECT_EQ(t.GetLine("After", 0), kFail);
    EXPECT_EQ(t.LineReads(), 11);
    // Keys indexed by that scan cost no further scan reads.
    EXPECT_EQ(t.GetLine("Beta", 0), "b0");
    EXPECT_EQ(t.LineReads(), 12);
}

TEST(GTex, LongLinesAreCutTo1022Characters) {
    const std::string exact(1022, 'e');
    const std::string over(1023, 'o');
    const std::string huge(5000, 'h');
    const std::string longKey = "#" + std::string(1100, 'K');
    const char* const lines[] = {"#L", exact.c_str(), over.c_str(), huge.c_str(), longKey.c_str(), "k0",
                                 "#End_Of_Ovl"};
    clsGTex t;
    ASSERT_TRUE(t.AttachLines(lines, 7));
    EXPECT_EQ(t.GetLine("L", 0), exact);
    EXPECT_EQ(t.GetLine("L", 1), std::string(1022, 'o'));
    EXPECT_EQ(t.GetLine("L", 2), std::string(1022, 'h'));
    // A key name is taken from the cut line as well.
    EXPECT_EQ(t.GetLine(std::string(1021, 'K'), 0), "k0");
    EXPECT_EQ(t.GetLine(std::string(1100, 'K'), 0), kFail);
}

TEST(GTex, OnlyTheFirstAttachIsAccepted) {
    const char* const first[] = {"#A", "first", "#End_Of_Ovl"};
    const char* const second[] = {"#A", "second", "#B", "b", "#End_Of_Ovl"};
    clsGTex t;
    EXPECT_TRUE(t.AttachLines(first, 3));
    EXPECT_FALSE(t.AttachLines(second, 5));
    EXPECT_EQ(t.GetLine("A", 0), "first");
    EXPECT_EQ(t.GetLine("B", 0), kFail);
    EXPECT_FALSE(t.AttachLines(second, 5));
    EXPECT_EQ(t.GetLine("A", 0), "first");
}

TEST(GTex, WithoutLinesEveryLookupFailsUntilAnArrayIsAttached) {
    const char* const lines[] = {"#A", "a0", nullptr, "#End_Of_Ovl"};
    clsGTex t;
    EXPECT_EQ(t.GetLine("A", 0), kFail);
    // An unusable array is refused and does not use up the one attach.
    EXPECT_FALSE(t.AttachLines(nullptr, 3));
    EXPECT_FALSE(t.AttachLines(lines, -1));
    EXPECT_EQ(t.GetLine("A", 0), kFail);
    EXPECT_EQ(t.LineReads(), 0);
    ASSERT_TRUE(t.AttachLines(lines, 4));
    EXPECT_EQ(t.GetLine("A", 0), "a0");
    EXPECT_EQ(t.GetLine("A", 1), "");  // a null entry reads as an empty line
}

TEST(GTex, EmptyArrayFindsNothing) {
    clsGTex t;
    ASSERT_TRUE(t.AttachLines(nullptr, 0));
    EXPECT_EQ(t.GetLine("A", 0), kFail);
    EXPECT_EQ(t.GetLine("End_Of_Ovl", 0), kFail);
}

}  // namespace
