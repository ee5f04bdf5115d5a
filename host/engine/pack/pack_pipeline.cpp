#include "host/engine/pack/pack_pipeline.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <exception>
#include <optional>
#include <stdexcept>

#include <libdeflate.h>

#include "host/engine/pack/deflate_piece.h"
#include "host/services/open_below.h"
#include "host/services/unique_fd.h"
#include "host/services/system_error.h"
#include "host/services/whole_io.h"

namespace tavik {

struct TPackPipeline::TFileState {
    explicit TFileState(std::size_t pieces) : piecesLeft(pieces) {}

    std::once_flag opening;
    TUniqueFd fd;
    std::time_t modified = 0;
    TReason failure;
    std::atomic<std::size_t> piecesLeft;  // the worker that reads the last one closes the file
    // SHA-256 is taken in the file's order: each piece waits for the one before it. Pieces are
    // started in order, so the one waited for is always under way.
    std::mutex hashing;
    std::condition_variable hashed;
    std::size_t piecesHashed = 0;
    std::optional<TSha256> hash;  // for files of more than one piece
};

// What each worker keeps from one piece to the next.
struct TPackPipeline::TWorkerTools {
    std::unique_ptr<TPieceDeflater> deflater;  // made by the first piece, which reports a failure
    std::vector<std::uint8_t> buffer;
    TFileOpenerBelow opener;  // files of one directory in a row reach it once
};

namespace {

// Jobs a worker takes at once while they are small.
constexpr std::size_t kBatchJobs = 32;
constexpr std::size_t kBatchBytes = 1 << 20;

TReason OpenFailure(int error) {
    if (error == ELOOP || error == ENOTDIR)
        return "Die Datei oder ein Verzeichnis auf dem Weg zu ihr ist inzwischen eine symbolische Verknüpfung.";
    return {"Die Datei kann nicht geöffnet werden (" + SystemErrorText(error) + ").", KindOfInputError(error)};
}

}  // namespace

TReason ProbePackFile(TFileOpenerBelow& opener, const TPackFile& file) {
    // Without waiting for a pipe that was put in the file's place.
    const TUniqueFd fd(opener.Open(file.path, file.base, O_RDONLY | O_NOCTTY | O_NONBLOCK));
    return fd ? TReason() : OpenFailure(errno);
}

std::size_t TPackPipeline::PiecesOf(std::int64_t size) const {
    const auto bytes = static_cast<std::uint64_t>(std::max<std::int64_t>(size, 0));
    return std::max<std::uint64_t>(1, (bytes + FOptions.pieceSize - 1) / FOptions.pieceSize);
}

TPackPipeline::TPackPipeline(std::vector<TPackFile> files, const TPackOptions& options)
    : FFiles(std::move(files)), FOptions(options) {
    FOptions.pieceSize = std::max<std::size_t>(FOptions.pieceSize, 64 * 1024);
    FJobs.reserve(FFiles.size());
    for (std::size_t i = 0; i < FFiles.size(); ++i) {
        const std::int64_t size = std::max<std::int64_t>(FFiles[i].size, 0);
        const std::size_t pieces = PiecesOf(size);
        const auto pieceSize = static_cast<std::int64_t>(FOptions.pieceSize);
        for (std::size_t piece = 0; piece < pieces; ++piece) {
            const std::int64_t offset = static_cast<std::int64_t>(piece) * pieceSize;
            const auto length = static_cast<std::size_t>(std::min(size - offset, pieceSize));
            FJobs.push_back({i, offset, length, piece, piece + 1 == pieces});
        }
    }
    unsigned workers = FOptions.workers != 0 ? FOptions.workers : std::thread::hardware_concurrency();
    workers = std::clamp(workers, 1u, 16u);
    workers = static_cast<unsigned>(std::min<std::size_t>(workers, FJobs.size()));
    for (unsigned i = 0; i < workers; ++i) FWorkers.emplace_back([this](std::stop_token stop) { Work(stop); });
}

TPackPipeline::~TPackPipeline() {
    for (std::jthread& worker : FWorkers) worker.request_stop();
    FWorkReady.notify_all();
    FWorkers.clear();  // joins
}

bool TPackPipeline::MayStart(std::size_t job) const {
    if (job >= FJobs.size()) return false;
    if (job == FTaken) return true;  // what the writer waits for never waits itself
    return job - FTaken < FOptions.aheadPieces && FAheadBytes + FJobs[job].length <= FOptions.aheadBytes;
}

void TPackPipeline::Work(std::stop_token stop) {
    TWorkerTools tools;
    std::vector<TPackPiece> pieces;
    std::vector<TFileState*> states;
    std::vector<std::size_t> finished;  // files whose last piece this worker finished
    for (;;) {
        // Small files are taken several at a time: one lock for many, not one each.
        std::size_t first = 0;
        std::size_t count = 0;
        states.clear();
        {
            std::unique_lock lock(FMutex);
            if (!FWorkReady.wait(lock, stop, [this] { return MayStart(FNext) || FNext >= FJobs.size(); })) return;
            if (FNext >= FJobs.size()) return;
            first = FNext;
            std::size_t bytes = 0;
            do {
                const TJob& job = FJobs[FNext];
                // Jobs start in order: a file's first piece starts before any other of it.
                if (job.piece == 0) FStates.try_emplace(job.file, PiecesOf(FFiles[job.file].size));
                states.push_back(&FStates.at(job.file));
                bytes += job.length;
                FAheadBytes += job.length;
                ++FNext;
                ++count;
            } while (count < kBatchJobs && bytes < kBatchBytes && MayStart(FNext));
        }
        pieces.resize(count);
        finished.clear();
        for (std::size_t i = 0; i < count; ++i) {
            pieces[i] = {};
            if (Run(FJobs[first + i], *states[i], tools, pieces[i])) finished.push_back(FJobs[first + i].file);
        }
        bool wake = false;
        {
            const std::lock_guard lock(FMutex);
            for (std::size_t i = 0; i < count; ++i) FDone.emplace(first + i, std::move(pieces[i]));
            for (const std::size_t file : finished) FStates.erase(file);
            wake = FWriterWaiting && FDone.count(FTaken) != 0;
        }
        if (wake) FPieceReady.notify_one();
    }
}

bool TPackPipeline::Run(const TJob& job, TFileState& state, TWorkerTools& tools, TPackPiece& piece) {
    std::unique_ptr<TPieceDeflater>& deflater = tools.deflater;
    std::vector<std::uint8_t>& buffer = tools.buffer;
    piece.file = job.file;
    piece.last = job.last;
    std::call_once(state.opening, [this, &state, &job, &tools] {
        state.fd.Reset(tools.opener.Open(FFiles[job.file].path, FFiles[job.file].base, O_RDONLY | O_NOCTTY));
        struct stat opened {};
        if (!state.fd) {
            state.failure = OpenFailure(errno);
        } else if (::fstat(state.fd.Get(), &opened) != 0 || !S_ISREG(opened.st_mode)) {
            state.failure = "Die Datei ist keine gewöhnliche Datei mehr.";
            state.fd.Reset();
        }
        state.modified = opened.st_mtime;
    });
    if (!state.failure.empty()) {
        piece.failure = state.failure;
    } else {
        try {
            if (!deflater) deflater = std::make_unique<TPieceDeflater>(FOptions.level);
            buffer.resize(job.length);
            const TIoResult read =
                ReadWholeAt(state.fd.Get(), buffer.data(), job.length, static_cast<std::uint64_t>(job.offset));
            const std::size_t got = read.done;  // fewer than planned when the file shrank meanwhile
            if (read.error != 0)
                piece.failure = "Die Datei kann nicht gelesen werden (" + SystemErrorText(read.error) + ").";
            if (piece.failure.empty()) {
                piece.size = static_cast<std::int64_t>(got);
                piece.crc = libdeflate_crc32(0, buffer.data(), got);
                deflater->Deflate(buffer.data(), got, job.last, piece.deflated);
            }
        } catch (const std::exception& e) {
            piece.failure = "Die Datei kann nicht komprimiert werden (" + std::string(e.what()) + ").";
        }
    }
    // Every piece takes its turn, a failed one too: the pieces after it wait for it.
    Hash(job, state, buffer.data(), piece.failure.empty() ? static_cast<std::size_t>(piece.size) : 0, piece);
    if (job.last) piece.modified = state.modified;
    if (buffer.capacity() > 2 * FOptions.pieceSize) buffer = {};
    // The last to finish closes the file; its state goes with it (see Work).
    if (state.piecesLeft.fetch_sub(1) != 1) return false;
    state.fd.Reset();
    return true;
}

void TPackPipeline::Hash(const TJob& job, TFileState& state, const std::uint8_t* data, std::size_t size,
                         TPackPiece& piece) {
    const bool failed = !piece.failure.empty();
    const auto guarded = [&piece](const auto& step) {
        try {
            step();
        } catch (const std::exception& e) {
            piece.failure = "Die Prüfsumme der Datei kann nicht berechnet werden (" + std::string(e.what()) + ").";
        }
    };
    if (job.piece == 0 && job.last) {  // most files: one piece, hashed at once
        if (!failed) guarded([&] { piece.sha256 = Sha256Of(data, size); });
        return;
    }
    std::unique_lock lock(state.hashing);
    state.hashed.wait(lock, [&] { return state.piecesHashed == job.piece; });
    if (!failed)
        guarded([&] {
            if (!state.hash) state.hash.emplace();
            state.hash->Update(data, size);
            if (job.last) piece.sha256 = state.hash->Final();
        });
    if (job.last) state.hash.reset();
    ++state.piecesHashed;
    lock.unlock();
    state.hashed.notify_all();
}

TPackPiece TPackPipeline::Take() {
    if (FHandedOut >= FJobs.size()) throw std::logic_error("every piece was taken");
    if (FReady.empty()) {
        // The pieces handed out since the last visit free their room only now, in one go.
        // Either frees room: bytes handed out, or pieces moved on (which may hold no bytes at all).
        std::unique_lock lock(FMutex);
        FAheadBytes -= FReleased;
        if (FReleased != 0 || FTaken != FTakenAnnounced) FWorkReady.notify_all();
        FReleased = 0;
        FTakenAnnounced = FTaken;
        FWriterWaiting = true;
        FPieceReady.wait(lock, [this] { return FDone.count(FTaken) != 0; });
        FWriterWaiting = false;
        for (auto found = FDone.find(FTaken); found != FDone.end() && found->first == FTaken; ++FTaken) {
            FReady.push_back(std::move(found->second));
            found = FDone.erase(found);
        }
    }
    TPackPiece piece = std::move(FReady.front());
    FReady.pop_front();
    FReleased += FJobs[FHandedOut].length;
    ++FHandedOut;
    return piece;
}

}  // namespace tavik
