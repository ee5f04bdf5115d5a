#pragma once
// TdmOlvexArchiv: the non-visual core. It holds the settings of the command line, owns the
// host objects that the scan and the runs need, the two candidate tables, the archive engine
// object and the two progress dialogs, and performs the scan, the archive run and the delete
// run. Every method guards its body; failures go to the error service, never to the caller.
#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "host/engine/archiv_format.h"
#include "host/engine/pack/packed_check.h"
#include "host/engine/archiv_open.h"
#include "host/services/archive_journal.h"
#include "host/services/command_line.h"
#include "host/services/date_time.h"
#include "host/services/object_table.h"
#include "host/services/progress_dialog.h"
#include "host/services/safe_delete.h"
#include "host/services/tavik_programm.h"
#include "host/services/vr_list.h"
#include "task/archiv_keeping.h"
#include "task/file_groups.h"
#include "task/related_files.h"
#include "task/run_outcome.h"
#include "task/run_profile.h"

namespace tavik {
class TTavikFSNames;
class TDirExplorer;
struct TSearchRec;
}  // namespace tavik

namespace vendrask {

using tavik::TArchivFormat;
using tavik::TArchivFormatAbstract;
using tavik::TVRList;

// Column positions of the candidate tables, as GetSystemArch records them.
struct TCandidateColumns {
    int Name = 0, Groesse = 1, Datum = 2, Notiz = 4, Index = 5, AbsPath = 6, RelPath = 7, FileName = 8, Attribute = 9;
};

class TdmOlvexArchiv {
public:
    // Reads the switches A, L and D from the parameters (parameter 0 is the program path).
    explicit TdmOlvexArchiv(const tavik::TParameters& parameters);
    ~TdmOlvexArchiv();
    TdmOlvexArchiv(const TdmOlvexArchiv&) = delete;
    TdmOlvexArchiv& operator=(const TdmOlvexArchiv&) = delete;

    tavik::TTavikStdProgressDialog pgdDelete;
    tavik::TTavikStdProgressDialog pgdArchiv;

    // properties
    TArchivFormatAbstract* Archiv() const { return FArchiv.get(); }
    const std::string& ArchivFileName() const { return FArchivFileName; }
    void SetArchivFileName(const std::string& name);
    // Why the last name given to SetArchivFileName was not accepted.
    const tavik::TArchivRefusal& ArchivRefusal() const { return FArchivRefusal; }
    TVRList* SystemArch() { return GetSystemArch(); }
    TVRList* SystemDel() { return GetSystemDel(); }
    bool AutoArchivieren = false;
    bool AutoDelete = false;
    std::vector<std::string> AutoDirs;  // upper case; empty: no restriction
    tavik::TTavikFSNames* TavikFSNames() { return GetTavikFSNames(); }
    const TCandidateColumns& CandidateColumns() const { return FColumns; }

    // The clock that gives "now" to the scan and to archive naming (tests replace it).
    std::function<tavik::TDateTime()> Clock = [] { return tavik::Now(); };
    // How long the archive run and the automatic delete run wait for another run's lock on ARCHIV
    // (zero: not at all); unset: the host setting ArchivLockWait (host_settings.h).
    std::optional<std::chrono::milliseconds> ArchivLockWait;
    // Called with the path of the written archive before it is read back (tests damage it here).
    std::function<void(const std::string& archive)> AfterArchivWritten;

    // operations
    void DataModuleCreate(void* sender);
    void DataModuleDestroy(void* sender);
    void ExploreSystem();
    void ArchInitialize();
    bool ArchExecute();
    bool ArchivOnCommandItemStart(TArchivFormatAbstract& sender, tavik::TArchivCommand command,
                                  tavik::PFileInfoItem& fileInfo);
    bool DeleteExecute(const std::vector<std::string>& fileList);
    // The same, deleting a file only while it has the size and time it had when it was listed.
    struct TDeleteItem {
        std::string Path;
        std::optional<tavik::TExpectedFile> Expected;
        std::string Rule;  // why it is deleted (the candidate's note), for the journal
    };
    bool DeleteExecute(const std::vector<TDeleteItem>& items);

