#include "host/services/safe_delete.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "host/services/paths.h"

namespace tavik {

namespace {

constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

class TDirFd {
public:
    explicit TDirFd(int fd) : FFd(fd) {}
    ~TDirFd() {
        if (FFd >= 0) close(FFd);
    }
    TDirFd(const TDirFd&) = delete;
    TDirFd& operator=(const TDirFd&) = delete;
    void Reset(int fd) {
        if (FFd >= 0) close(FFd);
        FFd = fd;
    }
    int Get() const { return FFd; }
    int Release() {
        const int fd = FFd;
        FFd = -1;
        return fd;
    }

private:
    int FFd = -1;
};

TDeleteResult Result(TDeleteOutcome outcome, const std::string& reason = "") { return {outcome, reason}; }

bool IsBelow(const std::string& path, const std::string& base) {
    return !base.empty() && path.size() > base.size() && path.compare(0, base.size(), base) == 0 &&
           (base.back() == '/' || path[base.size()] == '/');
}

// Opens directory (below base when it lies there) without following a link on the way; -1 with
// errno set when that fails. A ".." on the way counts as a link: it could lead out of base.
int OpenDirectory(const std::string& directory, const std::string& base) {
    if (!IsBelow(directory + "/", base)) return open(directory.empty() ? "." : directory.c_str(), kDirFlags);
    TDirFd dir(open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::size_t start = base.size();
    while (dir.Get() >= 0 && start < directory.size()) {
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

bool ChangedAfter(const struct stat& info, const timespec& moment) {
    return info.st_ctim.tv_sec > moment.tv_sec ||
           (info.st_ctim.tv_sec == moment.tv_sec && info.st_ctim.tv_nsec > moment.tv_nsec);
}

}  // namespace

TDeleteResult DeleteRegularFile(const std::string& path, const std::optional<TExpectedFile>& expected,
                                const std::string& base) {
    const std::string directory = ExtractFileDir(path);
    const std::string name = ExtractFileName(path);
    if (name.empty() || name == "." || name == "..")
        return Result(TDeleteOutcome::NotRegular, "„" + path + "“ ist kein Dateiname.");
    TDirFd dir(OpenDirectory(directory, base));
    if (dir.Get() < 0) {
        if (errno == ENOENT) return Result(TDeleteOutcome::Missing);
        if (errno == ELOOP || errno == ENOTDIR)
            return Result(TDeleteOutcome::NotRegular,
                          "Der Weg zu „" + path +
                              "“ führt über eine symbolische Verknüpfung oder etwas anderes als ein Verzeichnis; "
                              "die Datei wird nicht gelöscht.");
        return Result(TDeleteOutcome::Failed, "Das Verzeichnis „" + directory + "“ kann nicht geöffnet werden (" +
                                                  std::strerror(errno) + "); „" + name + "“ bleibt erhalten.");
    }
    struct stat info {};
    if (fstatat(dir.Get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) return Result(TDeleteOutcome::Missing);
        return Result(TDeleteOutcome::Failed, "„" + path + "“ kann nicht geprüft werden (" + std::strerror(errno) + ").");
    }
    if (!S_ISREG(info.st_mode))
        return Result(TDeleteOutcome::NotRegular,
                      "„" + path + "“ ist keine gewöhnliche Datei (mehr) und wird nicht gelöscht.");
    if (expected && (info.st_size != expected->Size ||
                     (expected->Modified != TDateTime{} && FileTimeToDateTime(info.st_mtime) != expected->Modified) ||
                     (expected->UnchangedSince && ChangedAfter(info, *expected->UnchangedSince))))
        return Result(TDeleteOutcome::Changed,
                      "„" + path + "“ hat sich verändert, seit sie gelesen wurde, und wird nicht gelöscht.");
    if (unlinkat(dir.Get(), name.c_str(), 0) != 0)
        return Result(TDeleteOutcome::Failed, "„" + path + "“ kann nicht gelöscht werden (" + std::strerror(errno) +
                                                  "). Bitte die Rechte prüfen.");
    return Result(TDeleteOutcome::Deleted);
}

}  // namespace tavik
