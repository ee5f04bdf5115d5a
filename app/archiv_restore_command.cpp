#include "app/archiv_restore_command.h"

#include <climits>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <memory>
#include <optional>
#include <filesystem>

#include "app/archiv_console.h"
#include "app/archiv_status.h"
#include "task/listed_name.h"
#include "host/engine/archiv_open.h"
#include "host/engine/search/archive_restore.h"
#include "host/services/archive_journal.h"
#include "host/services/archive_name.h"
#include "host/services/digits.h"
#include "host/services/exceptions.h"
#include "host/services/fs_names.h"
#include "host/services/host_installation.h"
#include "host/services/paths.h"

namespace vendrask {

namespace {

std::optional<int> EntryNumber(const std::string& text) {
    const std::optional<std::uint64_t> value = tavik::DigitsValue(text, INT_MAX);
    if (!value) return std::nullopt;
    return static_cast<int>(*value);
}

// The installation's ARCHIV when archivFile is one of the archive run's archives there; else empty.
std::string ArchivHolding(const std::string& archivFile) {
    const char* root = std::getenv(tavik::kRootVariable);
    if (root == nullptr || *root == '\0' || !tavik::IsArchiveName(tavik::ExtractFileName(archivFile))) return {};
    try {
        const std::string archivDir = tavik::GetDirOlvexByName("ARCHIV", "", true);
        std::error_code error;
        const auto holder = std::filesystem::canonical(std::filesystem::absolute(archivFile).parent_path(), error);
        if (error || holder != std::filesystem::canonical(archivDir, error) || error) return {};
        return archivDir;
    } catch (const std::exception&) {
        return {};
    }
}

// What came back out of one of the run's archives goes into ARCHIV's journal beside what went in.
// Empty when it did, else why not.
std::string JournalRestored(const tavik::TArchivFormatAbstract& archiv, const std::vector<int>& indexes,
                            const tavik::TTavikFSNames* names, const std::string& to) {
    const std::string archivDir = ArchivHolding(archiv.ArchivFile);
    if (archivDir.empty()) return {};
    try {
        std::vector<tavik::TJournalRecord> records;
        for (const int index : indexes) {
            const tavik::TFileInfoItem& item = archiv.GetArchivItem(index);
            const std::string entry = tavik::ListedEntryName(item);
            tavik::TJournalRecord record;
            record.Kind = names ? tavik::journalkind::Wiederhergestellt : tavik::journalkind::Entpackt;
            record.Archive = tavik::ExtractFileName(archiv.ArchivFile);
            record.Entry = entry;
            record.Path = names ? tavik::OriginalRestorePlace(*names, entry, item.MadeOnUnix).path
                                : tavik::ChosenRestorePlace(to, entry, item.MadeOnUnix).path;
            record.Size = item.Size;
            record.Sha256 = item.Sha256 ? tavik::HexOf(*item.Sha256) : std::string();
            record.Detail = names ? "an ihren Platz zurückgelegt" : "nach „" + to + "“ entpackt";
            records.push_back(std::move(record));
        }
        tavik::TArchiveJournal(archivDir).Append(records);
        return {};
    } catch (const std::exception& error) {
        return error.what();
    }
}

}  // namespace

int RunRestoreCommand(const std::vector<std::string>& args, const char* usageText,
                      const volatile std::sig_atomic_t& interrupted) {
    std::string to;
    bool toGiven = false;
    bool overwrite = false;
    bool noLimits = false;
    std::vector<std::string> rest;
    bool options = true;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (options && arg == "--") {
            options = false;
        } else if (options && arg == "--to") {
            if (i + 1 >= args.size() || args[i + 1].empty())
                return ArchivUsage("--to erwartet ein Verzeichnis.", usageText);
            to = args[++i];
            toGiven = true;
        } else if (options && arg == "--overwrite") {
            overwrite = true;
        } else if (options && arg == "--no-limits") {
            noLimits = true;
        } else if (options && arg.size() > 1 && arg[0] == '-') {
            return ArchivUsage("Unbekannte Option „" + arg + "“ für restore.", usageText);
        } else {
            rest.push_back(arg);
        }
    }
    if (rest.size() < 2) return ArchivUsage("restore erwartet ein Archiv und mindestens eine Eintragsnummer.", usageText);
    std::vector<int> indexes;
    for (std::size_t i = 1; i < rest.size(); ++i) {
        const std::optional<int> number = EntryNumber(rest[i]);
        if (!number) return ArchivUsage("„" + rest[i] + "“ ist keine gültige Eintragsnummer.", usageText);
        indexes.push_back(*number);
    }

