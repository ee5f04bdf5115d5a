#include "host/engine/pack/streamed_check.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>

#include "host/engine/pack/piece_plan.h"
#include "host/engine/split/split_reader.h"
#include "host/engine/zip/zip_entry_reader.h"
#include "host/services/exceptions.h"
#include "host/services/large_buffer.h"
#include "host/services/sha256_lanes.h"
#include "host/services/whole_io.h"

namespace tavik {

namespace {

// Small enough that a piece is still in the processor's cache when it is hashed and its entries
// inflated; large enough that reading it is one system call among much work.
constexpr std::uint64_t kPieceSize = 4 << 20;
// Entries up to this size are taken from the pieces; larger ones are read on their own.
constexpr std::uint64_t kHeldEntry = 16 << 20;
constexpr std::size_t kDigestStep = 1 << 20;

// The whole file's digest is taken in order, piece after piece. Mostly it rides along with the
// hashing of entries' content (two SHA-256 computations at once cost little more than one); a
// reader takes it up alone where no entry's hashing carried it far enough.
class TStreamedCheck {
public:
    TStreamedCheck(const TStreamedFile& file, const std::vector<TStreamedJob>& jobs, const TEntryOfJob& entryOf,
                   TSharedState& state, unsigned readers);
    void Run();
    // Hashes an entry's content into lane, and as much of the file's digest along with it as is
    // read and not taken by another reader at the moment.
    void HashAlong(TSha256Lane& lane, const std::uint8_t* data, std::size_t size);

private:
    enum class TKind { Read, Digest, Entry, Apart, Done };
    struct TTask {
        TKind kind = TKind::Done;
        std::size_t piece = 0;
        std::size_t job = 0;
    };
    struct TPieceState {
        TLargeBuffer* buffer = nullptr;
        bool read = false;
        std::size_t taken = 0;  // entries handed to a reader
        std::size_t left = 0;   // entries not yet checked
    };

    void Work();
    // The next task, waiting while there is none yet; Done when none will come.
    TTask Next(std::unique_lock<std::mutex>& lock);
    std::optional<TTask> EntryTask();
    void Do(const TTask& task, TZipEntryReader& reader, TEntryHash& hash, TZipEntry& scratch);
    void Finish(const TTask& task, bool done);
    void ReadPiece(std::size_t piece);
    // Takes the digest alone through the piece it stands in.
    void DigestAlone();
    // Digests the bytes of the piece the digest stands in, up to size of them from where it
    // stands, with lane (and data) alongside where given. Returns how many.
    std::size_t DigestStep(TSha256Lane* lane, const std::uint8_t* data, std::size_t size);
    // Gives the buffers back whose bytes nothing needs any more.
    void ReleaseDone();
    bool DigestGoesOn() const { return FState.digestWanted && !FDigestLost && !FState.aborted; }

    const TStreamedFile& FFile;
    const std::vector<TStreamedJob>& FJobs;
    const TEntryOfJob& FEntryOf;
    TSharedState& FState;
    const unsigned FReaders;
    const int FFd;
    const std::uint64_t FSize;
    TPiecePlan FPlan;

    std::mutex FMutex;  // guards the scheduling state below
    std::condition_variable FChanged;
    std::vector<std::unique_ptr<TLargeBuffer>> FBuffers;
    std::vector<TLargeBuffer*> FFree;
    std::vector<TPieceState> FPieces;
    std::size_t FReadable = 0;  // pieces that may still be read: all, until a read fails
    std::size_t FNextRead = 0;
    bool FReading = false;
    bool FDigesting = false;     // a reader takes the digest alone
    std::size_t FFirstHeld = 0;  // pieces before it have given their buffers back
    std::size_t FFirstOpen = 0;  // pieces before it have handed out all their entries
    std::size_t FNextApart = 0;

