// The page "Archivbestand" on the archives of two real nightly runs: the list with the journal's
// state, verifying all or the ticked archives, a tampered archive, the PDF report, and a window
// without an installation.
#include <QDate>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include <cstdlib>
#include <filesystem>

#include "host/services/archive_journal.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/support/window_fixture.h"

namespace uitest {
namespace {

namespace fs = std::filesystem;
using namespace tavik;

constexpr int kResultColumn = 6;
constexpr int kStateColumn = 7;

class ArchivbestandPage : public WindowTest {
protected:
    void SetUp() override {
        host.Rule(1, "stadata/*", true, 30);
        host.File("stadata/m01/beleg0001.dat", "erster Beleg", kLongAgo);
        host.File("stadata/m01/beleg0002.dat", "zweiter Beleg", kLongAgo);
        ArchiveRun();
        host.File("stadata/m02/beleg0003.dat", "dritter Beleg", kLongAgo);
        ArchiveRun();
        archives = ArchivesIn("ARCHIV");
        std::sort(archives.begin(), archives.end());
        ASSERT_EQ(archives.size(), 2u);
    }
    void ArchiveRun() {
        testsupport::ProcessOptions options;
        options.env["OLVEX_ROOT"] = host.Root();
        const auto run = testsupport::RunProcess({testsupport::BinDir() + "/vendrask", "-AUTO", "-A"}, options);
        ASSERT_EQ(run.status, 0) << run.err;
    }
    void ShowPage() { window->pgcAnsicht->setCurrentWidget(window->tshArchivbestand); }
    TVTVRList& View() const { return *window->vrtArchivbestand; }
    static std::string NameOf(const std::string& path) { return fs::path(path).filename().string(); }
    std::vector<std::string> Cells(int column) const {
        std::vector<std::string> cells;
        for (PVirtualNode node = View().GetFirst(); node; node = View().GetNext(node))
            cells.push_back(View().GetCellText(node, column));
        return cells;
    }
    // The archives the journal records as verified, in order.
    std::vector<std::string> Verified() const {
        std::vector<std::string> names;
        const TArchiveJournal journal((fs::path(host.Root()) / "ARCHIV").string(), TArchiveJournal::TMode::Read);
        for (const TJournalRecord& record : journal.Read())
            if (record.Kind == journalkind::Geprueft) names.push_back(record.Archive);
        return names;
    }
    void ExpectIdle() const {
        EXPECT_FALSE(window->spbArchivbestandAbbrechen->isVisible());
        EXPECT_FALSE(window->spbAbortOperation->isVisible());
        EXPECT_FALSE(window->CommandRunning());
        EXPECT_EQ(Text("lblArchivbestandProgress"), "");
    }

