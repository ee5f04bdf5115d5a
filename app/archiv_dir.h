#pragma once
// Where the commands of vendrask-archiv that work on ARCHIV find it: the folder given, or the
// installation's ARCHIV through OLVEX_ROOT.
#include <optional>
#include <string>

namespace vendrask {

// The folder to work on; nothing after a message on stderr (status kArchivUsage).
std::optional<std::string> ArchivDirOf(const std::optional<std::string>& given, const char* usageText);

// The host setting PruefIntervall where an installation is named (OLVEX_ROOT), else its default;
// nothing after a message on stderr when the setting is unusable.
std::optional<int> VerificationInterval();

}  // namespace vendrask
