#include "host/engine/extract_target.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "host/services/exceptions.h"

namespace tavik {

namespace {

constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

std::string SystemReason(int error) { return std::string(std::strerror(error)); }

std::string WalkReason(int error) {
    if (error == ELOOP || error == ENOTDIR)
        return "Der Pfad führt über eine symbolische Verknüpfung oder eine Datei und wird nicht entpackt.";
    return "Das Verzeichnis kann nicht angelegt werden (" + SystemReason(error) + ").";
}

}  // namespace

TExtractFile::TExtractFile(TUniqueFd dir, std::string name, std::string tempName, TUniqueFd fd)
    : FDir(std::move(dir)), FName(std::move(name)), FTempName(std::move(tempName)), FFd(std::move(fd)) {}

TExtractFile::~TExtractFile() {
    if (!FCommitted) {
        FFd.Reset();
        ::unlinkat(FDir.Get(), FTempName.c_str(), 0);
    }
}

std::string TExtractFile::Write(const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(FFd.Get(), p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return "Die Datei kann nicht geschrieben werden (" + SystemReason(errno) + ").";
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return {};
}

std::string TExtractFile::WriteAt(std::int64_t offset, const void* data, std::size_t size) {
    if (::lseek(FFd.Get(), static_cast<off_t>(offset), SEEK_SET) < 0)
        return "Die Datei kann nicht geschrieben werden (" + SystemReason(errno) + ").";
    return Write(data, size);
}

std::string TExtractFile::Commit(std::int64_t size, std::optional<std::time_t> mtime) {
    struct stat st {};
    if (::fstat(FFd.Get(), &st) == 0 && st.st_size < size && ::ftruncate(FFd.Get(), static_cast<off_t>(size)) != 0)
        return "Die Datei kann nicht geschrieben werden (" + SystemReason(errno) + ").";
    if (mtime) {
        const timespec times[2] = {{0, UTIME_OMIT}, {*mtime, 0}};
        ::futimens(FFd.Get(), times);  // a missing time is no reason to lose the data
    }
    if (!FFd.Close()) return "Die Datei kann nicht geschrieben werden (" + SystemReason(errno) + ").";
    if (::renameat(FDir.Get(), FTempName.c_str(), FDir.Get(), FName.c_str()) != 0)
        return "Die Datei kann nicht angelegt werden (" + SystemReason(errno) + ").";
    FCommitted = true;
    return {};
}

TExtractTarget::TExtractTarget(const std::string& dir) {
    if (dir.empty()) throw EOlvex("Es ist kein Zielverzeichnis zum Entpacken angegeben.");
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    FRoot.Reset(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!FRoot)
        throw EOlvex("Das Zielverzeichnis „" + dir + "“ kann nicht geöffnet werden (" + SystemReason(errno) +
                     "). Bitte prüfen Sie den Pfad und die Zugriffsrechte.");
}

TUniqueFd TExtractTarget::OpenParent(const std::vector<std::string>& parts, bool create, std::string& reason) {
    TUniqueFd current(::dup(FRoot.Get()));
    if (!current) {
        reason = SystemReason(errno);
        return {};
    }
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
        TUniqueFd next(::openat(current.Get(), parts[i].c_str(), kDirFlags));
        if (!next && errno == ENOENT && create) {
            if (::mkdirat(current.Get(), parts[i].c_str(), 0777) != 0 && errno != EEXIST) {
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

std::string TExtractTarget::MakeDirectory(const std::vector<std::string>& parts, std::optional<std::time_t> mtime) {
    std::string reason;
    TUniqueFd parent = OpenParent(parts, true, reason);
    if (!parent) return reason;
    if (::mkdirat(parent.Get(), parts.back().c_str(), 0777) != 0 && errno != EEXIST) return WalkReason(errno);
    TUniqueFd dir(::openat(parent.Get(), parts.back().c_str(), kDirFlags));
    if (!dir) return WalkReason(errno);
    if (mtime) FDirTimes.emplace_back(parts, *mtime);
    return {};
}

std::string TExtractTarget::Claim(const std::vector<std::string>& parts) {
    std::string name;
    for (const auto& part : parts) name += "/" + part;
    if (!FClaimed.insert(name).second)
        return "Der Name kommt im Archiv mehrfach vor; nur der erste Eintrag dieses Namens wird entpackt.";
    return {};
}

std::string TExtractTarget::CreateFile(const std::vector<std::string>& parts, mode_t mode,
                                       std::unique_ptr<TExtractFile>& file) {
    if (std::string taken = Claim(parts); !taken.empty()) return taken;
    std::string reason;
    TUniqueFd parent = OpenParent(parts, true, reason);
    if (!parent) return reason;
    struct stat st {};
    if (::fstatat(parent.Get(), parts.back().c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode))
        return "Im Zielverzeichnis gibt es unter diesem Namen bereits ein Verzeichnis.";
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::string temp = "." + parts.back().substr(0, 200) + ".vrx" + std::to_string(::getpid()) + "-" +
                                 std::to_string(attempt);
        TUniqueFd fd(::openat(parent.Get(), temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                              mode & 0777));
        if (fd) {
            file = std::make_unique<TExtractFile>(std::move(parent), parts.back(), temp, std::move(fd));
            return {};
        }
        if (errno != EEXIST) return "Die Datei kann nicht angelegt werden (" + SystemReason(errno) + ").";
    }
    return "Die Datei kann nicht angelegt werden (kein freier temporärer Name).";
}

std::string TExtractTarget::MakeSymlink(const std::vector<std::string>& parts, const std::string& target) {
    if (std::string taken = Claim(parts); !taken.empty()) return taken;
    std::string reason;
    TUniqueFd parent = OpenParent(parts, true, reason);
    if (!parent) return reason;
    struct stat st {};
    if (::fstatat(parent.Get(), parts.back().c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISDIR(st.st_mode)) return "Im Zielverzeichnis gibt es unter diesem Namen bereits ein Verzeichnis.";
        ::unlinkat(parent.Get(), parts.back().c_str(), 0);
    }
    if (::symlinkat(target.c_str(), parent.Get(), parts.back().c_str()) != 0)
        return "Die Verknüpfung kann nicht angelegt werden (" + SystemReason(errno) + ").";
    return {};
}

std::string TExtractTarget::MakeHardlink(const std::vector<std::string>& parts, const std::vector<std::string>& existing) {
    if (std::string taken = Claim(parts); !taken.empty()) return taken;
    std::string reason;
    TUniqueFd from = OpenParent(existing, false, reason);
    if (!from) return reason;
    TUniqueFd parent = OpenParent(parts, true, reason);
    if (!parent) return reason;
    struct stat st {};
    if (::fstatat(parent.Get(), parts.back().c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISDIR(st.st_mode)) return "Im Zielverzeichnis gibt es unter diesem Namen bereits ein Verzeichnis.";
        ::unlinkat(parent.Get(), parts.back().c_str(), 0);
    }
    // Flag 0: a link to a symbolic link links the link itself, never what it points to.
    if (::linkat(from.Get(), existing.back().c_str(), parent.Get(), parts.back().c_str(), 0) != 0)
        return "Die Verknüpfung kann nicht angelegt werden (" + SystemReason(errno) + ").";
    return {};
}

void TExtractTarget::RestoreDirectoryTimes() {
    for (auto it = FDirTimes.rbegin(); it != FDirTimes.rend(); ++it) {
        std::string reason;
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
