#pragma once
// Split ZIP archives: sets of volumes name.z01, name.z02, ..., name.zip as the ZIP format
// defines them, and byte-split sets name.zip.001, name.zip.002, ... as other archivers write
// them. Reading presents a set as one ordinary archive; Span and Merge write new files only.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tavik {

struct TSplitSet {
    enum class Kind { Zip, ByteSplit };
    Kind kind = Kind::Zip;
    std::vector<std::string> volumes;  // in order: .z01 ... .zip, or .001, .002, ...
};

// The split set that a path opens, if it is one: "name.zip" with "name.z01" beside it, any
// volume of such a set, or "name.zip.001" (or ".002" ...). Throws EOlvex naming a missing volume.
std::optional<TSplitSet> FindSplitSet(const std::string& path);

// Progress in bytes written; returning false aborts the command.
using TSplitProgress = std::function<bool(std::int64_t done, std::int64_t total)>;

// The smallest volume size Span accepts.
inline constexpr std::int64_t kSmallestVolumeSize = 64 * 1024;

// Writes archive as volumes of at most size bytes (-1: 2,000,000,000) into targetDir:
// name.z01, name.z02, ..., name.zip. Throws EOlvex on failure or abort; leaves no partial volume.
void SpanArchive(const std::string& archive, const std::string& targetDir, std::int64_t size,
                 const TSplitProgress& progress);

// Joins the set that archive opens into the ordinary archive targetDir/name.zip.
void MergeArchive(const std::string& archive, const std::string& targetDir, const TSplitProgress& progress);

}  // namespace tavik
