#include "host/services/vendrask_folder.h"

#include "host/services/fs_names.h"
#include "host/services/paths.h"

namespace tavik {

std::string VendraskFolderIn(const std::string& archivDir) { return ConcatPathNames(archivDir, kVendraskFolderName); }

bool IsInVendraskFolder(const std::string& path, const std::string& archivDir) {
    return IsSameOrBelow(path, VendraskFolderIn(archivDir));
}

}  // namespace tavik
