// The inventory page: the archives of ARCHIV as the journal and the folder show them together,
// verified again completely on demand (the ticked ones, or all).
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>

#include <ctime>
#include <optional>
#include <set>

#include "host/services/exceptions.h"
#include "host/services/tavik_info.h"
#include "host/services/tavik_programm.h"
#include "task/archive_inventory.h"
#include "task/archive_verification.h"
#include "task/inventory_report.h"
#include "ui/inventory_source.h"
#include "ui/page_command_running.h"
#include "ui/vendrasku.h"
#include "ui/view_update.h"

namespace vendrask {

using namespace tavik;

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

std::string Count(int n, const char* one, const char* many) { return std::to_string(n) + " " + (n == 1 ? one : many); }

QString StatusText(const TInventory& inventory) {
    QStringList lines;
    lines << Q(JournalStateText(inventory));
    lines << (inventory.AllVerifiedSince.empty()
                  ? QStringLiteral("Noch nicht alle Archive wurden vollständig geprüft.")
                  : QStringLiteral("Alle Archive vollständig geprüft seit %1.")
                        .arg(Q(LocalMoment(inventory.AllVerifiedSince))));
    if (inventory.Failed() + inventory.Overdue() + inventory.Gone() > 0)
        lines << QStringLiteral("%1 fehlerhaft, %2 überfällig (Prüfintervall %3 Tage), %4 fehlen.")
                     .arg(inventory.Failed())
                     .arg(inventory.Overdue())
                     .arg(inventory.IntervalDays)
                     .arg(inventory.Gone());
    return lines.join(QLatin1Char('\n'));
}

std::string VerificationSummary(const TVerifyAllResult& result) {
    std::string text = Count(static_cast<int>(result.Verdicts.size()), "Archiv", "Archive") +
                       " vollständig geprüft, " + std::to_string(result.Failed()) + " fehlerhaft.";
    if (result.Stopped)
        text += "\nDie Prüfung wurde abgebrochen; " + Count(result.NotReached, "Archiv wurde", "Archive wurden") +
                " nicht geprüft.";
    if (result.Failed() > 0) {
        text += "\n\nFehlerhaft (werden nicht gelöscht, sie sind Beweismittel):";
        for (const TArchiveVerdict& verdict : result.Verdicts)
            if (!verdict.Sound) text += "\n" + verdict.Name + ": " + verdict.Detail;
    }
    return text;
}

// Columns of ReportColumns() that the page shows in a form of its own.
constexpr std::size_t kWrittenColumn = 1, kSizeColumn = 3, kVerifiedColumn = 5;
constexpr const char* kSortableMoment = "%Y-%m-%d %H:%M";

int BarPosition(const QProgressBar& bar, double fraction) {
    return static_cast<int>(bar.maximum() * std::min(1.0, std::max(0.0, fraction)));
}

}  // namespace

void TfrmVendrask::ConnectInventoryPage() {
    vrtArchivbestand->OnInitNode = [this](QObject* sender, PVirtualNode parentNode, PVirtualNode node,
                                          TVirtualNodeInitStates& states) {
        vrtArchivbestandInitNode(sender, parentNode, node, states);
    };
    connect(pgcAnsicht, &QTabWidget::currentChanged, this, [this] {
        if (pgcAnsicht->currentWidget() == tshArchivbestand && !FInventoryRunning) ShowInventory();
    });
    connect(spbArchivbestandAbbrechen, &QToolButton::clicked, this,
            [this] { spbAbortOperationClick(spbArchivbestandAbbrechen); });
    connect(spbArchivbestandPruefen, &QPushButton::clicked, this,
            [this] { spbArchivbestandPruefenClick(spbArchivbestandPruefen); });
    connect(spbArchivbestandBericht, &QPushButton::clicked, this,
            [this] { spbArchivbestandBerichtClick(spbArchivbestandBericht); });
    connect(spbArchivbestandExport, &QPushButton::clicked, this,
            [this] { spbArchivbestandExportClick(spbArchivbestandExport); });
}

void TfrmVendrask::vrtArchivbestandInitNode(QObject*, PVirtualNode, PVirtualNode node, TVirtualNodeInitStates&) {
    Guarded("TfrmVendrask.vrtArchivbestandInitNode", [&] {
        if (node) node->CheckType = ctCheckBox;
    });
}

std::vector<std::string> TfrmVendrask::TickedArchives() const {
    std::vector<std::string> names;
    for (PVirtualNode node = vrtArchivbestand->GetFirst(); node; node = vrtArchivbestand->GetNext(node))
        if (vrtArchivbestand->CheckState(node) == csCheckedNormal) names.push_back(vrtArchivbestand->GetCellText(node, 0));
    return names;
}

