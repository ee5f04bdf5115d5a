#pragma once
// Reads a ZIP archive completely on several threads: every entry inflated and checked against
// its CRC-32 and, where vendrask wrote one, its SHA-256 fingerprint, and the seal in the comment
// against the entries. Used for the read-back of an archive just written, before anything that
// went into it is deleted (then also against what was packed), and for re-verifying archives.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/engine/archiv_format.h"
#include "host/services/sha256.h"

namespace tavik {

// The SHA-256 of a whole archive file and its size, taken from the bytes a check read.
struct TFileDigest {
    TSha256Digest Sha256{};
    std::int64_t Size = 0;
};

// Empty when the ZIP archive at path holds exactly the items (by EntryName; files with Size,
// Crc and Sha256) and nothing else; otherwise a German reason. readers: entries read at once
// (0: one per processor, at most four). digest, where given, receives the whole file's SHA-256
// from the same reading when the archive is sound and was read to its end as measured.
std::string CheckPackedArchive(const std::string& path, const std::vector<TFileInfoItem>& items,
                               unsigned readers = 0, std::optional<TFileDigest>* digest = nullptr);

struct TContentCheck {
    std::string Failure;  // German: the first fault found; empty when every entry is sound
    int BySha256 = 0;     // files confirmed by their fingerprint (and CRC-32)
    int ByCrcOnly = 0;    // files without a fingerprint, confirmed by CRC-32 alone
    bool Sealed = false;  // the comment holds a seal that fits the entries
    bool Aborted = false;
    // Asked for: the SHA-256 of the whole archive file and its size, taken from the same bytes
    // as the entries, by one of the readers. None when the file could not be read that way
    // (opened, its structure checked, every entry's data read straight from it, and read to its
    // end as long as it was measured): the caller reads it itself.
    std::optional<TSha256Digest> FileSha256;
    std::int64_t FileSize = 0;
};

// Every entry of the archive at path, each against itself. progress(bytes inflated so far,
// total) is called now and then from the reading threads; false stops the check (Aborted).
// fileDigest: the whole file's SHA-256 as well (FileSha256), even when an entry is faulty.
TContentCheck CheckArchiveContent(const std::string& path,
                                  const std::function<bool(std::int64_t, std::int64_t)>& progress = {},
                                  unsigned readers = 0, bool fileDigest = false);

}  // namespace tavik
