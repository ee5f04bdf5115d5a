#pragma once
// Writes Deflate64 streams symbol by symbol, for tests that need what no compressor at hand
// writes: lengths beyond 258, matches across the whole 64 KiB window, codes of 15 bits, and
// damage at a chosen place. Keeps the output the stream stands for.
#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace archivtest {

class TDeflate64Writer {
public:
    std::string stream;    // the bytes written so far, the last one filled up with zero bits
    std::string expected;  // what decoding them gives

    void Bits(std::uint32_t value, unsigned count) {
        for (unsigned i = 0; i < count; ++i, ++FBit) {
            if (FBit % 8 == 0) stream.push_back('\0');
            if ((value >> i) & 1) stream.back() = static_cast<char>(stream.back() | (1 << (FBit % 8)));
        }
    }

    void Stored(bool final, const std::string& data) {
        Bits(final, 1);
        Bits(0, 2);
        FBit = (FBit + 7) / 8 * 8;
        Bits(static_cast<std::uint32_t>(data.size()), 16);
        Bits(static_cast<std::uint32_t>(~data.size() & 0xFFFF), 16);
        stream += data;
        FBit += 8 * static_cast<unsigned>(data.size());
        expected += data;
    }
    void Fixed(bool final) {
        Bits(final, 1);
        Bits(1, 2);
        std::vector<std::uint8_t> literals(288, 8);
        std::fill(literals.begin() + 144, literals.begin() + 256, 9);
        std::fill(literals.begin() + 256, literals.begin() + 280, 7);
        FLiterals = Canonical(literals);
        FDistances = Canonical(std::vector<std::uint8_t>(32, 5));
    }
    // A block with its own codes; every length goes as a code length symbol of its own.
    void Dynamic(bool final, const std::vector<std::uint8_t>& literals, const std::vector<std::uint8_t>& distances) {
        DynamicHeader(final, literals.size(), distances.size());
        for (const auto* lengths : {&literals, &distances})
            for (const std::uint8_t length : *lengths) LengthSymbol(length);
        FLiterals = Canonical(literals);
        FDistances = Canonical(distances);
    }
    // The sizes and the code of the code lengths: symbols 0 to 12 of 4 bits, 13 to 18 of 5.
    void DynamicHeader(bool final, std::size_t literals, std::size_t distances) {
        Bits(final, 1);
        Bits(2, 2);
        Bits(static_cast<std::uint32_t>(literals - 257), 5);
        Bits(static_cast<std::uint32_t>(distances - 1), 5);
        Bits(19 - 4, 4);
        std::vector<std::uint8_t> lengthLengths(19, 4);
        std::fill(lengthLengths.begin() + 13, lengthLengths.end(), 5);
        for (const int symbol : {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15})
            Bits(lengthLengths[static_cast<std::size_t>(symbol)], 3);
        FLengthCodes = Canonical(lengthLengths);
    }
    void LengthSymbol(unsigned symbol, std::uint32_t extra = 0, unsigned extraBits = 0) {
        Code(FLengthCodes[symbol]);
        Bits(extra, extraBits);
    }

    // Any symbol of the current block's literal and length code, with nothing after it.
    void Symbol(unsigned symbol) { Code(FLiterals[symbol]); }
    void Literal(std::uint8_t byte) {
        Symbol(byte);
        expected.push_back(static_cast<char>(byte));
    }
    void End() { Code(FLiterals[256]); }
    // A match with the length code deflate would take (3 to 258), or else with 285's 16 bits.
    void Match(std::uint32_t length, std::uint32_t distance) {
        static constexpr std::uint16_t kLengthBase[] = {3,  4,  5,  6,  7,  8,  9,  10,  11,  13,  15,  17,  19, 23,
                                                        27, 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227};
        static constexpr std::uint32_t kDistanceBase[] = {
            1,   2,   3,   4,   5,    7,    9,    13,   17,   25,   33,    49,    65,    97,    129,   193,
            257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
        if (length > 258) {
            Code(FLiterals[285]);
            Bits(length - 3, 16);
        } else {
            std::size_t index = 27;
            while (kLengthBase[index] > length) --index;
            Code(FLiterals[257 + index]);
            Bits(length - kLengthBase[index], index < 8 ? 0 : static_cast<unsigned>(index - 4) / 4);
        }
        std::size_t symbol = 31;
        while (kDistanceBase[symbol] > distance) --symbol;
        Code(FDistances[symbol]);
        Bits(distance - kDistanceBase[symbol], symbol < 4 ? 0 : static_cast<unsigned>(symbol) / 2 - 1);
        if (distance > expected.size()) return;  // damage on purpose
        for (std::uint32_t i = 0; i < length; ++i) expected.push_back(expected[expected.size() - distance]);
    }

private:
    struct TCode {
        std::uint32_t bits = 0;
        unsigned length = 0;
    };
    // RFC 1951, 3.2.2.
    static std::vector<TCode> Canonical(std::span<const std::uint8_t> lengths) {
        std::vector<unsigned> count(16), next(16);
        for (const std::uint8_t length : lengths) ++count[length];
        count[0] = 0;
        for (unsigned length = 1, code = 0; length < 16; ++length)
            next[length] = code = (code + count[length - 1]) << 1;
        std::vector<TCode> codes;
        for (const std::uint8_t length : lengths) codes.push_back({length ? next[length]++ : 0, length});
        return codes;
    }
    // Huffman codes go most significant bit first.
    void Code(const TCode& code) {
        for (unsigned i = code.length; i-- > 0;) Bits((code.bits >> i) & 1, 1);
    }

    unsigned FBit = 0;
    std::vector<TCode> FLiterals, FDistances, FLengthCodes;
};

}  // namespace archivtest
