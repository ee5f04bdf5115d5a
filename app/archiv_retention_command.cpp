#include "app/archiv_retention_command.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>

#include "app/archiv_dir.h"
#include "app/archiv_status.h"
#include "host/services/date_time.h"
#include "host/services/exceptions.h"
#include "host/services/fs_names.h"
#include "host/services/paths.h"
#include "task/cleanup_forecast.h"
#include "task/dmarchivu.h"
#include "task/listed_name.h"

namespace vendrask {

namespace {

using namespace tavik;

// The archives vendrask wrote, by name.
std::vector<std::string> WrittenArchives(const TArchivKeeping& keeping) {
    std::vector<std::string> paths;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(keeping.ArchivDir(), error)) {
        const std::string path = entry.path().string();
        if (entry.is_regular_file(error) && !entry.is_symlink(error) && keeping.IsWrittenArchive(path))
            paths.push_back(path);
    }
    if (error)
        throw EOlvex("„" + keeping.ArchivDir() + "“ kann nicht gelesen werden: " + error.message() +
                     ". Bitte die Rechte prüfen.");
    std::sort(paths.begin(), paths.end());
    return paths;
}

void PrintHeading(const TArchivKeeping& keeping) {
    for (const std::string& line : KeepingLines(keeping)) std::cout << line << "\n";
    if (keeping.Rules())
        for (const TRetentionClass& line : keeping.Rules()->Classes())
            std::cout << "  Zeile " << line.Line << ": " << line.Pattern << "  " << line.Years << " Jahre  "
                      << line.Description << "\n";
    if (!keeping.JournalProblem().empty()) std::cout << "Journal: " << keeping.JournalProblem() << "\n";
    std::cout << "\nArchiv\tJahr des neuesten Eintrags\tentscheidende Frist\taufzubewahren\tnächster Löschlauf (-L)\n";
}

}  // namespace

int RunRetentionCommand(const std::vector<std::string>& args, const char* usageText) {
    const std::optional<TArchivDirChoice> dir = OnlyArchivDirOf(args, "retention", usageText);
    if (!dir) return kArchivUsage;
    try {
        // With an installation the object table's rules tell which archives the next run takes.
        const std::unique_ptr<TdmOlvexArchiv> module = InstallationModule(*dir);
        const TDateTime now = module ? module->Clock() : Now();
        const TArchivKeeping keeping = TArchivKeeping::ForLooking(dir->Dir, BerlinYear(DateTimeToFileTime(now)));
        PrintHeading(keeping);
        for (const std::string& path : WrittenArchives(keeping)) {
            struct stat info {};
            if (lstat(path.c_str(), &info) != 0) continue;
            std::optional<TObjektRTypExist> object;
            if (module && module->TavikFSNames() && module->GetROBJTab())
                object = module->GetROBJTab()->GetObjektRTypExistByName(
                    module->TavikFSNames()->GetTavikFSName(path), module->RTyp());
            const TArchiveForecast forecast =
                ForecastArchive(keeping, path, object, FileTimeToDateTime(info.st_mtime), now);
            const TArchiveRetention& retention = forecast.Retention;
            std::cout << ListedName(ExtractFileName(path)) << "\t"
                      << (retention.NewestYear > 0 ? std::to_string(retention.NewestYear) : "-") << "\t"
                      << (retention.UntilYear > 0 ? ListedName(ClassText(retention.Deciding)) : "-") << "\t"
                      << RetentionEndText(retention) << "\t" << ListedName(forecast.Why) << "\n";
        }
        if (!std::cout.flush()) {
            std::cerr << "vendrask-archiv: Die Vorschau kann nicht auf die Standardausgabe geschrieben werden.\n";
            return kArchivFailed;
        }
        return keeping.Rules() && keeping.JournalProblem().empty() ? kArchivOk : kArchivFailed;
    } catch (const EOlvex& error) {
        std::cerr << "vendrask-archiv: " << error.what() << "\n";
        return kArchivFailed;
    }
}

}  // namespace vendrask
