// The scan: walks the host directories and fills the archive and delete candidate tables.
#include <algorithm>

#include "host/services/db_connector.h"
#include "host/services/dir_explorer.h"
#include "host/services/exceptions.h"
#include "host/services/fs_names.h"
#include "host/services/paths.h"
#include "host/services/search_rec.h"
#include "host/services/tavik_info.h"
#include "task/archiv_leftovers.h"
#include "task/candidate_rules.h"
#include "task/dmarchivu.h"

namespace vendrask {

using namespace tavik;

namespace {

// Related names come from the host database; one that is absolute or climbs out of the root
// would make the run pack and delete a file outside the host's directories.
bool IsSafeRelativeName(const std::string& name) {
    if (name.empty() || name.front() == '/') return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        const std::size_t end = std::min(name.find('/', start), name.size());
        if (name.compare(start, end - start, "..") == 0) return false;
        start = end + 1;
    }
    return true;
}

bool ContainsText(const std::vector<std::string>& list, const std::string& text) {
    return std::any_of(list.begin(), list.end(), [&](const std::string& item) { return SameText(item, text); });
}

bool IsBelow(const std::string& path, const std::string& directory) {
    return path == directory ||
           (path.size() > directory.size() && path.compare(0, directory.size(), directory) == 0 &&
            path[directory.size()] == '/');
}

struct TCandidateColumn {
    const char* Caption;
    int Kind;
    int TCandidateColumns::*Recorded;
};

const TCandidateColumn kCandidateColumns[] = {
    {"Name", vrkText, &TCandidateColumns::Name},         {"Größe", vrkInt64, &TCandidateColumns::Groesse},
    {"Datum", vrkDate, &TCandidateColumns::Datum},       {"Uhrzeit", vrkTime, nullptr},
    {"Notiz", vrkText, nullptr},                         {"Index", vrkInteger, &TCandidateColumns::Index},
    {"AbsPath", vrkText, &TCandidateColumns::AbsPath},   {"RelPath", vrkText, &TCandidateColumns::RelPath},
    {"FileName", vrkText, &TCandidateColumns::FileName}, {"Attribute", vrkInteger, &TCandidateColumns::Attribute},
};

// The ten columns of a candidate table; records their positions when record is given.
std::unique_ptr<TVRList> NewCandidateTable(TCandidateColumns* record) {
    auto table = std::make_unique<TVRList>();
    for (const auto& spec : kCandidateColumns) {
        TVRColumn& column = table->ColumnAdd();
        column.Caption = spec.Caption;
        column.Kind = spec.Kind;
        if (record && spec.Recorded) record->*spec.Recorded = table->GetColumnCount() - 1;
    }
    return table;
}

}  // namespace

TVRList* TdmOlvexArchiv::GetSystemArch() {
    return Guarded("TdmOlvexArchiv.GetSystemArch", static_cast<TVRList*>(nullptr), [&] {
        if (!FSystemArch) FSystemArch = NewCandidateTable(&FColumns);
        return FSystemArch.get();
    });
}

TVRList* TdmOlvexArchiv::GetSystemDel() {
    return Guarded("TdmOlvexArchiv.GetSystemDel", static_cast<TVRList*>(nullptr), [&] {
        if (!FSystemDel) FSystemDel = NewCandidateTable(nullptr);
        return FSystemDel.get();
    });
}

void TdmOlvexArchiv::ExploreSystem() {
    Guarded("TdmOlvexArchiv.ExploreSystem", [&] {
        GetSystemArch()->RowsClear();
        GetSystemDel()->RowsClear();
        FScanToday = DateOf(Clock());
        FScanArchivDir = GetDirOlvexByName("ARCHIV", "", true);

        TDirExplorer walker;
        const auto addArch = [this](TDirExplorer& sender, const TSearchRec& rec, const std::string& dir, int level,
                                    bool& continueWalk) { ExploreSystem_AddArch(sender, rec, dir, level, continueWalk); };
        walker.OnFileFound = addArch;
        walker.OnDirectoryFound = addArch;

        const auto& names = GetTavikFSNames()->Names();
        const std::size_t count = names.size();
        for (std::size_t i = 0; i < count; ++i) {
            const std::string& name = names[i];
            if (SameText(name, "ARCHIV")) continue;
            if (!AutoDirs.empty() && !ContainsText(AutoDirs, UpperCaseAscii(name))) continue;
            walker.StartDir = GetDirOlvexByName(name, "", true);
            walker.Execute();
        }

        if (AutoDirs.empty() || ContainsText(AutoDirs, "ARCHIV")) {
            const auto addDel = [this](TDirExplorer& sender, const TSearchRec& rec, const std::string& dir, int level,
                                       bool& continueWalk) { ExploreSystem_AddDel(sender, rec, dir, level, continueWalk); };
            walker.OnFileFound = addDel;
            walker.OnDirectoryFound = addDel;
            walker.StartDir = FScanArchivDir;
            walker.Execute();
        }
    });
}

