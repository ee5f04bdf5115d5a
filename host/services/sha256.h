#pragma once
// SHA-256 digests as 64 lower-case hex digits, of bytes in memory or of a whole file.
#include <cstdint>
#include <string>
#include <string_view>

namespace tavik {

std::string Sha256Hex(std::string_view bytes);

// The digest of a regular file, read through one descriptor opened without following a link.
// Throws EOlvex (German) when it cannot be opened or read; size receives the bytes read.
std::string Sha256OfFile(const std::string& path, std::int64_t* size = nullptr);

}  // namespace tavik
