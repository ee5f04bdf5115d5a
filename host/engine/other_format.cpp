#include "host/engine/other_format.h"

#include <set>

#include "host/engine/entry_name.h"
#include "host/engine/extract_target.h"
#include "host/engine/other_reader.h"

namespace tavik {

namespace {

// ARCHIVE_WARN carries on; anything worse ends reading this archive.
bool Worse(int status) { return status < ARCHIVE_WARN; }

}  // namespace

bool TOtherArchiv::ExecuteArchivList() {
    return RunCommand(TArchivCommand::List, [this] { ReadDirectory(); });
}

void TOtherArchiv::ReadDirectory() {
    FArchivItems.Clear();
    FListedFile.clear();
    const TUtf8Locale utf8;
    const TArchivePtr reader = OpenArchiveReader(ArchivFile);
    TFileItemsList items;
    for (;;) {
        archive_entry* entry = nullptr;
        const int status = archive_read_next_header(reader.get(), &entry);
        if (status == ARCHIVE_EOF) break;
        if (Worse(status)) Fail("Die Archivdatei „" + ArchivFile + "“ kann nicht gelesen werden: " +
                                ArchiveErrorText(reader.get()) + ".");
        items.Add(ArchiveEntryItem(entry));
        CheckAbort();
    }
    FArchivItems = std::move(items);
    FListedFile = ArchivFile;
}

std::int64_t TOtherArchiv::KnownTotal() {
    if (FListedFile != ArchivFile) ReadDirectory();
    std::int64_t total = 0;
    for (const TFileInfoItem& item : FArchivItems.Items()) total += item.Size;
    return total;
}

bool TOtherArchiv::ExecuteArchivVerify(TArchivVerifyMode mode) {
    return RunCommand(TArchivCommand::Verify, [this, mode] {
        if (mode == TArchivVerifyMode::Complete) {
            ReadAll(false, nullptr);
        } else {
            ReadDirectory();
        }
    });
}

bool TOtherArchiv::ExecuteArchivExtract() {
    return RunCommand(TArchivCommand::Extract, [this] { ReadAll(true, nullptr); });
}

bool TOtherArchiv::ExecuteArchivExtract(const std::vector<int>& indexes) {
    return RunCommand(TArchivCommand::Extract, [this, &indexes] { ReadAll(true, &indexes); });
}

void TOtherArchiv::ReadAll(bool extract, const std::vector<int>* indexes) {
    std::int64_t total = KnownTotal();
    std::set<int> chosen;
    if (indexes != nullptr) {
        total = 0;
        for (const int index : *indexes) {
            if (index < 0 || index >= FArchivItems.GetCount())
                Fail("Das Archiv hat keinen Eintrag Nr. " + std::to_string(index) +
                     "; es wurde inzwischen wohl verändert. Bitte öffnen Sie es erneut.");
            if (chosen.insert(index).second) total += FArchivItems.GetItem(index).Size;
        }
    }
    std::unique_ptr<TExtractTarget> target;
    if (extract) target = std::make_unique<TExtractTarget>(ExtractDir, ConflictQuestion());

    const TUtf8Locale utf8;
    const TArchivePtr reader = OpenArchiveReader(ArchivFile);
    std::int64_t done = 0;
    Progress(0, total);
    for (int position = 0;; ++position) {
        archive_entry* entry = nullptr;
        const int status = archive_read_next_header(reader.get(), &entry);
        if (status == ARCHIVE_EOF) break;
        if (Worse(status)) Fail("Die Archivdatei „" + ArchivFile + "“ kann nicht gelesen werden: " +
                                ArchiveErrorText(reader.get()) + ".");
        if (indexes != nullptr && chosen.count(position) == 0) continue;
        TFileInfoItem item = ArchiveEntryItem(entry);
        PFileInfoItem current = &item;
        if (!ItemStart(current)) continue;
        const std::string name = ArchiveEntryName(entry);
        if (extract) {
            ExtractEntry(reader.get(), entry, item, *target, done, total);
        } else if (archive_entry_is_encrypted(entry)) {
            ItemFailed(name, "Der Eintrag ist verschlüsselt und kann nicht geprüft werden.");
        } else {
            try {
                ReadData(reader.get(), item, done, total, [](std::int64_t, const void*, std::size_t) {
                    return std::string();
                });
            } catch (const ECommandFailed&) {
                throw;
            } catch (const ECommandAborted&) {
                throw;
            } catch (const EOlvex& e) {
                ItemFailed(name, e.what());
            }
        }
    }
    if (target) target->RestoreDirectoryTimes();
    Progress(done, total);
}

void TOtherArchiv::ReadData(archive* reader, TFileInfoItem& item, std::int64_t& done, std::int64_t total,
                            const std::function<std::string(std::int64_t, const void*, std::size_t)>& sink) {
    PFileInfoItem current = &item;
    std::int64_t read = 0;
    ItemProgress(current, 0, item.Size);
    for (;;) {
        const void* block = nullptr;
        std::size_t size = 0;
        la_int64_t offset = 0;
        const int status = archive_read_data_block(reader, &block, &size, &offset);
        if (status == ARCHIVE_EOF) break;
        if (status == ARCHIVE_FATAL) Fail("Die Archivdatei „" + ArchivFile + "“ ist beschädigt: " +
                                          ArchiveErrorText(reader) + ".");
        if (Worse(status)) throw EOlvex(ArchiveErrorText(reader) + ".");
        if (size == 0) continue;
        const std::string error = sink(offset, block, size);
        if (!error.empty()) throw EOlvex(error);
        read += static_cast<std::int64_t>(size);
        done += static_cast<std::int64_t>(size);
        ItemProgress(current, read, item.Size);
        Progress(done, total);
    }
}

void TOtherArchiv::ExtractEntry(archive* reader, archive_entry* entry, TFileInfoItem& item, TExtractTarget& target,
                                std::int64_t& done, std::int64_t total) {
    const std::string name = ArchiveEntryName(entry);
    std::vector<std::string> parts;
    std::string reason = CheckEntryName(name, parts);
    if (reason.empty()) reason = StripEntryParts(parts, ExtractStripParts);
    const std::optional<std::time_t> mtime =
        archive_entry_mtime_is_set(entry) ? std::optional<std::time_t>(archive_entry_mtime(entry)) : std::nullopt;
    const std::optional<std::string> hardlink = ArchiveEntryHardlink(entry);
    const unsigned type = archive_entry_filetype(entry);
    try {
        if (!reason.empty()) {
            if (type == AE_IFDIR && IsCurrentDirectoryName(name)) reason.clear();  // the target directory itself
        } else if (hardlink) {
            std::vector<std::string> existing;
            reason = CheckEntryName(*hardlink, existing);
            if (reason.empty()) reason = StripEntryParts(existing, ExtractStripParts);
            if (reason.empty()) reason = target.MakeHardlink(parts, existing);
        } else if (type == AE_IFDIR) {
            reason = target.MakeDirectory(parts, mtime);
        } else if (type == AE_IFLNK) {
            const std::string link = ArchiveEntrySymlink(entry);
            reason = CheckLinkTarget(parts, link);
            if (reason.empty()) reason = target.MakeSymlink(parts, link);
        } else if (type == AE_IFREG) {
            if (archive_entry_is_encrypted(entry)) {
                reason = "Der Eintrag ist verschlüsselt und kann nicht entpackt werden.";
            } else {
                std::unique_ptr<TExtractFile> file;
                const mode_t mode = archive_entry_perm(entry) & 0777;
                reason = target.CreateFile(parts, mode != 0 ? mode : 0666, file);
                if (reason.empty()) {
                    ReadData(reader, item, done, total, [&file](std::int64_t offset, const void* data, std::size_t size) {
                        return file->WriteAt(offset, data, size);
                    });
                    reason = file->Commit(item.Size, mtime);
                }
            }
        } else {
            reason = "Gerätedateien, Sockets und benannte Pipes werden nicht entpackt.";
        }
    } catch (const ECommandFailed&) {
        throw;
    } catch (const ECommandAborted&) {
        throw;
    } catch (const EOlvex& e) {
        reason = e.what();
    }
    if (!reason.empty()) ItemFailed(name, reason);
}

void TOtherArchiv::RefuseWriting() const {
    Fail("Archive dieses Formats können nur gelesen werden. Packen, Erweitern, Aufteilen und Zusammenfügen sind "
         "nur bei ZIP-Archiven möglich.");
}

bool TOtherArchiv::ExecuteFilesAdd(bool) {
    return RunCommand(TArchivCommand::Add, [this] {
        FFileItems.Clear();
        RefuseWriting();
    });
}

bool TOtherArchiv::Span(const std::string&, const std::string&, std::int64_t) {
    return RunCommand(TArchivCommand::Span, [this] { RefuseWriting(); });
}

bool TOtherArchiv::Merge(const std::string&, const std::string&) {
    return RunCommand(TArchivCommand::Merge, [this] { RefuseWriting(); });
}

}  // namespace tavik
