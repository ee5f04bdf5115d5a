// The components of the pages.
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "host/widgets/icons.h"
#include "host/widgets/path_label.h"
#include "ui/vendrasku.h"

namespace vendrask {

namespace {

QToolButton* ImageButton(QWidget* parent, const QString& name, const QString& hint, const QIcon& icon) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setToolTip(hint);
    button->setIcon(icon);
    button->setIconSize(QSize(24, 24));
    button->setAutoRaise(true);
    button->setFixedSize(30, 30);
    return button;
}

QLabel* Label(QWidget* parent, const QString& name, const QString& caption) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    return label;
}

// A number display: right-aligned, its text taken literally.
QLabel* Display(QWidget* parent, const QString& name) {
    QLabel* display = Label(parent, name, QStringLiteral("0"));
    display->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    display->setMinimumWidth(90);
    return display;
}

QFrame* Bevel(QWidget* parent, const QString& name) {
    auto* bevel = new QFrame(parent);
    bevel->setObjectName(name);
    bevel->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    return bevel;
}

tavik::TVTVRList* CandidateView(QWidget* parent, const QString& name) {
    auto* view = new tavik::TVTVRList(parent);
    view->setObjectName(name);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->header()->setSectionsMovable(true);
    return view;
}

QPushButton* CommandButton(QWidget* parent, const char* name, const QString& caption, const QIcon& icon) {
    auto* button = new QPushButton(icon, caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setFlat(true);
    button->setIconSize(QSize(20, 20));
    button->setFixedSize(317, 27);
    // Image 10 pixels from the left edge, caption from 40 on.
    button->setStyleSheet(QStringLiteral("QPushButton { text-align: left; padding-left: 10px; }"));
    return button;
}

QProgressBar* Bar(QWidget* parent, const QString& name) {
    auto* bar = new QProgressBar(parent);
    bar->setObjectName(name);
    bar->setRange(0, 1000);
    bar->setValue(0);
    bar->setTextVisible(false);
    bar->setFixedHeight(12);
    return bar;
}

}  // namespace

