// Writing ZIP archives: anew, or keeping the entries of the archive that is there.
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <set>
#include <string_view>
#include <unordered_map>
#include <cstring>
#include <vector>

#include "host/services/freed_memory.h"
#include "host/services/open_below.h"
#include "host/services/safe_write.h"
#include "host/services/system_error.h"
#include "host/engine/pack/pack_pipeline.h"
#include "host/engine/pack/zip_archive_sink.h"
#include "host/engine/pack/pack_plan.h"
#include "host/engine/split/split_volumes.h"
#include "host/engine/zip/zip_format.h"
#include "host/engine/zip/zip_handles.h"
#include "host/engine/pack/zip_copied_source.h"
#include "host/engine/pack/zip_packed_source.h"
#include "host/engine/pack/fingerprint_seal.h"
#include "host/engine/zip/zip_fingerprint.h"

namespace tavik {


namespace {

// Progress of copying the entries that are there is reported at least every so many stored
// bytes, and at each entry's end when it is larger than that.
constexpr std::int64_t kCopyProgressStep = 256 * 1024;

constexpr int kDeflateLevel = kArchiveDeflateLevel;

// Extra fields that libzip writes itself and refuses to be given.
bool IsLibzipOwnField(zip_uint16_t id) { return id == 0x0001 || id == 0x7075 || id == 0x6375; }

void CopyExtraFields(zip_t* from, zip_uint64_t fromIndex, zip_t* to, zip_uint64_t toIndex, zip_flags_t where) {
    const zip_int16_t count = zip_file_extra_fields_count(from, fromIndex, where);
    for (zip_int16_t i = 0; i < count; ++i) {
        zip_uint16_t id = 0, length = 0;
        const zip_uint8_t* data =
            zip_file_extra_field_get(from, fromIndex, static_cast<zip_uint16_t>(i), &id, &length, where);
        if (data == nullptr || IsLibzipOwnField(id)) continue;
        if (zip_file_extra_field_set(to, toIndex, id, ZIP_EXTRA_FIELD_NEW, data, length, where) != 0)
            throw EOlvex("Zusatzangaben eines vorhandenen Eintrags können nicht übernommen werden: " +
                         ZipErrorText(zip_get_error(to)) + ".");
    }
}

// Takes the entry over as it is stored, without unpacking and packing it again; copied counts
// its bytes as libzip copies them.
void CopyEntryRaw(zip_t* from, const TZipEntry& entry, zip_t* to, TCopiedSource& copied) {
    const std::string failure = "Der vorhandene Eintrag „" + entry.name + "“ kann nicht übernommen werden: ";
    if (entry.encrypted)
        throw EOlvex(failure + "er ist verschlüsselt. Verschlüsselte Archive können nicht erweitert werden.");
    zip_source_t* stored = zip_source_zip(to, from, entry.index, 0, 0, -1);
    if (!stored) throw EOlvex(failure + ZipErrorText(zip_get_error(to)) + ".");
    TZipSourcePtr source(copied.Create(to, stored));
    if (!source) throw EOlvex(failure + ZipErrorText(zip_get_error(to)) + ".");
    const zip_int64_t index = zip_file_add(to, entry.name.c_str(), source.get(), ZipNameEncoding(entry.name));
    if (index < 0) throw EOlvex(failure + ZipErrorText(zip_get_error(to)) + ".");
    source.release();
    const auto at = static_cast<zip_uint64_t>(index);
    // Stored entries would otherwise be deflated on the way.
    if ((entry.stat.valid & ZIP_STAT_COMP_METHOD) && entry.stat.comp_method == ZIP_CM_STORE &&
        zip_set_file_compression(to, at, ZIP_CM_STORE, 0) != 0)
        throw EOlvex(failure + ZipErrorText(zip_get_error(to)) + ".");
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(from, entry.index, 0, &system, &attributes) != 0 ||
        zip_file_set_external_attributes(to, at, 0, system, attributes) != 0)
        throw EOlvex(failure + ZipErrorText(zip_get_error(to)) + ".");
    if ((entry.stat.valid & ZIP_STAT_MTIME) && zip_file_set_mtime(to, at, entry.stat.mtime, 0) != 0)
        throw EOlvex(failure + ZipErrorText(zip_get_error(to)) + ".");
    CopyExtraFields(from, entry.index, to, at, ZIP_FL_CENTRAL);
    CopyExtraFields(from, entry.index, to, at, ZIP_FL_LOCAL);
    zip_uint32_t commentLength = 0;
    if (const char* comment = zip_file_get_comment(from, entry.index, &commentLength, 0);
        comment != nullptr && commentLength > 0 &&
        zip_file_set_comment(to, at, comment, static_cast<zip_uint16_t>(commentLength), ZIP_FL_ENC_UTF_8) != 0)
        throw EOlvex(failure + ZipErrorText(zip_get_error(to)) + ".");
}

struct TFreeDeleter {
    void operator()(char* text) const { std::free(text); }
};

// The file to write for the archive named path: an archive given through a symbolic link is the
// file the link points at, which is written, while the link stays a link. Empty, with errno
// set, for a link whose target cannot be reached.
std::string ArchiveFileBehind(const std::string& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return path;
    const std::unique_ptr<char, TFreeDeleter> resolved(::realpath(path.c_str(), nullptr));
    return resolved ? std::string(resolved.get()) : std::string();
}


}  // namespace

