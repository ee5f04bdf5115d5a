#pragma once
// Reads a ZIP archive that may be spread over volumes: its entries with their positions in the
// volumes taken end to end, and raw bytes at such positions. Only the central directory is
// kept in memory; data is read from the files when asked for.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/engine/split/split_files.h"
#include "host/engine/split/split_volumes.h"
#include "host/engine/zip/zip_records.h"

namespace tavik::splitread {

// The files of a set taken end to end; one descriptor is open at a time.
class TVolumeFiles {
public:
    explicit TVolumeFiles(std::vector<std::string> paths);

    std::size_t Count() const { return FPaths.size(); }
    const std::string& Path(std::size_t i) const { return FPaths[i]; }
    std::uint64_t Start(std::size_t i) const { return FStarts[i]; }
    std::uint64_t Size(std::size_t i) const { return FStarts[i + 1] - FStarts[i]; }
    std::uint64_t TotalSize() const { return FStarts.back(); }
    const std::vector<splitio::TFileIdentity>& Identities() const { return FIdentities; }
    std::int64_t LastModified() const { return FLastModified; }

    // Reads exactly size bytes at the position counted over all files; throws EOlvex.
    void Read(std::uint64_t position, void* buffer, std::size_t size);

private:
    std::vector<std::string> FPaths;
    std::vector<std::uint64_t> FStarts;  // Count() + 1 values
    std::vector<splitio::TFileIdentity> FIdentities;
    std::int64_t FLastModified = 0;
    std::size_t FOpenIndex = 0;
    TUniqueFd FOpen;
};

struct TEntry {
    ziprec::TCentralHeader header;
    std::uint64_t position = 0;  // of the local header, over all files
};

// A parsed archive. Disks are the volumes of a ZIP split set; a byte-split set or a single file
// is one disk.
class TSplitArchive {
public:
    // set empty: archive is one ordinary file. Throws EOlvex when the archive is damaged.
    TSplitArchive(const std::string& archive, const std::optional<TSplitSet>& set);

    TVolumeFiles& Files() { return FFiles; }
    std::uint32_t DiskCount() const { return static_cast<std::uint32_t>(FDiskStarts.size() - 1); }
    // Where the entries begin: after a split or single-segment marker.
    std::uint64_t DataStart() const { return FDataStart; }
    // Where the central directory begins; every entry lies before it.
    std::uint64_t CentralStart() const { return FCentralStart; }
    const std::vector<TEntry>& Entries() const { return FEntries; }
    const ziprec::TBytes& Comment() const { return FComment; }

    [[noreturn]] void Damaged(const std::string& detail) const;

private:
    std::uint64_t DiskStart(std::uint32_t disk) const { return FDiskStarts[disk]; }
    std::uint64_t DiskSize(std::uint32_t disk) const { return FDiskStarts[disk + 1] - FDiskStarts[disk]; }
    void Parse();

    std::string FName;
    TVolumeFiles FFiles;
    std::vector<std::uint64_t> FDiskStarts;
    std::uint64_t FDataStart = 0;
    std::uint64_t FCentralStart = 0;
    std::vector<TEntry> FEntries;
    ziprec::TBytes FComment;
};

}  // namespace tavik::splitread