    // What a row of a candidate table gives the archive run and the delete run.
    tavik::TFileInfoItem ArchivItemOf(const TVRList& table, int row) const;
    TDeleteItem DeleteItemOf(const TVRList& table, int row) const;
    void AutoArchExecuteAll();
    void AutoDeleteExecuteAll();

    // What the last archive run wrote, for the summary of an attended run.
    struct TArchivRunResult {
        enum class TState { Failed, NothingToDo, Written };
        TState State = TState::Failed;  // Failed: nothing was deleted
        std::string Path;
        int Files = 0;
        std::int64_t Bytes = 0;
        bool Ok = false;  // every item was packed
        tavik::TErrorKind Failure = tavik::TErrorKind::Other;  // why nothing was written, when Failed
        bool LockMissed = false;  // another run held ARCHIV for longer than the wait: nothing was done
        bool JournalRefused = false;  // ARCHIV's journal could not be written: nothing was done
    };
    const TArchivRunResult& LastArchivRun() const { return FLastArchivRun; }
    // What became of each file the last archive run took in hand (deleted, kept, not archived),
    // and of each file the last delete run found.
    const std::vector<TFileOutcome>& LastArchivFiles() const { return FLastArchivFiles; }
    const std::vector<TFileOutcome>& LastDeleteFiles() const { return FLastDeleteFiles; }
    const std::vector<std::string>& LastDeleted() const { return FLastDeleted; }
    // The last automatic delete run did not run: ARCHIV was locked, or the archive run before it
    // gave up waiting for the lock. Nothing was deleted.
    bool LastDeleteLocked() const { return FLastDeleteLocked; }
    // The last delete run deleted nothing: ARCHIV's journal could not be written.
    bool LastDeleteJournalRefused() const { return FLastDeleteJournalRefused; }
    // The deletion hold in ARCHIV as the last scan found it.
    const TDeletionHold& ScanHold() const { return FScanHold; }
    // The deletion hold in ARCHIV as the last delete run found it.
    const TDeletionHold& LastDeleteHold() const { return FLastDeleteHold; }
    // The head of ARCHIV's journal after the last run that opened it; empty before.
    const std::string& JournalHead() const { return FJournalHead; }
    // Where the scan and the runs since the module was made spent their time.
    const TRunProfile& Profile() const { return FProfile; }