bool TZipArchiv::ExecuteFilesAdd(bool addToExisting) {
    return RunCommand(TArchivCommand::Add, [this, addToExisting] { AddFiles(addToExisting); });
}

void TZipArchiv::AddFiles(bool addToExisting) {
    std::vector<TFileInfoItem> queued = std::move(FFileItems.Items());
    FFileItems.Clear();
    if (queued.empty()) return;
    if (ArchivFile.empty()) Fail("Es ist keine Archivdatei angegeben.");
    if (FindSplitSet(ArchivFile))
        Fail("Die Archivdatei „" + ArchivFile +
             "“ ist in mehrere Teile aufgeteilt und kann so nicht verändert werden. Bitte fügen Sie die Teile "
             "zuerst zusammen.");

    const std::string file = ArchiveFileBehind(ArchivFile);
    if (file.empty())
        Fail("„" + ArchivFile + "“ ist eine symbolische Verknüpfung, deren Ziel nicht erreichbar ist (" +
             SystemErrorText(errno) + "). Bitte die Verknüpfung berichtigen oder einen anderen Namen wählen.");
    struct stat target {};
    const bool targetExists = ::stat(file.c_str(), &target) == 0;
    if (targetExists && !S_ISREG(target.st_mode))
        Fail("„" + ArchivFile + "“ ist keine Datei und kann nicht als Archivdatei geschrieben werden.");

    TPackPlan plan = PlanPackEntries(queued, targetExists ? &target : nullptr,
                                                   [this](const std::string& item, const TReason& reason) {
                                                       ItemFailed(item, reason);
                                                   });
    std::vector<TFileInfoItem>().swap(queued);
    GiveBackFreedMemory();  // the queue's items, before the archive's work takes memory of its own
    // The caller decides item by item; the plan keeps what it lets through, under later names
    // replacing earlier ones of the same name. It is done in place: a second vector of every
    // entry would double the memory that many small files take.
    std::vector<TPackEntry>& accepted = plan.entries;
    std::unordered_map<std::string_view, std::size_t> byName;  // views into the names kept
    std::size_t keptCount = 0;
    for (std::size_t i = 0; i < accepted.size(); ++i) {
        TFileInfoItem item = plan.ItemOf(accepted[i]);
        PFileInfoItem current = &item;
        if (!ItemStart(current)) continue;
        std::size_t place = keptCount;
        if (const auto found = byName.find(accepted[i].name); found != byName.end()) {
            place = found->second;
            byName.erase(found);  // its view goes with the name it replaces
        } else {
            ++keptCount;
        }
        if (place != i) accepted[place] = std::move(accepted[i]);
        byName.emplace(accepted[place].name, place);
    }
    accepted.resize(keptCount);
    if (accepted.empty()) return;
    TZipPtr old;
    std::vector<TZipEntry> oldEntries;
    // The entries that are kept, as the progress events name them, and their stored bytes,
    // which count towards the command's total before the files to pack.
    std::vector<TFileInfoItem> oldItems;
    std::int64_t copyTotal = 0;
    if (addToExisting && targetExists) {
        TZipReading existing = OpenZipForReading(file, false);
        old = std::move(existing.archive);
        for (TZipEntry& entry : existing.entries)
            if (byName.count(std::string_view(entry.name)) == 0) oldEntries.push_back(std::move(entry));
        for (const TZipEntry& entry : oldEntries) {
            TFileInfoItem item;
            item.FileName = entry.name;
            item.Size = static_cast<std::int64_t>(entry.stat.size);
            oldItems.push_back(std::move(item));
            if (entry.stat.valid & ZIP_STAT_COMP_SIZE) copyTotal += static_cast<std::int64_t>(entry.stat.comp_size);
        }
    }
    // A comment of the archive's own is kept; a seal of ours, or none, becomes a new seal.
    std::string oldComment;
    if (old)
        if (const char* comment = zip_get_archive_comment(old.get(), nullptr, 0); comment != nullptr)
            oldComment = comment;
    const bool sealed = oldComment.empty() || zip::LooksLikeSeal(oldComment);
    const std::optional<TSha256Digest> journalHead =
        JournalHead.empty() ? TSha256Digest{} : DigestOfHex(JournalHead);
    if (!journalHead) Fail("Der Kopf des Journals ist keine SHA-256-Prüfsumme: „" + JournalHead + "“.");
    std::unordered_map<std::string_view, std::size_t>().swap(byName);

    // Where each entry's file stands among the files packed (accepted.size() for none), and
    // what it became.
    std::vector<std::size_t> fileOf;
    std::vector<TPackedSources::TResult> results;
    std::set<std::size_t> skipped;
    std::int64_t allBytes = 0;
    if (oldEntries.empty()) {
        WriteNewArchive(file, targetExists ? &target : nullptr, plan, sealed, oldComment, *journalHead, skipped,
                        fileOf, results);
        GiveBackFreedMemory();  // the writer's and pipeline's, before the list of what was packed
        for (const TPackedSources::TResult& result : results) allBytes += result.size;
    } else {
        // A file that cannot be opened is left out before anything is written: found only while the
        // archive is written, it costs a whole pass (see below).
        const auto packFile = [this](const TPackEntry& entry) {
            return TPackFile{entry.path, ShortestBaseOf(SourceBases, entry.path), entry.size};
        };
        TFileOpenerBelow opener;
        for (std::size_t i = 0; i < accepted.size(); ++i) {
            if (accepted[i].directory) continue;
            if (const TReason failure = ProbePackFile(opener, packFile(accepted[i])); !failure.empty()) {
                skipped.insert(i);
                ItemFailed(accepted[i].path, failure);
            }
        }
        std::int64_t total = 0;
        for (std::size_t i = 0; i < accepted.size(); ++i)
            if (!accepted[i].directory && skipped.count(i) == 0) total += accepted[i].size;
        allBytes = copyTotal + total;

        // A file that cannot be read while the archive is written (it could be opened above, but it
        // was swapped or fails now) makes libzip give up the whole archive; when the caller lets us
        // skip the file, the archive is written again without it.
        for (;;) {
            TSafeWrite pending(file, TDurability::Flushed);
            if (targetExists) pending.SetMode(target.st_mode & 0777);
            // The files are read and deflated on worker threads from here on; libzip writes what
            // they deliver as it is. The archive goes first, before the sources it refers to and
            // the sink it writes to.
            fileOf.assign(accepted.size(), accepted.size());
            std::vector<std::size_t> entryOf;
            std::vector<TPackFile> files;
            std::vector<std::int64_t> plannedSizes;
            entryOf.reserve(accepted.size());
            files.reserve(accepted.size());
            plannedSizes.reserve(accepted.size());
            for (std::size_t i = 0; i < accepted.size(); ++i) {
                if (skipped.count(i) != 0 || accepted[i].directory) continue;
                fileOf[i] = files.size();
                entryOf.push_back(i);
                files.push_back(packFile(accepted[i]));
                plannedSizes.push_back(accepted[i].size);
            }
            TPackOptions options;
            options.level = kDeflateLevel;
            TPackPipeline pipeline(std::move(files), options);
            // Bytes of the whole command: the stored bytes of the entries copied, then the bytes of
            // the files read.
            std::int64_t done = 0;
            std::int64_t reported = 0;
            TPackedSources sources(
                pipeline, plannedSizes,
                [this, &plan, &entryOf, &done, allBytes, lastFile = accepted.size(), last = std::int64_t{0},
                 current = TFileInfoItem{}](std::size_t packed, std::int64_t read, std::int64_t size) mutable {
                    if (packed != lastFile) {
                        lastFile = packed;
                        last = 0;
                        current = plan.ItemOf(plan.entries[entryOf[packed]]);
                    }
                    done += read - last;
                    last = read;
                    return ItemProgressNoThrow(&current, read, size) && ProgressNoThrow(done, allBytes);
                });
            std::vector<std::int64_t>().swap(plannedSizes);
            std::vector<std::unique_ptr<TCopiedSource>> copies;
            TArchiveSink sink(pending.Fd());
            zip_error_t openError;
            zip_error_init(&openError);
            const std::unique_ptr<zip_error_t, TZipErrorFini> openErrorOwner(&openError);
            TZipSourcePtr target(sink.Create(&openError));
            TZipPtr archive(target ? zip_open_from_source(target.get(), ZIP_CREATE | ZIP_TRUNCATE, &openError) : nullptr);
            if (!archive)
                Fail("Die neue Archivdatei kann nicht angelegt werden: " + ZipErrorText(&openError) + ".",
                     ZipErrorKind(&openError));
            target.release();  // the archive owns it now
            RegisterAbort(archive.get());
            const auto failure = [&archive](const std::string& what) {
                return what + ": " + ZipErrorText(zip_get_error(archive.get())) + ".";
            };

            std::uint64_t entryCount = oldEntries.size();
            for (std::size_t i = 0; i < accepted.size(); ++i) entryCount += skipped.count(i) == 0 ? 1 : 0;
            const std::string comment =
                sealed ? zip::SealComment({.entries = entryCount, .digest = {}, .journal = *journalHead}) : oldComment;
            if (!comment.empty() &&
                zip_set_archive_comment(archive.get(), comment.data(), static_cast<zip_uint16_t>(comment.size())) != 0)
                Fail(failure("Der Kommentar des Archivs kann nicht geschrieben werden"));
            const std::string placeholder = zip::FingerprintField({});

            for (std::size_t i = 0; old && i < oldEntries.size(); ++i) {
                const TZipEntry& entry = oldEntries[i];
                const std::int64_t stored = (entry.stat.valid & ZIP_STAT_COMP_SIZE)
                                                ? static_cast<std::int64_t>(entry.stat.comp_size)
                                                : 0;
                PFileInfoItem item = &oldItems[i];
                copies.push_back(std::make_unique<TCopiedSource>(
                    [this, item, stored, &done, &reported, allBytes, last = std::int64_t{0}](std::int64_t read) mutable {
                        done += read - last;
                        last = read;
                        // Many small entries are reported together; the abort is seen in between.
                        if (done - reported < kCopyProgressStep && (read < stored || stored < kCopyProgressStep))
                            return !AbortRequested();
                        reported = done;
                        return ItemProgressNoThrow(item, read, stored) && ProgressNoThrow(done, allBytes);
                    }));
                CopyEntryRaw(old.get(), entry, archive.get(), *copies.back());
            }
            for (std::size_t i = 0; i < accepted.size(); ++i) {
                if (skipped.count(i) != 0) continue;
                TPackEntry& entry = accepted[i];
                zip_int64_t index;
                if (entry.directory) {
                    index = zip_dir_add(archive.get(), entry.name.c_str(), ZipNameEncoding(entry.name));
                } else {
                    TZipSourcePtr source(sources.Create(archive.get(), fileOf[i]));
                    if (!source) Fail(failure("Die Datei „" + entry.path + "“ kann nicht gepackt werden"));
                    index = zip_file_add(archive.get(), entry.name.c_str(), source.get(), ZipNameEncoding(entry.name));
                    if (index >= 0) source.release();
                    // The place of the fingerprint, filled in once the content has been read.
                    if (index >= 0 &&
                        zip_file_extra_field_set(archive.get(), static_cast<zip_uint64_t>(index), zip::kFingerprintId,
                                                 ZIP_EXTRA_FIELD_NEW,
                                                 reinterpret_cast<const zip_uint8_t*>(placeholder.data()),
                                                 static_cast<zip_uint16_t>(placeholder.size()),
                                                 ZIP_FL_LOCAL | ZIP_FL_CENTRAL) != 0)
                        Fail(failure("Der Fingerabdruck des Eintrags „" + entry.name + "“ kann nicht angelegt werden"));
                }
                if (index < 0) Fail(failure("Der Eintrag „" + entry.name + "“ kann nicht angelegt werden"));
                const auto at = static_cast<zip_uint64_t>(index);
                const bool stored = !entry.directory && sources.Stored(fileOf[i]);
                if (!entry.directory &&
                    zip_set_file_compression(archive.get(), at, stored ? ZIP_CM_STORE : ZIP_CM_DEFLATE,
                                             stored ? 0 : static_cast<zip_uint32_t>(kDeflateLevel)) != 0)
                    Fail(failure("Die Kompression des Eintrags „" + entry.name + "“ kann nicht gesetzt werden"));
                const std::time_t mtime = entry.entryTime != TDateTime{} ? DateTimeToFileTime(entry.entryTime)
                                                                          : entry.mtime;
                if (!SetZipEntryTime(archive.get(), at, mtime) ||
                    zip_file_set_external_attributes(archive.get(), at, 0, ZIP_OPSYS_UNIX,
                                                     ZipUnixAttributes(entry.mode)) != 0)
                    Fail(failure("Die Angaben zum Eintrag „" + entry.name + "“ können nicht gesetzt werden"));
            }
            Progress(0, allBytes);

            if (zip_close(archive.get()) == 0) {
                archive.release();  // closed and freed by libzip
                // Every file failed and nothing was there before: no archive without entries.
                if (sink.Removed())
                    Fail(std::string("Keine der Dateien konnte gelesen werden, es gibt nichts zu packen; die Archivdatei „") +
                         ArchivFile + (targetExists ? "“ bleibt, wie sie war." : "“ wurde nicht angelegt.") +
                         " Die Gründe stehen bei den einzelnen Dateien.");
                std::vector<TFreshEntry> fresh;
                fresh.reserve(accepted.size() - skipped.size());
                for (std::size_t i = 0; i < accepted.size(); ++i) {
                    if (skipped.count(i) != 0) continue;
                    fresh.push_back({accepted[i].name, accepted[i].directory
                                                           ? std::nullopt
                                                           : std::optional(sources.Result(fileOf[i]).sha256)});
                }
                FillFingerprints(pending.Fd(), oldEntries.size(), fresh, sealed);
                pending.Place(TPlacing::Replace);
                results.reserve(entryOf.size());
                for (std::size_t packed = 0; packed < entryOf.size(); ++packed) results.push_back(sources.Result(packed));
                break;  // the pipeline and the sources go before the list of what was packed is made
            } else {
                const std::string reason = ZipErrorText(zip_get_error(archive.get()));
                const TErrorKind kind = ZipErrorKind(zip_get_error(archive.get()));
                archive.reset();
                RethrowPending();
                CheckAbort();
                const std::optional<std::size_t> failed = sources.FailedFile();
                if (!failed)
                    Fail("Die Archivdatei „" + ArchivFile + "“ kann nicht geschrieben werden: " + reason + ".", kind);
                skipped.insert(entryOf[*failed]);
                ItemFailed(accepted[entryOf[*failed]].path, sources.Failure());
                continue;  // the item may be skipped: write again without it
            }
        }
    }

    // What was packed, files first and directories after their contents, so that whoever
    // deletes the packed items can remove emptied directories. The names move over: the plan
    // is not needed any more.
    std::vector<TFileInfoItem>& packedItems = FFileItems.Items();
    packedItems.reserve(packedItems.size() + accepted.size() - skipped.size());
    std::vector<std::size_t> directories;
    for (std::size_t i = 0; i < accepted.size(); ++i) {
        if (skipped.count(i) != 0) continue;
        if (accepted[i].directory) {
            directories.push_back(i);
            continue;
        }
        TFileInfoItem& item = packedItems.emplace_back(plan.ItemOf(accepted[i]));
        item.EntryName = std::move(accepted[i].name);
        std::string().swap(accepted[i].path);
        const TPackedSources::TResult& result = results[fileOf[i]];
        item.Size = result.size;
        item.Crc = result.crc;
        item.Sha256 = result.sha256;
        item.DateTime = FileTimeToDateTime(result.modified);
    }
    for (auto it = directories.rbegin(); it != directories.rend(); ++it) {
        TFileInfoItem& item = packedItems.emplace_back(plan.ItemOf(accepted[*it]));
        item.EntryName = std::move(accepted[*it].name);
    }
    Progress(allBytes, allBytes);
}

}  // namespace tavik
