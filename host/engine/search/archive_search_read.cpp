#include "host/engine/search/archive_search_read.h"

#include <algorithm>
#include <ctime>

#include "host/engine/split/split_files.h"
#include "host/engine/split/split_reader.h"
#include "host/services/exceptions.h"

namespace tavik::archsearch {

namespace {

using namespace ziprec;

// Most end records have no comment: a small tail finds them without reading 64 KiB.
constexpr std::size_t kShortTail = 4096;
// A buffer that grew beyond this for one huge directory is given back afterwards.
constexpr std::size_t kKeptBuffer = 16u << 20;

[[noreturn]] void Damaged(const std::string& path, const std::string& detail) {
    throw EOlvex("Das Archiv „" + path + "“ ist beschädigt (" + detail + ") und kann nicht gelesen werden.",
                 TErrorKind::DamagedArchive);
}

std::string NameOf(const TCentralView& entry) {
    return std::string(reinterpret_cast<const char*>(entry.name), entry.nameSize);
}

void Release(std::vector<std::uint8_t>& buffer) {
    if (buffer.capacity() > kKeptBuffer) std::vector<std::uint8_t>().swap(buffer);
}

}  // namespace

namespace {

// The DOS fields as a time, the way libzip reads them, so that the listing and the search agree.
std::time_t DosFieldsTime(std::uint16_t dosTime, std::uint16_t dosDate) {
    std::tm tm{};
    tm.tm_isdst = -1;
    tm.tm_year = ((dosDate >> 9) & 127) + 1980 - 1900;
    tm.tm_mon = ((dosDate >> 5) & 15) - 1;
    tm.tm_mday = dosDate & 31;
    tm.tm_hour = (dosTime >> 11) & 31;
    tm.tm_min = (dosTime >> 5) & 63;
    tm.tm_sec = (dosTime << 1) & 62;
    return std::mktime(&tm);
}

}  // namespace

bool EntryUnixTime(const TCentralView& entry, std::int64_t& unixTime) {
    const auto exact = ExtraFieldTime(entry.extra, entry.extraSize, DosFieldsTime(entry.time, entry.date));
    if (!exact) return false;
    unixTime = *exact;
    return true;
}

TDateParts EntryLocalTime(std::uint16_t dosTime, std::uint16_t dosDate, bool hasUnixTime, std::int64_t unixTime) {
    const std::time_t when = hasUnixTime ? static_cast<std::time_t>(unixTime) : DosFieldsTime(dosTime, dosDate);
    return DecodeDateTime(FileTimeToDateTime(when));
}

void TDirectoryReader::Read(const TSearchArchive& archive, const TEntryVisitor& visit) {
    if (!archive.failure.empty()) throw EOlvex(archive.failure);
    try {
        if (archive.set) ReadSet(archive, visit);
        else ReadSingle(archive.path, visit);
    } catch (...) {
        Release(FCentral);
        throw;
    }
    Release(FCentral);
}

void TDirectoryReader::ReadSet(const TSearchArchive& archive, const TEntryVisitor& visit) {
    const splitread::TSplitArchive set(archive.path, archive.set);
    std::uint64_t number = 0;
    for (const splitread::TEntry& entry : set.Entries()) {
        const TCentralHeader& h = entry.header;
        TCentralView view;
        view.versionMadeBy = h.versionMadeBy;
        view.flags = h.flags;
        view.time = h.time;
        view.date = h.date;
        view.uncompressedSize = h.uncompressedSize;
        view.diskStart = h.diskStart;
        view.localOffset = h.localOffset;
        view.name = h.name.data();
        view.nameSize = h.name.size();
        view.extra = h.extra.data();
        view.extraSize = h.extra.size();
        visit(number++, view);
    }
}

void TDirectoryReader::ReadSingle(const std::string& path, const TEntryVisitor& visit) {
    const splitio::TFileHandle file = splitio::OpenForReading(path);
    const std::uint64_t size = splitio::FileSize(file, path);
    try {
        std::size_t tailSize = static_cast<std::size_t>(std::min<std::uint64_t>(size, kShortTail));
        FTail.resize(tailSize);
        splitio::ReadAt(file, path, size - tailSize, FTail.data(), tailSize);
        std::optional<TFoundEnd> found;
        try {
            found = FindEndRecord(FTail.data(), tailSize);
            // Only an end record whose comment ends at the file's end is sure in a short tail.
            if (found->position + kEndRecordSize + found->record.comment.size() != tailSize) found.reset();
        } catch (const TRecordError&) {
            if (tailSize == size) throw;
        }
        if (!found && tailSize < size) {
            tailSize = static_cast<std::size_t>(std::min<std::uint64_t>(size, kMaxEndSearch));
            FTail.resize(tailSize);
            splitio::ReadAt(file, path, size - tailSize, FTail.data(), tailSize);
            found = FindEndRecord(FTail.data(), tailSize);
        } else if (!found) {
            found = FindEndRecord(FTail.data(), tailSize);
        }
        const std::uint64_t tailStart = size - tailSize;
        std::uint64_t endLimit = tailStart + found->position;
        if (found->hasLocator) {
            if (found->zip64Disk != 0) Damaged(path, "der Zip64-Endsatz verweist auf einen fehlenden Teil");
            if (found->zip64Offset > endLimit || endLimit - found->zip64Offset < kZip64EndRecordSize)
                Damaged(path, "der Zip64-Endsatz liegt hinter dem Endsatz");
            std::uint8_t record[kZip64EndRecordSize];
            splitio::ReadAt(file, path, found->zip64Offset, record, sizeof record);
            ApplyZip64EndRecord(*found, record, sizeof record);
            endLimit = found->zip64Offset;
        }
        const TEndRecord& end = found->record;
        if (end.thisDisk != 0)
            Damaged(path, "es ist der letzte Teil eines geteilten Archivs aus " + std::to_string(end.thisDisk + 1ull) +
                              " Teilen; die anderen Teile fehlen");
        if (end.centralDisk != 0) Damaged(path, "das Inhaltsverzeichnis verweist auf einen fehlenden Teil");
        const std::uint64_t centralStart = end.centralOffset;
        if (centralStart > endLimit || end.centralSize > endLimit - centralStart)
            Damaged(path, "das Inhaltsverzeichnis reicht über das Ende des Archivs");
        if (end.entriesTotal > end.centralSize / kCentralHeaderSize)
            Damaged(path, "die Zahl der Einträge passt nicht zur Größe des Inhaltsverzeichnisses");

        // The directory lies within the file, so its size is bounded by the file's.
        const std::size_t centralSize = static_cast<std::size_t>(end.centralSize);
        const std::uint8_t* central = nullptr;
        if (centralStart >= tailStart) {
            central = FTail.data() + (centralStart - tailStart);
        } else {
            FCentral.resize(centralSize);
            splitio::ReadAt(file, path, centralStart, FCentral.data(), centralSize);
            central = FCentral.data();
        }
        std::size_t pos = 0;
        for (std::uint64_t i = 0; i < end.entriesTotal; ++i) {
            if (centralSize - pos < kCentralHeaderSize) Damaged(path, "das Inhaltsverzeichnis ist unvollständig");
            const std::size_t headerSize = CentralHeaderSize(central + pos);
            if (headerSize == 0) Damaged(path, "ein Eintrag des Inhaltsverzeichnisses hat eine falsche Kennung");
            if (headerSize > centralSize - pos) Damaged(path, "das Inhaltsverzeichnis ist unvollständig");
            const TCentralView entry = ViewCentralHeader(central + pos, headerSize);
            pos += headerSize;
            if (entry.diskStart != 0) Damaged(path, "der Eintrag „" + NameOf(entry) + "“ liegt in einem fehlenden Teil");
            if (entry.localOffset > centralStart || centralStart - entry.localOffset < kLocalHeaderSize)
                Damaged(path, "der Eintrag „" + NameOf(entry) + "“ liegt nicht vor dem Inhaltsverzeichnis");
            visit(i, entry);
        }
    } catch (const TRecordError& error) {
        Damaged(path, error.what());
    }
}

}  // namespace tavik::archsearch
