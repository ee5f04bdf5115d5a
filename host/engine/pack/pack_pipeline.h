#pragma once
// Reads, hashes (SHA-256) and deflates the files of a new archive on worker threads while the
// calling thread writes the archive. Files are cut into pieces of at most TPackOptions::pieceSize bytes; the
// calling thread takes the finished pieces in file order and piece order. Only a bounded
// number of bytes is read ahead, so memory stays small whatever the size of the files.
#include <sys/stat.h>

#include <condition_variable>
#include <deque>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "host/services/error_kind.h"
#include "host/services/sha256.h"

namespace tavik {

class TPieceDeflater;

// libdeflate's level 4 packs as small as zlib's level 6, the default of zip and 7-Zip, at about
// four times its speed; level 5 saves another 1 % of the archive at half the speed.
constexpr int kArchiveDeflateLevel = 4;

struct TPackOptions {
    int level = 6;                          // libdeflate's level
    std::size_t pieceSize = 4 << 20;        // bytes of a file compressed at once
    std::size_t aheadBytes = 48 << 20;      // bytes read but not yet taken, at most
    std::size_t aheadPieces = 256;          // pieces read but not yet taken, at most
    unsigned workers = 0;                   // 0: one per processor
};

// Views into strings that the caller keeps while the pipeline lives.
struct TPackFile {
    std::string_view path;
    std::string_view base;  // no directory between it and the file may be a link (see SourceBases)
    std::int64_t size = 0;  // as found while planning; more is never read
};

struct TPackPiece {
    std::size_t file = 0;
    std::vector<std::uint8_t> deflated;  // raw deflate, to be joined with the file's other pieces
    std::int64_t size = 0;               // bytes of the file it holds
    std::uint32_t crc = 0;               // CRC-32 of those bytes
    bool last = false;                   // the file's last piece
    TSha256Digest sha256{};              // with the last piece: the SHA-256 of the whole file
    std::time_t modified = 0;            // with the last piece: the file's time as it was opened
    TReason failure;                     // German: the file could not be read
};

// What became of a file once all its pieces were taken.
struct TPackedResult {
    std::int64_t size = 0;      // bytes read
    std::uint32_t crc = 0;      // of the bytes read
    TSha256Digest sha256{};     // of the bytes read, once complete
    std::time_t modified = 0;   // the file's time as it was opened, once complete
};

class TFileOpenerBelow;

// Whether the file can be opened for reading now as the pipeline opens it: empty, or why not
// (German, in the words the pipeline uses when opening fails). Not proof that reading will
// succeed.
TReason ProbePackFile(TFileOpenerBelow& opener, const TPackFile& file);

class TPackPipeline {
public:
    TPackPipeline(std::vector<TPackFile> files, const TPackOptions& options);
    TPackPipeline(const TPackPipeline&) = delete;
    TPackPipeline& operator=(const TPackPipeline&) = delete;
    ~TPackPipeline();  // stops the workers; pieces not taken are dropped

    // The next piece in order; waits until it is ready.
    TPackPiece Take();
    bool Finished() const { return FHandedOut == FJobs.size(); }

private:
    struct TJob {
        std::size_t file;
        std::int64_t offset;
        std::size_t length;
        std::size_t piece;  // its place among the file's pieces
        bool last;
    };
    struct TFileState;
    struct TWorkerTools;

    void Work(std::stop_token stop);
    // Runs the job; true when it was the last of its file to finish.
    bool Run(const TJob& job, TFileState& state, TWorkerTools& tools, TPackPiece& piece);
    bool MayStart(std::size_t job) const;
    std::size_t PiecesOf(std::int64_t size) const;  // as the constructor cuts a file of size bytes
    // Adds the piece's bytes to its file's SHA-256 once the pieces before it are added.
    void Hash(const TJob& job, TFileState& state, const std::uint8_t* data, std::size_t size, TPackPiece& piece);

    std::vector<TPackFile> FFiles;
    std::vector<TJob> FJobs;
    TPackOptions FOptions;

    mutable std::mutex FMutex;
    std::condition_variable_any FWorkReady;
    std::condition_variable FPieceReady;
    std::size_t FNext = 0;        // next job to start
    std::size_t FTaken = 0;       // jobs moved on to the writer
    std::size_t FTakenAnnounced = 0;  // FTaken when the workers were last woken
    std::size_t FAheadBytes = 0;  // bytes of started jobs whose room the writer has not freed
    bool FWriterWaiting = false;
    std::map<std::size_t, TPackPiece> FDone;
    // Only the files being read: made when a file's first piece starts, dropped when its last
    // one is done. Nodes stay where they are while others come and go.
    std::unordered_map<std::size_t, TFileState> FStates;

    // The writer's own, without the lock.
    std::deque<TPackPiece> FReady;  // finished pieces in order, not handed out yet
    std::size_t FHandedOut = 0;
    std::size_t FReleased = 0;      // bytes of pieces handed out since the last visit
    std::vector<std::jthread> FWorkers;  // last: they stop before the rest goes
};

}  // namespace tavik
