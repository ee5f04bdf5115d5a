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

TPackedSources::TPackedSources(TPackPipeline& pipeline, const std::vector<std::int64_t>& plannedSizes,
                               TProgress progress)
    : FPipeline(pipeline), FProgress(std::move(progress)), FEntries(plannedSizes.size()) {
    zip_error_init(&FError);
    for (std::size_t i = 0; i < FEntries.size(); ++i) {
        FEntries[i].owner = this;
        FEntries[i].file = i;
        FEntries[i].planned = plannedSizes[i];
    }
}

TPackedSources::~TPackedSources() { zip_error_fini(&FError); }

zip_source_t* TPackedSources::Create(zip_t* archive, std::size_t file) {
    return zip_source_function(archive, &Callback, &FEntries.at(file));
}

zip_int64_t TPackedSources::Callback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command) {
    auto& entry = *static_cast<TEntry*>(state);
    try {
        return entry.owner->Handle(entry, data, length, command);
    } catch (const std::exception& e) {  // nothing may pass through libzip
        return entry.owner->SetError(ZIP_ER_INTERNAL, &entry,
                                     "Interner Fehler beim Packen (" + std::string(e.what()) + ").");
    }
}

zip_int64_t TPackedSources::SetError(int zipError, const TEntry* entry, TReason failure) {
    zip_error_set(&FError, zipError, 0);
    if (entry != nullptr && !FFailedFile && !failure.empty()) {
        FFailedFile = entry->file;
        FFailure = std::move(failure);
    }
    return -1;
}

zip_int64_t TPackedSources::Handle(TEntry& entry, void* data, zip_uint64_t length, zip_source_cmd_t command) {
    switch (command) {
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                                  ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_SUPPORTS, -1);
        case ZIP_SOURCE_OPEN:
            // libzip reads each new entry once; a second opening would need the pieces again.
            if (entry.opened) return SetError(ZIP_ER_INTERNAL, nullptr, {});
            entry.opened = true;
            FPiece.clear();
            FPieceRead = 0;
            FPieceSize = FSizeBefore = FReported = 0;
            FLastTaken = false;
            return 0;
        case ZIP_SOURCE_READ:
            return Read(entry, static_cast<std::uint8_t*>(data), static_cast<std::size_t>(length));
        case ZIP_SOURCE_CLOSE:
            return 0;
        case ZIP_SOURCE_STAT: {
            auto* st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &FError);
            if (st == nullptr) return -1;
            zip_stat_init(st);
            // Before the data: what is announced (it decides the Zip64 form); after: what was packed.
            st->valid = ZIP_STAT_SIZE | ZIP_STAT_COMP_METHOD;
            st->size = static_cast<zip_uint64_t>(entry.complete ? entry.result.size : entry.planned);
            st->comp_method = Stored(entry.file) ? ZIP_CM_STORE : ZIP_CM_DEFLATE;
            if (entry.complete) {
                st->valid |= ZIP_STAT_CRC;
                st->crc = entry.result.crc;
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

zip_int64_t TPackedSources::Read(TEntry& entry, std::uint8_t* data, std::size_t length) {
    TResult& result = entry.result;
    while (FPieceRead == FPiece.size() && !FLastTaken) {
        TPackPiece piece = FPipeline.Take();
        if (piece.file != entry.file) return SetError(ZIP_ER_INTERNAL, nullptr, {});
        if (!piece.failure.empty()) return SetError(ZIP_ER_READ, &entry, piece.failure);
        FSizeBefore = result.size;
        result.crc = static_cast<std::uint32_t>(crc32_combine(result.crc, piece.crc, static_cast<z_off_t>(piece.size)));
        result.size += piece.size;
        FPieceSize = piece.size;
        FLastTaken = piece.last;
        if (piece.last) {
            result.sha256 = piece.sha256;
            result.modified = piece.modified;
        }
        if (!Stored(entry.file)) FPiece = std::move(piece.deflated);
        FPieceRead = 0;
    }
    if (FPieceRead == FPiece.size()) {
        entry.complete = true;
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
        if (!FProgress(entry.file, done, entry.planned)) return SetError(ZIP_ER_CANCELLED, nullptr, {});
    }
    return static_cast<zip_int64_t>(n);
}

}  // namespace tavik
