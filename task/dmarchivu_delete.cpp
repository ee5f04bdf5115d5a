// The delete run and the two automatic runs over the candidate tables.
#include <algorithm>
#include <set>

#include "host/services/archive_journal.h"
#include "host/services/exceptions.h"
#include "host/services/fs_names.h"
#include "host/services/open_below.h"
#include "host/services/paths.h"
#include "host/services/tavik_info.h"
#include "host/services/vendrask_folder.h"
#include "task/archiv_dir_lock.h"
#include "task/dmarchivu.h"
#include "task/archive_inventory.h"
#include "task/run_journal.h"

namespace vendrask {

using namespace tavik;

namespace {

// How many deletions go into the journal in one transaction, ahead of deleting them. Each
// transaction costs a few fsync calls; 4096 records are about a megabyte.
constexpr std::size_t kJournalBatch = 4096;

}  // namespace

bool TdmOlvexArchiv::DeleteExecute(const std::vector<std::string>& fileList) {
    std::vector<TDeleteItem> items;
    items.reserve(fileList.size());
    for (const auto& path : fileList) items.push_back({path, std::nullopt, ""});
    return DeleteExecute(items);
}

bool TdmOlvexArchiv::DeleteExecute(const std::vector<TDeleteItem>& items) {
    FLastDeleted.clear();
    FLastDeleteFiles.clear();
    FLastDeleteJournalRefused = false;
    FLastDeleteHold = {};
    return Guarded("TdmOlvexArchiv.DeleteExecute", false, [&] {
        if (items.empty()) return true;
        // What the journal cannot record is not deleted.
        const std::string archivDir = GetDirOlvexByName("ARCHIV", "", true);
        std::optional<TArchiveJournal> journal;
        try {
            journal.emplace(archivDir);
        } catch (const EOlvex&) {
            FLastDeleteJournalRefused = true;
            throw;
        }
        const TArchivKeeping keeping = TArchivKeeping::ForDeleting(archivDir, *journal, BerlinYearNow());
        FJournalHead = journal->Head();
        FLastDeleteHold = keeping.Hold();
        if (!keeping.Rules())
            TavikInfo().RegisterFailure("TdmOlvexArchiv.DeleteExecute", keeping.RulesProblem());
        pgdDelete.Start();
        struct TStopDialog {
            TTavikStdProgressDialog& Dialog;
            ~TStopDialog() { Dialog.Stop(); }
        } stopDialog{pgdDelete};
        for (std::size_t start = 0; start < items.size(); start += kJournalBatch) {
            const std::size_t end = std::min(items.size(), start + kJournalBatch);
            DeleteRecorded({items.begin() + static_cast<std::ptrdiff_t>(start),
                            items.begin() + static_cast<std::ptrdiff_t>(end)},
                           archivDir, keeping, *journal);
        }
        return true;
    });
}

void TdmOlvexArchiv::DeleteRecorded(const std::vector<TDeleteItem>& items, const std::string& archivDir,
                                    const TArchivKeeping& keeping, TArchiveJournal& journal) {
    const std::vector<std::string> bases = HostBases();
    // Each file is in the journal, with its digest read now, before it goes; one that then stays
    // is named again, as not deleted.
    std::vector<TJournalRecord> intended, notDeleted;
    std::vector<const TDeleteItem*> recorded;
    for (const auto& item : items) {
        if (IsInVendraskFolder(item.Path, archivDir)) {
            const std::string reason = "„" + item.Path + "“ gehört zu vendrasks eigenem Ordner in ARCHIV (Journal) "
                                       "und wird nie gelöscht.";
            notDeleted.push_back(NotDeletedRecord(item.Path, "", reason));
            FLastDeleteFiles.push_back({item.Path, TFileFate::KeptOther, reason});
            TavikInfo().RegisterFailure("TdmOlvexArchiv.DeleteExecute", reason);
            continue;
        }
        if (const TKeepVerdict kept = keeping.Judge(item.Path); kept.Kept()) {
            // A hold or a period keeps the same archives night after night; the journal holds the
            // hold and the periods themselves, and refusals of what a user asked for.
            if (kept.By == TKeptBy::Evidence || !AutoDelete) {
                const bool archive = keeping.IsWrittenArchive(item.Path);
                notDeleted.push_back(
                    NotDeletedRecord(item.Path, archive ? ExtractFileName(item.Path) : "", kept.Reason));
            }
            switch (kept.By) {
                case TKeptBy::Hold: FLastDeleteFiles.push_back({item.Path, TFileFate::KeptHold, kept.Reason}); break;
                case TKeptBy::Retention:
                    FLastDeleteFiles.push_back({item.Path, TFileFate::KeptRetention, kept.Reason});
                    break;
                default:
                    // Evidence: the failed verification is a failure until it is cleared up.
                    FLastDeleteFiles.push_back({item.Path, TFileFate::KeptOther, kept.Reason});
                    TavikInfo().RegisterFailure("TdmOlvexArchiv.DeleteExecute", kept.Reason);
            }
            continue;
        }
        TJournalRecord record;
        // A path that is gone is skipped.
        if (!RuleDeletionRecord(item.Path, item.Rule, record)) continue;
        intended.push_back(std::move(record));
        recorded.push_back(&item);
    }
    if (!intended.empty()) FJournalHead = journal.Append(intended);
    for (const TDeleteItem* item : recorded) {
        // One that cannot be deleted stays, and the administrator learns why.
        const TDeleteResult result = DeleteRegularFile(item->Path, item->Expected, ShortestBaseHolding(bases, item->Path));
        if (result.Outcome != TDeleteOutcome::Deleted)
            notDeleted.push_back(NotDeletedRecord(
                item->Path, ExtractFileName(item->Path),
                result.Outcome == TDeleteOutcome::Missing ? "Die Datei war schon entfernt." : result.Reason));
        TFileFate fate = TFileFate::Deleted;
        if (!FateOfDeletion(result, fate)) continue;
        FLastDeleteFiles.push_back({item->Path, fate, result.Reason});
        // A read-only file is kept on purpose: the summary lists it, it is no failure.
        if (fate == TFileFate::Deleted)
            FLastDeleted.push_back(item->Path);
        else if (fate == TFileFate::KeptReadOnly)
            TavikInfo().RegisterNotice("TdmOlvexArchiv.DeleteExecute",
                                       "„" + item->Path +
                                           "“ ist schreibgeschützt und wird nicht gelöscht. Soll sie gelöscht "
                                           "werden, bitte beschreibbar machen; soll sie bleiben, ihr in der "
                                           "Tabelle object_rule eine Regel mit days = 0 geben.");
        else
            TavikInfo().RegisterFailure("TdmOlvexArchiv.DeleteExecute", result.Reason);
    }
    if (!notDeleted.empty()) FJournalHead = journal.Append(notDeleted);
}

int TdmOlvexArchiv::BerlinYearNow() const { return BerlinYear(DateTimeToFileTime(Clock())); }

std::vector<std::string> TdmOlvexArchiv::HostBases() {
    std::vector<std::string> bases;
    if (TTavikFSNames* names = GetTavikFSNames())
        for (const auto& name : names->Names()) bases.push_back(GetDirOlvexByName(name, "", true));
    return bases;
}

void TdmOlvexArchiv::AutoArchExecuteAll() {
    FLastArchivRun = {};
    FLastArchivFiles.clear();
    Guarded("TdmOlvexArchiv.AutoArchExecuteAll", [&] {
        ArchInitialize();
        if (!FArchiv) throw EOlvex("Das ZIP-Format steht nicht zur Verfügung; es wurde nichts archiviert.");
        FArchiv->FileItemClear();
        if (!FSystemArch) throw EOlvex("Vor dem Archivieren muss das System durchsucht werden.");
        const TVRList& table = *FSystemArch;
        for (int row = 0; row < table.GetRowCount(); ++row) FArchiv->FileItemAdd(ArchivItemOf(table, row));
        ArchExecute();
    });
}

void TdmOlvexArchiv::AutoDeleteExecuteAll() {
    FLastDeleteLocked = false;
    FLastDeleted.clear();
    FLastDeleteFiles.clear();
    const auto measure = FProfile.Measure("Löschlauf");
    Guarded("TdmOlvexArchiv.AutoDeleteExecuteAll", [&] {
        if (!FSystemDel) throw EOlvex("Vor dem Löschen muss das System durchsucht werden.");
        // The archive run before this one said that nothing was deleted: it waited in vain.
        if (AutoArchivieren && FLastArchivRun.LockMissed) {
            FLastDeleteLocked = true;
            return;
        }
        const TVRList& table = *FSystemDel;
        std::vector<TDeleteItem> items;
        items.reserve(static_cast<std::size_t>(table.GetRowCount()));
        for (int row = 0; row < table.GetRowCount(); ++row) items.push_back(DeleteItemOf(table, row));
        // Not while another run works in ARCHIV.
        std::optional<TArchivDirLock> lock;
        try {
            lock.emplace(GetDirOlvexByName("ARCHIV", "", true), LockWait(), [](const std::string& notice) {
                TavikInfo().RegisterNotice("TdmOlvexArchiv.AutoDeleteExecuteAll", notice);
            });
        } catch (const EArchivLocked&) {
            FLastDeleteLocked = true;
            throw;
        }
        DeleteExecute(items);
    });
}

TFileInfoItem TdmOlvexArchiv::ArchivItemOf(const TVRList& table, int row) const {
    TFileInfoItem item;
    item.FileName = table.GetCellValueAsFormatedString(row, FColumns.FileName);
    item.AbsDir = table.GetCellValueAsFormatedString(row, FColumns.AbsPath);
    item.RelDir = table.GetCellValueAsFormatedString(row, FColumns.RelPath);
    item.Size = PVRItem2Int64(table.GetCellValue(row, FColumns.Groesse));
    item.DateTime = TDateTime{};  // the engine takes the time from the file
    item.Attributes = static_cast<std::uint32_t>(PVRItem2Integer(table.GetCellValue(row, FColumns.Attribute)));
    return item;
}

TdmOlvexArchiv::TDeleteItem TdmOlvexArchiv::DeleteItemOf(const TVRList& table, int row) const {
    // The file goes only while it is still the one that was listed: same size and time.
    TExpectedFile expected;
    expected.Size = PVRItem2Int64(table.GetCellValue(row, FColumns.Groesse));
    expected.Modified = table.GetDateTime(row, FColumns.Datum);
    return {ConcatPathNames(table.GetCellValueAsFormatedString(row, FColumns.AbsPath),
                            table.GetCellValueAsFormatedString(row, FColumns.FileName)),
            expected, table.GetCellValueAsFormatedString(row, FColumns.Notiz)};
}

}  // namespace vendrask
