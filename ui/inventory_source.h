#pragma once
// Where the window finds ARCHIV and its verification interval: through the installation that
// OLVEX_ROOT names, as the archive run does.
#include <string>

namespace vendrask {

struct TInventorySource {
    std::string ArchivDir;     // empty: there is nothing to show, Reason says why
    std::string Installation;  // the installation's root, for the report's heading
    int IntervalDays = 0;
    std::string Reason;        // German
};

TInventorySource FindInventorySource();

}  // namespace vendrask
