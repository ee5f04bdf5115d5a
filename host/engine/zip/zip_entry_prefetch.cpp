#include "host/engine/zip/zip_entry_prefetch.h"

#include <algorithm>
#include <cstring>

#include "host/engine/split/split_reader.h"
#include "host/engine/zip/zip_handles.h"
#include "host/services/exceptions.h"

namespace tavik {

namespace {

// Larger entries are read in turn: two of them ahead would double what extracting holds.
constexpr std::uint64_t kLargestAhead = 16 << 20;
// What the entries read ahead (beside the one taken) may hold together; one entry is always
// read ahead, whatever its size.
constexpr std::uint64_t kBytesAhead = 16 << 20;

// Thrown by the progress callback when the prefetch stops: the entry is not finished.
struct TStopped {};

}  // namespace

TZipEntryPrefetch::TZipEntryPrefetch(const TZipReading& zip, std::vector<const TZipEntry*> entries,
                                     const TEntryReadLimits& limits, TCheck check)
    : FEntries(std::move(entries)), FAhead(FEntries.size(), false), FCheck(std::move(check)) {
    // Two threads may read a single file at once (pread, nothing else changes); a set of
    // volumes opens its parts as it goes.
    if (!zip.files || zip.files->SingleDescriptor() < 0) return;
    TZipEntryReader probe(nullptr, limits);
    probe.ReadDirectly(*zip.files, zip.dataStarts, zip.dataLimit);
    bool any = false;
    for (std::size_t i = 0; i < FEntries.size(); ++i) {
        const TZipEntry& entry = *FEntries[i];
        FAhead[i] = !entry.directory && !entry.symlink && probe.ReadsWithoutLibzip(entry) &&
                    entry.stat.size <= kLargestAhead && entry.stat.size <= limits.wholeEntry;
        any = any || FAhead[i];
    }
    if (any) FThread = std::thread([this, &zip, limits] { Run(zip, limits); });
}

TZipEntryPrefetch::~TZipEntryPrefetch() {
    {
        const std::lock_guard lock(FMutex);
        FStop = true;
    }
    FChanged.notify_all();
    if (FThread.joinable()) FThread.join();
}

bool TZipEntryPrefetch::ReadInto(TZipEntryReader& reader, const TZipEntry& entry, TSlot& slot) {
    const std::size_t size = slot.size;
    std::size_t at = 0;
    try {
        std::uint8_t* out = slot.buffer.Room(size);
        reader.Read(
            entry,
            [out, size, &at](const std::uint8_t* data, std::size_t length) {
                // The reader hands on no more than the directory announces; this only guards the copy.
                if (length > size - at)
                    throw EOlvex("Der Eintrag enthält mehr Daten als angegeben (beschädigt).",
                                 TErrorKind::DamagedArchive);
                std::memcpy(out + at, data, length);
                at += length;
            },
            [this](std::int64_t) {
                if (FStop) throw TStopped{};
            });
        slot.entry.data = {out, size};
        if (FCheck) FCheck(entry, slot.entry.data);
    } catch (const TStopped&) {
        return false;
    } catch (...) {
        slot.entry.error = std::current_exception();
        slot.entry.data = {};
    }
    return true;
}

void TZipEntryPrefetch::Run(const TZipReading& zip, TEntryReadLimits limits) {
    try {
        TZipEntryReader reader(nullptr, limits);
        reader.ReadDirectly(*zip.files, zip.dataStarts, zip.dataLimit);
        for (std::size_t position = 0; position < FEntries.size(); ++position) {
            if (!FAhead[position]) continue;
            TSlot slot;
            slot.position = position;
            slot.size = static_cast<std::size_t>(FEntries[position]->stat.size);
            {
                std::unique_lock lock(FMutex);
                FChanged.wait(lock, [&] { return FStop || FBytesAhead == 0 || FBytesAhead + slot.size <= kBytesAhead; });
                if (FStop) break;
                // Passed already: not wanted any more.
                if (position < FWanted) continue;
                FBytesAhead += slot.size;
            }
            const bool read = ReadInto(reader, *FEntries[position], slot);
            const std::lock_guard lock(FMutex);
            if (!read) break;
            if (position < FWanted) {
                FBytesAhead -= slot.size;
                continue;
            }
            FReady.push_back(std::move(slot));
            FChanged.notify_all();
        }
    } catch (...) {
        // No reader to be had (memory): the entries not read ahead are read in turn.
    }
    const std::lock_guard lock(FMutex);
    FDone = true;
    FChanged.notify_all();
}

const TEntryReadAhead* TZipEntryPrefetch::Take(std::size_t position) {
    std::unique_lock lock(FMutex);
    FTaken.reset();
    FWanted = std::max(FWanted, position);
    const bool ahead = position < FEntries.size() && FAhead[position];
    for (;;) {
        while (!FReady.empty() && FReady.front().position < position) {
            FBytesAhead -= FReady.front().size;
            FReady.pop_front();
        }
        FChanged.notify_all();
        if (!ahead || !FReady.empty() || FDone) break;
        FChanged.wait(lock);
    }
    if (!ahead || FReady.empty() || FReady.front().position != position) return nullptr;
    FTaken.emplace(std::move(FReady.front()));
    FReady.pop_front();
    FBytesAhead -= FTaken->size;
    return &FTaken->entry;
}

}  // namespace tavik
