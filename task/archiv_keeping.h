#pragma once
// What keeps a file of ARCHIV that a run, a rule or the user would delete: a deletion hold, a
// failed verification (the archive is evidence), or the retention periods of an archive
// vendrask wrote. One answer for every path that deletes, for the scan's notes and for the
// tools that explain what the next run would do.
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "task/archive_retention.h"
#include "task/retention_rules.h"

namespace tavik {
class TArchiveJournal;
}

namespace vendrask {

struct TDeletionHold {
    bool On = false;
    std::string Reason;
    std::string Since;  // UTC, as the journal writes moments
};

// The hold as the journal's last hold record leaves it.
TDeletionHold CurrentHold(const tavik::TArchiveJournal& journal);
// "Löschsperre seit 09.12.2026 14:00: Betriebsprüfung 2021–2023"
std::string HoldText(const TDeletionHold& hold);

class TArchivKeeping;

// For reports: the hold, where the retention periods come from, and a warning for each line
// that switches them off or for a file that cannot be used.
std::vector<std::string> KeepingLines(const TArchivKeeping& keeping);

enum class TKeptBy { Nothing, Hold, Evidence, Retention };

struct TKeepVerdict {
    TKeptBy By = TKeptBy::Nothing;
    std::string Reason;  // German, empty when nothing keeps it
    std::string Note;    // the same, short, for the note column of a candidate list
    bool Kept() const { return By != TKeptBy::Nothing; }
};

class TArchivKeeping {
public:
    // For whoever deletes: the journal is open for writing; the periods' file is written when
    // missing and recorded when changed. berlinYear: the current year in Germany.
    static TArchivKeeping ForDeleting(const std::string& archivDir, tavik::TArchiveJournal& journal, int berlinYear);
    // For looking only: reads the journal when there is one, writes nothing.
    static TArchivKeeping ForLooking(const std::string& archivDir, int berlinYear);

    const std::string& ArchivDir() const { return FArchivDir; }
    const TDeletionHold& Hold() const { return FHold; }
    // The periods, nothing when their file cannot be used (RulesProblem says why).
    const std::optional<TRetentionRules>& Rules() const { return FRules; }
    const std::string& RulesProblem() const { return FRulesProblem; }
    // Why the journal could not be read, when it could not; empty otherwise (also when there is none).
    const std::string& JournalProblem() const { return FJournalProblem; }
    int Year() const { return FYear; }

    // An archive that vendrask wrote: in ARCHIV's top level, named as the run names them, and
    // either opening as a ZIP archive or known to the journal as written (a damaged one stays
    // one of ours).
    bool IsWrittenArchive(const std::string& path) const;
    // What keeps the file at path from being deleted now.
    TKeepVerdict Judge(const std::string& path) const;
    // The retention of a written archive (its central directory read now).
    TArchiveRetention RetentionOf(const std::string& path) const;

private:
    TArchivKeeping(std::string archivDir, int berlinYear) : FArchivDir(std::move(archivDir)), FYear(berlinYear) {}
    void ReadJournal(const tavik::TArchiveJournal& journal);

    std::string FArchivDir;
    int FYear = 0;
    TDeletionHold FHold;
    std::set<std::string> FFaulty;   // names of archives whose last verification failed
    std::set<std::string> FWritten;  // names of archives the journal says were written
    std::optional<TRetentionRules> FRules;
    std::string FRulesProblem;
    std::string FJournalProblem;
};

}  // namespace vendrask
