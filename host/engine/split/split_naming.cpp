#include "host/engine/split/split_naming.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <set>
#include <vector>

#include "host/engine/split/split_files.h"
#include "host/engine/zip/zip_records.h"
#include "host/services/digits.h"
#include "host/services/exceptions.h"

namespace tavik {

namespace splitname {

std::string VolumeExtension(std::uint32_t number, bool upperCase) {
    const std::string digits = std::to_string(number);
    return std::string(".") + (upperCase ? "Z" : "z") + (number < 10 ? "0" : "") + digits;
}

std::string PieceExtension(std::uint32_t number) {
    std::string digits = std::to_string(number);
    if (digits.size() < 3) digits.insert(0, 3 - digits.size(), '0');
    return "." + digits;
}

}  // namespace splitname

namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kMaxVolumes = 0xFFFFFFFE;

bool EqualsNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// Parses a decimal volume number; 0 when it is none or out of range.
std::uint32_t VolumeNumber(const std::string& digits) {
    if (digits.size() > 9) return 0;
    const std::optional<std::uint64_t> value = DigitsValue(digits, kMaxVolumes);
    return value ? static_cast<std::uint32_t>(*value) : 0;
}

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

// The numbers n of every "<file>.<prefix>n" in dir (prefix "z" or "" for pieces).
std::set<std::uint32_t> NumbersInDirectory(const std::string& dir, const std::string& stem, bool volumes) {
    std::set<std::uint32_t> numbers;
    std::error_code error;
    const fs::path folder = dir.empty() ? fs::path(".") : fs::path(dir);
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.size() <= stem.size() + 1 || name.compare(0, stem.size(), stem) != 0 || name[stem.size()] != '.') continue;
        std::string rest = name.substr(stem.size() + 1);
        if (volumes) {
            if (rest.size() < 3 || (rest[0] != 'z' && rest[0] != 'Z')) continue;
            rest.erase(0, 1);
        } else if (rest.size() < 3) {
            continue;
        }
        if (const std::uint32_t n = VolumeNumber(rest)) numbers.insert(n);
    }
    return numbers;
}

// The number of disks the end record of the last volume announces, 0 when it cannot be read.
std::uint32_t AnnouncedDisks(const std::string& lastVolume) {
    try {
        const TUniqueFd file = splitio::OpenForReading(lastVolume);
        const std::uint64_t size = splitio::FileSize(file, lastVolume);
        const std::size_t tailSize = static_cast<std::size_t>(std::min<std::uint64_t>(size, ziprec::kMaxEndSearch));
        std::vector<std::uint8_t> tail(tailSize);
        splitio::ReadAt(file, lastVolume, size - tailSize, tail.data(), tail.size());
        const ziprec::TFoundEnd found = ziprec::FindEndRecord(tail.data(), tail.size());
        if (found.hasLocator) return found.totalDisks;
        if (found.record.thisDisk == 0xFFFF) return 0;
        return found.record.thisDisk + 1u;
    } catch (const std::exception&) {
        return 0;
    }
}

std::optional<TSplitSet> FindZipSet(const std::string& dir, const std::string& stem, const std::string& zipExt) {
    const bool upper = zipExt[1] == 'Z';
    const std::string last = dir + stem + zipExt;
    const std::string first = dir + stem + splitname::VolumeExtension(1, upper);
    if (!splitio::IsFile(last)) {
        if (splitio::IsFile(first)) ThrowMissing(last);
        return std::nullopt;  // no archive at all: the caller reports that
    }
    if (!splitio::IsFile(first)) {
        // No first volume: an ordinary archive, unless its end record says otherwise.
        if (AnnouncedDisks(last) > 1) ThrowMissing(first);
        return std::nullopt;
    }
    std::uint32_t disks = AnnouncedDisks(last);
    if (disks == 1) return std::nullopt;  // a stray .z01 beside an ordinary archive
    if (disks == 0) {
        // Unreadable end: take the volumes that are there; a gap is still an error.
        const std::set<std::uint32_t> numbers = NumbersInDirectory(dir, stem, true);
        disks = 1;
        while (numbers.count(disks)) ++disks;
        if (!numbers.empty() && *numbers.rbegin() >= disks) ThrowMissing(dir + stem + splitname::VolumeExtension(disks, upper));
    }
    TSplitSet set;
    set.kind = TSplitSet::Kind::Zip;
    for (std::uint32_t n = 1; n < disks; ++n) {
        const std::string volume = dir + stem + splitname::VolumeExtension(n, upper);
        if (!splitio::IsFile(volume)) ThrowMissing(volume);
        set.volumes.push_back(volume);
    }
    set.volumes.push_back(last);
    return set;
}

std::optional<TSplitSet> FindByteSplitSet(const std::string& dir, const std::string& stem) {
    const std::set<std::uint32_t> numbers = NumbersInDirectory(dir, stem, false);
    TSplitSet set;
    set.kind = TSplitSet::Kind::ByteSplit;
    std::uint32_t n = 1;
    for (; numbers.count(n); ++n) {
        const std::string piece = dir + stem + splitname::PieceExtension(n);
        if (!splitio::IsFile(piece)) break;
        set.volumes.push_back(piece);
    }
    if (!numbers.empty() && *numbers.rbegin() >= n) ThrowMissing(dir + stem + splitname::PieceExtension(n));
    if (set.volumes.empty()) ThrowMissing(dir + stem + splitname::PieceExtension(1));
    return set;
}

}  // namespace

std::optional<TSplitSet> FindSplitSet(const std::string& path) {
    const TPathParts parts = SplitPath(path);
    const std::string& file = parts.file;
    const std::size_t dot = file.rfind('.');
    if (dot == std::string::npos || dot == 0) return std::nullopt;
    const std::string stem = file.substr(0, dot);
    const std::string ext = file.substr(dot);

    if (EqualsNoCase(ext, ".zip")) return FindZipSet(parts.dir, stem, ext);

    if ((ext[1] == 'z' || ext[1] == 'Z') && ext.size() >= 4 && VolumeNumber(ext.substr(2)) != 0) {
        const std::string zipExt = ext[1] == 'Z' ? ".ZIP" : ".zip";
        if (!splitio::IsFile(parts.dir + stem + zipExt)) ThrowMissing(parts.dir + stem + zipExt);
        return FindZipSet(parts.dir, stem, zipExt);
    }

    const std::size_t innerDot = stem.rfind('.');
    if (ext.size() >= 4 && VolumeNumber(ext.substr(1)) != 0 && innerDot != std::string::npos &&
        EqualsNoCase(stem.substr(innerDot), ".zip"))
        return FindByteSplitSet(parts.dir, stem);
    return std::nullopt;
}

namespace splitname {

std::string BaseName(const std::string& archive, const std::optional<TSplitSet>& set) {
    std::string file = SplitPath(set ? set->volumes.back() : archive).file;
    if (set && set->kind == TSplitSet::Kind::ByteSplit) file.erase(file.rfind('.'));  // ".001"
    const std::size_t dot = file.rfind('.');
    if (dot != std::string::npos && dot > 0) file.erase(dot);
    return file;
}

}  // namespace splitname

}  // namespace tavik
