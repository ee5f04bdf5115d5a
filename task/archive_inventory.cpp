#include "task/archive_inventory.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

#include "host/engine/zip/zip_directory.h"
#include "host/engine/zip/zip_fingerprint.h"
#include "host/services/archive_name.h"
#include "host/services/date_time.h"
#include "host/services/exceptions.h"
#include "host/services/paths.h"
#include "host/services/system_error.h"
#include "host/services/unique_fd.h"
#include "task/archiv_keeping.h"

namespace vendrask {

namespace {

using tavik::TArchiveJournal;
using tavik::TJournalRecord;
namespace journalkind = tavik::journalkind;

struct TDirClose {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

// The archive run's archives in the folder (not those set aside), with their status.
std::map<std::string, struct stat> ArchivesIn(const std::string& archivDir) {
    std::map<std::string, struct stat> found;
    const std::unique_ptr<DIR, TDirClose> dir(::opendir(archivDir.c_str()));
    if (!dir) {
        const int error = errno;
        throw tavik::EOlvex("Das Archivverzeichnis „" + archivDir + "“ kann nicht gelesen werden (" +
                                tavik::SystemErrorText(error) + ").",
                            tavik::KindOfInputError(error));
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        if (!tavik::IsArchiveName(entry->d_name)) continue;
        struct stat status {};
        if (::fstatat(::dirfd(dir.get()), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(status.st_mode))
            found.emplace(entry->d_name, status);
    }
    return found;
}

// The journal head an archive's seal names; nothing when it has no seal or cannot be read.
std::optional<std::string> SealedHead(const std::string& path) {
    const tavik::TUniqueFd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC));
    struct stat status {};
    if (!fd || ::fstat(fd.Get(), &status) != 0) return std::nullopt;
    try {
        tavik::zip::TDescriptorReader reader(fd.Get(), static_cast<std::uint64_t>(status.st_size));
        tavik::zip::TZipDirectory directory;
        directory.Read(reader, {0, static_cast<std::uint64_t>(status.st_size)}, false);
        const auto& comment = directory.End().comment;
        const auto seal =
            tavik::zip::ParseSeal(std::string_view(reinterpret_cast<const char*>(comment.data()), comment.size()));
        if (!seal) return std::nullopt;
        return tavik::HexOf(seal->journal);
    } catch (const std::exception&) {
        return std::nullopt;  // a damaged archive shows when it is verified
    }
}

}  // namespace

const TInventoryArchive* TInventory::Find(const std::string& name) const {
    const auto found = std::lower_bound(Archives.begin(), Archives.end(), name,
                                        [](const TInventoryArchive& a, const std::string& n) { return a.Name < n; });
    return found != Archives.end() && found->Name == name ? &*found : nullptr;
}

int TInventory::Overdue() const {
    return static_cast<int>(std::count_if(Archives.begin(), Archives.end(), [](const auto& a) { return a.Overdue; }));
}

int TInventory::Gone() const {
    return static_cast<int>(std::count_if(Archives.begin(), Archives.end(), [](const auto& a) { return a.Gone(); }));
}

int TInventory::Failed() const {
    return static_cast<int>(
        std::count_if(Archives.begin(), Archives.end(), [](const auto& a) { return a.Present && a.Failed(); }));
}

std::map<std::string, std::string> LastVerificationResults(const TArchiveJournal& journal) {
    std::map<std::string, std::string> results;
    for (const TJournalRecord& record : journal.ReadArchiveHistory())
        if (record.Kind == journalkind::Geprueft) results[record.Archive] = record.Result;
    return results;
}

TInventory ReadInventory(const std::string& archivDir, int intervalDays, std::time_t now) {
    TInventory inventory;
    inventory.ArchivDir = archivDir;
    inventory.Now = TArchiveJournal::UtcText(now);
    inventory.IntervalDays = intervalDays;
    inventory.Keeping = KeepingLines(TArchivKeeping::ForLooking(archivDir, tavik::BerlinYear(now)));
    std::map<std::string, TInventoryArchive> byName;
    for (const auto& [name, status] : ArchivesIn(archivDir)) {
        TInventoryArchive& archive = byName[name];
        archive.Name = name;
        archive.Present = true;
        archive.Size = status.st_size;
        archive.Written = TArchiveJournal::UtcText(status.st_mtime);
    }

    std::optional<TArchiveJournal> journal;
    try {
        journal.emplace(archivDir, TArchiveJournal::TMode::Read);
        inventory.JournalPresent = true;
    } catch (const tavik::EOlvex& error) {
        inventory.Chain.Reason = error.what();
    }
    if (journal) {
        inventory.Chain = journal->Check();
        for (const TJournalRecord& record : journal->ReadArchiveHistory()) {
            const bool written = record.Kind == journalkind::ArchivGeschrieben;
            if (record.Kind == journalkind::GeloeschtRegel) {
                const auto found = byName.find(record.Archive);
                if (found != byName.end() && record.Path == tavik::ConcatPathNames(archivDir, record.Archive))
                    found->second.Deleted = record.Time;
                continue;
            }
            TInventoryArchive& archive = byName[record.Archive];
            archive.Name = record.Archive;
            if (written) {
                archive.Deleted.clear();  // written again under the name of one deleted before
                archive.Journaled = true;
                archive.Written = record.Time;
                archive.Entries = record.Entries;
                if (!archive.Present) archive.Size = record.Size;
            } else {
                archive.LastVerified = record.Time;
                archive.LastResult = record.Result;
                archive.LastDetail = record.Detail;
                if (!archive.Entries && record.Entries) archive.Entries = record.Entries;
            }
            if (archive.Sha256.empty()) archive.Sha256 = record.Sha256;
        }
    }

    const std::string dueBefore = TArchiveJournal::UtcText(now - static_cast<std::time_t>(intervalDays) * 86400);
    std::string oldest;
    bool allVerified = true;
    for (auto& [name, archive] : byName) {
        if (!archive.Present) {
            inventory.Archives.push_back(std::move(archive));
            continue;
        }
        // The read-back of a new archive is a complete verification too.
        const std::string last = !archive.LastVerified.empty() ? archive.LastVerified
                                 : archive.Journaled       ? archive.Written
                                                           : std::string();
        archive.Overdue = last.empty() || last < dueBefore;
        if (archive.LastVerified.empty()) allVerified = false;
        else if (oldest.empty() || archive.LastVerified < oldest) oldest = archive.LastVerified;
        if (journal)
            if (const auto head = SealedHead(tavik::ConcatPathNames(archivDir, name));
                head && *head != TArchiveJournal::EmptyHead() && !journal->Knows(*head))
                inventory.UnknownAnchors.push_back(name);
        inventory.Archives.push_back(std::move(archive));
    }
    if (allVerified) inventory.AllVerifiedSince = oldest;
    return inventory;
}

std::string JournalStateText(const TInventory& inventory) {
    if (!inventory.JournalPresent) return "Kein Journal: " + inventory.Chain.Reason;
    if (!inventory.Chain.Ok)
        return "Journal nicht intakt: " + inventory.Chain.Reason + " Die Einträge bis " +
               std::to_string(inventory.Chain.Records) + " sind unverändert.";
    if (!inventory.UnknownAnchors.empty())
        return "Journal nicht intakt: das Archiv „" + inventory.UnknownAnchors.front() +
               "“ nennt einen Journalkopf, den das Journal nicht enthält; es wurde danach gekürzt oder ersetzt.";
    return "Journal intakt: " + std::to_string(inventory.Chain.Records) + " Einträge, Kopf " + inventory.Chain.Head;
}

}  // namespace vendrask
