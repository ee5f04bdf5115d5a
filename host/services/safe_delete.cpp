#include "host/services/safe_delete.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "host/services/open_below.h"
#include "host/services/paths.h"
#include "host/services/unique_fd.h"
#include "host/services/system_error.h"

namespace tavik {

namespace {


TDeleteResult Result(TDeleteOutcome outcome, const std::string& reason = "") { return {outcome, reason}; }

bool ChangedAfter(const struct stat& info, const timespec& moment) {
    return info.st_ctim.tv_sec > moment.tv_sec ||
           (info.st_ctim.tv_sec == moment.tv_sec && info.st_ctim.tv_nsec > moment.tv_nsec);
}

TDeleteResult NoRights(const std::string& path, int error) {
    return Result(TDeleteOutcome::NoRights, "„" + path + "“ darf nicht gelöscht werden (" + SystemErrorText(error) +
                                                ") und bleibt erhalten. Bitte die Rechte des Verzeichnisses prüfen.");
}

}  // namespace

TDeletingDirectory::TDeletingDirectory(const std::string& directory, const std::string& base)
    : FDirectory(directory), FDir(OpenDirectoryBelow(directory, base)) {
    if (!FDir) FOpenError = errno;
}

std::optional<TDeleteResult> TDeletingDirectory::Unreached(const std::string& path) const {
    if (FDir) return std::nullopt;
    if (FOpenError == ENOENT) return Result(TDeleteOutcome::Missing);
    if (FOpenError == ELOOP || FOpenError == ENOTDIR)
        return Result(TDeleteOutcome::NotRegular,
                      "Der Weg zu „" + path +
                          "“ führt über eine symbolische Verknüpfung oder etwas anderes als ein Verzeichnis; "
                          "die Datei wird nicht gelöscht.");
    return Result(TDeleteOutcome::Failed, "Das Verzeichnis „" + FDirectory + "“ kann nicht geöffnet werden (" +
                                              SystemErrorText(FOpenError) + "); „" + ExtractFileName(path) +
                                              "“ bleibt erhalten.");
}

// The checks that come before unlinking: the directory reached safely, the entry a regular file
// as expected and writable. Sets name and info for the unlink; nothing when they all pass.
std::optional<TDeleteResult> TDeletingDirectory::RefusalBeforeUnlink(const std::string& path,
                                                                     const std::optional<TExpectedFile>& expected,
                                                                     std::string& name, struct stat& info) const {
    name = ExtractFileName(path);
    if (name.empty() || name == "." || name == "..")
        return Result(TDeleteOutcome::NotRegular, "„" + path + "“ ist kein Dateiname.");
    if (auto unreached = Unreached(path)) return unreached;
    if (fstatat(FDir.Get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) return Result(TDeleteOutcome::Missing);
        return Result(TDeleteOutcome::Failed, "„" + path + "“ kann nicht geprüft werden (" + SystemErrorText(errno) + ").");
    }
    if (!S_ISREG(info.st_mode))
        return Result(TDeleteOutcome::NotRegular,
                      "„" + path + "“ ist keine gewöhnliche Datei (mehr) und wird nicht gelöscht.");
    if (expected && (info.st_size != expected->Size ||
                     (expected->Modified != TDateTime{} && FileTimeToDateTime(info.st_mtime) != expected->Modified) ||
                     (expected->UnchangedSince && ChangedAfter(info, *expected->UnchangedSince))))
        return Result(TDeleteOutcome::Changed,
                      "„" + path + "“ hat sich verändert, seit sie gelesen wurde, und wird nicht gelöscht.");
    if ((info.st_mode & S_IWUSR) == 0 ||
        (faccessat(FDir.Get(), name.c_str(), W_OK, AT_EACCESS) != 0 && errno == EACCES))
        return Result(TDeleteOutcome::ReadOnly, "„" + path + "“ ist schreibgeschützt und bleibt erhalten.");
    return std::nullopt;
}

TDeleteResult TDeletingDirectory::DeleteRegularFile(const std::string& path,
                                                    const std::optional<TExpectedFile>& expected) const {
    std::string name;
    struct stat info {};
    if (auto refusal = RefusalBeforeUnlink(path, expected, name, info)) return std::move(*refusal);
    if (unlinkat(FDir.Get(), name.c_str(), 0) != 0) {
        if (errno == EACCES || errno == EPERM) return NoRights(path, errno);
        return Result(TDeleteOutcome::Failed, "„" + path + "“ kann nicht gelöscht werden (" + SystemErrorText(errno) +
                                                  ").");
    }
    return Result(TDeleteOutcome::Deleted);
}

TDeleteResult TDeletingDirectory::CheckDeletable(const std::string& path,
                                                 const std::optional<TExpectedFile>& expected) const {
    std::string name;
    struct stat info {};
    if (auto refusal = RefusalBeforeUnlink(path, expected, name, info)) return std::move(*refusal);
    if (faccessat(FDir.Get(), ".", W_OK | X_OK, AT_EACCESS) != 0) return NoRights(path, errno);
    struct stat directory {};
    const uid_t self = geteuid();
    if (fstat(FDir.Get(), &directory) == 0 && (directory.st_mode & S_ISVTX) != 0 && self != 0 &&
        info.st_uid != self && directory.st_uid != self)
        return NoRights(path, EPERM);
    return Result(TDeleteOutcome::Deleted);
}

TDeleteResult DeleteRegularFile(const std::string& path, const std::optional<TExpectedFile>& expected,
                                const std::string& base) {
    return TDeletingDirectory(ExtractFileDir(path), base).DeleteRegularFile(path, expected);
}

TDeleteResult CheckDeletable(const std::string& path, const std::optional<TExpectedFile>& expected,
                             const std::string& base) {
    return TDeletingDirectory(ExtractFileDir(path), base).CheckDeletable(path, expected);
}

}  // namespace tavik
