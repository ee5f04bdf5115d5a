#include "app/archiv_verify_all_command.h"

#include <ctime>
#include <iostream>
#include <optional>

#include "app/archiv_dir.h"
#include "app/archiv_status.h"
#include "host/services/digits.h"
#include "host/services/exceptions.h"
#include "task/archive_inventory.h"
#include "task/archive_verification.h"

namespace vendrask {

namespace {

std::string Plural(int n, const char* one, const char* many) { return std::to_string(n) + " " + (n == 1 ? one : many); }

}  // namespace

int RunVerifyAllCommand(const std::vector<std::string>& args, const char* usageText) {
    TVerifyAllOptions options;
    std::optional<std::string> given;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--max-duration") {
            const auto minutes = i + 1 < args.size() ? tavik::DigitsValue(args[i + 1], 7 * 24 * 60) : std::nullopt;
            if (!minutes || *minutes == 0)
                return ArchivUsage("--max-duration erwartet eine Zahl von Minuten (1 bis 10080).", usageText);
            options.MaxDuration = std::chrono::minutes(*minutes);
            ++i;
        } else if (const std::string problem = TakeArchivDir(arg, given, "verify-all"); !problem.empty()) {
            return ArchivUsage(problem, usageText);
        }
    }
    const std::optional<std::string> dir = ArchivDirOf(given, usageText);
    if (!dir) return kArchivUsage;
    const std::optional<int> interval = VerificationInterval();
    if (!interval) return kArchivUsage;

    try {
        // Whoever verifies must be able to record it.
        tavik::TArchiveJournal journal(*dir);
        TInventory inventory = ReadInventory(*dir, *interval, std::time(nullptr));
        options.OnArchive = [](const std::string& name, int index, int count) {
            std::cout << "Prüfe " << name << " (" << index + 1 << " von " << count << ") ... " << std::flush;
            return true;
        };
        options.OnVerdict = [](const TArchiveVerdict& verdict) {
            if (verdict.Sound)
                std::cout << "fehlerfrei (" << verdict.BySha256 << " durch SHA-256, " << verdict.ByCrcOnly
                          << " nur durch CRC-32 bestätigt)\n";
            else
                std::cout << "FEHLERHAFT: " << verdict.Detail << "\n";
        };
        const TVerifyAllResult result = VerifyArchives(inventory, journal, options);
        ApplyVerdicts(inventory, result, std::time(nullptr));
        const TInventory& after = inventory;
        int failed = 0;
        std::string failedNames, overdueNames, goneNames;
        for (const TInventoryArchive& archive : after.Archives) {
            if (archive.Gone()) goneNames += (goneNames.empty() ? "" : ", ") + archive.Name;
            if (!archive.Present) continue;
            if (archive.Failed()) {
                ++failed;
                failedNames += (failedNames.empty() ? "" : ", ") + archive.Name;
            }
            if (archive.Overdue) overdueNames += (overdueNames.empty() ? "" : ", ") + archive.Name;
        }
        std::cout << Plural(static_cast<int>(result.Verdicts.size()), "Archiv", "Archive") << " vollständig geprüft, "
                  << Plural(result.Failed(), "fehlerhaft", "fehlerhaft");
        if (result.NotReached > 0)
            std::cout << "; " << Plural(result.NotReached, "Archiv", "Archive")
                      << " nicht mehr erreicht (Zeitbudget aufgebraucht)";
        std::cout << ".\n";
        if (failed > 0)
            std::cout << "Fehlerhaft (werden nicht gelöscht, sie sind Beweismittel): " << failedNames << "\n";
        if (!overdueNames.empty())
            std::cout << "Überfällig (seit mehr als " << *interval << " Tagen nicht geprüft): " << overdueNames << "\n";
        if (!goneNames.empty())
            std::cout << "Fehlt (laut Journal geschrieben, außerhalb von vendrask gelöscht): " << goneNames << "\n";
        std::cout << JournalStateText(after) << "\n";
        std::cout << "Journal: " << result.JournalHead << "\n";
        const bool sound = failed == 0 && overdueNames.empty() && goneNames.empty() && after.JournalIntact();
        return sound ? kArchivOk : kArchivFailed;
    } catch (const tavik::EOlvex& error) {
        std::cerr << "vendrask-archiv: " << error.what() << "\n";
        return kArchivFailed;
    }
}

}  // namespace vendrask
