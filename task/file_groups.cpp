#include "task/file_groups.h"

#include <algorithm>

namespace vendrask {

void TFileGroups::Clear() {
    FGroupOf.clear();
    FMembers.clear();
}

void TFileGroups::Add(const std::vector<std::string>& paths) {
    std::vector<std::string> distinct;
    for (const std::string& path : paths)
        if (std::find(distinct.begin(), distinct.end(), path) == distinct.end()) distinct.push_back(path);
    if (distinct.size() < 2) return;
    // The new list joins the first group that one of its files is in; every other such group
    // moves into it.
    std::size_t group = FMembers.size();
    for (const std::string& path : distinct) {
        const auto found = FGroupOf.find(path);
        if (found == FGroupOf.end() || found->second == group) continue;
        if (group == FMembers.size()) {
            group = found->second;
            continue;
        }
        std::vector<std::string> moved = std::move(FMembers[found->second]);
        FMembers[found->second].clear();
        for (std::string& member : moved) {
            FGroupOf[member] = group;
            FMembers[group].push_back(std::move(member));
        }
    }
    if (group == FMembers.size()) FMembers.emplace_back();
    for (const std::string& path : distinct)
        if (FGroupOf.emplace(path, group).second) FMembers[group].push_back(path);
}

const std::vector<std::string>* TFileGroups::GroupOf(const std::string& path) const {
    const auto found = FGroupOf.find(path);
    return found == FGroupOf.end() ? nullptr : &FMembers[found->second];
}

const std::string* TFileGroups::NameOf(const std::string& path) const {
    const auto found = FGroupOf.find(path);
    return found == FGroupOf.end() ? nullptr : &found->first;
}

}  // namespace vendrask
