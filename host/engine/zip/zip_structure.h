#pragma once
// The simple check of a ZIP archive: every entry of the central directory has a local header
// at its offset that agrees with it (name, method, and CRC and sizes unless a data descriptor
// follows the data), and all data lies before the central directory. libzip's own check
// (ZIP_CHECKCONS) also refuses archives that other archivers write and read without complaint
// (bsdtar puts the size into local headers whose data descriptor follows), so it is done here.
#include <zip.h>

#include <string>

namespace tavik {

// Reads the archive through the given (unopened) source. Throws EOlvex with a German reason.
void CheckZipStructure(zip_source_t* source);

}  // namespace tavik
