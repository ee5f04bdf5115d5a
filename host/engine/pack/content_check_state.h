#pragma once
// What the readers of one archive's content check share: the first failure, the counts, the
// progress, the digest; and the check of one entry, the same on every path.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "host/engine/zip/zip_entry.h"
#include "host/services/sha256.h"

namespace tavik {

class TZipEntryReader;

struct TSharedState {
    std::atomic<bool> failed{false};
    std::atomic<bool> aborted{false};
    std::atomic<int> bySha256{0};
    std::atomic<int> byCrcOnly{0};
    std::atomic<std::int64_t> done{0};
    std::int64_t total = 0;
    std::function<bool(std::int64_t, std::int64_t)> progress;
    std::mutex mutex;  // for progress and reason
    std::string reason;
    std::atomic<bool> changed{false};     // the file's length changed while it was read
    bool digestWanted = false;            // the whole file's SHA-256 as well
    std::optional<TSha256Digest> digest;  // written by one reader, read after all have ended

    // Keeps the first failure, German, and stops the readers.
    void Fail(const std::string& why);
    // The failure to report for the file at path: that it was changed while it was read, before
    // whatever that made fail; empty when all was sound.
    std::string Verdict(const std::string& path) const;
};

// Where an entry's content goes for its fingerprint.
class TEntryHash {
public:
    virtual void Update(const std::uint8_t* data, std::size_t size) = 0;
    // The digest of the content given; the hash starts anew.
    virtual TSha256Digest Final() = 0;

protected:
    ~TEntryHash() = default;
};

// Reads the entry (a file) through reader against its size and CRC-32, and its fingerprint
// where it has one, and counts it. Throws EOlvex with a German reason when it is damaged, or
// as aborted when the progress says stop or another reader failed.
void CheckEntry(TZipEntryReader& reader, const TZipEntry& entry, std::int64_t size, TEntryHash& hash,
                TSharedState& state);

}  // namespace tavik
