#include "host/engine/split/split_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "host/services/exceptions.h"

namespace tavik::splitio {

namespace {

std::string Reason(int error) {
    switch (error) {
    case ENOENT: return "die Datei oder der Ordner fehlt";
    case EACCES:
    case EPERM: return "der Zugriff wurde verweigert";
    case ENOSPC: return "der Datenträger ist voll";
    case EDQUOT: return "das Speicherkontingent ist erschöpft";
    case EROFS: return "der Datenträger ist schreibgeschützt";
    case EIO: return "Ein-/Ausgabefehler des Datenträgers";
    case EISDIR: return "es ist ein Ordner";
    case ENOTDIR: return "ein Teil des Pfades ist kein Ordner";
    case ENAMETOOLONG: return "der Name ist zu lang";
    case EMFILE:
    case ENFILE: return "zu viele offene Dateien";
    default: return std::strerror(error);
    }
}

// A full disk is told by the error itself; other kinds the caller names.
[[noreturn]] void Fail(const std::string& what, const std::string& path, int error,
                       TErrorKind kind = TErrorKind::Other) {
    if (kind == TErrorKind::Other) kind = KindOfWriteError(error);
    throw EOlvex(what + " „" + path + "“ ist fehlgeschlagen: " + Reason(error) + ".", kind);
}

// rename that refuses to replace; falls back to link/unlink where the file system lacks it.
int RenameNoReplace(const std::string& from, const std::string& to) {
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
#endif
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return 0;
    }
    if (errno == EEXIST) return -1;
    if (Exists(to)) {
        errno = EEXIST;
        return -1;
    }
    return ::rename(from.c_str(), to.c_str());
}

}  // namespace

TFileHandle::~TFileHandle() {
    Close();
}

TFileHandle& TFileHandle::operator=(TFileHandle&& other) noexcept {
    if (this != &other) {
        Close();
        FFd = other.FFd;
        other.FFd = -1;
    }
    return *this;
}

void TFileHandle::Close() {
    if (FFd >= 0) ::close(FFd);
    FFd = -1;
}

TFileHandle OpenForReading(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) Fail("Das Öffnen von", path, errno, KindOfInputError(errno));
    TFileHandle file(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0) Fail("Das Lesen von", path, errno);
    if (!S_ISREG(st.st_mode)) throw EOlvex("„" + path + "“ ist keine Datei.");
    return file;
}

std::uint64_t FileSize(const TFileHandle& file, const std::string& path) {
    struct stat st {};
    if (::fstat(file.Get(), &st) != 0) Fail("Das Lesen von", path, errno);
    return static_cast<std::uint64_t>(st.st_size);
}

TFileIdentity Identity(const TFileHandle& file, const std::string& path) {
    struct stat st {};
    if (::fstat(file.Get(), &st) != 0) Fail("Das Lesen von", path, errno);
    return {st.st_dev, st.st_ino};
}

void ReadAt(const TFileHandle& file, const std::string& path, std::uint64_t offset, void* buffer, std::size_t size) {
    auto* out = static_cast<char*>(buffer);
    while (size > 0) {
        const ssize_t n = ::pread(file.Get(), out, size, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("Das Lesen von", path, errno);
        }
        if (n == 0) throw EOlvex("Die Datei „" + path + "“ ist kürzer als erwartet; sie wurde während des Lesens verändert.");
        out += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
}

void WriteAll(const TFileHandle& file, const std::string& path, const void* buffer, std::size_t size) {
    const auto* in = static_cast<const char*>(buffer);
    while (size > 0) {
        const ssize_t n = ::write(file.Get(), in, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("Das Schreiben von", path, errno);
        }
        in += n;
        size -= static_cast<std::size_t>(n);
    }
}

void WriteAt(const TFileHandle& file, const std::string& path, std::uint64_t offset, const void* buffer, std::size_t size) {
    const auto* in = static_cast<const char*>(buffer);
    while (size > 0) {
        const ssize_t n = ::pwrite(file.Get(), in, size, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail("Das Schreiben von", path, errno);
        }
        in += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
}

void Sync(const TFileHandle& file, const std::string& path) {
    if (::fsync(file.Get()) != 0) Fail("Das Sichern von", path, errno);
}

void SyncDirectory(const std::string& dir) {
    TFileHandle handle(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    // Some file systems refuse fsync on directories; the files themselves are synced already.
    if (handle.Valid()) ::fsync(handle.Get());
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool IsFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

TTempFile::TTempFile(const std::string& dir, const std::string& stem) {
    // Created like any new file (mode 0666 less the umask), unlike mkstemp's 0600.
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(random()));
        const std::string path = dir + "/." + stem + ".vendrask-" + suffix;
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            FFile = TFileHandle(fd);
            FPath = path;
            return;
        }
        if (errno != EEXIST) Fail("Das Anlegen einer Datei im Ordner", dir, errno);
    }
    Fail("Das Anlegen einer Datei im Ordner", dir, EEXIST);
}

TTempFile::~TTempFile() {
    FFile.Close();
    if (!FPlaced) ::unlink(FPath.c_str());
}

void TTempFile::Place(const std::string& finalPath) {
    Sync(FFile, FPath);
    FFile.Close();
    if (RenameNoReplace(FPath, finalPath) != 0) {
        if (errno == EEXIST)
            throw EOlvex("Die Datei „" + finalPath + "“ gibt es bereits; sie wird nicht überschrieben. "
                         "Bitte einen anderen Zielordner wählen oder die Datei zuvor entfernen.");
        Fail("Das Umbenennen nach", finalPath, errno);
    }
    FPlaced = true;
}

}  // namespace tavik::splitio
