#pragma once
// Which archived files make up the records of one year: every file entry of the archive run's
// archives in ARCHIV whose modification time falls in that year in Germany; of several entries
// of one name (a file archived again after it changed) the one modified last, and when two were
// modified at the same moment, the one in the newer archive. Only the archives' directories are
// read.
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/services/sha256.h"

namespace vendrask {

struct TYearEntry {
    std::string Archive;  // file name in ARCHIV
    int Index = 0;        // the entry's number in its archive, as "vendrask-archiv list" counts
    std::string Name;     // as the archive names it
    std::string Path;     // where it goes below the bag's data/: its name's components, '/'-joined
    std::int64_t Size = 0;
    std::time_t Mtime = 0;
    std::optional<tavik::TSha256Digest> Fingerprint;
};

struct TYearChoice {
    int Year = 0;
    std::vector<TYearEntry> Entries;  // by Path
    std::int64_t Bytes() const;
    // The archives that hold a chosen entry, oldest first.
    std::vector<std::string> Archives() const;
};

// Whether the archive named a was written after the one named b (both IsArchiveName): a later
// day, or on the same day a higher number.
bool NewerArchive(const std::string& a, const std::string& b);

// The archive run's archives in archivDir, oldest first. Throws EOlvex when the folder cannot be
// read.
std::vector<std::string> YearArchivesIn(const std::string& archivDir);

// Reads the directories of the archives in archivDir and chooses. Throws EOlvex naming the
// archive when one cannot be read, and archive and entry when an entry of the year has a name
// that must not be written to disk (absolute, "..", ...): the year is exported whole or not at
// all.
TYearChoice ChooseYearEntries(const std::string& archivDir, int year);

// The choice among entries already read (of any year; those of other years are left out).
TYearChoice ChooseAmong(const std::vector<std::pair<TYearEntry, int>>& entriesWithYear, int year);

}  // namespace vendrask
