#include "host/engine/split/split_reader.h"

#include <sys/stat.h>

#include <algorithm>

#include "host/services/exceptions.h"

namespace tavik::splitread {

using namespace ziprec;

TVolumeFiles::TVolumeFiles(std::vector<std::string> paths) : FPaths(std::move(paths)) {
    FStarts.push_back(0);
    for (const std::string& path : FPaths) {
        const splitio::TFileHandle file = splitio::OpenForReading(path);
        FStarts.push_back(FStarts.back() + splitio::FileSize(file, path));
        FIdentities.push_back(splitio::Identity(file, path));
        struct stat st {};
        if (::fstat(file.Get(), &st) == 0) FLastModified = std::max<std::int64_t>(FLastModified, st.st_mtime);
    }
}

void TVolumeFiles::Read(std::uint64_t position, void* buffer, std::size_t size) {
    auto* out = static_cast<std::uint8_t*>(buffer);
    if (position > TotalSize() || size > TotalSize() - position)
        throw EOlvex("Das Archiv „" + FPaths.back() + "“ endet früher als erwartet; es ist unvollständig oder beschädigt.",
                     TErrorKind::DamagedArchive);
    while (size > 0) {
        const auto next = std::upper_bound(FStarts.begin(), FStarts.end(), position);
        const std::size_t index = static_cast<std::size_t>(next - FStarts.begin()) - 1;
        const std::uint64_t offset = position - FStarts[index];
        const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(size, Size(index) - offset));
        if (!FOpen.Valid() || FOpenIndex != index) {
            FOpen = splitio::OpenForReading(FPaths[index]);
            FOpenIndex = index;
        }
        splitio::ReadAt(FOpen, FPaths[index], offset, out, chunk);
        out += chunk;
        size -= chunk;
        position += chunk;
    }
}

TSplitArchive::TSplitArchive(const std::string& archive, const std::optional<TSplitSet>& set)
    : FName(set ? set->volumes.back() : archive), FFiles(set ? set->volumes : std::vector<std::string>{archive}) {
    if (FFiles.Count() == 0) Damaged("es hat keine Teile");
    if (set && set->kind == TSplitSet::Kind::Zip) {
        FDiskStarts.assign(FFiles.Count() + 1, 0);
        for (std::size_t i = 0; i < FFiles.Count(); ++i) FDiskStarts[i + 1] = FFiles.Start(i) + FFiles.Size(i);
    } else {
        FDiskStarts = {0, FFiles.TotalSize()};
    }
    if (DiskCount() > 0xFFFFFFFEu) Damaged("es besteht aus zu vielen Teilen");
    try {
        Parse();
    } catch (const TRecordError& error) {
        Damaged(error.what());
    }
}

void TSplitArchive::Damaged(const std::string& detail) const {
    throw EOlvex("Das Archiv „" + FName + "“ ist beschädigt (" + detail + ") und kann nicht gelesen werden.",
                 TErrorKind::DamagedArchive);
}

void TSplitArchive::Parse() {
    const std::uint32_t lastDisk = DiskCount() - 1;
    const std::uint64_t lastSize = DiskSize(lastDisk);
    const std::size_t tailSize = static_cast<std::size_t>(std::min<std::uint64_t>(lastSize, kMaxEndSearch));
    TBytes tail(tailSize);
    const std::uint64_t tailStart = DiskStart(lastDisk) + lastSize - tailSize;
    FFiles.Read(tailStart, tail.data(), tail.size());
    TFoundEnd found = FindEndRecord(tail.data(), tail.size());
    std::uint64_t endLimit = tailStart + found.position;
    if (found.hasLocator) {
        if (found.zip64Disk > lastDisk) Damaged("der Zip64-Endsatz verweist auf einen fehlenden Teil");
        const std::uint64_t diskSize = DiskSize(found.zip64Disk);
        if (diskSize < kZip64EndRecordSize || found.zip64Offset > diskSize - kZip64EndRecordSize)
            Damaged("der Zip64-Endsatz liegt außerhalb des Archivs");
        const std::uint64_t zip64Position = DiskStart(found.zip64Disk) + found.zip64Offset;
        if (zip64Position + kZip64EndRecordSize > endLimit) Damaged("der Zip64-Endsatz liegt hinter dem Endsatz");
        std::uint8_t record[kZip64EndRecordSize];
        FFiles.Read(zip64Position, record, sizeof record);
        ApplyZip64EndRecord(found, record, sizeof record);
        endLimit = zip64Position;
    }
    const TEndRecord& end = found.record;
    FComment = end.comment;
    if (end.thisDisk != lastDisk) {
        if (end.thisDisk > lastDisk)
            Damaged("es gehört zu einem geteilten Archiv aus " + std::to_string(end.thisDisk + 1ull) +
                    " Teilen, vorhanden sind " + std::to_string(DiskCount()));
        Damaged("der Endsatz nennt eine falsche Teilnummer");
    }
    if (end.centralDisk > lastDisk) Damaged("das Inhaltsverzeichnis verweist auf einen fehlenden Teil");
    if (end.centralOffset > DiskSize(end.centralDisk)) Damaged("das Inhaltsverzeichnis liegt außerhalb seines Teils");
    FCentralStart = DiskStart(end.centralDisk) + end.centralOffset;
    if (FCentralStart > endLimit || end.centralSize > endLimit - FCentralStart)
        Damaged("das Inhaltsverzeichnis reicht über das Ende des Archivs");
    if (end.entriesTotal > end.centralSize / kCentralHeaderSize)
        Damaged("die Zahl der Einträge passt nicht zur Größe des Inhaltsverzeichnisses");

    if (FFiles.TotalSize() >= 4) {
        std::uint8_t marker[4];
        FFiles.Read(0, marker, sizeof marker);
        const std::uint32_t sig = Get32(marker);
        if (sig == kSplitSig || sig == kSingleSegmentSig) FDataStart = 4;
    }
    if (FDataStart > FCentralStart) Damaged("das Inhaltsverzeichnis liegt vor den Einträgen");

    TBytes central(static_cast<std::size_t>(end.centralSize));
    FFiles.Read(FCentralStart, central.data(), central.size());
    FEntries.reserve(static_cast<std::size_t>(end.entriesTotal));
    std::size_t pos = 0;
    for (std::uint64_t i = 0; i < end.entriesTotal; ++i) {
        if (central.size() - pos < kCentralHeaderSize) Damaged("das Inhaltsverzeichnis ist unvollständig");
        const std::size_t size = CentralHeaderSize(central.data() + pos);
        if (size == 0) Damaged("ein Eintrag des Inhaltsverzeichnisses hat eine falsche Kennung");
        if (size > central.size() - pos) Damaged("das Inhaltsverzeichnis ist unvollständig");
        TEntry entry;
        entry.header = ParseCentralHeader(central.data() + pos, size);
        pos += size;
        const TCentralHeader& h = entry.header;
        if (h.diskStart > lastDisk) Damaged("der Eintrag „" + EntryName(h) + "“ liegt in einem fehlenden Teil");
        if (h.localOffset >= DiskSize(h.diskStart)) Damaged("der Eintrag „" + EntryName(h) + "“ liegt außerhalb seines Teils");
        entry.position = DiskStart(h.diskStart) + h.localOffset;
        if (entry.position < FDataStart || entry.position > FCentralStart || FCentralStart - entry.position < kLocalHeaderSize)
            Damaged("der Eintrag „" + EntryName(h) + "“ liegt nicht vor dem Inhaltsverzeichnis");
        FEntries.push_back(std::move(entry));
    }
}

}  // namespace tavik::splitread
