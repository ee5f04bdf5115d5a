#pragma once
// A regular file's bytes read whole into memory of the program's own, so that several readers
// take them without each reading into buffers of its own, and so that what they check is one
// and the same copy. Unlike a mapping of the file, the copy stays whole when the file is cut
// short or rewritten while it is read: the readers then find the copy's bytes, never a fault
// that would end the process.
#include <cstddef>
#include <cstdint>
#include <optional>

#include "host/services/large_buffer.h"

namespace tavik {

class TWholeFile {
public:
    // Files above this size are read piece by piece by their readers as before.
    static constexpr std::uint64_t kLimit = std::uint64_t{256} << 20;

    // The open regular file fd, measured size bytes long before. Nothing when it is larger than
    // kLimit, cannot be read, or is no longer exactly that long: the caller reads it as before.
    static std::optional<TWholeFile> Read(int fd, std::uint64_t size);

    const std::uint8_t* Data() const { return FBuffer.Data(); }
    std::uint64_t Size() const { return FSize; }

private:
    TLargeBuffer FBuffer;
    std::uint64_t FSize = 0;
};

}  // namespace tavik
