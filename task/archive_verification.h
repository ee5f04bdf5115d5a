#pragma once
// Re-reads the archives of ARCHIV completely, least recently verified first, until a time budget
// is used up: every entry inflated and checked against its CRC-32 and fingerprint, the seal
// against the entries, and the whole file against the SHA-256 the journal holds for it. Each
// result goes into the journal; an archive first verified here gets its SHA-256 recorded, so
// that a later change of it shows too.
#include <chrono>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/services/archive_journal.h"
#include "task/archive_inventory.h"

namespace vendrask {

struct TArchiveVerdict {
    std::string Name;
    bool Sound = false;
    std::string Detail;  // German: what was found
    int BySha256 = 0;
    int ByCrcOnly = 0;
    std::string Sha256;  // of the whole file as read now
};

struct TVerifyAllOptions {
    std::optional<std::chrono::seconds> MaxDuration;  // no new archive is begun after it; none: all
    std::vector<std::string> Only;                    // these archives alone (by name); empty: all present
    // Before each archive (name, its position from 0, how many), and as it is read; false stops.
    std::function<bool(const std::string& name, int index, int count)> OnArchive;
    std::function<bool(std::int64_t done, std::int64_t total)> OnProgress;
    // After each archive, once its result is in the journal.
    std::function<void(const TArchiveVerdict&)> OnVerdict;
};

struct TVerifyAllResult {
    std::vector<TArchiveVerdict> Verdicts;  // in the order read
    int NotReached = 0;                     // archives left for the next time
    bool Stopped = false;                   // OnArchive or OnProgress said stop
    std::string JournalHead;
    int Failed() const;
};

// The order in which the archives are due: never verified first, then by their last
// verification, the oldest first.
std::vector<std::string> VerificationOrder(const TInventory& inventory);

TVerifyAllResult VerifyArchives(const TInventory& inventory, tavik::TArchiveJournal& journal,
                                const TVerifyAllOptions& options);

// The inventory as it stands after the verification, without reading ARCHIV and the journal
// again: each archive verified now carries its result, and a sound chain its new records.
void ApplyVerdicts(TInventory& inventory, const TVerifyAllResult& result, std::time_t now);

}  // namespace vendrask
