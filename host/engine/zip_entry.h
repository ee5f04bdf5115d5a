#pragma once
// What the engine needs to know of one entry of an open ZIP archive.
#include <zip.h>
#include <sys/types.h>

#include <ctime>
#include <optional>
#include <string>

#include "host/engine/archiv_format.h"

namespace tavik {

struct TZipEntry {
    zip_uint64_t index = 0;
    std::string name;  // as stored, decoded to UTF-8
    zip_stat_t stat{};
    bool directory = false;
    bool symlink = false;
    mode_t mode = 0;  // Unix permission bits when the archive has them, else 0
    std::optional<std::time_t> mtime;
    bool encrypted = false;
};

// Throws EOlvex when the entry's directory record cannot be read.
TZipEntry ReadZipEntry(zip_t* archive, zip_uint64_t index);
TFileInfoItem ZipEntryItem(const TZipEntry& entry);

// The extended timestamp (0x5455) with a modification time, in local and central headers.
bool SetZipEntryTime(zip_t* archive, zip_uint64_t index, std::time_t mtime);

}  // namespace tavik
