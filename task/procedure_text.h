#pragma once
// How archiving works in this installation as it is configured now, in German: the part of a
// company's Verfahrensdokumentation that a tax auditor asks about.
#include <cstdint>
#include <string>
#include <vector>

#include "host/services/db_connector.h"
#include "task/archiv_keeping.h"

namespace vendrask {

struct TProcedureFacts {
    std::string Now;           // UTC, as the journal writes moments
    std::string Version;       // of vendrask
    std::string Installation;  // the root, empty without an installation
    std::string Client;        // the client's name
    int RTyp = 0;
    struct TDirectory {
        std::string Name, Path;
    };
    std::vector<TDirectory> Directories;
    std::vector<tavik::TObjectRule> Rules;
    std::string NightlyTimer;       // OnCalendar of the installed cleanup timer, empty when none
    std::string VerificationTimer;  // the same for the re-verification
    std::string VerificationBudget;  // minutes, from the package's defaults, empty when unknown
    int VerificationInterval = 0;    // days
    std::string JournalPath;
    bool JournalPresent = false;
    bool JournalIntact = false;
    std::string JournalFinding;   // what the check found, German
    std::int64_t JournalRecords = 0;
    std::string JournalHead;
    std::string LastVerification;  // UTC of the last verification of any archive, empty when none
    std::string AllVerifiedSince;  // UTC, empty when not every archive was verified yet
};

// The text, one paragraph per topic, lines of at most about 100 characters.
std::string ProcedureText(const TProcedureFacts& facts, const TArchivKeeping& keeping);

}  // namespace vendrask
