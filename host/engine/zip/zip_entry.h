#pragma once
// What the engine needs to know of one entry of an open ZIP archive.
#include <zip.h>
#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "host/engine/archiv_format.h"
#include "host/engine/zip/zip_records.h"
#include "host/services/sha256.h"

namespace tavik {

struct TZipEntry {
    zip_uint64_t index = 0;
    std::string name;  // UTF-8, or the stored bytes of a name made on Unix that is not UTF-8
    zip_stat_t stat{};
    bool directory = false;
    bool symlink = false;
    mode_t mode = 0;  // Unix permission bits when the archive has them, else 0
    std::optional<std::time_t> mtime;
    bool encrypted = false;
    bool madeOnUnix = false;  // "version made by" names Unix: the name is that of a file on a Unix system
    std::optional<TSha256Digest> fingerprint;  // the SHA-256 of its content that vendrask wrote with it
};

// The DOS date and time fields as a time, read in local time as libzip and unzip read them.
std::time_t DosFieldsTime(std::uint16_t time, std::uint16_t date);
// The entry's modification time: the exact time of its extra field (extended timestamp, NTFS
// times, the old Info-ZIP Unix field), else its DOS fields.
std::time_t ZipEntryTime(const zip::TCentralView& header);

// The calendar year in which the entry was last modified, in Germany: from its exact time where
// it has one, else the year of its DOS date as it stands (local time of whoever wrote it).
int ZipEntryBerlinYear(const zip::TCentralView& header);

// What an entry is by its central header and its name (as ZipEntryName decodes it): a directory,
// a symbolic link or a file, with the Unix permission bits and system it names. A reader that
// sees only the directory (the export of a year) tells files from the rest by it as extraction
// does.
struct TZipEntryShape {
    bool directory = false;
    bool symlink = false;
    mode_t mode = 0;
    bool madeOnUnix = false;
};
TZipEntryShape ZipEntryShapeOf(const zip::TCentralView& header, const std::string& name);

// The entry at index of an open archive: name, kind, permissions and time from its central
// header as the engine's directory reader read it, sizes, CRC, method and encryption as libzip
// reads them. Throws EOlvex when libzip cannot read the entry.
TZipEntry ReadZipEntry(zip_t* archive, zip_uint64_t index, const zip::TCentralView& header);
// The entry at index as a listing read as a stream sees it, from its central header alone: what
// ReadZipEntry gives, its size the header's; libzip is not asked, so it knows nothing of
// encryption and fingerprints. entry and scratch keep their buffers from one entry to the next.
void ListedZipEntry(zip_uint64_t index, const zip::TCentralView& header, TZipEntry& entry, std::string& scratch);
TFileInfoItem ZipEntryItem(const TZipEntry& entry);
// The same into an item kept from one entry to the next, every field set.
void FillZipEntryItem(const TZipEntry& entry, TFileInfoItem& item);

struct TDosTime {
    std::uint16_t time = 0;
    std::uint16_t date = 0;
};
// The DOS date and time fields of a time, in local time as libzip and unzip read them; a time
// outside 1980 to 2107 is set to the nearest end. None when the time has no local form.
std::optional<TDosTime> DosTimeOf(std::time_t mtime);

// The extra field that holds a time exactly: the extended timestamp (0x5455) where 32 bits hold
// it, else the NTFS times (0x000A); id 0 for a time neither can hold.
struct TZipTimeField {
    std::uint16_t id = 0;
    std::string data;
};
TZipTimeField ZipTimeField(std::time_t mtime);

// The DOS time, set to the nearest end of its range (1980 to 2107) for a time outside, and the
// exact time in the extended timestamp (0x5455), or where 32 bits do not hold it in the NTFS
// times (0x000A), in local and central headers.
bool SetZipEntryTime(zip_t* archive, zip_uint64_t index, std::time_t mtime);

// How libzip is to store a name: UTF-8 with its flag, or its bytes as they are without the flag
// (a name on disk that is not UTF-8, or that has control characters, as Info-ZIP stores it on
// Unix).
zip_flags_t ZipNameEncoding(std::string_view name);
// The external attributes of an entry made on Unix from a file's type and permission bits, with
// the DOS directory and read-only bits that Windows readers look at.
std::uint32_t ZipUnixAttributes(mode_t mode);
// Whether such a name carries the UTF-8 flag (general purpose bit 11): a UTF-8 name that is not
// plain ASCII, as libzip writes it.
bool ZipNameFlaggedUtf8(std::string_view name);

}  // namespace tavik
