#pragma once
// libzip writes a new entry's headers before its data is read, so the SHA-256 of its content is
// not known then: each new entry gets a fingerprint field of zeros, and the seal comment a digest
// of zeros. Once libzip has closed the archive (still under its temporary name), the places held
// are filled in, found by reading the archive's directory and headers as any reader would.
#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "host/services/sha256.h"

namespace tavik {

// An entry written anew, in the order it was added: its name as stored, and the digest of its
// content (none for a directory, which carries no fingerprint).
struct TFreshEntry {
    std::string_view name;
    std::optional<TSha256Digest> digest;
};

// The archive holds `kept` entries taken over from before, then the fresh ones, in this order;
// the kept ones keep what they carry. sealed: the comment is a seal whose digest is filled in.
// Throws EOlvex when the archive is not as written (an entry or a place is not where it must be).
void FillFingerprints(int fd, std::size_t kept, const std::vector<TFreshEntry>& fresh, bool sealed);

}  // namespace tavik
