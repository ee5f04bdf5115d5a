#pragma once
// The rules by which the scan makes a file a candidate, in one place for the scan and for the
// tools that explain it.
#include <string>

#include "host/services/date_time.h"
#include "host/services/object_table.h"

namespace vendrask {

struct TDecision {
    bool Candidate = false;
    std::string Note;    // the row's note
    std::string Reason;  // why, in words, for explanations
};

// Old means modified before midnight of the day `days` days before today, strictly.
bool IsOlderThan(tavik::TDateTime modified, tavik::TDateTime today, int days);

// A file of a host directory other than ARCHIV.
TDecision DecideArchive(const tavik::TObjektRTypExist& object, tavik::TDateTime modified, tavik::TDateTime today);
// A file of ARCHIV.
TDecision DecideDelete(const tavik::TObjektRTypExist& object, tavik::TDateTime modified, tavik::TDateTime today);

}  // namespace vendrask
