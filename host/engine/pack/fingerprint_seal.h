#pragma once
// libzip writes a new entry's headers before its data is read, so the SHA-256 of its content is
// not known then: each new entry gets a fingerprint field of zeros, and the seal comment a digest
// of zeros. Once libzip has closed the archive (still under its temporary name), the places held
// are filled in, found by reading the archive's directory and headers as any reader would.
#include <map>
#include <optional>
#include <string>

#include "host/services/sha256.h"

namespace tavik {

// fingerprints: the digest of each new entry, by its name as stored; other entries keep what
// they carry. sealed: the comment is a seal whose digest is filled in. Throws EOlvex when the
// archive is not as written (a place is missing).
void FillFingerprints(int fd, const std::map<std::string, TSha256Digest>& fingerprints, bool sealed);

}  // namespace tavik
