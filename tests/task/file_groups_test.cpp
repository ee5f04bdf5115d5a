// Groups of files that belong together: lists that share a file are one group, whatever the
// order in which the scan finds them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "task/file_groups.h"

namespace {

using TList = std::vector<std::string>;

TList Sorted(TList list) {
    std::sort(list.begin(), list.end());
    return list;
}

TList GroupOf(const vendrask::TFileGroups& groups, const std::string& path) {
    const TList* group = groups.GroupOf(path);
    return group ? Sorted(*group) : TList{};
}

struct TCase {
    const char* What;
    std::vector<TList> Lists;
    std::vector<std::pair<std::string, TList>> Expected;  // a file and its whole group
};

TEST(FileGroups, ListsThatShareAFileAreOneGroup) {
    const std::vector<TCase> cases = {
        {"one list", {{"a", "b", "c"}}, {{"a", {"a", "b", "c"}}, {"c", {"a", "b", "c"}}}},
        {"a list of one file is no group", {{"a"}, {"b", "b"}}, {{"a", {}}, {"b", {}}}},
        {"the same list twice", {{"a", "b"}, {"b", "a"}}, {{"a", {"a", "b"}}}},
        {"two lists apart", {{"a", "b"}, {"c", "d"}}, {{"a", {"a", "b"}}, {"d", {"c", "d"}}}},
        {"a later list joins two groups",
         {{"a", "b"}, {"c", "d"}, {"b", "c", "e"}},
         {{"a", {"a", "b", "c", "d", "e"}}, {"d", {"a", "b", "c", "d", "e"}}, {"e", {"a", "b", "c", "d", "e"}}}},
        {"three groups joined in one list",
         {{"a", "b"}, {"c", "d"}, {"e", "f"}, {"f", "d", "a"}},
         {{"b", {"a", "b", "c", "d", "e", "f"}}, {"c", {"a", "b", "c", "d", "e", "f"}}}},
        {"a file outside every list", {{"a", "b"}}, {{"x", {}}}},
    };
    for (const TCase& c : cases) {
        vendrask::TFileGroups groups;
        for (const TList& list : c.Lists) groups.Add(list);
        for (const auto& [path, expected] : c.Expected) EXPECT_EQ(GroupOf(groups, path), expected) << c.What << ": " << path;
    }
}

TEST(FileGroups, ClearForgetsEveryGroup) {
    vendrask::TFileGroups groups;
    groups.Add({"a", "b"});
    groups.Clear();
    EXPECT_EQ(groups.GroupOf("a"), nullptr);
    groups.Add({"a", "c"});
    EXPECT_EQ(GroupOf(groups, "a"), (TList{"a", "c"}));
}

TEST(FileGroups, NameOfGivesTheGroupsOwnCopyThatStaysWhileGroupsAreAdded) {
    vendrask::TFileGroups groups;
    groups.Add({"a", "b"});
    EXPECT_EQ(groups.NameOf("c"), nullptr);
    const std::string* a = groups.NameOf(std::string("a"));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(*a, "a");
    // Joining groups and adding many more files moves no name.
    groups.Add({"b", "c"});
    for (int i = 0; i < 1000; ++i) groups.Add({"x" + std::to_string(i), "y" + std::to_string(i)});
    EXPECT_EQ(groups.NameOf("a"), a);
    EXPECT_EQ(*a, "a");
    EXPECT_EQ(GroupOf(groups, *a), (TList{"a", "b", "c"}));
}

}  // namespace
