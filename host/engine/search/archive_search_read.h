#pragma once
// Reads the central directory of one archive for a search, and nothing else of it, with the
// engine's directory reader. A single file is read with buffers kept between archives; a split
// set goes through the split reader.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/engine/search/archive_search_dir.h"
#include "host/engine/zip/zip_directory.h"
#include "host/services/date_time.h"

namespace tavik::search {

// Entry number (as "vendrask-archiv list" counts them, from 0) and the entry's header.
using TEntryVisitor = std::function<void(std::uint64_t number, const zip::TCentralView& entry)>;

// One per thread: it keeps its buffers for the next archive.
class TDirectoryReader {
public:
    // Calls visit for every entry in the order of the central directory. Throws EOlvex with a
    // German sentence that names the archive when it cannot be read.
    void Read(const TSearchArchive& archive, const TEntryVisitor& visit);

private:
    void ReadSingle(const std::string& path, const TEntryVisitor& visit);
    void ReadSet(const TSearchArchive& archive, const TEntryVisitor& visit);

    zip::TZipDirectory FDirectory;
};

// The entry's modification time in local time as the listing shows it: the exact time of the
// central header's extra field (as ZipEntryTime reads it) when it has one, else the DOS
// date and time.
TDateParts EntryLocalTime(std::uint16_t dosTime, std::uint16_t dosDate, bool hasUnixTime, std::int64_t unixTime);
// Whether entry carries an exact modification time in its extra field; sets unixTime.
bool EntryUnixTime(const zip::TCentralView& entry, std::int64_t& unixTime);

}  // namespace tavik::search
