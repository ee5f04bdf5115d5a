// The two cleanup pages on a real installation: refresh, counters, marks, archive and delete.
#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>

#include "host/services/archive_journal.h"
#include "host/services/formatting.h"
#include "host/services/tavik_info.h"
#include "host/widgets/progress_window.h"
#include "host/widgets/qt_frontend.h"
#include "tests/support/run_process.h"
#include "tests/ui/support/window_fixture.h"

namespace uitest {
namespace {

namespace fs = std::filesystem;
using namespace tavik;
using testsupport::RunProcess;

class SystemPagesTest : public WindowTest {
protected:
    // Three archive candidates (3 + 10 + 100 bytes), two delete candidates (4 + 6 bytes), and
    // files that stay.
    void LayOut() {
        host.File("stadata/alt.txt", "alt", kLongAgo);
        host.File("stadata/m01/beleg.dat", std::string(10, 'b'), kLongAgo);
        host.File("STATEMP/rest.tmp", std::string(100, 'r'), kLongAgo);
        host.Rule(1, "stadata/bleibt.dat", false, 0);
        host.File("stadata/bleibt.dat", "bleibt", kLongAgo);
        host.File("ARCHIV/weg.tmp", "wegg", kLongAgo);
        host.File("ARCHIV/auch.tmp", "auchhh", kLongAgo);
        host.Rule(1, "ARCHIV/SK*", false, 3650000);
        host.File("ARCHIV/SK010101.001", "alt", kLongAgo);
    }

