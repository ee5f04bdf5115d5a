#include "task/own_archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>

#include "host/engine/zip/zip_directory.h"
#include "host/services/archive_name.h"
#include "host/services/paths.h"
#include "host/services/unique_fd.h"

namespace vendrask {

namespace zr = tavik::zip;

bool OpensAsZipArchive(const std::string& path) {
    // Non-blocking, so that a pipe put there after the walk cannot hold the scan.
    const tavik::TUniqueFd fd(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd) return false;
    struct stat info {};
    if (fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    const auto size = static_cast<std::uint64_t>(info.st_size);
    zr::TDescriptorReader reader(fd.Get(), size);
    zr::TZipDirectory directory;
    try {
        directory.Read(reader, {0, size}, false);
    } catch (const zr::TRecordError&) {
        return false;
    }
    return directory.End().entriesOnDisk == directory.End().entriesTotal;
}

bool IsOwnArchive(const std::string& directory, const std::string& archivDir, const std::string& name) {
    if (directory != archivDir) return false;
    if (tavik::IsSetAsideArchiveName(name)) return true;
    return tavik::IsArchiveName(name) && OpensAsZipArchive(tavik::ConcatPathNames(directory, name));
}

}  // namespace vendrask
