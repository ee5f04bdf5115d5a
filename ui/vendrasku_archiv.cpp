// The workbench page: choosing and showing an archive, the progress of its commands and the
// abort button.
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QToolButton>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>

#include "host/engine/split/volume_names.h"
#include "host/services/exceptions.h"
#include "host/services/formatting.h"
#include "host/services/fs_names.h"
#include "host/services/paths.h"
#include "host/services/tavik_info.h"
#include "host/services/system_error.h"
#include "host/services/tavik_programm.h"
#include "host/services/unique_fd.h"
#include "task/dmarchivu.h"
#include "ui/vendrasku.h"
#include "ui/view_update.h"
#include "ui/workbench_command.h"
#include "ui/workbench_support.h"

namespace vendrask {

using namespace tavik;

namespace {

// The file's modification time as the packed DOS form keeps it (even seconds), with the date,
// five blanks and the time of day.
QString ModificationText(const QString& fileName) {
    TDateTime time = FileTimeToDateTime(static_cast<std::time_t>(QFileInfo(fileName).lastModified().toSecsSinceEpoch()));
    const auto seconds = time.time_since_epoch().count();
    time -= std::chrono::seconds(((seconds % 2) + 2) % 2);
    return QString::fromStdString(tavik_DateToStr(time, 10) + "     " + tavik_TimeToStr(time));
}

// done of total on the bar's scale, rounded to the nearest step (halves to the even one); no
// total at all fills the bar.
int BarPosition(const QProgressBar& bar, std::int64_t done, std::int64_t total) {
    if (total <= 0) return bar.maximum();
    const double position = std::nearbyint(static_cast<double>(bar.maximum()) * static_cast<double>(done) /
                                           static_cast<double>(total));
    return static_cast<int>(std::clamp(position, static_cast<double>(bar.minimum()), static_cast<double>(bar.maximum())));
}

// Why the chosen file was not opened: the notice for the user, the details for the failure list.
void ExplainRefusedArchive(const std::string& name, const TArchivRefusal& refusal) {
    // A file that is not there or cannot be read is no damaged archive; the user can do
    // something about it.
    struct stat st {};
    std::string reason;
    if (::stat(name.c_str(), &st) != 0) {
        reason = errno == ENOENT ? "Die Datei „" + name + "“ ist nicht vorhanden."
                                 : "Die Datei „" + name + "“ ist nicht erreichbar (" + SystemErrorText(errno) + ").";
    } else if (S_ISDIR(st.st_mode)) {
        reason = "„" + name + "“ ist ein Verzeichnis und keine Archivdatei.";
    } else if (const TUniqueFd fd(::open(name.c_str(), O_RDONLY | O_CLOEXEC)); !fd) {
        reason = "Die Datei „" + name + "“ kann nicht gelesen werden (" + SystemErrorText(errno) +
                 "). Bitte prüfen Sie die Zugriffsrechte.";
    }
    if (!reason.empty()) {
        TavikInfo().RegisterFailure("TfrmVendrask.spbOpenFilesClick", reason);
        TavikHinweisBox(reason, "");
        return;
    }
    // A format that took the file for its own knows better than the general notice.
    if (refusal.Reason.empty())
        Notice("Die Datei scheint defekt oder es handelt\nsich nicht um eine gültige Archivdatei.");
    else
        TavikHinweisBox(refusal.Reason, "");
    TavikInfo().RegisterFailure("TfrmVendrask.spbOpenFilesClick", "Die Datei „" + name +
                                                                     "“ wird nicht als Archiv geöffnet. " +
                                                                     refusal.Found);
}

}  // namespace

bool TfrmVendrask::RefuseWhileRunning() {
    if (!FCommandRunning) return false;
    Notice("Es läuft bereits eine Operation.\nBitte warten Sie, bis sie beendet ist, oder brechen Sie sie mit "
           "„Operation abbrechen“ ab.");
    return true;
}

void TfrmVendrask::spbOpenFilesClick(QObject*) {
    Guarded("TfrmVendrask.spbOpenFilesClick", [&] {
        if (RefuseWhileRunning()) return;
        TdmOlvexArchiv& module = WorkbenchModule();
        const QString initialDir = QString::fromStdString(GetDirOlvexByName("ARCHIV", "", true));
        const auto chosen = Choosers().OpenFile(this, QStringLiteral("Archivdatei auswählen ..."), OpenDialogFilter(),
                                                initialDir);
        if (!chosen) return;
        const std::string name = chosen->toStdString();
        module.SetArchivFileName(name);
        ArchivAnzeigen();
        if (module.ArchivFileName().empty()) ExplainRefusedArchive(name, module.ArchivRefusal());
    });
}

void TfrmVendrask::ArchivAnzeigen() {
    Guarded("TfrmVendrask.ArchivAnzeigen", [&] {
        TdmOlvexArchiv& module = WorkbenchModule();
        if (!FArchivInhalt) throw EOlvex("Die Liste des Archivinhalts fehlt; bitte das Programm neu starten.");
        const std::string name = module.ArchivFileName();
        lblArchDateiName->setText(QString::fromStdString(name));
        lblArchDateiBytes->clear();
        lblArchDateiTime->clear();
        // The view lets go of the rows before they go.
        vrtArchivInhalt->Clear();
        FArchivInhalt->RowsClear();
        TavikInfoProcessMessages(0);
        // A command handled just now may have shown another archive already.
        if (module.ArchivFileName() != name) return;
        if (!FileExists(name)) return;

        const QString fileName = QString::fromStdString(name);
        lblArchDateiBytes->setText(QString::fromStdString(tavik_FormatByteSize(GetFileSize(fileName))));
        lblArchDateiTime->setText(ModificationText(fileName));

        TArchivFormatAbstract* archiv = module.Archiv();
        if (!archiv) return;
        const TWorkbenchCommand command(*this, *archiv, false);
        try {
            // Each entry goes into the table as it is read, and only there: an archive of a
            // million entries is not held a second time as the engine's items (nor, for ZIP,
            // as libzip's directory) while the table fills.
            const bool listed = archiv->ExecuteArchivListEach([this](std::int64_t index, const TFileInfoItem& entry) {
                FArchivInhalt->RowAdd({ConcatPathNames(entry.RelDir, entry.FileName), entry.Size, entry.DateTime,
                                       entry.DateTime, static_cast<std::int32_t>(index)},
                                      0);
            });
            if (!listed) {
                // A damaged archive shows none of its entries: the user sees the failure, not a
                // part taken for the whole.
                FArchivInhalt->RowsClear();
                ReportFailure("TfrmVendrask.ArchivAnzeigen", "Der Inhalt von „" + name + "“ ist nicht zu lesen.",
                              *archiv);
                return;
            }
            const TViewUpdate update(*vrtArchivInhalt);
            vrtArchivInhalt->SetVRList(FArchivInhalt.get());
            vrtArchivInhalt->Rebuild(true);
            vrtArchivInhalt->SetColumnVisible(FArchivInhaltIndexCol, false);
            vrtArchivInhalt->AutoFitColumns(0, 0);
        } catch (const std::exception& e) {
            Notice("Der Inhalt der Archivdatei kann nicht angezeigt werden.");
            TavikInfo().RegisterFailure("TfrmVendrask.ArchivAnzeigen",
                                        "Der Inhalt von „" + name + "“ kann nicht angezeigt werden: " + e.what());
        }
    });
}

std::int64_t TfrmVendrask::GetFileSize(const QString& fileName) {
    return Guarded("GetFileSize", std::int64_t{-1}, [&] {
        std::int64_t total = 0;
        const std::string base = WithoutExtension(fileName.toStdString());
        QString current = fileName;
        for (std::uint32_t counter = 1; QFileInfo(current).isFile(); ++counter) {
            QFile file(current);
            // A volume that cannot be read makes the size unknown; the label says -1.
            if (!file.open(QIODevice::ReadOnly)) return std::int64_t{-1};
            file.close();
            total += QFileInfo(current).size();
            current = QString::fromStdString(base + VolumeExtension(counter));
        }
        return total;
    });
}

void TfrmVendrask::ArchivFileProgress(TArchivFormatAbstract&, TArchivCommand, PFileInfoItem entry, std::int64_t done,
                                      std::int64_t total) {
    Guarded("TfrmVendrask.ArchivFileProgress", [&] {
        lblProgressItem->setText(entry ? QString::fromStdString(entry->FileName) : QString());
        pgbProgressItem->setValue(BarPosition(*pgbProgressItem, done, total));
    });
}

void TfrmVendrask::ArchivTotalProgress(TArchivFormatAbstract&, TArchivCommand, std::int64_t done, std::int64_t total) {
    Guarded("TfrmVendrask.ArchivTotalProgress", [&] {
        pgbProgressTotal->setValue(BarPosition(*pgbProgressTotal, done, total));
        // The only place where input reaches the window during a command: the abort button.
        TavikInfoProcessMessages(333);
    });
}

void TfrmVendrask::ArchivCommandEnd(TArchivFormatAbstract&, TArchivCommand) {
    Guarded("TfrmVendrask.ArchivCommandEnd", [&] { lblProgressItem->clear(); });
}

void TfrmVendrask::spbAbortOperationClick(QObject*) {
    Guarded("TfrmVendrask.spbAbortOperationClick", [&] {
        if (FSearchRunning) FSearchAborted = true;
        if (FInventoryRunning) FInventoryAborted = true;
        if (FSucheArchiv && FSucheArchiv->Busy()) {
            FSucheArchiv->Abort();
            return;
        }
        TArchivFormatAbstract* archiv = CurrentArchiv();
        if (!archiv || !archiv->Busy()) return;
        archiv->Abort();
    });
}

void TfrmVendrask::vrtArchivInhaltInitNode(QObject*, PVirtualNode, PVirtualNode node, TVirtualNodeInitStates&) {
    Guarded("TfrmVendrask.vrtArchivInhaltInitNode", [&] {
        if (node) node->CheckType = ctCheckBox;
    });
}

}  // namespace vendrask
