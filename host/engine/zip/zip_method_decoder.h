#pragma once
// Decoders fed piece by piece with an entry's raw data: deflate, and the methods that libzip
// does not read itself, LZMA (14), XZ (95) and Zstandard (93); Deflate64 (9) in zip_deflate64,
// PPMd (98) in zip_ppmd_decoder.
// Their memory is bounded whatever the entry claims (dictionary and window sizes).
#include <cstddef>
#include <cstdint>
#include <memory>

namespace tavik {

class TZipMethodDecoder {
public:
    virtual ~TZipMethodDecoder() = default;
    // Decodes from in (size bytes; last: no data follows) into out (room bytes) and tells how
    // much it used and made. True when the compressed stream has ended. Throws EOlvex with a
    // German reason on damaged data.
    virtual bool Decode(const std::uint8_t* in, std::size_t size, bool last, std::uint8_t* out, std::size_t room,
                        std::size_t& used, std::size_t& made) = 0;
    // A decoder in another process may use and make nothing for a while without being stuck:
    // true after such a call of Decode; the caller then asks again.
    virtual bool Busy() const { return false; }
};

// What one entry's decoder may take by default, whatever dictionary or window its data asks for.
inline constexpr std::uint64_t kZipDecoderMemoryLimit = 256u << 20;

// The decoder of method for an entry of size uncompressed bytes; none for other methods. Data
// that needs more than memoryLimit bytes fails of kind LimitReached.
std::unique_ptr<TZipMethodDecoder> CreateZipMethodDecoder(std::int32_t method, std::uint64_t size,
                                                          std::uint64_t memoryLimit = kZipDecoderMemoryLimit);

}  // namespace tavik
