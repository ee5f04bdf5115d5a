#include "host/engine/split/split_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "host/services/exceptions.h"
#include "host/services/system_error.h"
#include "host/services/whole_io.h"

namespace tavik::splitio {

namespace {

// A full disk is told by the error itself; other kinds the caller names.
[[noreturn]] void Fail(const std::string& what, const std::string& path, int error,
                       TErrorKind kind = TErrorKind::Other) {
    if (kind == TErrorKind::Other) kind = KindOfWriteError(error);
    throw EOlvex(what + " „" + path + "“ ist fehlgeschlagen: " + SystemErrorText(error) + ".", kind);
}

}  // namespace

TUniqueFd OpenForReading(const std::string& path) {
    TUniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file) Fail("Das Öffnen von", path, errno, KindOfInputError(errno));
    struct stat st {};
    if (::fstat(file.Get(), &st) != 0) Fail("Das Lesen von", path, errno);
    if (!S_ISREG(st.st_mode)) throw EOlvex("„" + path + "“ ist keine Datei.");
    return file;
}

std::uint64_t FileSize(const TUniqueFd& file, const std::string& path) {
    struct stat st {};
    if (::fstat(file.Get(), &st) != 0) Fail("Das Lesen von", path, errno);
    return static_cast<std::uint64_t>(st.st_size);
}

TFileIdentity Identity(const TUniqueFd& file, const std::string& path) {
    struct stat st {};
    if (::fstat(file.Get(), &st) != 0) Fail("Das Lesen von", path, errno);
    return {st.st_dev, st.st_ino};
}

void ReadAt(const TUniqueFd& file, const std::string& path, std::uint64_t offset, void* buffer, std::size_t size) {
    const TIoResult result = ReadWholeAt(file.Get(), buffer, size, offset);
    if (result.error != 0) Fail("Das Lesen von", path, result.error);
    if (result.done < size)
        throw EOlvex("Die Datei „" + path + "“ ist kürzer als erwartet; sie wurde während des Lesens verändert.");
}

bool IsFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace tavik::splitio
