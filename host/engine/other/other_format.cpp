#include "host/engine/other/other_format.h"

#include <set>
#include <utility>

#include "host/engine/extract/entry_name.h"
#include "host/engine/extract/extract_target.h"

namespace tavik {

namespace {

TFileInfoItem EntryItem(const TLeserEntry& entry) {
    TFileInfoItem item;
    bool directory = false;
    std::string name = entry.Name;
    while (name.rfind("./", 0) == 0 && name.size() > 2) name.erase(0, 2);
    SplitEntryName(name, item.RelDir, item.FileName, directory);
    item.Size = entry.Size.value_or(0);
    if (entry.ModTime) item.DateTime = FileTimeToDateTime(static_cast<std::time_t>(*entry.ModTime));
    if (directory || entry.Kind == TLeserEntryKind::Directory) item.Attributes |= faDirectory;
    if ((entry.Permissions & 0222) == 0) item.Attributes |= faReadOnly;
    return item;
}

// An entry's name as extraction reads it, before stripping: what a hard link names.
std::string EntryKey(const std::string& name) {
    std::vector<std::string> parts;
    if (!CheckEntryName(name, parts).empty()) return name;
    std::string key;
    for (const std::string& part : parts) key += (key.empty() ? "" : "/") + part;
    return key;
}

// Positions as the helper takes them: "0-3,7".
std::string Ranges(const std::set<int>& chosen) {
    std::string text;
    for (auto it = chosen.begin(); it != chosen.end();) {
        const int first = *it;
        int last = first;
        while (++it != chosen.end() && *it == last + 1) last = *it;
        if (!text.empty()) text += ',';
        text += std::to_string(first);
        if (last != first) text += '-' + std::to_string(last);
    }
    return text;
}

// The reason of an entry whose header libarchive read with a warning: the entry is not processed.
TReason HeaderWarning(const std::string& libraryText) {
    return {"Der Kopf des Eintrags ist fehlerhaft (libarchive: " + libraryText + "); der Eintrag wird nicht gelesen.",
            TErrorKind::DamagedArchive};
}

}  // namespace

bool TOtherArchiv::ExecuteArchivList() {
    return RunCommand(TArchivCommand::List, [this] { ReadDirectory(TListingUse::Report); });
}

void TOtherArchiv::FailHelperEnded(const std::string& reason, TErrorKind kind) const {
    if (kind == TErrorKind::LimitReached) FailLimit(reason);
    if (kind == TErrorKind::DamagedArchive)
        Fail("Das Lesen der Archivdatei „" + ArchivFile + "“ wurde abgebrochen, weil " + reason +
                 ". Die Datei ist beschädigt oder so gebaut, dass sie Programme aufhält; bitte lassen Sie sich das "
                 "Archiv erneut schicken oder prüfen Sie es mit einem anderen Programm.",
             TErrorKind::DamagedArchive);
    Fail("Das Lesen der Archivdatei „" + ArchivFile + "“ wurde abgebrochen, weil " + reason +
         ". Über den Zustand des Archivs sagt das nichts; bitte wiederholen Sie den Vorgang.");
}

void TOtherArchiv::FailLimit(const std::string& reason) const {
    Fail("Das Lesen der Archivdatei „" + ArchivFile + "“ hat eine Schutzgrenze erreicht: Es wurde angehalten, weil " +
             reason +
             ". Ein Schaden ist damit nicht festgestellt. Wenn Sie dem Archiv vertrauen, lassen Sie es ohne "
             "Schutzgrenzen lesen (vendrask-archiv: --no-limits); sonst lassen Sie es sich bitte erneut schicken.",
         TErrorKind::LimitReached);
}

TLeserFrame TOtherArchiv::NextFrame(TLeserProcess& helper, const std::int64_t& done, std::int64_t total) {
    TLeserFrame frame;
    std::string reason;
    // Progress while waiting keeps a window responsive and its abort button working.
    const bool answered = helper.Next(frame, [this, &done, total] { Progress(done, total); }, reason);
    // Whatever stops the helper but libarchive's finding no format at all means that it took
    // the file for an archive.
    TLeserFailure failure;
    FLastRecognised = !answered || frame.Type != TLeserFrameType::Failure ||
                      !DecodeLeserFailure(frame.Payload, failure) || failure.Kind != TLeserFailureKind::NoArchive;
    if (!answered) FailHelperEnded(reason, helper.EndKind());
    return frame;
}

void TOtherArchiv::FailReading(const TLeserFrame& frame, const std::string& where) const {
    TLeserFailure failure;
    if (!DecodeLeserFailure(frame.Payload, failure))
        FailHelperEnded("das Leseprogramm Unverständliches meldete", TErrorKind::DamagedArchive);
    // What libarchive cannot decode is no damage.
    const TErrorKind kind =
        failure.Kind == TLeserFailureKind::Unsupported ? TErrorKind::Other : TErrorKind::DamagedArchive;
    if (where.empty()) Fail("Die Archivdatei „" + ArchivFile + "“ kann nicht gelesen werden: " + failure.Reason + ".", kind);
    std::string message =
        "Die Archivdatei „" + ArchivFile + "“ kann " + where + " nicht weiter gelesen werden: " + failure.Reason + ".";
    if (CurrentCommand() == TArchivCommand::Extract) message += " Die lesbaren Einträge davor wurden entpackt.";
    Fail(message, kind);
}

void TOtherArchiv::FailOnDamage(const TDamageBetweenEntries& damage) const {
    if (!damage.Found()) return;
    std::string message = "Das Archiv „" + ArchivFile + "“ ist beschädigt: " + damage.Where() + ".";
    if (CurrentCommand() == TArchivCommand::Extract)
        message += " Alle lesbaren Einträge wurden entpackt; der Eintrag unmittelbar vor der Stelle kann dennoch "
                   "unvollständig sein. Bitte lassen Sie sich das Archiv erneut schicken.";
    else
        message += " Bitte lassen Sie sich das Archiv erneut schicken; die lesbaren Einträge lassen sich "
                   "trotzdem entpacken.";
    Fail(message, TErrorKind::DamagedArchive);
}

TLeserEntry TOtherArchiv::DecodeEntry(const TLeserFrame& frame) const {
    TLeserEntry entry;
    if (!DecodeLeserEntry(frame.Payload, entry))
        FailHelperEnded("das Leseprogramm Unverständliches meldete", TErrorKind::DamagedArchive);
    return entry;
}

void TOtherArchiv::CheckListLimit(int entries, std::int64_t nameBytes) const {
    if (NoLimits) return;
    if (entries > MaxEntries)
        FailLimit("das Archiv mehr als " + std::to_string(MaxEntries) + " Einträge hat, mehr als sich anzeigen lässt");
    if (nameBytes > MaxNameBytes)
        FailLimit("die Namen der Einträge zusammen mehr als " + std::to_string(MaxNameBytes >> 20) +
                  " MB lang sind, mehr als sich anzeigen lässt");
}

void TOtherArchiv::ReadDirectory(TListingUse use) {
    FArchivItems.Clear();
    FListedFile.clear();
    const bool report = use == TListingUse::Report;
    TLeserProcess helper(ArchivFile, {"liste"}, HelperLimits());
    TDamageBetweenEntries damage;
    std::string lastEntry;
    std::int64_t nameBytes = 0;
    const std::int64_t none = 0;
    for (bool more = true; more;) {
        const TLeserFrame frame = NextFrame(helper, none, 0);
        switch (frame.Type) {
            case TLeserFrameType::Entry: {
                const TLeserEntry entry = DecodeEntry(frame);
                nameBytes += static_cast<std::int64_t>(entry.Name.size());
                CheckListLimit(FArchivItems.GetCount() + 1, nameBytes);
                damage.EntrySeen(entry.Name);
                lastEntry = entry.Name;
                FArchivItems.Add(EntryItem(entry));
                if (report && !entry.Warning.empty()) ItemFailed(entry.Name, HeaderWarning(entry.Warning));
                CheckAbort();
                break;
            }
            case TLeserFrameType::Warning: damage.Skipped(frame.Payload); break;
            case TLeserFrameType::Failure:
                if (report || FArchivItems.GetCount() == 0)
                    FailReading(frame, lastEntry.empty() ? "" : "nach dem Kopf des Eintrags „" + lastEntry + "“");
                more = false;
                break;
            case TLeserFrameType::End: more = false; break;
            default: break;
        }
    }
    // The positions hold for reading all, also when the list is short of a damaged end.
    FListedFile = ArchivFile;
    if (report) FailOnDamage(damage);
}

std::int64_t TOtherArchiv::KnownTotal() {
    if (FListedFile != ArchivFile) ReadDirectory(TListingUse::Total);
    std::int64_t total = 0;
    for (const TFileInfoItem& item : FArchivItems.Items()) total += item.Size;
    return total;
}

bool TOtherArchiv::ExecuteArchivVerify(TArchivVerifyMode mode) {
    return RunCommand(TArchivCommand::Verify, [this, mode] {
        if (mode == TArchivVerifyMode::Complete) {
            ReadAll(false, nullptr);
        } else {
            ReadDirectory(TListingUse::Report);
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
    std::vector<std::string> arguments{"lesen"};
    if (indexes != nullptr) {
        total = 0;
        for (const int index : *indexes) {
            if (index < 0 || index >= FArchivItems.GetCount())
                Fail("Das Archiv hat keinen Eintrag Nr. " + std::to_string(index) +
                     "; es wurde inzwischen wohl verändert. Bitte öffnen Sie es erneut.");
            if (chosen.insert(index).second) total += FArchivItems.GetItem(index).Size;
        }
        // Only the chosen data comes over, unless the list of them is too long for a command line.
        std::string ranges = Ranges(chosen);
        if (!ranges.empty() && ranges.size() < 64 * 1024) arguments.push_back(std::move(ranges));
    }
    std::unique_ptr<TExtractTarget> target;
    if (extract) target = std::make_unique<TExtractTarget>(ExtractDir, ExtractBase, ConflictQuestion());

    TLeserProcess helper(ArchivFile, arguments, HelperLimits());
    std::int64_t done = 0;
    Progress(0, total);
    int position = -1;
    TDamageBetweenEntries damage;
    std::string lastEntry;
    // Data frames of the entry sent last are still to come: a warning now is about its data.
    bool dataPending = false;
    TCurrentEntry current;
    std::set<std::string> written;
    const auto failCurrent = [this, &current, &target](const TReason& reason) { FailCurrent(current, target.get(), reason); };
    for (bool more = true; more;) {
        const TLeserFrame frame = NextFrame(helper, done, total);
        switch (frame.Type) {
            case TLeserFrameType::Entry: {
                if (current.Active) failCurrent({"Die Daten des Eintrags sind unvollständig.", TErrorKind::DamagedArchive});
                const TLeserEntry entry = DecodeEntry(frame);
                if (++position >= MaxEntries && !NoLimits)
                    FailLimit("das Archiv mehr als " + std::to_string(MaxEntries) + " Einträge hat");
                damage.EntrySeen(entry.Name);
                lastEntry = entry.Name;
                dataPending = entry.HasData;
                if (indexes != nullptr && chosen.count(position) == 0) break;
                TFileInfoItem item = EntryItem(entry);
                PFileInfoItem started = &item;
                if (!ItemStart(started)) break;
                if (!entry.Warning.empty()) {
                    ItemFailed(entry.Name, HeaderWarning(entry.Warning));
                } else if (extract) {
                    StartExtract(entry, item, *target, current, written);
                } else if (entry.Encrypted) {
                    ItemFailed(entry.Name, "Der Eintrag ist verschlüsselt und kann nicht geprüft werden.");
                } else if (entry.HasData) {
                    current.Active = true;
                    current.Item = item;
                    current.Name = entry.Name;
                    current.Read = 0;
                    ItemProgress(&current.Item, 0, current.Item.Size);
                }
                break;
            }
            case TLeserFrameType::Data:
                if (current.Active) TakeData(frame.Payload, current, target.get(), done, total);
                break;
            case TLeserFrameType::DataEnd:
                dataPending = false;
                if (current.Active) {
                    current.Active = false;
                    if (current.File) {
                        const TReason reason = current.File->Commit(current.Item.Size, current.ModTime);
                        if (reason.empty()) {
                            CountCommitted(current.File->Outcome());
                            written.insert(EntryKey(current.Name));
                            current.File.reset();
                        } else {
                            FailCurrent(current, target.get(), reason);
                        }
                    }
                }
                break;
            case TLeserFrameType::EntryError:
                dataPending = false;
                if (current.Active) failCurrent({frame.Payload + ".", TErrorKind::DamagedArchive});
                break;
            case TLeserFrameType::Warning:
                if (!dataPending) {
                    damage.Skipped(frame.Payload);
                } else if (current.Active) {
                    failCurrent({"Beim Lesen der Daten warnte libarchive: " + frame.Payload + ".",
                                 TErrorKind::DamagedArchive});
                }
                break;
            case TLeserFrameType::Failure:
                FailReading(frame, lastEntry.empty() ? ""
                                           : (dataPending ? "im Eintrag „" : "nach dem Eintrag „") + lastEntry + "“");
            case TLeserFrameType::End: more = false; break;
            default: break;
        }
    }
    if (current.Active) failCurrent({"Die Daten des Eintrags sind unvollständig.", TErrorKind::DamagedArchive});
    if (target) target->RestoreDirectoryTimes();
    Progress(done, total);
    FailOnDamage(damage);
}

void TOtherArchiv::TakeData(const std::string& payload, TCurrentEntry& current, TExtractTarget* target,
                            std::int64_t& done, std::int64_t total) {
    std::int64_t offset = 0;
    std::string_view bytes;
    if (!DecodeLeserData(payload, offset, bytes))
        FailHelperEnded("das Leseprogramm Unverständliches meldete", TErrorKind::DamagedArchive);
    if (current.File) {
        const TReason reason = current.File->WriteAt(offset, bytes.data(), bytes.size());
        if (!reason.empty()) {
            FailCurrent(current, target, reason);
            return;
        }
    }
    current.Read += static_cast<std::int64_t>(bytes.size());
    done += static_cast<std::int64_t>(bytes.size());
    ItemProgress(&current.Item, current.Read, current.Item.Size);
    Progress(done, total);
}

void TOtherArchiv::FailCurrent(TCurrentEntry& current, TExtractTarget* target, const TReason& reason) {
    current.Active = false;
    if (current.File) {
        current.File.reset();
        if (target) target->Abandon(current.Parts);
    }
    ItemFailed(current.Name, reason);
}

void TOtherArchiv::StartExtract(const TLeserEntry& entry, TFileInfoItem& item, TExtractTarget& target,
                                TCurrentEntry& current, std::set<std::string>& written) {
    std::vector<std::string> parts;
    TReason reason = RefusedEntryName(entry.Name, parts, ExtractStripParts);
    const std::optional<std::time_t> mtime =
        entry.ModTime ? std::optional<std::time_t>(static_cast<std::time_t>(*entry.ModTime)) : std::nullopt;
    const bool directory = entry.Kind == TLeserEntryKind::Directory && !entry.Hardlink;
    if (!directory) CountFileToExtract();
    try {
        if (!reason.empty()) {
            if (entry.Kind == TLeserEntryKind::Directory && IsCurrentDirectoryName(entry.Name)) reason = {};
        } else if (entry.Hardlink) {
            std::vector<std::string> existing;
            reason = RefusedEntryName(*entry.Hardlink, existing, ExtractStripParts);
            // Only to a file this command has put in place: stripped of its first parts, a name
            // could otherwise meet an unrelated file of the same rest.
            if (reason.empty() && written.count(EntryKey(*entry.Hardlink)) == 0)
                reason = {"Die harte Verknüpfung zeigt auf „" + *entry.Hardlink +
                              "“, das in diesem Vorgang nicht entpackt wurde; sie wird nicht angelegt. Bitte "
                              "entpacken Sie beide Einträge zusammen.",
                          TErrorKind::RefusedEntry};
            if (reason.empty()) reason = target.MakeHardlink(parts, existing);
            if (reason.empty()) {
                CountCommitted(TCommitOutcome::Written);
                written.insert(EntryKey(entry.Name));
            }
        } else if (entry.Kind == TLeserEntryKind::Directory) {
            reason = target.MakeDirectory(parts, mtime);
        } else if (entry.Kind == TLeserEntryKind::Symlink) {
            reason = target.MakeSymlink(parts, entry.Symlink);
            if (reason.empty()) {
                CountCommitted(TCommitOutcome::Written);
                written.insert(EntryKey(entry.Name));
            }
        } else if (entry.Kind == TLeserEntryKind::File) {
            if (entry.Encrypted) {
                reason = "Der Eintrag ist verschlüsselt und kann nicht entpackt werden.";
            } else if (!entry.HasData) {
                reason = "Die Daten des Eintrags fehlen.";
            } else {
                const mode_t mode = entry.Permissions & 0777;
                reason = target.CreateFile(parts, mode != 0 ? mode : 0666, current.File);
                if (reason.empty()) {
                    current.Active = true;
                    current.Item = item;
                    current.Name = entry.Name;
                    current.Parts = parts;
                    current.ModTime = mtime;
                    current.Read = 0;
                    ItemProgress(&current.Item, 0, current.Item.Size);
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
        reason = {e.what(), e.Kind()};
    }
    if (reason.empty()) return;
    if (!directory && !parts.empty()) target.Abandon(parts);
    ItemFailed(entry.Name, reason);
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
