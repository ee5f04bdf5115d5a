#pragma once
// How long an archive of ARCHIV must be kept: until the period of every entry it holds has
// ended, each by the class of the retention periods that its name falls in.
#include <string>

#include "task/retention_rules.h"

namespace vendrask {

struct TArchiveRetention {
    bool Readable = false;
    std::string Problem;  // German: why its entries could not be read
    int Entries = 0;      // file entries
    int NewestYear = 0;   // the year of its newest entry, 0 without entries
    // Kept until 31 December of this year; 0: no period holds it (no entries, or 0 years each).
    int UntilYear = 0;
    TRetentionClass Deciding;   // the class of the entry whose period ends last
    std::string DecidingEntry;  // that entry's name

    // Whether the periods have ended in the given year (in Germany): the archive may go.
    bool EndedIn(int berlinYear) const { return Readable && berlinYear > UntilYear; }
};

// Reads the archive's central directory (not its data). An archive whose entries cannot be read
// has no known end: it is kept.
TArchiveRetention RetentionOfArchive(const std::string& path, const TRetentionRules& rules);

// "31.12.2034"
std::string KeptUntilText(int year);
// "Buchungsbelege, 8 Jahre" or, for a class without a line, what that means.
std::string ClassText(const TRetentionClass& retentionClass);
// Why an archive stays, for the delete page's note and the summaries:
// "aufzubewahren bis 31.12.2034 (Buchungsbelege, 8 Jahre: DATEN/Rechnungen/r1.pdf von 2026)".
std::string KeptReason(const TArchiveRetention& retention);

}  // namespace vendrask
