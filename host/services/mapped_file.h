#pragma once
// A regular file's bytes mapped read-only into memory, so that readers take them without a
// copy into buffers of their own. Only for files that nothing shortens while they are read
// (a finished archive in ARCHIV, one just written): a page beyond a new end could not be read
// any more, and the process would end with SIGBUS.
#include <cstddef>
#include <cstdint>
#include <optional>

namespace tavik {

class TMappedFile {
public:
    // The open regular file fd, measured size bytes long before. Nothing when it cannot be mapped
    // or is no longer that long: the caller reads it as before.
    static std::optional<TMappedFile> Map(int fd, std::uint64_t size);

    TMappedFile(TMappedFile&& other) noexcept;
    TMappedFile& operator=(TMappedFile&& other) noexcept;
    TMappedFile(const TMappedFile&) = delete;
    TMappedFile& operator=(const TMappedFile&) = delete;
    ~TMappedFile();

    const std::uint8_t* Data() const { return FData; }
    std::uint64_t Size() const { return FSize; }

private:
    TMappedFile(const std::uint8_t* data, std::uint64_t size) : FData(data), FSize(size) {}
    void Unmap();

    const std::uint8_t* FData = nullptr;
    std::uint64_t FSize = 0;
};

}  // namespace tavik
