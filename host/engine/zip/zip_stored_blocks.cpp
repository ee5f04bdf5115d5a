#include "host/engine/zip/zip_stored_blocks.h"

namespace tavik::zip {

namespace {

// BFINAL in bit 0, BTYPE in bits 1 and 2 (00: stored), the rest of the byte unused; then LEN
// and its complement NLEN, little-endian. Stored data ends on a byte, so every block of such a
// stream begins on one.
constexpr std::size_t kHeader = 5;
constexpr std::uint8_t kFinal = 0x01;
constexpr std::uint8_t kType = 0x06;

}  // namespace

std::optional<std::vector<std::span<const std::uint8_t>>> StoredBlocksOnly(const std::uint8_t* stream,
                                                                           std::size_t length, std::uint64_t size) {
    std::vector<std::span<const std::uint8_t>> blocks;
    std::uint64_t total = 0;
    for (std::size_t at = 0;;) {
        if (length - at < kHeader || (stream[at] & kType) != 0) return std::nullopt;
        const bool final = (stream[at] & kFinal) != 0;
        const auto len = static_cast<std::uint16_t>(stream[at + 1] | stream[at + 2] << 8);
        const auto nlen = static_cast<std::uint16_t>(stream[at + 3] | stream[at + 4] << 8);
        if (static_cast<std::uint16_t>(~len) != nlen) return std::nullopt;
        at += kHeader;
        if (length - at < len) return std::nullopt;
        if (len > 0) blocks.emplace_back(stream + at, len);
        at += len;
        total += len;
        if (final) {
            if (at != length || total != size) return std::nullopt;
            return blocks;
        }
    }
}

}  // namespace tavik::zip
