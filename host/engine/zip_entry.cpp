#include "host/engine/zip_entry.h"

#include <sys/stat.h>

#include <cstring>

#include "host/engine/entry_name.h"
#include "host/engine/zip_handles.h"
#include "host/services/exceptions.h"

namespace tavik {

namespace {

constexpr zip_uint16_t kExtendedTimestamp = 0x5455;

std::optional<std::time_t> ExtendedTime(zip_t* archive, zip_uint64_t index) {
    zip_uint16_t length = 0;
    const zip_uint8_t* data =
        zip_file_extra_field_get_by_id(archive, index, kExtendedTimestamp, 0, &length, ZIP_FL_CENTRAL);
    if (data == nullptr || length < 5 || (data[0] & 1) == 0) return std::nullopt;
    const std::uint32_t raw = static_cast<std::uint32_t>(data[1]) | static_cast<std::uint32_t>(data[2]) << 8 |
                              static_cast<std::uint32_t>(data[3]) << 16 | static_cast<std::uint32_t>(data[4]) << 24;
    return static_cast<std::time_t>(static_cast<std::int32_t>(raw));
}

}  // namespace

TZipEntry ReadZipEntry(zip_t* archive, zip_uint64_t index) {
    TZipEntry entry;
    entry.index = index;
    zip_stat_init(&entry.stat);
    if (zip_stat_index(archive, index, 0, &entry.stat) != 0 || (entry.stat.valid & ZIP_STAT_NAME) == 0)
        throw EOlvex("Der Eintrag Nr. " + std::to_string(index + 1) +
                     " kann nicht gelesen werden: " + ZipErrorText(zip_get_error(archive)) + ".");
    entry.name = entry.stat.name;
    entry.directory = !entry.name.empty() && entry.name.back() == '/';
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) == 0) {
        const mode_t mode = static_cast<mode_t>(attributes >> 16);
        if (system == ZIP_OPSYS_UNIX && mode != 0) {
            entry.mode = mode & 07777;
            if (S_ISLNK(mode)) entry.symlink = true;
            if (S_ISDIR(mode)) entry.directory = true;
        } else if (system == ZIP_OPSYS_DOS && (attributes & faDirectory) != 0) {
            entry.directory = true;
        }
    }
    entry.encrypted = (entry.stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && entry.stat.encryption_method != ZIP_EM_NONE;
    entry.mtime = ExtendedTime(archive, index);
    if (!entry.mtime && (entry.stat.valid & ZIP_STAT_MTIME)) entry.mtime = entry.stat.mtime;
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
    if (zip_file_set_mtime(archive, index, mtime, 0) != 0) return false;
    if (mtime < INT32_MIN || mtime > INT32_MAX) return true;
    const auto value = static_cast<std::uint32_t>(static_cast<std::int32_t>(mtime));
    const zip_uint8_t data[5] = {1, static_cast<zip_uint8_t>(value), static_cast<zip_uint8_t>(value >> 8),
                                 static_cast<zip_uint8_t>(value >> 16), static_cast<zip_uint8_t>(value >> 24)};
    return zip_file_extra_field_set(archive, index, kExtendedTimestamp, ZIP_EXTRA_FIELD_NEW, data, sizeof data,
                                    ZIP_FL_LOCAL | ZIP_FL_CENTRAL) == 0;
}

}  // namespace tavik
