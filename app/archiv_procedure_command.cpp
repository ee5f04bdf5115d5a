#include "app/archiv_procedure_command.h"

#include <ctime>
#include <iostream>
#include <memory>
#include <optional>

#include "app/archiv_dir.h"
#include "app/archiv_status.h"
#include "app/usage_texts.h"
#include "host/services/date_time.h"
#include "host/services/exceptions.h"
#include "task/dmarchivu.h"
#include "task/procedure_facts.h"

namespace vendrask {

using namespace tavik;

int RunProcedureCommand(const std::vector<std::string>& args, const char* usageText) {
    const std::optional<TArchivDirChoice> dir = OnlyArchivDirOf(args, "procedure", usageText);
    if (!dir) return kArchivUsage;
    const std::optional<int> interval = VerificationInterval();
    if (!interval) return kArchivUsage;
    try {
        const std::time_t now = std::time(nullptr);
        // With an installation its directories and object table rules belong to the text.
        const std::unique_ptr<TdmOlvexArchiv> module = InstallationModule(*dir);
        const TProcedureFacts facts = ReadProcedureFacts(dir->Dir, *interval, now, module.get(), ProgramVersion());
        const TArchivKeeping keeping = TArchivKeeping::ForLooking(dir->Dir, BerlinYear(now));
        std::cout << ProcedureText(facts, keeping);
        if (!std::cout.flush()) {
            std::cerr << "vendrask-archiv: Der Text kann nicht auf die Standardausgabe geschrieben werden.\n";
            return kArchivFailed;
        }
        return kArchivOk;
    } catch (const EOlvex& error) {
        std::cerr << "vendrask-archiv: " << error.what() << "\n";
        return kArchivFailed;
    }
}

}  // namespace vendrask
