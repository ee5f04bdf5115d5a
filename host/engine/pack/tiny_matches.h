#pragma once
// LZ77 over a small piece: literals and back references within the piece, found by hash chains
// of three-byte prefixes, greedily with one step of look ahead (as zlib's levels 4 to 9 do).
#include <cstddef>
#include <cstdint>
#include <span>

namespace tavik {

// The largest piece FindTinyMatches takes.
constexpr std::size_t kTinyMatchesLargest = 1024;

struct TLzToken {
    std::uint16_t Length;  // 0: a literal
    std::uint16_t Value;   // the literal byte, or the distance back of a match
};

// Fills tokens (room for one per byte) with the piece as literals and matches of 3 to 258 bytes;
// returns how many there are.
std::size_t FindTinyMatches(std::span<const std::uint8_t> piece, std::span<TLzToken> tokens);

}  // namespace tavik
