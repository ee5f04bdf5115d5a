// The main window's life: creation, first showing, destruction and the exit command.
#include "ui/vendrasku.h"

#include <QApplication>
#include <QLabel>
#include <QShowEvent>
#include <QTabWidget>

#include "host/services/exceptions.h"
#include "host/services/tavik_info.h"
#include "host/services/tavik_programm.h"
#include "task/dmarchivu.h"

namespace vendrask {

using namespace tavik;

TfrmVendrask* frmVendrask = nullptr;

namespace {

const QString kResourceCaption = QStringLiteral("Archivdateien erstellen/löschen");

}  // namespace

TfrmVendrask::TfrmVendrask(std::shared_ptr<TChoosers> choosers, QWidget* parent)
    : QMainWindow(parent), FChoosers(choosers ? std::move(choosers) : NewQtChoosers()) {
    setObjectName(QStringLiteral("frmVendrask"));
    setWindowTitle(kResourceCaption);
    move(187, 101);
    setMinimumSize(800, 560);
    resize(800, 600);
    BuildFrame();
    BuildMenu();
    BuildKeys();
    ConnectSystemPages();
    ConnectWorkbench();
    ConnectSearchPage();
    ConnectInventoryPage();
    // The resource names the workbench as the active page; FormCreate overrides it.
    pgcAnsicht->setCurrentWidget(tshArchivVerwaltung);
    if (!frmVendrask) frmVendrask = this;
    FormCreate(this);
}

TfrmVendrask::~TfrmVendrask() {
    FormDestroy(this);
    if (frmVendrask == this) frmVendrask = nullptr;
}

void TfrmVendrask::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!event->spontaneous()) FormShow(this);
}

void TfrmVendrask::FormCreate(QObject*) {
    Guarded("TfrmVendrask.FormCreate", [&] {
        setProperty("TavikFormKey", QString::fromStdString(TavikProgramm().Kennung()) + QStringLiteral(".") +
                                        objectName());
        setWindowTitle(windowTitle() + QStringLiteral(" - ") + QString::fromStdString(TavikProgramm().GetTextMandant()));

        FArchivInhalt = std::make_unique<TVRList>();
        const struct {
            const char* Caption;
            int Kind;
        } columns[] = {{"Name", vrkText}, {"Größe", vrkInt64}, {"Datum", vrkDate}, {"Uhrzeit", vrkTime},
                       {"Index", vrkInteger}};
        for (const auto& spec : columns) {
            TVRColumn& column = FArchivInhalt->ColumnAdd();
            if (FArchivInhalt->GetColumnCount() == 5) FArchivInhaltIndexCol = FArchivInhalt->GetColumnCount() - 1;
            column.Caption = spec.Caption;
            column.Kind = spec.Kind;
            column.Alignment = 0;
            // Sizes read more easily in groups of thousands (155.814.716).
            column.Format = spec.Kind == vrkInt64 ? vrfGrouped : "";
            column.Width = 0;
            column.Visible = true;
        }

        FSuche = std::make_unique<TVRList>();
        const struct {
            const char* Caption;
            int Kind;
        } hitColumns[] = {{"Name", vrkText},    {"Größe", vrkInt64},       {"Datum", vrkDate},
                          {"Uhrzeit", vrkTime}, {"Archivdatei", vrkText}, {"Index", vrkInteger}};
        for (const auto& spec : hitColumns) {
            TVRColumn& column = FSuche->ColumnAdd();
            column.Caption = spec.Caption;
            column.Kind = spec.Kind;
            column.Alignment = 0;
            // Sizes read more easily in groups of thousands (155.814.716).
            column.Format = spec.Kind == vrkInt64 ? vrfGrouped : "";
            column.Width = 0;
            column.Visible = true;
        }
        FSucheIndexCol = FSuche->GetColumnCount() - 1;

        for (QLabel* display : {dspOlvexSysArchAnz, dspOlvexSysArchAnzSel, dspOlvexSysArchBytes, dspOlvexSysArchBytesSel,
                                dspOlvexSysDelAnz, dspOlvexSysDelAnzSel, dspOlvexSysDelBytes, dspOlvexSysDelBytesSel,
                                dspSucheTreffer})
            display->clear();

        pgcAnsicht->setCurrentWidget(tshOlvexSystemArch);
    });
}

void TfrmVendrask::FormShow(QObject*) {
    Guarded("TfrmVendrask.FormShow", [&] {
        lblArchDateiName->clear();
        lblArchDateiTime->clear();
    });
}

void TfrmVendrask::FormDestroy(QObject*) {
    struct TTerminate {
        ~TTerminate() { TavikInfo().FehlerTerminate("TfrmVendrask.FormDestroy", 0, "", "", 0, 0); }
    } terminate;
    Guarded(
        "TfrmVendrask.FormDestroy",
        [&] {
            // The view must not show a table that is gone.
            if (vrtArchivInhalt) {
                vrtArchivInhalt->SetVRList(nullptr);
                vrtArchivInhalt->Clear();
            }
            FArchivInhalt.reset();
            if (vstSuche) {
                vstSuche->SetVRList(nullptr);
                vstSuche->Clear();
            }
            FSuche.reset();
            if (vrtArchivbestand) {
                vrtArchivbestand->SetVRList(nullptr);
                vrtArchivbestand->Clear();
            }
            FArchivbestand.reset();
        },
        false);
}

void TfrmVendrask::spbEndeClick(QObject*) {
    Guarded("TfrmVendrask.spbEndeClick", [&] {
        if (dmOlvexArchiv && dmOlvexArchiv->Archiv() && dmOlvexArchiv->Archiv()->Busy()) dmOlvexArchiv->Archiv()->Abort();
        QCoreApplication::quit();
    });
}

}  // namespace vendrask
