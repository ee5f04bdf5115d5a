#pragma once
// Searching every archive of a directory by entry name, without an index: each archive's
// central directory is read anew, on one thread per processor. Hits come in a fixed order
// (archives by name, entries as their directory lists them) and are handed on as they are
// found; the threads run only a few archives ahead of the one handed on, so memory grows with
// the hits of those few, not with the entries. An event that throws ends the search at once.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "host/services/date_time.h"

namespace tavik::search {

struct TSearchHit {
    const std::string& archive;  // the path that opens the archive (its last volume for a set)
    std::uint64_t number;        // the entry's number in "vendrask-archiv list ARCHIV"
    std::uint64_t size;          // uncompressed
    TDateParts modified;         // local time
    std::string_view name;       // UTF-8, as the listing shows it
};

struct TSearchEvents {
    std::function<void(const TSearchHit& hit)> OnHit;
    // An archive that cannot be read; reason is a German sentence that names it.
    std::function<void(const std::string& archive, const std::string& reason)> OnFailure;
    // After each archive; false ends the search.
    std::function<bool(std::size_t done, std::size_t total)> OnProgress;
};

struct TSearchResult {
    std::size_t archives = 0;  // searched, failures included
    std::uint64_t entries = 0;
    std::uint64_t hits = 0;
    std::size_t failures = 0;
    bool aborted = false;
};

// Searches the archives of dir for entries whose names match any of terms (see
// archive_search_match.h). Events are called on the calling thread. threads 0: one per
// processor. Throws EOlvex when the terms are unusable or dir cannot be read.
TSearchResult SearchArchives(const std::string& dir, const std::vector<std::string>& terms,
                             const TSearchEvents& events, unsigned threads = 0);

// The installation's ARCHIV directory. Throws EOlvex (EHostInstallation without OLVEX_ROOT).
std::string DefaultSearchDirectory();

}  // namespace tavik::search
