#pragma once
#include "task/dmarchivu.h"

namespace vendrask {

// A short German account of an attended automatic run on standard output.
void PrintRunSummary(const TdmOlvexArchiv& module);

}  // namespace vendrask
