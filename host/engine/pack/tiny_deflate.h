#pragma once
// Deflates a small piece as one block: with the fixed Huffman codes, with codes fitted to the
// piece, or stored, whichever is smallest. Written by hand for files of a few hundred bytes:
// zlib spends 4–5 µs on each (resetting its stream, building three Huffman trees over all
// symbols) and libdeflate 7–9 µs (clearing some 200 KB of hash tables), while the work such a
// piece needs is a fraction of a microsecond.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tavik {

// The largest piece DeflateTiny takes.
constexpr std::size_t kTinyDeflateLargest = 1024;

// Appends the piece to out. The block is final when last; otherwise the stream ends on a byte
// boundary (after an empty stored block, unless the piece itself is stored) and goes on with
// whatever is appended next. Throws std::length_error when size exceeds kTinyDeflateLargest.
void DeflateTiny(const std::uint8_t* data, std::size_t size, bool last, std::vector<std::uint8_t>& out);

}  // namespace tavik
