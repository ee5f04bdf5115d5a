#pragma once
// vendrask-archiv hold: sets, lifts or shows the deletion hold of ARCHIV.
#include <string>
#include <vector>

namespace vendrask {

int RunHoldCommand(const std::vector<std::string>& args, const char* usageText);

}  // namespace vendrask
