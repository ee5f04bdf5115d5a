#include "host/engine/zip/zip_entry.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ctime>

#include "host/engine/extract/entry_name.h"
#include "host/engine/zip/zip_handles.h"
#include "host/engine/zip/zip_records.h"
#include "host/services/exceptions.h"

namespace tavik {

namespace {

constexpr zip_uint16_t kExtendedTimestamp = 0x5455;
constexpr zip_uint16_t kNtfsTimes = 0x000A;
// Seconds from 1601-01-01 (the NTFS epoch) to 1970-01-01.
constexpr std::int64_t kNtfsEpochOffset = 11'644'473'600;
constexpr std::int64_t kNtfsTicks = 10'000'000;  // 100 ns steps per second

void PutLe(zip_uint8_t* p, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) p[i] = static_cast<zip_uint8_t>(value >> (8 * i));
}

// From the central directory: Info-ZIP, 7-Zip and this engine put the times there too, and
// reading each local header would cost a seek per entry.
const zip_uint8_t* ExtraField(zip_t* archive, zip_uint64_t index, zip_uint16_t id, zip_uint16_t& length) {
    return zip_file_extra_field_get_by_id(archive, index, id, 0, &length, ZIP_FL_CENTRAL);
}

std::optional<std::time_t> ExactTime(zip_t* archive, zip_uint64_t index, std::optional<std::time_t> dosTime) {
    zip_uint16_t length = 0;
    if (const zip_uint8_t* data = ExtraField(archive, index, kExtendedTimestamp, length))
        if (auto time = ziprec::ExtendedTimestampTime(data, length, dosTime)) return static_cast<std::time_t>(*time);
    if (const zip_uint8_t* data = ExtraField(archive, index, kNtfsTimes, length))
        if (auto time = ziprec::NtfsModificationTime(data, length)) return static_cast<std::time_t>(*time);
    return std::nullopt;
}

// The DOS form holds 1980 to 2107 in local time; a time outside is set to the nearest end.
bool SetDosTime(zip_t* archive, zip_uint64_t index, std::time_t mtime) {
    std::tm local {};
    if (::localtime_r(&mtime, &local) == nullptr) return false;
    if (local.tm_year >= 80 && local.tm_year <= 207) return zip_file_set_mtime(archive, index, mtime, 0) == 0;
    const bool before = local.tm_year < 80;
    const auto date = static_cast<zip_uint16_t>(before ? (0 << 9 | 1 << 5 | 1) : (127 << 9 | 12 << 5 | 31));
    const auto time = static_cast<zip_uint16_t>(before ? 0 : (23 << 11 | 59 << 5 | 29));
    return zip_file_set_dostime(archive, index, time, date, 0) == 0;
}

}  // namespace

