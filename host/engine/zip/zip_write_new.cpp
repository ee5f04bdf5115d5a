// A new archive written by the engine's own writer: the files come deflated from the pack
// pipeline and go into the archive as they come, one entry after the other.
#include <zlib.h>

#include "host/engine/pack/pack_pipeline.h"
#include "host/engine/pack/pack_plan.h"
#include "host/engine/pack/zip_stream_writer.h"
#include "host/engine/zip/zip_fingerprint.h"
#include "host/engine/zip/zip_format.h"
#include "host/services/open_below.h"
#include "host/services/safe_write.h"

namespace tavik {

namespace {

// From this size on a file's entry takes its sizes in the Zip64 form from the start: deflate
// may add a little to data that does not compress, and the form of the local header is fixed
// before the data is read.
constexpr std::int64_t kLargeEntry = 0xFF000000;

}  // namespace

void TZipArchiv::WriteNewArchive(const std::string& file, const struct stat* target, const TPackPlan& plan,
                                 bool sealed, const std::string& comment, const TSha256Digest& journalHead,
                                 std::set<std::size_t>& skipped, std::vector<std::size_t>& fileOf,
                                 std::vector<TPackedResult>& results) {
    const std::vector<TPackEntry>& entries = plan.entries;
    fileOf.assign(entries.size(), entries.size());
    std::vector<TPackFile> files;
    files.reserve(entries.size());
    std::int64_t total = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].directory) continue;
        fileOf[i] = files.size();
        files.push_back({entries[i].path, ShortestBaseOf(SourceBases, entries[i].path), entries[i].size});
        total += entries[i].size;
    }
    results.assign(files.size(), {});

    TSafeWrite pending(file, TDurability::Flushed);
    if (target != nullptr) pending.SetMode(target->st_mode & 0777);
    TZipStreamWriter writer(pending.Fd(), ArchivFile);
    // The files are read and deflated on worker threads from here on; the pipeline goes before
    // the file it is written to.
    TPackOptions options;
    options.level = kArchiveDeflateLevel;
    TPackPipeline pipeline(std::move(files), options);
    std::int64_t done = 0;
    Progress(0, total);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const TPackEntry& entry = entries[i];
        const std::time_t mtime = entry.entryTime != TDateTime{} ? DateTimeToFileTime(entry.entryTime) : entry.mtime;
        writer.Begin({.name = entry.name,
                      .directory = entry.directory,
                      .deflated = !entry.directory && entry.size > 0,
                      .large = entry.size >= kLargeEntry,
                      .mtime = mtime,
                      .mode = entry.mode});
        if (entry.directory) {
            writer.End(0, 0, std::nullopt);
            continue;
        }
        // A file's pieces all come, also after one of them failed.
        TPackedResult& result = results[fileOf[i]];
        TFileInfoItem item = plan.ItemOf(entry);
        TReason failure;
        for (bool last = false; !last;) {
            const TPackPiece piece = pipeline.Take();
            last = piece.last;
            if (!failure.empty()) continue;
            if (!piece.failure.empty()) {
                failure = piece.failure;
                continue;
            }
            if (entry.size > 0) writer.Data(piece.deflated.data(), piece.deflated.size());
            result.crc = static_cast<std::uint32_t>(
                crc32_combine(result.crc, piece.crc, static_cast<z_off_t>(piece.size)));
            result.size += piece.size;
            if (piece.last) {
                result.sha256 = piece.sha256;
                result.modified = piece.modified;
            }
            done += piece.size;
            if (entry.size == 0) continue;  // nothing to tell of an empty file
            ItemProgress(&item, result.size, entry.size);
            Progress(done, total);
        }
        if (!failure.empty()) {
            writer.Drop();
            done -= result.size;
            result = {};
            skipped.insert(i);
            ItemFailed(entry.path, failure);
            continue;
        }
        writer.End(result.crc, static_cast<std::uint64_t>(result.size), result.sha256);
    }
    if (writer.Entries() == 0)
        Fail(std::string("Keine der Dateien konnte gelesen werden, es gibt nichts zu packen; die Archivdatei „") +
             ArchivFile + (target != nullptr ? "“ bleibt, wie sie war." : "“ wurde nicht angelegt.") +
             " Die Gründe stehen bei den einzelnen Dateien.");
    writer.Finish(sealed ? zip::SealComment({.entries = writer.Entries(), .digest = writer.SealDigest(),
                                             .journal = journalHead})
                         : comment);
    pending.Place(TPlacing::Replace);
}

}  // namespace tavik
