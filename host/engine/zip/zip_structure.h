#pragma once
// The simple check of a ZIP archive: every entry of the central directory has a local header
// at its offset that agrees with it (name, method, and CRC and sizes unless a data descriptor
// follows the data), all data lies before the central directory, and no two entries share
// bytes. libzip's own check (ZIP_CHECKCONS) also refuses archives that other archivers write
// and read without complaint (bsdtar puts the size into local headers whose data descriptor
// follows), so it is done here.
#include <cstdint>
#include <vector>

#include "host/engine/zip/zip_directory.h"

namespace tavik {

// Checks the entries of directory, as read from reader. Throws EOlvex with a German reason.
// dataStarts, when given, receives where the data of each entry begins (after its local header),
// by the entry's index.
void CheckZipStructure(zip::TByteReader& reader, const zip::TZipDirectory& directory,
                       std::vector<std::uint64_t>* dataStarts = nullptr);

}  // namespace tavik
