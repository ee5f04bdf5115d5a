// Archive naming, the archive run and opening an archive file by name.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "host/engine/archiv_open.h"
#include "host/engine/pack/packed_check.h"
#include "host/services/archive_journal.h"
#include "host/services/archive_name.h"
#include "host/services/exceptions.h"
#include "host/services/fs_names.h"
#include "host/services/host_settings.h"
#include "host/services/open_below.h"
#include "host/services/paths.h"
#include "host/services/safe_delete.h"
#include "host/services/sha256.h"
#include "host/services/tavik_info.h"
#include "host/services/tavik_programm.h"
#include "host/services/system_error.h"
#include "task/archiv_dir_lock.h"
#include "task/archiv_leftovers.h"
#include "task/dmarchivu.h"
#include "task/run_journal.h"

namespace vendrask {

using namespace tavik;

namespace {

// What the user can do about an archive that was not written, by the kind of the failure.
std::string NotWrittenAdvice(TErrorKind kind) {
    if (kind != TErrorKind::DiskFull) return {};
    return " Im Archivverzeichnis ist nicht genug Platz für das Archiv. Bitte schaffen Sie dort Platz; der nächste "
           "Lauf archiviert die Dateien dann.";
}

void NoticeWaiting(const std::string& notice) {
    // Also unattended: whoever reads the log learns why the run took so long.
    TavikInfo().RegisterNotice("TdmOlvexArchiv.ArchExecute", notice);
}

}  // namespace

std::string TdmOlvexArchiv::ArchCreateFileName() {
    return Guarded("TdmOlvexArchiv.ArchCreateFileName", std::string(), [&] {
        const TDateParts today = DecodeDateTime(Clock());
        for (int number = 1;; ++number) {
            const std::string name = MakeArchiveName(today, number);
            const std::string path = GetDirOlvexByName("ARCHIV", name, true);
            // Any entry of that name is taken: a directory or a hidden file there could not be
            // written, or would be overwritten.
            struct stat info {};
            if (lstat(path.c_str(), &info) == 0) continue;
            if (errno != ENOENT)
                throw EOlvex("Im Archivverzeichnis kann nicht nachgesehen werden, ob „" + name + "“ frei ist (" +
                             tavik::SystemErrorText(errno) + "). Bitte die Rechte prüfen.");
            return path;
        }
    });
}

void TdmOlvexArchiv::ArchInitialize() {
    Guarded("TdmOlvexArchiv.ArchInitialize", [&] {
        FArchiv.reset();
        if (auto formatClass = GetArchivFormatClass(TArchivFormat::Zip)) FArchiv = formatClass();
    });
}

bool TdmOlvexArchiv::ArchExecute() {
    FLastArchivRun = {};
    FLastArchivFiles.clear();
    FPackStart.reset();
    return Guarded("TdmOlvexArchiv.ArchExecute", false, [&] {
        try {
            return ArchRun();
        } catch (const EOlvex& error) {
            // The summary of the run tells a full disk or missing rights from other failures.
            FLastArchivRun.Failure = error.Kind();
            throw;
        }
    });
}

bool TdmOlvexArchiv::ArchRun() {
    bool ok = false;
    pgdArchiv.ResetCounter(0);
    pgdArchiv.ResetProgress(0);
    pgdArchiv.ResetProgress(1);
    pgdArchiv.Start();
    struct TStopDialog {
        TTavikStdProgressDialog& Dialog;
        ~TStopDialog() { Dialog.Stop(); }
    } stopDialog{pgdArchiv};

    if (!FArchiv) throw EOlvex("Es gibt kein Archivobjekt für den Archivierungslauf.");
    // Held while the name is chosen, the archive written and its files deleted, so that a run
    // started at the same moment picks the next free name and finds those files gone.
    const std::string archivDir = GetDirOlvexByName("ARCHIV", "", true);
    std::optional<TArchivDirLock> lock;
    try {
        lock.emplace(archivDir, LockWait(), NoticeWaiting);
    } catch (const EArchivLocked&) {
        FLastArchivRun.LockMissed = true;
        throw;
    }
    // No run is writing now: an unfinished archive there is left over from a killed one.
    RemoveArchivRunLeftovers(archivDir);
    const std::vector<std::string> bases = HostBases();
    TGroupNames queuedGrouped;
    {
        const auto measure = FProfile.Measure("Auswahl prüfen");
        queuedGrouped = SelectItemsToPack(bases);
    }
    // What the journal cannot record is neither archived nor deleted. A run with nothing to pack
    // needs no journal (nor room for one).
    std::optional<TArchiveJournal> journal;
    if (FArchiv->GetFileItemsList().GetCount() > 0) {
        try {
            journal.emplace(archivDir);
        } catch (const EOlvex&) {
            FLastArchivRun.JournalRefused = true;
            throw;
        }
        FJournalHead = journal->Head();
        FArchiv->JournalHead = FJournalHead;
    }
    const std::string path = ArchCreateFileName();
    if (path.empty()) throw EOlvex("Für das neue Archiv ist kein Dateiname zu finden.");
    FArchiv->ArchivFile = path;
    FArchiv->SourceBases = bases;
    FArchiv->OnError = [this](TArchivFormatAbstract& sender, TArchivCommand command, TArchivErrorKind kind,
                              const std::string& item, const std::string& reason, bool& flag) {
        ArchivOnError(sender, command, kind, item, reason, flag);
    };
    FArchiv->OnCommandProgress = [this](TArchivFormatAbstract& sender, TArchivCommand command, std::int64_t done,
                                        std::int64_t total) { ArchivOnCommandProgress(sender, command, done, total); };
    FArchiv->OnCommandItemStart = [this](TArchivFormatAbstract& sender, TArchivCommand command,
                                         PFileInfoItem& fileInfo) {
        return ArchivOnCommandItemStart(sender, command, fileInfo);
    };
    FArchiv->OnCommandItemProgress = [this](TArchivFormatAbstract& sender, TArchivCommand command,
                                            PFileInfoItem fileInfo, std::int64_t done, std::int64_t total) {
        ArchivOnCommandItemProgress(sender, command, fileInfo, done, total);
    };
    // Whatever changes from here on is not what gets packed, and must not be deleted.
    FPackStart = lock->PassedMoment();
    {
        const auto measure = FProfile.Measure("Packen");
        ok = FArchiv->ExecuteFilesAdd(false);
    }
    const auto& packed = FArchiv->GetFileItemsList();
    // Files the engine could not read are left out of an archive that is complete all the same;
    // the engine then lists what it packed. Those go, the others stay for the next run.
    struct stat written {};
    const bool writtenWithout = !ok && packed.GetCount() > 0 && lstat(path.c_str(), &written) == 0 &&
                                S_ISREG(written.st_mode);
    if (writtenWithout)
        TavikInfo().RegisterFailure("TdmOlvexArchiv.ArchExecute",
                                    "Das Archiv „" + path +
                                        "“ wurde ohne die Dateien geschrieben, die nicht gelesen werden konnten; "
                                        "sie bleiben für den nächsten Lauf erhalten: " + FArchiv->LastError());
    if (ok && packed.GetCount() == 0) {
        FLastArchivRun.State = TArchivRunResult::TState::NothingToDo;
        FLastArchivRun.Ok = true;
    } else if (ok || writtenWithout) {
        if (!journal) throw EOlvex("Das Archiv „" + path + "“ wurde ohne Journal geschrieben; es wird nichts gelöscht.");
        // Nothing is deleted before the archive on disk has been read back completely.
        std::optional<TFileDigest> digest;
        {
            const auto measure = FProfile.Measure("Zurücklesen");
            digest = CheckWrittenArchive(path, *journal);
        }
        JournalWrittenArchive(path, *journal, digest);
        FLastArchivRun.State = TArchivRunResult::TState::Written;
        FLastArchivRun.Path = path;
        FLastArchivRun.Files = packed.GetCount();
        for (const auto& item : packed.Items()) FLastArchivRun.Bytes += item.Size;
        FLastArchivRun.Ok = ok;
        ArchDeleteFiles(*journal, queuedGrouped);
    } else {
        FLastArchivRun.Failure = FArchiv->LastErrorKind();
        // A run stopped on purpose is no failure; nothing was deleted.
        if (FLastArchivRun.Failure != TErrorKind::Aborted)
            TavikInfo().RegisterFailure("TdmOlvexArchiv.ArchExecute",
                                        "Das Archiv „" + path + "“ wurde nicht geschrieben, keine Datei wurde gelöscht: " +
                                            FArchiv->LastError() + NotWrittenAdvice(FLastArchivRun.Failure));
    }
    FArchiv->OnCommandProgress = nullptr;
    FArchiv->OnCommandItemStart = nullptr;
    FArchiv->OnCommandItemProgress = nullptr;
    return ok;
}

std::chrono::milliseconds TdmOlvexArchiv::LockWait() {
    if (ArchivLockWait) return *ArchivLockWait;
    return ArchivLockWaitSetting();
}

std::optional<TFileDigest> TdmOlvexArchiv::CheckWrittenArchive(const std::string& path, TArchiveJournal& journal) {
    if (AfterArchivWritten) AfterArchivWritten(path);
    std::optional<TFileDigest> digest;
    const std::string damage = CheckPackedArchive(path, FArchiv->GetFileItemsList().Items(), 0, &digest);
    if (damage.empty()) return digest;
    // The damaged archive is evidence too: the journal names it before it is set aside.
    TJournalRecord checked;
    checked.Kind = journalkind::Geprueft;
    checked.Archive = ExtractFileName(path);
    checked.Path = path;
    checked.Result = "fehlerhaft";
    checked.Detail = damage;
    try {
        checked.Sha256 = Sha256OfFile(path);
    } catch (const EOlvex&) {
        // Unreadable as a whole: the damage text says enough.
    }
    try {
        FJournalHead = journal.Append({checked});
    } catch (const EOlvex& error) {
        // The archive is set aside all the same; the administrator learns both.
        TavikInfo().RegisterFailure("TdmOlvexArchiv.ArchExecute", error.what());
    }
    // Set aside where it cannot be taken for a sound archive of the run; removed if that fails.
    const std::string aside = SetAsideName(path);
    std::string where;
    if (renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) == 0)
        where = "es liegt zur Untersuchung als „" + aside + "“ im Archivverzeichnis.";
    else if (unlink(path.c_str()) == 0)
        where = "es wurde entfernt.";
    else
        where = "es kann nicht entfernt werden (" + tavik::SystemErrorText(errno) + "), bitte „" + path +
                "“ von Hand löschen.";
    throw EOlvex("Das neue Archiv „" + path + "“ lässt sich nicht fehlerfrei zurücklesen: " + damage +
                 " Es wurde keine Datei gelöscht; " + where +
                 " Bitte den Datenträger des Archivverzeichnisses prüfen und den Lauf wiederholen.",
                 TErrorKind::DamagedArchive);
}

