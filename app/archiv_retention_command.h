#pragma once
// vendrask-archiv retention: every archive of ARCHIV with its retention period and what the next
// delete run (-L) would do with it.
#include <string>
#include <vector>

namespace vendrask {

int RunRetentionCommand(const std::vector<std::string>& args, const char* usageText);

}  // namespace vendrask
