// Deflate64 data as the engine decodes it: whatever the bytes, decoding ends without a crash or
// a read or write out of bounds, damage is reported as such, and pieces of 1 to 64 bytes in and
// out give the same bytes and the same verdict as the whole data at once. The first byte sets the
// piece sizes; the rest is the stream.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "host/engine/zip/zip_deflate64.h"
#include "host/services/exceptions.h"

namespace {

// Enough to slide the window a few times; a few bytes of lengths of 65538 make far more.
constexpr std::size_t kMaxOutput = 512 << 10;

struct TResult {
    std::string output;
    bool ended = false;
    bool damaged = false;
};

TResult Decode(const std::uint8_t* data, std::size_t size, std::size_t inPiece, std::size_t outPiece) {
    const auto decoder = tavik::CreateDeflate64Decoder();
    std::vector<std::uint8_t> out(outPiece);
    TResult result;
    std::size_t at = 0;
    try {
        while (!result.ended && result.output.size() < kMaxOutput) {
            const std::size_t piece = std::min(inPiece, size - at);
            std::size_t used = 0, made = 0;
            result.ended = decoder->Decode(data + at, piece, at + piece == size, out.data(), outPiece, used, made);
            if (used > piece || made > outPiece) std::abort();
            at += used;
            result.output.append(reinterpret_cast<const char*>(out.data()), made);
            if (!result.ended && used == 0 && made == 0) break;
        }
    } catch (const tavik::EOlvex& error) {
        if (error.Kind() != tavik::TErrorKind::DamagedArchive) std::abort();
        result.damaged = true;
    }
    result.output.resize(std::min(result.output.size(), kMaxOutput));
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t inPiece = 1 + (data[0] & 0x3F);
    const std::size_t outPiece = 1 + ((data[0] >> 2) & 0x3F);
    const TResult whole = Decode(data + 1, size - 1, size, 1 << 20);
    const TResult pieces = Decode(data + 1, size - 1, inPiece, outPiece);
    // Damage may show before the whole output is handed on: what was made must agree.
    const std::size_t common = std::min(whole.output.size(), pieces.output.size());
    if (whole.output.compare(0, common, pieces.output, 0, common) != 0) std::abort();
    if (whole.output.size() < kMaxOutput && pieces.output.size() < kMaxOutput &&
        (whole.damaged != pieces.damaged || whole.ended != pieces.ended ||
         (!whole.damaged && whole.output != pieces.output)))
        std::abort();
    return 0;
}