QWidget* TfrmVendrask::BuildSystemPage(bool archive) {
    const QString part = archive ? QStringLiteral("Arch") : QStringLiteral("Del");
    auto* page = new QWidget(pgcAnsicht);
    page->setObjectName(archive ? QStringLiteral("tshOlvexSystemArch") : QStringLiteral("tshOlvexSystemDel"));

    QToolButton* refresh = ImageButton(page, QStringLiteral("spbSystem%1Refresh").arg(part),
                                       QStringLiteral("Anzeige aktualisieren"), tavik::icons::Refresh());
    QToolButton* run = archive ? ImageButton(page, QStringLiteral("spbSystemArch"),
                                             QStringLiteral("F5 - Markierte Dateien archivieren"),
                                             tavik::icons::ArchiveFiles())
                               : ImageButton(page, QStringLiteral("spbSystemDelClick"),
                                             QStringLiteral("Umsch+F5 - Markierte Dateien löschen"),
                                             tavik::icons::DeleteFiles());

    const QString prefix = QStringLiteral("OlvexSys") + part;
    QLabel* lblAnz = Label(page, QStringLiteral("lbl%1Anz").arg(prefix), QStringLiteral("Anzahl Dateien"));
    QLabel* dspAnz = Display(page, QStringLiteral("dsp%1Anz").arg(prefix));
    QLabel* lblAnzSel = Label(page, QStringLiteral("lbl%1AnzSel").arg(prefix), QStringLiteral("Anzahl markierter Dateien"));
    QLabel* dspAnzSel = Display(page, QStringLiteral("dsp%1AnzSel").arg(prefix));
    QLabel* lblBytes = Label(page, QStringLiteral("lbl%1Bytes").arg(prefix), QStringLiteral("Größe der Dateien"));
    QLabel* dspBytes = Display(page, QStringLiteral("dsp%1Bytes").arg(prefix));
    QLabel* lblBytesSel = Label(page, QStringLiteral("lbl%1BytesSel").arg(prefix), QStringLiteral("Größe der Dateien"));
    QLabel* dspBytesSel = Display(page, QStringLiteral("dsp%1BytesSel").arg(prefix));
    QFrame* bevel = Bevel(page, QStringLiteral("bvl%1").arg(prefix));
    tavik::TVTVRList* view = CandidateView(page, QStringLiteral("vrtSystem%1").arg(part));

    auto* counters = new QGridLayout;
    counters->setHorizontalSpacing(8);
    counters->setVerticalSpacing(0);
    counters->addWidget(lblAnz, 0, 0);
    counters->addWidget(dspAnz, 0, 1);
    counters->addWidget(lblAnzSel, 0, 3);
    counters->addWidget(dspAnzSel, 0, 4);
    counters->addWidget(lblBytes, 1, 0);
    counters->addWidget(dspBytes, 1, 1);
    counters->addWidget(lblBytesSel, 1, 3);
    counters->addWidget(dspBytesSel, 1, 4);
    counters->setColumnStretch(1, 1);
    counters->setColumnStretch(2, 1);
    counters->setColumnStretch(4, 1);

    auto* top = new QHBoxLayout;
    top->setSpacing(2);
    top->addWidget(refresh, 0, Qt::AlignTop);
    top->addWidget(run, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(counters, 1);

    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 4, 0, 4);
    layout->setSpacing(4);
    layout->addLayout(top);
    layout->addWidget(bevel);
    if (!archive) {
        // Shown while a deletion hold keeps everything in ARCHIV.
        lblOlvexSysDelSperre = Label(page, QStringLiteral("lblOlvexSysDelSperre"), QString());
        lblOlvexSysDelSperre->setWordWrap(true);
        lblOlvexSysDelSperre->setStyleSheet(QStringLiteral("font-weight: bold"));
        lblOlvexSysDelSperre->setVisible(false);
        layout->addWidget(lblOlvexSysDelSperre);
    }
    layout->addWidget(view, 1);

    if (archive) {
        spbSystemArchRefresh = refresh;
        spbSystemArch = run;
        lblOlvexSysArchAnz = lblAnz;
        dspOlvexSysArchAnz = dspAnz;
        lblOlvexSysArchAnzSel = lblAnzSel;
        dspOlvexSysArchAnzSel = dspAnzSel;
        lblOlvexSysArchBytes = lblBytes;
        dspOlvexSysArchBytes = dspBytes;
        lblOlvexSysArchBytesSel = lblBytesSel;
        dspOlvexSysArchBytesSel = dspBytesSel;
        bvlOlvexSysArch = bevel;
        vrtSystemArch = view;
    } else {
        spbSystemDelRefresh = refresh;
        spbSystemDelClick = run;
        lblOlvexSysDelAnz = lblAnz;
        dspOlvexSysDelAnz = dspAnz;
        lblOlvexSysDelAnzSel = lblAnzSel;
        dspOlvexSysDelAnzSel = dspAnzSel;
        lblOlvexSysDelBytes = lblBytes;
        dspOlvexSysDelBytes = dspBytes;
        lblOlvexSysDelBytesSel = lblBytesSel;
        dspOlvexSysDelBytesSel = dspBytesSel;
        bvlOlvexSysDel = bevel;
        vrtSystemDel = view;
    }
    return page;
}

