#pragma once
// Deflate streams made of stored blocks alone, as compressors write content that does not
// compress: the content lies in the stream as it is, behind a 5-byte header every 64 KiB at
// most, and is read from there instead of being inflated into a buffer.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tavik::zip {

// The content of the deflate stream, block by block, when the stream consists of stored blocks
// alone, holds exactly size bytes and ends with its final block at its last byte. Nothing for
// any other stream (it is inflated as ever, and judged there).
std::optional<std::vector<std::span<const std::uint8_t>>> StoredBlocksOnly(const std::uint8_t* stream,
                                                                           std::size_t length, std::uint64_t size);

}  // namespace tavik::zip
