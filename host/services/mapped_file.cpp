#include "host/services/mapped_file.h"

#include <sys/mman.h>
#include <sys/stat.h>

#include <limits>
#include <utility>

namespace tavik {

std::optional<TMappedFile> TMappedFile::Map(int fd, std::uint64_t size) {
    if (fd < 0 || size == 0 || size > std::numeric_limits<std::size_t>::max()) return std::nullopt;
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || static_cast<std::uint64_t>(status.st_size) != size)
        return std::nullopt;
    void* data = ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_SHARED, fd, 0);
    if (data == MAP_FAILED) return std::nullopt;
    TMappedFile mapped(static_cast<const std::uint8_t*>(data), size);
    // Changed in length between the look and the mapping: a shorter file's end would not be there.
    if (::fstat(fd, &status) != 0 || static_cast<std::uint64_t>(status.st_size) != size) return std::nullopt;
    // It is read whole: a file not in the page cache is read ahead over all of it, not in the
    // small windows the kernel reads around single page faults.
    ::madvise(const_cast<std::uint8_t*>(mapped.Data()), static_cast<std::size_t>(size), MADV_WILLNEED);
    return mapped;
}

TMappedFile::TMappedFile(TMappedFile&& other) noexcept
    : FData(std::exchange(other.FData, nullptr)), FSize(std::exchange(other.FSize, 0)) {}

TMappedFile& TMappedFile::operator=(TMappedFile&& other) noexcept {
    if (this != &other) {
        Unmap();
        FData = std::exchange(other.FData, nullptr);
        FSize = std::exchange(other.FSize, 0);
    }
    return *this;
}

TMappedFile::~TMappedFile() { Unmap(); }

void TMappedFile::Unmap() {
    if (FData != nullptr) ::munmap(const_cast<std::uint8_t*>(FData), static_cast<std::size_t>(FSize));
    FData = nullptr;
    FSize = 0;
}

}  // namespace tavik
