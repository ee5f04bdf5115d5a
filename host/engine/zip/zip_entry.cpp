#include "host/engine/zip/zip_entry.h"
#include "host/engine/zip/zip_fingerprint.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ctime>

#include "host/engine/extract/entry_name.h"
#include "host/engine/zip/zip_entry_name.h"
#include "host/engine/zip/zip_handles.h"
#include "host/services/date_time.h"
#include "host/engine/zip/zip_records.h"
#include "host/services/little_endian.h"
#include "host/services/exceptions.h"

namespace tavik {

namespace {

using zip::kNtfsEpochOffset;
using zip::kNtfsTicks;

}  // namespace

std::time_t DosFieldsTime(std::uint16_t time, std::uint16_t date) {
    std::tm tm{};
    tm.tm_isdst = -1;
    tm.tm_year = ((date >> 9) & 127) + 1980 - 1900;
    tm.tm_mon = ((date >> 5) & 15) - 1;
    tm.tm_mday = date & 31;
    tm.tm_hour = (time >> 11) & 31;
    tm.tm_min = (time >> 5) & 63;
    tm.tm_sec = (time << 1) & 62;
    return std::mktime(&tm);
}

std::time_t ZipEntryTime(const zip::TCentralView& header) {
    const std::time_t dosTime = DosFieldsTime(header.time, header.date);
    if (const auto exact = zip::ExtraFieldTime(header.extra, header.extraSize, dosTime))
        return static_cast<std::time_t>(*exact);
    return dosTime;
}

int ZipEntryBerlinYear(const zip::TCentralView& header) {
    const std::time_t dosTime = DosFieldsTime(header.time, header.date);
    if (const auto exact = zip::ExtraFieldTime(header.extra, header.extraSize, dosTime)) return BerlinYear(*exact);
    return ((header.date >> 9) & 127) + 1980;
}

TZipEntryShape ZipEntryShapeOf(const zip::TCentralView& header, const std::string& name) {
    TZipEntryShape shape;
    shape.directory = !name.empty() && name.back() == '/';
    const unsigned system = header.versionMadeBy >> 8;
    shape.madeOnUnix = system == ZIP_OPSYS_UNIX;
    const mode_t mode = static_cast<mode_t>(header.externalAttributes >> 16);
    if (system == ZIP_OPSYS_UNIX && mode != 0) {
        shape.mode = mode & 07777;
        if (S_ISLNK(mode)) shape.symlink = true;
        if (S_ISDIR(mode)) shape.directory = true;
    } else if (system == ZIP_OPSYS_DOS && (header.externalAttributes & faDirectory) != 0) {
        shape.directory = true;
    }
    return shape;
}

namespace {

// What the central header alone says of an entry: name, kind, permissions and time.
void TakeCentralHeader(const zip::TCentralView& header, TZipEntry& entry, std::string& scratch) {
    entry.name.assign(ZipEntryName(header, scratch));
    const TZipEntryShape shape = ZipEntryShapeOf(header, entry.name);
    entry.directory = shape.directory;
    entry.symlink = shape.symlink;
    entry.mode = shape.mode;
    entry.madeOnUnix = shape.madeOnUnix;
    entry.mtime = ZipEntryTime(header);
}

}  // namespace

TZipEntry ReadZipEntry(zip_t* archive, zip_uint64_t index, const zip::TCentralView& header) {
    TZipEntry entry;
    entry.index = index;
    zip_stat_init(&entry.stat);
    if (zip_stat_index(archive, index, 0, &entry.stat) != 0)
        throw EOlvex("Der Eintrag Nr. " + std::to_string(index + 1) +
                     " kann nicht gelesen werden: " + ZipErrorText(zip_get_error(archive)) + ".",
                     ZipErrorKind(zip_get_error(archive)));
    std::string scratch;
    TakeCentralHeader(header, entry, scratch);
    entry.encrypted = (entry.stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && entry.stat.encryption_method != ZIP_EM_NONE;
    // AES entries of the second kind (AE-2) leave the CRC out and write 0 there, authenticated
    // by their own code instead; libzip takes that 0 for a CRC.
    const bool aes = entry.stat.encryption_method == ZIP_EM_AES_128 || entry.stat.encryption_method == ZIP_EM_AES_192 ||
                     entry.stat.encryption_method == ZIP_EM_AES_256;
    if (entry.encrypted && aes && entry.stat.crc == 0) entry.stat.valid &= ~ZIP_STAT_CRC;
    entry.fingerprint = zip::FingerprintIn(header.extra, header.wellFormedExtra);
    return entry;
}

void ListedZipEntry(zip_uint64_t index, const zip::TCentralView& header, TZipEntry& entry, std::string& scratch) {
    entry.index = index;
    // libzip gives the header's size as it stands, Zip64 applied (OpenZipForReading holds it to
    // that), and each of its entries has one.
    zip_stat_init(&entry.stat);
    entry.stat.index = index;
    entry.stat.size = header.uncompressedSize;
    entry.stat.valid = ZIP_STAT_INDEX | ZIP_STAT_SIZE;
    TakeCentralHeader(header, entry, scratch);
    entry.encrypted = false;
    entry.fingerprint.reset();
}

TFileInfoItem ZipEntryItem(const TZipEntry& entry) {
    TFileInfoItem item;
    FillZipEntryItem(entry, item);
    return item;
}

void FillZipEntryItem(const TZipEntry& entry, TFileInfoItem& item) {
    bool directory = false;
    SplitEntryName(entry.name, item.RelDir, item.FileName, directory);
    item.AbsDir.clear();
    item.Size = (entry.stat.valid & ZIP_STAT_SIZE) ? static_cast<std::int64_t>(entry.stat.size) : 0;
    item.DateTime = entry.mtime ? FileTimeToDateTime(*entry.mtime) : TDateTime{};
    item.Attributes = 0;
    if (entry.directory || directory) item.Attributes |= faDirectory;
    if (entry.mode != 0 && (entry.mode & 0222) == 0) item.Attributes |= faReadOnly;
    item.MadeOnUnix = entry.madeOnUnix;
    item.EntryName.clear();
    item.Crc = 0;
    item.Sha256.reset();
}

std::optional<TDosTime> DosTimeOf(std::time_t mtime) {
    std::tm local {};
    if (::localtime_r(&mtime, &local) == nullptr) return std::nullopt;
    // The DOS form holds 1980 to 2107 in local time; a time outside is set to the nearest end.
    if (local.tm_year < 80) return TDosTime{0, 0 << 9 | 1 << 5 | 1};
    if (local.tm_year > 207) return TDosTime{23 << 11 | 59 << 5 | 29, 127 << 9 | 12 << 5 | 31};
    return TDosTime{static_cast<std::uint16_t>(local.tm_hour << 11 | local.tm_min << 5 | local.tm_sec >> 1),
                    static_cast<std::uint16_t>((local.tm_year - 80) << 9 | (local.tm_mon + 1) << 5 | local.tm_mday)};
}

TZipTimeField ZipTimeField(std::time_t mtime) {
    TZipTimeField field;
    if (mtime >= INT32_MIN && mtime <= std::time_t{UINT32_MAX}) {
        field.id = zip::kExtendedTimestampId;
        field.data.assign(5, '\0');
        field.data[0] = 1;
        SetLittleEndian(field.data.data() + 1, static_cast<std::uint64_t>(mtime), 4);
        return field;
    }
    // Beyond the 32 bits only the NTFS times hold the time (7-Zip and libarchive read them).
    if (mtime < -kNtfsEpochOffset || mtime > INT64_MAX / kNtfsTicks - kNtfsEpochOffset) return field;
    const std::int64_t ticks = (static_cast<std::int64_t>(mtime) + kNtfsEpochOffset) * kNtfsTicks;
    field.id = zip::kNtfsTimesId;
    field.data.assign(32, '\0');
    SetLittleEndian(field.data.data() + 4, 1, 2);
    SetLittleEndian(field.data.data() + 6, 24, 2);
    for (int i = 0; i < 3; ++i) SetLittleEndian(field.data.data() + 8 + 8 * i, static_cast<std::uint64_t>(ticks), 8);
    return field;
}

bool SetZipEntryTime(zip_t* archive, zip_uint64_t index, std::time_t mtime) {
    const std::optional<TDosTime> dos = DosTimeOf(mtime);
    if (!dos || zip_file_set_dostime(archive, index, dos->time, dos->date, 0) != 0) return false;
    const TZipTimeField field = ZipTimeField(mtime);
    return field.id == 0 ||
           zip_file_extra_field_set(archive, index, field.id, ZIP_EXTRA_FIELD_NEW,
                                    reinterpret_cast<const zip_uint8_t*>(field.data.data()),
                                    static_cast<zip_uint16_t>(field.data.size()), ZIP_FL_LOCAL | ZIP_FL_CENTRAL) == 0;
}

zip_flags_t ZipNameEncoding(std::string_view name) {
    // libzip takes no control character but tab, line feed and carriage return in a name it is
    // told is UTF-8; such a name of a Unix file keeps its bytes without the flag, as one that is
    // no UTF-8 at all.
    const bool control = std::any_of(name.begin(), name.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 && c != '\t' && c != '\n' && c != '\r';
    });
    return !control && IsValidUtf8(name) ? ZIP_FL_ENC_UTF_8 : ZIP_FL_ENC_CP437;
}

std::uint32_t ZipUnixAttributes(mode_t mode) {
    return static_cast<std::uint32_t>(mode & (S_IFMT | 07777)) << 16 | (S_ISDIR(mode) ? faDirectory : 0u) |
           ((mode & 0222) == 0 ? faReadOnly : 0u);
}

bool ZipNameFlaggedUtf8(std::string_view name) {
    return ZipNameEncoding(name) == ZIP_FL_ENC_UTF_8 &&
           std::any_of(name.begin(), name.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

}  // namespace tavik
