#pragma once
// Huffman codes as deflate's dynamic blocks carry them: a bit length per symbol, no longer than
// a limit, and the canonical codes those lengths stand for.
#include <cstdint>
#include <span>

namespace tavik {

// Sets lengths[i] to the code length of symbol i for a code fitted to counts (0 for symbols
// never used), none longer than limit, and returns the bits the counted symbols take with it.
// Fewer than two symbols used get the first unused ones beside them, as a code needs two.
// counts.size() is at least 2, at most 288, and limit large enough to give each a code.
std::uint32_t LimitedHuffmanLengths(std::span<const std::uint32_t> counts, std::uint32_t limit,
                                    std::span<std::uint8_t> lengths);

// The canonical code of each symbol (RFC 1951, 3.2.2), bit-reversed as deflate sends it.
void CanonicalCodes(std::span<const std::uint8_t> lengths, std::span<std::uint16_t> codes);

}  // namespace tavik
