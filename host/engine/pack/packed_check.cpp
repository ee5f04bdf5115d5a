#include "host/engine/pack/packed_check.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <map>
#include <mutex>
#include <thread>

#include "host/engine/zip/zip_entry.h"
#include "host/engine/zip/zip_entry_reader.h"
#include "host/engine/zip/zip_handles.h"
#include "host/services/exceptions.h"
#include "host/services/sha256.h"

namespace tavik {

namespace {

struct TCheckJob {
    const TFileInfoItem* item;
    zip_uint64_t index;
};

// Reads the entries of jobs not taken yet until all are read or one fails.
void ReadBack(const std::string& path, const std::vector<TCheckJob>& jobs, std::atomic<std::size_t>& next,
              std::atomic<bool>& failed) {
    const TZipReading zip = OpenZipForReading(path, false);
    TZipEntryReader reader(zip.archive.get());
    TSha256 hash;
    for (std::size_t i = next++; i < jobs.size() && !failed; i = next++) {
        const TFileInfoItem& item = *jobs[i].item;
        const TZipEntry& entry = zip.entries.at(jobs[i].index);
        if ((item.Attributes & faDirectory) != 0) {
            if (!entry.directory) throw EOlvex("„" + item.EntryName + "“ ist im Archiv kein Verzeichnis.", TErrorKind::DamagedArchive);
            continue;
        }
        // The reader checks the data against the central directory's size and CRC; those in turn
        // must be the ones taken from the file.
        if ((entry.stat.valid & ZIP_STAT_SIZE) == 0 || static_cast<std::int64_t>(entry.stat.size) != item.Size)
            throw EOlvex("Der Eintrag „" + item.EntryName + "“ gibt nicht die Größe der Datei an.",
                         TErrorKind::DamagedArchive);
        if ((entry.stat.valid & ZIP_STAT_CRC) == 0 || entry.stat.crc != item.Crc)
            throw EOlvex("Der Inhalt des Eintrags „" + item.EntryName +
                         "“ stimmt nicht mit der Datei überein, wie sie gelesen wurde (Prüfsumme).",
                         TErrorKind::DamagedArchive);
        // The fingerprint written with the entry is the one taken from the file, and the content
        // read back gives it again.
        const std::optional<TSha256Digest> expected =
            item.Sha256.empty() ? std::nullopt : DigestOfHex(item.Sha256);
        if (!item.Sha256.empty() && (!expected || entry.fingerprint != expected))
            throw EOlvex("Der Eintrag „" + item.EntryName + "“ trägt nicht den Fingerabdruck der Datei.",
                         TErrorKind::DamagedArchive);
        reader.Read(
            entry, [&hash, &expected](const std::uint8_t* data, std::size_t size) {
                if (expected) hash.Update(data, size);
            },
            [&failed](std::int64_t) {
                if (failed) throw EOlvex("abgebrochen", TErrorKind::Aborted);
            });
        if (expected && hash.Final() != *expected)
            throw EOlvex("Der Inhalt des Eintrags „" + item.EntryName +
                             "“ stimmt nicht mit der Datei überein, wie sie gelesen wurde (SHA-256).",
                         TErrorKind::DamagedArchive);
    }
}

}  // namespace

std::string CheckPackedArchive(const std::string& path, const std::vector<TFileInfoItem>& items, unsigned readers) {
    try {
        const TZipReading zip = OpenZipForReading(path, true);
        if (!zip.seal.failure.empty()) return zip.seal.failure;
        if (zip.entries.size() != items.size())
            return "Das Archiv enthält " + std::to_string(zip.entries.size()) + " Einträge statt " +
                   std::to_string(items.size()) + ".";
        std::map<std::string, zip_uint64_t> byName;
        for (zip_uint64_t i = 0; i < zip.entries.size(); ++i)
            if (!byName.emplace(zip.entries[i].name, i).second)
                return "Der Eintrag Nummer " + std::to_string(i + 1) + " hat keinen eindeutigen Namen.";
        std::vector<TCheckJob> jobs;
        jobs.reserve(items.size());
        for (const TFileInfoItem& item : items) {
            const auto found = byName.find(item.EntryName);
            if (found == byName.end()) return "Der Eintrag „" + item.EntryName + "“ fehlt.";
            jobs.push_back({&item, found->second});
        }
        // The largest first, so that no reader is left with a large one at the end.
        std::sort(jobs.begin(), jobs.end(),
                  [](const TCheckJob& a, const TCheckJob& b) { return a.item->Size > b.item->Size; });

        if (readers == 0) readers = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
        readers = static_cast<unsigned>(std::clamp<std::size_t>(jobs.size(), 1, readers));
        std::atomic<std::size_t> next{0};
        std::atomic<bool> failed{false};
        std::mutex mutex;
        std::string reason;
        {
            std::vector<std::jthread> threads;
            for (unsigned i = 0; i < readers; ++i)
                threads.emplace_back([&] {
                    try {
                        ReadBack(path, jobs, next, failed);
                    } catch (const std::exception& error) {
                        const std::lock_guard lock(mutex);
                        if (!failed.exchange(true)) reason = error.what();
                    }
                });
        }
        return reason;
    } catch (const std::exception& error) {
        return error.what();
    }
}

}  // namespace tavik
