#include "host/engine/search/archive_search_read.h"

#include <algorithm>
#include <ctime>

#include "host/engine/split/split_files.h"
#include "host/engine/zip/zip_entry.h"
#include "host/engine/split/split_reader.h"
#include "host/services/exceptions.h"

namespace tavik::search {

namespace {

using namespace zip;

// A buffer that grew beyond this for one huge directory is given back afterwards.
constexpr std::size_t kKeptBuffer = 16u << 20;

[[noreturn]] void Damaged(const std::string& path, const std::string& detail) {
    throw EOlvex("Das Archiv „" + path + "“ ist beschädigt (" + detail + ") und kann nicht gelesen werden.",
                 TErrorKind::DamagedArchive);
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
    if (archive.set) ReadSet(archive, visit);
    else ReadSingle(archive.path, visit);
}

void TDirectoryReader::ReadSet(const TSearchArchive& archive, const TEntryVisitor& visit) {
    const split::TSplitArchive set(archive.path, archive.set);
    std::uint64_t number = 0;
    for (const split::TEntry& entry : set.Entries()) visit(number++, entry.header);
}

void TDirectoryReader::ReadSingle(const std::string& path, const TEntryVisitor& visit) {
    TUniqueFd file = split::OpenForReading(path);
    const std::uint64_t size = split::FileSize(file, path);
    TDescriptorReader reader(file.Get(), size);
    try {
        FDirectory.Read(reader, {0, size});
        std::uint64_t number = 0;
        for (const TDirectoryEntry& entry : FDirectory.Entries()) visit(number++, entry.header);
    } catch (const TRecordError& error) {
        FDirectory.Release(kKeptBuffer);
        Damaged(path, error.what());
    } catch (...) {
        FDirectory.Release(kKeptBuffer);
        throw;
    }
    FDirectory.Release(kKeptBuffer);
}

}  // namespace tavik::search