    void Refresh() { window->spbSystemArchRefresh->click(); }
    std::string Bytes(std::int64_t bytes) const { return tavik_FormatByteSize(bytes); }
};

TEST_F(SystemPagesTest, ARefreshListsTheCandidatesAllMarked) {
    LayOut();
    Open();
    Refresh();
    EXPECT_TRUE(window->isEnabled());
    EXPECT_EQ(ArchView().RootNodeCount(), 3);
    EXPECT_EQ(DelView().RootNodeCount(), 2);
    EXPECT_EQ(Text("dspOlvexSysArchAnz"), "     3");
    EXPECT_EQ(Text("dspOlvexSysArchAnzSel"), "     3");
    EXPECT_EQ(Text("dspOlvexSysArchBytes"), Bytes(113));
    EXPECT_EQ(Text("dspOlvexSysArchBytesSel"), Bytes(113));
    EXPECT_EQ(Text("dspOlvexSysDelAnz"), "     2");
    EXPECT_EQ(Text("dspOlvexSysDelAnzSel"), "     2");
    EXPECT_EQ(Text("dspOlvexSysDelBytes"), Bytes(10));
    EXPECT_EQ(Text("dspOlvexSysDelBytesSel"), Bytes(10));
    for (PVirtualNode node = ArchView().GetFirst(); node; node = ArchView().GetNext(node)) {
        EXPECT_EQ(node->CheckType, ctCheckBox);
        EXPECT_EQ(node->CheckState, csCheckedNormal);
    }
    // Shown: Name, Größe, Datum, Uhrzeit, Notiz; hidden: the five others.
    const vendrask::TCandidateColumns& columns = module->CandidateColumns();
    for (int column = 0; column < 10; ++column) {
        const bool hidden = column == columns.Index || column == columns.AbsPath || column == columns.RelPath ||
                            column == columns.FileName || column == columns.Attribute;
        EXPECT_EQ(ArchView().ColumnVisible(column), !hidden) << column;
        EXPECT_EQ(DelView().ColumnVisible(column), !hidden) << column;
    }
    EXPECT_NE(NodeNamed(ArchView(), "stadata/m01/beleg.dat"), nullptr);
    EXPECT_NE(NodeNamed(DelView(), "ARCHIV/weg.tmp"), nullptr);
    EXPECT_TRUE(log.failures.empty()) << log.failures.front();
}

TEST_F(SystemPagesTest, ARefreshWithoutCandidatesShowsNoCountsAndZeroBytes) {
    Open();
    window->spbSystemDelRefresh->click();
    EXPECT_EQ(Text("dspOlvexSysArchAnz"), "");
    EXPECT_EQ(Text("dspOlvexSysArchAnzSel"), "");
    EXPECT_EQ(Text("dspOlvexSysArchBytes"), Bytes(0));
    EXPECT_EQ(Text("dspOlvexSysArchBytesSel"), Bytes(0));
    EXPECT_EQ(Text("dspOlvexSysDelAnz"), "");
    EXPECT_EQ(Text("dspOlvexSysDelBytesSel"), Bytes(0));
}

TEST_F(SystemPagesTest, UntickingAndTickingChangesTheMarkedCountersAtOnce) {
    LayOut();
    Open();
    Refresh();
    Click(ArchView(), NodeNamed(ArchView(), "STATEMP/rest.tmp"));
    EXPECT_EQ(NodeNamed(ArchView(), "STATEMP/rest.tmp")->CheckState, csUncheckedNormal);
    EXPECT_EQ(Text("dspOlvexSysArchAnz"), "     3");
    EXPECT_EQ(Text("dspOlvexSysArchAnzSel"), "     2");
    EXPECT_EQ(Text("dspOlvexSysArchBytes"), Bytes(113));
    EXPECT_EQ(Text("dspOlvexSysArchBytesSel"), Bytes(13));

    // The space key ticks the current row again.
    ArchView().setFocus();
    ArchView().setCurrentIndex(ArchView().IndexOfNode(NodeNamed(ArchView(), "STATEMP/rest.tmp")));
    QTest::keyClick(&ArchView(), Qt::Key_Space);
    EXPECT_EQ(Text("dspOlvexSysArchAnzSel"), "     3");
    EXPECT_EQ(Text("dspOlvexSysArchBytesSel"), Bytes(113));

    window->pgcAnsicht->setCurrentWidget(window->tshOlvexSystemDel);
    Click(DelView(), NodeNamed(DelView(), "ARCHIV/weg.tmp"));
    EXPECT_EQ(Text("dspOlvexSysDelAnzSel"), "     1");
    EXPECT_EQ(Text("dspOlvexSysDelBytesSel"), Bytes(6));
    // The other page is untouched.
    EXPECT_EQ(Text("dspOlvexSysArchAnzSel"), "     3");
}

TEST_F(SystemPagesTest, AlleEinAndUmkehrenActOnTheActivePage) {
    LayOut();
    Open();
    Refresh();
    Click(ArchView(), NodeNamed(ArchView(), "stadata/alt.txt"));
    ASSERT_EQ(Text("dspOlvexSysArchAnzSel"), "     2");

    window->spbAlleUms->click();  // archive page: only alt.txt is marked now
    EXPECT_EQ(Text("dspOlvexSysArchAnzSel"), "     1");
    EXPECT_EQ(Text("dspOlvexSysArchBytesSel"), Bytes(3));
    EXPECT_EQ(NodeNamed(ArchView(), "stadata/alt.txt")->CheckState, csCheckedNormal);
    window->spbAlleUms->click();  // and back
    EXPECT_EQ(Text("dspOlvexSysArchAnzSel"), "     2");
    EXPECT_EQ(NodeNamed(ArchView(), "stadata/alt.txt")->CheckState, csUncheckedNormal);
    window->spbAlleEin->click();
    EXPECT_EQ(Text("dspOlvexSysArchAnzSel"), "     3");
    EXPECT_EQ(Text("dspOlvexSysArchBytesSel"), Bytes(113));

    window->pgcAnsicht->setCurrentWidget(window->tshOlvexSystemDel);
    window->spbAlleUms->click();
    EXPECT_EQ(Text("dspOlvexSysDelAnzSel"), "");
    EXPECT_EQ(Text("dspOlvexSysDelBytesSel"), Bytes(0));
    EXPECT_EQ(Text("dspOlvexSysArchAnzSel"), "     3");
    window->spbAlleEin->click();
    EXPECT_EQ(Text("dspOlvexSysDelAnzSel"), "     2");
    EXPECT_TRUE(log.failures.empty());
}

TEST_F(SystemPagesTest, TheKeysF7AndF8ActAsTheToolbarButtons) {
    LayOut();
    Open();
    Refresh();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_F8);
    EXPECT_EQ(Text("dspOlvexSysArchAnzSel"), "");
    QTest::keyClick(window.get(), Qt::Key_F7);
    EXPECT_EQ(Text("dspOlvexSysArchAnzSel"), "     3");
}

TEST_F(SystemPagesTest, AlleEinAndUmkehrenOnTheWorkbenchTickTheArchiveContentsAndNoCounter) {
    LayOut();
    Open();
    Refresh();
    TVRList& contents = *window->ArchivInhalt();
    for (int i = 0; i < 4; ++i)
        contents.RowAdd({std::string("datei") + std::to_string(i), std::int64_t{10 * i}, TDateTime{}, TDateTime{},
                         std::int32_t{i}});
    window->vrtArchivInhalt->SetVRList(&contents);
    window->vrtArchivInhalt->Rebuild(true);
    for (PVirtualNode node = window->vrtArchivInhalt->GetFirst(); node; node = window->vrtArchivInhalt->GetNext(node))
        EXPECT_EQ(node->CheckState, csUncheckedNormal);
    ArchView().SetCheckState(ArchView().GetFirst(), csUncheckedNormal);

    window->pgcAnsicht->setCurrentWidget(window->tshArchivVerwaltung);
    window->spbAlleEin->click();
    int ticked = 0;
    for (PVirtualNode node = window->vrtArchivInhalt->GetFirst(); node; node = window->vrtArchivInhalt->GetNext(node))
        ticked += node->CheckState == csCheckedNormal;
    EXPECT_EQ(ticked, 4);
    window->vrtArchivInhalt->SetCheckState(window->vrtArchivInhalt->GetFirst(), csUncheckedNormal);
    window->spbAlleUms->click();
    EXPECT_EQ(window->vrtArchivInhalt->GetFirst()->CheckState, csCheckedNormal);
    EXPECT_EQ(window->vrtArchivInhalt->GetNext(window->vrtArchivInhalt->GetFirst())->CheckState, csUncheckedNormal);
    // The counters of the archive page did not follow the change made without a click.
    EXPECT_EQ(Text("dspOlvexSysArchAnzSel"), "     3");
    EXPECT_EQ(ArchView().GetFirst()->CheckState, csUncheckedNormal);
}

TEST_F(SystemPagesTest, ArchivingPacksTheMarkedCandidatesRemovesThemAndRefreshes) {
    LayOut();
    OpenWithQtFrontend();
    Refresh();
    Click(ArchView(), NodeNamed(ArchView(), "STATEMP/rest.tmp"));

    // The run lets messages through; meanwhile the window is disabled and its dialog is open.
    bool sawDialog = false;
    bool windowDisabled = false;
    QTimer::singleShot(0, window.get(), [&] {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<TProgressWindow*>(top); dialog && dialog->isVisible())
                sawDialog = dialog->windowTitle() == QStringLiteral("Dateien archivieren ...") &&
                            dialog->findChild<QProgressBar*>(QStringLiteral("Item")) &&
                            dialog->findChild<QProgressBar*>(QStringLiteral("Total"));
        windowDisabled = !window->isEnabled();
    });
    window->spbSystemArch->click();

