#include "host/services/safe_write.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <random>
#include <string_view>

#include "host/services/exceptions.h"
#include "host/services/paths.h"
#include "host/services/system_error.h"
#include "host/services/whole_io.h"

namespace tavik {

namespace {

constexpr std::string_view kMarker = ".vrtmp-";
constexpr std::size_t kRandomChars = 6;
// Room for the marker, the random part and the dot within NAME_MAX (255 bytes).
constexpr std::size_t kMaxNameBytes = 200;
constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

// name cut to kMaxNameBytes, not within a UTF-8 sequence.
std::string Shortened(const std::string& name) {
    if (name.size() <= kMaxNameBytes) return name;
    std::size_t end = kMaxNameBytes;
    while (end > 0 && (static_cast<unsigned char>(name[end]) & 0xC0) == 0x80) --end;
    return name.substr(0, end);
}

bool EndsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// Unpredictable bytes for a temporary name. Asked of the kernel each time: std::random_device
// opens its source anew for every object, which cost more than creating the file.
std::array<unsigned char, kRandomChars> RandomBytes() {
    std::array<unsigned char, kRandomChars> bytes{};
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::getrandom(bytes.data() + got, bytes.size() - got, 0);
        if (n > 0) {
            got += static_cast<std::size_t>(n);
        } else if (n < 0 && errno != EINTR) {
            // No entropy to be had (a kernel without getrandom): the name is still taken only
            // when free (O_EXCL), so a predictable one costs a retry at worst.
            std::random_device fallback;
            for (unsigned char& byte : bytes) byte = static_cast<unsigned char>(fallback());
            break;
        }
    }
    return bytes;
}

// Gives a new temporary name for name to something made by make(temp), which fails with errno
// EEXIST when temp is taken; sets tempName on success, else errno tells why not.
template <class TMake>
bool TakeTemporaryName(const std::string& name, std::string& tempName, TMake make) {
    const std::string prefix = SafeWriteTempPrefix(name);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temp = prefix;
        for (const unsigned char byte : RandomBytes()) temp += kAlphabet[byte % kAlphabet.size()];
        if (make(temp)) {
            tempName = std::move(temp);
            return true;
        }
        if (errno != EEXIST) break;
    }
    return false;
}