    std::vector<std::string> archives;
};

TEST_F(ArchivbestandPage, ListsBothArchivesAndVerifiesThemAll) {
    Open();
    ShowPage();
    EXPECT_EQ(Cells(0), (std::vector<std::string>{NameOf(archives[0]), NameOf(archives[1])}));
    EXPECT_EQ(Text("lblArchivbestandStatus").rfind("Journal intakt: ", 0), 0u) << Text("lblArchivbestandStatus");
    std::vector<std::string> captions;
    for (int column = 0; column < View().header()->count(); ++column)
        captions.push_back(View().model()->headerData(column, Qt::Horizontal).toString().toStdString());
    EXPECT_EQ(captions, (std::vector<std::string>{"Archiv", "Geschrieben", "Einträge", "Größe (Bytes)", "SHA-256",
                                                  "Zuletzt geprüft", "Ergebnis", "Zustand", "Befund"}));
    EXPECT_EQ(View().GetFirst()->CheckType, ctCheckBox);

    const std::size_t before = Verified().size();
    bool abortVisible = false;
    log.onProcessMessages = [&] { abortVisible = abortVisible || window->spbArchivbestandAbbrechen->isVisible(); };
    window->spbArchivbestandPruefen->click();

    EXPECT_EQ(log.notices, (std::vector<std::string>{"2 Archive vollständig geprüft, 0 fehlerhaft."}));
    EXPECT_TRUE(abortVisible);
    EXPECT_EQ(Verified().size(), before + 2);
    EXPECT_EQ(Cells(kResultColumn), (std::vector<std::string>{"fehlerfrei", "fehlerfrei"}));
    EXPECT_EQ(Cells(kStateColumn), (std::vector<std::string>{"in Ordnung", "in Ordnung"}));
    EXPECT_NE(Text("lblArchivbestandStatus").find("\nAlle Archive vollständig geprüft seit "), std::string::npos)
        << Text("lblArchivbestandStatus");
    EXPECT_EQ(window->pgbArchivbestandProgress->value(), window->pgbArchivbestandProgress->maximum());
    ExpectIdle();
    EXPECT_TRUE(log.failures.empty()) << log.failures.front();
}

TEST_F(ArchivbestandPage, ATamperedArchiveIsFoundFaultyAndNamed) {
    const auto removed = testsupport::RunProcess({"zip", "-q", "-d", archives[0], "stadata/m01/beleg0002.dat"});
    ASSERT_EQ(removed.status, 0) << removed.err;
    Open();
    ShowPage();
    window->spbArchivbestandPruefen->click();
    ASSERT_EQ(log.notices.size(), 1u);
    const std::string& notice = log.notices[0];
    EXPECT_EQ(notice.rfind("2 Archive vollständig geprüft, 1 fehlerhaft.", 0), 0u) << notice;
    EXPECT_NE(notice.find(NameOf(archives[0]) + ": "), std::string::npos) << notice;
    EXPECT_EQ(notice.find(NameOf(archives[1])), std::string::npos) << notice;
    EXPECT_EQ(Cells(kStateColumn), (std::vector<std::string>{"fehlerhaft", "in Ordnung"}));
    EXPECT_NE(Text("lblArchivbestandStatus").find("1 fehlerhaft"), std::string::npos);
    ExpectIdle();
}

TEST_F(ArchivbestandPage, OnlyTheTickedArchiveIsVerifiedAndStaysTicked) {
    Open();
    ShowPage();
    const std::size_t before = Verified().size();
    Click(View(), NodeNamed(View(), NameOf(archives[1])));
    window->spbArchivbestandPruefen->click();
    EXPECT_EQ(log.notices, (std::vector<std::string>{"1 Archiv vollständig geprüft, 0 fehlerhaft."}));
    const std::vector<std::string> verified = Verified();
    ASSERT_EQ(verified.size(), before + 1);
    EXPECT_EQ(verified.back(), NameOf(archives[1]));
    EXPECT_EQ(View().CheckState(NodeNamed(View(), NameOf(archives[1]))), csCheckedNormal);
    EXPECT_EQ(View().CheckState(NodeNamed(View(), NameOf(archives[0]))), csUncheckedNormal);
}

TEST_F(ArchivbestandPage, AClickOnAHeaderSortsTheList) {
    Open();
    ShowPage();
    QTest::mouseClick(View().header()->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(View().header()->sectionViewportPosition(0) + 5, View().header()->height() / 2));
    const std::vector<std::string> first = Cells(0);
    QTest::mouseClick(View().header()->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(View().header()->sectionViewportPosition(0) + 5, View().header()->height() / 2));
    const std::vector<std::string> second = Cells(0);
    EXPECT_EQ(second, (std::vector<std::string>(first.rbegin(), first.rend())));
}

TEST_F(ArchivbestandPage, F4ReachesThePageAndGoesOnToTheFirst) {
    Open();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    window->pgcAnsicht->setCurrentWidget(window->tshSuche);
    QTest::keyClick(window.get(), Qt::Key_F4);
    EXPECT_EQ(window->pgcAnsicht->currentWidget(), window->tshArchivbestand);
    EXPECT_EQ(View().RootNodeCount(), 2);
    QTest::keyClick(window.get(), Qt::Key_F4);
    EXPECT_EQ(window->pgcAnsicht->currentWidget(), window->tshOlvexSystemArch);
}

// pdftotext gives some letter pairs of a random folder name ("ff", "fi") back as one ligature.
std::string WithoutLigatures(std::string text) {
    const std::pair<std::string, std::string> ligatures[] = {
        {"\uFB03", "ffi"}, {"\uFB04", "ffl"}, {"\uFB00", "ff"}, {"\uFB01", "fi"}, {"\uFB02", "fl"}};
    for (const auto& [ligature, letters] : ligatures)
        for (std::size_t at = text.find(ligature); at != std::string::npos; at = text.find(ligature, at))
            text.replace(at, ligature.size(), letters);
    return text;
}

TEST_F(ArchivbestandPage, TheReportIsAPdfWithTheHeadingAndBothArchives) {
    testsupport::TempDir target;
    const std::string file = (target / "bestand.pdf").string();
    Open();
    ShowPage();
    choosers->files.push_back(QString::fromStdString(file));
    window->spbArchivbestandBericht->click();
    EXPECT_EQ(log.notices, (std::vector<std::string>{"Der Bericht wurde als „" + file + "“ gespeichert."}));
    auto text = testsupport::RunProcess({"pdftotext", "-layout", file, "-"});
    ASSERT_EQ(text.status, 0) << text.err;
    text.out = WithoutLigatures(text.out);
    EXPECT_NE(text.out.find("Archivbestand von " + host.Root()), std::string::npos) << text.out;
    EXPECT_NE(text.out.find(NameOf(archives[0])), std::string::npos) << text.out;
    EXPECT_NE(text.out.find(NameOf(archives[1])), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("Zuletzt geprüft"), std::string::npos) << text.out;
    // The procedure follows the table, with the retention periods and the journal as they are now.
    EXPECT_NE(text.out.find("Verfahrensdokumentation: Archivierung mit vendrask"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("Keine Löschsperre."), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("Kopf: "), std::string::npos) << text.out;
}

TEST_F(ArchivbestandPage, AReportThatCannotBeWrittenNamesTheFile) {
    testsupport::TempDir target;
    const std::string file = (target / "fehlt" / "bestand.pdf").string();
    Open();
    ShowPage();
    choosers->files.push_back(QString::fromStdString(file));
    window->spbArchivbestandBericht->click();
    ASSERT_EQ(log.notices.size(), 1u);
    EXPECT_EQ(log.notices[0].rfind("Der Bericht konnte nicht als „" + file + "“ gespeichert werden.", 0), 0u)
        << log.notices[0];
    EXPECT_FALSE(fs::exists(file));
}

// "Jahr exportieren ...": the year asked (last year preset), a new folder named, the bag made
// with the page's progress and abort buttons, the summary in a notice.
TEST_F(ArchivbestandPage, AYearIsExportedAsABagIntoANewFolder) {
    testsupport::TempDir target;
    const std::string bag = (target / "pruefung-2001").string();
    Open();
    ShowPage();
    int preset = 0;
    choosers->modalAnswers.push_back([&preset](QDialog& dialog) {
        auto& input = dynamic_cast<QInputDialog&>(dialog);
        preset = input.intValue();
        input.setIntValue(2001);  // the files of the two runs were last changed in 2001
        return 1;
    });
    choosers->files.push_back(QString::fromStdString(bag));
    bool abortVisible = false;
    log.onProcessMessages = [&] { abortVisible = abortVisible || window->spbArchivbestandAbbrechen->isVisible(); };
    window->spbArchivbestandExport->click();

    EXPECT_EQ(preset, QDate::currentDate().year() - 1);
    ASSERT_EQ(log.notices.size(), 1u);
    EXPECT_EQ(log.notices[0], "3 Dateien (38 Bytes) des Jahres 2001 aus 2 Archiven nach „" + bag +
                                  "“ exportiert (BagIt, SHA-256 und SHA-512).");
    EXPECT_TRUE(abortVisible);
    EXPECT_EQ(testsupport::ReadFile(fs::path(bag) / "data/stadata/m02/beleg0003.dat"), "dritter Beleg");
    const auto check =
        testsupport::RunProcess({"python3", testsupport::TestDataDir() + "/bagit/check_bag.py", bag});
    EXPECT_EQ(check.status, 0) << check.out << check.err;
    EXPECT_NE(testsupport::ReadFile(fs::path(bag) / "bag-info.txt").find("Source-Organization: Testmandant\n"),
              std::string::npos);
    const TArchiveJournal journal((fs::path(host.Root()) / "ARCHIV").string(), TArchiveJournal::TMode::Read);
    const auto record = journal.Last({journalkind::Exportiert});
    ASSERT_TRUE(record.has_value());
    EXPECT_EQ(record->Path, bag);
    ExpectIdle();

    // The same folder again is refused and left as it is; a cancelled year asks nothing more.
    choosers->modalAnswers.push_back([](QDialog&) { return 1; });
    choosers->files.push_back(QString::fromStdString(bag));
    window->spbArchivbestandExport->click();
    ASSERT_EQ(log.notices.size(), 2u);
    EXPECT_EQ(log.notices[1].rfind("Das Jahr " + std::to_string(preset) + " wurde nicht exportiert. Das Ziel „" + bag +
                                       "“ gibt es bereits.",
                                   0),
              0u)
        << log.notices[1];
    window->spbArchivbestandExport->click();  // no answer left: the year's dialog is cancelled
    EXPECT_EQ(log.notices.size(), 2u);
    EXPECT_TRUE(choosers->files.empty());
    EXPECT_EQ(testsupport::RunProcess({"python3", testsupport::TestDataDir() + "/bagit/check_bag.py", bag}).status, 0);
    ExpectIdle();
}

// The page's abort button stops the export; nothing of the bag is left.
TEST_F(ArchivbestandPage, AnAbortedExportLeavesNothing) {
    testsupport::TempDir target;
    const std::string bag = (target / "pruefung").string();
    Open();
    ShowPage();
    choosers->modalAnswers.push_back([](QDialog& dialog) {
        dynamic_cast<QInputDialog&>(dialog).setIntValue(2001);
        return 1;
    });
    choosers->files.push_back(QString::fromStdString(bag));
    log.onProcessMessages = [&] {
        if (window->spbArchivbestandAbbrechen->isVisible()) window->spbArchivbestandAbbrechen->click();
    };
    window->spbArchivbestandExport->click();
    ASSERT_EQ(log.notices.size(), 1u);
    EXPECT_EQ(log.notices[0], "Das Jahr 2001 wurde nicht exportiert. Der Export wurde abgebrochen; es wurde nichts "
                              "angelegt.");
    EXPECT_TRUE(fs::is_empty(target.path()));
    ExpectIdle();
}

TEST_F(ArchivbestandPage, WithoutArchivTheLabelSaysWhyAndNothingIsVerified) {
    Open();
    fs::remove_all(fs::path(host.Root()) / "ARCHIV");
    ShowPage();
    EXPECT_EQ(View().RootNodeCount(), 0);
    EXPECT_NE(Text("lblArchivbestandStatus").find("fehlt"), std::string::npos) << Text("lblArchivbestandStatus");
    window->spbArchivbestandPruefen->click();
    ASSERT_EQ(log.notices.size(), 1u);
    EXPECT_EQ(log.notices[0], Text("lblArchivbestandStatus"));
    EXPECT_FALSE(fs::exists(fs::path(host.Root()) / "ARCHIV"));
    ExpectIdle();
}

TEST_F(ArchivbestandPage, WithoutAnInstallationTheLabelSaysWhy) {
    Open();
    ShowPage();
    ASSERT_EQ(View().RootNodeCount(), 2);
    unsetenv("OLVEX_ROOT");
    window->pgcAnsicht->setCurrentWidget(window->tshSuche);
    ShowPage();
    EXPECT_EQ(View().RootNodeCount(), 0);
    EXPECT_NE(Text("lblArchivbestandStatus").find("OLVEX_ROOT ist nicht gesetzt"), std::string::npos)
        << Text("lblArchivbestandStatus");
    window->spbArchivbestandBericht->click();
    EXPECT_EQ(log.notices.size(), 1u);
    EXPECT_TRUE(choosers->fileTitles.empty());
    setenv("OLVEX_ROOT", host.Root().c_str(), 1);
}

}  // namespace
}  // namespace uitest
