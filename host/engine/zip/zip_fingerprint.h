#pragma once
// The fingerprint vendrask writes into each entry, and the seal in the comment of each archive
// it writes (documented in docs/format.md for other programs):
//
// - Extra field 0x6B76 ("vk"), in the local and the central header of every file entry: one
//   version byte (1) and the 32-byte SHA-256 of the entry's uncompressed content.
// - The archive comment "vendrask-fingerprint/1 entries=N digest=D journal=J": N the number of
//   entries, D the SHA-256 over every entry in central-directory order of its name's length
//   (2 bytes, little-endian), its name as stored, and its fingerprint (32 zero bytes for an entry
//   without one, a directory), J the head of ARCHIV's journal when the archive was written (64
//   zeros outside ARCHIV). An entry removed later, or a fingerprint changed together with its
//   content, no longer fits the seal.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/engine/zip/zip_directory.h"
#include "host/services/sha256.h"

namespace tavik::zip {

constexpr std::uint16_t kFingerprintId = 0x6B76;
constexpr std::uint8_t kFingerprintVersion = 1;
constexpr std::size_t kFingerprintSize = 1 + 32;  // the field's data, without id and length

// The field's data for a digest.
std::string FingerprintField(const TSha256Digest& digest);
// The fingerprint in an extra field (whole blocks), nothing when there is none. A field of the
// id with another version or length is no fingerprint of ours.
std::optional<TSha256Digest> FingerprintIn(const std::uint8_t* extra, std::size_t extraSize);

struct TSeal {
    std::uint64_t entries = 0;
    TSha256Digest digest{};
    TSha256Digest journal{};
};

std::string SealComment(const TSeal& seal);
// The seal a comment holds, nothing when it holds none (any other comment).
std::optional<TSeal> ParseSeal(std::string_view comment);
// Whether a comment is a seal of ours, whole or not: such a comment is replaced, never kept.
bool LooksLikeSeal(std::string_view comment);

// Builds a seal's digest from the entries in central-directory order.
class TSealDigest {
public:
    void Add(std::string_view storedName, const std::optional<TSha256Digest>& fingerprint);
    std::uint64_t Entries() const { return FEntries; }
    TSha256Digest Final() { return FHash.Final(); }

private:
    TSha256 FHash;
    std::uint64_t FEntries = 0;
};

// What an archive's comment and entries say of its seal.
struct TSealCheck {
    bool present = false;  // the comment is a seal of ours
    std::string failure;   // German, when the entries no longer fit it
    TSha256Digest journal{};
};
TSealCheck CheckSeal(std::string_view comment, const std::vector<TDirectoryEntry>& entries);
// The same for a directory read as a stream: the number of its entries and their digest, made
// while they passed.
TSealCheck CheckSeal(std::string_view comment, std::uint64_t entries, TSealDigest& digest);

}  // namespace tavik::zip