    EXPECT_TRUE(sawDialog);
    EXPECT_TRUE(windowDisabled);
    EXPECT_TRUE(window->isEnabled());
    EXPECT_FALSE(host.Exists("stadata/alt.txt"));
    EXPECT_FALSE(host.Exists("stadata/m01/beleg.dat"));
    EXPECT_TRUE(host.Exists("STATEMP/rest.tmp"));
    EXPECT_TRUE(host.Exists("stadata/bleibt.dat"));
    const auto archives = ArchivesIn("ARCHIV");
    ASSERT_EQ(archives.size(), 2u);  // the old one and the new one
    const std::string written = archives[0].find("SK010101") == std::string::npos ? archives[0] : archives[1];
    const auto test = RunProcess({"unzip", "-t", written});
    EXPECT_EQ(test.status, 0) << test.out << test.err;
    EXPECT_EQ(RunProcess({"unzip", "-p", written, "stadata/m01/beleg.dat"}).out, std::string(10, 'b'));
    EXPECT_EQ(RunProcess({"unzip", "-Z1", written}).out, "stadata/alt.txt\nstadata/m01/beleg.dat\n");

    // Both pages show a new scan: the unmarked file again, all marked.
    EXPECT_EQ(ArchView().RootNodeCount(), 1);
    EXPECT_EQ(Text("dspOlvexSysArchAnzSel"), "     1");
    EXPECT_EQ(DelView().RootNodeCount(), 2);
    auto* frontend = dynamic_cast<TQtFrontend*>(&TavikProgramm().Frontend());
    ASSERT_NE(frontend, nullptr);
    EXPECT_EQ(frontend->Failures(), nullptr);
}

