// Finding the split set that a path opens: the volumes beside it, by their names
// (volume_names.h) and the number of disks the last volume's end record announces.
#include <algorithm>
#include <filesystem>
#include <set>
#include <vector>

#include "host/engine/split/split_files.h"
#include "host/engine/split/split_volumes.h"
#include "host/engine/split/volume_names.h"
#include "host/engine/zip/zip_records.h"
#include "host/services/exceptions.h"

namespace tavik {

namespace {

namespace fs = std::filesystem;

struct TPathParts {
    std::string dir;   // with trailing separator, or empty
    std::string file;  // file name
};

TPathParts SplitPath(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {"", path};
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

[[noreturn]] void ThrowMissing(const std::string& path) {
    throw EOlvex("Der Teil „" + path + "“ des geteilten Archivs fehlt. "
                 "Bitte alle Teile des Archivs in denselben Ordner legen und es erneut versuchen.",
                 TErrorKind::InputMissing);
}

// The numbers of the volumes (.z01 or .Z01 ...) or pieces (.001 ...) of stem in dir.
std::set<std::uint32_t> NumbersInDirectory(const std::string& dir, const std::string& stem, TVolumeName::Kind kind) {
    std::set<std::uint32_t> numbers;
    std::error_code error;
    const fs::path folder = dir.empty() ? fs::path(".") : fs::path(dir);
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::optional<TVolumeName> name = ParseVolumeName(it->path().filename().string());
        if (name && name->kind == kind && name->stem == stem) numbers.insert(name->number);
    }
    return numbers;
}

// The number of disks the end record of the last volume announces, 0 when it cannot be read.
std::uint32_t AnnouncedDisks(const std::string& lastVolume) {
    try {
        const TUniqueFd file = split::OpenForReading(lastVolume);
        const std::uint64_t size = split::FileSize(file, lastVolume);
        const std::size_t tailSize = static_cast<std::size_t>(std::min<std::uint64_t>(size, zip::kMaxEndSearch));
        std::vector<std::uint8_t> tail(tailSize);
        split::ReadAt(file, lastVolume, size - tailSize, tail.data(), tail.size());
        const zip::TFoundEnd found = zip::FindEndRecord(tail.data(), tail.size());
        if (found.hasLocator) return found.totalDisks;
        if (found.record.thisDisk == 0xFFFF) return 0;
        return found.record.thisDisk + 1u;
    } catch (const std::exception&) {
        return 0;
    }
}

// The set of dir/stem + zipExt; upper: the case of its other volumes (".Z01").
std::optional<TSplitSet> FindZipSet(const std::string& dir, const std::string& stem, const std::string& zipExt,
                                   bool upper) {
    const std::string last = dir + stem + zipExt;
    const std::string first = dir + stem + VolumeExtension(1, upper);
    if (!split::IsFile(last)) {
        if (split::IsFile(first)) ThrowMissing(last);
        return std::nullopt;  // no archive at all: the caller reports that
    }
    if (!split::IsFile(first)) {
        // No first volume: an ordinary archive, unless its end record says otherwise.
        if (AnnouncedDisks(last) > 1) ThrowMissing(first);
        return std::nullopt;
    }
    std::uint32_t disks = AnnouncedDisks(last);
    if (disks == 1) return std::nullopt;  // a stray .z01 beside an ordinary archive
    if (disks == 0) {
        // Unreadable end: take the volumes that are there; a gap is still an error.
        const std::set<std::uint32_t> numbers = NumbersInDirectory(dir, stem, TVolumeName::Kind::Volume);
        disks = 1;
        while (numbers.count(disks)) ++disks;
        if (!numbers.empty() && *numbers.rbegin() >= disks) ThrowMissing(dir + stem + VolumeExtension(disks, upper));
    }
    TSplitSet set;
    set.kind = TSplitSet::Kind::Zip;
    for (std::uint32_t n = 1; n < disks; ++n) {
        const std::string volume = dir + stem + VolumeExtension(n, upper);
        if (!split::IsFile(volume)) ThrowMissing(volume);
        set.volumes.push_back(volume);
    }
    set.volumes.push_back(last);
    return set;
}

std::optional<TSplitSet> FindByteSplitSet(const std::string& dir, const std::string& stem) {
    const std::set<std::uint32_t> numbers = NumbersInDirectory(dir, stem, TVolumeName::Kind::Piece);
    TSplitSet set;
    set.kind = TSplitSet::Kind::ByteSplit;
    std::uint32_t n = 1;
    for (; numbers.count(n); ++n) {
        const std::string piece = dir + stem + PieceExtension(n);
        if (!split::IsFile(piece)) break;
        set.volumes.push_back(piece);
    }
    if (!numbers.empty() && *numbers.rbegin() >= n) ThrowMissing(dir + stem + PieceExtension(n));
    if (set.volumes.empty()) ThrowMissing(dir + stem + PieceExtension(1));
    return set;
}

}  // namespace

std::optional<TSplitSet> FindSplitSet(const std::string& path) {
    const TPathParts parts = SplitPath(path);
    const std::optional<TVolumeName> name = ParseVolumeName(parts.file);
    if (!name) return std::nullopt;
    switch (name->kind) {
        case TVolumeName::Kind::Zip:
            return FindZipSet(parts.dir, name->stem, name->extension, name->upperCase);
        case TVolumeName::Kind::Volume: {
            const std::string last = parts.dir + name->stem + ZipExtension(name->upperCase);
            if (!split::IsFile(last)) ThrowMissing(last);
            return FindZipSet(parts.dir, name->stem, ZipExtension(name->upperCase), name->upperCase);
        }
        case TVolumeName::Kind::Piece:
            return FindByteSplitSet(parts.dir, name->stem);
    }
    return std::nullopt;
}

}  // namespace tavik