    std::unique_ptr<tavik::TTavikFSNames> names;
    if (!toGiven) {
        const char* root = std::getenv(tavik::kRootVariable);
        if (root == nullptr || *root == '\0')
            return ArchivUsage("Kein Platz zum Zurücklegen: bitte OLVEX_ROOT auf die Olvex-Installation setzen oder mit "
                         "--to VERZ ein Zielverzeichnis angeben.",
                         usageText);
        try {
            tavik::CheckHostInstallation();
            names = std::make_unique<tavik::TTavikFSNames>();
        } catch (const std::exception& error) {
            std::cerr << "vendrask-archiv: " << error.what() << "\n";
            return kArchivUsage;
        }
    }

    const std::string& archivFile = rest[0];
    std::unique_ptr<tavik::TArchivFormatAbstract> archiv = tavik::OpenArchiv(archivFile, nullptr, {}, noLimits);
    if (!archiv) {
        std::cerr << "vendrask-archiv: Die Datei „" << archivFile
                  << "“ scheint defekt oder es handelt sich nicht um eine gültige Archivdatei.\n";
        return kArchivFailed;
    }
    TConsole console(*archiv, interrupted);
    if (!archiv->ExecuteArchivList()) {
        std::cerr << "vendrask-archiv: " << archiv->LastError() << "\n";
        return kArchivFailed;
    }
    for (const int index : indexes)
        if (index >= archiv->GetArchivItemsCount()) {
            std::cerr << "vendrask-archiv: Das Archiv „" << archivFile << "“ hat keinen Eintrag Nr. " << index
                      << "; vendrask-archiv list zeigt die Nummern.\n";
            return kArchivFailed;
        }
    // Two versions of one name would take the same place: the user picks one.
    const auto same = tavik::SameNameEntries(*archiv, indexes, names.get());
    if (!same.empty()) {
        for (const auto& [first, second] : same)
            std::cerr << "vendrask-archiv: Die Einträge Nr. " << first << " und Nr. " << second
                      << " tragen denselben Namen „"
                      << ListedName(tavik::ListedEntryName(archiv->GetArchivItem(first))) << "“.\n";
        std::cerr << "vendrask-archiv: Bitte nur eine Fassung je Name wiederherstellen; vendrask-archiv list zeigt "
                     "Größe und Datum jeder Fassung.\n";
        return kArchivUsage;
    }

    // Without the switch no handler: a different file already there is an item error.
    if (overwrite)
        archiv->OnConflict = [](tavik::TArchivFormatAbstract&, const std::string&) {
            return tavik::TArchivConflictAnswer::YesAll;
        };
    tavik::TRestoreResult result;
    try {
        result = tavik::RestoreEntries(*archiv, indexes, names.get(), to);
    } catch (const tavik::EOlvex& error) {
        std::cerr << "vendrask-archiv: " << error.what() << "\n";
        return kArchivFailed;
    }
    for (const tavik::TRestoreRefusal& refusal : result.refused)
        std::cerr << "vendrask-archiv: „" << ListedName(refusal.name) << "“: " << refusal.reason << "\n";
    if (!result.extracted) {
        if (!overwrite && console.Conflicts() > 0)
            std::cerr << "vendrask-archiv: Vorhandene andere Dateien werden nur mit --overwrite ersetzt.\n";
        const std::string failure = console.Failure(result.error);
        if (!failure.empty()) std::cerr << "vendrask-archiv: " << failure << "\n";
    }
    if (!result.extracted || !result.refused.empty()) return kArchivFailed;
    if (const std::string unrecorded = JournalRestored(*archiv, indexes, names.get(), to); !unrecorded.empty()) {
        std::cerr << "vendrask-archiv: Die Einträge wurden zurückgelegt, aber nicht ins Journal eingetragen: "
                  << unrecorded << "\n";
        return kArchivFailed;
    }
    if (toGiven) std::cout << "Die Einträge wurden nach „" << to << "“ entpackt.\n";
    else std::cout << "Die Einträge wurden an ihren Platz zurückgelegt.\n";
    return kArchivOk;
}

}  // namespace vendrask
