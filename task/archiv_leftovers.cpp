#include "task/archiv_leftovers.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <memory>
#include <vector>

namespace vendrask {

namespace {

std::size_t Digits(const std::string& text, std::size_t pos) {
    std::size_t end = pos;
    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
    return end - pos;
}

struct TDirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

}  // namespace

bool IsArchivRunLeftover(const std::string& name) {
    // "." "SK" yymmdd "." number(3+) ".vrtmp-" six characters; while the archive is closed,
    // libzip writes it anew under that name and "." six characters more.
    if (name.rfind(".SK", 0) != 0 || Digits(name, 3) != 6 || name.size() < 10 || name[9] != '.') return false;
    const std::size_t number = Digits(name, 10);
    if (number < 3) return false;
    const std::string tail = name.substr(10 + number);
    if (tail.rfind(".vrtmp-", 0) != 0) return false;
    return tail.size() == 13 || (tail.size() == 20 && tail[13] == '.');
}

int RemoveArchivRunLeftovers(const std::string& archivDir) {
    const int dirFd = open(archivDir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
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
