#pragma once
// Files that belong together (the files of one related_file list) are archived and deleted only
// as a whole: were one of them left behind, the group would lie split across two archives. Lists
// that share a file make one group.
#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

namespace vendrask {

class TFileGroups {
public:
    void Clear();
    // The files of one list, by absolute path; a list of fewer than two files is no group.
    void Add(const std::vector<std::string>& paths);
    // All files of the group that path belongs to, path among them; nothing when it is in none.
    const std::vector<std::string>* GroupOf(const std::string& path) const;
    // The groups' own copy of path when it is in a group, else nothing. It stays where it is
    // until Clear, so that what is said about a few files of groups can refer to it.
    const std::string* NameOf(const std::string& path) const;

private:
    std::unordered_map<std::string, std::size_t> FGroupOf;
    std::vector<std::vector<std::string>> FMembers;  // a group merged into another is left empty
};

}  // namespace vendrask