TEST_F(SystemPagesTest, DeletingRemovesTheMarkedCandidatesAndRefreshes) {
    LayOut();
    Open();
    Refresh();
    window->pgcAnsicht->setCurrentWidget(window->tshOlvexSystemDel);
    Click(DelView(), NodeNamed(DelView(), "ARCHIV/auch.tmp"));
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_F5, Qt::ShiftModifier);

    EXPECT_TRUE(window->isEnabled());
    EXPECT_FALSE(host.Exists("ARCHIV/weg.tmp"));
    EXPECT_TRUE(host.Exists("ARCHIV/auch.tmp"));
    EXPECT_TRUE(host.Exists("ARCHIV/SK010101.001"));
    EXPECT_EQ(log.dialogsOpened, std::vector<std::string>{"Dateien löschen ..."});
    EXPECT_EQ(DelView().RootNodeCount(), 1);
    EXPECT_EQ(Text("dspOlvexSysDelAnzSel"), "     1");
    // The archive candidates were not touched.
    EXPECT_TRUE(host.Exists("stadata/alt.txt"));
    EXPECT_EQ(ArchView().RootNodeCount(), 3);
}

TEST_F(SystemPagesTest, AFileChangedSinceTheScanIsNotDeleted) {
    LayOut();
    Open();
    Refresh();
    host.File("ARCHIV/weg.tmp", "neuer Inhalt", kLongAgo);
    window->spbSystemDelClick->click();
    EXPECT_TRUE(host.Exists("ARCHIV/weg.tmp"));
    EXPECT_FALSE(host.Exists("ARCHIV/auch.tmp"));
    ASSERT_EQ(log.failures.size(), 1u);
    EXPECT_NE(log.failures[0].find("weg.tmp"), std::string::npos) << log.failures[0];
}

TEST_F(SystemPagesTest, AHoldIsShownAboveTheDeleteListAndKeepsWhatIsTicked) {
    LayOut();
    {
        TArchiveJournal journal(host.Root() + "/ARCHIV");
        TJournalRecord hold;
        hold.Kind = journalkind::SperreAn;
        hold.Detail = "Betriebsprüfung";
        journal.Append({hold});
    }
    Open();
    Refresh();
    EXPECT_TRUE(window->lblOlvexSysDelSperre->isVisibleTo(window->tshOlvexSystemDel));
    const std::string shown = window->lblOlvexSysDelSperre->text().toStdString();
    EXPECT_EQ(shown.rfind("Löschsperre seit ", 0), 0u) << shown;
    EXPECT_NE(shown.find(": Betriebsprüfung. In ARCHIV wird nichts gelöscht"), std::string::npos) << shown;

    window->spbSystemDelClick->click();
    EXPECT_TRUE(host.Exists("ARCHIV/weg.tmp"));
    EXPECT_TRUE(host.Exists("ARCHIV/auch.tmp"));
    ASSERT_EQ(log.notices.size(), 1u);
    EXPECT_EQ(log.notices[0].rfind("2 Dateien wurden nicht gelöscht und bleiben erhalten:", 0), 0u) << log.notices[0];
    EXPECT_TRUE(log.failures.empty());

    {
        TArchiveJournal journal(host.Root() + "/ARCHIV");
        TJournalRecord lift;
        lift.Kind = journalkind::SperreAus;
        journal.Append({lift});
    }
    Refresh();
    EXPECT_FALSE(window->lblOlvexSysDelSperre->isVisibleTo(window->tshOlvexSystemDel));
}

TEST_F(SystemPagesTest, DeletingWithNothingMarkedScansAgain) {
    LayOut();
    Open();
    Refresh();
    window->pgcAnsicht->setCurrentWidget(window->tshOlvexSystemDel);
    window->spbAlleUms->click();
    host.File("ARCHIV/neu.tmp", "neu", kLongAgo);
    window->spbSystemDelClick->click();
    EXPECT_TRUE(log.dialogsOpened.empty());
    EXPECT_EQ(DelView().RootNodeCount(), 3);
    EXPECT_EQ(Text("dspOlvexSysDelAnzSel"), "     3");
}

