#pragma once
// How a single-file archive is read once, front to back, in pieces of bounded size for several
// checks at once: the whole file's digest takes every byte of every piece in order, and each
// entry's data is taken where it lies in one piece. An entry too large to be held with the
// others is read from the file on its own; its bytes are still in the pieces for the digest.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace tavik {

// Where an entry's raw data lies in the file.
struct TRawExtent {
    std::uint64_t start = 0;
    std::uint64_t size = 0;
};

struct TFilePiece {
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    std::vector<std::size_t> entries;  // indexes into the extents, whole in the piece, in file order
};

struct TPiecePlan {
    std::vector<TFilePiece> pieces;  // one after the other from 0 to the file's end
    std::vector<std::size_t> apart;  // read on their own: larger than held, or not inside the file
};

// Pieces of pieceSize bytes, each ended early at the start of an entry whose data would run
// past it, so that none is cut: that entry begins the next piece, which is as long as the
// entry where the entry is longer. Entries larger than heldEntry are read apart and may be
// cut. A piece is thus at most max(pieceSize, heldEntry) bytes long.
TPiecePlan PlanPieces(std::uint64_t fileSize, const std::vector<TRawExtent>& extents, std::uint64_t pieceSize,
                      std::uint64_t heldEntry);

}  // namespace tavik