TZipEntry ReadZipEntry(zip_t* archive, zip_uint64_t index) {
    TZipEntry entry;
    entry.index = index;
    zip_stat_init(&entry.stat);
    if (zip_stat_index(archive, index, 0, &entry.stat) != 0 || (entry.stat.valid & ZIP_STAT_NAME) == 0)
        throw EOlvex("Der Eintrag Nr. " + std::to_string(index + 1) +
                     " kann nicht gelesen werden: " + ZipErrorText(zip_get_error(archive)) + ".",
                     ZipErrorKind(zip_get_error(archive)));
    entry.name = entry.stat.name;
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    const bool hasAttributes = zip_file_get_external_attributes(archive, index, 0, &system, &attributes) == 0;
    // The search, which reads the directory without libzip, converts names the same way.
    if (hasAttributes && ZipHostSeparatesWithBackslash(system))
        std::replace(entry.name.begin(), entry.name.end(), '\\', '/');
    entry.directory = !entry.name.empty() && entry.name.back() == '/';
    if (hasAttributes) {
        const mode_t mode = static_cast<mode_t>(attributes >> 16);
        if (system == ZIP_OPSYS_UNIX && mode != 0) {
            entry.mode = mode & 07777;
            if (S_ISLNK(mode)) entry.symlink = true;
            if (S_ISDIR(mode)) entry.directory = true;
        } else if (system == ZIP_OPSYS_DOS && (attributes & faDirectory) != 0) {
            entry.directory = true;
        }
    }
    // A name made on Unix that is not UTF-8 is the bytes of the name on disk, as Info-ZIP writes
    // and reads it there; libzip would take it as code page 437 and give back another name.
    if (system == ZIP_OPSYS_UNIX) {
        const char* raw = zip_get_name(archive, index, ZIP_FL_ENC_RAW);
        if (raw != nullptr && !IsValidUtf8(raw)) entry.name = raw;
    }
    entry.encrypted = (entry.stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && entry.stat.encryption_method != ZIP_EM_NONE;
    // AES entries of the second kind (AE-2) leave the CRC out and write 0 there, authenticated
    // by their own code instead; libzip takes that 0 for a CRC.
    const bool aes = entry.stat.encryption_method == ZIP_EM_AES_128 || entry.stat.encryption_method == ZIP_EM_AES_192 ||
                     entry.stat.encryption_method == ZIP_EM_AES_256;
    if (entry.encrypted && aes && entry.stat.crc == 0) entry.stat.valid &= ~ZIP_STAT_CRC;
    std::optional<std::time_t> dosTime;
    if (entry.stat.valid & ZIP_STAT_MTIME) dosTime = entry.stat.mtime;
    entry.mtime = ExactTime(archive, index, dosTime);
    if (!entry.mtime) entry.mtime = dosTime;
    return entry;
}

TFileInfoItem ZipEntryItem(const TZipEntry& entry) {
    TFileInfoItem item;
    bool directory = false;
    SplitEntryName(entry.name, item.RelDir, item.FileName, directory);
    item.Size = (entry.stat.valid & ZIP_STAT_SIZE) ? static_cast<std::int64_t>(entry.stat.size) : 0;
    if (entry.mtime) item.DateTime = FileTimeToDateTime(*entry.mtime);
    if (entry.directory || directory) item.Attributes |= faDirectory;
    if (entry.mode != 0 && (entry.mode & 0222) == 0) item.Attributes |= faReadOnly;
    return item;
}

bool SetZipEntryTime(zip_t* archive, zip_uint64_t index, std::time_t mtime) {
    if (!SetDosTime(archive, index, mtime)) return false;
    const zip_flags_t both = ZIP_FL_LOCAL | ZIP_FL_CENTRAL;
    if (mtime >= INT32_MIN && mtime <= std::time_t{UINT32_MAX}) {
        zip_uint8_t data[5] = {1};
        PutLe(data + 1, static_cast<std::uint64_t>(mtime), 4);
        return zip_file_extra_field_set(archive, index, kExtendedTimestamp, ZIP_EXTRA_FIELD_NEW, data, sizeof data,
                                        both) == 0;
    }
    // Beyond the 32 bits only the NTFS times hold the time (7-Zip and libarchive read them).
    const std::int64_t ticks = (static_cast<std::int64_t>(mtime) + kNtfsEpochOffset) * kNtfsTicks;
    if (mtime < -kNtfsEpochOffset || mtime > INT64_MAX / kNtfsTicks - kNtfsEpochOffset) return true;
    zip_uint8_t data[32] = {};
    PutLe(data + 4, 1, 2);
    PutLe(data + 6, 24, 2);
    for (int i = 0; i < 3; ++i) PutLe(data + 8 + 8 * i, static_cast<std::uint64_t>(ticks), 8);
    return zip_file_extra_field_set(archive, index, kNtfsTimes, ZIP_EXTRA_FIELD_NEW, data, sizeof data, both) == 0;
}

zip_flags_t ZipNameEncoding(const std::string& name) { return IsValidUtf8(name) ? ZIP_FL_ENC_UTF_8 : ZIP_FL_ENC_CP437; }

}  // namespace tavik
