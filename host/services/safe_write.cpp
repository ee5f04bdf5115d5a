#include "host/services/safe_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>
#include <string_view>

#include "host/services/exceptions.h"
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

std::string Joined(const std::string& dir, const std::string& name) {
    if (dir.empty()) return name;
    return dir.back() == '/' ? dir + name : dir + "/" + name;
}

bool EndsWith(std::string_view text, std::string_view tail) {
    return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// count characters at the end of text, none of them a dot, accepted by isPart.
template <typename Pred>
bool EndsWithRun(std::string_view text, std::size_t count, Pred isPart) {
    if (text.size() < count) return false;
    for (char c : text.substr(text.size() - count))
        if (c == '.' || !isPart(c)) return false;
    return true;
}

bool AnyChar(char) { return true; }
bool LowerHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }
bool Digit(char c) { return c >= '0' && c <= '9'; }

// name without ".vrtmp-" and its random part, or nothing.
std::optional<std::string_view> WithoutMarker(std::string_view name) {
    if (!EndsWithRun(name, kRandomChars, AnyChar)) return std::nullopt;
    name.remove_suffix(kRandomChars);
    if (!EndsWith(name, kMarker)) return std::nullopt;
    name.remove_suffix(kMarker.size());
    return name;
}

// ".vrx" digits "-" digits at the end, as extraction named its files; name without it.
std::optional<std::string_view> WithoutExtractSuffix(std::string_view name) {
    std::size_t end = name.size();
    const auto digitsBack = [&] {
        const std::size_t start = end;
        while (end > 0 && Digit(name[end - 1])) --end;
        return start - end;
    };
    if (digitsBack() == 0 || end == 0 || name[end - 1] != '-') return std::nullopt;
    --end;
    if (digitsBack() == 0 || !EndsWith(name.substr(0, end), ".vrx")) return std::nullopt;
    return name.substr(0, end - 4);
}

std::optional<std::string_view> WithoutSplitSuffix(std::string_view name) {
    constexpr std::string_view kSplitMarker = ".vendrask-";
    if (!EndsWithRun(name, 8, LowerHex)) return std::nullopt;
    name.remove_suffix(8);
    if (!EndsWith(name, kSplitMarker)) return std::nullopt;
    name.remove_suffix(kSplitMarker.size());
    return name;
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
    std::optional<std::string_view> final = WithoutMarker(name);
    if (!final && EndsWithRun(name, kRandomChars, AnyChar) && name.size() > kRandomChars &&
        name[name.size() - kRandomChars - 1] == '.')
        final = WithoutMarker(name.substr(0, name.size() - kRandomChars - 1));
    if (!final) final = WithoutSplitSuffix(name);
    if (!final) final = WithoutExtractSuffix(name);
    if (!final || final->empty()) return std::nullopt;
    return std::string(*final);
}

TSafeWrite::TSafeWrite(TUniqueFd dir, std::string dirName, std::string name, TDurability durability, mode_t mode)
    : FDir(std::move(dir)), FDirName(std::move(dirName)), FName(std::move(name)), FDurability(durability) {
    std::random_device random;
    std::uniform_int_distribution<std::size_t> pick(0, kAlphabet.size() - 1);
    const std::string prefix = SafeWriteTempPrefix(FName);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temp = prefix;
        for (std::size_t i = 0; i < kRandomChars; ++i) temp += kAlphabet[pick(random)];
        FFd.Reset(::openat(FDir.Get(), temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        if (FFd) {
            FTempName = std::move(temp);
            return;
        }
        if (errno != EEXIST) break;
    }
    throw EOlvex("Die Datei „" + FinalPath() + "“ kann nicht angelegt werden: " + SystemErrorText(errno) +
                     ". Bitte prüfen Sie den freien Speicherplatz und die Zugriffsrechte im Verzeichnis.",
                 KindOfWriteError(errno));
}

TSafeWrite::TSafeWrite(const std::string& path, TDurability durability, mode_t mode)
    : TSafeWrite(OpenDirectory(DirectoryNameOf(path)), DirectoryNameOf(path), FileNameOf(path), durability, mode) {}

TSafeWrite::~TSafeWrite() {
    if (FPlaced || FTempName.empty()) return;
    FFd.Reset();
    ::unlinkat(FDir.Get(), FTempName.c_str(), 0);
}

std::string TSafeWrite::TempPath() const { return Joined(FDirName, FTempName); }
std::string TSafeWrite::FinalPath() const { return Joined(FDirName, FName); }

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
        if (!FFd.Close()) Fail("kann nicht fertig geschrieben werden", errno);
        FClosed = true;
    }
    if (!Rename(placing)) return false;
    FPlaced = true;
    if (FDurability == TDurability::Flushed && ::fsync(FDir.Get()) != 0 && errno != EINVAL && errno != ENOTSUP &&
        errno != EOPNOTSUPP)
        Fail("wurde geschrieben, ihr Verzeichnis aber nicht gesichert", errno);
    return true;
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
