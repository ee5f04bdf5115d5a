#include "task/archiv_leftovers.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <optional>
#include <vector>

#include "host/services/archive_name.h"
#include "host/services/safe_write.h"

namespace vendrask {

namespace {

struct TDirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

}  // namespace

bool IsArchivRunLeftover(const std::string& name) {
    const std::optional<std::string> target = tavik::SafeWriteLeftoverOf(name);
    return target && tavik::IsArchiveNameAsWritten(*target);
}

int RemoveArchivRunLeftovers(const std::string& archivDir) {
    // ARCHIV itself may be a link (moved to another disk); nothing below it is followed.
    const int dirFd = open(archivDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return 0;
    std::unique_ptr<DIR, TDirCloser> dir(fdopendir(dirFd));
    if (!dir) {
        close(dirFd);
        return 0;
    }
    std::vector<std::string> leftovers;
    while (const dirent* entry = readdir(dir.get()))
        if (IsArchivRunLeftover(entry->d_name)) leftovers.emplace_back(entry->d_name);
    int removed = 0;
    for (const auto& name : leftovers) {
        struct stat info {};
        if (fstatat(dirfd(dir.get()), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode) &&
            unlinkat(dirfd(dir.get()), name.c_str(), 0) == 0)
            ++removed;
    }
    return removed;
}

}  // namespace vendrask
