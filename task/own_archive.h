#pragma once
// The archives that the archive run leaves in ARCHIV. They hold the only copy of the files they
// took, so the delete scan never counts them as unknown files.
#include <string>

namespace vendrask {

// The regular file at path ends with the end records of a ZIP archive on one volume whose
// central directory lies inside the file. Reads a few blocks at most; false when it cannot be
// read.
bool OpensAsZipArchive(const std::string& path);

// A file of ARCHIV's top level that is an archive of the run: its name (tavik::IsArchiveName)
// and its content fit, or it is one set aside as damaged (tavik::IsSetAsideArchiveName), which
// is evidence whatever its content.
bool IsOwnArchive(const std::string& directory, const std::string& archivDir, const std::string& name);

}  // namespace vendrask
