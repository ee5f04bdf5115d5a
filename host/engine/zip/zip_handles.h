#pragma once
// Owners of libzip objects and the way this engine opens a ZIP archive for reading.
#include <zip.h>

#include <memory>
#include <string>
#include <vector>

#include "host/engine/zip/zip_directory.h"
#include "host/engine/zip/zip_entry.h"
#include "host/engine/zip/zip_fingerprint.h"
#include "host/services/error_kind.h"

namespace tavik {

namespace split {
class TVolumeFiles;
}

struct TZipDiscard {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct TZipFileClose {
    void operator()(zip_file_t* file) const { zip_fclose(file); }
};
struct TZipSourceFree {
    void operator()(zip_source_t* source) const { zip_source_free(source); }
};
struct TZipErrorFini {
    void operator()(zip_error_t* error) const { zip_error_fini(error); }
};

// zip_close() takes the archive over only when it succeeds; until then the owner discards it.
using TZipPtr = std::unique_ptr<zip_t, TZipDiscard>;
using TZipFilePtr = std::unique_ptr<zip_file_t, TZipFileClose>;
using TZipSourcePtr = std::unique_ptr<zip_source_t, TZipSourceFree>;

// A German description of a libzip error for the user.
std::string ZipErrorText(const zip_error_t* error);
std::string ZipErrorText(int zipError, int systemError = 0);
// The kind of a libzip error: damaged data, a full disk, a missing file, a cancelled command.
TErrorKind ZipErrorKind(const zip_error_t* error);

// An archive open for reading: libzip's handle, and its entries in libzip's order.
struct TZipReading {
    TZipPtr archive;
    std::vector<TZipEntry> entries;
    zip::TSealCheck seal;  // whether the entries fit the seal in the comment, where there is one
    // With the structure checked, and libzip reading the archive's file as it is: the file, and
    // where the data of each entry begins there (by index; all of it before dataLimit), as the
    // check found them, so that the data can be read without libzip. Empty otherwise.
    std::shared_ptr<split::TVolumeFiles> files;
    std::vector<std::uint64_t> dataStarts;
    std::uint64_t dataLimit = 0;
};

// Opens path read-only, split sets included (name.zip with name.z01 ..., or name.zip.001 ...).
// The file is opened once: its directory is read and checked, and libzip reads it, through the
// same descriptor, so that what libzip reads is what was checked; libzip must have found the
// same entries. Names, kinds and times come from the engine's own directory reader, the one
// the search uses too. checkStructure compares every local header with the central directory
// first. Throws EOlvex with a German message.
TZipReading OpenZipForReading(const std::string& path, bool checkStructure);

// Reads the directory of path as a stream, split sets included: each entry goes to visit as
// it is read, after the checks of the engine's directory reader, and none is kept, so that
// memory stays the same whatever the number of entries. libzip is not asked. A damaged
// directory fails as in OpenZipForReading, after the entries read before the damage. Throws
// EOlvex with a German message.
void StreamZipDirectory(const std::string& path, const zip::TEntryVisitor& visit);

// Finds the end records of path as every reading of its directory does (after a comment or
// bytes that follow, Zip64, bytes put before the archive, split sets), and checks that they
// hold: the directory lies where they say and begins with a central header. No entry is read,
// so that this takes the same little time and memory whatever the archive's size; damage
// beyond the end records shows when the directory is read. Throws EOlvex as
// StreamZipDirectory does.
void CheckZipEndRecords(const std::string& path);

}  // namespace tavik
