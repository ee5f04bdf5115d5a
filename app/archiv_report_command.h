#pragma once
// vendrask-archiv report: the inventory of ARCHIV, as text or CSV.
#include <string>
#include <vector>

namespace vendrask {

// args are the arguments after "report". Returns the exit status (archiv_status.h): 1 when the
// journal is not intact or an archive is faulty or overdue.
int RunReportCommand(const std::vector<std::string>& args, const char* usageText);

}  // namespace vendrask
