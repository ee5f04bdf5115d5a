#pragma once
// The records of one year handed over as a BagIt bag (RFC 8493), as a tax audit asks for them:
// every file archived in the archive run's archives of ARCHIV that was last modified in that
// year (year_choice.h), below data/ under its entry name, with SHA-256 and SHA-512 manifests.
// Each file is written by the engine's extraction, which writes nothing outside the bag and
// puts no file in place that does not fit its fingerprint, and is then read back against its
// fingerprint. The bag is built beside its target and takes its name only when complete; the
// export is recorded in ARCHIV's journal.
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace vendrask {

struct TYearExportProgress {
    std::string Archive;  // being extracted
    int ArchiveIndex = 0;  // from 0
    int Archives = 0;
    std::int64_t Done = 0;  // bytes of the whole export
    std::int64_t Total = 0;
};

struct TYearExportOptions {
    std::string ArchivDir;
    int Year = 0;
    std::string Target;        // the bag's folder; it must not exist
    std::string Organization;  // the client's name; empty: the name of the ARCHIV folder
    std::time_t Now = 0;       // the bagging date's moment
    // Called as the export goes on; false aborts it (nothing stays behind).
    std::function<bool(const TYearExportProgress&)> OnProgress;
};

struct TYearExportResult {
    std::string Target;  // absolute
    int Files = 0;
    std::int64_t Bytes = 0;
    std::vector<std::string> Archives;  // that a file came from, oldest first
    std::string TagManifestSha256;      // SHA-256 of tagmanifest-sha256.txt
    std::string JournalHead;            // after the export's record
    std::string JournalFailure;         // German, when the record could not be written
};

// German: the year has no archived file.
std::string NoRecordsOfYear(const std::string& archivDir, int year);

// Throws EOlvex (German) when the target exists, the year has no records, an archive or entry
// cannot be read or does not fit its fingerprint, the bag cannot be written, or OnProgress
// aborted; then no bag and nothing of one is left. A journal that cannot be written does not
// stop the export; JournalFailure says so.
TYearExportResult ExportYear(const TYearExportOptions& options);

}  // namespace vendrask
