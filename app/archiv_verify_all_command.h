#pragma once
// vendrask-archiv verify-all: reads the archives of ARCHIV again, least recently verified first.
#include <string>
#include <vector>

namespace vendrask {

// args are the arguments after "verify-all". Returns the exit status (archiv_status.h): 1 when
// an archive is faulty (now or at its last verification) or overdue.
int RunVerifyAllCommand(const std::vector<std::string>& args, const char* usageText);

}  // namespace vendrask
