#include "host/engine/search/archive_search_dir.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "host/engine/split/volume_names.h"
#include "host/services/archive_name.h"
#include "host/services/exceptions.h"
#include "host/services/system_error.h"
#include "host/services/paths.h"

namespace tavik::search {

namespace {

namespace fs = std::filesystem;

TSearchArchive SetArchive(const std::string& path, bool namedAsArchive) {
    TSearchArchive archive;
    archive.path = path;
    archive.namedAsArchive = namedAsArchive;
    try {
        archive.set = FindSplitSet(path);
        if (archive.set && archive.set->kind == TSplitSet::Kind::Zip) archive.path = archive.set->volumes.back();
    } catch (const EOlvex& error) {
        archive.failure = error.what();
    }
    return archive;
}

}  // namespace

std::vector<TSearchArchive> FindSearchArchives(const std::string& dir) {
    std::vector<std::string> files;
    std::error_code error;
    fs::directory_iterator it(dir, error);
    if (error)
        throw EOlvex("Das Verzeichnis „" + dir + "“ kann nicht gelesen werden (" + SystemErrorText(error.value()) +
                     "). Bitte den Pfad und die Rechte prüfen.");
    for (const fs::directory_iterator end; it != end; it.increment(error)) {
        if (error) break;
        std::string name = it->path().filename().string();
        std::error_code typeError;
        if (name.empty() || name[0] == '.' || !it->is_regular_file(typeError)) continue;
        files.push_back(std::move(name));
    }
    if (error)
        throw EOlvex("Das Verzeichnis „" + dir + "“ kann nicht vollständig gelesen werden (" + SystemErrorText(error.value()) + ").");
    std::sort(files.begin(), files.end());
    const std::set<std::string> present(files.begin(), files.end());

    std::vector<TSearchArchive> archives;
    std::set<std::string> sets;  // the byte-split and volume sets already taken
    for (const std::string& file : files) {
        const std::string path = ConcatPathNames(dir, file);
        const std::optional<TVolumeName> volume = ParseVolumeName(file);
        if (volume && volume->kind == TVolumeName::Kind::Volume) {
            // A volume of name.zip: the set is taken with name.zip; a volume without it is a
            // set whose last volume is missing, reported once.
            const std::string setName = volume->stem + ZipExtension(volume->upperCase);
            if (present.count(setName) || present.count(volume->stem + ZipExtension(false)) ||
                present.count(volume->stem + ZipExtension(true)))
                continue;
            if (!sets.insert(setName).second) continue;
            archives.push_back(SetArchive(path, true));
            continue;
        }
        if (volume && volume->kind == TVolumeName::Kind::Piece) {
            const std::string& setName = volume->stem;
            if (!sets.insert(setName).second) continue;
            // Opened by its first piece, whichever piece is found first.
            const std::string first = setName + PieceExtension(1);
            archives.push_back(SetArchive(present.count(first) ? ConcatPathNames(dir, first) : path, true));
            continue;
        }
        if (volume && volume->kind == TVolumeName::Kind::Zip) {
            // Only a first volume beside it makes it a set; an ordinary archive that claims
            // to be the last of several volumes is reported when it is read.
            if (present.count(volume->stem + VolumeExtension(1, false)) ||
                present.count(volume->stem + VolumeExtension(1, true))) {
                archives.push_back(SetArchive(path, true));
            } else {
                TSearchArchive archive;
                archive.path = path;
                archives.push_back(std::move(archive));
            }
            continue;
        }
        TSearchArchive archive;
        archive.path = path;
        archive.namedAsArchive = IsArchiveName(file);
        archives.push_back(std::move(archive));
    }
    std::sort(archives.begin(), archives.end(),
              [](const TSearchArchive& a, const TSearchArchive& b) { return a.path < b.path; });
    return archives;
}

}  // namespace tavik::search