void TdmOlvexArchiv::JournalWrittenArchive(const std::string& path, TArchiveJournal& journal,
                                           const std::optional<TFileDigest>& digest) {
    const auto& packed = FArchiv->GetFileItemsList().Items();
    std::int64_t bytes = 0;
    for (const auto& item : packed) bytes += item.Size;
    const auto measure = FProfile.Measure("Archiv ins Journal");
    const TJournalRecord written = ArchiveWrittenRecord(path, static_cast<std::int64_t>(packed.size()), bytes, digest);
    FJournalHead = journal.Append(
        {written, ArchiveCheckedRecord(written, "fehlerfrei",
                                       "zurückgelesen: Name, Größe und CRC aller Einträge stimmen mit dem Gepackten "
                                       "überein")});
}

void TdmOlvexArchiv::SetArchivFileName(const std::string& name) {
    Guarded("TdmOlvexArchiv.SetArchivFileName", [&] {
        FArchivFileName.clear();
        FArchiv.reset();
        FArchivRefusal = {};
        // The window goes on while a format checks the file.
        FArchiv = OpenArchiv(name, &FArchivRefusal, [](TArchivFormatAbstract&, TArchivCommand, std::int64_t, std::int64_t) {
            TavikInfoProcessMessages(333);
        });
        if (FArchiv) {
            FArchivFileName = name;
            FArchivRefusal = {};
        }
    });
}