// Creates a new file for name in dirFd under the temporary name, which it sets; invalid with
// errno set when none can be made.
TUniqueFd CreateTemporary(int dirFd, const std::string& name, int flags, mode_t mode, std::string& tempName) {
    TUniqueFd fd;
    TakeTemporaryName(name, tempName, [&](const std::string& temp) {
        fd.Reset(::openat(dirFd, temp.c_str(), flags | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        return static_cast<bool>(fd);
    });
    return fd;
}

// Gives the unnamed file fd the name in dirFd; never replaces what has that name (errno EEXIST).
bool LinkUnnamed(int fd, int dirFd, const std::string& name) {
    std::array<char, 32> path{};
    std::snprintf(path.data(), path.size(), "/proc/self/fd/%d", fd);
    return ::linkat(AT_FDCWD, path.data(), dirFd, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

std::string DirectoryNameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

TUniqueFd OpenDirectory(const std::string& dirName) {
    TUniqueFd dir(::open(dirName.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir)
        throw EOlvex("Das Verzeichnis „" + dirName + "“ kann nicht geöffnet werden: " + SystemErrorText(errno) +
                     ". Bitte prüfen Sie den Pfad und die Zugriffsrechte.",
                     KindOfWriteError(errno));
    return dir;
}

std::string FileNameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string SafeWriteTempPrefix(const std::string& name) {
    return "." + Shortened(name) + std::string(kMarker);
}

std::optional<std::string> SafeWriteLeftoverOf(const std::string& entryName) {
    std::string_view name = entryName;
    if (name.size() < 2 || name.front() != '.') return std::nullopt;
    name.remove_prefix(1);
    if (name.size() < kRandomChars) return std::nullopt;
    for (const char c : name.substr(name.size() - kRandomChars))
        if (c == '.') return std::nullopt;
    name.remove_suffix(kRandomChars);
    if (!EndsWith(name, kMarker)) return std::nullopt;
    name.remove_suffix(kMarker.size());
    if (name.empty()) return std::nullopt;
    return std::string(name);
}

bool UnnamedFilesCanBeNamed() { return ::access("/proc/self/fd", X_OK) == 0; }

TUniqueFd CreateUnnamedFile(int dirFd, mode_t mode) {
    return TUniqueFd(::openat(dirFd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode));
}

TUniqueFd CreateScratchFile(int dirFd, const std::string& name) {
    TUniqueFd scratch = CreateUnnamedFile(dirFd, 0600);
    if (scratch || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return scratch;
    std::string tempName;
    scratch = CreateTemporary(dirFd, name, O_RDWR, 0600, tempName);
    if (scratch) ::unlinkat(dirFd, tempName.c_str(), 0);
    return scratch;
}

TSafeWrite::TSafeWrite(TUniqueFd dir, std::string dirName, std::string name, TDurability durability, mode_t mode)
    : FDir(std::move(dir)), FDirName(std::move(dirName)), FName(std::move(name)), FDurability(durability) {
    // Readable too: a writer may read back what it wrote before the file takes its name.
    FFd = CreateTemporary(FDir.Get(), FName, O_RDWR, mode, FTempName);
    if (FFd) return;
    throw EOlvex("Die Datei „" + FinalPath() + "“ kann nicht angelegt werden: " + SystemErrorText(errno) +
                     ". Bitte prüfen Sie den freien Speicherplatz und die Zugriffsrechte im Verzeichnis.",
                 KindOfWriteError(errno));
}

TSafeWrite::TSafeWrite(TUniqueFd dir, std::string dirName, std::string name, TUniqueFd unnamed,
                       TDurability durability)
    : FDir(std::move(dir)),
      FDirName(std::move(dirName)),
      FName(std::move(name)),
      FFd(std::move(unnamed)),
      FDurability(durability) {}

TSafeWrite::TSafeWrite(const std::string& path, TDurability durability, mode_t mode)
    : TSafeWrite(OpenDirectory(DirectoryNameOf(path)), DirectoryNameOf(path), FileNameOf(path), durability, mode) {}

TSafeWrite::~TSafeWrite() {
    if (FPlaced || FTempName.empty()) return;
    FFd.Reset();
    ::unlinkat(FDir.Get(), FTempName.c_str(), 0);
}

std::string TSafeWrite::TempPath() const { return ConcatPathNames(FDirName, FTempName); }
std::string TSafeWrite::FinalPath() const { return ConcatPathNames(FDirName, FName); }

void TSafeWrite::Fail(const std::string& what, int error) const {
    throw EOlvex("Die Datei „" + FinalPath() + "“ " + what + ": " + SystemErrorText(error) +
                     ". Bitte prüfen Sie den freien Speicherplatz und die Zugriffsrechte im Verzeichnis.",
                 KindOfWriteError(error));
}

void TSafeWrite::SetMode(mode_t mode) {
    if (::fchmod(FFd.Get(), mode) != 0) Fail("kann ihre Zugriffsrechte nicht erhalten", errno);
}

void TSafeWrite::Write(const void* data, std::size_t size) {
    const TIoResult result = WriteWhole(FFd.Get(), data, size);
    if (result.error != 0) Fail("kann nicht geschrieben werden", result.error);
}

void TSafeWrite::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
    const TIoResult result = WriteWholeAt(FFd.Get(), data, size, offset);
    if (result.error != 0) Fail("kann nicht geschrieben werden", result.error);
}

bool TSafeWrite::Place(TPlacing placing) {
    if (!FClosed) {
        if (FDurability == TDurability::Flushed && ::fsync(FFd.Get()) != 0)
            Fail("kann nicht fertig geschrieben werden", errno);
        // A file without a name must get one before it is closed, or it is gone.
        if (FTempName.empty()) {
            if (placing == TPlacing::NoReplace && LinkUnnamed(FFd.Get(), FDir.Get(), FName)) {
                CloseAfterLink(FName);
                FPlaced = true;
                FlushDirectory();
                return true;
            }
            if (placing == TPlacing::NoReplace && errno != EEXIST)
                Fail("kann nicht unter ihrem Namen abgelegt werden", errno);
            // Taken, or to be replaced: the file gets a temporary name and goes on as one made with it.
            const int fd = FFd.Get();
            const int dir = FDir.Get();
            const auto link = [fd, dir](const std::string& temp) { return LinkUnnamed(fd, dir, temp); };
            if (!TakeTemporaryName(FName, FTempName, link)) Fail("kann nicht angelegt werden", errno);
            CloseAfterLink(FTempName);
        } else if (!FFd.Close()) {
            Fail("kann nicht fertig geschrieben werden", errno);
        }
        FClosed = true;
    }
    if (!Rename(placing)) return false;
    FPlaced = true;
    FlushDirectory();
    return true;
}

void TSafeWrite::CloseAfterLink(const std::string& linked) {
    FClosed = true;
    if (FFd.Close()) return;
    const int error = errno;
    ::unlinkat(FDir.Get(), linked.c_str(), 0);
    FTempName.clear();
    Fail("kann nicht fertig geschrieben werden", error);
}

void TSafeWrite::FlushDirectory() {
    if (FDurability == TDurability::Flushed && ::fsync(FDir.Get()) != 0 && errno != EINVAL && errno != ENOTSUP &&
        errno != EOPNOTSUPP)
        Fail("wurde geschrieben, ihr Verzeichnis aber nicht gesichert", errno);
}

bool TSafeWrite::Rename(TPlacing placing) {
    const int dir = FDir.Get();
    const char* temp = FTempName.c_str();
    const char* name = FName.c_str();
    if (placing == TPlacing::Replace) {
        if (::renameat(dir, temp, dir, name) != 0) Fail("kann nicht unter ihrem Namen abgelegt werden", errno);
        return true;
    }
    if (::renameat2(dir, temp, dir, name, RENAME_NOREPLACE) == 0) return true;
    if (errno == EEXIST) return false;
    if (errno != EINVAL && errno != ENOSYS) Fail("kann nicht unter ihrem Namen abgelegt werden", errno);
    // A file system without RENAME_NOREPLACE: a hard link takes a free name just as atomically.
    if (::linkat(dir, temp, dir, name, 0) == 0) {
        if (::unlinkat(dir, temp, 0) == 0) return true;
        const int error = errno;
        ::unlinkat(dir, name, 0);
        Fail("kann nicht unter ihrem Namen abgelegt werden", error);
    }
    if (errno == EEXIST) return false;
    struct stat st {};
    if (::fstatat(dir, name, &st, AT_SYMLINK_NOFOLLOW) == 0) return false;
    if (::renameat(dir, temp, dir, name) != 0) Fail("kann nicht unter ihrem Namen abgelegt werden", errno);
    return true;
}

}  // namespace tavik
