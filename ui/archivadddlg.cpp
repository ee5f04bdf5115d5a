#include "ui/archivadddlg.h"

#include <QAction>
#include <QHBoxLayout>
#include <QListWidget>
#include <QShowEvent>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <memory>

#include "host/services/tavik_info.h"
#include "host/services/tavik_programm.h"
#include "host/widgets/choosers.h"
#include "ui/dialog_strip.h"

namespace vendrask {

namespace {

constexpr int kPathRole = Qt::UserRole;

}  // namespace

TfrmArchivAdd::TfrmArchivAdd(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmArchivAdd"));
    setWindowTitle(QStringLiteral("Verzeichnisse und Dateien hinzufügen ..."));
    resize(539, 319);

    auto* strip = new QHBoxLayout;
    strip->setSpacing(0);
    const auto connectBoth = [this](QToolButton* button, QAction* action, void (TfrmArchivAdd::*handler)()) {
        connect(button, &QToolButton::clicked, this, handler);
        connect(action, &QAction::triggered, this, handler);
    };
    connectBoth(AddStripButton(*this, *strip, {"spbCancel", "Abbrechen", "Esc - zurück", TDialogIcon::Cancel}),
                AddKeyAction(*this, "actEsc", {QKeySequence(Qt::Key_Escape)}), &TfrmArchivAdd::spbCancelClick);
    connectBoth(
        AddStripButton(*this, *strip, {"spbOK", "Speichern", "Enter - Liste verarbeiten", TDialogIcon::Ok}),
        AddKeyAction(*this, "actOK", EnterKeys()), &TfrmArchivAdd::spbOKClick);
    connectBoth(AddStripButton(*this, *strip,
                               {"spbAddFolder", "Verzeichnis", "F7 - Verzeichnis hinzufügen", TDialogIcon::AddFolder}),
                AddKeyAction(*this, "actF7", {QKeySequence(Qt::Key_F7)}), &TfrmArchivAdd::spbAddFolderClick);
    connectBoth(
        AddStripButton(*this, *strip, {"spbAddFile", "Datei", "F8 - Datei hinuzfügen ...", TDialogIcon::AddFile}),
        AddKeyAction(*this, "actF8", {QKeySequence(Qt::Key_F8)}), &TfrmArchivAdd::spbAddFileClick);
    connectBoth(AddStripButton(*this, *strip,
                               {"spbDelete", "Entfernen", "Entf - Markierten Eintrag entfernen", TDialogIcon::Remove}),
                AddKeyAction(*this, "actEntf", {QKeySequence(Qt::Key_Delete)}), &TfrmArchivAdd::spbDeleteClick);
    strip->addStretch();

    vstDateien = new QListWidget(this);
    vstDateien->setObjectName(QStringLiteral("vstDateien"));
    vstDateien->setSelectionMode(QAbstractItemView::ExtendedSelection);
    vstDateien->setUniformItemSizes(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    layout->addLayout(strip);
    layout->addWidget(NewStripLine(*this));
    layout->addWidget(vstDateien, 1);

    FormCreate();
}

TfrmArchivAdd::~TfrmArchivAdd() { FormDestroy(); }

void TfrmArchivAdd::FormCreate() {
    tavik::Guarded("TfrmArchivAdd.FormCreate", [&] {
        setProperty("TavikFormKey", QString::fromStdString(tavik::TavikProgramm().Kennung()) +
                                        QStringLiteral(".frmArchivAdd"));
        FFiles.clear();
    });
}

void TfrmArchivAdd::FormShow() {
    tavik::Guarded("TfrmArchivAdd.FormShow", [&] {
        setResult(mrNone);
        vstDateien->clear();
    });
}

void TfrmArchivAdd::FormDestroy() {
    const char* context = "TfrmArchivAdd.FormDestroy";
    tavik::Guarded(context, [&] { FFiles.clear(); }, false);
    tavik::TavikInfo().FehlerTerminate(context, 0, "", "", 0, 0);
}

void TfrmArchivAdd::SetChoosers(std::shared_ptr<tavik::TChoosers> choosers) { FChoosers = std::move(choosers); }

tavik::TChoosers& TfrmArchivAdd::Choosers() {
    if (!FChoosers) FChoosers = tavik::NewQtChoosers();
    return *FChoosers;
}

void TfrmArchivAdd::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TfrmArchivAdd::reject() { done(mrCancel); }

void TfrmArchivAdd::AppendRow(const QString& path) {
    auto* item = new QListWidgetItem(path, vstDateien);
    item->setData(kPathRole, path);
}

void TfrmArchivAdd::spbCancelClick() {
    tavik::Guarded("TfrmArchivAdd.spbCancelClick", [&] { done(mrCancel); });
}

void TfrmArchivAdd::spbOKClick() {
    tavik::Guarded("TfrmArchivAdd.spbOKClick", [&] {
        setResult(mrNone);
        FFiles.clear();
        for (int row = 0; row < vstDateien->count(); ++row)
            FFiles.append(vstDateien->item(row)->data(kPathRole).toString());
        if (!FFiles.isEmpty()) done(mrOK);
    });
}

void TfrmArchivAdd::spbAddFolderClick() {
    tavik::Guarded("TfrmArchivAdd.spbAddFolderClick", [&] {
        tavik::TDirectoryChooserOptions options;
        options.Caption = QStringLiteral("Auswahl Verzeichnis ...");
        if (const auto directory = Choosers().SelectDirectory(this, options)) AppendRow(*directory);
    });
}

void TfrmArchivAdd::spbAddFileClick() {
    tavik::Guarded("TfrmArchivAdd.spbAddFileClick", [&] {
        if (const auto files = Choosers().OpenFiles(this, QStringLiteral("Auswahl Dateien ...")))
            for (const QString& file : *files) AppendRow(file);
    });
}

void TfrmArchivAdd::spbDeleteClick() {
    tavik::Guarded("TfrmArchivAdd.spbDeleteClick", [&] {
        const QModelIndexList selected = vstDateien->selectionModel()->selectedRows();
        if (selected.isEmpty()) return;
        const auto first = std::min_element(selected.begin(), selected.end(),
                                            [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
        std::unique_ptr<QListWidgetItem> removed(vstDateien->takeItem(first->row()));
    });
}

}  // namespace vendrask