bool TdmOlvexArchiv::ArchivOnCommandItemStart(TArchivFormatAbstract&, TArchivCommand, PFileInfoItem& fileInfo) {
    return Guarded("TdmOlvexArchiv.ArchivOnCommandItemStart", false, [&] {
        // The engine asks about every item before it packs the first; the first keeps the line
        // until the progress of packing names the file whose bytes are read.
        if (pgdArchiv.ProgressCounters.at(0).Text.empty())
            pgdArchiv.SetCounterText(0, fileInfo ? fileInfo->FileName : std::string());
        return true;
    });
}

void TdmOlvexArchiv::ArchivOnCommandItemProgress(TArchivFormatAbstract&, TArchivCommand, PFileInfoItem fileInfo,
                                                 std::int64_t done, std::int64_t total) {
    Guarded("TdmOlvexArchiv.ArchivOnCommandItemProgress", [&] {
        // The line names the file whose bytes are being packed now.
        if (fileInfo && pgdArchiv.ProgressCounters.at(0).Text != fileInfo->FileName)
            pgdArchiv.SetCounterText(0, fileInfo->FileName);
        pgdArchiv.SetProgress(0, total, done);
    });
}

void TdmOlvexArchiv::ArchivOnCommandProgress(TArchivFormatAbstract&, TArchivCommand, std::int64_t done,
                                             std::int64_t total) {
    Guarded("TdmOlvexArchiv.ArchivOnCommandProgress", [&] {
        pgdArchiv.SetProgress(1, total, done);
        TavikInfoProcessMessages(333);
    });
}

void TdmOlvexArchiv::ArchivOnError(TArchivFormatAbstract&, TArchivCommand, TArchivErrorKind kind,
                                   const std::string& item, const std::string& reason, bool& flag) {
    Guarded("TdmOlvexArchiv.ArchivOnError", [&] {
        if (kind != TArchivErrorKind::Item) return;
        flag = true;
        FLastArchivFiles.push_back({item, TFileFate::Unreadable, reason});
    });
}

}  // namespace vendrask
