#pragma once
// A libzip source that hands over one file as deflated by the pack pipeline: libzip writes
// the data as it is and takes method, sizes and CRC from the source. Progress and abort are
// checked as the data passes, on the thread that closes the archive.
#include <sys/stat.h>
#include <zip.h>

#include <functional>
#include <string>

#include "host/services/error_kind.h"
#include "host/services/sha256.h"

namespace tavik {

class TPackPipeline;

class TPackedSource {
public:
    // progress(bytesDone) returns false to cancel the archive being written.
    using TProgress = std::function<bool(std::int64_t bytesDone)>;

    // file: the file's position in the pipeline; plannedSize: what the entry announces.
    TPackedSource(TPackPipeline& pipeline, std::size_t file, std::int64_t plannedSize, TProgress progress);
    TPackedSource(const TPackedSource&) = delete;
    TPackedSource& operator=(const TPackedSource&) = delete;
    ~TPackedSource();

    // A source that refers to this object; this object must outlive it.
    zip_source_t* Create(zip_t* archive);
    // Entries of no bytes are stored; libzip must be told so before it writes.
    bool Stored() const { return FPlannedSize == 0; }

    bool Failed() const { return !FFailure.empty(); }
    const TReason& Failure() const { return FFailure; }  // German, when reading failed
    std::int64_t BytesRead() const { return FSize; }
    std::uint32_t Crc() const { return FCrc; }  // of the bytes read
    const TSha256Digest& Sha256() const { return FSha256; }  // of the bytes read, once complete
    const struct stat& Opened() const;  // the file as it was opened, once complete

private:
    static zip_int64_t Callback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command);
    zip_int64_t Handle(void* data, zip_uint64_t length, zip_source_cmd_t command);
    zip_int64_t Read(std::uint8_t* data, std::size_t length);
    zip_int64_t SetError(int zipError, TReason failure);

    TPackPipeline& FPipeline;
    std::size_t FFile;
    std::int64_t FPlannedSize;
    TProgress FProgress;
    zip_error_t FError{};
    TReason FFailure;

    std::vector<std::uint8_t> FPiece;  // deflated bytes of the current piece
    std::size_t FPieceRead = 0;
    std::int64_t FPieceSize = 0;    // file bytes in the current piece
    std::int64_t FSizeBefore = 0;   // file bytes in the pieces before it
    std::int64_t FSize = 0;         // file bytes in the pieces taken
    std::int64_t FReported = 0;
    std::uint32_t FCrc = 0;
    TSha256Digest FSha256{};
    bool FLastTaken = false;
    bool FComplete = false;
};

}  // namespace tavik
