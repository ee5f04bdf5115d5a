// The inventory page's report: the inventory with its heading as a PDF file the user names.
#include <QDir>
#include <QFileInfo>

#include <ctime>

#include "host/services/tavik_info.h"
#include "host/services/tavik_programm.h"
#include "task/archive_inventory.h"
#include "task/inventory_report.h"
#include "task/procedure_facts.h"
#include "task/dmarchivu.h"
#include "host/services/date_time.h"
#include "ui/inventory_pdf.h"
#include "ui/inventory_source.h"
#include "ui/vendrasku.h"

namespace vendrask {

using namespace tavik;

void TfrmVendrask::spbArchivbestandBerichtClick(QObject*) {
    Guarded("TfrmVendrask.spbArchivbestandBerichtClick", [&] {
        if (FInventoryRunning || RefuseWhileRunning()) return;
        const TInventorySource source = FindInventorySource();
        if (source.ArchivDir.empty()) {
            TavikHinweisBox(source.Reason, "");
            return;
        }
        const auto chosen = Choosers().OpenFile(this, QStringLiteral("Bericht als PDF speichern"),
                                                QStringLiteral("PDF-Dateien (*.pdf)"), QDir::homePath());
        if (!chosen || chosen->trimmed().isEmpty()) return;
        QString file = *chosen;
        if (QFileInfo(file).suffix().compare(QStringLiteral("pdf"), Qt::CaseInsensitive) != 0)
            file += QStringLiteral(".pdf");
        const std::string name = file.toStdString();

        const std::time_t now = std::time(nullptr);
        const TInventory inventory = ReadInventory(source.ArchivDir, source.IntervalDays, now);
        // The procedure as configured now follows the table: what a tax auditor asks about.
        const std::string procedure = ProcedureText(
            ReadProcedureFacts(source.ArchivDir, source.IntervalDays, now, dmOlvexArchiv, VENDRASK_VERSION),
            TArchivKeeping::ForLooking(source.ArchivDir, BerlinYear(now)));
        if (!WriteTablePdf(name, "Archivbestand", ReportHeading(inventory, source.Installation), ReportColumns(),
                           ReportRows(inventory), procedure)) {
            TavikHinweisBox("Der Bericht konnte nicht als „" + name +
                                "“ gespeichert werden. Bitte prüfen Sie, ob das Verzeichnis existiert und "
                                "beschrieben werden darf, oder wählen Sie einen anderen Namen.",
                            "");
            return;
        }
        TavikHinweisBox("Der Bericht wurde als „" + name + "“ gespeichert.", "");
    });
}

}  // namespace vendrask
