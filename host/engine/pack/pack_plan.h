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

struct TPackEntry {
    std::string name;  // entry name with the bytes of the names on disk, directories end in '/'
    std::string path;  // on disk
    bool directory = false;
    // As found while planning.
    std::int64_t size = 0;
    std::time_t mtime = 0;
    mode_t mode = 0;
    TFileInfoItem item;  // FileName, AbsDir, RelDir as the item names the file
    TDateTime entryTime{};  // time given with a queued item, zero: the file's own
};

// problem(itemName, reason) is called for an item that cannot be packed; it may throw.
// Files with the device and inode of exclude (the archive itself) are left out.
using TPackProblem = std::function<void(const std::string& item, const TReason& reason)>;
std::vector<TPackEntry> PlanPackEntries(const std::vector<TFileInfoItem>& queued, const struct stat* exclude,
                                        const TPackProblem& problem);

}  // namespace tavik
