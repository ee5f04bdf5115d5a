#pragma once
// Reads a ZIP archive that may be spread over volumes: its entries with their positions in the
// volumes taken end to end, and raw bytes at such positions. Only the central directory is
// kept in memory; data is read from the files when asked for. An ordinary archive is read the
// same way, through the descriptor it was opened with.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/engine/split/split_files.h"
#include "host/engine/split/split_volumes.h"
#include "host/engine/zip/zip_directory.h"

namespace tavik::split {

// The files of a set taken end to end; one descriptor is open at a time, and a file opened
// again must still be the one first measured.
class TVolumeFiles : public zip::TByteReader {
public:
    explicit TVolumeFiles(std::vector<std::string> paths);
    // One file, already open; it is never opened again by its name.
    TVolumeFiles(const std::string& path, TUniqueFd file);

    std::size_t Count() const { return FPaths.size(); }
    const std::string& Path(std::size_t i) const { return FPaths[i]; }
    std::uint64_t Start(std::size_t i) const { return FStarts[i]; }
    std::uint64_t Size(std::size_t i) const { return FStarts[i + 1] - FStarts[i]; }
    std::uint64_t TotalSize() const { return FStarts.back(); }
    const std::vector<split::TFileIdentity>& Identities() const { return FIdentities; }
    std::int64_t LastModified() const { return FLastModified; }

    std::uint64_t Size() const override { return TotalSize(); }
    // Reads exactly size bytes at the position counted over all files; throws EOlvex.
    void Read(std::uint64_t position, void* buffer, std::size_t size) override;
    // The descriptor of the only file, or -1 for a set.
    int SingleDescriptor() const { return FPaths.size() == 1 ? FOpen.Get() : -1; }

private:
    std::vector<std::string> FPaths;
    void Measure(const TUniqueFd& file, const std::string& path);

    std::vector<std::uint64_t> FStarts;  // Count() + 1 values
    std::vector<split::TFileIdentity> FIdentities;
    std::int64_t FLastModified = 0;
    std::size_t FOpenIndex = 0;
    TUniqueFd FOpen;
};

using TEntry = zip::TDirectoryEntry;

// How much of the directory a parse reads. By default every entry, kept (Entries()).
struct TDirectoryReading {
    // Each entry goes to it as it is read (zip::TZipDirectory::Stream), and Entries() stays empty.
    const zip::TEntryVisitor* stream = nullptr;
    // The end records alone, as every reading finds them, and the directory's first signature:
    // whether the file is a ZIP archive whose directory lies where it says, in little memory
    // and time whatever the number of entries. Entries() stays empty.
    bool endOnly = false;
};

// A parsed archive. Disks are the volumes of a ZIP split set; a byte-split set or a single file
// is one disk.
class TSplitArchive {
public:
    // set empty: archive is one ordinary file. Throws EOlvex when the archive is damaged.
    TSplitArchive(const std::string& archive, const std::optional<TSplitSet>& set, TDirectoryReading reading = {});
    // One ordinary file, already open.
    TSplitArchive(const std::string& archive, TUniqueFd file, TDirectoryReading reading = {});
    TSplitArchive(const TSplitArchive&) = delete;
    TSplitArchive& operator=(const TSplitArchive&) = delete;

    TVolumeFiles& Files() { return FFiles; }
    std::uint32_t DiskCount() const { return static_cast<std::uint32_t>(FDiskStarts.size() - 1); }
    // Where the entries begin: after bytes put before the archive and a split or
    // single-segment marker.
    std::uint64_t DataStart() const { return FDirectory.DataStart(); }
    // Where the central directory begins; every entry lies before it.
    std::uint64_t CentralStart() const { return FDirectory.CentralStart(); }
    const std::vector<TEntry>& Entries() const { return FDirectory.Entries(); }
    const zip::TBytes& Comment() const { return FDirectory.End().comment; }
    const zip::TZipDirectory& Directory() const { return FDirectory; }

    [[noreturn]] void Damaged(const std::string& detail) const;

private:
    void Parse(bool byteSplit, TDirectoryReading reading);

    std::string FName;
    TVolumeFiles FFiles;
    std::vector<std::uint64_t> FDiskStarts;
    zip::TZipDirectory FDirectory;
};

}  // namespace tavik::split
