#include "task/related_files.h"

#include <sys/stat.h>

#include <cerrno>

#include "host/services/fs_names.h"
#include "host/services/host_installation.h"
#include "host/services/paths.h"
#include "host/services/system_error.h"

namespace vendrask {

using namespace tavik;

namespace {

// Relative, and not climbing: no empty, "." or ".." component.
bool IsPlainRelativeName(const std::string& name) {
    if (name.empty() || name.front() == '/') return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find('/', start);
        if (end == std::string::npos) end = name.size();
        const std::size_t length = end - start;
        if (length == 0 || name.compare(start, length, ".") == 0 || name.compare(start, length, "..") == 0) return false;
        start = end + 1;
    }
    return true;
}

TRelatedCheck Refused(std::string why) { return {TRelatedVerdict::Refused, std::move(why)}; }

// The shortest host directory that holds path: from there every directory on the way is checked.
const std::string* Holder(const std::string& path, const THostPlaces& places) {
    const std::string* holder = nullptr;
    for (const auto& directory : places.Directories)
        if (path != directory && IsSameOrBelow(path, directory) && (!holder || directory.size() < holder->size()))
            holder = &directory;
    return holder;
}

}  // namespace

THostPlaces HostPlacesOf(const TTavikFSNames& names) {
    THostPlaces places;
    places.Root = names.Root();
    places.Database = ConcatPathNames(places.Root, kDatabaseName);
    places.ArchivDir = GetDirOlvexByName("ARCHIV", "", true);
    for (const auto& directory : names.Directories())
        if (!SameText(directory.Name, "ARCHIV")) places.Directories.push_back(directory.Path);
    return places;
}

TRelatedCheck CheckRelatedFile(const std::string& name, const std::string& path, const THostPlaces& places) {
    if (!IsPlainRelativeName(name))
        return Refused("Der Name ist absolut oder leer, oder er enthält „.“ oder „..“ als Teil.");
    if (path == places.Database) return Refused("Das ist die Olvex-Datenbank.");
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return {TRelatedVerdict::Missing, ""};
        return Refused(std::string("Sie lässt sich nicht prüfen (") + tavik::SystemErrorText(errno) + ").");
    }
    if (S_ISLNK(info.st_mode)) return Refused("Das ist eine symbolische Verknüpfung.");
    if (S_ISDIR(info.st_mode)) return Refused("Das ist ein Verzeichnis, keine Datei.");
    if (!S_ISREG(info.st_mode)) return Refused("Das ist keine gewöhnliche Datei.");
    if (ExtractFileDir(path) == places.Root)
        return Refused("Die Datei liegt direkt im Olvex-Stammverzeichnis, in keinem Verzeichnis der Installation.");
    if (IsSameOrBelow(path, places.ArchivDir)) return Refused("Die Datei liegt im Archivverzeichnis ARCHIV.");
    const std::string* holder = Holder(path, places);
    if (!holder)
        return Refused("Die Datei liegt in keinem Verzeichnis der Olvex-Installation (Tabelle host_directory).");
    // No directory below the host directory down to the file may be a link: through one, the
    // file would lie anywhere. The host directory itself may be one (moved elsewhere).
    for (std::string directory = ExtractFileDir(path);; directory = ExtractFileDir(directory)) {
        const bool top = directory == *holder;
        if ((top ? stat(directory.c_str(), &info) : lstat(directory.c_str(), &info)) != 0 || !S_ISDIR(info.st_mode))
            return Refused("Der Weg zur Datei führt über eine symbolische Verknüpfung oder ist nicht lesbar.");
        if (top) break;
    }
    return {TRelatedVerdict::Packed, ""};
}

std::string RelatedRefusal(const std::string& name, const std::string& owner, const std::string& why) {
    return "„" + name + "“, laut Tabelle related_file eine zugehörige Datei von „" + owner +
           "“, wird weder archiviert noch gelöscht: " + why + " Bitte die Tabelle related_file prüfen.";
}

}  // namespace vendrask
