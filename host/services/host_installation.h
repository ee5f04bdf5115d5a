#pragma once
// The host installation: a root directory named by OLVEX_ROOT with the database olvex.db and
// the directory "stadata" directly below it.
#include <string>

namespace tavik {

constexpr const char* kRootVariable = "OLVEX_ROOT";
constexpr const char* kDatabaseName = "olvex.db";

// The root from OLVEX_ROOT, absolute and without a trailing separator. Throws
// EHostInstallation when the variable is not set.
std::string HostRoot();
std::string HostDatabasePath();

// Throws EHostInstallation, with a message that names the variable or the path, unless the
// root, its database with the host tables, and "stadata" below the root are all there, and no
// host directory is the root itself or lies above it. A host directory outside the root must
// have a name that can begin a relative file name (no empty, "." or ".." part). The settings the
// runs read (host_settings.h) must have usable values.
void CheckHostInstallation();

// Why the host directory name, at path, must not be walked: it is the root or lies above it, or
// (other than ARCHIV) it is ARCHIV or lies in it, or through a symbolic link it holds ARCHIV.
// Each is judged as written and as the path resolves through links, so that a directory moved
// elsewhere and left as a link is judged where it really is. Empty when it may be walked.
std::string HostDirectoryRefusal(const std::string& name, const std::string& path, const std::string& root,
                                 const std::string& archiv);

// The tables of the host database, as other programs create them.
extern const char* const kHostSchema;

}  // namespace tavik
