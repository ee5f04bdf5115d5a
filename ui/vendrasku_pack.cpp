// The workbench page: packing into a new or an existing archive, splitting the open archive
// into volumes and joining volumes.
#include <QToolButton>

#include <cstdint>

#include "host/services/exceptions.h"
#include "host/services/fs_names.h"
#include "host/services/tavik_info.h"
#include "host/widgets/choosers.h"
#include "task/dmarchivu.h"
#include "ui/application.h"
#include "ui/archivadddlg.h"
#include "ui/archivspandlg.h"
#include "ui/vendrasku.h"
#include "ui/workbench_command.h"
#include "ui/workbench_support.h"

namespace vendrask {

using namespace tavik;

namespace {

#ifdef Q_OS_WIN
const QString kFileSystemRoot = QStringLiteral("c:\\");
#else
const QString kFileSystemRoot = QStringLiteral("/");
#endif

TfrmArchivAdd& AddDialog() {
    if (!frmArchivAdd) throw EOlvex("Der Dialog zur Auswahl der Dateien fehlt; bitte das Programm neu starten.");
    return *frmArchivAdd;
}

TfrmArchivSpan& SpanDialog() {
    if (!frmArchivSpan) throw EOlvex("Der Dialog zum Aufteilen fehlt; bitte das Programm neu starten.");
    return *frmArchivSpan;
}

}  // namespace

void TfrmVendrask::EnsureChosenArchiv() {
    TdmOlvexArchiv& module = WorkbenchModule();
    if (!module.ArchivFileName().empty()) {
        if (ChosenArchiv()) return;
        // An archive run of the cleanup pages has put its own engine object in place; packing
        // goes into the archive the user chose, so that is opened again.
        const std::string chosen = module.ArchivFileName();
        module.SetArchivFileName(chosen);
        if (ChosenArchiv()) return;
        ArchivAnzeigen();
    }
    spbOpenFilesClick(spbOpenFiles);
}

void TfrmVendrask::spbCompressNewClick(QObject*) {
    Guarded("TfrmVendrask.spbCompressNewClick", [&] {
        if (RefuseWhileRunning()) return;
        EnsureChosenArchiv();
        if (FileExists(WorkbenchModule().ArchivFileName()) &&
            !Confirmed("Die angegebene Datei existiert bereits;\nwenn Sie fortfahren, wird diese überschrieben.\n"
                       "Soll die vorhandene Datei überschrieben werden?"))
            return;
        if (!ChosenArchiv()) return;
        Pack(false);
    });
}

void TfrmVendrask::spbCompressAddClick(QObject*) {
    Guarded("TfrmVendrask.spbCompressAddClick", [&] {
        if (RefuseWhileRunning()) return;
        EnsureChosenArchiv();
        if (!FileExists(WorkbenchModule().ArchivFileName())) {
            if (!Confirmed("Die angegebene Datei existiert noch nicht;\nwenn Sie fortfahren, wird diese neu "
                           "angelegt.\nSoll die angegebene Datei neu angelegt werden?"))
                return;
            spbCompressNewClick(nullptr);
        }
        if (!ChosenArchiv()) return;
        Pack(true);
    });
}

void TfrmVendrask::Pack(bool addToExisting) {
    TfrmArchivAdd& dialog = AddDialog();
    if (Choosers().ExecModal(dialog) != TfrmArchivAdd::mrOK) return;
    TArchivFormatAbstract* archiv = ChosenArchiv();
    if (!archiv) return;
    {
        const TWorkbenchCommand command(*this, *archiv, true);
        archiv->FileItemClear();
        for (const QString& path : dialog.Files()) archiv->FileItemAdd(path.toStdString());
        if (archiv->ExecuteFilesAdd(addToExisting))
            Notice("Daten wurden erfolgreich gepackt.");
        else
            ReportFailure(addToExisting ? "TfrmVendrask.spbCompressAddClick" : "TfrmVendrask.spbCompressNewClick",
                          "In „" + archiv->ArchivFile + "“ wurde nichts gepackt.", *archiv);
    }
    ArchivAnzeigen();
}

void TfrmVendrask::spbSpanClick(QObject*) {
    Guarded("TfrmVendrask.spbSpanClick", [&] {
        if (RefuseWhileRunning()) return;
        if (!CurrentArchiv()) return;
        TfrmArchivSpan& dialog = SpanDialog();
        dialog.SetTargetDir(QString::fromStdString(GetDirOlvexByName("STATEMP", "", true)));
        dialog.SetSize(TfrmArchivSpan::kAutomaticSize);
        if (Choosers().ExecModal(dialog) != TfrmArchivSpan::mrOK) return;
        TArchivFormatAbstract* archiv = CurrentArchiv();
        if (!archiv) return;
        // The engine takes the low 32 bits; the dialog never gives more than 2000 MB.
        const auto size = static_cast<std::int32_t>(static_cast<std::uint32_t>(dialog.Size()));
        const std::string source = WorkbenchModule().ArchivFileName();
        const TWorkbenchCommand command(*this, *archiv, false);
        if (archiv->Span(source, dialog.TargetDir().toStdString(), size))
            Notice("Die Archivdatei wurde aufgeteilt.");
        else
            ReportFailure("TfrmVendrask.spbSpanClick", "„" + source + "“ wurde nicht aufgeteilt.", *archiv,
                          "Beim Aufteilen trat ein Fehler auf..");
    });
}

void TfrmVendrask::spbMergeClick(QObject*) {
    Guarded("TfrmVendrask.spbMergeClick", [&] {
        if (RefuseWhileRunning()) return;
        if (!CurrentArchiv()) return;
        TDirectoryChooserOptions options;
        options.Caption = QStringLiteral("Auswahl Verzeichnis ...");
        options.StartDir = kFileSystemRoot;
        const auto directory = Choosers().SelectDirectory(this, options);
        if (!directory) return;
        TArchivFormatAbstract* archiv = CurrentArchiv();
        if (!archiv) return;
        const std::string source = WorkbenchModule().ArchivFileName();
        const TWorkbenchCommand command(*this, *archiv, false);
        if (archiv->Merge(source, directory->toStdString()))
            Notice("Die Archivdatei wurde zusammengefügt.");
        else
            ReportFailure("TfrmVendrask.spbMergeClick", "„" + source + "“ wurde nicht zusammengefügt.", *archiv,
                          "Beim Zusammenfügen trat ein Fehler auf..");
    });
}

}  // namespace vendrask
