#include "host/engine/pack/deflate_piece.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <new>
#include <stdexcept>

#include "host/engine/pack/tiny_deflate.h"

namespace tavik {

namespace {

constexpr std::size_t kStoredBlock = 65535;
constexpr std::size_t kSample = 16 * 1024;
constexpr std::size_t kSamples = 3;
// Stored when every sample keeps more than this share of its size at the fastest level.
constexpr double kIncompressible = 0.98;
// A piece too small for the samples is judged by how evenly its bytes spread over the 256
// values: random or already compressed data comes close to 8 bits per byte (short pieces
// measure a little less), text and tables stay far below. Data that spreads evenly and still
// repeats itself (a table of every byte value) is caught by one sample at the fastest level.
// Deflating random data at level 6 costs as much as text and gains nothing; below
// kSmallestJudged bytes it costs little anyway.
constexpr std::size_t kSmallestJudged = 4096;
constexpr double kIncompressibleBits = 7.9;
// libdeflate clears its hash tables (some 200 KB) for every piece, which costs ten times what
// deflating a file of a hundred bytes does, and zlib's reset and tree building cost about as
// much; many small files make many such pieces. Up to this size a piece goes through
// DeflateTiny instead.
constexpr std::size_t kTinyPiece = 512;
static_assert(kTinyPiece <= kTinyDeflateLargest);

double BitsPerByte(const std::uint8_t* data, std::size_t size) {
    std::array<std::size_t, 256> counts{};
    for (std::size_t i = 0; i < size; ++i) ++counts[data[i]];
    double bits = 0;
    for (const std::size_t count : counts) {
        if (count == 0) continue;
        const double share = static_cast<double>(count) / static_cast<double>(size);
        bits -= share * std::log2(share);
    }
    return bits;
}

struct TInflateEnd {
    void operator()(z_stream* stream) const { inflateEnd(stream); }
};

}  // namespace

void TPieceDeflater::TFree::operator()(libdeflate_compressor* compressor) const {
    libdeflate_free_compressor(compressor);
}

TPieceDeflater::TPieceDeflater(int level)
    : FCompressor(libdeflate_alloc_compressor(level)), FProbe(libdeflate_alloc_compressor(1)) {
    if (!FCompressor || !FProbe) throw std::bad_alloc();
}

TPieceDeflater::~TPieceDeflater() = default;

bool TPieceDeflater::LooksIncompressible(const std::uint8_t* data, std::size_t size) {
    if (size < kSmallestJudged) return false;
    if (FScratch.size() < kSample) FScratch.resize(kSample);
    if (size < kSample * kSamples) {
        if (BitsPerByte(data, size) <= kIncompressibleBits) return false;
        const std::size_t at = (size - kSmallestJudged) / 2;
        const std::size_t packed =
            libdeflate_deflate_compress(FProbe.get(), data + at, kSmallestJudged, FScratch.data(), kSmallestJudged);
        return packed == 0 || static_cast<double>(packed) >= kIncompressible * kSmallestJudged;
    }
    for (std::size_t i = 0; i < kSamples; ++i) {
        const std::size_t at = (size - kSample) / (kSamples - 1) * i;
        // 0: did not fit into the scratch buffer, so certainly no gain.
        const std::size_t packed =
            libdeflate_deflate_compress(FProbe.get(), data + at, kSample, FScratch.data(), kSample);
        if (packed != 0 && static_cast<double>(packed) < kIncompressible * kSample) return false;
    }
    return true;
}

void TPieceDeflater::Deflate(const std::uint8_t* data, std::size_t size, bool last, std::vector<std::uint8_t>& out) {
    out.clear();
    if (size == 0 || LooksIncompressible(data, size)) {
        AppendStoredBlocks(data, size, last, out);
        return;
    }
    if (size <= kTinyPiece) {
        DeflateTiny(data, size, last, out);
        return;
    }
    // Compressed into a buffer kept for the next piece; out gets only what it needs.
    const std::size_t bound = libdeflate_deflate_compress_bound(FCompressor.get(), size);
    if (FScratch.size() < bound) FScratch.resize(bound);
    const std::size_t packed =
        libdeflate_deflate_compress(FCompressor.get(), data, size, FScratch.data(), FScratch.size());
    if (packed == 0) throw std::runtime_error("deflate output exceeds its bound");
    out.reserve(packed + 8);
    out.assign(FScratch.data(), FScratch.data() + packed);
    if (!last) MakeStreamContinue(out);
}

void AppendStoredBlocks(const std::uint8_t* data, std::size_t size, bool last, std::vector<std::uint8_t>& out) {
    if (size == 0 && !last) return;
    out.reserve(out.size() + size + (size / kStoredBlock + 1) * 5);
    std::size_t done = 0;
    do {
        const std::size_t length = std::min(kStoredBlock, size - done);
        const bool final = last && done + length == size;
        // Header bits BFINAL and BTYPE 00, then padding to the byte boundary.
        out.push_back(final ? 1 : 0);
        out.push_back(static_cast<std::uint8_t>(length));
        out.push_back(static_cast<std::uint8_t>(length >> 8));
        out.push_back(static_cast<std::uint8_t>(~length));
        out.push_back(static_cast<std::uint8_t>(~length >> 8));
        out.insert(out.end(), data + done, data + done + length);
        done += length;
    } while (done < size);
}

void MakeStreamContinue(std::vector<std::uint8_t>& stream) {
    // zlib's inflate stops after each block with Z_BLOCK and tells how many bits of the last
    // byte it has not used; that gives the bit where the final block begins and where it ends.
    z_stream inflater{};
    if (inflateInit2(&inflater, -MAX_WBITS) != Z_OK) throw std::bad_alloc();
    const std::unique_ptr<z_stream, TInflateEnd> owner(&inflater);
    std::vector<Bytef> sink(256 * 1024);
    inflater.next_in = stream.data();
    inflater.avail_in = static_cast<uInt>(stream.size());
    if (inflater.avail_in != stream.size()) throw std::runtime_error("deflate piece too large");
    const auto bitPosition = [&inflater, &stream] {
        return (stream.size() - inflater.avail_in) * 8 - static_cast<std::size_t>(inflater.data_type & 0x3F);
    };
    // Bit 128: stopped between two blocks; bit 64 as well: the block before was the final one.
    std::size_t finalBlock = 0;
    std::size_t end = 0;
    for (;;) {
        inflater.next_out = sink.data();
        inflater.avail_out = static_cast<uInt>(sink.size());
        const int result = inflate(&inflater, Z_BLOCK);
        if (result == Z_STREAM_END) break;
        if (result != Z_OK) throw std::runtime_error("deflate piece cannot be read back");
        if ((inflater.data_type & 128) == 0) continue;
        if ((inflater.data_type & 64) != 0) end = bitPosition();
        else finalBlock = bitPosition();
    }
    if (end <= finalBlock) throw std::runtime_error("final block not found");
    const auto flag = static_cast<std::uint8_t>(1u << (finalBlock & 7));
    if ((stream[finalBlock >> 3] & flag) == 0) throw std::runtime_error("final block not found");
    stream[finalBlock >> 3] = static_cast<std::uint8_t>(stream[finalBlock >> 3] & ~flag);
    // An empty stored block: three zero header bits, zeros to the byte boundary, LEN 0, NLEN ~0.
    const std::size_t bytes = (end + 3 + 7) / 8;
    if ((end & 7) != 0) stream[end >> 3] = static_cast<std::uint8_t>(stream[end >> 3] & ((1u << (end & 7)) - 1));
    stream.resize(bytes, 0);
    stream.insert(stream.end(), {0x00, 0x00, 0xFF, 0xFF});
}

}  // namespace tavik
