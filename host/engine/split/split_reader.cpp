#include "host/engine/split/split_reader.h"

#include <sys/stat.h>

#include <algorithm>

#include "host/engine/split/volume_names.h"
#include "host/services/exceptions.h"

namespace tavik::split {

using namespace zip;

TVolumeFiles::TVolumeFiles(std::vector<std::string> paths) : FPaths(std::move(paths)) {
    FStarts.push_back(0);
    for (const std::string& path : FPaths) Measure(split::OpenForReading(path), path);
}

TVolumeFiles::TVolumeFiles(const std::string& path, TUniqueFd file) : FPaths{path} {
    FStarts.push_back(0);
    Measure(file, path);
    FOpen = std::move(file);
}

void TVolumeFiles::Measure(const TUniqueFd& file, const std::string& path) {
    struct stat st {};
    if (::fstat(file.Get(), &st) != 0 || !S_ISREG(st.st_mode))
        throw EOlvex("„" + path + "“ ist keine gewöhnliche Datei und kann nicht als Archiv gelesen werden.");
    FStarts.push_back(FStarts.back() + static_cast<std::uint64_t>(st.st_size));
    FIdentities.push_back({st.st_dev, st.st_ino});
    FLastModified = std::max<std::int64_t>(FLastModified, st.st_mtime);
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
            FOpen = split::OpenForReading(FPaths[index]);
            FOpenIndex = index;
            if (split::Identity(FOpen, FPaths[index]) != FIdentities[index])
                throw EOlvex("Der Teil „" + FPaths[index] + "“ wurde während des Lesens durch eine andere Datei "
                             "ersetzt. Bitte den Vorgang wiederholen, wenn die Teile nicht mehr verändert werden.");
        }
        split::ReadAt(FOpen, FPaths[index], offset, out, chunk);
        out += chunk;
        size -= chunk;
        position += chunk;
    }
}

TSplitArchive::TSplitArchive(const std::string& archive, const std::optional<TSplitSet>& set,
                             TDirectoryReading reading)
    : FName(set ? set->volumes.back() : archive), FFiles(set ? set->volumes : std::vector<std::string>{archive}) {
    if (FFiles.Count() == 0) Damaged("es hat keine Teile");
    if (set && set->kind == TSplitSet::Kind::Zip) {
        FDiskStarts.assign(FFiles.Count() + 1, 0);
        for (std::size_t i = 0; i < FFiles.Count(); ++i) FDiskStarts[i + 1] = FFiles.Start(i) + FFiles.Size(i);
    } else {
        FDiskStarts = {0, FFiles.TotalSize()};
    }
    if (DiskCount() > 0xFFFFFFFEu) Damaged("es besteht aus zu vielen Teilen");
    Parse(set && set->kind == TSplitSet::Kind::ByteSplit, reading);
}

TSplitArchive::TSplitArchive(const std::string& archive, TUniqueFd file, TDirectoryReading reading)
    : FName(archive), FFiles(archive, std::move(file)), FDiskStarts{0, FFiles.TotalSize()} {
    Parse(false, reading);
}

void TSplitArchive::Damaged(const std::string& detail) const {
    throw EOlvex("Das Archiv „" + FName + "“ ist beschädigt oder kein ZIP-Archiv (" + detail +
                 ") und kann nicht gelesen werden.",
                 TErrorKind::DamagedArchive);
}

void TSplitArchive::Parse(bool byteSplit, TDirectoryReading reading) {
    try {
        if (reading.stream != nullptr)
            FDirectory.Stream(FFiles, FDiskStarts, *reading.stream);
        else
            FDirectory.Read(FFiles, FDiskStarts, !reading.endOnly);
    } catch (const zip::TNoEndRecord& error) {
        if (!byteSplit) Damaged(error.what());
        // Without its end record the set lacks its last piece (or more); say so, not that it
        // is no ZIP archive.
        const std::string& last = FName;
        const std::string next =
            WithoutExtension(last) + PieceExtension(static_cast<std::uint32_t>(FFiles.Count() + 1));
        throw EOlvex("Dem geteilten Archiv „" + last + "“ fehlt das Ende: vermutlich fehlt der Teil „" + next +
                     "“, oder ein Teil ist beschädigt. Bitte alle Teile in denselben Ordner legen.",
                     TErrorKind::InputMissing);
    } catch (const TRecordError& error) {
        Damaged(error.what());
    }
}

}  // namespace tavik::split
