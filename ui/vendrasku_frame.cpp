// The frame of the main window: toolbar, page control, main menu and keys.
#include <QAction>
#include <QFrame>
#include <QHBoxLayout>
#include <QMenuBar>
#include <QShortcut>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "host/widgets/icons.h"
#include "ui/vendrasku.h"

namespace vendrask {

namespace {

QToolButton* ToolbarButton(QWidget* parent, const char* name, const QString& caption, const QString& hint,
                           const QIcon& icon) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setText(caption);
    button->setToolTip(hint);
    button->setIcon(icon);
    button->setIconSize(QSize(24, 24));
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setAutoRaise(true);
    button->setFixedSize(65, 65);
    QFont small = button->font();
    small.setPointSizeF(small.pointSizeF() * 0.9);
    button->setFont(small);
    return button;
}

}  // namespace

void TfrmVendrask::BuildFrame() {
    pnlHauptrahmen = new QFrame(this);
    pnlHauptrahmen->setObjectName(QStringLiteral("pnlHauptrahmen"));
    pnlHauptrahmen->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setCentralWidget(pnlHauptrahmen);
    auto* outer = new QVBoxLayout(pnlHauptrahmen);
    outer->setContentsMargins(4, 4, 4, 4);

    pnlDaten = new QWidget(pnlHauptrahmen);
    pnlDaten->setObjectName(QStringLiteral("pnlDaten"));
    outer->addWidget(pnlDaten);
    auto* data = new QVBoxLayout(pnlDaten);
    data->setContentsMargins(4, 4, 4, 4);
    data->setSpacing(3);

    auto* toolbar = new QHBoxLayout;
    toolbar->setSpacing(3);
    spbEnde = ToolbarButton(pnlDaten, "spbEnde", QStringLiteral("Abbrechen"), QStringLiteral("Esc - Programm beenden"),
                            tavik::icons::Exit());
    spbAlleEin = ToolbarButton(pnlDaten, "spbAlleEin", QStringLiteral("alle ein"),
                               QStringLiteral("F7 - Alle Einträge markieren"), tavik::icons::CheckAll());
    spbAlleUms = ToolbarButton(pnlDaten, "spbAlleUms", QStringLiteral("umkehren"),
                               QStringLiteral("F8 - Markierung aller Einträge umkehren"), tavik::icons::InvertChecks());
    toolbar->addWidget(spbEnde);
    toolbar->addWidget(spbAlleEin);
    toolbar->addWidget(spbAlleUms);
    toolbar->addStretch(1);
    data->addLayout(toolbar);

    bvlButtons = new QFrame(pnlDaten);
    bvlButtons->setObjectName(QStringLiteral("bvlButtons"));
    bvlButtons->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    data->addWidget(bvlButtons);

    pgcAnsicht = new QTabWidget(pnlDaten);
    pgcAnsicht->setObjectName(QStringLiteral("pgcAnsicht"));
    pgcAnsicht->setDocumentMode(true);
    pgcAnsicht->setUsesScrollButtons(false);
    tshOlvexSystemArch = BuildSystemPage(true);
    tshOlvexSystemDel = BuildSystemPage(false);
    tshArchivVerwaltung = BuildWorkbenchPage();
    tshSuche = BuildSearchPage();
    tshArchivbestand = BuildInventoryPage();
    pgcAnsicht->addTab(tshOlvexSystemArch, QStringLiteral("System aufräumen: Archivieren"));
    pgcAnsicht->addTab(tshOlvexSystemDel, QStringLiteral("System aufräumen: Löschen"));
    pgcAnsicht->addTab(tshArchivVerwaltung, QStringLiteral("Archivdatei bearbeiten"));
    pgcAnsicht->addTab(tshSuche, QStringLiteral("Archiv durchsuchen"));
    pgcAnsicht->addTab(tshArchivbestand, QStringLiteral("Archivbestand"));
    data->addWidget(pgcAnsicht, 1);

    connect(spbEnde, &QToolButton::clicked, this, [this] { spbEndeClick(spbEnde); });
    connect(spbAlleEin, &QToolButton::clicked, this, [this] { spbAlleEinClick(spbAlleEin); });
    connect(spbAlleUms, &QToolButton::clicked, this, [this] { spbAlleUmsClick(spbAlleUms); });
}

void TfrmVendrask::BuildMenu() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("TavikMainMenu"));

    Funktionen1 = bar->addMenu(QStringLiteral("&Funktionen"));
    Funktionen1->setObjectName(QStringLiteral("Funktionen1"));
    Beenden1 = Funktionen1->addAction(QStringLiteral("Beenden"));
    Beenden1->setObjectName(QStringLiteral("Beenden1"));
    Beenden1->setShortcut(QKeySequence(Qt::Key_Escape));
    connect(Beenden1, &QAction::triggered, this, [this] { spbEndeClick(Beenden1); });

    // The two items only carry their keys; the keys act as the toolbar buttons.
    Ansicht1 = bar->addMenu(QStringLiteral("&Ansicht"));
    Ansicht1->setObjectName(QStringLiteral("Ansicht1"));
    Allemarkieren1 = Ansicht1->addAction(QStringLiteral("Alle markieren"));
    Allemarkieren1->setObjectName(QStringLiteral("Allemarkieren1"));
    Allemarkieren1->setShortcut(QKeySequence(Qt::Key_F7));
    connect(Allemarkieren1, &QAction::triggered, spbAlleEin, &QToolButton::click);
    Markierungumkehren1 = Ansicht1->addAction(QStringLiteral("Markierung umkehren"));
    Markierungumkehren1->setObjectName(QStringLiteral("Markierungumkehren1"));
    Markierungumkehren1->setShortcut(QKeySequence(Qt::Key_F8));
    connect(Markierungumkehren1, &QAction::triggered, spbAlleUms, &QToolButton::click);

    N2 = bar->addMenu(QStringLiteral("&?"));
    N2->setObjectName(QStringLiteral("N2"));
    Hilfe1 = N2->addAction(QStringLiteral("Hilfe"));
    Hilfe1->setObjectName(QStringLiteral("Hilfe1"));
    Hilfe1->setShortcut(QKeySequence(Qt::Key_F1));
    Hilfe1->setEnabled(false);
}

void TfrmVendrask::BuildKeys() {
    // F4 moves to the next page, as the page control of the host framework does.
    auto* nextPage = new QShortcut(QKeySequence(Qt::Key_F4), this);
    nextPage->setObjectName(QStringLiteral("keyNextPage"));
    connect(nextPage, &QShortcut::activated, this,
            [this] { pgcAnsicht->setCurrentIndex((pgcAnsicht->currentIndex() + 1) % pgcAnsicht->count()); });

    // F5 and Shift+F5 act as the buttons of the page whose hint names them.
    auto* archive = new QShortcut(QKeySequence(Qt::Key_F5), this);
    archive->setObjectName(QStringLiteral("keyArchivieren"));
    connect(archive, &QShortcut::activated, this, [this] {
        if (pgcAnsicht->currentWidget() == tshOlvexSystemArch) spbSystemArch->click();
    });
    auto* remove = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F5), this);
    remove->setObjectName(QStringLiteral("keyLoeschen"));
    connect(remove, &QShortcut::activated, this, [this] {
        if (pgcAnsicht->currentWidget() == tshOlvexSystemDel) spbSystemDelClick->click();
    });
}

}  // namespace vendrask
