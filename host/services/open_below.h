#pragma once
// Opening a path the program has seen before without following a symbolic link that may have
// been put in the place of a directory since.
#include <string>
#include <vector>

namespace tavik {

// Opens directory. When it lies below base, it is reached from base one directory at a time and
// none on the way may be a symbolic link or ".." (base itself is taken as it is); otherwise only
// the last component must not be a link. Returns the descriptor, or -1 with errno set (ELOOP for
// a link on the way).
int OpenDirectoryBelow(const std::string& directory, const std::string& base);

// Opens the file path for reading the same way: its directory by OpenDirectoryBelow, the file
// itself with O_NOFOLLOW. Returns the descriptor or -1 with errno set.
int OpenFileBelow(const std::string& path, const std::string& base, int flags);

// The shortest of bases that holds path (below which path lies): from there the most directories
// on the way are checked. Empty when none holds it.
std::string ShortestBaseHolding(const std::vector<std::string>& bases, const std::string& path);

}  // namespace tavik
