#pragma once
// Writes deflate's bits LSB first: collects them in 64 bits and stores them eight bytes at a
// time into a buffer that has eight bytes to spare beyond what is written.
#include <bit>
#include <cstdint>
#include <cstring>

namespace tavik {

class TBitWriter {
public:
    explicit TBitWriter(std::uint8_t* at) : FAt(at) {}

    // At most 56 bits in all between two calls of Flush.
    void Put(std::uint64_t value, std::uint32_t count) {
        FBits |= value << FCount;
        FCount += count;
    }

    void Flush() {
        std::uint64_t little = FBits;
        if constexpr (std::endian::native == std::endian::big) little = ByteSwapped(little);
        std::memcpy(FAt, &little, sizeof little);
        FAt += FCount >> 3;
        FBits >>= FCount & ~7u;  // FCount stays below 64
        FCount &= 7;
    }

    // Flushes, pads to the byte boundary with zeros and returns where the next byte goes.
    std::uint8_t* Finish() {
        Flush();
        return FAt + (FCount != 0 ? 1 : 0);
    }

private:
    static std::uint64_t ByteSwapped(std::uint64_t value) {
        std::uint64_t swapped = 0;
        for (int i = 0; i < 8; ++i) swapped = swapped << 8 | ((value >> (i * 8)) & 0xFF);
        return swapped;
    }

    std::uint8_t* FAt;
    std::uint64_t FBits = 0;
    std::uint32_t FCount = 0;
};

}  // namespace tavik
