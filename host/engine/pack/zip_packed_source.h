#pragma once
// libzip sources that hand over the files as deflated by the pack pipeline: libzip writes the
// data as it is and takes method, sizes and CRC from the source. libzip writes one entry after
// the other, so the entries share one reading state and keep only what they need afterwards;
// progress and abort are checked as the data passes, on the thread that closes the archive.
#include <zip.h>

#include <ctime>
#include <functional>
#include <optional>
#include <vector>

#include "host/services/error_kind.h"
#include "host/engine/pack/pack_pipeline.h"
#include "host/services/sha256.h"

namespace tavik {

class TPackedSources {
public:
    // progress(file, bytesDone, plannedSize) returns false to cancel the archive being written.
    using TProgress = std::function<bool(std::size_t file, std::int64_t bytesDone, std::int64_t plannedSize)>;

    using TResult = TPackedResult;

    // One source for each of the pipeline's files, in its order; plannedSizes: what each
    // entry announces.
    TPackedSources(TPackPipeline& pipeline, const std::vector<std::int64_t>& plannedSizes, TProgress progress);
    TPackedSources(const TPackedSources&) = delete;
    TPackedSources& operator=(const TPackedSources&) = delete;
    ~TPackedSources();

    // A source for the file that refers to this object, which must outlive it.
    zip_source_t* Create(zip_t* archive, std::size_t file);
    // Entries of no bytes are stored; libzip must be told so before it writes.
    bool Stored(std::size_t file) const { return FEntries[file].planned == 0; }

    const TResult& Result(std::size_t file) const { return FEntries[file].result; }
    // The file whose reading failed and why (German), when one did.
    std::optional<std::size_t> FailedFile() const { return FFailedFile; }
    const TReason& Failure() const { return FFailure; }

private:
    struct TEntry {
        TPackedSources* owner = nullptr;
        std::size_t file = 0;
        std::int64_t planned = 0;
        bool opened = false;
        bool complete = false;
        TResult result;
    };

    static zip_int64_t Callback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command);
    zip_int64_t Handle(TEntry& entry, void* data, zip_uint64_t length, zip_source_cmd_t command);
    zip_int64_t Read(TEntry& entry, std::uint8_t* data, std::size_t length);
    zip_int64_t SetError(int zipError, const TEntry* entry, TReason failure);

    TPackPipeline& FPipeline;
    TProgress FProgress;
    std::vector<TEntry> FEntries;  // never resized: libzip holds pointers to them
    zip_error_t FError{};
    std::optional<std::size_t> FFailedFile;
    TReason FFailure;

    // The entry being read.
    std::vector<std::uint8_t> FPiece;  // deflated bytes of its current piece
    std::size_t FPieceRead = 0;
    std::int64_t FPieceSize = 0;   // file bytes in the current piece
    std::int64_t FSizeBefore = 0;  // file bytes in the pieces before it
    std::int64_t FReported = 0;
    bool FLastTaken = false;
};

}  // namespace tavik
