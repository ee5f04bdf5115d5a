#include "app/archiv_dir.h"

#include <cstdlib>
#include <exception>
#include <iostream>

#include "app/archiv_status.h"
#include "host/services/fs_names.h"
#include "host/services/host_settings.h"
#include "host/services/tavik_programm.h"
#include "task/dmarchivu.h"
#include "host/services/tavik_programm.h"

namespace vendrask {

std::string TakeArchivDir(const std::string& arg, std::optional<std::string>& dir, const std::string& command) {
    if (arg.size() > 1 && arg[0] == '-') return "Unbekannte Option „" + arg + "“ für " + command + ".";
    if (dir) return command + " erwartet höchstens ein Archivverzeichnis.";
    dir = arg;
    return {};
}

std::optional<std::string> ArchivDirOf(const std::optional<std::string>& given, const char* usageText) {
    if (given) return given;
    const char* root = std::getenv("OLVEX_ROOT");
    if (root == nullptr || *root == '\0') {
        ArchivUsage("Kein Archivverzeichnis: bitte ARCHIVVERZEICHNIS angeben oder OLVEX_ROOT auf die "
                    "Olvex-Installation setzen.",
                    usageText);
        return std::nullopt;
    }
    try {
        return tavik::GetDirOlvexByName("ARCHIV", "", true);
    } catch (const std::exception& error) {
        std::cerr << "vendrask-archiv: " << error.what() << "\n";
        return std::nullopt;
    }
}

std::optional<TArchivDirChoice> OnlyArchivDirOf(const std::vector<std::string>& args, const std::string& command,
                                                const char* usageText) {
    std::optional<std::string> given;
    for (const std::string& arg : args)
        if (const std::string problem = TakeArchivDir(arg, given, command); !problem.empty()) {
            ArchivUsage(problem, usageText);
            return std::nullopt;
        }
    const std::optional<std::string> dir = ArchivDirOf(given, usageText);
    if (!dir) return std::nullopt;
    return TArchivDirChoice{*dir, given.has_value()};
}

std::unique_ptr<TdmOlvexArchiv> InstallationModule(const TArchivDirChoice& choice) {
    if (choice.Given) return nullptr;
    tavik::TavikProgramm().Init("VENDRASK", tavik::TEnumProzessTypen::ptDialog, tavik::TPVR_InstanceCount::icAny, 0,
                                true);
    return std::make_unique<TdmOlvexArchiv>(tavik::TParameters{"vendrask-archiv"});
}

std::optional<int> VerificationInterval() {
    const char* root = std::getenv("OLVEX_ROOT");
    if (root == nullptr || *root == '\0') return tavik::kDefaultPruefIntervall;
    try {
        return tavik::PruefIntervallSetting();
    } catch (const std::exception& error) {
        std::cerr << "vendrask-archiv: " << error.what() << "\n";
        return std::nullopt;
    }
}

std::chrono::milliseconds ArchivLockWait() {
    const char* root = std::getenv("OLVEX_ROOT");
    if (root == nullptr || *root == '\0') return tavik::kDefaultArchivLockWait;
    return tavik::ArchivLockWaitSetting();
}

std::string ClientName() {
    const char* root = std::getenv("OLVEX_ROOT");
    if (root == nullptr || *root == '\0') return {};
    try {
        return tavik::TavikProgramm().GetTextMandant();
    } catch (const std::exception& error) {
        std::cerr << "vendrask-archiv: Der Name des Mandanten kann nicht gelesen werden: " << error.what() << "\n";
        return {};
    }
}

}  // namespace vendrask
