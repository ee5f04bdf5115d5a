#pragma once
// The journal records that the archive run and the delete run write, made in one place.
#include <cstdint>
#include <optional>
#include <string>

#include "host/engine/archiv_format.h"
#include "host/engine/pack/packed_check.h"
#include "host/services/archive_journal.h"

namespace vendrask {

// A new archive, complete on disk: its size and SHA-256 as the read-back took them from the
// bytes it checked, or else read from the file now.
tavik::TJournalRecord ArchiveWrittenRecord(const std::string& archivePath, std::int64_t entries,
                                           std::int64_t packedBytes,
                                           const std::optional<tavik::TFileDigest>& digest = std::nullopt);
// The same archive read back: what was confirmed, with the same digest.
tavik::TJournalRecord ArchiveCheckedRecord(const tavik::TJournalRecord& written, const std::string& result,
                                           const std::string& detail);
// A packed file about to be deleted by the archive run, as the engine packed it.
tavik::TJournalRecord PackedDeletionRecord(const tavik::TFileInfoItem& item, const std::string& path,
                                           const std::string& archive);
// A file about to be deleted by a rule, as it is now (its size, time and SHA-256 read here).
// False when the file is gone: there is nothing to record or delete.
bool RuleDeletionRecord(const std::string& path, const std::string& rule, tavik::TJournalRecord& record);
// A file that was recorded as about to be deleted and then was not, or was refused: why.
tavik::TJournalRecord NotDeletedRecord(const std::string& path, const std::string& archive,
                                       const std::string& reason);

}  // namespace vendrask
