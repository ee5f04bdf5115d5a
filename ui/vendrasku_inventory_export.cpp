// The inventory page's export: the records of a year from the archives of ARCHIV as a BagIt bag
// in a new folder the user names, with progress and abort as the page's verification has them.
#include <QDir>
#include <QInputDialog>
#include <QLabel>
#include <QProgressBar>
#include <QToolButton>

#include <algorithm>
#include <ctime>
#include <optional>

#include "host/services/exceptions.h"
#include "host/services/formatting.h"
#include "host/services/tavik_info.h"
#include "host/services/tavik_programm.h"
#include "task/year_export.h"
#include "ui/inventory_source.h"
#include "ui/page_command_running.h"
#include "ui/vendrasku.h"

namespace vendrask {

using namespace tavik;

namespace {

int LastYear() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    return parts.tm_year + 1900 - 1;
}

std::string Count(std::int64_t n, const char* one, const char* many) {
    return tavik_FormatGrouped(n) + " " + (n == 1 ? one : many);
}

std::string ExportSummary(const TYearExportResult& result, int year) {
    std::string text = Count(result.Files, "Datei", "Dateien") + " (" + tavik_FormatByteSize(result.Bytes) +
                       ") des Jahres " + std::to_string(year) + " aus " +
                       Count(static_cast<std::int64_t>(result.Archives.size()), "Archiv", "Archiven") + " nach „" +
                       result.Target + "“ exportiert (BagIt, SHA-256 und SHA-512).";
    if (!result.JournalFailure.empty())
        text += " Der Export wurde aber nicht im Journal verzeichnet: " + result.JournalFailure;
    return text;
}

}  // namespace

std::optional<int> TfrmVendrask::AskExportYear() {
    QInputDialog dialog(this);
    dialog.setObjectName(QStringLiteral("dlgJahrExportieren"));
    dialog.setWindowTitle(QStringLiteral("Jahr exportieren"));
    dialog.setLabelText(QStringLiteral("Die archivierten Dateien welchen Jahres sollen exportiert werden?"));
    dialog.setInputMode(QInputDialog::IntInput);
    dialog.setIntRange(1980, 9999);
    dialog.setIntValue(LastYear());
    if (Choosers().ExecModal(dialog) != QDialog::Accepted) return std::nullopt;
    return dialog.intValue();
}

void TfrmVendrask::spbArchivbestandExportClick(QObject*) {
    Guarded("TfrmVendrask.spbArchivbestandExportClick", [&] {
        if (FInventoryRunning || RefuseWhileRunning()) return;
        const TInventorySource source = FindInventorySource();
        if (source.ArchivDir.empty()) {
            TavikHinweisBox(source.Reason, "");
            return;
        }
        const std::optional<int> year = AskExportYear();
        if (!year) return;
        // A new folder: its name is typed into the file dialog in an existing folder.
        const auto chosen = Choosers().OpenFile(this, QStringLiteral("Neues Verzeichnis für den Export wählen"),
                                                QString(), QDir::homePath());
        if (!chosen || chosen->trimmed().isEmpty()) return;

        TYearExportOptions options;
        options.ArchivDir = source.ArchivDir;
        options.Year = *year;
        options.Target = chosen->toStdString();
        options.Organization = TavikProgramm().GetTextMandant();
        options.Now = std::time(nullptr);
        options.OnProgress = [this](const TYearExportProgress& progress) {
            lblArchivbestandProgress->setText(QStringLiteral("Exportiere aus %1 (%2 von %3) ...")
                                                  .arg(QString::fromStdString(progress.Archive))
                                                  .arg(progress.ArchiveIndex + 1)
                                                  .arg(progress.Archives));
            const double part = progress.Total > 0 ? double(progress.Done) / double(progress.Total) : 1.0;
            const int maximum = pgbArchivbestandProgress->maximum();
            pgbArchivbestandProgress->setValue(std::clamp(static_cast<int>(maximum * part), 0, maximum));
            // The abort buttons are heard here.
            TavikInfoProcessMessages(0);
            return !FInventoryAborted;
        };
        pgbArchivbestandProgress->setValue(0);
        std::string summary;
        {
            const TPageCommandRunning running(FInventoryRunning, FCommandRunning, FInventoryAborted,
                                            *spbArchivbestandAbbrechen, *spbAbortOperation, lblArchivbestandProgress);
            try {
                summary = ExportSummary(ExportYear(options), *year);
            } catch (const EOlvex& error) {
                summary = std::string("Das Jahr ") + std::to_string(*year) + " wurde nicht exportiert. " + error.what();
            }
        }
        pgbArchivbestandProgress->setValue(0);
        ShowInventory();
        TavikHinweisBox(summary, "");
    });
}

}  // namespace vendrask
