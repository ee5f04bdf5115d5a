#include "host/engine/pack/packed_check.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

#include "host/engine/pack/content_check_state.h"
#include "host/engine/pack/streamed_check.h"
#include "host/engine/split/split_reader.h"
#include "host/engine/zip/zip_directory.h"
#include "host/engine/zip/zip_entry.h"
#include "host/engine/zip/zip_entry_reader.h"
#include "host/engine/zip/zip_handles.h"
#include "host/engine/zip/zip_records.h"
#include "host/services/exceptions.h"
#include "host/services/sha256.h"

namespace tavik {

namespace {

struct TCheckJob {
    zip_uint64_t index;
    std::int64_t size;
};

constexpr std::int64_t kProgressStep = 4 << 20;

}  // namespace

void TSharedState::Fail(const std::string& why) {
    const std::lock_guard lock(mutex);
    if (!failed.exchange(true)) reason = why;
}

std::string TSharedState::Verdict(const std::string& path) const {
    if (!changed) return reason;
    return "Die Archivdatei „" + path +
           "“ wurde verändert, während sie geprüft wurde: sie ist nicht mehr so lang wie zu Beginn der Prüfung. "
           "Bitte prüfen Sie sie erneut." +
           (reason.empty() ? std::string() : " " + reason);
}

void CheckEntry(TZipEntryReader& reader, const TZipEntry& entry, std::int64_t size, TEntryHash& hash,
                TSharedState& state) {
    if (entry.directory) return;
    std::int64_t reported = 0;
    try {
        reader.Read(
            entry,
            [&hash, &entry](const std::uint8_t* data, std::size_t size) {
                if (entry.fingerprint) hash.Update(data, size);
            },
            [&state, &reported](std::int64_t read) {
                if (state.failed) throw EOlvex("abgebrochen", TErrorKind::Aborted);
                if (!state.progress || read - reported < kProgressStep) return;
                const std::int64_t done = state.done += read - reported;
                reported = read;
                const std::lock_guard lock(state.mutex);
                if (!state.progress(done, state.total)) {
                    state.aborted = true;
                    throw EOlvex("abgebrochen", TErrorKind::Aborted);
                }
            });
    } catch (const zip::TRecordError& error) {
        throw EOlvex("Der Eintrag „" + entry.name + "“ kann nicht gelesen werden: " + error.what() + ".",
                     TErrorKind::DamagedArchive);
    } catch (const EOlvex& error) {
        // Among hundreds of entries, the one that failed must be named.
        if (error.Kind() == TErrorKind::Aborted) throw;
        throw EOlvex("Der Eintrag „" + entry.name + "“ kann nicht gelesen werden: " + error.what(), error.Kind());
    }
    state.done += size - reported;
    if (entry.fingerprint && hash.Final() != *entry.fingerprint)
        throw EOlvex("Der Inhalt des Eintrags „" + entry.name +
                         "“ passt nicht zu seinem SHA-256-Fingerabdruck: der Eintrag wurde verändert.",
                     TErrorKind::DamagedArchive);
    ++(entry.fingerprint ? state.bySha256 : state.byCrcOnly);
}

namespace {

class TPlainHash final : public TEntryHash {
public:
    void Update(const std::uint8_t* data, std::size_t size) override { FHash.Update(data, size); }
    TSha256Digest Final() override { return FHash.Final(); }

private:
    TSha256 FHash;
};

bool AllReadWithoutLibzip(const TZipReading& zip) {
    if (!zip.files || zip.files->SingleDescriptor() < 0) return false;
    TZipEntryReader probe(zip.archive.get());
    probe.ReadDirectly(*zip.files, zip.dataStarts, zip.dataLimit);
    return std::all_of(zip.entries.begin(), zip.entries.end(),
                       [&probe](const TZipEntry& entry) { return probe.ReadsWithoutLibzip(entry); });
}

// Each reader opens the archive for itself (libzip's handle is not shared across threads) and
// reads the entries not taken yet, the largest first, so that no reader is left with a large
// one at the end; the first failure stops all.
void ReadThroughLibzip(const std::string& path, std::vector<TCheckJob>& jobs, TSharedState& state, unsigned readers) {
    std::sort(jobs.begin(), jobs.end(), [](const TCheckJob& a, const TCheckJob& b) { return a.size > b.size; });
    readers = static_cast<unsigned>(std::clamp<std::size_t>(jobs.size(), 1, readers));
    std::atomic<std::size_t> next{0};
    std::vector<std::jthread> threads;
    for (unsigned i = 0; i < readers; ++i)
        threads.emplace_back([&] {
            try {
                const TZipReading zip = OpenZipForReading(path, false);
                TZipEntryReader reader(zip.archive.get());
                TPlainHash hash;
                for (std::size_t j = next++; j < jobs.size() && !state.failed; j = next++)
                    CheckEntry(reader, zip.entries.at(jobs[j].index), jobs[j].size, hash, state);
            } catch (const std::exception& error) {
                state.Fail(error.what());
            }
        });
}

std::int64_t EntrySize(const TZipEntry& entry) {
    return (entry.stat.valid & ZIP_STAT_SIZE) != 0 ? static_cast<std::int64_t>(entry.stat.size) : 0;
}

}  // namespace

TContentCheck CheckArchiveContent(const std::string& path, const std::function<bool(std::int64_t, std::int64_t)>& progress,
                                  unsigned readers, bool fileDigest) {
    TContentCheck check;
    try {
        const TZipReading zip = OpenZipForReading(path, true);
        if (!zip.seal.failure.empty()) {
            check.Failure = "Die Archivdatei „" + path + "“ wurde verändert. " + zip.seal.failure;
            return check;
        }
        std::vector<TCheckJob> jobs;
        jobs.reserve(zip.entries.size());
        for (zip_uint64_t i = 0; i < zip.entries.size(); ++i) jobs.push_back({i, EntrySize(zip.entries[i])});
        TSharedState state;
        state.progress = progress;
        state.digestWanted = fileDigest;
        for (const TCheckJob& job : jobs) state.total += job.size;
        if (readers == 0) readers = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
        if (AllReadWithoutLibzip(zip)) {
            const TStreamedFile file{zip.files->SingleDescriptor(), zip.files->Size(), &zip.dataStarts, zip.dataLimit,
                                     zip.archive.get()};
            std::vector<TStreamedJob> streamed;
            streamed.reserve(jobs.size());
            for (const TCheckJob& job : jobs) {
                const TZipEntry& entry = zip.entries[job.index];
                streamed.push_back({zip.dataStarts.at(static_cast<std::size_t>(entry.index)), entry.stat.comp_size, job.size});
            }
            CheckStreamed(file, streamed, [&](std::size_t job, TZipEntry&) -> const TZipEntry& {
                return zip.entries[jobs[job].index];
            }, state, readers);
        } else
            ReadThroughLibzip(path, jobs, state, readers);
        check.Aborted = state.aborted;
        if (state.digest) {
            check.FileSha256 = state.digest;
            check.FileSize = static_cast<std::int64_t>(zip.files->Size());
        }
        check.Failure = check.Aborted ? std::string() : state.Verdict(path);
        check.BySha256 = state.bySha256;
        check.ByCrcOnly = state.byCrcOnly;
        check.Sealed = zip.seal.present;
    } catch (const std::exception& error) {
        check.Failure = error.what();
    }
    return check;
}

}  // namespace tavik
