#pragma once
// Deflates a file piece by piece into one raw deflate stream. Each piece is compressed on its
// own, so that pieces can be compressed at the same time; every piece but the last ends on a
// byte boundary with an empty stored block, so that the pieces, joined, make one valid stream.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct libdeflate_compressor;

namespace tavik {

class TPieceDeflater {
public:
    explicit TPieceDeflater(int level);
    TPieceDeflater(const TPieceDeflater&) = delete;
    TPieceDeflater& operator=(const TPieceDeflater&) = delete;
    ~TPieceDeflater();

    // Replaces out by the deflate form of the piece; last closes the stream. Throws
    // std::bad_alloc, or std::runtime_error when the compressed piece cannot be joined.
    void Deflate(const std::uint8_t* data, std::size_t size, bool last, std::vector<std::uint8_t>& out);

    // Whether samples of the piece do not compress: such a piece is stored as it is.
    bool LooksIncompressible(const std::uint8_t* data, std::size_t size);

private:
    struct TFree {
        void operator()(libdeflate_compressor* compressor) const;
    };

    std::unique_ptr<libdeflate_compressor, TFree> FCompressor;
    std::unique_ptr<libdeflate_compressor, TFree> FProbe;
    std::vector<std::uint8_t> FScratch;
};

// Deflate stored blocks holding data, closing the stream when last.
void AppendStoredBlocks(const std::uint8_t* data, std::size_t size, bool last, std::vector<std::uint8_t>& out);

// Turns a complete raw deflate stream into one that goes on: the final block's flag is
// cleared and an empty stored block brings the end to a byte boundary. Throws
// std::runtime_error when stream is not a complete deflate stream.
void MakeStreamContinue(std::vector<std::uint8_t>& stream);

}  // namespace tavik
