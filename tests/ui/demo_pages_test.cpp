// The cleanup pages on the demo installation show what the scan tool reports for it. With
// VENDRASK_SCREENSHOT_DIR set, the two pages are also saved as pictures (for the README).
#include <QDir>
#include <QLabel>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

#include "host/services/tavik_programm.h"
#include "host/widgets/qt_frontend.h"
#include "tests/support/host_fixture.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/support/window_fixture.h"

namespace uitest {
namespace {

using namespace tavik;
using testsupport::RunProcess;

struct Summary {
    std::string count;
    std::string bytes;
};

// "Zu archivieren: 22 Dateien, 204,02 KB" and its delete counterpart.
Summary Read(const std::string& report, const std::string& heading) {
    std::smatch match;
    const std::regex line(heading + ": ([0-9]+) Dateien, ([^\n]+)");
    if (!std::regex_search(report, match, line)) return {};
    return {match[1].str(), match[2].str()};
}

std::string Count6(const std::string& count) { return std::string(count.size() < 6 ? 6 - count.size() : 0, ' ') + count; }

TEST(DemoPages, TheWindowShowsTheCandidatesTheScanToolFinds) {
    testsupport::TempDir scratch;
    const std::string root = (scratch / "demo").string();
    const auto created = RunProcess({testsupport::BinDir() + "/olvexhost", "demo", root});
    ASSERT_EQ(created.status, 0) << created.err;
    testsupport::ProcessOptions options;
    options.env = {{"OLVEX_ROOT", root}};
    const auto report = RunProcess({testsupport::BinDir() + "/olvexhost", "candidates"}, options);
    ASSERT_EQ(report.status, 0) << report.err;
    const Summary archive = Read(report.out, "Zu archivieren");
    const Summary remove = Read(report.out, "Zu löschen");
    ASSERT_FALSE(archive.count.empty()) << report.out;
    ASSERT_FALSE(remove.count.empty()) << report.out;

    testsupport::ResetHostServices();
    setenv("OLVEX_ROOT", root.c_str(), 1);
    auto choosers = std::make_shared<WindowChoosers>();
    TavikProgramm().SetFrontend(std::make_unique<TQtFrontend>(choosers));
    TavikProgramm().Init("VENDRASK", TEnumProzessTypen::ptDialog, TPVR_InstanceCount::icAny, 0, true);
    {
        vendrask::TdmOlvexArchiv module(TParameters{"vendrask"});
        vendrask::TfrmVendrask window(choosers);
        window.resize(900, 600);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.spbSystemArchRefresh->click();

        EXPECT_EQ(window.dspOlvexSysArchAnz->text().toStdString(), Count6(archive.count));
        EXPECT_EQ(window.dspOlvexSysArchAnzSel->text().toStdString(), Count6(archive.count));
        EXPECT_EQ(window.dspOlvexSysArchBytes->text().toStdString(), archive.bytes);
        EXPECT_EQ(window.dspOlvexSysDelAnz->text().toStdString(), Count6(remove.count));
        EXPECT_EQ(window.dspOlvexSysDelBytesSel->text().toStdString(), remove.bytes);
        EXPECT_EQ(window.windowTitle().toStdString().rfind("Archivdateien erstellen/löschen - ", 0), 0u);

        // One candidate unticked, so that the picture shows both states.
        window.vrtSystemArch->model()->setData(window.vrtSystemArch->model()->index(1, 0), Qt::Unchecked,
                                               Qt::CheckStateRole);
        const QImage archivePage = window.grab().toImage();
        window.pgcAnsicht->setCurrentWidget(window.tshOlvexSystemDel);
        QTest::qWait(20);
        const QImage deletePage = window.grab().toImage();
        EXPECT_NE(archivePage, deletePage);
        EXPECT_EQ(archivePage.size(), window.size() * window.devicePixelRatio());

        if (const char* directory = std::getenv("VENDRASK_SCREENSHOT_DIR")) {
            EXPECT_TRUE(archivePage.save(QDir(QString::fromLocal8Bit(directory)).filePath("main-window-archive.png")));
            EXPECT_TRUE(deletePage.save(QDir(QString::fromLocal8Bit(directory)).filePath("main-window-delete.png")));
        }
    }
    testsupport::ResetHostServices();
}

}  // namespace
}  // namespace uitest
