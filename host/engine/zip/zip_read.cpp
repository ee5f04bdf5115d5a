// Listing, verifying and extracting ZIP archives.
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <set>

#include "host/engine/extract/entry_name.h"
#include "host/engine/extract/extract_target.h"
#include "host/engine/zip/zip_entry_prefetch.h"
#include "host/engine/zip/zip_entry_reader.h"
#include "host/engine/zip/zip_format.h"
#include "host/engine/split/split_reader.h"
#include "host/engine/zip/zip_handles.h"

namespace tavik {

namespace {

constexpr zip_uint64_t kMaxLinkTarget = 4096;

// The rights an entry's file is made with (the umask applies).
mode_t FileMode(const TZipEntry& entry) { return entry.mode != 0 ? (entry.mode & 0777) : 0666; }

constexpr const char* kFingerprintMismatch =
    "Der Inhalt passt nicht zu seinem SHA-256-Fingerabdruck: der Eintrag wurde verändert.";

// A password that proved wrong is forgotten however the command ends, so that the next asks.
class TForgetWrongPassword {
public:
    TForgetWrongPassword(std::string& password, const TZipEntryReader& reader) : FPassword(password), FReader(reader) {}
    TForgetWrongPassword(const TForgetWrongPassword&) = delete;
    TForgetWrongPassword& operator=(const TForgetWrongPassword&) = delete;
    ~TForgetWrongPassword() {
        if (FReader.PasswordFailed()) FPassword.clear();
    }

private:
    std::string& FPassword;
    const TZipEntryReader& FReader;
};

std::int64_t EntrySize(const TZipEntry& entry) {
    return (entry.stat.valid & ZIP_STAT_SIZE) ? static_cast<std::int64_t>(entry.stat.size) : 0;
}

// Throws when an entry's data does not fit the fingerprint written with it.
void CheckFingerprint(const TZipEntry& entry, std::span<const std::uint8_t> data) {
    if (!entry.fingerprint) return;
    TSha256 hash;
    hash.Update(data.data(), data.size());
    if (hash.Final() != *entry.fingerprint) throw EOlvex(kFingerprintMismatch, TErrorKind::DamagedArchive);
}

}  // namespace

TEntryReadLimits TZipArchiv::ReadLimits() const {
    TEntryReadLimits limits;
    if (NoLimits) {
        limits.decoderMemory = UINT64_MAX;
        limits.helperLimitsLifted = true;
    }
    return limits;
}

void TZipArchiv::RegisterAbort(zip_t* archive) {
    if (zip_register_cancel_callback_with_state(
            archive, [](zip_t*, void* self) { return static_cast<TZipArchiv*>(self)->AbortRequested() ? 1 : 0; },
            nullptr, this) != 0)
        Fail("Die Abbruchmöglichkeit kann nicht eingerichtet werden: " + ZipErrorText(zip_get_error(archive)) + ".");
}

void TZipArchiv::PreparePassword(TZipEntryReader& reader, const TZipEntry& entry) {
    if (!entry.encrypted || reader.HasPassword()) return;
    if (Password.empty() && OnPassword && !FPasswordAsked) {
        FPasswordAsked = true;
        std::string answer;
        if (OnPassword(*this, answer)) Password = std::move(answer);
    }
    if (!Password.empty()) reader.SetPassword(Password);
}

bool TZipArchiv::ExecuteArchivList() {
    return RunCommand(TArchivCommand::List, [this] {
        FArchivItems.Clear();
        const TZipReading zip = OpenZipForReading(ArchivFile, false);
        TFileItemsList items;
        for (const TZipEntry& entry : zip.entries) items.Add(ZipEntryItem(entry));
        FArchivItems = std::move(items);
    });
}

bool TZipArchiv::ExecuteArchivListEach(const TListEntryEvent& each) {
    return RunCommand(TArchivCommand::List, [this, &each] {
        FArchivItems.Clear();
        // One entry and one item, their buffers kept from one entry to the next.
        TZipEntry entry;
        TFileInfoItem item;
        std::string scratch;
        std::int64_t index = 0;
        StreamZipDirectory(ArchivFile, [&](const zip::TDirectoryEntry& listed) {
            if (index % 4096 == 0) CheckAbort();
            ListedZipEntry(static_cast<zip_uint64_t>(index), listed.header, entry, scratch);
            FillZipEntryItem(entry, item);
            each(index++, item);
        });
    });
}

bool TZipArchiv::RecognisedAtAGlance() const {
    try {
        CheckZipEndRecords(ArchivFile);
        return true;
    } catch (const EOlvex&) {
        // Not there, no ZIP, or its end records do not hold: the simple check says which.
        return false;
    }
}

void TZipArchiv::ReadEntryData(TZipEntryReader& reader, const TZipEntry& entry, TFileInfoItem& item,
                               std::int64_t& done, std::int64_t total,
                               const std::function<void(const char*, std::size_t)>& sink, const TEntryReadAhead* ahead) {
    const std::int64_t size = EntrySize(entry);
    const std::int64_t before = done;
    PFileInfoItem current = &item;
    ItemProgress(current, 0, size);
    const auto progress = [&](std::int64_t read) {
        done = before + read;
        ItemProgress(current, read, size);
        Progress(done, total);
    };
    if (ahead != nullptr) {
        if (ahead->error) std::rethrow_exception(ahead->error);
        const std::span<const std::uint8_t> data = ahead->data;
        const std::size_t piece = ReadLimits().piece;
        for (std::size_t at = 0; at < data.size();) {
            const std::size_t length = std::min(piece, data.size() - at);
            sink(reinterpret_cast<const char*>(data.data() + at), length);
            at += length;
            progress(static_cast<std::int64_t>(at));
        }
        return;
    }
    PreparePassword(reader, entry);
    reader.Read(
        entry,
        [&sink](const std::uint8_t* data, std::size_t length) {
            sink(reinterpret_cast<const char*>(data), length);
        },
        progress);
}

bool TZipArchiv::ExecuteArchivVerify(TArchivVerifyMode mode) {
    return RunCommand(TArchivCommand::Verify, [this, mode] {
        const TZipReading zip = OpenZipForReading(ArchivFile, true);
        // The seal is checked from the directory alone: an entry removed or a fingerprint
        // changed shows without reading any data.
        if (!zip.seal.failure.empty())
            Fail("Die Archivdatei „" + ArchivFile + "“ wurde verändert. " + zip.seal.failure, TErrorKind::DamagedArchive);
        if (mode != TArchivVerifyMode::Complete) return;
        RegisterAbort(zip.archive.get());
        const std::vector<TZipEntry>& entries = zip.entries;
        TZipEntryReader reader(zip.archive.get(), ReadLimits());
        if (zip.files) reader.ReadDirectly(*zip.files, zip.dataStarts, zip.dataLimit);
        const TForgetWrongPassword forget(Password, reader);
        FPasswordAsked = false;
        std::int64_t total = 0, done = 0;
        for (const TZipEntry& entry : entries) total += EntrySize(entry);
        Progress(0, total);
        TVerifyCounts counts;
        TSha256 hash;
        for (const TZipEntry& entry : entries) {
            TFileInfoItem item = ZipEntryItem(entry);
            PFileInfoItem current = &item;
            if (!ItemStart(current)) {
                done += EntrySize(entry);
                continue;
            }
            const std::int64_t before = done;
            try {
                ReadEntryData(reader, entry, item, done, total, [&hash, &entry](const char* data, std::size_t size) {
                    if (entry.fingerprint) hash.Update(data, size);
                });
                if (entry.fingerprint && hash.Final() != *entry.fingerprint)
                    throw EOlvex(kFingerprintMismatch, TErrorKind::DamagedArchive);
                if (!entry.directory) ++(entry.fingerprint ? counts.BySha256 : counts.ByCrcOnly);
            } catch (const ECommandAborted&) {
                throw;
            } catch (const ECommandFailed&) {
                throw;
            } catch (const EOlvex& e) {
                hash = TSha256();
                done = before + EntrySize(entry);
                ItemFailed(entry.name, {e.what(), e.Kind()});
            }
        }
        Progress(done, total);
        counts.Sealed = zip.seal.present;
        FVerifyCounts = counts;
    });
}

bool TZipArchiv::ExecuteArchivExtract() {
    return RunCommand(TArchivCommand::Extract, [this] { Extract(nullptr); });
}

bool TZipArchiv::ExecuteArchivExtract(const std::vector<int>& indexes) {
    return RunCommand(TArchivCommand::Extract, [this, &indexes] { Extract(&indexes); });
}

void TZipArchiv::Extract(const std::vector<int>* indexes) {
    // The structure is checked first: entries that overlap could unpack far beyond the archive.
    const TZipReading zip = OpenZipForReading(ArchivFile, true);
    RegisterAbort(zip.archive.get());
    const std::vector<TZipEntry>& entries = zip.entries;
    std::vector<const TZipEntry*> chosen;
    if (indexes == nullptr) {
        for (const TZipEntry& entry : entries) chosen.push_back(&entry);
    } else {
        std::set<int> seen;
        for (const int index : *indexes) {
            if (index < 0 || static_cast<std::size_t>(index) >= entries.size())
                Fail("Das Archiv hat keinen Eintrag Nr. " + std::to_string(index) +
                     "; es wurde inzwischen wohl verändert. Bitte öffnen Sie es erneut.");
            if (seen.insert(index).second) chosen.push_back(&entries[static_cast<std::size_t>(index)]);
        }
    }
    TExtractTarget target(ExtractDir, ExtractBase, ConflictQuestion());
    std::int64_t total = 0, done = 0;
    for (const TZipEntry* entry : chosen) total += EntrySize(*entry);
    Progress(0, total);
    TZipEntryReader reader(zip.archive.get(), ReadLimits());
    if (zip.files) reader.ReadDirectly(*zip.files, zip.dataStarts, zip.dataLimit);
    const TForgetWrongPassword forget(Password, reader);
    FPasswordAsked = false;
    // The entries to come are read and checked on another thread while one is written.
    TZipEntryPrefetch prefetch(zip, chosen, ReadLimits(), CheckFingerprint);
    std::vector<std::optional<mode_t>> modes;
    for (const TZipEntry* entry : chosen)
        modes.push_back(entry->directory || entry->symlink ? std::nullopt : std::optional(FileMode(*entry)));
    target.MakeFilesAhead(std::move(modes));
    for (std::size_t position = 0; position < chosen.size(); ++position)
        ExtractEntry(reader, prefetch.Take(position), *chosen[position], target, position, done, total);
    target.RestoreDirectoryTimes();
    Progress(done, total);
}

void TZipArchiv::ExtractEntry(TZipEntryReader& reader, const TEntryReadAhead* ahead, const TZipEntry& entry,
                              TExtractTarget& target, std::size_t position, std::int64_t& done, std::int64_t total) {
    TFileInfoItem item = ZipEntryItem(entry);
    PFileInfoItem current = &item;
    const std::int64_t after = done + EntrySize(entry);
    if (!ItemStart(current)) {
        done = after;
        return;
    }
    std::vector<std::string> parts;
    TReason reason = RefusedEntryName(entry.name, parts, ExtractStripParts, entry.madeOnUnix);
    if (!entry.directory) CountFileToExtract();
    try {
        if (!reason.empty()) {
        } else if (entry.directory) {
            reason = target.MakeDirectory(parts, entry.mtime);
        } else if (entry.symlink) {
            if (EntrySize(entry) > static_cast<std::int64_t>(kMaxLinkTarget)) {
                reason = {"Das Ziel der Verknüpfung ist zu lang.", TErrorKind::RefusedEntry};
            } else {
                std::string linkTarget;
                ReadEntryData(reader, entry, item, done, total,
                              [&linkTarget](const char* data, std::size_t size) { linkTarget.append(data, size); });
                reason = target.MakeSymlink(parts, linkTarget);
                if (reason.empty()) CountCommitted(TCommitOutcome::Written);
            }
        } else {
            // A wrong password shows before anything of the entry is written.
            PreparePassword(reader, entry);
            reader.CheckPassword(entry);
            std::unique_ptr<TExtractFile> file;
            reason = target.CreateFile(parts, FileMode(entry), file, position);
            if (reason.empty()) {
                // Data read ahead has been checked against the fingerprint there. Otherwise what
                // is written is hashed on the way: a file whose content no longer fits the
                // fingerprint written with it never takes its name.
                const bool checked = ahead != nullptr;
                TSha256 hash;
                const auto write = [&file, &hash, &entry, checked](const char* data, std::size_t size) {
                    const TReason error = file->Write(data, size);
                    if (!error.empty()) throw EOlvex(error.Text, error.Kind);
                    if (entry.fingerprint && !checked) hash.Update(data, size);
                };
                ReadEntryData(reader, entry, item, done, total, write, ahead);
                if (entry.fingerprint && !checked && hash.Final() != *entry.fingerprint)
                    throw EOlvex(kFingerprintMismatch, TErrorKind::DamagedArchive);
                reason = file->Commit(EntrySize(entry), entry.mtime);
                if (reason.empty()) CountCommitted(file->Outcome());
            }
        }
    } catch (const ECommandAborted&) {
        throw;
    } catch (const ECommandFailed&) {
        throw;
    } catch (const EOlvex& e) {
        reason = {e.what(), e.Kind()};
    }
    done = after;
    if (reason.empty()) return;
    if (!entry.directory) target.Abandon(parts);
    ItemFailed(entry.name, reason);
}

}  // namespace tavik
