#pragma once
// Where the commands of vendrask-archiv that work on ARCHIV find it: the folder given, or the
// installation's ARCHIV through OLVEX_ROOT.
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vendrask {

class TdmOlvexArchiv;

// Takes an argument that is no option of the command as its ARCHIVVERZEICHNIS: empty, or what is
// wrong with it (an unknown option, a second folder), for the usage message.
std::string TakeArchivDir(const std::string& arg, std::optional<std::string>& dir, const std::string& command);

// The folder to work on; nothing after a message on stderr (status kArchivUsage).
std::optional<std::string> ArchivDirOf(const std::optional<std::string>& given, const char* usageText);

// For a command whose only argument is an optional ARCHIVVERZEICHNIS: the folder to work on
// and whether it was given; nothing after a usage message (status kArchivUsage).
struct TArchivDirChoice {
    std::string Dir;
    bool Given = false;
};
std::optional<TArchivDirChoice> OnlyArchivDirOf(const std::vector<std::string>& args, const std::string& command,
                                                const char* usageText);

// The installation's module (its directories and object table) for a command on the ARCHIV that
// OLVEX_ROOT names; nullptr for a folder given on the command line.
std::unique_ptr<TdmOlvexArchiv> InstallationModule(const TArchivDirChoice& choice);

// The host setting PruefIntervall where an installation is named (OLVEX_ROOT), else its default;
// nothing after a message on stderr when the setting is unusable.
std::optional<int> VerificationInterval();

// How long to wait for a run that holds ARCHIV: the host setting ArchivLockWait where an
// installation is named, else its default. Throws EOlvex when the setting is unusable.
std::chrono::milliseconds ArchivLockWait();

// The client's name of the installation named by OLVEX_ROOT (host setting "client"); empty
// without an installation, or after a message on stderr when it cannot be read.
std::string ClientName();

}  // namespace vendrask
