#pragma once
// Decoding table of a canonical Huffman code as deflate defines it (RFC 1951, 3.2.2), for bits
// read least significant first: a root table indexed by the next rootBits bits, and for longer
// codes sub-tables indexed by the bits after those.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tavik {

struct THuffmanEntry {
    enum TKind : std::uint8_t { Symbol, Link, NoCode };
    std::uint16_t value = 0;  // the symbol; for a link, where its sub-table starts
    std::uint8_t length = 0;  // bits the code takes; for a link, the bits that index the sub-table
    TKind kind = NoCode;
};

class THuffmanTable {
public:
    static constexpr unsigned kMaxCodeLength = 15;
    static constexpr unsigned kMaxRootBits = 10;

    // capacity: the entries of the root table and of the sub-tables any accepted code needs.
    THuffmanTable(unsigned rootBits, std::size_t capacity);

    // Builds the table from each symbol's code length (0: the symbol has no code). False where
    // the lengths are not a complete prefix code, save the two sets deflate allows: no code at
    // all, and a single code of one bit.
    bool Build(std::span<const std::uint8_t> lengths);

    // The entry for the next bits; its length tells how many of them the code takes. Bits not
    // yet read must be zero: an entry longer than the bits at hand needs more of them.
    const THuffmanEntry& Lookup(std::uint64_t bits) const {
        const THuffmanEntry& root = FEntries[bits & FRootMask];
        if (root.kind != THuffmanEntry::Link) return root;
        return FEntries[root.value + ((bits >> FRootBits) & ((1u << root.length) - 1))];
    }

private:
    unsigned FRootBits;
    std::uint64_t FRootMask;
    std::vector<THuffmanEntry> FEntries;
};

}  // namespace tavik
