#pragma once
// Which files a related_file row may bring into an archive run: only regular files below a host
// directory other than ARCHIV. The rows are written by any client of the host database, so a
// row may name the database, a file directly under the root, a directory, an archive in ARCHIV
// or a link; those stay where they are.
#include <string>
#include <vector>

namespace tavik {
class TTavikFSNames;
}

namespace vendrask {

struct THostPlaces {
    std::string Root;
    std::string Database;
    std::string ArchivDir;
    std::vector<std::string> Directories;  // the host directories other than ARCHIV
};

// The places of the installation that names describes.
THostPlaces HostPlacesOf(const tavik::TTavikFSNames& names);

enum class TRelatedVerdict { Packed, Missing, Refused };

struct TRelatedCheck {
    TRelatedVerdict Verdict = TRelatedVerdict::Refused;
    std::string Why;  // for Refused: a German sentence that says why the file stays
};

// name is the relative name from the row, path the absolute path it stands for. Missing: there
// is nothing of that name (the row is stale, which is no fault).
TRelatedCheck CheckRelatedFile(const std::string& name, const std::string& path, const THostPlaces& places);

// The report of a refused related file.
std::string RelatedRefusal(const std::string& name, const std::string& owner, const std::string& why);

}  // namespace vendrask