    // State for tests and for the tools that explain the scan.
    tavik::TRTyp RTyp() const { return FRTyp; }
    TArchivFormat DefaultArchFmt() const { return FDefaultArchFmt; }
    tavik::TRObjTab* GetROBJTab();
    std::string OlvexRoot();

private:
    // The archive run itself; ArchExecute guards it.
    bool ArchRun();
    tavik::TTavikFSNames* GetTavikFSNames();
    TVRList* GetSystemArch();
    TVRList* GetSystemDel();
    std::string ArchCreateFileName();
    // The groups' own names (TFileGroups::NameOf) of files of groups; they hold until the next scan.
    using TGroupNames = std::unordered_set<std::string_view>;
    // Deletes what was packed; queuedGrouped names the files of groups that were handed to the engine.
    void ArchDeleteFiles(tavik::TArchiveJournal& journal, const TGroupNames& queuedGrouped);
    // Reads the new archive back whole; its SHA-256 from that reading, where it was taken.
    std::optional<tavik::TFileDigest> CheckWrittenArchive(const std::string& path, tavik::TArchiveJournal& journal);
    // Records the new archive, read back, in the journal.
    void JournalWrittenArchive(const std::string& path, tavik::TArchiveJournal& journal,
                               const std::optional<tavik::TFileDigest>& digest);
    // Leaves out of the queue what must not be packed: files gone since the scan, files the run
    // could not delete afterwards, and the whole group of such a file. Returns the files of groups
    // that stay in the queue.
    TGroupNames SelectItemsToPack(const std::vector<std::string>& bases);
    // Adds the packed files of a group to those to delete, all or (when one of them would stay) none.
    void PlanGroupDeletion(const std::vector<const tavik::TFileInfoItem*>& members,
                           const std::vector<std::string>& group, const TGroupNames& unpacked,
                           std::vector<const tavik::TFileInfoItem*>& toDelete);
    // Deletes packed files, each recorded in the journal before it goes.
    void DeletePacked(const std::vector<const tavik::TFileInfoItem*>& items, tavik::TArchiveJournal& journal);
    // Deletes the files of a delete run, each recorded in the journal before it goes; what
    // keeping holds (a hold, evidence, a retention period) stays.
    void DeleteRecorded(const std::vector<TDeleteItem>& items, const std::string& archivDir,
                        const TArchivKeeping& keeping, tavik::TArchiveJournal& journal);
    // The current year in Germany by Clock.
    int BerlinYearNow() const;
    std::chrono::milliseconds LockWait();
    // The host directories: below them no directory on the way to a file that is packed or
    // deleted may be a link; each of them is taken as it is, a link followed (as find -H does).
    std::vector<std::string> HostBases();
    void ArchivOnCommandProgress(TArchivFormatAbstract& sender, tavik::TArchivCommand command, std::int64_t done,
                                 std::int64_t total);
    void ArchivOnCommandItemProgress(TArchivFormatAbstract& sender, tavik::TArchivCommand command,
                                     tavik::PFileInfoItem fileInfo, std::int64_t done, std::int64_t total);
    void ArchivOnError(TArchivFormatAbstract& sender, tavik::TArchivCommand command, tavik::TArchivErrorKind kind,
                       const std::string& item, const std::string& reason, bool& flag);
    void ExploreSystem_AddArch(tavik::TDirExplorer& sender, const tavik::TSearchRec& rec, const std::string& dir,
                               int level, bool& continueWalk);
    void ExploreSystem_AddDel(tavik::TDirExplorer& sender, const tavik::TSearchRec& rec, const std::string& dir,
                              int level, bool& continueWalk);
    void ConfigureProgressDialogs();

    // What both scan handlers first find out about an entry.
    struct TLookup {
        std::string Root;
        std::string Rel;  // the host's relative name (GetTavikFSName), '/' separated
        tavik::TDateTime Time{};
        tavik::TObjektRTypExist Object;
    };
    TLookup LookUp(const tavik::TSearchRec& rec, const std::string& dir);

    const tavik::TParameters FParameters;
    tavik::TRTyp FRTyp = 1;
    std::unique_ptr<tavik::TRObjTab> FROBJTab;
    std::unique_ptr<tavik::TTavikFSNames> FTavikFSNames;
    std::unique_ptr<TVRList> FSystemArch;
    std::unique_ptr<TVRList> FSystemDel;
    std::unique_ptr<TArchivFormatAbstract> FArchiv;
    TArchivFormat FDefaultArchFmt = TArchivFormat::Other;
    std::string FArchivFileName;
    tavik::TArchivRefusal FArchivRefusal;
    std::string FOlvexRoot;
    TCandidateColumns FColumns;
    tavik::TDateTime FScanToday{};
    std::string FScanArchivDir;
    std::optional<TArchivKeeping> FScanKeeping;  // what keeps files of ARCHIV, for the notes of one scan
    TDeletionHold FScanHold;
    THostPlaces FScanPlaces;             // where related files may lie, for one scan
    std::set<std::string> FScanRefused;  // related names reported in this scan, each once
    TFileGroups FScanGroups;             // the related_file groups of the last scan, by absolute path
    TArchivRunResult FLastArchivRun;
    std::vector<std::string> FLastDeleted;
    std::vector<TFileOutcome> FLastArchivFiles;
    std::vector<TFileOutcome> FLastDeleteFiles;
    bool FLastDeleteLocked = false;
    bool FLastDeleteJournalRefused = false;
    TDeletionHold FLastDeleteHold;
    std::string FJournalHead;
    TRunProfile FProfile;
    std::optional<timespec> FPackStart;  // the archive run's files are deleted only if unchanged since
};

// The global instance; empty until start-up has created the module.
extern TdmOlvexArchiv* dmOlvexArchiv;

}  // namespace vendrask
