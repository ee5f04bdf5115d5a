// The read-back of an archive just written, before anything that went into it is deleted. It
// holds no more than it needs for that while the run still holds everything it packed: the
// directory is read as a stream and checked entry by entry against what was packed, each
// entry's local header against its central one; then the file is read once more, front to
// back, and every file entry inflated on several threads against its size, CRC-32 and
// fingerprint, while the whole file's SHA-256 for the journal is taken from the same bytes.
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <string_view>
#include <thread>
#include <unordered_map>

#include "host/engine/pack/packed_check.h"
#include "host/engine/pack/streamed_check.h"
#include "host/engine/zip/zip_directory.h"
#include "host/engine/zip/zip_entry.h"
#include "host/engine/zip/zip_entry_extent.h"
#include "host/engine/zip/zip_fingerprint.h"
#include "host/services/exceptions.h"
#include "host/services/system_error.h"
#include "host/services/unique_fd.h"

namespace tavik {

namespace {

struct TReadJob {
    const TFileInfoItem* item;
    std::size_t index;  // in the directory
    std::uint64_t storedSize;
    std::uint16_t method;
};

// What the central header says of an entry must be what was packed into it; the reading
// checks the data against size and CRC, the fingerprint against the content.
std::string MismatchWithItem(const TFileInfoItem& item, const zip::TCentralView& header, bool directory,
                             const std::optional<TSha256Digest>& fingerprint) {
    if ((item.Attributes & faDirectory) != 0)
        return directory ? std::string() : "„" + item.EntryName + "“ ist im Archiv kein Verzeichnis.";
    if (directory || static_cast<std::int64_t>(header.uncompressedSize) != item.Size)
        return "Der Eintrag „" + item.EntryName + "“ gibt nicht die Größe der Datei an.";
    if (header.crc != item.Crc)
        return "Der Inhalt des Eintrags „" + item.EntryName +
               "“ stimmt nicht mit der Datei überein, wie sie gelesen wurde (Prüfsumme).";
    if (item.Sha256 && fingerprint != item.Sha256)
        return "Der Eintrag „" + item.EntryName + "“ trägt nicht den Fingerabdruck der Datei.";
    // Only these are read here; vendrask writes no other.
    if ((header.flags & 1) != 0 || (header.method != 0 && header.method != 8))
        return "Der Eintrag „" + item.EntryName + "“ ist nicht so gespeichert, wie er gepackt wurde.";
    return {};
}

// What the directory showed: the entries to read, and the first fault in the order in which
// it is reported.
struct TDirectoryCheck {
    std::vector<TReadJob> jobs;
    std::vector<std::uint64_t> dataStarts;  // by directory index
    std::uint64_t centralStart = 0;
    std::string failure;
};

TDirectoryCheck CheckDirectory(const std::string& path, zip::TByteReader& reader, std::uint64_t size,
                               const std::vector<TFileInfoItem>& items) {
    TDirectoryCheck check;
    std::unordered_map<std::string_view, std::size_t> byName;  // views into the items' names
    byName.reserve(items.size());
    for (std::size_t i = 0; i < items.size(); ++i) byName.emplace(items[i].EntryName, i);
    std::vector<std::uint8_t> matched(items.size(), 0);
    std::vector<const TFileInfoItem*> itemAt;  // by directory index, for naming an overlap
    std::vector<zip::TEntryExtent> extents;
    itemAt.reserve(items.size());
    extents.reserve(items.size());
    check.dataStarts.reserve(items.size());
    check.jobs.reserve(items.size());

    zip::TZipDirectory directory;
    std::optional<zip::TEntryMeasure> measure;
    zip::TSealDigest seal;
    std::optional<std::size_t> duplicate;
    std::string mismatch;
    std::string name;
    const std::string damaged = "Die Archivdatei „" + path + "“ ist beschädigt oder kein ZIP-Archiv. ";
    const auto visit = [&](const zip::TDirectoryEntry& entry) {
        const zip::TCentralView& header = entry.header;
        const std::size_t index = itemAt.size();
        if (!measure) measure.emplace(reader, directory.CentralStart(), zip::TExtentOptions{.agreeWithCentral = true});
        try {
            extents.push_back((*measure)(header, index, entry.position));
        } catch (const zip::TRecordError& error) {
            throw EOlvex(damaged + "Die Struktur des Archivs ist fehlerhaft: " + error.what() + ".",
                         TErrorKind::DamagedArchive);
        }
        check.dataStarts.push_back(extents.back().start + extents.back().headerSize);
        name.assign(reinterpret_cast<const char*>(header.name), header.nameSize);
        const std::optional<TSha256Digest> fingerprint = zip::FingerprintIn(header.extra, header.wellFormedExtra);
        seal.Add(name, fingerprint);
        const auto found = byName.find(name);
        itemAt.push_back(found == byName.end() ? nullptr : &items[found->second]);
        if (found == byName.end()) return;  // an item is missing then, or the count is wrong
        if (matched[found->second]++ != 0) {
            if (!duplicate) duplicate = index;
            return;
        }
        const TFileInfoItem& item = items[found->second];
        const bool isDirectory = ZipEntryShapeOf(header, name).directory;
        if (mismatch.empty()) mismatch = MismatchWithItem(item, header, isDirectory, fingerprint);
        if (!isDirectory && mismatch.empty()) check.jobs.push_back({&item, index, header.compressedSize, header.method});
    };
    try {
        directory.Stream(reader, {0, size}, visit);
    } catch (const zip::TRecordError& error) {
        throw EOlvex(damaged + error.what() + ".", TErrorKind::DamagedArchive);
    }
    check.centralStart = directory.CentralStart();

    if (const auto overlap = zip::SortAndFindOverlap(extents)) {
        const auto nameOf = [&itemAt](std::size_t index) {
            return itemAt[index] != nullptr ? itemAt[index]->EntryName : "Nr. " + std::to_string(index + 1);
        };
        check.failure = damaged + "Die Struktur des Archivs ist fehlerhaft: die Einträge „" + nameOf(overlap->first) +
                        "“ und „" + nameOf(overlap->second) + "“ überlappen sich.";
        return check;
    }
    const zip::TBytes& comment = directory.End().comment;
    const zip::TSealCheck sealed = zip::CheckSeal(
        std::string_view(reinterpret_cast<const char*>(comment.data()), comment.size()), itemAt.size(), seal);
    if (!sealed.failure.empty()) {
        check.failure = sealed.failure;
    } else if (itemAt.size() != items.size()) {
        check.failure = "Das Archiv enthält " + std::to_string(itemAt.size()) + " Einträge statt " +
                        std::to_string(items.size()) + ".";
    } else if (duplicate) {
        check.failure = "Der Eintrag Nummer " + std::to_string(*duplicate + 1) + " hat keinen eindeutigen Namen.";
    } else if (const auto missing = std::find(matched.begin(), matched.end(), 0); missing != matched.end()) {
        check.failure = "Der Eintrag „" + items[static_cast<std::size_t>(missing - matched.begin())].EntryName + "“ fehlt.";
    } else {
        check.failure = mismatch;
    }
    return check;
}

}  // namespace

std::string CheckPackedArchive(const std::string& path, const std::vector<TFileInfoItem>& items, unsigned readers,
                               std::optional<TFileDigest>* digest) {
    if (digest != nullptr) digest->reset();
    try {
        const TUniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY));
        struct stat status {};
        if (!fd || ::fstat(fd.Get(), &status) != 0)
            return "Die Archivdatei „" + path + "“ kann nicht geöffnet werden: " + SystemErrorText(errno) + ".";
        if (!S_ISREG(status.st_mode)) return "„" + path + "“ ist keine Datei.";
        const auto size = static_cast<std::uint64_t>(status.st_size);
        zip::TDescriptorReader reader(fd.Get(), size);
        TDirectoryCheck check = CheckDirectory(path, reader, size, items);
        if (!check.failure.empty()) return check.failure;
        if (readers == 0) readers = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
        std::vector<TStreamedJob> jobs;
        jobs.reserve(check.jobs.size());
        for (const TReadJob& job : check.jobs) jobs.push_back({check.dataStarts[job.index], job.storedSize, job.item->Size});
        // Each entry as the items say it must be: what its data is checked against.
        const auto entryOf = [&check](std::size_t job, TZipEntry& entry) -> const TZipEntry& {
            const TReadJob& read = check.jobs[job];
            const TFileInfoItem& item = *read.item;
            entry.stat.valid = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC;
            entry.index = read.index;
            entry.name = item.EntryName;
            entry.stat.size = static_cast<zip_uint64_t>(item.Size);
            entry.stat.comp_size = read.storedSize;
            entry.stat.crc = item.Crc;
            entry.stat.comp_method = read.method;
            entry.fingerprint = item.Sha256;
            return entry;
        };
        TSharedState state;
        state.digestWanted = digest != nullptr;
        CheckStreamed({fd.Get(), size, &check.dataStarts, check.centralStart, nullptr}, jobs, entryOf, state, readers);
        if (std::string verdict = state.Verdict(path); !verdict.empty()) return verdict;
        if (digest != nullptr && state.digest) *digest = TFileDigest{*state.digest, static_cast<std::int64_t>(size)};
        return {};
    } catch (const std::exception& error) {
        return error.what();
    }
}

}  // namespace tavik
