#pragma once
// vendrask-archiv journal: shows or checks the journal of ARCHIV.
#include <string>
#include <vector>

namespace vendrask {

// args are the arguments after "journal". Returns the exit status (archiv_status.h).
int RunJournalCommand(const std::vector<std::string>& args, const char* usageText);

}  // namespace vendrask
