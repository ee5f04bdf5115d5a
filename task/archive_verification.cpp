#include "task/archive_verification.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "host/engine/pack/packed_check.h"
#include "host/services/exceptions.h"
#include "host/services/paths.h"
#include "host/services/sha256.h"

namespace vendrask {

namespace {

using tavik::TArchiveJournal;
using tavik::TJournalRecord;

// Every entry read on several threads, each against its CRC-32 and fingerprint, and the seal;
// and the whole file's SHA-256, taken from the same bytes by one of the readers. An archive that
// could not be read that way (damaged before its entries) is read once more for it, on its own.
void VerifyContent(const std::string& path, TArchiveVerdict& verdict, std::int64_t& size,
                   const TVerifyAllOptions& options) {
    const tavik::TContentCheck check = tavik::CheckArchiveContent(path, options.OnProgress, 0, true);
    if (check.Aborted) throw tavik::EOlvex("abgebrochen", tavik::TErrorKind::Aborted);
    verdict.BySha256 = check.BySha256;
    verdict.ByCrcOnly = check.ByCrcOnly;
    verdict.Sound = check.Failure.empty();
    verdict.Detail = check.Failure;
    if (check.FileSha256) {
        verdict.Sha256 = tavik::HexOf(*check.FileSha256);
        size = check.FileSize;
    } else {
        verdict.Sha256 = tavik::Sha256OfFile(path, &size);
    }
}

}  // namespace

void ApplyVerdicts(TInventory& inventory, const TVerifyAllResult& result, std::time_t now) {
    const std::string moment = TArchiveJournal::UtcText(now);
    for (const TArchiveVerdict& verdict : result.Verdicts)
        for (TInventoryArchive& archive : inventory.Archives)
            if (archive.Name == verdict.Name) {
                archive.LastVerified = moment;
                archive.LastResult = verdict.Sound ? kVerifiedSound : kVerifiedFaulty;
                archive.LastDetail = verdict.Detail;
                archive.Overdue = false;
                if (archive.Sha256.empty()) archive.Sha256 = verdict.Sha256;
            }
    if (inventory.Chain.Ok) {
        inventory.Chain.Records += static_cast<std::int64_t>(result.Verdicts.size());
        inventory.Chain.Head = result.JournalHead;
    }
}

int TVerifyAllResult::Failed() const {
    return static_cast<int>(std::count_if(Verdicts.begin(), Verdicts.end(), [](const auto& v) { return !v.Sound; }));
}

std::vector<std::string> VerificationOrder(const TInventory& inventory) {
    std::vector<const TInventoryArchive*> present;
    for (const TInventoryArchive& archive : inventory.Archives)
        if (archive.Present) present.push_back(&archive);
    // Never verified sorts first (empty text), then the oldest verification; names keep a tie.
    std::stable_sort(present.begin(), present.end(), [](const auto* a, const auto* b) {
        return a->LastVerified < b->LastVerified;
    });
    std::vector<std::string> names;
    for (const auto* archive : present) names.push_back(archive->Name);
    return names;
}

TVerifyAllResult VerifyArchives(const TInventory& inventory, TArchiveJournal& journal,
                                const TVerifyAllOptions& options) {
    std::vector<std::string> order = VerificationOrder(inventory);
    if (!options.Only.empty())
        std::erase_if(order, [&options](const std::string& name) {
            return std::find(options.Only.begin(), options.Only.end(), name) == options.Only.end();
        });
    const auto start = std::chrono::steady_clock::now();
    TVerifyAllResult result;
    result.JournalHead = journal.Head();
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (options.MaxDuration && std::chrono::steady_clock::now() - start >= *options.MaxDuration) {
            result.NotReached = static_cast<int>(order.size() - i);
            break;
        }
        const std::string& name = order[i];
        if (options.OnArchive && !options.OnArchive(name, static_cast<int>(i), static_cast<int>(order.size()))) {
            result.Stopped = true;
            result.NotReached = static_cast<int>(order.size() - i);
            break;
        }
        const TInventoryArchive* known = inventory.Find(name);
        const std::string path = tavik::ConcatPathNames(inventory.ArchivDir, name);
        // Deleted since the inventory was read (a rule of the cleanup): nothing to verify.
        struct stat status {};
        if (::lstat(path.c_str(), &status) != 0 && errno == ENOENT) continue;
        TArchiveVerdict verdict;
        verdict.Name = name;
        std::int64_t size = 0;
        try {
            VerifyContent(path, verdict, size, options);
        } catch (const tavik::EOlvex& error) {
            if (error.Kind() == tavik::TErrorKind::Aborted) {
                result.Stopped = true;
                result.NotReached = static_cast<int>(order.size() - i);
                break;
            }
            verdict.Sound = false;
            verdict.Detail = error.what();
        }
        if (known != nullptr && !known->Sha256.empty() && !verdict.Sha256.empty() && verdict.Sha256 != known->Sha256) {
            verdict.Sound = false;
            verdict.Detail = "Die Archivdatei hat nicht mehr die SHA-256-Prüfsumme, die das Journal für sie "
                             "festhält; sie wurde verändert oder ersetzt." +
                             (verdict.Detail.empty() ? std::string() : " " + verdict.Detail);
        }
        TJournalRecord record;
        record.Kind = tavik::journalkind::Geprueft;
        record.Archive = name;
        record.Size = size;
        record.Sha256 = verdict.Sha256;
        record.Entries = verdict.BySha256 + verdict.ByCrcOnly;
        record.Result = verdict.Sound ? kVerifiedSound : kVerifiedFaulty;
        record.Detail = verdict.Sound ? std::to_string(verdict.BySha256) + " durch SHA-256, " +
                                            std::to_string(verdict.ByCrcOnly) + " nur durch CRC-32 bestätigt"
                                      : verdict.Detail;
        result.JournalHead = journal.Append({record});
        if (options.OnVerdict) options.OnVerdict(verdict);
        result.Verdicts.push_back(std::move(verdict));
    }
    return result;
}

}  // namespace vendrask
