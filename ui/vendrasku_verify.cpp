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
    if (archiv->ExecuteArchivVerify(mode))
        Notice("Die Archivdatei wurde erfolgreich geprüft.");
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
        options.AllowCreate = true;
        options.AskBeforeCreate = true;
        const auto directory = Choosers().SelectDirectory(this, options);
        if (!directory) return;
        TArchivFormatAbstract* archiv = CurrentArchiv();
        if (!archiv) return;
        archiv->ExtractDir = directory->toStdString();
        const TWorkbenchCommand command(*this, *archiv, true);
        const TAskBeforeReplacing ask(*archiv);
        if (archiv->ExecuteArchivExtract(selection))
            Notice("Daten wurden erfolgreich entpackt.");
        else
            ReportFailure("TfrmVendrask.spbDecompressSelClick",
                          "Die gewählten Einträge wurden nicht nach „" + archiv->ExtractDir + "“ entpackt.", *archiv);
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
        if (archiv->ExecuteArchivExtract())
            Notice("Daten wurden erfolgreich entpackt.");
        else
            ReportFailure("TfrmVendrask.spbDecompressAllClick",
                          "Das Archiv wurde nicht nach „" + archiv->ExtractDir + "“ entpackt.", *archiv);
    });
}

}  // namespace vendrask
