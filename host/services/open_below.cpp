#include "host/services/open_below.h"

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "host/services/paths.h"
#include "host/services/unique_fd.h"

namespace tavik {

namespace {

constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

bool IsBelow(const std::string& path, const std::string& base) {
    return !base.empty() && path.size() > base.size() && path.compare(0, base.size(), base) == 0 &&
           (base.back() == '/' || path[base.size()] == '/');
}

// The kernel resolves the whole path below base without a link and without leaving it; -1
// with errno ENOSYS where it cannot (before Linux 5.6, or a filter that refuses the call).
int OpenAt2Beneath(int base, const std::string& relative) {
    open_how how{};
    how.flags = kDirFlags;
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
    for (;;) {
        const long fd = ::syscall(SYS_openat2, base, relative.c_str(), &how, sizeof how);
        if (fd >= 0) return static_cast<int>(fd);
        if (errno == EAGAIN || errno == EINTR) continue;  // a concurrent rename: try again
        // RESOLVE_BENEATH reports ".." that would leave base as EXDEV.
        if (errno == EXDEV) errno = ELOOP;
        if (errno == EPERM || errno == EINVAL) errno = ENOSYS;  // a seccomp filter, an unknown flag
        return -1;
    }
}

int OpenComponentByComponent(TUniqueFd dir, const std::string& directory, std::size_t start) {
    while (dir.Valid() && start < directory.size()) {
        const std::size_t end = std::min(directory.find('/', start), directory.size());
        const std::string component = directory.substr(start, end - start);
        start = end + 1;
        if (component.empty() || component == ".") continue;
        if (component == "..") {
            errno = ELOOP;
            return -1;
        }
        dir.Reset(openat(dir.Get(), component.c_str(), kDirFlags));
    }
    return dir.Release();
}

}  // namespace

int OpenDirectoryBelow(const std::string& directory, const std::string& base) {
    if (!IsBelow(directory + "/", base)) return open(directory.empty() ? "." : directory.c_str(), kDirFlags);
    TUniqueFd dir(open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir.Valid()) return -1;
    std::string relative = directory.substr(std::min(directory.size(), base.size() + (base.back() == '/' ? 0 : 1)));
    while (!relative.empty() && relative.back() == '/') relative.pop_back();
    if (relative.empty()) return dir.Release();
    if (relative == ".." || relative.rfind("../", 0) == 0 || relative.find("/../") != std::string::npos ||
        (relative.size() >= 3 && relative.compare(relative.size() - 3, 3, "/..") == 0)) {
        errno = ELOOP;
        return -1;
    }
    const int fd = OpenAt2Beneath(dir.Get(), relative);
    if (fd >= 0 || errno != ENOSYS) return fd;
    return OpenComponentByComponent(std::move(dir), directory, base.size());
}

int OpenFileBelow(const std::string& path, const std::string& base, int flags) {
    return TFileOpenerBelow().Open(path, base, flags);
}

int TFileOpenerBelow::Open(std::string_view path, std::string_view base, int flags) {
    const std::size_t slash = path.find_last_of('/');
    const std::string name(slash == std::string_view::npos ? path : path.substr(slash + 1));
    if (name.empty() || name == "." || name == "..") {
        errno = EINVAL;
        return -1;
    }
    const std::string_view directory = slash == std::string_view::npos ? std::string_view()
                                       : slash == 0                    ? path.substr(0, 1)
                                                                       : path.substr(0, slash);
    // A directory that could not be opened is tried again for the next file.
    if (!FDir.Valid() || directory != FDirectory || base != FBase) {
        FDirectory.assign(directory);
        FBase.assign(base);
        const int opened = OpenDirectoryBelow(FDirectory, FBase);
        const int error = errno;
        FDir.Reset(opened);
        if (opened < 0) {
            errno = error;
            return -1;
        }
    }
    return openat(FDir.Get(), name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC);
}

std::string_view ShortestBaseOf(const std::vector<std::string>& bases, const std::string& path) {
    std::string_view chosen;
    for (const auto& base : bases)
        if (IsBelow(path, base) && (chosen.empty() || base.size() < chosen.size())) chosen = base;
    return chosen;
}

std::string ShortestBaseHolding(const std::vector<std::string>& bases, const std::string& path) {
    return std::string(ShortestBaseOf(bases, path));
}

}  // namespace tavik
