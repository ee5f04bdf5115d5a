#pragma once
// Turns the queued items into the entries of an archive: a directory queued by path brings
// everything below it (symbolic links are never followed and not packed), an item queued as
// TFileInfoItem becomes the entry RelDir/FileName read from AbsDir/FileName.
#include <sys/stat.h>

#include <functional>
#include <string>
#include <vector>

#include "host/engine/archiv_format.h"

namespace tavik {

// Marks an item queued by FileItemAdd(path) for a directory: pack the whole tree.
constexpr std::uint32_t faWholeTree = 0x80000000u;

// Where entries lie, each pair once for a run of entries in it: the directory on disk that
// holds them (AbsDir) and the one in the archive (RelDir).
struct TPackDirectory {
    std::string absDir;
    std::string relDir;
};

struct TPackEntry {
    std::string name;  // entry name with the bytes of the names on disk, directories end in '/'
    std::string path;  // on disk
    std::uint32_t fileNameLength = 0;  // path ends in the file's name (FileName)
    std::uint32_t directoryIndex = 0;  // in TPackPlan::directories
    bool directory = false;
    // As found while planning.
    std::int64_t size = 0;
    std::time_t mtime = 0;
    mode_t mode = 0;
    TDateTime entryTime{};  // time given with a queued item, zero: the file's own
};

// Many small files make many entries: each holds its name and path, the rest of its item is
// shared or made when needed.
struct TPackPlan {
    std::vector<TPackEntry> entries;
    std::vector<TPackDirectory> directories;

    // The item as events and the list of what was packed name the entry: FileName, AbsDir,
    // RelDir, its size, time and attributes as found.
    TFileInfoItem ItemOf(const TPackEntry& entry) const;
};

// problem(itemName, reason) is called for an item that cannot be packed; it may throw.
// Files with the device and inode of exclude (the archive itself) are left out.
using TPackProblem = std::function<void(const std::string& item, const TReason& reason)>;
TPackPlan PlanPackEntries(const std::vector<TFileInfoItem>& queued, const struct stat* exclude,
                          const TPackProblem& problem);

}  // namespace tavik
