#include "host/engine/search/archive_restore.h"

#include <sys/stat.h>

#include <map>
#include <optional>
#include <tuple>

#include "host/engine/extract/entry_name.h"
#include "host/services/exceptions.h"
#include "host/services/fs_names.h"
#include "host/services/host_installation.h"
#include "host/services/paths.h"

namespace tavik {

namespace {

std::string Joined(const std::vector<std::string>& parts) {
    std::string text;
    for (const std::string& part : parts) {
        if (!text.empty()) text += '/';
        text += part;
    }
    return text;
}

std::vector<std::string> CheckedParts(const std::string& entryName, bool madeOnUnix) {
    std::vector<std::string> parts;
    const std::string reason = CheckEntryName(entryName, parts, madeOnUnix);
    if (!reason.empty()) throw EOlvex(reason, TErrorKind::RefusedEntry);
    return parts;
}

// The database and the files SQLite keeps beside it.
bool IsDatabaseFile(const std::string& path) {
    const std::string database = HostDatabasePath();
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
        if (path == database + suffix) return true;
    return false;
}

// Holds the handlers and targets of archiv that a restore changes, and puts them back.
class TExtractSettings {
public:
    explicit TExtractSettings(TArchivFormatAbstract& archiv)
        : FArchiv(archiv),
          FDir(archiv.ExtractDir),
          FBase(archiv.ExtractBase),
          FStrip(archiv.ExtractStripParts),
          FConflict(archiv.OnConflict) {}
    TExtractSettings(const TExtractSettings&) = delete;
    TExtractSettings& operator=(const TExtractSettings&) = delete;
    ~TExtractSettings() {
        FArchiv.ExtractDir = FDir;
        FArchiv.ExtractBase = FBase;
        FArchiv.ExtractStripParts = FStrip;
        FArchiv.OnConflict = FConflict;
    }
    const TConflictEvent& Conflict() const { return FConflict; }

private:
    TArchivFormatAbstract& FArchiv;
    std::string FDir;
    std::string FBase;
    std::size_t FStrip;
    TConflictEvent FConflict;
};

}  // namespace

TRestorePlace OriginalRestorePlace(const TTavikFSNames& names, const std::string& entryName, bool madeOnUnix) {
    const std::vector<std::string> parts = CheckedParts(entryName, madeOnUnix);
    const std::string name = Joined(parts);
    const std::string path = names.GetTavikFSPath(name);
    if (IsDatabaseFile(path))
        throw EOlvex("Der Name fällt auf die Datenbank der Olvex-Installation; der Eintrag wird nicht "
                     "zurückgelegt. Entpacken Sie ihn bei Bedarf in ein anderes Verzeichnis.",
                     TErrorKind::RefusedEntry);
    // The innermost host directory that holds the path: the archive run only takes files from these.
    std::vector<TTavikFSDirectory> directories = names.Directories();
    directories.push_back({"stadata", ConcatPathNames(names.Root(), "stadata"), true});
    const TTavikFSDirectory* holder = nullptr;
    for (const TTavikFSDirectory& directory : directories)
        if (path != directory.Path && IsSameOrBelow(path, directory.Path) &&
            (holder == nullptr || directory.Path.size() > holder->Path.size()))
            holder = &directory;
    if (holder == nullptr)
        throw EOlvex("Der Name liegt in keinem Verzeichnis der Olvex-Installation (Tabelle host_directory); der "
                     "Eintrag wird nicht an einen Platz außerhalb zurückgelegt. Entpacken Sie ihn bei Bedarf in ein "
                     "gewähltes Verzeichnis.",
                     TErrorKind::RefusedEntry);
    const std::string rest = holder->Path == "/" ? path.substr(1) : path.substr(holder->Path.size() + 1);
    const std::vector<std::string> restParts = CheckedParts(rest, madeOnUnix);
    if (restParts.size() >= parts.size() ||
        !std::equal(restParts.begin(), restParts.end(), parts.end() - static_cast<std::ptrdiff_t>(restParts.size())))
        throw EOlvex("Der Platz des Eintrags lässt sich nicht eindeutig bestimmen; er wird nicht zurückgelegt.",
                     TErrorKind::RefusedEntry);
    struct stat st {};
    if (::stat(holder->Path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        throw EOlvex("Das Verzeichnis „" + holder->Name + "“ (" + holder->Path +
                     ") ist nicht da; ist es eingehängt? Der Eintrag wird erst zurückgelegt, wenn es erreichbar ist.");
    // From the root (or the configured path of a host directory outside it) to the directory, a
    // link put in the place of a folder would lead elsewhere: it is never followed.
    const std::string base = IsSameOrBelow(holder->Path, names.Root()) ? names.Root() : holder->Path;
    return {holder->Path, parts.size() - restParts.size(), path, base};
}

TRestorePlace ChosenRestorePlace(const std::string& directory, const std::string& entryName, bool madeOnUnix) {
    const std::vector<std::string> parts = CheckedParts(entryName, madeOnUnix);
    return {directory, 0, ConcatPathNames(directory, Joined(parts)), {}};
}

std::string ListedEntryName(const TFileInfoItem& item) {
    std::string name = ConcatPathNames(item.RelDir, item.FileName);
    if ((item.Attributes & faDirectory) != 0) name += "/";
    return name;
}

std::string RestorePlaceKey(const TTavikFSNames* names, const std::string& entryName, bool madeOnUnix) {
    std::vector<std::string> parts;
    if (!CheckEntryName(entryName, parts, madeOnUnix).empty()) return entryName;
    if (names != nullptr) {
        const std::string path = names->GetTavikFSPath(Joined(parts));
        if (!path.empty()) return path;
    }
    return Joined(parts);
}

std::vector<std::pair<int, int>> SameNameEntries(const TArchivFormatAbstract& archiv, const std::vector<int>& indexes,
                                                 const TTavikFSNames* names) {
    std::vector<std::pair<int, int>> pairs;
    std::map<std::string, int> first;
    for (const int index : indexes) {
        if (index < 0 || index >= archiv.GetArchivItemsCount()) continue;
        std::vector<std::string> parts;
        const TFileInfoItem& item = archiv.GetArchivItem(index);
        const std::string name = ListedEntryName(item);
        if (!CheckEntryName(name, parts, item.MadeOnUnix).empty()) continue;
        const auto [at, inserted] = first.emplace(RestorePlaceKey(names, name, item.MadeOnUnix), index);
        if (!inserted && at->second != index) pairs.emplace_back(at->second, index);
    }
    return pairs;
}

TRestoreResult RestoreEntries(TArchivFormatAbstract& archiv, const std::vector<int>& indexes,
                              const TTavikFSNames* names, const std::string& chosen) {
    for (const int index : indexes)
        if (index < 0 || index >= archiv.GetArchivItemsCount())
            throw EOlvex("Das Archiv hat keinen Eintrag Nr. " + std::to_string(index) + ".");

    TRestoreResult result;
    // One extraction per target directory and strip, in the order the entries were given.
    std::map<std::pair<std::string, std::size_t>, std::vector<int>> groups;
    std::map<std::string, std::string> bases;
    std::vector<std::pair<std::string, std::size_t>> order;
    for (const int index : indexes) {
        const TFileInfoItem& item = archiv.GetArchivItem(index);
        const std::string name = ListedEntryName(item);
        try {
            const TRestorePlace place = names != nullptr ? OriginalRestorePlace(*names, name, item.MadeOnUnix)
                                                         : ChosenRestorePlace(chosen, name, item.MadeOnUnix);
            auto key = std::make_pair(place.directory, place.strip);
            bases[place.directory] = place.base;
            auto& group = groups[key];
            if (group.empty()) order.push_back(key);
            group.push_back(index);
        } catch (const EOlvex& error) {
            result.refused.push_back({name, error.what()});
        }
    }

    const TExtractSettings settings(archiv);
    std::optional<TArchivConflictAnswer> forAll;
    if (settings.Conflict())
        archiv.OnConflict = [&forAll, &settings](TArchivFormatAbstract& sender, const std::string& path) {
            if (forAll) return *forAll;
            const TArchivConflictAnswer answer = settings.Conflict()(sender, path);
            if (answer == TArchivConflictAnswer::YesAll || answer == TArchivConflictAnswer::NoAll) forAll = answer;
            return answer;
        };
    for (const auto& key : order) {
        const std::vector<int>& group = groups[key];
        archiv.ExtractDir = key.first;
        archiv.ExtractBase = bases[key.first];
        archiv.ExtractStripParts = key.second;
        if (archiv.ExecuteArchivExtract(group)) {
            result.restored += group.size();
            continue;
        }
        result.extracted = false;
        if (result.error.empty()) result.error = archiv.LastError();
        if (archiv.LastAborted()) {
            result.aborted = true;
            break;
        }
    }
    return result;
}

}  // namespace tavik
