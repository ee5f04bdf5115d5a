#include "host/services/whole_file.h"

#include <sys/mman.h>
#include <sys/stat.h>

#include <system_error>
#include <thread>

#include "host/services/whole_io.h"

namespace tavik {

namespace {

constexpr std::size_t kSplitFrom = std::size_t{16} << 20;
constexpr std::size_t kPage = 4096;

}  // namespace

std::optional<TWholeFile> TWholeFile::Read(int fd, std::uint64_t size) {
    if (fd < 0 || size == 0 || size > kLimit) return std::nullopt;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || static_cast<std::uint64_t>(status.st_size) != size)
        return std::nullopt;
    TWholeFile file;
    const auto length = static_cast<std::size_t>(size);
    // One byte more than measured: a file that grew meanwhile is not taken for the one measured.
    std::uint8_t* data = file.FBuffer.RoomUntouched(length + 1);
    // A large file is read in two halves at once: taking the pages and copying into them is
    // most of the time, and it is shared.
    std::size_t half = length >= kSplitFrom ? length / 2 / kPage * kPage : 0;
    const auto readPart = [fd, data](std::size_t from, std::size_t count) {
        ::madvise(data + from, count, MADV_POPULATE_WRITE);
        return ReadWholeAt(fd, data + from, count, from);
    };
    TIoResult first{};
    std::thread other;
    if (half > 0) {
        try {
            other = std::thread([&] { first = readPart(0, half); });
        } catch (const std::system_error&) {
            half = 0;  // no thread to be had: all of it here
        }
    }
    const TIoResult rest = readPart(half, length + 1 - half);
    if (other.joinable()) other.join();
    if (first.error != 0 || first.done != half || rest.error != 0 || rest.done != length - half) return std::nullopt;
    file.FSize = size;
    return file;
}

}  // namespace tavik
