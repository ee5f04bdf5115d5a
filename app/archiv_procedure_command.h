#pragma once
// vendrask-archiv procedure: how archiving works in this installation, in German, for the
// Verfahrensdokumentation.
#include <string>
#include <vector>

namespace vendrask {

int RunProcedureCommand(const std::vector<std::string>& args, const char* usageText);

}  // namespace vendrask
