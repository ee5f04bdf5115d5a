#include "ui/archivspandlg.h"

#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QShowEvent>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

#include "host/services/tavik_info.h"
#include "host/services/tavik_programm.h"
#include "host/widgets/choosers.h"
#include "host/widgets/path_label.h"
#include "ui/dialog_strip.h"
#include "ui/megabyte_edit.h"

namespace vendrask {

namespace {

QString DefaultTargetDir() {
#ifdef Q_OS_WIN
    return QStringLiteral("c:\\");
#else
    return QStringLiteral("/");
#endif
}

}  // namespace

TfrmArchivSpan::TfrmArchivSpan(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmArchivSpan"));
    setWindowTitle(QStringLiteral("Ziel und Dateigröße festlegen"));
    setFixedSize(360, 214);

    auto* strip = new QHBoxLayout;
    strip->setSpacing(0);
    auto* spbAbbrechen =
        AddStripButton(*this, *strip, {"spbAbbrechen", "Abbrechen", "Esc - zurück ...", TDialogIcon::Cancel});
    auto* spbOK =
        AddStripButton(*this, *strip, {"spbOK", "Speichern", "Enter - Eingaben übernehmen ...", TDialogIcon::Ok});
    strip->addStretch();
    connect(spbAbbrechen, &QToolButton::clicked, this, &TfrmArchivSpan::spbAbbrechenClick);
    connect(AddKeyAction(*this, "actEsc", {QKeySequence(Qt::Key_Escape)}), &QAction::triggered, this,
            &TfrmArchivSpan::spbAbbrechenClick);
    connect(spbOK, &QToolButton::clicked, this, &TfrmArchivSpan::spbOKClick);
    connect(AddKeyAction(*this, "actEnter", EnterKeys()), &QAction::triggered, this, &TfrmArchivSpan::spbOKClick);

    auto* lblZiel = new QLabel(QStringLiteral("Ziel"), this);
    lblZiel->setObjectName(QStringLiteral("lblZiel"));

    auto* spbTarget = new QToolButton(this);
    spbTarget->setObjectName(QStringLiteral("spbTarget"));
    spbTarget->setToolTip(QStringLiteral("Auswahl eines Laufwerkes bzw. eines Verzeichnisses ..."));
    spbTarget->setIcon(DialogIcon(TDialogIcon::ChooseTarget));
    spbTarget->setIconSize(QSize(18, 18));
    spbTarget->setAutoRaise(true);
    spbTarget->setFixedSize(26, 26);
    connect(spbTarget, &QToolButton::clicked, this, &TfrmArchivSpan::spbTargetClick);

    // A directory name is shown as it is: '&' is no accelerator, '<' starts no markup; a long
    // one loses its middle, and the tooltip shows all of it.
    lblTarget = new tavik::TPathLabel(this);
    lblTarget->setObjectName(QStringLiteral("lblTarget"));

    rbtAuto = new QRadioButton(QStringLiteral("automatisch"), this);
    rbtAuto->setObjectName(QStringLiteral("rbtAuto"));
    rbtAuto->setChecked(true);
    rbtUserdefined = new QRadioButton(QStringLiteral("benutzerdefiniert (in MB)"), this);
    rbtUserdefined->setObjectName(QStringLiteral("rbtUserdefined"));
    // Both directions: leaving "benutzerdefiniert" for "automatisch" disables the edit again.
    connect(rbtUserdefined, &QRadioButton::toggled, this, &TfrmArchivSpan::rbtUserdefinedClick);

    edtUserdefined = new TMegabyteEdit(this);
    edtUserdefined->setObjectName(QStringLiteral("edtUserdefined"));
    edtUserdefined->setFixedWidth(80);
    edtUserdefined->setEnabled(false);

    setTabOrder(spbTarget, rbtAuto);
    setTabOrder(rbtAuto, rbtUserdefined);
    setTabOrder(rbtUserdefined, edtUserdefined);

    auto* target = new QHBoxLayout;
    target->addWidget(spbTarget);
    target->addWidget(lblTarget, 1);
    auto* userdefined = new QHBoxLayout;
    userdefined->addWidget(rbtUserdefined);
    userdefined->addWidget(edtUserdefined);
    userdefined->addStretch();

    auto* body = new QVBoxLayout;
    body->setContentsMargins(8, 4, 8, 8);
    body->addWidget(lblZiel);
    body->addLayout(target);
    body->addSpacing(6);
    body->addWidget(rbtAuto);
    body->addLayout(userdefined);
    body->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->setSpacing(4);
    layout->addLayout(strip);
    layout->addWidget(NewStripLine(*this));
    layout->addLayout(body, 1);

    FormCreate();
}

TfrmArchivSpan::~TfrmArchivSpan() = default;

void TfrmArchivSpan::FormCreate() {
    tavik::Guarded("TfrmArchivSpan.FormCreate", [&] {
        setProperty("TavikFormKey", QString::fromStdString(tavik::TavikProgramm().Kennung()) +
                                        QStringLiteral(".frmArchivSpan"));
        FTargetDir = DefaultTargetDir();
        FSize = kAutomaticSize;
    });
}

void TfrmArchivSpan::FormShow() {
    tavik::Guarded("TfrmArchivSpan.FormShow", [&] {
        setResult(mrNone);
        lblTarget->setText(FTargetDir);
        if (FSize == kAutomaticSize) {
            rbtAuto->setChecked(true);
        } else {
            rbtUserdefined->setChecked(true);
            edtUserdefined->SetAsFloat(static_cast<double>(FSize) / static_cast<double>(kBytesPerMegabyte));
        }
        rbtUserdefinedClick();
    });
}

void TfrmArchivSpan::SetChoosers(std::shared_ptr<tavik::TChoosers> choosers) { FChoosers = std::move(choosers); }

tavik::TChoosers& TfrmArchivSpan::Choosers() {
    if (!FChoosers) FChoosers = tavik::NewQtChoosers();
    return *FChoosers;
}

void TfrmArchivSpan::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

void TfrmArchivSpan::reject() { done(mrCancel); }

void TfrmArchivSpan::rbtUserdefinedClick() {
    tavik::Guarded("TfrmArchivSpan.rbtUserdefinedClick",
                   [&] { edtUserdefined->setEnabled(rbtUserdefined->isChecked()); });
}

void TfrmArchivSpan::spbTargetClick() {
    tavik::Guarded("TfrmArchivSpan.spbTargetClick", [&] {
        tavik::TDirectoryChooserOptions options;
        options.Caption = QStringLiteral("Auswahl Verzeichnis ...");
        options.StartDir = lblTarget->text();
        if (const auto directory = Choosers().SelectDirectory(this, options)) lblTarget->setText(*directory);
    });
}

void TfrmArchivSpan::spbOKClick() {
    tavik::Guarded("TfrmArchivSpan.spbOKClick", [&] {
        std::int64_t size = kAutomaticSize;
        if (!rbtAuto->isChecked()) {
            size = std::llround(edtUserdefined->AsFloat() * static_cast<double>(kBytesPerMegabyte));
            // The engine refuses smaller volumes; the user hears it here, in the unit typed.
            if (size < kSmallestSize) {
                tavik::TavikHinweisBox(
                    "Die Teilgröße von " + TMegabyteEdit::Text(edtUserdefined->AsFloat()).toStdString() +
                        " MB ist zu klein: jeder Teil muss mindestens " + TMegabyteEdit::Text(SmallestMegabytes()).toStdString() +
                        " MB groß sein. Bitte eine größere Teilgröße oder „automatisch“ wählen.",
                    "");
                edtUserdefined->setFocus();
                edtUserdefined->selectAll();
                return;
            }
        }
        FTargetDir = lblTarget->text();
        FSize = size;
        done(mrOK);
    });
}

double TfrmArchivSpan::SmallestMegabytes() {
    // The smallest value of two decimals that is not below the engine's smallest size.
    return std::ceil(static_cast<double>(kSmallestSize) * 100.0 / static_cast<double>(kBytesPerMegabyte)) / 100.0;
}

void TfrmArchivSpan::spbAbbrechenClick() {
    tavik::Guarded("TfrmArchivSpan.spbAbbrechenClick", [&] { done(mrCancel); });
}

}  // namespace vendrask
