// The workbench page on the demo installation, with the archive that the nightly run wrote. With
// VENDRASK_SCREENSHOT_DIR set, the page is also saved as a picture (for the README).
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "host/services/fs_names.h"
#include "host/services/tavik_programm.h"
#include "host/widgets/failure_list.h"
#include "host/widgets/qt_frontend.h"
#include "tests/support/host_fixture.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/support/workbench_fixture.h"
#include "ui/application.h"
#include "ui/archivspandlg.h"

namespace uitest {
namespace {

namespace fs = std::filesystem;
using namespace tavik;
using testsupport::RunProcess;

int EntryCount(const std::string& archive) {
    const auto listing = RunProcess({"unzip", "-Z1", archive});
    int count = 0;
    std::istringstream lines(listing.out);
    for (std::string line; std::getline(lines, line);) count += line.empty() ? 0 : 1;
    return count;
}

TEST(DemoWorkbench, TheNightlyArchiveOfTheDemoOpensAndPassesTheCompleteCheck) {
    testsupport::TempDir scratch;
    const std::string root = (scratch / "demo").string();
    ASSERT_EQ(RunProcess({testsupport::BinDir() + "/olvexhost", "demo", root}).status, 0);
    const auto before = fs::directory_iterator(fs::path(root) / "ARCHIV");
    std::vector<std::string> old;
    for (const auto& entry : before) old.push_back(entry.path().string());
    testsupport::ProcessOptions options;
    options.env = {{"OLVEX_ROOT", root}};
    const auto run = RunProcess({testsupport::BinDir() + "/vendrask", "-AUTO", "-A"}, options);
    ASSERT_EQ(run.status, 0) << run.err;
    std::string archive;
    for (const auto& entry : fs::directory_iterator(fs::path(root) / "ARCHIV"))
        if (std::find(old.begin(), old.end(), entry.path().string()) == old.end() &&
            entry.path().filename() != ".vendrask")
            archive = entry.path().string();
    ASSERT_FALSE(archive.empty());

    testsupport::ResetHostServices();
    setenv("OLVEX_ROOT", root.c_str(), 1);
    auto choosers = std::make_shared<WorkbenchChoosers>();
    TavikProgramm().SetFrontend(std::make_unique<TQtFrontend>(choosers));
    TavikProgramm().Init("VENDRASK", TEnumProzessTypen::ptDialog, TPVR_InstanceCount::icAny, 0, true);
    {
        vendrask::TdmOlvexArchiv module(TParameters{"vendrask"});
        vendrask::TfrmVendrask window(choosers);
        window.resize(900, 600);
        window.pgcAnsicht->setCurrentWidget(window.tshArchivVerwaltung);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

        choosers->files.push_back(QString::fromStdString(archive));
        window.spbOpenFiles->click();
        EXPECT_EQ(window.lblArchDateiName->text().toStdString(), archive);
        ASSERT_GT(EntryCount(archive), 2);
        EXPECT_EQ(window.vrtArchivInhalt->RootNodeCount(), EntryCount(archive));

        window.spbVerifyComplete->click();
        // The notice went through the windows' front end as a message box.
        EXPECT_EQ(choosers->modalShown, (std::vector<QString>{QStringLiteral("msgHinweis")}));
        // The nightly run wrote it: every file's content confirmed by its fingerprint, and sealed.
        ASSERT_EQ(choosers->modalTexts.size(), 1u);
        EXPECT_TRUE(choosers->modalTexts[0].startsWith(QStringLiteral("Die Archivdatei wurde erfolgreich geprüft. ")));
        EXPECT_TRUE(choosers->modalTexts[0].endsWith(
            QStringLiteral(" durch SHA-256 bestätigt, 0 Einträge nur durch CRC-32. Das Siegel des Archivs ist intakt.")))
            << choosers->modalTexts[0].toStdString();
        EXPECT_FALSE(window.spbAbortOperation->isVisible());

        // Sorted by name, so that the picture shows the sort mark; two entries ticked, so that
        // it shows both states.
        window.vrtArchivInhalt->SortByColumn(0, Qt::AscendingOrder);
        window.vrtArchivInhalt->SetCheckState(window.vrtArchivInhalt->NodeAtPosition(0), csCheckedNormal);
        window.vrtArchivInhalt->SetCheckState(window.vrtArchivInhalt->NodeAtPosition(2), csCheckedNormal);
        QTest::qWait(20);
        const QImage page = window.grab().toImage();
        EXPECT_EQ(page.size(), window.size() * window.devicePixelRatio());
        const char* directory = std::getenv("VENDRASK_SCREENSHOT_DIR");
        if (directory) {
            EXPECT_TRUE(page.save(QDir(QString::fromLocal8Bit(directory)).filePath("main-window-workbench.png")));
        }

        // Splitting: the span dialog shows its preset, STATEMP, with automatic size. Its target
        // is then set to a place where no directory can be, so the split fails and the failure
        // list appears beside the window.
        vendrask::TfrmArchivSpan span(&window);
        span.SetChoosers(choosers);
        vendrask::frmArchivSpan = &span;
        QImage spanPicture;
        const std::string blocked = (scratch / "belegt").string();
        testsupport::WriteFile(blocked, "keine Ablage");
        choosers->modalAnswers.push_back([&](QDialog& dialog) {
            auto& shown = dynamic_cast<vendrask::TfrmArchivSpan&>(dialog);
            shown.show();
            EXPECT_TRUE(QTest::qWaitForWindowExposed(&shown));
            auto* target = shown.findChild<QLabel*>(QStringLiteral("lblTarget"));
            EXPECT_EQ(target->text().toStdString(), GetDirOlvexByName("STATEMP", "", true));
            spanPicture = shown.grab().toImage();
            target->setText(QString::fromStdString(blocked + "/STATEMP"));
            shown.spbOKClick();
            return shown.ModalResult();
        });
        window.spbSpan->click();
        vendrask::frmArchivSpan = nullptr;
        EXPECT_FALSE(spanPicture.isNull());
        auto* frontend = dynamic_cast<TQtFrontend*>(&TavikProgramm().Frontend());
        ASSERT_NE(frontend, nullptr);
        TFailureList* failures = frontend->Failures();
        ASSERT_NE(failures, nullptr);
        ASSERT_EQ(failures->Count(), 1);
        EXPECT_EQ(failures->Line(0)[1], QStringLiteral("Archivdatei aufteilen"));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(failures));
        QTest::qWait(20);
        const QImage failurePicture = failures->grab().toImage();
        if (directory) {
            EXPECT_TRUE(spanPicture.save(QDir(QString::fromLocal8Bit(directory)).filePath("span-dialog.png")));
            EXPECT_TRUE(failurePicture.save(QDir(QString::fromLocal8Bit(directory)).filePath("failure-list.png")));
        }
    }
    testsupport::ResetHostServices();
}

}  // namespace
}  // namespace uitest