QWidget* TfrmVendrask::BuildWorkbenchPage() {
    auto* page = new QWidget(pgcAnsicht);
    page->setObjectName(QStringLiteral("tshArchivVerwaltung"));

    spbOpenFiles = ImageButton(page, QStringLiteral("spbOpenFiles"), QStringLiteral("Archivdatei auswählen ..."),
                               tavik::icons::OpenArchive());
    // A long path loses its middle, never the file name at its end.
    auto* archivName = new tavik::TPathLabel(page);
    archivName->setObjectName(QStringLiteral("lblArchDateiName"));
    archivName->setText(QStringLiteral("lblArchDateiName"));
    lblArchDateiName = archivName;
    lblTxtArchDateiBytes = Label(page, QStringLiteral("lblTxtArchDateiBytes"), QStringLiteral("Größe"));
    lblArchDateiBytes = Label(page, QStringLiteral("lblArchDateiBytes"), QStringLiteral("0"));
    lblTxtArchDateiTime = Label(page, QStringLiteral("lblTxtArchDateiTime"), QStringLiteral("Datum und Zeit"));
    lblArchDateiTime = Label(page, QStringLiteral("lblArchDateiTime"), QStringLiteral("lblArchDateiTime"));
    spbAbortOperation = ImageButton(page, QStringLiteral("spbAbortOperation"), QStringLiteral("Operation abbrechen"),
                                    tavik::icons::AbortOperation());
    spbAbortOperation->setVisible(false);
    bvlArchivVerwaltung = Bevel(page, QStringLiteral("bvlArchivVerwaltung"));

    vrtArchivInhalt = new tavik::TVTVRList(page);
    vrtArchivInhalt->setObjectName(QStringLiteral("vrtArchivInhalt"));
    vrtArchivInhalt->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lblProgressItem = Label(page, QStringLiteral("lblProgressItem"), QString());
    pgbProgressItem = Bar(page, QStringLiteral("pgbProgressItem"));
    pgbProgressTotal = Bar(page, QStringLiteral("pgbProgressTotal"));

    spbVerifySimple = CommandButton(page, "spbVerifySimple", QStringLiteral("Archivdatei prüfen (einfach)"),
                                    tavik::icons::VerifySimple());
    spbVerifyComplete = CommandButton(page, "spbVerifyComplete", QStringLiteral("Archivdatei prüfen (vollständig)"),
                                      tavik::icons::VerifyComplete());
    spbDecompressSel = CommandButton(page, "spbDecompressSel", QStringLiteral("Dateien entpacken (selektierte) ..."),
                                     tavik::icons::ExtractSelected());
    spbDecompressAll = CommandButton(page, "spbDecompressAll", QStringLiteral("Dateien entpacken (vollständig) ..."),
                                     tavik::icons::ExtractAll());
    spbCompressNew = CommandButton(page, "spbCompressNew", QStringLiteral("Dateien packen (neue Archivdatei) ..."),
                                   tavik::icons::PackNew());
    spbCompressAdd = CommandButton(page, "spbCompressAdd",
                                   QStringLiteral("Dateien packen (Archivdatei erweitern) ..."), tavik::icons::PackAdd());
    spbSpan = CommandButton(page, "spbSpan", QStringLiteral("Archivdatei aufteilen "), tavik::icons::Span());
    spbMerge = CommandButton(page, "spbMerge", QStringLiteral("Archivdatei zusammenfügen"), tavik::icons::Merge());

    auto* details = new QGridLayout;
    details->setHorizontalSpacing(8);
    details->setVerticalSpacing(0);
    details->addWidget(lblArchDateiName, 0, 0, 1, 4);
    details->addWidget(lblTxtArchDateiBytes, 1, 0);
    details->addWidget(lblArchDateiBytes, 1, 1);
    details->addWidget(lblTxtArchDateiTime, 1, 2);
    details->addWidget(lblArchDateiTime, 1, 3);
    details->setColumnMinimumWidth(1, 150);
    details->setColumnStretch(3, 1);

    auto* top = new QHBoxLayout;
    top->addWidget(spbOpenFiles, 0, Qt::AlignTop);
    top->addSpacing(8);
    top->addLayout(details, 1);
    top->addWidget(spbAbortOperation, 0, Qt::AlignTop | Qt::AlignRight);

    auto* commands = new QVBoxLayout;
    commands->setSpacing(1);
    QPushButton* const pairs[4][2] = {{spbVerifySimple, spbVerifyComplete},
                                      {spbDecompressSel, spbDecompressAll},
                                      {spbCompressNew, spbCompressAdd},
                                      {spbSpan, spbMerge}};
    for (int pair = 0; pair < 4; ++pair) {
        if (pair > 0) commands->addSpacing(8);
        commands->addWidget(pairs[pair][0]);
        commands->addWidget(pairs[pair][1]);
    }
    commands->addStretch(1);

    auto* middle = new QHBoxLayout;
    middle->setSpacing(7);
    middle->addWidget(vrtArchivInhalt, 1);
    middle->addLayout(commands);

    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 4, 0, 4);
    layout->setSpacing(3);
    layout->addLayout(top);
    layout->addWidget(bvlArchivVerwaltung);
    layout->addLayout(middle, 1);
    layout->addWidget(lblProgressItem);
    layout->addWidget(pgbProgressItem);
    layout->addWidget(pgbProgressTotal);

    // The list first, then the bars, then the commands in their pairs.
    QWidget* order[] = {vrtArchivInhalt, pgbProgressItem, pgbProgressTotal, spbVerifySimple, spbVerifyComplete,
                        spbDecompressSel, spbDecompressAll, spbCompressNew, spbCompressAdd, spbSpan, spbMerge};
    for (std::size_t i = 1; i < std::size(order); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
    return page;
}

