#pragma once
// Writes an archive as volumes of a fixed largest size, or as one file. Records that must not
// cross a volume boundary are started with BeginRecord; data may run on into the next volume.
// Every volume is written under a temporary name and renamed only by Commit; until then the
// destructor removes whatever was written.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/services/safe_write.h"

namespace tavik::split {

struct TPosition {
    std::uint32_t disk = 0;
    std::uint64_t offset = 0;
};

class TVolumeWriter {
public:
    // volumeSize 0: one ordinary file dir/name.zip. Otherwise volumes dir/name.z01 ...
    // dir/name.zip, the first starting with the split signature.
    TVolumeWriter(std::string dir, std::string name, std::uint64_t volumeSize);
    ~TVolumeWriter();
    TVolumeWriter(const TVolumeWriter&) = delete;
    TVolumeWriter& operator=(const TVolumeWriter&) = delete;

    // Where a record of size bytes will begin when started now.
    TPosition Landing(std::uint64_t size) const;
    // Moves on to a new volume unless size bytes fit into this one; throws when they fit into
    // none.
    TPosition BeginRecord(std::uint64_t size, const std::string& what);
    void Write(const void* data, std::size_t size);
    std::uint64_t BytesWritten() const { return FWritten; }
    std::uint32_t Disk() const { return static_cast<std::uint32_t>(FVolumes.size() - 1); }

    // The final names in order (only valid for the number of volumes written so far, the last
    // taken as the final one).
    std::vector<std::string> FinalNames() const;
    // Flushes and renames every volume to its final name; refuses to replace existing files.
    void Commit();

private:
    void NewVolume();
    std::uint64_t Room() const;

    std::string FDir;
    std::string FName;
    std::uint64_t FVolumeSize;
    std::vector<std::unique_ptr<TSafeWrite>> FVolumes;
    std::uint64_t FOffset = 0;  // within the current volume
    std::uint64_t FWritten = 0;
    std::vector<std::string> FPlaced;
    bool FCommitted = false;
};

}  // namespace tavik::split
