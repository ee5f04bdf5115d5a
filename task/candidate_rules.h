#pragma once
// The rules by which the scan makes a file a candidate, in one place for the scan and for the
// tools that explain it.
#include <string>

#include "host/services/date_time.h"
#include "host/services/object_table.h"

namespace vendrask {

enum class TReason { Unknown, NotArchived, NoLimit, Old, NotOld, OwnArchive };

struct TDecision {
    bool Candidate = false;
    TReason Reason = TReason::Unknown;
};

// Old means modified before midnight of the day `days` days before today, strictly.
bool IsOlderThan(tavik::TDateTime modified, tavik::TDateTime today, int days);

// A file of a host directory other than ARCHIV.
TDecision DecideArchive(const tavik::TObjektRTypExist& object, tavik::TDateTime modified, tavik::TDateTime today);
// A file of ARCHIV. ownArchive: the file is an archive of the archive run (own_archive.h), which
// only a rule deletes, by age, and never the absence of one.
TDecision DecideDelete(const tavik::TObjektRTypExist& object, tavik::TDateTime modified, tavik::TDateTime today,
                       bool ownArchive = false);

// The note of a candidate row of the archive scan or of the delete scan.
std::string ArchiveNote(const tavik::TObjektRTypExist& object);
std::string DeleteNote(const tavik::TObjektRTypExist& object);

// Why, in words, for explanations.
std::string ReasonText(TReason reason, int days);

}  // namespace vendrask
