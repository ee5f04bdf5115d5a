#include "host/engine/zip/zip_huffman_table.h"

#include <algorithm>
#include <array>
#include <stdexcept>

namespace tavik {

namespace {

// Deflate sends a code's bits most significant first into a stream read least significant first.
unsigned Reversed(unsigned code, unsigned length) {
    unsigned result = 0;
    for (unsigned i = 0; i < length; ++i, code >>= 1) result = (result << 1) | (code & 1);
    return result;
}

}  // namespace

THuffmanTable::THuffmanTable(unsigned rootBits, std::size_t capacity)
    : FRootBits(rootBits), FRootMask((std::uint64_t{1} << rootBits) - 1), FEntries(capacity) {
    // A link keeps where its sub-table starts in 16 bits.
    if (rootBits == 0 || rootBits > kMaxRootBits || capacity < (std::size_t{1} << rootBits) || capacity > 65536)
        throw std::invalid_argument("THuffmanTable: root bits and capacity do not fit");
}

bool THuffmanTable::Build(std::span<const std::uint8_t> lengths) {
    std::array<unsigned, kMaxCodeLength + 1> count{};
    for (const std::uint8_t length : lengths) {
        if (length > kMaxCodeLength) return false;
        ++count[length];
    }
    count[0] = 0;
    // Codes left unused at each length: below zero the set is over-subscribed.
    int left = 1;
    for (unsigned length = 1; length <= kMaxCodeLength; ++length) {
        left = 2 * left - static_cast<int>(count[length]);
        if (left < 0) return false;
    }
    unsigned codes = 0;
    for (const unsigned n : count) codes += n;
    if (left > 0 && !(codes == 0 || (codes == 1 && count[1] == 1))) return false;

    std::array<unsigned, kMaxCodeLength + 1> firstCode{};
    for (unsigned length = 1, code = 0; length <= kMaxCodeLength; ++length) {
        code = (code + count[length - 1]) << 1;
        firstCode[length] = code;
    }

    const std::size_t rootSize = std::size_t{1} << FRootBits;
    // Bits left for no code: one is enough to tell, as only the two sets above leave any.
    const THuffmanEntry noCode{0, 1, THuffmanEntry::NoCode};
    std::fill_n(FEntries.begin(), rootSize, noCode);

    // Codes longer than the root share a sub-table per root index, as wide as their longest.
    std::array<std::uint8_t, std::size_t{1} << kMaxRootBits> longest{};
    std::array<unsigned, kMaxCodeLength + 1> next = firstCode;
    for (const std::uint8_t length : lengths) {
        if (length <= FRootBits) continue;
        const unsigned index = Reversed(next[length]++, length) & static_cast<unsigned>(FRootMask);
        longest[index] = std::max<std::uint8_t>(longest[index], length);
    }
    std::size_t used = rootSize;
    for (std::size_t index = 0; index < rootSize; ++index) {
        if (longest[index] == 0) continue;
        const unsigned bits = longest[index] - FRootBits;
        if (used + (std::size_t{1} << bits) > FEntries.size()) return false;
        FEntries[index] = {static_cast<std::uint16_t>(used), static_cast<std::uint8_t>(bits), THuffmanEntry::Link};
        std::fill_n(FEntries.begin() + static_cast<std::ptrdiff_t>(used), std::size_t{1} << bits, noCode);
        used += std::size_t{1} << bits;
    }

    next = firstCode;
    for (std::size_t symbol = 0; symbol < lengths.size(); ++symbol) {
        const unsigned length = lengths[symbol];
        if (length == 0) continue;
        const unsigned code = Reversed(next[length]++, length);
        const THuffmanEntry entry{static_cast<std::uint16_t>(symbol), static_cast<std::uint8_t>(length),
                                  THuffmanEntry::Symbol};
        if (length <= FRootBits) {
            for (std::size_t at = code; at < rootSize; at += std::size_t{1} << length) FEntries[at] = entry;
            continue;
        }
        const THuffmanEntry& link = FEntries[code & FRootMask];
        const std::size_t subSize = std::size_t{1} << link.length;
        for (std::size_t at = code >> FRootBits; at < subSize; at += std::size_t{1} << (length - FRootBits))
            FEntries[link.value + at] = entry;
    }
    return true;
}

}  // namespace tavik
