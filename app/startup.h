#pragma once
#include "host/services/command_line.h"

namespace vendrask {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitNoInstallation = 2;

// The program's start-up: switches, program object, task module, then the automatic runs or
// the main window. Returns the exit status.
int RunStartup(const tavik::TParameters& parameters);

}  // namespace vendrask
