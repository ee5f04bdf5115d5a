#pragma once
// The archives of a directory as a search sees them: the nightly archives (archive_name.h),
// every ZIP there, and each split set once, under the name that opens it.
#include <optional>
#include <string>
#include <vector>

#include "host/engine/split/split_volumes.h"

namespace tavik::search {

struct TSearchArchive {
    std::string path;               // what the hits name and what opens the archive
    std::optional<TSplitSet> set;   // the volumes, when it is a split set
    bool namedAsArchive = true;     // false: a file that may or may not be a ZIP
    std::string failure;            // set when the archive cannot be read at all (a volume missing)
};

// The archives of dir, sorted by name. Hidden files (the temporary files of a running archive
// run) are left out. Throws EOlvex when the directory cannot be read.
std::vector<TSearchArchive> FindSearchArchives(const std::string& dir);

}  // namespace tavik::search
