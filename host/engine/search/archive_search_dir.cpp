#include "host/engine/search/archive_search_dir.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>

#include "host/services/archive_name.h"
#include "host/services/digits.h"
#include "host/services/exceptions.h"
#include "host/services/system_error.h"

namespace tavik::archsearch {

namespace {

namespace fs = std::filesystem;

bool EndsWithNoCase(const std::string& text, const char* suffix) {
    const std::size_t length = std::strlen(suffix);
    return text.size() > length && ::strncasecmp(text.c_str() + text.size() - length, suffix, length) == 0;
}

// "name.z01" ... : the name of the set's last volume "name.zip" (in the case of the 'z'), or
// empty when file is no volume.
std::string VolumeSetName(const std::string& file) {
    const std::size_t dot = file.rfind('.');
    if (dot == std::string::npos || dot == 0 || file.size() - dot < 4) return {};
    if (file[dot + 1] != 'z' && file[dot + 1] != 'Z') return {};
    if (!AllDigits(std::string_view(file).substr(dot + 2))) return {};
    return file.substr(0, dot) + (file[dot + 1] == 'Z' ? ".ZIP" : ".zip");
}

// "name.zip.001" ... : "name.zip", or empty when file is no piece.
std::string PieceSetName(const std::string& file) {
    const std::size_t dot = file.rfind('.');
    if (dot == std::string::npos || file.size() - dot < 4 || !AllDigits(std::string_view(file).substr(dot + 1))) return {};
    const std::string stem = file.substr(0, dot);
    return EndsWithNoCase(stem, ".zip") ? stem : std::string();
}

std::string Join(const std::string& dir, const std::string& file) {
    if (dir.empty()) return file;
    return dir.back() == '/' ? dir + file : dir + "/" + file;
}

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
        const std::string path = Join(dir, file);
        if (const std::string setName = VolumeSetName(file); !setName.empty()) {
            // A volume of name.zip: the set is taken with name.zip; a volume without it is a
            // set whose last volume is missing, reported once.
            if (present.count(setName) || present.count(setName.substr(0, setName.size() - 4) + ".zip") ||
                present.count(setName.substr(0, setName.size() - 4) + ".ZIP"))
                continue;
            if (!sets.insert(setName).second) continue;
            archives.push_back(SetArchive(path, true));
            continue;
        }
        if (const std::string setName = PieceSetName(file); !setName.empty()) {
            if (!sets.insert(setName).second) continue;
            // Opened by its first piece, whichever piece is found first.
            const std::string first = Join(dir, setName + ".001");
            archives.push_back(SetArchive(present.count(setName + ".001") ? first : path, true));
            continue;
        }
        if (EndsWithNoCase(file, ".zip")) {
            // Only a first volume beside it makes it a set; an ordinary archive that claims
            // to be the last of several volumes is reported when it is read.
            const std::string stem = file.substr(0, file.size() - 4);
            if (present.count(stem + ".z01") || present.count(stem + ".Z01")) {
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

}  // namespace tavik::archsearch
