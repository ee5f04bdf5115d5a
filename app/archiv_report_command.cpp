#include "app/archiv_report_command.h"

#include <cstdlib>
#include <ctime>
#include <iostream>
#include <optional>

#include "app/archiv_dir.h"
#include "app/archiv_status.h"
#include "host/services/exceptions.h"
#include "task/inventory_report.h"

namespace vendrask {

int RunReportCommand(const std::vector<std::string>& args, const char* usageText) {
    bool csv = false;
    std::optional<std::string> given;
    for (const std::string& arg : args) {
        if (arg == "--csv") {
            csv = true;
        } else if (const std::string problem = TakeArchivDir(arg, given, "report"); !problem.empty()) {
            return ArchivUsage(problem, usageText);
        }
    }
    const std::optional<std::string> dir = ArchivDirOf(given, usageText);
    if (!dir) return kArchivUsage;
    const std::optional<int> interval = VerificationInterval();
    if (!interval) return kArchivUsage;
    try {
        const TInventory inventory = ReadInventory(*dir, *interval, std::time(nullptr));
        const char* root = std::getenv("OLVEX_ROOT");
        const std::string installation = root != nullptr && *root != '\0' ? root : *dir;
        std::cout << (csv ? ReportCsv(inventory, installation) : ReportText(inventory, installation));
        if (!std::cout.flush()) {
            std::cerr << "vendrask-archiv: Der Bericht kann nicht auf die Standardausgabe geschrieben werden.\n";
            return kArchivFailed;
        }
        const bool sound = inventory.JournalIntact() && inventory.Failed() == 0 && inventory.Overdue() == 0 &&
                           inventory.Gone() == 0;
        return sound ? kArchivOk : kArchivFailed;
    } catch (const tavik::EOlvex& error) {
        std::cerr << "vendrask-archiv: " << error.what() << "\n";
        return kArchivFailed;
    }
}

}  // namespace vendrask
