#pragma once
// vendrask-archiv export --year JAHR ZIEL [ARCHIVVERZEICHNIS]: the records of a year from the
// archives of ARCHIV as a BagIt bag in the new folder ZIEL, for a tax audit.
#include <csignal>
#include <string>
#include <vector>

namespace vendrask {

// args without the command word. Returns the exit status (archiv_status.h): 0 the bag is
// complete, 1 refused or failed (ZIEL exists, no records of the year, an archive unreadable or
// changed; nothing is left behind), 2 wrong usage.
int RunExportCommand(const std::vector<std::string>& args, const char* usageText,
                     const volatile std::sig_atomic_t& interrupted);

}  // namespace vendrask
