#include "host/engine/pack/piece_plan.h"

#include <algorithm>
#include <numeric>

namespace tavik {

TPiecePlan PlanPieces(std::uint64_t fileSize, const std::vector<TRawExtent>& extents, std::uint64_t pieceSize,
                      std::uint64_t heldEntry) {
    TPiecePlan plan;
    std::vector<std::size_t> order(extents.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&extents](std::size_t a, std::size_t b) { return extents[a].start < extents[b].start; });
    const auto inside = [fileSize](const TRawExtent& e) { return e.start <= fileSize && e.size <= fileSize - e.start; };
    std::size_t next = 0;
    for (std::uint64_t start = 0; start < fileSize;) {
        TFilePiece piece;
        piece.start = start;
        piece.end = start + std::min(pieceSize, fileSize - start);
        for (; next < order.size() && extents[order[next]].start < piece.end; ++next) {
            const TRawExtent& extent = extents[order[next]];
            if (extent.size > heldEntry || !inside(extent)) {
                plan.apart.push_back(order[next]);
                continue;
            }
            const std::uint64_t end = extent.start + extent.size;
            if (end > piece.end) {
                // What does not fit begins the next piece, unless it begins this one.
                if (extent.start > piece.start) {
                    piece.end = extent.start;
                    break;
                }
                piece.end = end;
            }
            piece.entries.push_back(order[next]);
        }
        start = piece.end;
        plan.pieces.push_back(std::move(piece));
    }
    // Whatever begins at the file's end or beyond (empty data there, or a claim past it).
    for (; next < order.size(); ++next) plan.apart.push_back(order[next]);
    return plan;
}

}  // namespace tavik
