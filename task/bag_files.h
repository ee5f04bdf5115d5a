#pragma once
// The parts of a BagIt bag (RFC 8493) besides its payload: the declaration, the metadata, the
// manifests, and the digests of the files they list.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vendrask {

// bagit.txt, exactly.
inline constexpr const char* kBagDeclaration = "BagIt-Version: 1.0\nTag-File-Character-Encoding: UTF-8\n";

// A path as a manifest writes it: CR, LF and '%' percent-encoded (%0D, %0A, %25), the rest as it is.
std::string ManifestPath(std::string_view path);

struct TManifestLine {
    std::string Digest;  // lower-case hexadecimal
    std::string Path;    // relative to the bag, '/'-separated, not yet encoded
};
// "digest  path\n" per line, in the order given.
std::string ManifestText(const std::vector<TManifestLine>& lines);

struct TBagInfo {
    std::string Organization;
    std::string Date;  // YYYY-MM-DD
    std::int64_t Octets = 0;
    std::int64_t Files = 0;
    std::string Description;
};
// bag-info.txt. A line break in a value would start a new label; it becomes a blank.
std::string BagInfoText(const TBagInfo& info);

struct TFileDigests {
    std::string Sha256;
    std::string Sha512;
    std::int64_t Size = 0;
};
// Both digests of a regular file, read once, opened without following a link in its last
// component. Throws EOlvex naming the file.
TFileDigests DigestsOfFile(const std::string& path);
// The same of bytes in memory.
TFileDigests DigestsOf(std::string_view bytes);

// Writes a new file of the bag (a name not yet taken) completely or not at all. Throws EOlvex.
void WriteBagFile(const std::string& path, std::string_view content);

}  // namespace vendrask
