#include "host/services/command_line.h"

#include <gtest/gtest.h>

namespace tavik {
namespace {

using List = std::vector<std::string>;

TEST(CmdLineSwitch, MatchesTheWholeRemainderWithoutRegardToCase) {
    EXPECT_TRUE(FindCmdLineSwitch({"prog", "-a"}, "A"));
    EXPECT_TRUE(FindCmdLineSwitch({"prog", "/A"}, "A"));
    EXPECT_TRUE(FindCmdLineSwitch({"prog", "/a"}, "A"));
    EXPECT_TRUE(FindCmdLineSwitch({"prog", "-Auto"}, "AUTO"));
    EXPECT_TRUE(FindCmdLineSwitch({"prog", "x", "-L", "y"}, "L"));
    EXPECT_FALSE(FindCmdLineSwitch({"prog", "-AUTO"}, "A"));
    EXPECT_FALSE(FindCmdLineSwitch({"prog", "--A"}, "A"));
    EXPECT_FALSE(FindCmdLineSwitch({"prog", "-AL"}, "A"));
    EXPECT_FALSE(FindCmdLineSwitch({"prog", "-AL"}, "L"));
    EXPECT_FALSE(FindCmdLineSwitch({"prog", "A"}, "A"));
    EXPECT_FALSE(FindCmdLineSwitch({"prog", ""}, "A"));
    EXPECT_FALSE(FindCmdLineSwitch({"prog", "-"}, "A"));
}

TEST(CmdLineSwitch, TheProgramPathIsNotExamined) { EXPECT_FALSE(FindCmdLineSwitch({"-A"}, "A")); }

TEST(CommaText, SeparatesAtCommasAndBlanks) {
    EXPECT_EQ(CommaTextToList("ARCHIV,STADATA"), (List{"ARCHIV", "STADATA"}));
    EXPECT_EQ(CommaTextToList("ARCHIV STADATA"), (List{"ARCHIV", "STADATA"}));
    EXPECT_EQ(CommaTextToList("  ARCHIV ,  STADATA  "), (List{"ARCHIV", "STADATA"}));
    EXPECT_EQ(CommaTextToList("A\tB\nC"), (List{"A", "B", "C"}));
}

TEST(CommaText, QuotesEncloseBlanksCommasAndDoubledQuotes) {
    EXPECT_EQ(CommaTextToList("\"MEINE DATEN\""), (List{"MEINE DATEN"}));
    EXPECT_EQ(CommaTextToList("\"A,B\",C"), (List{"A,B", "C"}));
    EXPECT_EQ(CommaTextToList("\"SAGT \"\"JA\"\"\""), (List{"SAGT \"JA\""}));
    // An unclosed quote runs to the end.
    EXPECT_EQ(CommaTextToList("\"OFFEN, ENDE"), (List{"OFFEN, ENDE"}));
    // A quote inside an item is an ordinary character.
    EXPECT_EQ(CommaTextToList("A\"B"), (List{"A\"B"}));
}

TEST(CommaText, EmptyItems) {
    EXPECT_EQ(CommaTextToList(""), List{});
    EXPECT_EQ(CommaTextToList("   "), List{});
    EXPECT_EQ(CommaTextToList("A,,B"), (List{"A", "", "B"}));
    EXPECT_EQ(CommaTextToList("A,"), (List{"A", ""}));
    EXPECT_EQ(CommaTextToList(","), (List{"", ""}));
    // Only a comma that is the very last character adds an empty item.
    EXPECT_EQ(CommaTextToList("A, "), (List{"A"}));
    EXPECT_EQ(CommaTextToList("\"\""), (List{""}));
}

}  // namespace
}  // namespace tavik
