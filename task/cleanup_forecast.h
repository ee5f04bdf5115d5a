#pragma once
// What the next delete run (-L) would do with an archive of ARCHIV, and why: the object table's
// rule first, then what keeps it (a hold, evidence, its retention period).
#include <optional>
#include <string>

#include "host/services/date_time.h"
#include "host/services/object_table.h"
#include "task/archiv_keeping.h"
#include "task/candidate_rules.h"

namespace vendrask {

struct TArchiveForecast {
    std::string Path;
    TArchiveRetention Retention;
    TKeepVerdict Kept;
    bool Deletes = false;  // the next -L deletes it
    std::string Why;       // German, beginning with what happens: "wird gelöscht: ...", "bleibt: ..."
};

// object: the object table's answer for the archive, nothing when no installation was asked.
// modified, today: the archive's time and the run's day, as the scan takes them.
TArchiveForecast ForecastArchive(const TArchivKeeping& keeping, const std::string& path,
                                 const std::optional<tavik::TObjektRTypExist>& object, tavik::TDateTime modified,
                                 tavik::TDateTime today);

// "bis 31.12.2034", "keine Frist" or why it is not known
std::string RetentionEndText(const TArchiveRetention& retention);

}  // namespace vendrask
