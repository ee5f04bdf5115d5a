#include "app/archiv_hold_command.h"

#include <iostream>
#include <optional>

#include "app/archiv_dir.h"
#include "app/archiv_status.h"
#include "host/services/archive_journal.h"
#include "host/services/exceptions.h"
#include "task/archiv_dir_lock.h"
#include "task/archiv_keeping.h"
#include "task/inventory_report.h"

namespace vendrask {

namespace {

// Nothing that could hide in a tab-separated journal line or a summary.
bool IsPlainReason(const std::string& reason) {
    if (reason.find_first_not_of(" \t") == std::string::npos) return false;
    for (const unsigned char c : reason)
        if (c < 0x20 || c == 0x7f) return false;
    return true;
}

}  // namespace

int RunHoldCommand(const std::vector<std::string>& args, const char* usageText) {
    std::optional<std::string> action, reason, given;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--reason") {
            if (i + 1 >= args.size() || reason)
                return ArchivUsage("--reason erwartet genau einen Grund (in Anführungszeichen).", usageText);
            reason = args[++i];
        } else if (!action && (arg == "on" || arg == "off")) {
            action = arg;
        } else if (const std::string problem = TakeArchivDir(arg, given, "hold"); !problem.empty()) {
            return ArchivUsage(problem, usageText);
        }
    }
    if (reason && !IsPlainReason(*reason))
        return ArchivUsage("Der Grund einer Löschsperre muss Text in einer Zeile sein.", usageText);
    if (action == "on" && !reason)
        return ArchivUsage("hold on erwartet --reason GRUND: wer später die Sperre sieht, soll wissen, warum.",
                           usageText);
    if (!action && reason) return ArchivUsage("--reason gilt nur mit hold on oder hold off.", usageText);
    const std::optional<std::string> dir = ArchivDirOf(given, usageText);
    if (!dir) return kArchivUsage;
    try {
        if (!action) {
            const TArchivKeeping keeping = TArchivKeeping::ForLooking(*dir, 0);
            if (!keeping.JournalProblem().empty()) throw tavik::EOlvex(keeping.JournalProblem());
            std::cout << (keeping.Hold().On ? HoldText(keeping.Hold()) : "Keine Löschsperre.") << "\n";
            return kArchivOk;
        }
        tavik::TArchiveJournal journal(*dir);
        // A delete run going on now finishes first; the next one sees the hold.
        const TArchivDirLock lock(*dir, ArchivLockWait(), [](const std::string& notice) {
            std::cerr << "vendrask-archiv: " << notice << "\n";
        });
        const TDeletionHold before = CurrentHold(journal);
        if (*action == "off" && !before.On) {
            std::cout << "Es besteht keine Löschsperre.\n";
            return kArchivOk;
        }
        tavik::TJournalRecord record;
        record.Kind = *action == "on" ? tavik::journalkind::SperreAn : tavik::journalkind::SperreAus;
        record.Detail = reason.value_or("");
        const std::string head = journal.Append({record});
        if (*action == "on")
            std::cout << HoldText(CurrentHold(journal)) << ". In " << *dir
                      << " wird nichts gelöscht, bis sie aufgehoben ist (vendrask-archiv hold off).\n";
        else
            std::cout << "Löschsperre aufgehoben (bestand seit " << LocalMoment(before.Since) << ": " << before.Reason
                      << ").\n";
        std::cout << "Journal: " << head << "\n";
        return kArchivOk;
    } catch (const tavik::EOlvex& error) {
        std::cerr << "vendrask-archiv: " << error.what() << "\n";
        return kArchivFailed;
    }
}

}  // namespace vendrask