void TfrmVendrask::ShowInventory() {
    Guarded("TfrmVendrask.ShowInventory", [&] {
        if (!FArchivbestand) {
            FArchivbestand = std::make_unique<TVRList>();
            for (const std::string& caption : ReportColumns()) {
                TVRColumn& column = FArchivbestand->ColumnAdd();
                column.Caption = caption;
                column.Kind = caption == "Größe (Bytes)" ? vrkInt64 : vrkText;
                if (column.Kind == vrkInt64) column.Format = vrfGrouped;
            }
        }
        // The ticks survive a refresh, by the archive's name.
        const std::vector<std::string> ticked = TickedArchives();
        const std::set<std::string> keep(ticked.begin(), ticked.end());
        const TViewUpdate update(*vrtArchivbestand);
        vrtArchivbestand->Clear();
        FArchivbestand->RowsClear();

        const TInventorySource source = FindInventorySource();
        if (source.ArchivDir.empty()) {
            lblArchivbestandStatus->setText(Q(source.Reason));
        } else {
            try {
                const TInventory inventory = ReadInventory(source.ArchivDir, source.IntervalDays, std::time(nullptr));
                // Moments as year first, so that sorting the column sorts them in time; sizes as numbers.
                const auto rows = ReportRows(inventory);
                for (std::size_t i = 0; i < rows.size(); ++i) {
                    std::vector<TVRValue> values(rows[i].begin(), rows[i].end());
                    const TInventoryArchive& archive = inventory.Archives[i];
                    values[kWrittenColumn] = LocalMoment(archive.Written, kSortableMoment);
                    values[kVerifiedColumn] = LocalMoment(archive.LastVerified, kSortableMoment);
                    values[kSizeColumn] = archive.Size.value_or(0);
                    FArchivbestand->RowAdd(values);
                }
                lblArchivbestandStatus->setText(StatusText(inventory));
            } catch (const std::exception& error) {
                FArchivbestand->RowsClear();
                lblArchivbestandStatus->setText(
                    QStringLiteral("Der Archivbestand kann nicht gelesen werden: %1").arg(Q(error.what())));
            }
        }
        vrtArchivbestand->SetVRList(FArchivbestand.get());
        vrtArchivbestand->Rebuild(true);
        vrtArchivbestand->AutoFitColumns(0, 0);
        for (PVirtualNode node = vrtArchivbestand->GetFirst(); node; node = vrtArchivbestand->GetNext(node))
            if (keep.count(vrtArchivbestand->GetCellText(node, 0)) > 0) vrtArchivbestand->SetCheckState(node, csCheckedNormal);
    });
}

void TfrmVendrask::spbArchivbestandPruefenClick(QObject*) {
    Guarded("TfrmVendrask.spbArchivbestandPruefenClick", [&] {
        if (FInventoryRunning || RefuseWhileRunning()) return;
        const TInventorySource source = FindInventorySource();
        if (source.ArchivDir.empty()) {
            TavikHinweisBox(source.Reason, "");
            return;
        }
        // Whoever verifies must be able to record it.
        std::optional<TArchiveJournal> journal;
        try {
            journal.emplace(source.ArchivDir);
        } catch (const EOlvex& error) {
            TavikHinweisBox(std::string("Die Archive wurden nicht geprüft: Jede Prüfung wird im Journal "
                                        "festgehalten, und das Journal lässt sich nicht beschreiben. ") +
                                error.what(),
                            "");
            return;
        }
        const TInventory before = ReadInventory(source.ArchivDir, source.IntervalDays, std::time(nullptr));

        TVerifyAllOptions options;
        options.Only = TickedArchives();
        int current = 0, count = 1;
        options.OnArchive = [&](const std::string& name, int index, int total) {
            current = index;
            count = std::max(total, 1);
            lblArchivbestandProgress->setText(
                QStringLiteral("Prüfe %1 (%2 von %3) ...").arg(Q(name)).arg(index + 1).arg(total));
            pgbArchivbestandProgress->setValue(BarPosition(*pgbArchivbestandProgress, double(index) / count));
            TavikInfoProcessMessages(0);
            return !FInventoryAborted;
        };
        options.OnProgress = [&](std::int64_t done, std::int64_t total) {
            const double part = total > 0 ? double(done) / double(total) : 1.0;
            pgbArchivbestandProgress->setValue(BarPosition(*pgbArchivbestandProgress, (current + part) / count));
            // The abort buttons are heard here.
            TavikInfoProcessMessages(333);
            return !FInventoryAborted;
        };
        pgbArchivbestandProgress->setValue(0);
        TVerifyAllResult result;
        {
            const TPageCommandRunning running(FInventoryRunning, FCommandRunning, FInventoryAborted,
                                            *spbArchivbestandAbbrechen, *spbAbortOperation, lblArchivbestandProgress);
            result = VerifyArchives(before, *journal, options);
        }
        if (!result.Stopped) pgbArchivbestandProgress->setValue(pgbArchivbestandProgress->maximum());
        ShowInventory();
        TavikHinweisBox(VerificationSummary(result), "");
    });
}

}  // namespace vendrask
