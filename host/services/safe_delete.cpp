#include "host/services/safe_delete.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/services/paths.h"

namespace tavik {

namespace {

class TDirFd {
public:
    explicit TDirFd(const std::string& path) : FFd(open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)) {}
    ~TDirFd() {
        if (FFd >= 0) close(FFd);
    }
    TDirFd(const TDirFd&) = delete;
    TDirFd& operator=(const TDirFd&) = delete;
    int Get() const { return FFd; }

private:
    int FFd;
};

TDeleteResult Result(TDeleteOutcome outcome, const std::string& reason = "") { return {outcome, reason}; }

}  // namespace

TDeleteResult DeleteRegularFile(const std::string& path, const std::optional<TExpectedFile>& expected) {
    const std::string directory = ExtractFileDir(path);
    const std::string name = ExtractFileName(path);
    if (name.empty() || name == "." || name == "..")
        return Result(TDeleteOutcome::NotRegular, "„" + path + "“ ist kein Dateiname.");
    TDirFd dir(directory.empty() ? "." : directory);
    if (dir.Get() < 0) {
        if (errno == ENOENT) return Result(TDeleteOutcome::Missing);
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
                     (expected->Modified != TDateTime{} && FileTimeToDateTime(info.st_mtime) != expected->Modified)))
        return Result(TDeleteOutcome::Changed,
                      "„" + path + "“ hat sich verändert, seit sie gelesen wurde, und wird nicht gelöscht.");
    if (unlinkat(dir.Get(), name.c_str(), 0) != 0)
        return Result(TDeleteOutcome::Failed, "„" + path + "“ kann nicht gelöscht werden (" + std::strerror(errno) +
                                                  "). Bitte die Rechte prüfen.");
    return Result(TDeleteOutcome::Deleted);
}

}  // namespace tavik
