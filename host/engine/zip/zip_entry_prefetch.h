#pragma once
// Reads the entries to come on a thread of its own while the extraction writes one entry after
// the other: inflating and checking then run beside the writing instead of between two files.
// Everything that touches the target (directories, names, conflicts, the files themselves)
// stays in order on the caller's thread.
//
// Only entries read straight from a single archive file (stored or deflated, unencrypted, not a
// directory or link) of bounded size are read ahead, in order, never more than a bounded number
// of bytes ahead. Each is read by a TZipEntryReader of the thread's own, size and CRC checked
// as ever, then given to the check step. A failure is kept and thrown where the entry is taken,
// so that the entry fails with the reason it fails with when read in turn.
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <vector>

#include "host/engine/zip/zip_entry_reader.h"
#include "host/services/large_buffer.h"

namespace tavik {

struct TZipReading;

// An entry read ahead: its data, size and CRC checked and passed by the check step, or the
// reason it failed.
struct TEntryReadAhead {
    std::exception_ptr error;
    std::span<const std::uint8_t> data;
};

class TZipEntryPrefetch {
public:
    // Runs on the reading thread with an entry's data; throws when the data must not be used.
    using TCheck = std::function<void(const TZipEntry&, std::span<const std::uint8_t>)>;

    // Starts reading the entries of zip among entries (in the order they will be taken) that
    // qualify. Reads nothing when the archive is not one single file read directly.
    TZipEntryPrefetch(const TZipReading& zip, std::vector<const TZipEntry*> entries, const TEntryReadLimits& limits,
                      TCheck check);
    TZipEntryPrefetch(const TZipEntryPrefetch&) = delete;
    TZipEntryPrefetch& operator=(const TZipEntryPrefetch&) = delete;
    ~TZipEntryPrefetch();  // stops the thread and waits for it

    // entries[position] as read ahead, waited for, or nullptr when it is not read ahead (then it
    // is read in turn). The entries before it, and what was taken before, are given up. What
    // is returned stays until the next call.
    const TEntryReadAhead* Take(std::size_t position);

private:
    struct TSlot {
        std::size_t position = 0;
        TEntryReadAhead entry;
        TLargeBuffer buffer;
        std::size_t size = 0;
    };
    void Run(const TZipReading& zip, TEntryReadLimits limits);
    // Reads and checks the entry into slot; false when stopped meanwhile.
    bool ReadInto(TZipEntryReader& reader, const TZipEntry& entry, TSlot& slot);

    std::vector<const TZipEntry*> FEntries;
    std::vector<bool> FAhead;  // by position: read ahead
    TCheck FCheck;
    std::mutex FMutex;
    std::condition_variable FChanged;
    std::deque<TSlot> FReady;       // read, in order of position
    std::optional<TSlot> FTaken;    // handed out last
    std::size_t FWanted = 0;        // the position taken last: none before it is read any more
    std::uint64_t FBytesAhead = 0;  // of the slots read or being read, not yet taken
    bool FDone = false;             // the thread has ended
    std::atomic<bool> FStop = false;
    std::thread FThread;
};

}  // namespace tavik
