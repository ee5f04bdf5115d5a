#pragma once
// Opening a path the program has seen before without following a symbolic link that may have
// been put in the place of a directory since.
#include <string>
#include <string_view>
#include <vector>

#include "host/services/unique_fd.h"

namespace tavik {

// Opens directory. When it lies below base, it is reached from base one directory at a time and
// none on the way may be a symbolic link or ".." (base itself is taken as it is); otherwise only
// the last component must not be a link. Returns the descriptor, or -1 with errno set (ELOOP for
// a link on the way).
int OpenDirectoryBelow(const std::string& directory, const std::string& base);

// Opens the file path for reading the same way: its directory by OpenDirectoryBelow, the file
// itself with O_NOFOLLOW. Returns the descriptor or -1 with errno set.
int OpenFileBelow(const std::string& path, const std::string& base, int flags);

// Opens files as OpenFileBelow does, one after the other, keeping the directory of the last one
// open: files of one directory in a row reach it once and then cost one openat each. A
// directory replaced by a link after it was opened is not followed; its files are read from the
// directory that was checked.
class TFileOpenerBelow {
public:
    // The file at path; -1 with errno set as OpenFileBelow does.
    int Open(std::string_view path, std::string_view base, int flags);

private:
    TUniqueFd FDir;
    std::string FDirectory;
    std::string FBase;
};

// The shortest of bases that holds path (below which path lies): from there the most directories
// on the way are checked. Empty when none holds it.
std::string ShortestBaseHolding(const std::vector<std::string>& bases, const std::string& path);
// The same as a view into bases.
std::string_view ShortestBaseOf(const std::vector<std::string>& bases, const std::string& path);

}  // namespace tavik
