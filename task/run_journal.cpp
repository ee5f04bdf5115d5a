#include "task/run_journal.h"

#include <sys/stat.h>

#include <cerrno>

#include "host/services/date_time.h"
#include "host/services/exceptions.h"
#include "host/services/paths.h"
#include "host/services/sha256.h"
#include "host/services/system_error.h"

namespace vendrask {

using namespace tavik;

TJournalRecord ArchiveWrittenRecord(const std::string& archivePath, std::int64_t entries, std::int64_t packedBytes,
                                    const std::optional<TFileDigest>& digest) {
    TJournalRecord record;
    record.Kind = journalkind::ArchivGeschrieben;
    record.Archive = ExtractFileName(archivePath);
    record.Path = archivePath;
    if (digest) {
        record.Sha256 = HexOf(digest->Sha256);
        record.Size = digest->Size;
    } else {
        std::int64_t size = 0;
        record.Sha256 = Sha256OfFile(archivePath, &size);
        record.Size = size;
    }
    record.Entries = entries;
    record.Detail = std::to_string(entries) + " Einträge, " + std::to_string(packedBytes) + " Bytes ungepackt";
    return record;
}

TJournalRecord ArchiveCheckedRecord(const TJournalRecord& written, const std::string& result,
                                    const std::string& detail) {
    TJournalRecord record;
    record.Kind = journalkind::Geprueft;
    record.Archive = written.Archive;
    record.Path = written.Path;
    record.Size = written.Size;
    record.Sha256 = written.Sha256;
    record.Entries = written.Entries;
    record.Result = result;
    record.Detail = detail;
    return record;
}

TJournalRecord PackedDeletionRecord(const TFileInfoItem& item, const std::string& path, const std::string& archive) {
    TJournalRecord record;
    record.Kind = journalkind::GeloeschtArchivlauf;
    record.Archive = archive;
    record.Entry = item.EntryName;
    record.Path = path;
    record.Size = item.Size;
    if (item.DateTime != TDateTime{}) record.Mtime = TArchiveJournal::UtcText(DateTimeToFileTime(item.DateTime));
    // Known when the engine took it while packing; the file is not read a second time for it.
    record.Sha256 = item.Sha256 ? HexOf(*item.Sha256) : std::string();
    return record;
}

bool RuleDeletionRecord(const std::string& path, const std::string& rule, TJournalRecord& record) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0 && errno == ENOENT) return false;
    record = {};
    record.Kind = journalkind::GeloeschtRegel;
    record.Path = path;
    record.Archive = ExtractFileName(path);
    record.Detail = rule.empty() ? "ohne genannte Regel ausgewählt" : rule;
    if (S_ISREG(status.st_mode)) {
        record.Size = status.st_size;
        record.Mtime = TArchiveJournal::UtcText(status.st_mtim.tv_sec);
    }
    try {
        record.Sha256 = Sha256OfFile(path);
    } catch (const EOlvex& error) {
        // The deletion itself decides whether the file goes; the record says why the digest is missing.
        record.Detail += " SHA-256 nicht ermittelt: " + std::string(error.what());
    }
    return true;
}

TJournalRecord NotDeletedRecord(const std::string& path, const std::string& archive, const std::string& reason) {
    TJournalRecord record;
    record.Kind = journalkind::Abgelehnt;
    record.Archive = archive;
    record.Path = path;
    record.Result = "nicht gelöscht";
    record.Detail = reason;
    return record;
}

}  // namespace vendrask
