// Which files the archive run packs, and which of those it deletes afterwards: a file the run
// could not delete is not packed, and the files of a related_file group go together or not at all.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <map>
#include <set>
#include <string_view>
#include <unordered_map>

#include "host/engine/extract/entry_name.h"
#include "host/services/open_below.h"
#include "host/services/parallel_for.h"
#include "host/services/paths.h"
#include "host/services/safe_delete.h"
#include "host/services/system_error.h"
#include "host/services/tavik_info.h"
#include "task/dmarchivu.h"
#include "task/run_journal.h"

namespace vendrask {

using namespace tavik;

namespace {

std::string PathOf(const TFileInfoItem& item) { return ConcatPathNames(item.AbsDir, item.FileName); }

// The host's relative name of a queued file, for the rule that would keep it.
std::string RelativeNameOf(const TFileInfoItem& item) { return ConcatPathNames(item.RelDir, item.FileName); }

// What an administrator can do about a file that the run keeps because it is read-only.
std::string ReadOnlyAdvice(const std::string& path, const std::string& relative) {
    return "„" + path +
           "“ ist schreibgeschützt und wird weder archiviert noch gelöscht. Soll sie archiviert werden, bitte "
           "beschreibbar machen; soll sie bleiben, ihr in der Tabelle object_rule eine Regel für „" + relative +
           "“ mit archive = 0 geben, dann wird sie nicht mehr vorgeschlagen.";
}

std::string GroupAdvice(const std::string& path, const std::string& cause, const char* what) {
    return "„" + path + "“ gehört mit „" + cause +
           "“ zu einer Gruppe zusammengehöriger Dateien (Tabelle related_file) und bleibt mit ihr erhalten, weil „" +
           cause + "“ " + what + ". Die Gruppe wird archiviert und gelöscht, wenn es alle ihre Dateien werden können.";
}

// How many deletions go into the journal in one transaction, ahead of deleting them. Each
// transaction costs a few fsync calls; a record with its texts takes about 650 bytes, so the
// 16,384 records of a batch are about 10 MB held at once.
constexpr std::size_t kJournalBatch = 16384;

// How many files are looked at or unlinked at once. Each unlink mostly waits for the file system (more so
// with online discard), so many more than the processors pay off: 30,000 files in 30 folders
// went in 1.4 s with 32 at once, 6.0 s one after the other.
constexpr unsigned kDeletingThreads = 32;

// Consecutive files of one directory, at most kFilesPerRun of them: each run reaches its
// directory once, and the runs go on the threads.
constexpr std::size_t kFilesPerRun = 64;

// How many queued files are looked at before what was found is taken in: the results of a
// batch are held at once, a few hundred kilobytes.
constexpr std::size_t kCheckBatch = 8192;

struct TDirectoryRun {
    std::size_t Begin = 0, End = 0;
};

std::vector<TDirectoryRun> DirectoryRuns(std::size_t count, const std::function<std::string(std::size_t)>& directoryOf) {
    std::vector<TDirectoryRun> runs;
    std::string current;
    for (std::size_t i = 0; i < count; ++i) {
        std::string directory = directoryOf(i);
        if (runs.empty() || directory != current || runs.back().End - runs.back().Begin == kFilesPerRun) {
            runs.push_back({i, i});
            current = std::move(directory);
        }
        runs.back().End = i + 1;
    }
    return runs;
}

TFileFate FateOfRefusal(TDeleteOutcome outcome) {
    TFileFate fate = TFileFate::KeptOther;
    FateOfDeletion({outcome, ""}, fate);
    return fate;
}

// Whether the file opens for reading, as packing will open it.
bool OpensForReading(const std::string& path, const std::string& base, int& error) {
    const int fd = OpenFileBelow(path, base, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        error = errno;
        return false;
    }
    close(fd);
    return true;
}

}  // namespace

TdmOlvexArchiv::TGroupNames TdmOlvexArchiv::SelectItemsToPack(const std::vector<std::string>& bases) {
    // The queue is read where it is; it is copied only when files are left out of it. Of the
    // paths, only those of groups are kept aside, as the groups' own names of them: all that is
    // ever asked of a path that is in no group is answered from the item at hand.
    const std::vector<TFileInfoItem>& queued = FArchiv->GetFileItemsList().Items();
    TGroupNames queuedGrouped;
    for (const auto& item : queued)
        if (const std::string* name = FScanGroups.NameOf(PathOf(item))) queuedGrouped.insert(*name);
    // Each file by itself first. One that is gone was taken by a run that held the lock before
    // this one, which is no failure; one that the run could not delete afterwards is not packed,
    // or it would go into every night's archive again.
    // Looking at a file is a handful of system calls that mostly wait: done for a batch of
    // files at once, one batch after the other, so that what is found is held for a batch only.
    std::set<std::string> gone;
    std::map<std::string, TFileOutcome> kept;
    for (std::size_t start = 0; start < queued.size(); start += kCheckBatch) {
        const std::size_t end = std::min(queued.size(), start + kCheckBatch);
        std::vector<TDeleteResult> checks(end - start);
        const std::vector<TDirectoryRun> runs =
            DirectoryRuns(end - start, [&](std::size_t k) { return ExtractFileDir(PathOf(queued[start + k])); });
        ParallelFor(runs.size(), kDeletingThreads, [&](std::size_t r) {
            const std::string first = PathOf(queued[start + runs[r].Begin]);
            const TDeletingDirectory directory(ExtractFileDir(first), ShortestBaseHolding(bases, first));
            for (std::size_t k = runs[r].Begin; k < runs[r].End; ++k)
                if ((queued[start + k].Attributes & faDirectory) == 0)
                    checks[k] = directory.CheckDeletable(PathOf(queued[start + k]), std::nullopt);
        });
        for (std::size_t i = start; i < end; ++i) {
            const TFileInfoItem& item = queued[i];
            if (item.Attributes & faDirectory) continue;
            const std::string path = PathOf(item);
            if (gone.count(path) != 0 || kept.count(path) != 0) continue;
            const std::string base = ShortestBaseHolding(bases, path);
            const TDeleteResult& check = checks[i - start];
            if (check.Outcome == TDeleteOutcome::Missing) {
                gone.insert(path);
                continue;
            }
            // Archived, the file must come back under its name: one that extraction refuses would
            // be lost with the deletion.
            std::vector<std::string> parts;
            if (const std::string refusal = CheckEntryName(RelativeNameOf(item), parts, true); !refusal.empty()) {
                kept[path] = {path, TFileFate::RefusedName,
                              "„" + path + "“ wird nicht archiviert, ihr Name ließe sich aus dem Archiv nicht "
                                           "wiederherstellen: " + refusal + " Bitte die Datei umbenennen."};
                continue;
            }
            const bool grouped = FScanGroups.GroupOf(path) != nullptr;
            int error = 0;
            // A file that cannot be read is the engine's to report, unless it is of a group: found
            // only while packing, the group would go into the archive without it.
            if ((grouped || check.Outcome != TDeleteOutcome::Deleted) && !OpensForReading(path, base, error)) {
                if (grouped)
                    kept[path] = {path, TFileFate::Unreadable,
                                  "„" + path + "“ kann nicht gelesen werden (" + tavik::SystemErrorText(error) +
                                      "); sie und die Dateien ihrer Gruppe bleiben für den nächsten Lauf erhalten."};
                continue;
            }
            if (check.Outcome == TDeleteOutcome::ReadOnly)
                kept[path] = {path, TFileFate::KeptReadOnly, ReadOnlyAdvice(path, RelativeNameOf(item))};
            else if (check.Outcome != TDeleteOutcome::Deleted)
                kept[path] = {path, FateOfRefusal(check.Outcome), check.Reason + " Sie wird darum nicht archiviert."};
        }
    }
    // Then the groups: a file of a group that stays keeps all of them.
    for (const auto& item : queued) {
        const std::string path = PathOf(item);
        const std::vector<std::string>* group = FScanGroups.GroupOf(path);
        if (!group || gone.count(path) != 0 || kept.count(path) != 0) continue;
        for (const std::string& member : *group) {
            const auto found = kept.find(member);
            const bool staying = found != kept.end() && found->second.Fate != TFileFate::KeptGroup;
            struct stat info {};
            // Being of a group, a member that was queued is among the queued files of groups.
            const bool leftOut = queuedGrouped.count(member) == 0 && lstat(member.c_str(), &info) == 0;
            if (!staying && !leftOut) continue;
            kept[path] = {path, TFileFate::KeptGroup,
                          GroupAdvice(path, member, staying ? "nicht archiviert werden kann" : "nicht mit archiviert wird")};
            break;
        }
    }
    // Nothing to leave out: the queue stays as it is, and so does what it says of groups.
    if (gone.empty() && kept.empty()) return queuedGrouped;
    std::vector<bool> selected(queued.size(), false);
    std::size_t selectedCount = 0;
    std::set<std::string> reported;
    for (std::size_t i = 0; i < queued.size(); ++i) {
        const std::string path = PathOf(queued[i]);
        const auto found = kept.find(path);
        if (found == kept.end()) {
            if (gone.count(path) == 0) {
                selected[i] = true;
                ++selectedCount;
            }
            continue;
        }
        if (!reported.insert(path).second) continue;
        const TFileOutcome& outcome = found->second;
        // Kept on purpose (read-only, or with such a file's group) is no failure: the run did what it could.
        if (outcome.Fate == TFileFate::KeptReadOnly || outcome.Fate == TFileFate::KeptGroup)
            TavikInfo().RegisterNotice("TdmOlvexArchiv.ArchExecute", outcome.Reason);
        else
            TavikInfo().RegisterFailure("TdmOlvexArchiv.ArchExecute", outcome.Reason);
        FLastArchivFiles.push_back(outcome);
    }
    // What is handed to the engine is known by the group names of the items that stay.
    TGroupNames handedGrouped;
    for (std::size_t i = 0; i < queued.size(); ++i)
        if (selected[i])
            if (const std::string* name = FScanGroups.NameOf(PathOf(queued[i]))) handedGrouped.insert(*name);
    if (selectedCount == queued.size()) return handedGrouped;
    std::vector<TFileInfoItem> staying;
    staying.reserve(selectedCount);
    for (std::size_t i = 0; i < queued.size(); ++i)
        if (selected[i]) staying.push_back(queued[i]);
    FArchiv->FileItemClear();
    for (const auto& item : staying) FArchiv->FileItemAdd(item);
    return handedGrouped;
}

void TdmOlvexArchiv::ArchDeleteFiles(TArchiveJournal& journal, const TGroupNames& queuedGrouped) {
    Guarded("TdmOlvexArchiv.ArchDeleteFiles", [&] {
        const auto& packed = FArchiv->GetFileItemsList().Items();
        // Only files of groups are looked up by path, each by the groups' own name of it.
        std::unordered_map<std::string_view, const TFileInfoItem*> packedGrouped;
        for (const TFileInfoItem& item : packed)
            if (const std::string* name = FScanGroups.NameOf(PathOf(item))) packedGrouped.emplace(*name, &item);
        // What was handed to the engine but is not in the archive (it could not be read there).
        TGroupNames unpacked;
        for (const std::string_view path : queuedGrouped)
            if (packedGrouped.count(path) == 0) unpacked.insert(path);
        std::vector<const TFileInfoItem*> toDelete;
        toDelete.reserve(packed.size());
        std::set<const std::vector<std::string>*> groupsDone;
        for (const TFileInfoItem& item : packed) {
            // Only files are run items; a directory, even an empty one, is never removed.
            if (item.Attributes & faDirectory) continue;
            if (const std::vector<std::string>* group = FScanGroups.GroupOf(PathOf(item))) {
                if (!groupsDone.insert(group).second) continue;
                std::vector<const TFileInfoItem*> members;
                for (const std::string& member : *group)
                    if (const auto found = packedGrouped.find(member); found != packedGrouped.end())
                        members.push_back(found->second);
                PlanGroupDeletion(members, *group, unpacked, toDelete);
                continue;
            }
            toDelete.push_back(&item);
        }
        DeletePacked(toDelete, journal);
    });
}

void TdmOlvexArchiv::PlanGroupDeletion(const std::vector<const TFileInfoItem*>& members,
                                       const std::vector<std::string>& group, const TGroupNames& unpacked,
                                       std::vector<const TFileInfoItem*>& toDelete) {
    // A file of the group that did not get into the archive, or that could not be deleted now,
    // keeps the others: they are in this archive, and go into the next one with it.
    std::string cause;
    for (const std::string& member : group)
        if (unpacked.count(member) != 0) cause = member;
    for (const TFileInfoItem* item : members) {
        if (!cause.empty()) break;
        const std::string path = PathOf(*item);
        const TDeleteResult check = CheckDeletable(path, TExpectedFile{item->Size, item->DateTime, FPackStart},
                                                   ShortestBaseHolding(FArchiv->SourceBases, path));
        if (check.Outcome == TDeleteOutcome::Deleted || check.Outcome == TDeleteOutcome::Missing) continue;
        cause = path;
        FLastArchivFiles.push_back({path, FateOfRefusal(check.Outcome), check.Reason, true});
        TavikInfo().RegisterFailure("TdmOlvexArchiv.ArchDeleteFiles",
                                    check.Reason + " Sie ist im Archiv „" + FArchiv->ArchivFile +
                                        "“, der nächste Lauf archiviert sie mit ihrer Gruppe erneut.");
    }
    for (const TFileInfoItem* item : members) {
        const std::string path = PathOf(*item);
        if (path == cause) continue;
        if (cause.empty()) {
            toDelete.push_back(item);
            continue;
        }
        const std::string reason = GroupAdvice(
            path, cause, unpacked.count(cause) != 0 ? "nicht archiviert werden konnte" : "nicht gelöscht werden kann");
        TavikInfo().RegisterNotice("TdmOlvexArchiv.ArchDeleteFiles", reason);
        FLastArchivFiles.push_back({path, TFileFate::KeptGroup, reason, true});
    }
}

void TdmOlvexArchiv::DeletePacked(const std::vector<const TFileInfoItem*>& items, TArchiveJournal& journal) {
    const std::string archive = ExtractFileName(FArchiv->ArchivFile);
    // Each file gets its line; made room for at once, the list does not grow by doubling.
    FLastArchivFiles.reserve(FLastArchivFiles.size() + items.size());
    for (std::size_t start = 0; start < items.size(); start += kJournalBatch) {
        const std::size_t end = std::min(items.size(), start + kJournalBatch);
        // Each file is in the journal before it goes, so that nothing is ever deleted unrecorded;
        // one that then stays is named again, as not deleted. A crash in between leaves a record
        // of a file that is still there, which the next run archives again.
        {
            const auto measure = FProfile.Measure("Löschungen ins Journal");
            std::vector<TJournalRecord> intended;
            intended.reserve(end - start);
            for (std::size_t i = start; i < end; ++i)
                intended.push_back(PackedDeletionRecord(*items[i], PathOf(*items[i]), archive));
            FJournalHead = journal.Append(intended);
        }
        const auto measure = FProfile.Measure("Löschen");
        // Only the file as it was packed goes: one that changed since stays for the next run.
        // Unlinking waits on the disk, so several files go at once; what became of each is
        // then taken in the order of the list.
        std::vector<TDeleteResult> results(end - start);
        const std::vector<TDirectoryRun> runs =
            DirectoryRuns(end - start, [&](std::size_t k) { return ExtractFileDir(PathOf(*items[start + k])); });
        ParallelFor(runs.size(), kDeletingThreads, [&](std::size_t r) {
            const std::string first = PathOf(*items[start + runs[r].Begin]);
            const TDeletingDirectory directory(ExtractFileDir(first), ShortestBaseHolding(FArchiv->SourceBases, first));
            for (std::size_t k = runs[r].Begin; k < runs[r].End; ++k) {
                const TFileInfoItem& item = *items[start + k];
                results[k] = directory.DeleteRegularFile(PathOf(item), TExpectedFile{item.Size, item.DateTime, FPackStart});
            }
        });
        std::vector<TJournalRecord> notDeleted;
        for (std::size_t i = start; i < end; ++i) {
            const std::string path = PathOf(*items[i]);
            const TDeleteResult& result = results[i - start];
            if (result.Outcome != TDeleteOutcome::Deleted)
                notDeleted.push_back(NotDeletedRecord(
                    path, archive, result.Outcome == TDeleteOutcome::Missing ? "Die Datei war schon entfernt."
                                                                            : result.Reason));
            TFileFate fate = TFileFate::Deleted;
            if (!FateOfDeletion(result, fate)) continue;
            FLastArchivFiles.push_back({path, fate, result.Reason, true});
            if (fate == TFileFate::Deleted) continue;
            TavikInfo().RegisterFailure("TdmOlvexArchiv.ArchDeleteFiles",
                                        result.Reason + " Sie ist im Archiv „" + FArchiv->ArchivFile +
                                            "“, der nächste Lauf archiviert sie erneut.");
        }
        if (!notDeleted.empty()) FJournalHead = journal.Append(notDeleted);
    }
}

}  // namespace vendrask
