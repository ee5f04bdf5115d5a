#pragma once
// vendrask-archiv find [--dir DIR] MUSTER ...: every entry of every archive in DIR (default
// ARCHIV of the installation) whose name matches, one line per hit.
#include <string>
#include <vector>

namespace vendrask {

// args without the command word. Returns the exit status: 0 the search ran (with or without
// hits), 1 an archive could not be read or DIR not at all (reasons on standard error), 2 wrong
// usage or no directory to search.
int RunFindCommand(const std::vector<std::string>& args, const char* usageText);

}  // namespace vendrask
