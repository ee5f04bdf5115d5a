#include "host/engine/pack/packed_check.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

#include "host/engine/split/split_reader.h"
#include "host/engine/zip/zip_directory.h"
#include "host/engine/zip/zip_entry.h"
#include "host/engine/zip/zip_entry_reader.h"
#include "host/engine/zip/zip_handles.h"
#include "host/engine/zip/zip_records.h"
#include "host/services/exceptions.h"
#include "host/services/whole_file.h"
#include "host/services/sha256.h"

namespace tavik {

namespace {

struct TCheckJob {
    zip_uint64_t index;
    std::int64_t size;
};

struct TSharedState {
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::atomic<bool> aborted{false};
    std::atomic<int> bySha256{0};
    std::atomic<int> byCrcOnly{0};
    std::atomic<std::int64_t> done{0};
    std::int64_t total = 0;
    std::function<bool(std::int64_t, std::int64_t)> progress;
    std::mutex mutex;  // for progress and reason
    std::string reason;
    bool digestWanted = false;  // the whole file's SHA-256, by the first reader that starts
    std::atomic<bool> digestTaken{false};
    std::optional<TSha256Digest> digest;  // written by that reader alone, read after all have ended
};

constexpr std::int64_t kProgressStep = 4 << 20;

// The archive once opened and checked. When the data of every entry can be read straight
// from the file, the readers share it: read once into memory, where the data is inflated without
// a copy, or else each reading with pread through its own descriptor reader. Otherwise each
// reader opens the archive for itself (libzip's handle is not shared across threads).
struct TCheckedArchive {
    const std::string& path;
    const TZipReading& zip;
    bool shared = false;
    const TWholeFile* whole = nullptr;  // the whole file, when shared and read at once
};

// The archive's bytes read once for all readers rather than into each reader's buffers; the
// readers and the whole file's digest take the same copy.
std::optional<TWholeFile> ReadShared(const TZipReading& zip, bool shared) {
    if (!shared) return std::nullopt;
    return TWholeFile::Read(zip.files->SingleDescriptor(), zip.files->Size());
}

constexpr std::size_t kDigestPiece = 1 << 20;

// The whole file's SHA-256 from the bytes read; only a stop of the check ends it early, a
// faulty entry does not: the digest is recorded for a faulty archive too.
void DigestWholeFile(const TWholeFile& whole, TSharedState& state) {
    TSha256 hash;
    for (std::uint64_t at = 0; at < whole.Size(); at += kDigestPiece) {
        if (state.aborted) return;
        const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(kDigestPiece, whole.Size() - at));
        hash.Update(whole.Data() + at, piece);
    }
    state.digest = hash.Final();
}

bool AllReadWithoutLibzip(const TZipReading& zip) {
    if (!zip.files || zip.files->SingleDescriptor() < 0) return false;
    TZipEntryReader probe(zip.archive.get());
    probe.ReadDirectly(*zip.files, zip.dataStarts, zip.dataLimit);
    return std::all_of(zip.entries.begin(), zip.entries.end(),
                       [&probe](const TZipEntry& entry) { return probe.ReadsWithoutLibzip(entry); });
}

// Reads the entries of jobs not taken yet until all are read or one fails.
void ReadEntries(const TCheckedArchive& checked, const std::vector<TCheckJob>& jobs, TSharedState& state) {
    std::optional<TZipReading> own;
    if (!checked.shared) own.emplace(OpenZipForReading(checked.path, false));
    const TZipReading& zip = checked.shared ? checked.zip : *own;
    TZipEntryReader reader(zip.archive.get());
    std::optional<zip::TDescriptorReader> file;
    if (checked.shared) {
        file.emplace(zip.files->SingleDescriptor(), zip.files->Size());
        reader.ReadDirectly(*file, zip.dataStarts, zip.dataLimit,
                            checked.whole != nullptr ? checked.whole->Data() : nullptr);
    }
    // The largest piece of work, so the first one taken.
    if (state.digestWanted && checked.whole != nullptr && !state.digestTaken.exchange(true))
        DigestWholeFile(*checked.whole, state);
    TSha256 hash;
    for (std::size_t i = state.next++; i < jobs.size() && !state.failed; i = state.next++) {
        const TZipEntry& entry = zip.entries.at(jobs[i].index);
        if (entry.directory) continue;
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
        }
        state.done += jobs[i].size - reported;
        if (entry.fingerprint && hash.Final() != *entry.fingerprint)
            throw EOlvex("Der Inhalt des Eintrags „" + entry.name +
                             "“ passt nicht zu seinem SHA-256-Fingerabdruck: der Eintrag wurde verändert.",
                         TErrorKind::DamagedArchive);
        ++(entry.fingerprint ? state.bySha256 : state.byCrcOnly);
    }
}

// Reads the jobs on several threads, the largest first, so that no reader is left with a large
// one at the end (the whole file's digest, where asked for, comes before them all); the first
// failure stops all.
void ReadInParallel(const TCheckedArchive& checked, std::vector<TCheckJob>& jobs, TSharedState& state,
                    unsigned readers) {
    std::sort(jobs.begin(), jobs.end(), [](const TCheckJob& a, const TCheckJob& b) { return a.size > b.size; });
    for (const TCheckJob& job : jobs) state.total += job.size;
    if (readers == 0) readers = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
    const std::size_t work = jobs.size() + (state.digestWanted && checked.whole != nullptr ? 1 : 0);
    readers = static_cast<unsigned>(std::clamp<std::size_t>(work, 1, readers));
    std::vector<std::jthread> threads;
    for (unsigned i = 0; i < readers; ++i)
        threads.emplace_back([&] {
            try {
                ReadEntries(checked, jobs, state);
            } catch (const std::exception& error) {
                const std::lock_guard lock(state.mutex);
                if (!state.failed.exchange(true)) state.reason = error.what();
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
        const bool shared = AllReadWithoutLibzip(zip);
        const std::optional<TWholeFile> whole = ReadShared(zip, shared);
        ReadInParallel({path, zip, shared, whole ? &*whole : nullptr}, jobs, state, readers);
        check.Aborted = state.aborted;
        // Where no reader came to it.
        if (fileDigest && whole && !state.digestTaken && !check.Aborted) DigestWholeFile(*whole, state);
        if (state.digest) {
            check.FileSha256 = state.digest;
            check.FileSize = static_cast<std::int64_t>(whole->Size());
        }
        check.Failure = check.Aborted ? std::string() : state.reason;
        check.BySha256 = state.bySha256;
        check.ByCrcOnly = state.byCrcOnly;
        check.Sealed = zip.seal.present;
    } catch (const std::exception& error) {
        check.Failure = error.what();
    }
    return check;
}

}  // namespace tavik
