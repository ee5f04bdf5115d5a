#pragma once
// vendrask-archiv restore [--to DIR] [--overwrite] ARCHIV NR ...: entries of an archive back
// to their places in the installation of OLVEX_ROOT, or below DIR.
#include <csignal>
#include <string>
#include <vector>

namespace vendrask {

// args without the command word. Returns the exit status: 0 every entry restored, 1 an entry
// refused or not restored, the archive unreadable (reasons on standard error), 2 wrong usage or
// no installation to restore into.
int RunRestoreCommand(const std::vector<std::string>& args, const char* usageText,
                      const volatile std::sig_atomic_t& interrupted);

}  // namespace vendrask
