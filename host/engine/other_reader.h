#pragma once
// Opening an archive with libarchive for this engine's format 1.
#include <archive.h>
#include <archive_entry.h>

#include <memory>
#include <string>

#include "host/engine/archiv_format.h"

namespace tavik {

struct TArchiveReadFree {
    void operator()(archive* reader) const { archive_read_free(reader); }
};
using TArchivePtr = std::unique_ptr<archive, TArchiveReadFree>;

// Throws EOlvex with a German message.
TArchivePtr OpenArchiveReader(const std::string& path);

std::string ArchiveErrorText(archive* reader);

TFileInfoItem ArchiveEntryItem(archive_entry* entry);
std::string ArchiveEntryName(archive_entry* entry);

}  // namespace tavik
