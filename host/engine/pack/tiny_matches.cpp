#include "host/engine/pack/tiny_matches.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "host/engine/pack/deflate_symbols.h"

namespace tavik {

namespace {

using deflatesymbols::kMaxMatch;
using deflatesymbols::kMinMatch;

// How many bytes from a and b on are equal, at most limit; eight bytes at a time.
std::uint32_t MatchLength(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t limit) {
    std::uint32_t length = 0;
    for (; length + 8 <= limit; length += 8) {
        std::uint64_t left = 0, right = 0;
        std::memcpy(&left, a + length, sizeof left);
        std::memcpy(&right, b + length, sizeof right);
        const std::uint64_t differ = left ^ right;
        if (differ == 0) continue;
        if constexpr (std::endian::native == std::endian::little) return length + std::countr_zero(differ) / 8;
        else return length + std::countl_zero(differ) / 8;
    }
    while (length < limit && a[length] == b[length]) ++length;
    return length;
}

struct TMatch {
    std::uint32_t Length = 0;
    std::uint32_t Distance = 0;
};

// Chains of earlier positions with the same hash of their first three bytes. The heads are few
// enough to be cleared for every piece; a chain link is written before it is read, so the links
// need no clearing.
class TMatchFinder {
public:
    explicit TMatchFinder(std::span<const std::uint8_t> piece)
        : FData(piece.data()),
          FSize(static_cast<std::uint32_t>(piece.size())),
          FHashable(FSize >= kMinMatch ? FSize - kMinMatch + 1 : 0),
          FHashShift(32 - std::clamp<std::uint32_t>(std::bit_width(FSize), kFewestHashBits, kMostHashBits)) {
        // Heads for about twice as many positions as the piece has; only those are cleared.
        std::fill_n(FHeads.begin(), std::size_t{1} << (32 - FHashShift), std::uint16_t{0});
    }

    // The longest earlier match at position at; then enters at into the chains. Positions come
    // in order, each once, through this or InsertUpTo.
    TMatch FindAndInsert(std::uint32_t at) {
        TMatch best;
        if (at >= FHashable) return best;
        const std::uint32_t hash = Hash(at);
        const std::uint32_t limit = std::min(kMaxMatch, FSize - at);
        const std::uint8_t* here = FData + at;
        std::uint32_t candidate = FHeads[hash];
        for (std::uint32_t tries = kChainTries; candidate != 0 && tries != 0; --tries) {
            const std::uint8_t* there = FData + candidate - 1;
            // The byte that would make this match beat the best is the likeliest to differ.
            if (there[best.Length] == here[best.Length]) {
                const std::uint32_t length = MatchLength(there, here, limit);
                if (length > best.Length) {
                    best = {length, static_cast<std::uint32_t>(here - there)};
                    if (length >= std::min(limit, kNiceLength)) break;
                }
            }
            candidate = FLinks[candidate - 1];
        }
        Insert(at, hash);
        FNext = at + 1;
        return best.Length >= kMinMatch ? best : TMatch{};
    }

    // Enters the positions before end not yet in the chains.
    void InsertUpTo(std::uint32_t end) {
        for (end = std::min(end, FHashable); FNext < end; ++FNext) Insert(FNext, Hash(FNext));
    }

private:
    static constexpr std::uint32_t kFewestHashBits = 6;
    static constexpr std::uint32_t kMostHashBits = 11;
    static constexpr std::uint32_t kChainTries = 8;
    // A match this long ends the search along the chain (as in zlib's level 6).
    static constexpr std::uint32_t kNiceLength = 128;

    std::uint32_t Hash(std::uint32_t at) const {
        const std::uint32_t prefix = FData[at] | FData[at + 1] << 8 | FData[at + 2] << 16;
        return (prefix * 0x9E3779B1u) >> FHashShift;
    }

    void Insert(std::uint32_t at, std::uint32_t hash) {
        FLinks[at] = FHeads[hash];
        FHeads[hash] = static_cast<std::uint16_t>(at + 1);
    }

    const std::uint8_t* FData;
    std::uint32_t FSize;
    std::uint32_t FHashable;  // positions with three bytes from them on
    std::uint32_t FHashShift;
    std::uint32_t FNext = 0;
    // Position + 1 of the latest entry per hash and before each entry; 0: none.
    std::array<std::uint16_t, std::size_t{1} << kMostHashBits> FHeads;
    std::array<std::uint16_t, kTinyMatchesLargest> FLinks;
};

// A match this long is taken without looking whether the next position has a longer one.
constexpr std::uint32_t kGoodEnough = 32;

}  // namespace

std::size_t FindTinyMatches(std::span<const std::uint8_t> piece, std::span<TLzToken> tokens) {
    TMatchFinder finder(piece);
    const auto size = static_cast<std::uint32_t>(piece.size());
    std::size_t count = 0;
    const auto literal = [&](std::uint32_t at) { tokens[count++] = {0, piece[at]}; };
    std::uint32_t at = 0;
    while (at < size) {
        TMatch match = finder.FindAndInsert(at);
        // A longer match from the next byte on is worth a literal.
        while (match.Length != 0 && match.Length < kGoodEnough) {
            const TMatch next = finder.FindAndInsert(at + 1);
            if (next.Length <= match.Length) break;
            literal(at++);
            match = next;
        }
        if (match.Length == 0) {
            literal(at++);
            continue;
        }
        tokens[count++] = {static_cast<std::uint16_t>(match.Length), static_cast<std::uint16_t>(match.Distance)};
        at += match.Length;
        finder.InsertUpTo(at);
    }
    return count;
}

}  // namespace tavik
