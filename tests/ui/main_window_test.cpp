// The main window after start: components, texts, menu and keys, geometry, the exit command.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "host/services/tavik_info.h"
#include "tests/ui/support/window_fixture.h"

namespace uitest {
namespace {

using namespace tavik;

class MainWindowTest : public WindowTest {};

TEST_F(MainWindowTest, AfterStartTheArchivePageIsActiveAndTheCountersAreEmpty) {
    host.File("stadata/alt.txt", "alt", kLongAgo);
    Open();
    EXPECT_EQ(window->pgcAnsicht->currentWidget(), window->tshOlvexSystemArch);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Archivdateien erstellen/löschen - Testmandant"));
    for (const char* name : {"dspOlvexSysArchAnz", "dspOlvexSysArchAnzSel", "dspOlvexSysArchBytes",
                             "dspOlvexSysArchBytesSel", "dspOlvexSysDelAnz", "dspOlvexSysDelAnzSel",
                             "dspOlvexSysDelBytes", "dspOlvexSysDelBytesSel"})
        EXPECT_EQ(Text(name), "") << name;
    // No scan before the user asks for one.
    EXPECT_EQ(ArchView().RootNodeCount(), 0);
    EXPECT_EQ(DelView().RootNodeCount(), 0);
    EXPECT_EQ(Text("lblArchDateiName"), "");
    EXPECT_EQ(Text("lblArchDateiTime"), "");
    EXPECT_EQ(Text("lblArchDateiBytes"), "0");
    EXPECT_FALSE(window->spbAbortOperation->isVisible());
    EXPECT_EQ(module->Archiv(), nullptr);
    ASSERT_NE(window->ArchivInhalt(), nullptr);
    EXPECT_EQ(window->ArchivInhalt()->GetColumnCount(), 5);
    EXPECT_EQ(window->ArchivInhaltIndexCol(), 4);
    EXPECT_EQ(window->ArchivInhalt()->GetColumn(4).Caption, "Index");
    EXPECT_EQ(vendrask::frmVendrask, window.get());
    EXPECT_TRUE(log.failures.empty());
}

TEST_F(MainWindowTest, ShowingTheWindowAgainKeepsTheTitleAndClearsTheArchiveLabels) {
    Open();
    window->lblArchDateiName->setText(QStringLiteral("/x/y.zip"));
    window->hide();
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Archivdateien erstellen/löschen - Testmandant"));
    EXPECT_EQ(Text("lblArchDateiName"), "");
}

TEST_F(MainWindowTest, EveryComponentExistsUnderItsName) {
    Open();
    const char* names[] = {
        "pnlHauptrahmen", "pnlDaten", "bvlButtons", "spbEnde", "spbAlleEin", "spbAlleUms", "pgcAnsicht",
        "tshOlvexSystemArch", "tshOlvexSystemDel", "tshArchivVerwaltung", "tshSuche", "edtSuche", "spbSuche",
        "lblSuche", "lblSucheTreffer", "dspSucheTreffer", "spbSucheAbbrechen", "bvlSuche", "vstSuche",
        "lblSucheProgress", "pgbSucheProgress", "spbWiederherstellen", "spbSucheEntpacken", "spbSystemArchRefresh", "spbSystemArch",
        "lblOlvexSysArchAnz", "dspOlvexSysArchAnz", "lblOlvexSysArchAnzSel", "dspOlvexSysArchAnzSel",
        "lblOlvexSysArchBytes", "dspOlvexSysArchBytes", "lblOlvexSysArchBytesSel", "dspOlvexSysArchBytesSel",
        "bvlOlvexSysArch", "vrtSystemArch", "spbSystemDelRefresh", "spbSystemDelClick", "lblOlvexSysDelAnz",
        "dspOlvexSysDelAnz", "lblOlvexSysDelAnzSel", "dspOlvexSysDelAnzSel", "lblOlvexSysDelBytes",
        "dspOlvexSysDelBytes", "lblOlvexSysDelBytesSel", "dspOlvexSysDelBytesSel", "bvlOlvexSysDel", "vrtSystemDel",
        "spbOpenFiles", "lblArchDateiName", "lblTxtArchDateiBytes", "lblArchDateiBytes", "lblTxtArchDateiTime",
        "lblArchDateiTime", "spbAbortOperation", "bvlArchivVerwaltung", "vrtArchivInhalt", "lblProgressItem",
        "pgbProgressItem", "pgbProgressTotal", "spbVerifySimple", "spbVerifyComplete", "spbDecompressSel",
        "spbDecompressAll", "spbCompressNew", "spbCompressAdd", "spbSpan", "spbMerge"};
    for (const char* name : names) EXPECT_NE(window->findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
    for (const char* name : {"Funktionen1", "Beenden1", "Ansicht1", "Allemarkieren1", "Markierungumkehren1", "N2",
                             "Hilfe1"})
        EXPECT_NE(window->findChild<QObject*>(QString::fromLatin1(name)), nullptr) << name;
}

TEST_F(MainWindowTest, CaptionsAndHints) {
    Open();
    const struct {
        QAbstractButton* button;
        const char* caption;
        const char* hint;
    } buttons[] = {
        {window->spbEnde, "Abbrechen", "Esc - Programm beenden"},
        {window->spbAlleEin, "alle ein", "F7 - Alle Einträge markieren"},
        {window->spbAlleUms, "umkehren", "F8 - Markierung aller Einträge umkehren"},
        {window->spbSystemArchRefresh, "", "Anzeige aktualisieren"},
        {window->spbSystemArch, "", "F5 - Markierte Dateien archivieren"},
        {window->spbSystemDelRefresh, "", "Anzeige aktualisieren"},
        {window->spbSystemDelClick, "", "Umsch+F5 - Markierte Dateien löschen"},
        {window->spbOpenFiles, "", "Archivdatei auswählen ..."},
        {window->spbAbortOperation, "", "Operation abbrechen"},
        {window->spbVerifySimple, "Archivdatei prüfen (einfach)", ""},
        {window->spbVerifyComplete, "Archivdatei prüfen (vollständig)", ""},
        {window->spbDecompressSel, "Dateien entpacken (selektierte) ...", ""},
        {window->spbDecompressAll, "Dateien entpacken (vollständig) ...", ""},
        {window->spbCompressNew, "Dateien packen (neue Archivdatei) ...", ""},
        {window->spbCompressAdd, "Dateien packen (Archivdatei erweitern) ...", ""},
        {window->spbSpan, "Archivdatei aufteilen ", ""},
        {window->spbMerge, "Archivdatei zusammenfügen", ""},
    };
    for (const auto& b : buttons) {
        if (*b.caption) {
            EXPECT_EQ(b.button->text(), QString::fromUtf8(b.caption));
        }
        if (*b.hint) {
            EXPECT_EQ(b.button->toolTip(), QString::fromUtf8(b.hint));
        }
        // Every button has a picture.
        EXPECT_FALSE(b.button->icon().isNull()) << b.button->objectName().toStdString();
        EXPECT_FALSE(b.button->icon().pixmap(24, 24).toImage().allGray()) << b.button->objectName().toStdString();
    }
    EXPECT_EQ(window->pgcAnsicht->tabText(0), QStringLiteral("System aufräumen: Archivieren"));
    EXPECT_EQ(window->pgcAnsicht->tabText(1), QStringLiteral("System aufräumen: Löschen"));
    EXPECT_EQ(window->pgcAnsicht->tabText(2), QStringLiteral("Archivdatei bearbeiten"));
    EXPECT_EQ(window->pgcAnsicht->tabText(3), QStringLiteral("Archiv durchsuchen"));
    EXPECT_EQ(window->pgcAnsicht->tabText(4), QStringLiteral("Archivbestand"));
    EXPECT_EQ(window->lblOlvexSysArchAnz->text(), QStringLiteral("Anzahl Dateien"));
    EXPECT_EQ(window->lblOlvexSysDelAnzSel->text(), QStringLiteral("Anzahl markierter Dateien"));
    EXPECT_EQ(window->lblOlvexSysDelBytesSel->text(), QStringLiteral("Größe der Dateien"));
    EXPECT_EQ(window->lblTxtArchDateiBytes->text(), QStringLiteral("Größe"));
    EXPECT_EQ(window->lblTxtArchDateiTime->text(), QStringLiteral("Datum und Zeit"));
    EXPECT_EQ(window->pgbProgressItem->maximum(), 1000);
    EXPECT_EQ(window->pgbProgressTotal->maximum(), 1000);
}

TEST_F(MainWindowTest, MenuItemsCarryTheirKeys) {
    Open();
    EXPECT_EQ(window->Funktionen1->title(), QStringLiteral("&Funktionen"));
    EXPECT_EQ(window->Ansicht1->title(), QStringLiteral("&Ansicht"));
    EXPECT_EQ(window->N2->title(), QStringLiteral("&?"));
    EXPECT_EQ(window->Beenden1->text(), QStringLiteral("Beenden"));
    EXPECT_EQ(window->Beenden1->shortcut(), QKeySequence(Qt::Key_Escape));
    EXPECT_EQ(window->Allemarkieren1->text(), QStringLiteral("Alle markieren"));
    EXPECT_EQ(window->Allemarkieren1->shortcut(), QKeySequence(Qt::Key_F7));
    EXPECT_EQ(window->Markierungumkehren1->text(), QStringLiteral("Markierung umkehren"));
    EXPECT_EQ(window->Markierungumkehren1->shortcut(), QKeySequence(Qt::Key_F8));
    EXPECT_EQ(window->Hilfe1->text(), QStringLiteral("Hilfe"));
    EXPECT_EQ(window->Hilfe1->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_FALSE(window->Hilfe1->isEnabled());
}

TEST_F(MainWindowTest, EscEndsTheMessageLoop) {
    Open();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    bool timedOut = false;
    QTimer::singleShot(0, window.get(), [this] { QTest::keyClick(window.get(), Qt::Key_Escape); });
    QTimer::singleShot(5000, window.get(), [&] {
        timedOut = true;
        QCoreApplication::exit(1);
    });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_FALSE(timedOut);
}

TEST_F(MainWindowTest, TheEndButtonEndsTheMessageLoopToo) {
    Open();
    bool timedOut = false;
    QTimer::singleShot(0, window.get(), [this] { window->spbEnde->click(); });
    QTimer::singleShot(5000, window.get(), [&] {
        timedOut = true;
        QCoreApplication::exit(1);
    });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_FALSE(timedOut);
}

TEST_F(MainWindowTest, F4MovesToTheNextPage) {
    Open();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_F4);
    EXPECT_EQ(window->pgcAnsicht->currentWidget(), window->tshOlvexSystemDel);
    QTest::keyClick(window.get(), Qt::Key_F4);
    EXPECT_EQ(window->pgcAnsicht->currentWidget(), window->tshArchivVerwaltung);
    QTest::keyClick(window.get(), Qt::Key_F4);
    EXPECT_EQ(window->pgcAnsicht->currentWidget(), window->tshSuche);
    QTest::keyClick(window.get(), Qt::Key_F4);
    EXPECT_EQ(window->pgcAnsicht->currentWidget(), window->tshArchivbestand);
    QTest::keyClick(window.get(), Qt::Key_F4);
    EXPECT_EQ(window->pgcAnsicht->currentWidget(), window->tshOlvexSystemArch);
}

TEST_F(MainWindowTest, TheWindowCannotBeMadeSmallerThan800By560) {
    Open();
    window->resize(500, 300);
    QTest::qWait(20);
    EXPECT_GE(window->width(), 800);
    EXPECT_GE(window->height(), 560);
}

TEST_F(MainWindowTest, GrowingTheWindowGrowsTheListsAndKeepsTheCommandsAtTheRightEdge) {
    Open();
    window->pgcAnsicht->setCurrentWidget(window->tshArchivVerwaltung);
    window->resize(800, 560);
    QTest::qWait(20);
    const QSize list = window->vrtArchivInhalt->size();
    const QSize bar = window->pgbProgressTotal->size();
    const int rightGap = window->tshArchivVerwaltung->width() -
                         window->spbMerge->mapTo(window->tshArchivVerwaltung, QPoint(window->spbMerge->width(), 0)).x();
    const int pageWidth = window->tshArchivVerwaltung->width();

    window->resize(1100, 800);
    QTest::qWait(20);
    EXPECT_EQ(window->vrtArchivInhalt->width() - list.width(), window->tshArchivVerwaltung->width() - pageWidth);
    EXPECT_GT(window->vrtArchivInhalt->height(), list.height() + 200);
    EXPECT_GT(window->pgbProgressTotal->width(), bar.width() + 250);
    EXPECT_EQ(window->pgbProgressTotal->height(), bar.height());
    EXPECT_EQ(window->tshArchivVerwaltung->width() -
                  window->spbMerge->mapTo(window->tshArchivVerwaltung, QPoint(window->spbMerge->width(), 0)).x(),
              rightGap);
    EXPECT_EQ(window->spbMerge->size(), QSize(317, 27));

    window->pgcAnsicht->setCurrentWidget(window->tshOlvexSystemArch);
    QTest::qWait(20);
    EXPECT_GT(window->vrtSystemArch->width(), 1000);
    EXPECT_GT(window->vrtSystemArch->height(), 500);
    // The displays of marked files stay at the right edge.
    const QPoint right = window->dspOlvexSysArchAnzSel->mapTo(window->tshOlvexSystemArch,
                                                              QPoint(window->dspOlvexSysArchAnzSel->width(), 0));
    EXPECT_GT(right.x(), window->tshOlvexSystemArch->width() - 20);
}

TEST_F(MainWindowTest, TheWorkbenchCommandsAreInPairsInTabOrder) {
    Open();
    window->pgcAnsicht->setCurrentWidget(window->tshArchivVerwaltung);
    QTest::qWait(20);
    QWidget* expected[] = {window->spbVerifySimple, window->spbVerifyComplete, window->spbDecompressSel,
                           window->spbDecompressAll, window->spbCompressNew, window->spbCompressAdd, window->spbSpan,
                           window->spbMerge};
    for (std::size_t i = 1; i < std::size(expected); ++i) {
        EXPECT_EQ(expected[i - 1]->nextInFocusChain(), expected[i]) << i;
        EXPECT_GT(expected[i]->y(), expected[i - 1]->y());
        EXPECT_EQ(expected[i]->x(), expected[0]->x());
    }
    // A gap of 8 pixels between the pairs, none within.
    EXPECT_EQ(window->spbDecompressSel->y() - window->spbVerifyComplete->y(),
              window->spbVerifyComplete->y() - window->spbVerifySimple->y() + 8);
}

}  // namespace
}  // namespace uitest
