#include "task/own_archive.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string_view>

#include "host/engine/zip/zip_directory.h"
#include "host/services/digits.h"
#include "host/services/paths.h"
#include "host/services/unique_fd.h"

namespace vendrask {

namespace zr = tavik::ziprec;

bool IsOwnArchiveName(const std::string& name) {
    const std::string_view text = name;
    return name.size() > 9 && name.compare(0, 2, "SK") == 0 && tavik::AllDigits(text.substr(2, 6)) && name[8] == '.' &&
           tavik::AllDigits(text.substr(9));
}

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

bool IsSetAsideArchiveName(const std::string& name) {
    constexpr std::string_view kSetAside = ".defekt";
    return name.size() > kSetAside.size() && name.compare(name.size() - kSetAside.size(), kSetAside.size(), kSetAside) == 0 &&
           IsOwnArchiveName(name.substr(0, name.size() - kSetAside.size()));
}

bool IsOwnArchive(const std::string& directory, const std::string& archivDir, const std::string& name) {
    if (directory != archivDir) return false;
    if (IsSetAsideArchiveName(name)) return true;
    return IsOwnArchiveName(name) && OpensAsZipArchive(tavik::ConcatPathNames(directory, name));
}

}  // namespace vendrask
