#include "app/run_summary.h"

#include <cstdio>
#include <string>
#include <vector>

#include "host/services/formatting.h"
#include "host/services/tavik_info.h"

namespace vendrask {

namespace {

std::string Files(std::size_t count) { return std::to_string(count) + (count == 1 ? " Datei" : " Dateien"); }

const char* Why(TFileFate fate) {
    switch (fate) {
        case TFileFate::KeptChanged: return "verändert";
        case TFileFate::KeptReadOnly: return "schreibgeschützt";
        case TFileFate::KeptNoRights: return "keine Rechte";
        case TFileFate::KeptGroup: return "bleibt bei ihrer Gruppe (Tabelle related_file)";
        case TFileFate::Unreadable: return "nicht lesbar";
        case TFileFate::RefusedName: return "Name nicht wiederherstellbar";
        case TFileFate::KeptOther:
        case TFileFate::KeptHold:
        case TFileFate::KeptRetention:
        case TFileFate::Deleted: break;
    }
    return "";
}

// "  Title: n Dateien:" and one line per file with its reason.
void PrintGroup(const char* title, const std::vector<const TFileOutcome*>& files) {
    if (files.empty()) return;
    std::printf("  %s: %s:\n", title, Files(files.size()).c_str());
    for (const TFileOutcome* file : files) {
        const std::string why = *Why(file->Fate) != '\0' ? Why(file->Fate) : file->Reason;
        std::printf("    „%s“: %s\n", file->Path.c_str(), why.c_str());
    }
}

bool AnyReadOnly(const std::vector<const TFileOutcome*>& files) {
    for (const TFileOutcome* file : files)
        if (file->Fate == TFileFate::KeptReadOnly) return true;
    return false;
}

void PrintArchivRun(const TdmOlvexArchiv& module) {
    const auto& run = module.LastArchivRun();
    using TState = TdmOlvexArchiv::TArchivRunResult::TState;
    // Each file once: kept before packing, not readable, or packed but kept.
    std::vector<const TFileOutcome*> keptUnpacked, notArchived, keptPacked;
    std::size_t deleted = 0;
    for (const TFileOutcome& file : module.LastArchivFiles()) {
        if (file.Fate == TFileFate::Deleted)
            ++deleted;
        else if (file.Archived)
            keptPacked.push_back(&file);
        else if (file.Fate == TFileFate::Unreadable || file.Fate == TFileFate::RefusedName)
            notArchived.push_back(&file);
        else
            keptUnpacked.push_back(&file);
    }
    if (run.State == TState::Failed && run.LockMissed) {
        std::printf("Archivieren: ARCHIV war von einem anderen Lauf gesperrt; es wurde nichts archiviert und nichts "
                    "gelöscht.\n");
    } else if (run.State == TState::Failed && run.Failure == tavik::TErrorKind::DiskFull) {
        std::printf("Archivieren: fehlgeschlagen, im Archivverzeichnis ist nicht genug Platz; es wurde nichts gelöscht.\n");
    } else if (run.State == TState::Failed && run.Failure == tavik::TErrorKind::NoRights) {
        std::printf("Archivieren: fehlgeschlagen, im Archivverzeichnis fehlen die Rechte zum Schreiben; es wurde nichts "
                    "gelöscht.\n");
    } else if (run.State == TState::Failed && run.Failure == tavik::TErrorKind::Aborted) {
        std::printf("Archivieren: abgebrochen, es wurde nichts gelöscht.\n");
    } else if (run.State == TState::Failed) {
        std::printf("Archivieren: fehlgeschlagen, es wurde nichts gelöscht.\n");
    } else if (run.State == TState::NothingToDo && notArchived.empty() && keptUnpacked.empty()) {
        std::printf("Archivieren: keine Dateien zu archivieren.\n");
    } else if (run.State == TState::NothingToDo) {
        std::printf("Archivieren: es wurde kein Archiv geschrieben.\n");
    } else {
        std::printf("Archivieren: %s (%s) nach %s geschrieben.\n", Files(static_cast<std::size_t>(run.Files)).c_str(),
                    tavik::tavik_FormatByteSize(run.Bytes).c_str(), run.Path.c_str());
        std::printf("  Gelöscht: %s.\n", Files(deleted).c_str());
        PrintGroup("Archiviert, aber erhalten", keptPacked);
    }
    if (run.State == TState::Failed && run.JournalRefused)
        std::printf("  Das Journal in ARCHIV kann nicht geschrieben werden; ohne Journal wird nichts archiviert und "
                    "nichts gelöscht.\n");
    PrintGroup("Nicht archiviert", notArchived);
    PrintGroup("Erhalten, nicht archiviert", keptUnpacked);
    if (AnyReadOnly(keptUnpacked))
        std::printf("  Schreibgeschützte Dateien werden weder archiviert noch gelöscht: zum Archivieren beschreibbar "
                    "machen, zum Behalten in der Tabelle object_rule eine Regel mit archive = 0 geben.\n");
}

void PrintDeleteRun(const TdmOlvexArchiv& module) {
    if (module.LastDeleteLocked()) {
        std::printf("Löschen: ARCHIV war von einem anderen Lauf gesperrt; es wurde nichts gelöscht.\n");
        return;
    }
    if (module.LastDeleteJournalRefused()) {
        std::printf("Löschen: das Journal in ARCHIV kann nicht geschrieben werden; es wurde nichts gelöscht.\n");
        return;
    }
    std::vector<const TFileOutcome*> kept, held, retained;
    for (const TFileOutcome& file : module.LastDeleteFiles())
        if (file.Fate == TFileFate::KeptHold)
            held.push_back(&file);
        else if (file.Fate == TFileFate::KeptRetention)
            retained.push_back(&file);
        else if (file.Fate != TFileFate::Deleted)
            kept.push_back(&file);
    std::printf("Löschen: %s gelöscht, %s erhalten.\n", Files(module.LastDeleted().size()).c_str(),
                Files(kept.size() + held.size() + retained.size()).c_str());
    if (module.LastDeleteHold().On)
        std::printf("  %s. In ARCHIV wird nichts gelöscht, bis sie aufgehoben ist (vendrask-archiv hold off); "
                    "%s wären sonst zu löschen.\n",
                    HoldText(module.LastDeleteHold()).c_str(), Files(held.size()).c_str());
    PrintGroup("Aufzubewahren", retained);
    PrintGroup("Erhalten", kept);
    if (AnyReadOnly(kept))
        std::printf("  Schreibgeschützte Dateien werden nicht gelöscht: zum Löschen beschreibbar machen, zum "
                    "Behalten in der Tabelle object_rule eine Regel mit days = 0 geben.\n");
}

}  // namespace

void PrintRunSummary(const TdmOlvexArchiv& module) {
    if (module.AutoArchivieren) PrintArchivRun(module);
    if (module.AutoDelete) PrintDeleteRun(module);
    // Kept with the run's log, the head later shows whether the journal was cut short since.
    if (!module.JournalHead().empty()) std::printf("Journal: %s\n", module.JournalHead().c_str());
    const int failures = tavik::TavikInfo().FailureCount();
    if (failures > 0) std::printf("Fehler: %d (Einzelheiten in der Fehlerausgabe).\n", failures);
}

}  // namespace vendrask