TEST_F(SystemPagesTest, AFailedArchiveRunLeavesTheWindowEnabledAndThePagesAsTheyWere) {
    LayOut();
    Open();
    Refresh();
    Click(ArchView(), NodeNamed(ArchView(), "stadata/alt.txt"));
    fs::remove_all(fs::path(host.Root()) / "ARCHIV");
    window->spbSystemArch->click();
    EXPECT_TRUE(window->isEnabled());
    EXPECT_FALSE(log.failures.empty());
    EXPECT_TRUE(host.Exists("stadata/m01/beleg.dat"));
    // No new scan: the checks are as the user left them.
    EXPECT_EQ(ArchView().RootNodeCount(), 3);
    EXPECT_EQ(NodeNamed(ArchView(), "stadata/alt.txt")->CheckState, csUncheckedNormal);
    EXPECT_EQ(Text("dspOlvexSysArchAnzSel"), "     2");
}

TEST_F(SystemPagesTest, AReadOnlyFileThatIsTickedStaysUnpackedAndTheWindowSaysWhy) {
    LayOut();
    fs::permissions(host.Root() + "/stadata/alt.txt", fs::perms(0444));
    Open();
    Refresh();
    window->spbSystemArch->click();
    fs::permissions(host.Root() + "/stadata/alt.txt", fs::perms(0644));
    EXPECT_TRUE(host.Exists("stadata/alt.txt"));
    EXPECT_FALSE(host.Exists("stadata/m01/beleg.dat"));
    ASSERT_EQ(log.notices.size(), 1u);
    EXPECT_NE(log.notices[0].find("Eine Datei wurde nicht archiviert und bleibt erhalten:"), std::string::npos)
        << log.notices[0];
    EXPECT_NE(log.notices[0].find("stadata/alt.txt"), std::string::npos) << log.notices[0];
    EXPECT_TRUE(log.failures.empty()) << log.failures.front();
    for (const std::string& archive : ArchivesIn("ARCHIV"))
        EXPECT_EQ(RunProcess({"unzip", "-Z1", archive}).out.find("alt.txt"), std::string::npos) << archive;
}

TEST_F(SystemPagesTest, AnArchiveRunMeetingAnotherRunsLockSaysSoAtOnce) {
    LayOut();
    Open();
    Refresh();
    // Another run holds ARCHIV: flock on the directory itself.
    const int other = open((host.Root() + "/ARCHIV").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    window->spbSystemArch->click();
    close(other);
    EXPECT_TRUE(window->isEnabled());
    ASSERT_FALSE(log.failures.empty());
    EXPECT_NE(log.failures.back().find("anderer Archivierungslauf"), std::string::npos) << log.failures.back();
    EXPECT_TRUE(host.Exists("stadata/alt.txt"));
    EXPECT_TRUE(host.Exists("stadata/m01/beleg.dat"));
}

TEST_F(SystemPagesTest, AFailedScanLeavesTheWindowEnabledAndSaysWhy) {
    LayOut();
    Open();
    host.Sql("DROP TABLE object_rule");
    Refresh();
    EXPECT_TRUE(window->isEnabled());
    ASSERT_FALSE(log.failures.empty());
    EXPECT_NE(log.failures.front().find("object_rule"), std::string::npos) << log.failures.front();
    // The views are usable again.
    EXPECT_FALSE(ArchView().Updating());
    EXPECT_FALSE(DelView().Updating());
    EXPECT_TRUE(ArchView().updatesEnabled());
}

TEST_F(SystemPagesTest, WithoutTheTaskModuleAClickOnlyRegistersTheFailure) {
    LayOut();
    Open();
    module.reset();
    window->spbSystemArch->click();
    window->spbSystemArchRefresh->click();
    EXPECT_TRUE(window->isEnabled());
    ASSERT_EQ(log.failures.size(), 2u);
    EXPECT_EQ(log.failures[0].rfind("TfrmVendrask.spbSystemArchClick: ", 0), 0u) << log.failures[0];
    EXPECT_EQ(log.failures[1].rfind("TfrmVendrask.spbSystemRefreshClick: ", 0), 0u) << log.failures[1];
}

}  // namespace
}  // namespace uitest