    // Pieces read, from the first on (they are read in order, one at a time), and pieces
    // digested: a buffer is not given back before the digest has passed it.
    std::atomic<std::size_t> FPiecesRead{0};
    std::atomic<std::size_t> FPiecesDigested{0};
    std::atomic<bool> FDigestLost{false};  // a piece could not be read, or the file is longer than measured

    std::mutex FDigestMutex;  // guards the digest and where it stands
    TSha256Lane FDigest;
    std::uint64_t FDigestOffset = 0;  // within piece FPiecesDigested
};

class TAlongDigest final : public TEntryHash {
public:
    explicit TAlongDigest(TStreamedCheck& check) : FCheck(check) {}
    void Update(const std::uint8_t* data, std::size_t size) override { FCheck.HashAlong(FLane, data, size); }
    TSha256Digest Final() override { return FLane.Final(); }

private:
    TStreamedCheck& FCheck;
    TSha256Lane FLane;
};

TStreamedCheck::TStreamedCheck(const TStreamedFile& file, const std::vector<TStreamedJob>& jobs,
                               const TEntryOfJob& entryOf, TSharedState& state, unsigned readers)
    : FFile(file), FJobs(jobs), FEntryOf(entryOf), FState(state), FReaders(std::max(readers, 1u)), FFd(file.fd),
      FSize(file.size) {
    std::vector<TRawExtent> extents;
    extents.reserve(jobs.size());
    for (const TStreamedJob& job : jobs) extents.push_back({job.start, job.storedSize});
    FPlan = PlanPieces(FSize, extents, kPieceSize, kHeldEntry);
    FPieces.resize(FPlan.pieces.size());
    for (std::size_t p = 0; p < FPieces.size(); ++p) FPieces[p].left = FPlan.pieces[p].entries.size();
    FReadable = FPieces.size();
    // One piece being read, one being digested, one for each reader inflating.
    const std::size_t buffers = std::min<std::size_t>(FPieces.size(), FReaders + 2);
    for (std::size_t i = 0; i < buffers; ++i) {
        FBuffers.push_back(std::make_unique<TLargeBuffer>());
        FFree.push_back(FBuffers.back().get());
    }
}

void TStreamedCheck::Run() {
    std::vector<std::jthread> threads;
    for (unsigned i = 1; i < FReaders; ++i) {
        try {
            threads.emplace_back([this] {
                // A reader that cannot start (no memory for its buffers) fails the check; the
                // others end it.
                try {
                    Work();
                } catch (const std::bad_alloc&) {
                    FState.Fail("Zu wenig Arbeitsspeicher, um das Archiv zu prüfen.");
                } catch (const std::exception& error) {
                    FState.Fail(error.what());
                }
            });
        } catch (const std::system_error&) {
            break;  // fewer threads: the work is shared all the same
        }
    }
    Work();
    threads.clear();
    if (DigestGoesOn() && FPiecesDigested == FPieces.size()) FState.digest = FDigest.Final();
}

void TStreamedCheck::Work() {
    TZipEntryReader reader(FFile.archive);
    zip::TDescriptorReader file(FFd, FSize);
    reader.ReadDirectly(file, *FFile.dataStarts, FFile.dataLimit);
    TZipEntry scratch;
    TAlongDigest hash(*this);
    std::unique_lock lock(FMutex);
    for (;;) {
        const TTask task = Next(lock);
        if (task.kind == TKind::Done) break;
        lock.unlock();
        bool done = true;
        try {
            Do(task, reader, hash, scratch);
        } catch (const std::exception& error) {
            done = false;
            if (task.kind == TKind::Entry || task.kind == TKind::Apart) FState.Fail(error.what());
        }
        lock.lock();
        Finish(task, done);
        FChanged.notify_all();
    }
    // The others may be waiting for what this reader has just finished.
    FChanged.notify_all();
}

std::optional<TStreamedCheck::TTask> TStreamedCheck::EntryTask() {
    for (std::size_t p = FFirstOpen; p < FNextRead; ++p) {
        TPieceState& piece = FPieces[p];
        const std::vector<std::size_t>& entries = FPlan.pieces[p].entries;
        if (!piece.read || piece.taken == entries.size()) continue;
        if (FState.failed) {
            // Nothing more is checked after a failure; the pieces are still read for the digest.
            piece.left -= entries.size() - piece.taken;
            piece.taken = entries.size();
            continue;
        }
        return TTask{TKind::Entry, p, entries[piece.taken++]};
    }
    return std::nullopt;
}

TStreamedCheck::TTask TStreamedCheck::Next(std::unique_lock<std::mutex>& lock) {
    for (;;) {
        if (FState.aborted) return {};
        // Without a digest to take, a failure leaves nothing worth reading.
        if (FState.failed && !DigestGoesOn()) FReadable = std::min(FReadable, FNextRead);
        ReleaseDone();
        if (!FReading && FNextRead < FReadable && !FFree.empty()) {
            FPieces[FNextRead].buffer = FFree.back();
            FFree.pop_back();
            FReading = true;
            return {TKind::Read, FNextRead++};
        }
        const std::size_t digested = FPiecesDigested;
        const bool digestReady = DigestGoesOn() && !FDigesting && digested < FPiecesRead;
        // The digest alone comes first only where it is all that keeps a buffer from the next read.
        if (digestReady && FFree.empty() && FPieces[digested].left == 0) {
            FDigesting = true;
            return {TKind::Digest};
        }
        if (const std::optional<TTask> entry = EntryTask()) return *entry;
        while (FFirstOpen < FNextRead && FPieces[FFirstOpen].read &&
               FPieces[FFirstOpen].taken == FPlan.pieces[FFirstOpen].entries.size())
            ++FFirstOpen;
        if (digestReady) {
            FDigesting = true;
            return {TKind::Digest};
        }
        if (FNextApart < FPlan.apart.size() && !FState.failed) return {TKind::Apart, 0, FPlan.apart[FNextApart++]};
        const bool readsLeft = FReading || FNextRead < FReadable;
        const bool entriesLeft = FFirstOpen < FNextRead;
        const bool digestLeft = DigestGoesOn() && FPiecesDigested < FReadable;
        const bool apartLeft = FNextApart < FPlan.apart.size() && !FState.failed;
        if (!readsLeft && !entriesLeft && !digestLeft && !apartLeft) return {};
        FChanged.wait(lock);
    }
}

void TStreamedCheck::Do(const TTask& task, TZipEntryReader& reader, TEntryHash& hash, TZipEntry& scratch) {
    switch (task.kind) {
        case TKind::Read:
            ReadPiece(task.piece);
            break;
        case TKind::Digest:
            DigestAlone();
            break;
        case TKind::Entry: {
            const TFilePiece& piece = FPlan.pieces[task.piece];
            reader.TakeFromMemory(FPieces[task.piece].buffer->Data(), piece.start, piece.end - piece.start);
            CheckEntry(reader, FEntryOf(task.job, scratch), FJobs[task.job].size, hash, FState);
            break;
        }
        case TKind::Apart:
            reader.TakeFromMemory(nullptr, 0, 0);
            CheckEntry(reader, FEntryOf(task.job, scratch), FJobs[task.job].size, hash, FState);
            break;
        case TKind::Done:
            break;
    }
}

void TStreamedCheck::ReadPiece(std::size_t p) {
    const TFilePiece& piece = FPlan.pieces[p];
    const auto length = static_cast<std::size_t>(piece.end - piece.start);
    // The last piece asks for a byte more: a file that grew since it was measured is not the one
    // whose digest is taken.
    const bool last = p + 1 == FPlan.pieces.size();
    std::uint8_t* data = FPieces[p].buffer->Room(length + 1);
    const TIoResult result = ReadWholeAt(FFd, data, length + (last ? 1 : 0), piece.start);
    // Shorter or longer than measured: the file was changed while it was checked.
    if (result.error == 0 && result.done != length) FState.changed = true;
    if (result.error != 0 || result.done < length) throw EOlvex("Die Archivdatei kann nicht gelesen werden.");
    if (result.done > length) FDigestLost = true;
}

std::size_t TStreamedCheck::DigestStep(TSha256Lane* lane, const std::uint8_t* data, std::size_t size) {
    const std::size_t p = FPiecesDigested;
    if (p >= FPiecesRead || !DigestGoesOn()) return 0;
    const TFilePiece& piece = FPlan.pieces[p];
    const std::uint8_t* bytes = FPieces[p].buffer->Data() + FDigestOffset;
    const auto step = static_cast<std::size_t>(std::min<std::uint64_t>(size, piece.end - piece.start - FDigestOffset));
    if (lane != nullptr)
        TSha256Lane::UpdateBoth(*lane, data, FDigest, bytes, step);
    else
        FDigest.Update(bytes, step);
    FDigestOffset += step;
    if (FDigestOffset == piece.end - piece.start) {
        FDigestOffset = 0;
        FPiecesDigested = p + 1;
    }
    return step;
}

void TStreamedCheck::HashAlong(TSha256Lane& lane, const std::uint8_t* data, std::size_t size) {
    std::size_t done = 0;
    if (std::unique_lock digest(FDigestMutex, std::try_to_lock); digest.owns_lock())
        while (done < size) {
            const std::size_t step = DigestStep(&lane, data + done, size - done);
            if (step == 0) break;
            done += step;
        }
    lane.Update(data + done, size - done);
}

void TStreamedCheck::DigestAlone() {
    const std::size_t p = FPiecesDigested;
    while (FPiecesDigested == p && DigestGoesOn()) {
        const std::lock_guard digest(FDigestMutex);
        if (DigestStep(nullptr, nullptr, kDigestStep) == 0) break;
    }
}

void TStreamedCheck::Finish(const TTask& task, bool done) {
    switch (task.kind) {
        case TKind::Read:
            FReading = false;
            if (done) {
                FPieces[task.piece].read = true;
                FPiecesRead = task.piece + 1;
                break;
            }
            // The file cannot be read that far (cut short meanwhile, or a read error): no digest,
            // and the entries from here on are read each on its own, which names the fault.
            FDigestLost = true;
            FReadable = task.piece;
            FFree.push_back(FPieces[task.piece].buffer);
            FPieces[task.piece].buffer = nullptr;
            for (std::size_t p = task.piece; p < FPlan.pieces.size(); ++p) {
                const std::vector<std::size_t>& entries = FPlan.pieces[p].entries;
                FPlan.apart.insert(FPlan.apart.end(), entries.begin(), entries.end());
            }
            FNextRead = task.piece;
            break;
        case TKind::Digest:
            FDigesting = false;
            break;
        case TKind::Entry:
            --FPieces[task.piece].left;
            break;
        case TKind::Apart:
        case TKind::Done:
            break;
    }
    ReleaseDone();
}

void TStreamedCheck::ReleaseDone() {
    // Only what the digest has passed: a step of it may still be under way in the piece where it
    // stands even after it was given up. Once given up no piece is read any more, so the pieces
    // still held are not needed for reading.
    const std::size_t digested = FState.digestWanted ? FPiecesDigested.load() : FNextRead;
    for (std::size_t p = FFirstHeld; p < FNextRead; ++p) {
        TPieceState& piece = FPieces[p];
        if (piece.buffer == nullptr || !piece.read || piece.left != 0 || p >= digested) continue;
        FFree.push_back(piece.buffer);
        piece.buffer = nullptr;
    }
    while (FFirstHeld < FNextRead && FPieces[FFirstHeld].buffer == nullptr) ++FFirstHeld;
}

}  // namespace

void CheckStreamed(const TStreamedFile& file, const std::vector<TStreamedJob>& jobs, const TEntryOfJob& entryOf,
                   TSharedState& state, unsigned readers) {
    TStreamedCheck(file, jobs, entryOf, state, readers).Run();
}

}  // namespace tavik
