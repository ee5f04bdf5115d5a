#pragma once
// What became of each file that the archive run or the delete run took in hand, as it really
// happened: the summary of an attended run counts from these.
#include <string>

#include "host/services/safe_delete.h"

namespace vendrask {

enum class TFileFate {
    Deleted,       // archived (archive run) and deleted
    KeptChanged,   // stays: it changed since it was read or listed
    KeptReadOnly,  // stays: it is read-only
    KeptNoRights,  // stays: the run may not delete it
    KeptOther,     // stays for the reason given
    KeptHold,      // stays: a deletion hold is on in ARCHIV
    KeptRetention, // stays: an archive within its retention period (the reason says until when)
    KeptGroup,     // stays with the other files of its related_file group, one of which must stay
    Unreadable,    // not archived: it could not be read
    RefusedName,   // not archived: its name could not be restored from an archive
};

struct TFileOutcome {
    std::string Path;
    TFileFate Fate = TFileFate::KeptOther;
    std::string Reason;     // German
    bool Archived = false;  // it is in the archive the run wrote
};

// The fate of a file after a deletion; false for a file that was gone already.
bool FateOfDeletion(const tavik::TDeleteResult& result, TFileFate& fate);

}  // namespace vendrask
