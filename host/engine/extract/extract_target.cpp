#include "host/engine/extract/extract_target.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "host/engine/archiv_format.h"
#include "host/services/exceptions.h"

namespace tavik {

namespace {

constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

std::string SystemReason(int error) { return std::string(std::strerror(error)); }

const char* const kDifferentFile = kArchivConflictRefused;
const char* const kDirectoryThere = "Im Zielverzeichnis gibt es unter diesem Namen bereits ein Verzeichnis.";

// Whether two regular files in dir have the same bytes.
bool SameContent(int dir, const std::string& a, const std::string& b) {
    const TUniqueFd first(::openat(dir, a.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    const TUniqueFd second(::openat(dir, b.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat one {}, two {};
    if (!first || !second || ::fstat(first.Get(), &one) != 0 || ::fstat(second.Get(), &two) != 0 ||
        !S_ISREG(one.st_mode) || !S_ISREG(two.st_mode) || one.st_size != two.st_size)
        return false;
    std::array<char, 64 * 1024> left{}, right{};
    for (;;) {
        const ssize_t n = ::read(first.Get(), left.data(), left.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) {
            char extra = 0;
            return ::read(second.Get(), &extra, 1) == 0;
        }
        for (ssize_t got = 0; got < n;) {
            const ssize_t m = ::read(second.Get(), right.data() + got, static_cast<std::size_t>(n - got));
            if (m < 0 && errno == EINTR) continue;
            if (m <= 0) return false;
            got += m;
        }
        if (std::memcmp(left.data(), right.data(), static_cast<std::size_t>(n)) != 0) return false;
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

TExtractFile::TExtractFile(TUniqueFd dir, std::string name, std::string tempName, TUniqueFd fd,
                           std::function<TReplaceDecision()> replace)
    : FReplace(std::move(replace)), FDir(std::move(dir)), FName(std::move(name)), FTempName(std::move(tempName)),
      FFd(std::move(fd)) {}

TExtractFile::~TExtractFile() {
    if (!FCommitted) {
        FFd.Reset();
        ::unlinkat(FDir.Get(), FTempName.c_str(), 0);
    }
}

TReason TExtractFile::Write(const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(FFd.Get(), p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return WriteReason(kNotWritten, errno);
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return {};
}

TReason TExtractFile::WriteAt(std::int64_t offset, const void* data, std::size_t size) {
    if (::lseek(FFd.Get(), static_cast<off_t>(offset), SEEK_SET) < 0) return WriteReason(kNotWritten, errno);
    return Write(data, size);
}

TReason TExtractFile::Commit(std::int64_t size, std::optional<std::time_t> mtime) {
    struct stat st {};
    if (::fstat(FFd.Get(), &st) == 0 && st.st_size < size && ::ftruncate(FFd.Get(), static_cast<off_t>(size)) != 0)
        return WriteReason(kNotWritten, errno);
    if (mtime) {
        const timespec times[2] = {{0, UTIME_OMIT}, {*mtime, 0}};
        ::futimens(FFd.Get(), times);  // a missing time is no reason to lose the data
    }
    if (!FFd.Close()) return WriteReason(kNotWritten, errno);
    // Taking the name only while it is free leaves no moment in which a file that appears
    // meanwhile would be replaced unasked.
    if (::renameat2(FDir.Get(), FTempName.c_str(), FDir.Get(), FName.c_str(), RENAME_NOREPLACE) == 0) {
        FCommitted = true;
        return {};
    }
    if (errno != EEXIST && errno != EINVAL && errno != ENOSYS) return WriteReason(kNotCreated, errno);
    return PlaceOverExisting();
}

TReason TExtractFile::PlaceOverExisting() {
    struct stat st {};
    bool replace = true;
    if (::fstatat(FDir.Get(), FName.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISDIR(st.st_mode)) return kDirectoryThere;
        // The same content is no conflict: the file stays as it is.
        if (SameContent(FDir.Get(), FTempName, FName)) return {};
        switch (FReplace ? FReplace() : TReplaceDecision::Refuse) {
            case TReplaceDecision::Replace: break;
            case TReplaceDecision::Keep: replace = false; break;
            case TReplaceDecision::Refuse: return kDifferentFile;
        }
    } else if (errno != ENOENT) {
        return WriteReason(kNotCreated, errno);
    }
    if (!replace) return {};
    if (::renameat(FDir.Get(), FTempName.c_str(), FDir.Get(), FName.c_str()) != 0) return WriteReason(kNotCreated, errno);
    FCommitted = true;
    return {};
}

TExtractTarget::TExtractTarget(const std::string& dir, TReplaceQuestion replace)
    : FDirName(dir), FReplace(std::move(replace)) {
    if (dir.empty()) throw EOlvex("Es ist kein Zielverzeichnis zum Entpacken angegeben.");
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    FRoot.Reset(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!FRoot)
        throw EOlvex("Das Zielverzeichnis „" + dir + "“ kann nicht geöffnet werden (" + SystemReason(errno) +
                     "). Bitte prüfen Sie den Pfad und die Zugriffsrechte.");
}

TUniqueFd TExtractTarget::OpenParent(const std::vector<std::string>& parts, bool create, TReason& reason) {
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

TReason TExtractTarget::MakeDirectory(const std::vector<std::string>& parts, std::optional<std::time_t> mtime) {
    TReason reason;
    TUniqueFd parent = OpenParent(parts, true, reason);
    if (!parent) return reason;
    if (::mkdirat(parent.Get(), parts.back().c_str(), 0777) != 0 && errno != EEXIST) return WalkReason(errno);
    TUniqueFd dir(::openat(parent.Get(), parts.back().c_str(), kDirFlags));
    if (!dir) return WalkReason(errno);
    if (mtime) FDirTimes.emplace_back(parts, *mtime);
    return {};
}

TReason TExtractTarget::Claim(const std::vector<std::string>& parts) {
    std::string name;
    for (const auto& part : parts) name += "/" + part;
    if (!FClaimed.insert(name).second)
        return {"Der Name kommt im Archiv mehrfach vor; nur der erste Eintrag dieses Namens wird entpackt.",
                TErrorKind::RefusedEntry};
    return {};
}

TReason TExtractTarget::CreateFile(const std::vector<std::string>& parts, mode_t mode,
                                   std::unique_ptr<TExtractFile>& file) {
    if (TReason taken = Claim(parts); !taken.empty()) return taken;
    TReason reason;
    TUniqueFd parent = OpenParent(parts, true, reason);
    if (!parent) return reason;
    struct stat st {};
    if (::fstatat(parent.Get(), parts.back().c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode))
        return kDirectoryThere;
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::string temp = "." + parts.back().substr(0, 200) + ".vrx" + std::to_string(::getpid()) + "-" +
                                 std::to_string(attempt);
        TUniqueFd fd(::openat(parent.Get(), temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                              mode & 0777));
        if (fd) {
            file = std::make_unique<TExtractFile>(std::move(parent), parts.back(), temp, std::move(fd),
                                                  [this, parts] { return Ask(parts); });
            return {};
        }
        if (errno != EEXIST) return WriteReason(kNotCreated, errno);
    }
    return "Die Datei kann nicht angelegt werden (kein freier temporärer Name).";
}

TReplaceDecision TExtractTarget::Ask(const std::vector<std::string>& parts) const {
    if (!FReplace) return TReplaceDecision::Refuse;
    std::string path = FDirName;
    for (const auto& part : parts) path += (path.empty() || path.back() == '/' ? "" : "/") + part;
    return FReplace(path);
}

TReason TExtractTarget::MakeRoom(int parent, const std::vector<std::string>& parts, bool alreadyThere, bool& done) {
    done = false;
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
        return "Die vorhandene Datei kann nicht ersetzt werden (" + SystemReason(errno) + ").";
    return {};
}

TReason TExtractTarget::MakeSymlink(const std::vector<std::string>& parts, const std::string& target) {
    if (TReason taken = Claim(parts); !taken.empty()) return taken;
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
    if (TReason taken = Claim(parts); !taken.empty()) return taken;
    TReason reason;
    TUniqueFd from = OpenParent(existing, false, reason);
    if (!from) return reason;
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
