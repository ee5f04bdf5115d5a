#pragma once
// The archives that the archive run leaves in ARCHIV. They hold the only copy of the files they
// took, so the delete scan never counts them as unknown files.
#include <string>

namespace vendrask {

// "SK" + six digits + "." + at least one digit, as the archive run names its archives.
bool IsOwnArchiveName(const std::string& name);

// The regular file at path ends with the end records of a ZIP archive on one volume whose
// central directory lies inside the file. Reads a few blocks at most; false when it cannot be
// read.
bool OpensAsZipArchive(const std::string& path);

// An archive of the run that failed its read-back and was set aside for examination: its name
// with ".defekt" after it. It is evidence, whatever its content.
bool IsSetAsideArchiveName(const std::string& name);

// A file of ARCHIV's top level that is an archive of the run: its name and its content fit, or
// it is one set aside as damaged.
bool IsOwnArchive(const std::string& directory, const std::string& archivDir, const std::string& name);

}  // namespace vendrask
