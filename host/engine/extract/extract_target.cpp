#include "host/engine/extract/extract_target.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "host/engine/archiv_format.h"
#include "host/engine/extract/entry_name.h"
#include "host/services/exceptions.h"
#include "host/services/host_installation.h"
#include "host/services/open_below.h"
#include "host/services/paths.h"
#include "host/services/system_error.h"
#include "host/services/whole_io.h"

namespace tavik {

namespace {

constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

std::string SystemReason(int error) { return SystemErrorText(error); }

const char* const kDifferentFile = kArchivConflictRefused;
const char* const kDirectoryThere = "Im Zielverzeichnis gibt es unter diesem Namen bereits ein Verzeichnis.";

// Whether two regular files in dir have the same bytes.
bool SameContent(int dir, const std::string& a, const std::string& b) {
    // Non-blocking: should a pipe have taken the name since it was looked at, it cannot hold us.
    const TUniqueFd first(::openat(dir, a.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    const TUniqueFd second(::openat(dir, b.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    struct stat one {}, two {};
    if (!first || !second || ::fstat(first.Get(), &one) != 0 || ::fstat(second.Get(), &two) != 0 ||
        !S_ISREG(one.st_mode) || !S_ISREG(two.st_mode) || one.st_size != two.st_size)
        return false;
    std::array<char, 64 * 1024> left{}, right{};
    for (;;) {
        const TIoResult one = ReadWhole(first.Get(), left.data(), left.size());
        if (one.error != 0) return false;
        if (!ReadWhole(second.Get(), right.data(), one.done).Complete(one.done)) return false;
        if (std::memcmp(left.data(), right.data(), one.done) != 0) return false;
        if (one.done < left.size()) {
            char extra = 0;
            return ReadWhole(second.Get(), &extra, 1).Complete(0);
        }
    }
}

TReason WalkReason(int error) {
    if (error == ELOOP || error == ENOTDIR)
        return {"Der Pfad führt über eine symbolische Verknüpfung oder eine Datei und wird nicht entpackt.",
                TErrorKind::RefusedEntry};
    return {"Das Verzeichnis kann nicht angelegt werden (" + SystemReason(error) + ").", KindOfWriteError(error)};
}

// what failed, with the system's reason; a full disk says so by its kind.
TReason WriteReason(const char* what, int error) {
    return {std::string(what) + " (" + SystemReason(error) + ").", KindOfWriteError(error)};
}

constexpr const char* kNotWritten = "Die Datei kann nicht geschrieben werden";
constexpr const char* kNotCreated = "Die Datei kann nicht angelegt werden";

}  // namespace

TExtractFile::TExtractFile(TUniqueFd dir, std::string dirName, std::string name, mode_t mode,
                           std::function<TReplaceDecision()> replace, std::function<TReason()> protect)
    // An extracted file can be made again from its archive: it is not flushed to the disk.
    : FReplace(std::move(replace)),
      FProtect(std::move(protect)),
      FFile(std::move(dir), std::move(dirName), std::move(name), TDurability::Unflushed, mode) {}

TExtractFile::TExtractFile(TUniqueFd dir, std::string dirName, std::string name, TUniqueFd unnamed,
                           std::function<TReplaceDecision()> replace, std::function<TReason()> protect)
    : FReplace(std::move(replace)),
      FProtect(std::move(protect)),
      FFile(std::move(dir), std::move(dirName), std::move(name), std::move(unnamed), TDurability::Unflushed) {}

TReason TExtractFile::Write(const void* data, std::size_t size) {
    try {
        FFile.Write(data, size);
    } catch (const EOlvex& e) {
        return {e.what(), e.Kind()};
    }
    return {};
}

TReason TExtractFile::WriteAt(std::int64_t offset, const void* data, std::size_t size) {
    try {
        FFile.WriteAt(static_cast<std::uint64_t>(offset), data, size);
    } catch (const EOlvex& e) {
        return {e.what(), e.Kind()};
    }
    return {};
}

TReason TExtractFile::Commit(std::int64_t size, std::optional<std::time_t> mtime) {
    struct stat st {};
    if (::fstat(FFile.Fd(), &st) == 0 && st.st_size < size && ::ftruncate(FFile.Fd(), static_cast<off_t>(size)) != 0)
        return WriteReason(kNotWritten, errno);
    if (mtime) {
        const timespec times[2] = {{0, UTIME_OMIT}, {*mtime, 0}};
        ::futimens(FFile.Fd(), times);  // a missing time is no reason to lose the data
    }
    if (FProtect)
        if (TReason refused = FProtect(); !refused.empty()) return refused;
    try {
        // Taking the name only while it is free leaves no moment in which a file that appears
        // meanwhile would be replaced unasked.
        if (FFile.Place(TPlacing::NoReplace)) return {};
        return PlaceOverExisting();
    } catch (const EOlvex& e) {
        return {e.what(), e.Kind()};
    }
}

TReason TExtractFile::PlaceOverExisting() {
    const int dir = FFile.DirFd();
    const std::string name = FFile.FinalName();
    struct stat st {};
    if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISDIR(st.st_mode)) return kDirectoryThere;
        // The same content is no conflict: the file stays as it is. Only a regular file is
        // compared: a pipe, socket or device is never opened (a pipe would wait for a writer);
        // it is a different file.
        if (S_ISREG(st.st_mode) && SameContent(dir, FFile.TempName(), name)) {
            FOutcome = TCommitOutcome::Identical;
            return {};
        }
        switch (FReplace ? FReplace() : TReplaceDecision::Refuse) {
            case TReplaceDecision::Replace: break;
            case TReplaceDecision::Keep: FOutcome = TCommitOutcome::Kept; return {};
            case TReplaceDecision::Refuse: return kDifferentFile;
        }
    } else if (errno != ENOENT) {
        return WriteReason(kNotCreated, errno);
    }
    FFile.Place(TPlacing::Replace);
    return {};
}

TExtractTarget::TExtractTarget(const std::string& dir, const std::string& base, TReplaceQuestion replace)
    : FDirName(dir), FReplace(std::move(replace)) {
    if (dir.empty()) throw EOlvex("Es ist kein Zielverzeichnis zum Entpacken angegeben.");
    if (base.empty()) {
        std::error_code error;
        std::filesystem::create_directories(dir, error);
        FRoot.Reset(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    } else {
        FRoot.Reset(OpenDirectoryBelow(dir, base));
        if (!FRoot && (errno == ELOOP || errno == ENOTDIR))
            throw EOlvex("Auf dem Weg von „" + base + "“ nach „" + dir +
                             "“ liegt eine symbolische Verknüpfung (oder eine Datei); dorthin wird nicht "
                             "entpackt, damit nichts an einem Platz außerhalb landet. Bitte prüfen Sie das "
                             "Verzeichnis, oder entpacken Sie in ein gewähltes Verzeichnis.",
                         TErrorKind::RefusedEntry);
    }
    if (!FRoot) {
        const int error = errno;
        throw EOlvex("Das Zielverzeichnis „" + dir + "“ kann nicht geöffnet werden (" + SystemReason(error) +
                         "). Bitte prüfen Sie den Pfad und die Zugriffsrechte.",
                     KindOfAccessError(error));
    }
    if (const char* root = std::getenv(kRootVariable); root != nullptr && *root != '\0') {
        struct stat st {};
        if (::stat(ExtractFileDir(HostDatabasePath()).c_str(), &st) == 0) FDatabaseDir.emplace(st.st_dev, st.st_ino);
    }
}

TReason TExtractTarget::Protected(int parent, const std::string& name) const {
    if (!FDatabaseDir) return {};
    bool databaseName = false;
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
        databaseName = databaseName || name == std::string(kDatabaseName) + suffix;
    struct stat st {};
    if (!databaseName || ::fstat(parent, &st) != 0 || std::make_pair(st.st_dev, st.st_ino) != *FDatabaseDir) return {};
    return {"Der Name fällt auf die Datenbank der Olvex-Installation oder eine ihrer Journaldateien; sie wird nie "
            "ersetzt oder angelegt. Entpacken Sie den Eintrag bei Bedarf in ein anderes Verzeichnis.",
            TErrorKind::RefusedEntry};
}

void TExtractTarget::NoteMade(const std::string& path) {
    FMadeHere.insert(path);
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos || FMadeFromRoot.count(path.substr(0, slash)) != 0) FMadeFromRoot.insert(path);
}

void TExtractTarget::MakeFilesAhead(std::vector<std::optional<mode_t>> modes) {
    FFilesAhead = std::make_unique<TUnnamedFilesAhead>(FRoot.Get(), std::move(modes));
}

TUniqueFd TExtractTarget::OpenParent(const std::vector<std::string>& parts, bool create, TReason& reason) {
    TUniqueFd current(::dup(FRoot.Get()));
    if (!current) {
        reason = SystemReason(errno);
        return {};
    }
    std::string path;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        path += (i == 0 ? "" : "/") + parts[i];
        TUniqueFd next(::openat(current.Get(), parts[i].c_str(), kDirFlags));
        if (!next && errno == ENOENT && create) {
            if (::mkdirat(current.Get(), parts[i].c_str(), 0777) == 0) {
                FMadeOnTheWay.insert(path);
                NoteMade(path);
            }
            else if (errno != EEXIST) {
                reason = WalkReason(errno);
                return {};
            }
            next.Reset(::openat(current.Get(), parts[i].c_str(), kDirFlags));
        }
        if (!next) {
            reason = WalkReason(errno);
            return {};
        }
        current = std::move(next);
    }
    return current;
}

TReason TExtractTarget::MakeDirectory(const std::vector<std::string>& parts, std::optional<std::time_t> mtime) {
    TReason reason;
    TUniqueFd parent = OpenParent(parts, true, reason);
    if (!parent) return reason;
    const bool made = ::mkdirat(parent.Get(), parts.back().c_str(), 0777) == 0;
    if (!made && errno != EEXIST) return WalkReason(errno);
    TUniqueFd dir(::openat(parent.Get(), parts.back().c_str(), kDirFlags));
    if (!dir) return WalkReason(errno);
    // An entry of its own needs the directory, whatever becomes of the entries in it.
    std::string path;
    for (const std::string& part : parts) path += (path.empty() ? "" : "/") + part;
    if (made) NoteMade(path);
    FMadeOnTheWay.erase(path);
    if (mtime) FDirTimes.emplace_back(parts, *mtime);
    return {};
}

TReason TExtractTarget::CreateFile(const std::vector<std::string>& parts, mode_t mode,
                                   std::unique_ptr<TExtractFile>& file, std::optional<std::size_t> position) {
    TReason reason;
    TUniqueFd parent = OpenParent(parts, true, reason);
    if (!parent) return reason;
    // A directory of that name in a directory that was there before is found before the data is
    // written; in one this extraction made, placing the file finds it (as it finds any file).
    std::string parentPath;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) parentPath += (i == 0 ? "" : "/") + parts[i];
    struct stat st {};
    if ((parts.size() == 1 || FMadeHere.count(parentPath) == 0) &&
        ::fstatat(parent.Get(), parts.back().c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode))
        return kDirectoryThere;
    std::string dirName = FDirName;
    for (std::size_t i = 0; i + 1 < parts.size(); ++i)
        dirName += (dirName.empty() || dirName.back() == '/' ? "" : "/") + parts[i];
    if (TReason refused = Protected(parent.Get(), parts.back()); !refused.empty()) return refused;
    TUniqueFd unnamed;
    if (FFilesAhead && position) {
        // Elsewhere the directory may give its new files another group or other rights (setgid,
        // default ACL) than the target directory, where the files made ahead lie.
        if (parts.size() == 1 || FMadeFromRoot.count(parentPath) != 0)
            unnamed = FFilesAhead->Take(*position, mode & 0777);
        else
            FFilesAhead.reset();
    }
    try {
        const int parentFd = parent.Get();
        auto replace = [this, parts] { return Ask(parts); };
        auto protect = [this, parentFd, name = parts.back()] { return Protected(parentFd, name); };
        if (unnamed)
            file = std::make_unique<TExtractFile>(std::move(parent), std::move(dirName), parts.back(),
                                                  std::move(unnamed), std::move(replace), std::move(protect));
        else
            file = std::make_unique<TExtractFile>(std::move(parent), std::move(dirName), parts.back(), mode & 0777,
                                                  std::move(replace), std::move(protect));
    } catch (const EOlvex& e) {
        return {e.what(), e.Kind()};
    }
    return {};
}

TReplaceDecision TExtractTarget::Ask(const std::vector<std::string>& parts) const {
    if (!FReplace) return TReplaceDecision::Refuse;
    std::string path = FDirName;
    for (const auto& part : parts) path += (path.empty() || path.back() == '/' ? "" : "/") + part;
    return FReplace(path);
}

TReason TExtractTarget::MakeRoom(int parent, const std::vector<std::string>& parts, bool alreadyThere, bool& done) {
    done = false;
    if (TReason refused = Protected(parent, parts.back()); !refused.empty()) return refused;
    struct stat st {};
    if (::fstatat(parent, parts.back().c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return {};
    if (S_ISDIR(st.st_mode)) return kDirectoryThere;
    if (alreadyThere) {
        done = true;
        return {};
    }
    switch (Ask(parts)) {
        case TReplaceDecision::Replace: break;
        case TReplaceDecision::Keep: done = true; return {};
        case TReplaceDecision::Refuse: return kDifferentFile;
    }
    if (::unlinkat(parent, parts.back().c_str(), 0) != 0 && errno != ENOENT)
        return WriteReason("Die vorhandene Datei kann nicht ersetzt werden", errno);
    return {};
}

bool TExtractTarget::LinkOnPath(const std::string& path) const {
    TUniqueFd current(::dup(FRoot.Get()));
    if (!current) return true;
    for (std::size_t start = 0; start <= path.size();) {
        const std::size_t end = std::min(path.find('/', start), path.size());
        const std::string part = path.substr(start, end - start);
        start = end + 1;
        struct stat st {};
        if (::fstatat(current.Get(), part.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            return errno != ENOENT && errno != ENOTDIR;  // not there (yet): nothing to climb out of
        if (S_ISLNK(st.st_mode)) return true;
        if (!S_ISDIR(st.st_mode)) return false;  // ".." behind a file leads nowhere
        TUniqueFd next(::openat(current.Get(), part.c_str(), kDirFlags));
        if (!next) return true;
        current = std::move(next);
    }
    return false;
}

TReason TExtractTarget::CheckLink(const std::vector<std::string>& parts, std::string_view target) {
    std::vector<std::string> passed;
    if (std::string reason = CheckLinkTarget(parts, target, &passed); !reason.empty())
        return {reason, TErrorKind::RefusedEntry};
    std::string name;
    for (const auto& part : parts) name += (name.empty() ? "" : "/") + part;
    if (FClimbedOutOf.count(name) != 0)
        return {"Eine schon angelegte Verknüpfung führt mit „..“ durch diesen Namen zurück; eine Verknüpfung "
                "an dieser Stelle könnte sie aus dem Zielverzeichnis hinauszeigen lassen und wird darum nicht angelegt.",
                TErrorKind::RefusedEntry};
    for (const std::string& dir : passed) {
        if (LinkOnPath(dir))
            return {"Das Ziel der Verknüpfung führt mit „..“ aus der Verknüpfung „" + dir +
                        "“ zurück und könnte so aus dem Zielverzeichnis hinauszeigen; sie wird nicht angelegt.",
                    TErrorKind::RefusedEntry};
    }
    FClimbedOutOf.insert(passed.begin(), passed.end());
    return {};
}

TReason TExtractTarget::MakeSymlink(const std::vector<std::string>& parts, const std::string& target) {
    if (TReason refused = CheckLink(parts, target); !refused.empty()) return refused;
    TReason reason;
    TUniqueFd parent = OpenParent(parts, true, reason);
    if (!parent) return reason;
    // The same link is no conflict.
    std::array<char, 4097> existing{};
    const ssize_t length = ::readlinkat(parent.Get(), parts.back().c_str(), existing.data(), existing.size());
    const bool same = length >= 0 && std::string(existing.data(), static_cast<std::size_t>(length)) == target;
    bool done = false;
    if (reason = MakeRoom(parent.Get(), parts, same, done); !reason.empty() || done) return reason;
    if (::symlinkat(target.c_str(), parent.Get(), parts.back().c_str()) != 0)
        return errno == EEXIST ? kDifferentFile : WriteReason("Die Verknüpfung kann nicht angelegt werden", errno);
    return {};
}

TReason TExtractTarget::MakeHardlink(const std::vector<std::string>& parts, const std::vector<std::string>& existing) {
    TReason reason;
    TUniqueFd from = OpenParent(existing, false, reason);
    if (!from) return reason;
    std::array<char, 4097> linked{};
    const ssize_t linkedLength = ::readlinkat(from.Get(), existing.back().c_str(), linked.data(), linked.size());
    if (linkedLength >= 0) {
        const std::string_view target(linked.data(), static_cast<std::size_t>(linkedLength));
        if (static_cast<std::size_t>(linkedLength) == linked.size())
            return {"Das Ziel der Verknüpfung ist zu lang.", TErrorKind::RefusedEntry};
        if (TReason refused = CheckLink(parts, target); !refused.empty()) return refused;
    }
    TUniqueFd parent = OpenParent(parts, true, reason);
    if (!parent) return reason;
    // A link to the same file is no conflict.
    struct stat source {}, there {};
    const bool same = ::fstatat(from.Get(), existing.back().c_str(), &source, AT_SYMLINK_NOFOLLOW) == 0 &&
                      ::fstatat(parent.Get(), parts.back().c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 &&
                      source.st_dev == there.st_dev && source.st_ino == there.st_ino;
    bool done = false;
    if (reason = MakeRoom(parent.Get(), parts, same, done); !reason.empty() || done) return reason;
    // Flag 0: a link to a symbolic link links the link itself, never what it points to.
    if (::linkat(from.Get(), existing.back().c_str(), parent.Get(), parts.back().c_str(), 0) != 0)
        return errno == EEXIST ? kDifferentFile : WriteReason("Die Verknüpfung kann nicht angelegt werden", errno);
    return {};
}

void TExtractTarget::Abandon(const std::vector<std::string>& parts) {
    for (std::size_t depth = parts.empty() ? 0 : parts.size() - 1; depth > 0; --depth) {
        const std::vector<std::string> dir(parts.begin(), parts.begin() + static_cast<std::ptrdiff_t>(depth));
        std::string path;
        for (const std::string& part : dir) path += (path.empty() ? "" : "/") + part;
        if (FMadeOnTheWay.count(path) == 0) return;
        TReason reason;
        const TUniqueFd parent = OpenParent(dir, false, reason);
        // A folder that holds anything now is needed by something else.
        if (!parent || ::unlinkat(parent.Get(), dir.back().c_str(), AT_REMOVEDIR) != 0) return;
        // Whatever takes the name later was not made here.
        FMadeOnTheWay.erase(path);
        FMadeHere.erase(path);
        FMadeFromRoot.erase(path);
    }
}

void TExtractTarget::RestoreDirectoryTimes() {
    for (auto it = FDirTimes.rbegin(); it != FDirTimes.rend(); ++it) {
        TReason reason;
        std::vector<std::string> walk = it->first;
        walk.emplace_back(".");
        TUniqueFd dir = OpenParent(walk, false, reason);
        if (!dir) continue;
        const timespec times[2] = {{0, UTIME_OMIT}, {it->second, 0}};
        ::futimens(dir.Get(), times);
    }
    FDirTimes.clear();
}

}  // namespace tavik
