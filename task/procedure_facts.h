#pragma once
// What the procedure text describes, read from the installation, ARCHIV and the installed timers.
#include <ctime>
#include <string>

#include "task/procedure_text.h"

namespace vendrask {

class TdmOlvexArchiv;

// module: the installation's module (directories, object table), nullptr for a folder of
// archives without one. Throws EOlvex.
TProcedureFacts ReadProcedureFacts(const std::string& archivDir, int intervalDays, std::time_t now,
                                   TdmOlvexArchiv* module, const std::string& version);

}  // namespace vendrask
