// The scan: walks the host directories and fills the archive and delete candidate tables.
#include <algorithm>

#include "host/services/db_connector.h"
#include "host/services/dir_explorer.h"
#include "host/services/exceptions.h"
#include "host/services/fs_names.h"
#include "host/services/host_installation.h"
#include "host/services/paths.h"
#include "host/services/search_rec.h"
#include "host/services/tavik_info.h"
#include "host/services/vendrask_folder.h"
#include "task/archiv_leftovers.h"
#include "task/candidate_rules.h"
#include "task/dmarchivu.h"
#include "task/own_archive.h"
#include "task/related_files.h"

namespace vendrask {

using namespace tavik;

namespace {

bool ContainsText(const std::vector<std::string>& list, const std::string& text) {
    return std::any_of(list.begin(), list.end(), [&](const std::string& item) { return SameText(item, text); });
}

// The start-up refuses such an installation; a scan never walks the database, ARCHIV or the
// installation all the same, nor where a directory's link has come to point since.
bool IsRefusedHostDirectory(const std::string& name, const std::string& directory, const std::string& root,
                            const std::string& archiv) {
    const std::string refusal = HostDirectoryRefusal(name, directory, root, archiv);
    if (refusal.empty()) return false;
    TavikInfo().RegisterFailure("TdmOlvexArchiv.ExploreSystem", refusal + " Es wird nicht durchsucht.");
    return true;
}

struct TCandidateColumn {
    const char* Caption;
    int Kind;
    int TCandidateColumns::*Recorded;
};

const TCandidateColumn kCandidateColumns[] = {
    {"Name", vrkText, &TCandidateColumns::Name},         {"Größe", vrkInt64, &TCandidateColumns::Groesse},
    {"Datum", vrkDate, &TCandidateColumns::Datum},       {"Uhrzeit", vrkTime, nullptr},
    {"Notiz", vrkText, &TCandidateColumns::Notiz},       {"Index", vrkInteger, &TCandidateColumns::Index},
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
    const auto measure = FProfile.Measure("Durchsuchen");
    Guarded("TdmOlvexArchiv.ExploreSystem", [&] {
        GetSystemArch()->RowsClear();
        GetSystemDel()->RowsClear();
        FScanToday = DateOf(Clock());
        FScanArchivDir = GetDirOlvexByName("ARCHIV", "", true);
        FScanRefused.clear();
        FScanGroups.Clear();
        FScanKeeping.reset();
        FScanHold = {};
        TTavikFSNames* fsNames = GetTavikFSNames();
        if (!fsNames) throw EOlvex("Die Verzeichnisse der Olvex-Installation sind nicht bekannt.");
        FScanPlaces = HostPlacesOf(*fsNames);

        TDirExplorer walker;
        // A host directory moved elsewhere and left as a link is walked where it is now; its
        // files keep their names below the directory as the installation names it.
        walker.FollowStartLink = true;
        const auto addArch = [this](TDirExplorer& sender, const TSearchRec& rec, const std::string& dir, int level,
                                    bool& continueWalk) { ExploreSystem_AddArch(sender, rec, dir, level, continueWalk); };
        walker.OnFileFound = addArch;
        walker.OnDirectoryFound = addArch;

        const auto& names = fsNames->Names();
        const std::size_t count = names.size();
        for (std::size_t i = 0; i < count; ++i) {
            const std::string& name = names[i];
            if (SameText(name, "ARCHIV")) continue;
            if (!AutoDirs.empty() && !ContainsText(AutoDirs, UpperCaseAscii(name))) continue;
            walker.StartDir = GetDirOlvexByName(name, "", true);
            if (IsRefusedHostDirectory(name, walker.StartDir, FScanPlaces.Root, FScanArchivDir)) continue;
            walker.Execute();
        }

        if ((AutoDirs.empty() || ContainsText(AutoDirs, "ARCHIV")) &&
            !IsRefusedHostDirectory("ARCHIV", FScanArchivDir, FScanPlaces.Root, FScanArchivDir)) {
            const auto addDel = [this](TDirExplorer& sender, const TSearchRec& rec, const std::string& dir, int level,
                                       bool& continueWalk) { ExploreSystem_AddDel(sender, rec, dir, level, continueWalk); };
            walker.OnFileFound = addDel;
            walker.OnDirectoryFound = addDel;
            walker.StartDir = FScanArchivDir;
            // vendrask's own folder (the journal) is no candidate of any kind.
            walker.SkipDirectory = VendraskFolderIn(FScanArchivDir);
            FScanKeeping = TArchivKeeping::ForLooking(FScanArchivDir, BerlinYearNow());
            FScanHold = FScanKeeping->Hold();
            walker.Execute();
        }
    });
}

TdmOlvexArchiv::TLookup TdmOlvexArchiv::LookUp(const TSearchRec& rec, const std::string& dir) {
    TLookup lookup;
    lookup.Root = OlvexRoot();
    TTavikFSNames* names = GetTavikFSNames();
    if (!names) throw EOlvex("Die Verzeichnisse der Olvex-Installation sind nicht bekannt.");
    auto rel = names->FindTavikFSName(ConcatPathNames(dir, rec.Name));
    if (!rel)
        throw EOlvex("„" + ConcatPathNames(dir, rec.Name) + "“ liegt in keinem Verzeichnis der Olvex-Installation.");
    lookup.Rel = std::move(*rel);
    lookup.Time = rec.Time;
    TRObjTab* table = GetROBJTab();
    if (!table) throw EOlvex("Die Objekttabelle der Olvex-Installation ist nicht verfügbar.");
    const auto measure = FProfile.Measure("davon Objekttabelle");
    lookup.Object = table->GetObjektRTypExistByName(lookup.Rel, FRTyp);
    return lookup;
}

void TdmOlvexArchiv::ExploreSystem_AddArch(TDirExplorer&, const TSearchRec& rec, const std::string& dir, int,
                                           bool& continueWalk) {
    continueWalk = true;
    Guarded("TdmOlvexArchiv.ExploreSystem_AddArch", [&] {
        // An ARCHIV that lies inside another host directory is never packed into itself, and
        // nothing directly under the root is ever packed.
        if (IsSameOrBelow(dir, FScanArchivDir) || dir == FScanPlaces.Root) return;
        const TLookup lookup = LookUp(rec, dir);
        if (!DecideArchive(lookup.Object, lookup.Time, FScanToday).Candidate) return;
        const std::string note = ArchiveNote(lookup.Object);

        std::vector<std::string> related;
        bool listed = false;
        {
            const auto measure = FProfile.Measure("davon Objekttabelle");
            listed = GetDBConnector().GetRelatedFiles(lookup.Rel, related);
        }
        if (!listed) related = {lookup.Rel};
        std::vector<std::string> group;  // the files of the list that became rows
        TTavikFSNames& names = *GetTavikFSNames();
        TVRList& table = *GetSystemArch();
        // The rows added stay when a later file of the list fails; they stay a group all the same.
        struct TGroupOnExit {
            TFileGroups& Groups;
            const bool Listed;
            const std::vector<std::string>& Paths;
            ~TGroupOnExit() {
                if (Listed) Guarded("TdmOlvexArchiv.ExploreSystem_AddArch", [&] { Groups.Add(Paths); });
            }
        } groupOnExit{FScanGroups, listed, group};
        for (const auto& name : related) {
            TSearchRec found;
            std::string holder;
            if (name == lookup.Rel) {
                // The file the walker has just looked at, where it really is.
                found = rec;
                holder = dir;
            } else {
                const std::string abs = names.GetTavikFSPath(name);
                const TRelatedCheck check = CheckRelatedFile(name, abs, FScanPlaces);
                if (check.Verdict == TRelatedVerdict::Missing) continue;
                if (check.Verdict == TRelatedVerdict::Refused) {
                    if (FScanRefused.insert(name).second)
                        TavikInfo().RegisterFailure("TdmOlvexArchiv.ExploreSystem_AddArch",
                                                    RelatedRefusal(name, lookup.Rel, check.Why));
                    continue;
                }
                if (!FindFirst(abs, faAnyFile & ~faDirectory, found)) continue;
                FindClose(found);
                holder = ExtractFileDir(abs);
            }
            // The row names the directory that holds the related file: packing and deleting
            // read AbsPath and FileName together, the archive entry is named by RelPath.
            const auto relDir = names.FindTavikFSName(holder);
            if (!relDir) throw EOlvex("„" + holder + "“ hat keinen Namen in der Olvex-Installation.");
            table.RowAdd({ConcatPathNames(*relDir, found.Name), found.Size, lookup.Time, lookup.Time, note,
                          static_cast<std::int32_t>(table.GetRowCount()), holder, *relDir, found.Name,
                          static_cast<std::int32_t>(found.Attr)});
            group.push_back(ConcatPathNames(holder, found.Name));
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
        // The run's own archives hold the only copy of what they took: without a rule that
        // names them they are no unknown files.
        const bool own = !lookup.Object.Exists && IsOwnArchive(dir, FScanArchivDir, rec.Name);
        if (!DecideDelete(lookup.Object, lookup.Time, FScanToday, own).Candidate) return;
        std::string note = DeleteNote(lookup.Object);
        // The delete run keeps it all the same; the note says until when and why.
        if (FScanKeeping)
            if (const TKeepVerdict kept = FScanKeeping->Judge(ConcatPathNames(dir, rec.Name)); kept.Kept())
                note = kept.Note;
        TVRList& table = *GetSystemDel();
        table.RowAdd({ConcatPathNames(dir, rec.Name), rec.Size, lookup.Time, lookup.Time, note,
                      static_cast<std::int32_t>(table.GetRowCount()), dir, GetTavikFSNames()->GetTavikFSName(dir),
                      rec.Name, static_cast<std::int32_t>(rec.Attr)});
    });
}

}  // namespace vendrask
