#pragma once
// The one hidden folder of ARCHIV that holds vendrask's own files (the journal among them).
// Scans never walk it, no run deletes anything in it.
#include <string>

namespace tavik {

inline constexpr const char* kVendraskFolderName = ".vendrask";

// archivDir/.vendrask
std::string VendraskFolderIn(const std::string& archivDir);

// Whether path is that folder of archivDir or lies below it (compared as written, no lookup).
bool IsInVendraskFolder(const std::string& path, const std::string& archivDir);

}  // namespace tavik