TdmOlvexArchiv::TLookup TdmOlvexArchiv::LookUp(const TSearchRec& rec, const std::string& dir) {
    TLookup lookup;
    lookup.Root = OlvexRoot();
    const std::string directory = dir.size() > lookup.Root.size() ? dir.substr(lookup.Root.size()) : std::string();
    lookup.Rel = ConcatPathNames(directory, rec.Name);
    lookup.Time = rec.Time;
    TRObjTab* table = GetROBJTab();
    if (!table) throw EOlvex("Die Objekttabelle der Olvex-Installation ist nicht verfügbar.");
    lookup.Object = table->GetObjektRTypExistByName(lookup.Rel, FRTyp);
    return lookup;
}

void TdmOlvexArchiv::ExploreSystem_AddArch(TDirExplorer&, const TSearchRec& rec, const std::string& dir, int,
                                           bool& continueWalk) {
    continueWalk = true;
    Guarded("TdmOlvexArchiv.ExploreSystem_AddArch", [&] {
        // An ARCHIV that lies inside another host directory is never packed into itself.
        if (IsBelow(dir, FScanArchivDir)) return;
        const TLookup lookup = LookUp(rec, dir);
        if (!DecideArchive(lookup.Object, lookup.Time, FScanToday).Candidate) return;
        const std::string note = ArchiveNote(lookup.Object);

        std::vector<std::string> related;
        if (!GetDBConnector().GetRelatedFiles(lookup.Rel, related)) related = {lookup.Rel};
        TVRList& table = *GetSystemArch();
        for (const auto& name : related) {
            if (!IsSafeRelativeName(name)) {
                TavikInfo().RegisterFailure("TdmOlvexArchiv.ExploreSystem_AddArch",
                                            "Die zugehörige Datei „" + name + "“ von „" + lookup.Rel +
                                                "“ liegt nicht unter dem Olvex-Stammverzeichnis und wird übergangen.");
                continue;
            }
            const std::string abs = ConcatPathNames(lookup.Root, name);
            TSearchRec found;
            if (name == lookup.Rel) {
                found = rec;  // the walker has just looked at this very file
            } else {
                // A related file that is not there (or is no regular file) cannot be archived.
                if (!FindFirst(abs, faAnyFile, found)) continue;
                FindClose(found);
            }
            // The row names the directory that holds the related file: packing and deleting
            // read AbsPath and FileName together.
            const std::string holder = ExtractFileDir(abs);
            table.RowAdd({GetTavikFSNames()->GetTavikFSName(abs), found.Size, lookup.Time, lookup.Time, note,
                          static_cast<std::int32_t>(table.GetRowCount()), holder,
                          GetTavikFSNames()->GetTavikFSName(holder), found.Name,
                          static_cast<std::int32_t>(found.Attr)});
        }
    });
}

void TdmOlvexArchiv::ExploreSystem_AddDel(TDirExplorer&, const TSearchRec& rec, const std::string& dir, int,
                                          bool& continueWalk) {
    continueWalk = true;
    Guarded("TdmOlvexArchiv.ExploreSystem_AddDel", [&] {
        // The unfinished archive of a run going on now is no candidate; the next archive run
        // removes it when it is left over from a killed one.
        if (dir == FScanArchivDir && IsArchivRunLeftover(rec.Name)) return;
        const TLookup lookup = LookUp(rec, dir);
        if (!DecideDelete(lookup.Object, lookup.Time, FScanToday).Candidate) return;
        const std::string note = DeleteNote(lookup.Object);
        TVRList& table = *GetSystemDel();
        table.RowAdd({ConcatPathNames(lookup.Root, lookup.Rel), rec.Size, lookup.Time, lookup.Time, note,
                      static_cast<std::int32_t>(table.GetRowCount()), dir, GetTavikFSNames()->GetTavikFSName(dir),
                      rec.Name, static_cast<std::int32_t>(rec.Attr)});
    });
}

}  // namespace vendrask
