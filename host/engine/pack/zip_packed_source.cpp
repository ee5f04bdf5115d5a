#include "host/engine/pack/zip_packed_source.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <exception>

#include "host/engine/pack/pack_pipeline.h"

namespace tavik {

namespace {

// Progress is reported at least every so many bytes of the file, and at each piece's end.
constexpr std::int64_t kProgressStep = 256 * 1024;

}  // namespace

TPackedSource::TPackedSource(TPackPipeline& pipeline, std::size_t file, std::int64_t plannedSize, TProgress progress)
    : FPipeline(pipeline), FFile(file), FPlannedSize(plannedSize), FProgress(std::move(progress)) {
    zip_error_init(&FError);
}

TPackedSource::~TPackedSource() { zip_error_fini(&FError); }

zip_source_t* TPackedSource::Create(zip_t* archive) { return zip_source_function(archive, &Callback, this); }

const struct stat& TPackedSource::Opened() const { return FPipeline.Opened(FFile); }

zip_int64_t TPackedSource::Callback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command) {
    auto* self = static_cast<TPackedSource*>(state);
    try {
        return self->Handle(data, length, command);
    } catch (const std::exception& e) {  // nothing may pass through libzip
        return self->SetError(ZIP_ER_INTERNAL, "Interner Fehler beim Packen (" + std::string(e.what()) + ").");
    }
}

zip_int64_t TPackedSource::SetError(int zipError, TReason failure) {
    zip_error_set(&FError, zipError, 0);
    if (FFailure.empty() && !failure.empty()) FFailure = std::move(failure);
    return -1;
}

zip_int64_t TPackedSource::Handle(void* data, zip_uint64_t length, zip_source_cmd_t command) {
    switch (command) {
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                                  ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_SUPPORTS, -1);
        case ZIP_SOURCE_OPEN:
            // libzip reads each new entry once; a second opening would need the pieces again.
            if (FPieceRead != 0 || FSize != 0 || FLastTaken) return SetError(ZIP_ER_INTERNAL, {});
            return 0;
        case ZIP_SOURCE_READ:
            return Read(static_cast<std::uint8_t*>(data), static_cast<std::size_t>(length));
        case ZIP_SOURCE_CLOSE:
            return 0;
        case ZIP_SOURCE_STAT: {
            auto* st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &FError);
            if (st == nullptr) return -1;
            zip_stat_init(st);
            // Before the data: what is announced (it decides the Zip64 form); after: what was packed.
            st->valid = ZIP_STAT_SIZE | ZIP_STAT_COMP_METHOD;
            st->size = static_cast<zip_uint64_t>(FComplete ? FSize : FPlannedSize);
            st->comp_method = Stored() ? ZIP_CM_STORE : ZIP_CM_DEFLATE;
            if (FComplete) {
                st->valid |= ZIP_STAT_CRC;
                st->crc = FCrc;
            }
            return sizeof(*st);
        }
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&FError, data, length);
        case ZIP_SOURCE_FREE:
            return 0;
        default:
            zip_error_set(&FError, ZIP_ER_OPNOTSUPP, 0);
            return -1;
    }
}

zip_int64_t TPackedSource::Read(std::uint8_t* data, std::size_t length) {
    while (FPieceRead == FPiece.size() && !FLastTaken) {
        TPackPiece piece = FPipeline.Take();
        if (piece.file != FFile) return SetError(ZIP_ER_INTERNAL, {});
        if (!piece.failure.empty()) return SetError(ZIP_ER_READ, piece.failure);
        FSizeBefore = FSize;
        FCrc = static_cast<std::uint32_t>(crc32_combine(FCrc, piece.crc, static_cast<z_off_t>(piece.size)));
        FSize += piece.size;
        FPieceSize = piece.size;
        FLastTaken = piece.last;
        if (piece.last) FSha256 = piece.sha256;
        if (!Stored()) FPiece = std::move(piece.deflated);
        FPieceRead = 0;
    }
    if (FPieceRead == FPiece.size()) {
        FComplete = true;
        return 0;
    }
    const std::size_t n = std::min(length, FPiece.size() - FPieceRead);
    std::memcpy(data, FPiece.data() + FPieceRead, n);
    FPieceRead += n;
    // The file's bytes in proportion to the deflated bytes handed over.
    const std::int64_t done =
        FSizeBefore + static_cast<std::int64_t>(static_cast<double>(FPieceSize) * static_cast<double>(FPieceRead) /
                                                static_cast<double>(FPiece.size()));
    if (FProgress && (done - FReported >= kProgressStep || FPieceRead == FPiece.size())) {
        FReported = done;
        if (!FProgress(done)) return SetError(ZIP_ER_CANCELLED, {});
    }
    return static_cast<zip_int64_t>(n);
}

}  // namespace tavik
