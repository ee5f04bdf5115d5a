#pragma once
// The symbols of deflate (RFC 1951): match lengths and distances as code plus extra bits, and
// the fixed literal/length code, as tables made at compile time.
#include <array>
#include <cstdint>

namespace tavik::deflatesymbols {

constexpr std::uint32_t kMinMatch = 3;
constexpr std::uint32_t kMaxMatch = 258;
constexpr std::uint32_t kEndOfBlock = 256;
constexpr std::uint32_t kFirstLengthSymbol = 257;
constexpr std::uint32_t kLiteralLengthSymbols = 286;
constexpr std::uint32_t kDistanceSymbols = 30;

constexpr std::array<std::uint16_t, 29> kLengthBase = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                                       31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::array<std::uint8_t, 29> kLengthExtra = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                       2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::array<std::uint16_t, 30> kDistanceBase = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::array<std::uint8_t, 30> kDistanceExtra = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                                         6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

constexpr std::uint32_t Reversed(std::uint32_t code, std::uint32_t count) {
    std::uint32_t reversed = 0;
    for (std::uint32_t i = 0; i < count; ++i) reversed |= ((code >> i) & 1u) << (count - 1 - i);
    return reversed;
}

// Bit length of a literal/length symbol (0..287) in the fixed code.
constexpr std::uint32_t FixedLength(std::uint32_t symbol) {
    return symbol < 144 ? 8 : symbol < 256 ? 9 : symbol < 280 ? 7 : 8;
}

// The fixed code of a literal/length symbol, bit-reversed as deflate sends Huffman codes.
constexpr std::uint32_t FixedCode(std::uint32_t symbol) {
    if (symbol < 144) return Reversed(0x30 + symbol, 8);
    if (symbol < 256) return Reversed(0x190 + symbol - 144, 9);
    if (symbol < 280) return Reversed(symbol - 256, 7);
    return Reversed(0xC0 + symbol - 280, 8);
}

namespace detail {

constexpr std::array<std::uint8_t, kMaxMatch + 1> MakeLengthSymbols() {
    std::array<std::uint8_t, kMaxMatch + 1> symbols{};
    std::uint32_t code = 0;
    for (std::uint32_t length = kMinMatch; length <= kMaxMatch; ++length) {
        while (code + 1 < kLengthBase.size() && kLengthBase[code + 1] <= length) ++code;
        symbols[length] = static_cast<std::uint8_t>(code);
    }
    return symbols;
}

// Indexed by distance - 1 below 256, else by 256 + (distance - 1) / 128: the codes from 16 on
// cover whole multiples of 128 (zlib's table has the same shape).
constexpr std::array<std::uint8_t, 512> MakeDistanceCodes() {
    std::array<std::uint8_t, 512> codes{};
    const auto codeOf = [](std::uint32_t distance) {
        std::uint32_t code = 0;
        while (code + 1 < kDistanceBase.size() && kDistanceBase[code + 1] <= distance) ++code;
        return static_cast<std::uint8_t>(code);
    };
    for (std::uint32_t i = 0; i < 256; ++i) codes[i] = codeOf(i + 1);
    for (std::uint32_t i = 2; i < 256; ++i) codes[256 + i] = codeOf((i << 7) + 1);
    return codes;
}

constexpr std::array<std::uint8_t, kMaxMatch + 1> kLengthSymbols = MakeLengthSymbols();
constexpr std::array<std::uint8_t, 512> kDistanceCodes = MakeDistanceCodes();

}  // namespace detail

// Index into kLengthBase/kLengthExtra of a match length (3..258); its symbol is 257 more.
constexpr std::uint32_t LengthCode(std::uint32_t length) { return detail::kLengthSymbols[length]; }

// Distance code (0..29) of a distance (1..32768).
constexpr std::uint32_t DistanceCode(std::uint32_t distance) {
    const std::uint32_t less = distance - 1;
    return less < 256 ? detail::kDistanceCodes[less] : detail::kDistanceCodes[256 + (less >> 7)];
}

}  // namespace tavik::deflatesymbols
