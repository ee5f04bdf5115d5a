#pragma once
// The archives of ARCHIV as the journal and the folder show them together: what was written and
// when, what was verified with which result, what is overdue, what is gone and what the journal
// does not know. The report, the re-verification and the window's inventory page read it.
#include <cstdint>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "host/services/archive_journal.h"

namespace vendrask {

// The words a verification's result is recorded with.
inline constexpr const char* kVerifiedSound = "fehlerfrei";
inline constexpr const char* kVerifiedFaulty = "fehlerhaft";

struct TInventoryArchive {
    std::string Name;         // file name in ARCHIV
    bool Present = false;     // the file is there
    bool Journaled = false;   // the journal recorded its writing
    std::string Written;      // when (UTC, as the journal writes moments); for others the file's time
    std::optional<std::int64_t> Entries;
    std::optional<std::int64_t> Size;  // of the file when present, else as recorded
    std::string Sha256;       // of the whole file, as the journal first recorded it
    std::string LastVerified;  // the last complete verification (UTC); empty: never
    std::string LastResult;    // kVerifiedSound or kVerifiedFaulty
    std::string LastDetail;
    bool Overdue = false;      // present and not verified (nor written) within the interval
    std::string Deleted;       // when vendrask deleted it by a rule (UTC); empty: it did not
    bool Gone() const { return !Present && Journaled && Deleted.empty(); }  // deleted behind vendrask's back
    bool Failed() const { return LastResult == kVerifiedFaulty; }
};

struct TInventory {
    std::string ArchivDir;
    std::string Now;  // UTC
    int IntervalDays = 0;
    std::vector<TInventoryArchive> Archives;  // by name
    bool JournalPresent = false;
    tavik::TJournalCheck Chain;
    // Archives whose seal names a journal head the journal does not hold: the journal was cut
    // back or replaced after they were written.
    std::vector<std::string> UnknownAnchors;
    // The oldest last verification of the archives present, when every one of them was verified.
    std::string AllVerifiedSince;
    std::vector<std::string> Keeping;  // the deletion hold and the retention periods (KeepingLines)

    const TInventoryArchive* Find(const std::string& name) const;
    int Overdue() const;
    int Failed() const;
    int Gone() const;
    bool JournalIntact() const { return JournalPresent && Chain.Ok && UnknownAnchors.empty(); }
};

// Reads ARCHIV (names of the archive run's archives, and archives the journal records) and its
// journal, without reading the archives' data: only their comments for the journal's anchors.
TInventory ReadInventory(const std::string& archivDir, int intervalDays, std::time_t now);

// Per archive, the result of its last verification in the journal (only archives verified).
std::map<std::string, std::string> LastVerificationResults(const tavik::TArchiveJournal& journal);

// German: a line on the state of the journal ("Journal intakt: 12 Einträge, Kopf …").
std::string JournalStateText(const TInventory& inventory);

}  // namespace vendrask
