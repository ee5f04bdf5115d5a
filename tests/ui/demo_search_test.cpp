// The search page on the demo installation after a nightly run: the hits of a search over ARCHIV
// with their archives. With VENDRASK_SCREENSHOT_DIR set, the page is also saved as a picture
// (for the README).
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "host/services/tavik_programm.h"
#include "host/widgets/qt_frontend.h"
#include "tests/support/host_fixture.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/support/workbench_fixture.h"

namespace uitest {
namespace {

using namespace tavik;
using testsupport::RunProcess;

TEST(DemoSearch, TheHitsOfTheNightlyArchiveShowWithTheirArchive) {
    testsupport::TempDir scratch;
    const std::string root = (scratch / "demo").string();
    ASSERT_EQ(RunProcess({testsupport::BinDir() + "/olvexhost", "demo", root}).status, 0);
    testsupport::ProcessOptions options;
    options.env = {{"OLVEX_ROOT", root}};
    const auto run = RunProcess({testsupport::BinDir() + "/vendrask", "-AUTO", "-A"}, options);
    ASSERT_EQ(run.status, 0) << run.err;

    testsupport::ResetHostServices();
    setenv("OLVEX_ROOT", root.c_str(), 1);
    auto choosers = std::make_shared<WorkbenchChoosers>();
    TavikProgramm().SetFrontend(std::make_unique<TQtFrontend>(choosers));
    TavikProgramm().Init("VENDRASK", TEnumProzessTypen::ptDialog, TPVR_InstanceCount::icAny, 0, true);
    {
        vendrask::TdmOlvexArchiv module(TParameters{"vendrask"});
        vendrask::TfrmVendrask window(choosers);
        window.resize(900, 600);
        window.pgcAnsicht->setCurrentWidget(window.tshSuche);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        EXPECT_EQ(window.dspSucheTreffer->text(), QString());

        window.edtSuche->setText(QStringLiteral("beleg002"));
        QTest::keyClick(window.edtSuche, Qt::Key_Return);
        TVTVRList& hits = *window.vstSuche;
        ASSERT_GE(hits.RootNodeCount(), 3);
        EXPECT_EQ(window.dspSucheTreffer->text(), QString::number(hits.RootNodeCount()));
        std::set<std::string> names;
        std::string scanSize;
        for (PVirtualNode node = hits.GetFirst(); node; node = hits.GetNext(node)) {
            names.insert(hits.GetCellText(node, 0));
            if (hits.GetCellText(node, 0) == "stadata/scan/beleg0020.pdf") scanSize = hits.GetCellText(node, 1);
            EXPECT_EQ(hits.GetCellText(node, 4).rfind("SK", 0), 0u);
        }
        EXPECT_TRUE(names.count("stadata/m01/beleg0020.dat"));
        // The demo's scan of 96 KiB shows its size grouped.
        EXPECT_EQ(scanSize, "98.304");
        EXPECT_FALSE(window.lblSucheFehler->isVisibleTo(window.tshSuche));

        // Sorted by name, two hits ticked, so that the picture shows the sort mark and both states.
        hits.SortByColumn(0, Qt::AscendingOrder);
        hits.SetCheckState(hits.NodeAtPosition(0), csCheckedNormal);
        hits.SetCheckState(hits.NodeAtPosition(2), csCheckedNormal);
        QTest::qWait(20);
        const QImage page = window.grab().toImage();
        EXPECT_EQ(page.size(), window.size() * window.devicePixelRatio());
        if (const char* directory = std::getenv("VENDRASK_SCREENSHOT_DIR")) {
            EXPECT_TRUE(page.save(QDir(QString::fromLocal8Bit(directory)).filePath("search-page.png")));
        }
    }
    testsupport::ResetHostServices();
}

}  // namespace
}  // namespace uitest