QWidget* TfrmVendrask::BuildSearchPage() {
    auto* page = new QWidget(pgcAnsicht);
    page->setObjectName(QStringLiteral("tshSuche"));

    lblSuche = Label(page, QStringLiteral("lblSuche"), QStringLiteral("Suchbegriff"));
    edtSuche = new QLineEdit(page);
    edtSuche->setObjectName(QStringLiteral("edtSuche"));
    edtSuche->setPlaceholderText(QStringLiteral("Wort aus dem Namen oder Muster wie stadata/m01/beleg00*"));
    edtSuche->setToolTip(QStringLiteral("Enter - alle Archivdateien in ARCHIV durchsuchen"));
    lblSuche->setBuddy(edtSuche);
    spbSuche = ImageButton(page, QStringLiteral("spbSuche"), QStringLiteral("Archivdateien durchsuchen"),
                           tavik::icons::Refresh());
    lblSucheTreffer = Label(page, QStringLiteral("lblSucheTreffer"), QStringLiteral("Anzahl Treffer"));
    dspSucheTreffer = Display(page, QStringLiteral("dspSucheTreffer"));
    lblSucheFehler = Label(page, QStringLiteral("lblSucheFehler"), QString());
    lblSucheFehler->setTextFormat(Qt::RichText);
    lblSucheFehler->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    lblSucheFehler->setVisible(false);
    spbSucheAbbrechen = ImageButton(page, QStringLiteral("spbSucheAbbrechen"), QStringLiteral("Operation abbrechen"),
                                    tavik::icons::AbortOperation());
    spbSucheAbbrechen->setVisible(false);
    bvlSuche = Bevel(page, QStringLiteral("bvlSuche"));
    vstSuche = new tavik::TVTVRList(page);
    vstSuche->setObjectName(QStringLiteral("vstSuche"));
    vstSuche->setSelectionMode(QAbstractItemView::ExtendedSelection);
    vstSuche->header()->setSectionsMovable(true);
    // The archive's name tells two versions of a file apart and shows whole; a long entry name
    // gives way and keeps its beginning and its end.
    vstSuche->setTextElideMode(Qt::ElideMiddle);
    lblSucheProgress = Label(page, QStringLiteral("lblSucheProgress"), QString());
    pgbSucheProgress = Bar(page, QStringLiteral("pgbSucheProgress"));
    spbWiederherstellen = CommandButton(page, "spbWiederherstellen", QStringLiteral("Wiederherstellen"),
                                        tavik::icons::ExtractSelected());
    spbWiederherstellen->setToolTip(QStringLiteral("Markierte Dateien an ihren Platz zurücklegen"));
    spbSucheEntpacken = CommandButton(page, "spbSucheEntpacken", QStringLiteral("Entpacken nach ..."),
                                      tavik::icons::ExtractAll());
    spbSucheEntpacken->setToolTip(QStringLiteral("Markierte Dateien in ein gewähltes Verzeichnis entpacken"));

    auto* counters = new QHBoxLayout;
    counters->setSpacing(8);
    counters->addWidget(lblSucheTreffer);
    counters->addWidget(dspSucheTreffer);
    counters->addSpacing(16);
    counters->addWidget(lblSucheFehler);
    counters->addStretch(1);

    auto* field = new QGridLayout;
    field->setHorizontalSpacing(8);
    field->setVerticalSpacing(2);
    field->addWidget(lblSuche, 0, 0);
    field->addWidget(edtSuche, 0, 1);
    field->addLayout(counters, 1, 0, 1, 2);
    field->setColumnStretch(1, 1);

    auto* top = new QHBoxLayout;
    top->addWidget(spbSuche, 0, Qt::AlignTop);
    top->addSpacing(8);
    top->addLayout(field, 1);
    top->addWidget(spbSucheAbbrechen, 0, Qt::AlignTop | Qt::AlignRight);

    auto* commands = new QVBoxLayout;
    commands->setSpacing(1);
    commands->addWidget(spbWiederherstellen);
    commands->addWidget(spbSucheEntpacken);
    commands->addStretch(1);

    auto* middle = new QHBoxLayout;
    middle->setSpacing(7);
    middle->addWidget(vstSuche, 1);
    middle->addLayout(commands);

    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 4, 0, 4);
    layout->setSpacing(3);
    layout->addLayout(top);
    layout->addWidget(bvlSuche);
    layout->addLayout(middle, 1);
    layout->addWidget(lblSucheProgress);
    layout->addWidget(pgbSucheProgress);

    QWidget* order[] = {edtSuche, vstSuche, spbWiederherstellen, spbSucheEntpacken};
    for (std::size_t i = 1; i < std::size(order); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
    return page;
}

