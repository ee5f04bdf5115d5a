// The page "Archiv durchsuchen" on the archives of real nightly runs: search, the hit list,
// restoring ticked hits to their places or into a chosen directory with the conflict question,
// choosing among versions, the double click to the workbench, and aborting a search.
#include <QAbstractItemModel>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "host/services/frontend.h"
#include "tests/support/run_process.h"
#include "tests/ui/support/workbench_fixture.h"

namespace uitest {
namespace {

namespace fs = std::filesystem;
using namespace tavik;

constexpr std::time_t kOld = 1'000'000'000;
const std::string kBeleg = "stadata/m03/beleg0013.dat";

long long MTime(const fs::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return -1;
    return st.st_mtime;
}

class SearchPage : public WorkbenchTest {
protected:
    void SetUp() override {
        host.Rule(1, "stadata/*", true, 30);
        host.File("stadata/m01/beleg0001.dat", "erster Beleg", kOld);
        host.File(kBeleg, "der Beleg aus dem März", kOld + 60);
        ArchiveRun();
    }
    void ArchiveRun() {
        testsupport::ProcessOptions options;
        options.env["OLVEX_ROOT"] = host.Root();
        const auto run = testsupport::RunProcess({testsupport::BinDir() + "/vendrask", "-AUTO", "-A"}, options);
        ASSERT_EQ(run.status, 0) << run.err;
    }
    void Search(const QString& term) {
        window->pgcAnsicht->setCurrentWidget(window->tshSuche);
        window->edtSuche->setText(term);
        QTest::keyClick(window->edtSuche, Qt::Key_Return);
    }
    TVTVRList& View() const { return *window->vstSuche; }
    std::vector<std::string> HitNames() const {
        std::vector<std::string> names;
        for (PVirtualNode node = View().GetFirst(); node; node = View().GetNext(node))
            names.push_back(View().GetCellText(node, 0));
        return names;
    }
    PVirtualNode Hit(const std::string& name, int occurrence = 0) const {
        for (PVirtualNode node = View().GetFirst(); node; node = View().GetNext(node))
            if (View().GetCellText(node, 0) == name && occurrence-- == 0) return node;
        return nullptr;
    }
    fs::path Place(const std::string& name) const { return fs::path(host.Root()) / name; }
};

TEST_F(SearchPage, EnterSearchesAndListsTheHitsWithTheirArchiveAndCount) {
    Open();
    Search(QStringLiteral("BELEG"));
    EXPECT_EQ(HitNames().size(), 2u);
    EXPECT_NE(Hit(kBeleg), nullptr);
    EXPECT_EQ(Text("dspSucheTreffer"), "2");
    std::vector<std::string> visible;
    for (int column = 0; column < View().header()->count(); ++column)
        if (View().ColumnVisible(column))
            visible.push_back(View().model()->headerData(column, Qt::Horizontal).toString().toStdString());
    EXPECT_EQ(visible, (std::vector<std::string>{"Name", "Größe", "Datum", "Uhrzeit", "Archivdatei"}));
    const PVirtualNode hit = Hit(kBeleg);
    ASSERT_NE(hit, nullptr);
    EXPECT_EQ(hit->CheckType, ctCheckBox);
    EXPECT_EQ(View().GetCellText(hit, 1), std::to_string(std::string("der Beleg aus dem März").size()));
    EXPECT_EQ(View().GetCellText(hit, 4).rfind("SK", 0), 0u) << View().GetCellText(hit, 4);

    // A pattern matches the whole name; sorting by name puts beleg0001 first, then descending last.
    Search(QStringLiteral("stadata/m03/*"));
    EXPECT_EQ(HitNames(), (std::vector<std::string>{kBeleg}));
    Search(QStringLiteral("beleg"));
    View().SortByColumn(0, Qt::DescendingOrder);
    EXPECT_EQ(HitNames().front(), kBeleg);
    View().SortByColumn(0, Qt::AscendingOrder);
    EXPECT_EQ(HitNames().back(), kBeleg);
    EXPECT_TRUE(log.failures.empty()) << log.failures.front();
}

TEST_F(SearchPage, RestoreBringsTheTickedHitBackToItsPlaceWithItsTime) {
    Open();
    Search(QStringLiteral("beleg0013"));
    ASSERT_NE(Hit(kBeleg), nullptr);
    View().SetCheckState(Hit(kBeleg), csCheckedNormal);
    window->spbWiederherstellen->click();
    EXPECT_EQ(testsupport::ReadFile(Place(kBeleg)), "der Beleg aus dem März");
    EXPECT_EQ(MTime(Place(kBeleg)), kOld + 60);
    EXPECT_FALSE(host.Exists("stadata/m01/beleg0001.dat"));
    EXPECT_EQ(log.notices, (std::vector<std::string>{"Die markierten Dateien wurden wiederhergestellt."}));
    EXPECT_TRUE(log.failures.empty()) << log.failures.front();
    EXPECT_FALSE(window->CommandRunning());
}

TEST_F(SearchPage, ADifferentFileIsReplacedOnlyWhenTheQuestionSaysYes) {
    testsupport::WriteFile(Place(kBeleg), "neu geschrieben");
    Open();
    Search(QStringLiteral("beleg0013"));
    View().SetCheckState(Hit(kBeleg), csCheckedNormal);

    log.answers.push_back(idNo);
    window->spbWiederherstellen->click();
    ASSERT_EQ(log.questions.size(), 1u);
    EXPECT_NE(log.questions[0].find(Place(kBeleg).string()), std::string::npos) << log.questions[0];
    EXPECT_EQ(log.questionButtons[0], mbYesNoAll);
    EXPECT_EQ(testsupport::ReadFile(Place(kBeleg)), "neu geschrieben");
    ASSERT_EQ(log.notices.size(), 1u);
    EXPECT_NE(log.notices[0].find("behalten"), std::string::npos) << log.notices[0];

    log.answers.push_back(idYes);
    window->spbWiederherstellen->click();
    EXPECT_EQ(log.questions.size(), 2u);
    EXPECT_EQ(testsupport::ReadFile(Place(kBeleg)), "der Beleg aus dem März");

    // Now identical: no question.
    window->spbWiederherstellen->click();
    EXPECT_EQ(log.questions.size(), 2u);
    EXPECT_TRUE(log.failures.empty()) << log.failures.front();
}

TEST_F(SearchPage, ExtractToPutsTheHitBelowTheChosenDirectory) {
    Open();
    Search(QStringLiteral("beleg0013"));
    View().SetCheckState(Hit(kBeleg), csCheckedNormal);
    choosers->directories.push_back(QString::fromStdString(Scratch("ziel")));
    window->spbSucheEntpacken->click();
    EXPECT_EQ(choosers->directoryRequests.size(), 1u);
    EXPECT_EQ(testsupport::ReadFile(fs::path(Scratch("ziel")) / kBeleg), "der Beleg aus dem März");
    EXPECT_FALSE(host.Exists(kBeleg));
    EXPECT_TRUE(log.failures.empty()) << log.failures.front();
}

TEST_F(SearchPage, SeveralVersionsOfOneNameAskWhichNewestFirst) {
    // A second nightly run archives a newer version of the same file.
    host.File(kBeleg, "die spätere Fassung", kOld + 3600);
    ArchiveRun();
    Open();
    Search(QStringLiteral("beleg0013"));
    ASSERT_EQ(HitNames(), (std::vector<std::string>{kBeleg, kBeleg}));
    View().SetCheckState(Hit(kBeleg, 0), csCheckedNormal);
    View().SetCheckState(Hit(kBeleg, 1), csCheckedNormal);

    QStringList offered;
    choosers->modalAnswers.push_back([&offered](QDialog& dialog) {
        auto* list = dialog.findChild<QListWidget*>(QStringLiteral("lstFassungen"));
        if (list == nullptr) return 2;
        for (int row = 0; row < list->count(); ++row) offered << list->item(row)->text();
        list->setCurrentRow(1);  // the older one
        return 1;
    });
    window->spbWiederherstellen->click();
    ASSERT_EQ(choosers->modalShown, (std::vector<QString>{QStringLiteral("frmFassungWaehlen")}));
    ASSERT_EQ(offered.size(), 2);
    EXPECT_EQ(testsupport::ReadFile(Place(kBeleg)), "der Beleg aus dem März");

    // Cancelled: nothing is restored.
    fs::remove(Place(kBeleg));
    window->spbWiederherstellen->click();
    EXPECT_FALSE(host.Exists(kBeleg));

    // The first offered is the newest.
    choosers->modalAnswers.push_back([](QDialog&) { return 1; });
    window->spbWiederherstellen->click();
    EXPECT_EQ(testsupport::ReadFile(Place(kBeleg)), "die spätere Fassung");
    EXPECT_TRUE(log.failures.empty()) << log.failures.front();
}

TEST_F(SearchPage, ADoubleClickOpensTheArchiveOnTheWorkbenchWithTheEntryTicked) {
    Open();
    Search(QStringLiteral("beleg"));
    const PVirtualNode hit = Hit(kBeleg);
    ASSERT_NE(hit, nullptr);
    emit View().doubleClicked(View().IndexOfNode(hit));
    EXPECT_EQ(window->pgcAnsicht->currentWidget(), window->tshArchivVerwaltung);
    EXPECT_EQ(fs::path(module->ArchivFileName()).filename().string(), View().GetCellText(hit, 4));
    TVTVRList& contents = *window->vrtArchivInhalt;
    std::vector<std::string> ticked;
    int rows = 0;
    for (PVirtualNode node = contents.GetFirst(); node; node = contents.GetNext(node), ++rows)
        if (contents.CheckState(node) == csCheckedNormal) ticked.push_back(contents.GetCellText(node, 0));
    EXPECT_EQ(rows, 2);
    EXPECT_EQ(ticked, (std::vector<std::string>{kBeleg}));
    EXPECT_TRUE(log.failures.empty()) << log.failures.front();
}

TEST_F(SearchPage, TheWorkbenchAbortButtonStopsALongSearch) {
    // Three more archives, so that the search has archives left after the first.
    for (int run = 0; run < 3; ++run) {
        host.File("stadata/m0" + std::to_string(run + 4) + "/beleg.dat", "weiterer Beleg", kOld);
        ArchiveRun();
    }
    Open();
    bool clicked = false;
    log.onProcessMessages = [this, &clicked] {
        if (clicked || !window->CommandRunning()) return;
        clicked = true;
        window->spbAbortOperation->click();
    };
    Search(QStringLiteral("beleg"));
    EXPECT_TRUE(clicked);
    EXPECT_EQ(Text("lblSucheProgress"), "Die Suche wurde abgebrochen.");
    EXPECT_LT(HitNames().size(), 5u);
    EXPECT_FALSE(window->spbSucheAbbrechen->isVisibleTo(window->tshSuche));
    EXPECT_FALSE(window->CommandRunning());

    // Without the abort the same search finds all five.
    log.onProcessMessages = nullptr;
    Search(QStringLiteral("beleg"));
    EXPECT_EQ(HitNames().size(), 5u);
    EXPECT_EQ(Text("lblSucheProgress"), "");
}

TEST_F(SearchPage, AnUnreadableArchiveIsReportedOnThePageAndRegisteredOncePerSearch) {
    host.File("ARCHIV/SK260101.001", std::string("PK\x03\x04", 4) + "kein Archiv, nur ein Anfang", kOld);
    Open();
    EXPECT_FALSE(window->lblSucheFehler->isVisibleTo(window->tshSuche));
    for (int search = 1; search <= 2; ++search) {
        Search(QStringLiteral("beleg"));
        EXPECT_EQ(HitNames().size(), 2u);
        EXPECT_TRUE(window->lblSucheFehler->isVisibleTo(window->tshSuche));
        EXPECT_TRUE(window->lblSucheFehler->text().startsWith(QStringLiteral("1 Archivdatei konnte nicht gelesen werden")))
            << window->lblSucheFehler->text().toStdString();
        // Each search registers the archive once, quietly: the failure list does not come forward.
        ASSERT_EQ(log.failures.size(), static_cast<std::size_t>(search));
        EXPECT_EQ(log.failures.back().rfind("TfrmVendrask.spbSucheClick: ", 0), 0u) << log.failures.back();
        EXPECT_NE(log.failures.back().find("SK260101.001"), std::string::npos) << log.failures.back();
        ASSERT_FALSE(TavikInfo().PendingFailures().empty());
        EXPECT_TRUE(TavikInfo().PendingFailures().back().Quiet);
    }
    // The details are a click away: which archive and why.
    QString details;
    choosers->modalAnswers.push_back([&details](QDialog& dialog) {
        details = dynamic_cast<QMessageBox&>(dialog).informativeText();
        return 1;
    });
    emit window->lblSucheFehler->linkActivated(QStringLiteral("details"));
    ASSERT_EQ(choosers->modalShown.size(), 1u);
    EXPECT_EQ(choosers->modalShown[0], QStringLiteral("msgSucheFehler"));
    EXPECT_TRUE(details.contains(QStringLiteral("SK260101.001"))) << details.toStdString();
    EXPECT_EQ(log.failures.size(), 2u);

    // Without the archive the line goes.
    fs::remove(Place("ARCHIV/SK260101.001"));
    Search(QStringLiteral("beleg"));
    EXPECT_FALSE(window->lblSucheFehler->isVisibleTo(window->tshSuche));
    EXPECT_EQ(log.failures.size(), 2u);
}

TEST_F(SearchPage, TheCountIsEmptyBeforeTheFirstSearch) {
    Open();
    window->pgcAnsicht->setCurrentWidget(window->tshSuche);
    EXPECT_EQ(Text("dspSucheTreffer"), "");
    Search(QStringLiteral("gibt-es-nicht"));
    EXPECT_EQ(Text("dspSucheTreffer"), "0");
}

TEST_F(SearchPage, TheArchiveNameShowsWholeAndALongNameGivesWayInItsMiddle) {
    const std::string longName = "stadata/m05/" + std::string(60, 'x') + "_beleg_mit_sehr_langem_namen_" +
                                 std::string(60, 'y') + ".dat";
    host.File(longName, "lang", kOld);
    ArchiveRun();
    Open();
    ASSERT_EQ(window->size(), QSize(800, 600));
    Search(QStringLiteral("beleg"));
    ASSERT_EQ(HitNames().size(), 3u);
    QHeaderView& header = *View().header();
    const QFontMetrics metrics(View().font());
    int widestArchive = 0;
    for (PVirtualNode node = View().GetFirst(); node; node = View().GetNext(node))
        widestArchive = std::max(widestArchive, metrics.horizontalAdvance(QString::fromStdString(View().GetCellText(node, 4))));
    // The archive column holds its widest name and lies inside the view, beside all the others.
    EXPECT_GT(header.sectionSize(4), widestArchive);
    EXPECT_LE(header.sectionViewportPosition(4) + header.sectionSize(4), View().viewport()->width());
    // The name column is narrower than the long name, which loses its middle, not its end.
    EXPECT_LT(header.sectionSize(0), metrics.horizontalAdvance(QString::fromStdString(longName)));
    EXPECT_EQ(View().textElideMode(), Qt::ElideMiddle);
    EXPECT_GT(header.sectionSize(0), 100);
}

TEST_F(SearchPage, AllOnAndInvertActOnTheHitsByToolbarKeyAndMenu) {
    Open();
    Search(QStringLiteral("beleg"));
    ASSERT_EQ(HitNames().size(), 2u);
    const auto ticked = [this] {
        int count = 0;
        for (PVirtualNode node = View().GetFirst(); node; node = View().GetNext(node))
            count += View().CheckState(node) == csCheckedNormal ? 1 : 0;
        return count;
    };
    window->spbAlleEin->click();
    EXPECT_EQ(ticked(), 2);
    window->spbAlleUms->click();
    EXPECT_EQ(ticked(), 0);
    View().SetCheckState(View().GetFirst(), csCheckedNormal);
    window->Markierungumkehren1->trigger();
    EXPECT_EQ(ticked(), 1);
    EXPECT_EQ(View().CheckState(View().GetFirst()), csUncheckedNormal);
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_F7);
    EXPECT_EQ(ticked(), 2);
    QTest::keyClick(window.get(), Qt::Key_F8);
    EXPECT_EQ(ticked(), 0);
}

TEST_F(SearchPage, SizesAreGroupedInThousandsOnThePageAndOnTheWorkbench) {
    host.File("stadata/m06/gross.dat", std::string(1'234'567, 'g'), kOld);
    ArchiveRun();
    Open();
    Search(QStringLiteral("gross.dat"));
    const PVirtualNode hit = Hit("stadata/m06/gross.dat");
    ASSERT_NE(hit, nullptr);
    EXPECT_EQ(View().GetCellText(hit, 1), "1.234.567");
    EXPECT_EQ(View().model()->index(0, 1).data().toString(), QStringLiteral("1.234.567"));
    emit View().doubleClicked(View().IndexOfNode(Hit("stadata/m06/gross.dat")));
    ASSERT_EQ(window->pgcAnsicht->currentWidget(), window->tshArchivVerwaltung);
    TVTVRList& contents = *window->vrtArchivInhalt;
    std::vector<std::string> sizes;
    for (PVirtualNode node = contents.GetFirst(); node; node = contents.GetNext(node))
        sizes.push_back(contents.GetCellText(node, 1));
    EXPECT_EQ(sizes, (std::vector<std::string>{"1.234.567"}));
}

}  // namespace
}  // namespace uitest
