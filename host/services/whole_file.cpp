#include "host/services/whole_file.h"

#include <sys/stat.h>

#include "host/services/whole_io.h"

namespace tavik {

std::optional<TWholeFile> TWholeFile::Read(int fd, std::uint64_t size) {
    if (fd < 0 || size == 0 || size > kLimit) return std::nullopt;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || static_cast<std::uint64_t>(status.st_size) != size)
        return std::nullopt;
    TWholeFile file;
    const auto length = static_cast<std::size_t>(size);
    // One byte more than measured: a file that grew meanwhile is not taken for the one measured.
    std::uint8_t* data = file.FBuffer.Room(length + 1);
    const TIoResult read = ReadWholeAt(fd, data, length + 1, 0);
    if (read.error != 0 || read.done != length) return std::nullopt;
    file.FSize = size;
    return file;
}

}  // namespace tavik