QWidget* TfrmVendrask::BuildInventoryPage() {
    auto* page = new QWidget(pgcAnsicht);
    page->setObjectName(QStringLiteral("tshArchivbestand"));

    lblArchivbestandStatus = Label(page, QStringLiteral("lblArchivbestandStatus"), QString());
    lblArchivbestandStatus->setWordWrap(true);
    spbArchivbestandAbbrechen = ImageButton(page, QStringLiteral("spbArchivbestandAbbrechen"),
                                            QStringLiteral("Operation abbrechen"), tavik::icons::AbortOperation());
    spbArchivbestandAbbrechen->setVisible(false);
    bvlArchivbestand = Bevel(page, QStringLiteral("bvlArchivbestand"));
    vrtArchivbestand = new tavik::TVTVRList(page);
    vrtArchivbestand->setObjectName(QStringLiteral("vrtArchivbestand"));
    vrtArchivbestand->setSelectionMode(QAbstractItemView::ExtendedSelection);
    vrtArchivbestand->header()->setSectionsMovable(true);
    lblArchivbestandProgress = Label(page, QStringLiteral("lblArchivbestandProgress"), QString());
    pgbArchivbestandProgress = Bar(page, QStringLiteral("pgbArchivbestandProgress"));
    spbArchivbestandPruefen = CommandButton(page, "spbArchivbestandPruefen", QStringLiteral("Jetzt prüfen"),
                                            tavik::icons::VerifyComplete());
    spbArchivbestandPruefen->setToolTip(
        QStringLiteral("Markierte Archive vollständig prüfen; ohne Markierung alle Archive"));
    spbArchivbestandBericht = CommandButton(page, "spbArchivbestandBericht", QStringLiteral("Bericht als PDF ..."),
                                            tavik::icons::PackNew());
    spbArchivbestandBericht->setToolTip(QStringLiteral("Den Archivbestand als PDF-Datei speichern"));
    spbArchivbestandExport = CommandButton(page, "spbArchivbestandExport", QStringLiteral("Jahr exportieren ..."),
                                           tavik::icons::ExtractAll());
    spbArchivbestandExport->setToolTip(
        QStringLiteral("Die archivierten Dateien eines Jahres für eine Außenprüfung als BagIt-Paket in ein neues "
                       "Verzeichnis legen"));
    // The command buttons are made for the narrow column beside a list; here they sit below it.
    for (QPushButton* button : {spbArchivbestandPruefen, spbArchivbestandBericht, spbArchivbestandExport})
        button->setFixedWidth(220);

    auto* top = new QHBoxLayout;
    top->addWidget(lblArchivbestandStatus, 1);
    top->addWidget(spbArchivbestandAbbrechen, 0, Qt::AlignTop | Qt::AlignRight);

    auto* commands = new QHBoxLayout;
    commands->setSpacing(8);
    commands->addWidget(spbArchivbestandPruefen);
    commands->addWidget(spbArchivbestandBericht);
    commands->addWidget(spbArchivbestandExport);
    commands->addStretch(1);

    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(0, 4, 0, 4);
    layout->setSpacing(3);
    layout->addLayout(top);
    layout->addWidget(bvlArchivbestand);
    layout->addWidget(vrtArchivbestand, 1);
    layout->addWidget(lblArchivbestandProgress);
    layout->addWidget(pgbArchivbestandProgress);
    layout->addLayout(commands);

    QWidget* order[] = {vrtArchivbestand, spbArchivbestandPruefen, spbArchivbestandBericht, spbArchivbestandExport};
    for (std::size_t i = 1; i < std::size(order); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
    return page;
}

void TfrmVendrask::ConnectSearchPage() {
    vstSuche->OnInitNode = [this](QObject* sender, tavik::PVirtualNode parentNode, tavik::PVirtualNode node,
                                  tavik::TVirtualNodeInitStates& states) {
        vstSucheInitNode(sender, parentNode, node, states);
    };
    connect(edtSuche, &QLineEdit::returnPressed, this, [this] { spbSucheClick(edtSuche); });
    connect(spbSuche, &QToolButton::clicked, this, [this] { spbSucheClick(spbSuche); });
    connect(spbSucheAbbrechen, &QToolButton::clicked, this, [this] { spbAbortOperationClick(spbSucheAbbrechen); });
    connect(spbWiederherstellen, &QPushButton::clicked, this,
            [this] { spbWiederherstellenClick(spbWiederherstellen); });
    connect(spbSucheEntpacken, &QPushButton::clicked, this, [this] { spbSucheEntpackenClick(spbSucheEntpacken); });
    connect(lblSucheFehler, &QLabel::linkActivated, this, [this] { lblSucheFehlerLinkActivated(lblSucheFehler); });
    connect(vstSuche, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        vstSucheDblClick(vstSuche, vstSuche->Model().NodeOf(index));
    });
}

