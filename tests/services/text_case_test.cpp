// Case folding of typed names: umlauts and the other Latin letters count as the same in either case.
#include <gtest/gtest.h>

#include "host/services/paths.h"
#include "host/services/text_case.h"

namespace {

using tavik::FoldCaseUtf8;
using tavik::SameText;

TEST(TextCase, LatinLettersFoldToLowerCase) {
    EXPECT_EQ(FoldCaseUtf8("DÄTEN"), "däten");
    EXPECT_EQ(FoldCaseUtf8("ÖLÜÀÉÞ"), "ölüàéþ");
    EXPECT_EQ(FoldCaseUtf8("STRAẞE"), "straße");
    EXPECT_EQ(FoldCaseUtf8("ŁÓDŹ ŽĽŇ Ÿ"), "łódź žľň ÿ");
    EXPECT_EQ(FoldCaseUtf8("×÷ß"), "×÷ß");  // no case
}

TEST(TextCase, BytesThatAreNotUtf8StayAsTheyAre) {
    EXPECT_EQ(FoldCaseUtf8("A\xC4Z"), "a\xC4z");
    EXPECT_EQ(FoldCaseUtf8("\xC3"), "\xC3");
    EXPECT_EQ(FoldCaseUtf8("\xE1\x80"), "\xE1\x80");
}

TEST(TextCase, SameTextComparesUmlautsWithoutRegardToCase) {
    EXPECT_TRUE(SameText("däten", "DÄTEN"));
    EXPECT_TRUE(SameText("ARCHIV", "archiv"));
    EXPECT_FALSE(SameText("daten", "DÄTEN"));
    EXPECT_FALSE(SameText("ä", "a"));
    EXPECT_FALSE(SameText("ARCHIV", "ARCHIVE"));
}

}  // namespace
