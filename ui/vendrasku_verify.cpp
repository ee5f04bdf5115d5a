// The workbench page: verifying the open archive and extracting its ticked or all entries.
#include <vector>

#include "host/services/frontend.h"
#include "host/services/tavik_info.h"
#include "host/services/tavik_programm.h"
#include "host/widgets/choosers.h"
#include "task/dmarchivu.h"
#include "ui/vendrasku.h"
#include "ui/workbench_command.h"
#include "ui/workbench_support.h"

namespace vendrask {

using namespace tavik;

namespace {

// The success text only when every file was written; what was written otherwise, and why not
// the rest in the failure list.
void ReportExtraction(const TWorkbenchCommand& command, const TArchivFormatAbstract& archiv, bool ok,
                      const char* context, const std::string& what) {
    const std::string summary = archiv.ExtractSummary();
    if (ok) {
        Notice(summary.empty() ? "Daten wurden erfolgreich entpackt." : summary.c_str());
        return;
    }
    command.ReportFailure(context, summary.empty() ? what : what + " " + summary);
}

}  // namespace

void TfrmVendrask::spbVerifySimpleClick(QObject*) {
    Guarded("TfrmVendrask.spbVerifySimpleClick", [&] { Verify(TArchivVerifyMode::Simple); });
}

void TfrmVendrask::spbVerifyCompleteClick(QObject*) {
    Guarded("TfrmVendrask.spbVerifyCompleteClick", [&] { Verify(TArchivVerifyMode::Complete); });
}

void TfrmVendrask::Verify(TArchivVerifyMode mode) {
    if (RefuseWhileRunning()) return;
    TArchivFormatAbstract* archiv = CurrentArchiv();
    if (!archiv) return;
    const TWorkbenchCommand command(*this, *archiv, false);
    if (archiv->ExecuteArchivVerify(mode)) {
        const std::string summary = archiv->VerifySummary();
        const std::string text = "Die Archivdatei wurde erfolgreich geprüft." + (summary.empty() ? "" : " " + summary);
        Notice(text.c_str());
    }
    else
        Notice(VerifyFailureNotice(archiv->LastErrorKind()));
}

void TfrmVendrask::spbDecompressSelClick(QObject*) {
    Guarded("TfrmVendrask.spbDecompressSelClick", [&] {
        if (RefuseWhileRunning()) return;
        if (!CurrentArchiv()) return;
        // The ticked entries in the order the view shows them; a highlighted row is not ticked.
        std::vector<int> selection;
        for (PVirtualNode node = vrtArchivInhalt->GetFirst(); node; node = vrtArchivInhalt->GetNext(node))
            if (vrtArchivInhalt->CheckState(node) == csCheckedNormal)
                selection.push_back(static_cast<int>(vrtArchivInhalt->GetCellValueAsInt64(node, FArchivInhaltIndexCol)));
        if (selection.empty()) return;

        TDirectoryChooserOptions options;
        options.Caption = QStringLiteral("Verzeichnis auswählen");
        const auto directory = Choosers().SelectDirectory(this, options);
        if (!directory) return;
        TArchivFormatAbstract* archiv = CurrentArchiv();
        if (!archiv) return;
        archiv->ExtractDir = directory->toStdString();
        const TWorkbenchCommand command(*this, *archiv, true);
        const TAskBeforeReplacing ask(*archiv);
        const bool ok = archiv->ExecuteArchivExtract(selection);
        ReportExtraction(command, *archiv, ok, "TfrmVendrask.spbDecompressSelClick",
                         "Die gewählten Einträge wurden nicht vollständig nach „" + archiv->ExtractDir + "“ entpackt.");
    });
}

void TfrmVendrask::spbDecompressAllClick(QObject*) {
    Guarded("TfrmVendrask.spbDecompressAllClick", [&] {
        if (RefuseWhileRunning()) return;
        if (!CurrentArchiv()) return;
        TDirectoryChooserOptions options;
        options.Caption = QStringLiteral("Zielverzeichnis zum entpacken ...");
        const auto directory = Choosers().SelectDirectory(this, options);
        if (!directory) return;
        TArchivFormatAbstract* archiv = CurrentArchiv();
        if (!archiv) return;
        archiv->ExtractDir = directory->toStdString();
        const TWorkbenchCommand command(*this, *archiv, true);
        const TAskBeforeReplacing ask(*archiv);
        const bool ok = archiv->ExecuteArchivExtract();
        ReportExtraction(command, *archiv, ok, "TfrmVendrask.spbDecompressAllClick",
                         "Das Archiv wurde nicht vollständig nach „" + archiv->ExtractDir + "“ entpackt.");
    });
}

}  // namespace vendrask
