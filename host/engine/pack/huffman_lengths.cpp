#include "host/engine/pack/huffman_lengths.h"

#include <algorithm>
#include <array>

#include "host/engine/pack/deflate_symbols.h"

namespace tavik {

namespace {

constexpr std::size_t kMostSymbols = 288;

constexpr std::array<std::uint8_t, 256> MakeReversedBytes() {
    std::array<std::uint8_t, 256> reversed{};
    for (std::uint32_t byte = 0; byte < 256; ++byte)
        reversed[byte] = static_cast<std::uint8_t>(deflatesymbols::Reversed(byte, 8));
    return reversed;
}

constexpr std::array<std::uint8_t, 256> kReversedBytes = MakeReversedBytes();

std::uint32_t ReversedCode(std::uint32_t code, std::uint32_t length) {
    const std::uint32_t low = kReversedBytes[code & 0xFF], high = kReversedBytes[code >> 8];
    return (low << 8 | high) >> (16 - length);
}

constexpr std::uint32_t kLongestCode = 15;

struct TLeaf {
    std::uint32_t Count;
    std::uint16_t Symbol;
};

// Lengths of a plain Huffman code over leaves sorted by count; returns the longest. The nodes
// made by joining two come in order of weight, so two queues (leaves, joined nodes) replace a
// heap.
std::uint32_t TreeDepths(std::span<const TLeaf> leaves, std::span<std::uint8_t> lengths) {
    const std::size_t n = leaves.size();
    std::array<std::uint32_t, 2 * kMostSymbols> weight;
    std::array<std::uint16_t, 2 * kMostSymbols> parent;
    for (std::size_t i = 0; i < n; ++i) weight[i] = leaves[i].Count;
    std::size_t nextLeaf = 0, nextJoined = n;
    const auto takeLightest = [&](std::size_t joinedEnd) {
        if (nextLeaf < n && (nextJoined >= joinedEnd || weight[nextLeaf] <= weight[nextJoined])) return nextLeaf++;
        return nextJoined++;
    };
    for (std::size_t joined = n; joined < 2 * n - 1; ++joined) {
        const std::size_t a = takeLightest(joined);
        const std::size_t b = takeLightest(joined);
        weight[joined] = weight[a] + weight[b];
        parent[a] = parent[b] = static_cast<std::uint16_t>(joined);
    }
    // Depths from the root down, kept in weight[] which is no longer needed.
    weight[2 * n - 2] = 0;
    std::uint32_t longest = 0;
    for (std::size_t node = 2 * n - 2; node-- > 0;) {
        weight[node] = weight[parent[node]] + 1;
        if (node < n) {
            lengths[leaves[node].Symbol] = static_cast<std::uint8_t>(weight[node]);
            longest = std::max(longest, weight[node]);
        }
    }
    return longest;
}

}  // namespace

std::uint32_t LimitedHuffmanLengths(std::span<const std::uint32_t> counts, std::uint32_t limit,
                                    std::span<std::uint8_t> lengths) {
    std::array<TLeaf, kMostSymbols + 1> leaves;
    std::size_t used = 0;
    // Without a branch: which symbols are used follows no pattern a branch could predict.
    for (std::size_t symbol = 0; symbol < counts.size(); ++symbol) {
        leaves[used] = {counts[symbol], static_cast<std::uint16_t>(symbol)};
        used += counts[symbol] != 0 ? 1 : 0;
    }
    std::fill(lengths.begin(), lengths.end(), std::uint8_t{0});
    if (used < 2) {
        // One bit each for the used symbol, if any, and the first unused ones up to two.
        std::uint32_t bits = 0;
        for (std::size_t symbol = 0; symbol < counts.size(); ++symbol) {
            if (counts[symbol] != 0) {
                lengths[symbol] = 1;
                bits = counts[symbol];
            } else if (used < 2) {
                lengths[symbol] = 1;
                ++used;
            }
        }
        return bits;
    }
    const std::span<TLeaf> sorted(leaves.data(), used);
    std::sort(sorted.begin(), sorted.end(), [](const TLeaf& a, const TLeaf& b) {
        return a.Count != b.Count ? a.Count < b.Count : a.Symbol < b.Symbol;
    });
    // Too long: flatten the counts and build again. Halving keeps the order, and once all
    // counts are 1 the tree is balanced, so this ends.
    while (TreeDepths(sorted, lengths) > limit) {
        for (TLeaf& leaf : sorted) leaf.Count = (leaf.Count + 1) / 2;
    }
    std::uint32_t bits = 0;
    for (const TLeaf& leaf : sorted) bits += counts[leaf.Symbol] * lengths[leaf.Symbol];
    return bits;
}

void CanonicalCodes(std::span<const std::uint8_t> lengths, std::span<std::uint16_t> codes) {
    // The used symbols first, in order and without a branch (see LimitedHuffmanLengths).
    std::array<std::uint16_t, kMostSymbols + 1> used;
    std::size_t usedCount = 0;
    for (std::size_t symbol = 0; symbol < lengths.size(); ++symbol) {
        used[usedCount] = static_cast<std::uint16_t>(symbol);
        usedCount += lengths[symbol] != 0 ? 1 : 0;
    }
    std::array<std::uint32_t, kLongestCode + 1> perLength{};
    for (std::size_t i = 0; i < usedCount; ++i) ++perLength[lengths[used[i]]];
    std::array<std::uint32_t, kLongestCode + 1> next{};
    for (std::uint32_t length = 2, code = 0; length <= kLongestCode; ++length) {
        code = (code + perLength[length - 1]) << 1;
        next[length] = code;
    }
    for (std::size_t i = 0; i < usedCount; ++i) {
        const std::uint32_t length = lengths[used[i]];
        codes[used[i]] = static_cast<std::uint16_t>(ReversedCode(next[length]++, length));
    }
}

}  // namespace tavik
