#pragma once
// Memory for large buffers that live through many uses (a whole entry inflated at once). From
// 2 MiB on it is taken from the kernel directly with all its pages at once (MAP_POPULATE):
// filling it the first time then costs no page fault for every 4 KiB, and in a virtual
// machine each of those is dear. It grows in place, keeping the pages it has. The bytes are
// not initialised.
#include <cstddef>
#include <cstdint>
#include <memory>

namespace tavik {

class TLargeBuffer {
public:
    TLargeBuffer() = default;
    TLargeBuffer(TLargeBuffer&& other) noexcept;
    TLargeBuffer& operator=(TLargeBuffer&& other) noexcept;
    TLargeBuffer(const TLargeBuffer&) = delete;
    TLargeBuffer& operator=(const TLargeBuffer&) = delete;
    ~TLargeBuffer();

    // Room for at least size bytes; what was in it before is gone when it has to grow. Throws
    // std::bad_alloc.
    std::uint8_t* Room(std::size_t size);
    std::uint8_t* Data() const { return FData; }
    std::size_t Capacity() const { return FCapacity; }

private:
    void Free();
    // A new mapping of size bytes at least, its pages taken, in place of what was held.
    std::uint8_t* Map(std::size_t size);

    std::unique_ptr<std::uint8_t[]> FHeap;  // the memory of a small buffer
    std::uint8_t* FData = nullptr;          // FHeap's, or mapped
    std::size_t FCapacity = 0;
};

}  // namespace tavik
