#include "host/engine/split/split_writer.h"

#include <unistd.h>

#include <algorithm>

#include "host/engine/split/volume_names.h"
#include "host/engine/zip/zip_records.h"
#include "host/services/exceptions.h"

namespace tavik::split {

TVolumeWriter::TVolumeWriter(std::string dir, std::string name, std::uint64_t volumeSize)
    : FDir(std::move(dir)), FName(std::move(name)), FVolumeSize(volumeSize) {
    NewVolume();
    if (FVolumeSize > 0) {
        zip::TBytes marker;
        zip::Put32(marker, zip::kSplitSig);
        Write(marker.data(), marker.size());
    }
}

TVolumeWriter::~TVolumeWriter() {
    if (FCommitted) return;
    // A failed commit may have placed some volumes already; they are ours, remove them.
    for (const std::string& path : FPlaced) ::unlink(path.c_str());
}

void TVolumeWriter::NewVolume() {
    FVolumes.push_back(std::make_unique<TSafeWrite>(FDir + "/" + FName + ZipExtension(), TDurability::Flushed));
    FOffset = 0;
}

std::uint64_t TVolumeWriter::Room() const {
    return FVolumeSize == 0 ? UINT64_MAX - FOffset : FVolumeSize - FOffset;
}

TPosition TVolumeWriter::Landing(std::uint64_t size) const {
    if (size <= Room()) return {Disk(), FOffset};
    return {Disk() + 1, 0};
}

TPosition TVolumeWriter::BeginRecord(std::uint64_t size, const std::string& what) {
    if (size > Room()) {
        if (size > FVolumeSize)
            throw EOlvex(what + " ist mit " + std::to_string(size) + " Bytes größer als ein Teil von " +
                         std::to_string(FVolumeSize) + " Bytes und darf nicht geteilt werden. "
                         "Bitte eine größere Teilgröße wählen.");
        if (Disk() >= 0xFFFFFFFEu) throw EOlvex("Das Archiv würde aus zu vielen Teilen bestehen. Bitte eine größere Teilgröße wählen.");
        NewVolume();
    }
    return {Disk(), FOffset};
}

void TVolumeWriter::Write(const void* data, std::size_t size) {
    const auto* in = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        if (Room() == 0) NewVolume();
        const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(size, Room()));
        FVolumes.back()->Write(in, chunk);
        in += chunk;
        size -= chunk;
        FOffset += chunk;
        FWritten += chunk;
    }
}

std::vector<std::string> TVolumeWriter::FinalNames() const {
    std::vector<std::string> names;
    for (std::size_t i = 0; i + 1 < FVolumes.size(); ++i)
        names.push_back(FDir + "/" + FName + VolumeExtension(static_cast<std::uint32_t>(i + 1)));
    names.push_back(FDir + "/" + FName + ZipExtension());
    return names;
}

void TVolumeWriter::Commit() {
    if (FVolumeSize > 0 && FVolumes.size() == 1) {
        // Everything fits into one volume: the marker tells readers the archive was meant to
        // be split but needed a single segment.
        zip::TBytes marker;
        zip::Put32(marker, zip::kSingleSegmentSig);
        FVolumes.front()->WriteAt(0, marker.data(), marker.size());
    }
    const std::vector<std::string> names = FinalNames();
    for (std::size_t i = 0; i < FVolumes.size(); ++i) {
        FVolumes[i]->SetName(names[i].substr(FDir.size() + 1));
        bool placed = false;
        try {
            placed = FVolumes[i]->Place(TPlacing::NoReplace);
        } catch (const EOlvex&) {
            // Placed, but its directory not flushed: the volume is ours and goes with the rest.
            if (FVolumes[i]->Placed()) FPlaced.push_back(names[i]);
            throw;
        }
        if (!placed)
            throw EOlvex("Die Datei „" + names[i] + "“ gibt es bereits; sie wird nicht überschrieben. "
                         "Bitte einen anderen Zielordner wählen oder die Datei zuvor entfernen.");
        FPlaced.push_back(names[i]);
    }
    FCommitted = true;
}

}  // namespace tavik::split
