#include "host/services/large_buffer.h"

#include <sys/mman.h>

#include <algorithm>
#include <new>
#include <utility>

namespace tavik {

namespace {

constexpr std::size_t kMapped = std::size_t{2} << 20;  // from here on taken with mmap
constexpr std::size_t kPage = 4096;

}  // namespace

TLargeBuffer::TLargeBuffer(TLargeBuffer&& other) noexcept
    : FHeap(std::move(other.FHeap)),
      FData(std::exchange(other.FData, nullptr)),
      FCapacity(std::exchange(other.FCapacity, 0)) {}

TLargeBuffer& TLargeBuffer::operator=(TLargeBuffer&& other) noexcept {
    if (this != &other) {
        Free();
        FHeap = std::move(other.FHeap);
        FData = std::exchange(other.FData, nullptr);
        FCapacity = std::exchange(other.FCapacity, 0);
    }
    return *this;
}

TLargeBuffer::~TLargeBuffer() { Free(); }

void TLargeBuffer::Free() {
    if (FData != nullptr && !FHeap) ::munmap(FData, FCapacity);
    FHeap.reset();
    FData = nullptr;
    FCapacity = 0;
}

std::uint8_t* TLargeBuffer::Map(std::size_t size) {
    Free();
    const std::size_t capacity = (size + kPage - 1) / kPage * kPage;
    void* memory = ::mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (memory == MAP_FAILED) throw std::bad_alloc();
    FData = static_cast<std::uint8_t*>(memory);
    FCapacity = capacity;
    return FData;
}

std::uint8_t* TLargeBuffer::Room(std::size_t size) {
    if (FData != nullptr && size <= FCapacity) return FData;
    if (size < kMapped) {
        Free();
        FCapacity = std::max<std::size_t>(size, 1);
        FHeap = std::make_unique_for_overwrite<std::uint8_t[]>(FCapacity);
        FData = FHeap.get();
        return FData;
    }
    const std::size_t capacity = (size + kPage - 1) / kPage * kPage;
    if (FData != nullptr && !FHeap) {
        // A mapping that grows keeps the pages it has (they are moved, not copied or cleared
        // again); only the new ones are taken.
        void* memory = ::mremap(FData, FCapacity, capacity, MREMAP_MAYMOVE);
        if (memory != MAP_FAILED) {
            FData = static_cast<std::uint8_t*>(memory);
            // Without MADV_POPULATE_WRITE (before Linux 5.14) the pages come with their first use.
            ::madvise(FData + FCapacity, capacity - FCapacity, MADV_POPULATE_WRITE);
            FCapacity = capacity;
            return FData;
        }
    }
    return Map(size);
}

}  // namespace tavik