void TfrmVendrask::ConnectWorkbench() {
    vrtArchivInhalt->OnInitNode = [this](QObject* sender, tavik::PVirtualNode parentNode, tavik::PVirtualNode node,
                                         tavik::TVirtualNodeInitStates& states) {
        vrtArchivInhaltInitNode(sender, parentNode, node, states);
    };
    connect(spbOpenFiles, &QToolButton::clicked, this, [this] { spbOpenFilesClick(spbOpenFiles); });
    connect(spbAbortOperation, &QToolButton::clicked, this, [this] { spbAbortOperationClick(spbAbortOperation); });
    const struct {
        QPushButton* Button;
        void (TfrmVendrask::*Handler)(QObject*);
    } commands[] = {{spbVerifySimple, &TfrmVendrask::spbVerifySimpleClick},
                    {spbVerifyComplete, &TfrmVendrask::spbVerifyCompleteClick},
                    {spbDecompressSel, &TfrmVendrask::spbDecompressSelClick},
                    {spbDecompressAll, &TfrmVendrask::spbDecompressAllClick},
                    {spbCompressNew, &TfrmVendrask::spbCompressNewClick},
                    {spbCompressAdd, &TfrmVendrask::spbCompressAddClick},
                    {spbSpan, &TfrmVendrask::spbSpanClick},
                    {spbMerge, &TfrmVendrask::spbMergeClick}};
    for (const auto& command : commands) {
        QPushButton* button = command.Button;
        const auto handler = command.Handler;
        connect(button, &QPushButton::clicked, this, [this, button, handler] { (this->*handler)(button); });
    }
}

}  // namespace vendrask
