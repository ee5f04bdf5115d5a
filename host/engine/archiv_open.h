#pragma once
// Opening an archive by its name as the program does: a name ending in ".zip" (any case)
// is taken as ZIP without looking at the file; any other file must pass the simple check
// of format 0, else of format 1.
#include <memory>
#include <string>

#include "host/engine/archiv_format.h"

namespace tavik {

bool HasZipExtension(const std::string& name);

// The engine object for the file, or none when neither format accepts it.
std::unique_ptr<TArchivFormatAbstract> OpenArchiv(const std::string& name);

}  // namespace tavik
