// The workbench with archives on which libarchive loops: opening and checking end with a
// message after the reading helper's limits, and the window's event loop goes on meanwhile.
#include <QCoreApplication>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include <filesystem>

#include "tests/support/run_process.h"
#include "tests/ui/support/workbench_fixture.h"

namespace uitest {
namespace {

namespace fs = std::filesystem;

const char* const kLimit = "Die Prüfung wurde an einer Schutzgrenze des Lesens angehalten; ein Schaden ist damit nicht "
                           "festgestellt. Die Einzelheiten stehen in der Fehlerliste.";
const char* const kCpuLimit = "hat eine Schutzgrenze erreicht: Es wurde angehalten, weil libarchive";

class WorkbenchHostile : public WorkbenchTest {
protected:
    // Counts the ticks of a timer of the window's event loop while commands run.
    void CountTicks() {
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, [this] { ++ticks; });
        timer.start();
        log.onProcessMessages = [] { QCoreApplication::processEvents(); };
    }
    std::string CyclicIso(const std::string& name) {
        const std::string path = Scratch(name);
        fs::copy_file(testsupport::TestDataDir() + "/rockridge-ce-cycle.iso", path);
        return path;
    }
    QTimer timer;
    int ticks = 0;
};

TEST_F(WorkbenchHostile, OpeningAnIsoOnWhichLibarchiveLoopsEndsAndTheWindowGoesOn) {
    const std::string iso = CyclicIso("kreis.iso");
    Open();
    CountTicks();
    ChooseArchive(iso);
    EXPECT_GT(ticks, 0);
    // A limit stopped the list, not damage; the archive stays chosen, so that its limits can be
    // lifted, and the reason goes to the failure list as for every list that fails.
    EXPECT_TRUE(log.notices.empty());
    ASSERT_EQ(log.failures.size(), 1u);
    EXPECT_EQ(log.failures[0].rfind("TfrmVendrask.ArchivAnzeigen: ", 0), 0u) << log.failures[0];
    EXPECT_NE(log.failures[0].find("Das Lesen der Archivdatei „" + iso + "“ " + kCpuLimit), std::string::npos)
        << log.failures[0];
    EXPECT_EQ(module->ArchivFileName(), iso);
    EXPECT_EQ(Rows(), std::vector<std::string>{});
    EXPECT_FALSE(window->CommandRunning());

    // The next archive opens as usual.
    ChooseArchive(MakeZip(Scratch("gut.zip"), {{"a.txt", "alpha"}}));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"a.txt"}));
}

TEST_F(WorkbenchHostile, OpeningAXarWithDoubledLinksNamesTheReason) {
    const std::string xar = Scratch("doppelt.xar");
    fs::copy_file(testsupport::TestDataDir() + "/xar-doublelink.xar", xar);
    Open();
    ChooseArchive(xar);
    EXPECT_TRUE(log.notices.empty());
    ASSERT_EQ(log.failures.size(), 1u);
    EXPECT_NE(log.failures[0].find(kCpuLimit), std::string::npos) << log.failures[0];
    ASSERT_NE(module->Archiv(), nullptr);
    EXPECT_EQ(module->Archiv()->LastErrorKind(), tavik::TErrorKind::LimitReached);
}

TEST_F(WorkbenchHostile, CheckingAnArchiveThatBecameALoopEndsWithItsReason) {
    testsupport::WriteFile(scratch / "a.txt", "alpha");
    const std::string tar = Scratch("inhalt.tar");
    ASSERT_EQ(testsupport::RunProcess({"bsdtar", "-cf", tar, "-C", scratch.str(), "a.txt"}).status, 0);
    Open();
    ChooseArchive(tar);
    ASSERT_EQ(Rows(), (std::vector<std::string>{"a.txt"}));
    // Replaced on disk after it was opened.
    fs::copy_file(testsupport::TestDataDir() + "/rockridge-ce-cycle.iso", tar, fs::copy_options::overwrite_existing);
    CountTicks();
    bool abortVisible = false;
    log.onProcessMessages = [&] {
        abortVisible = abortVisible || window->spbAbortOperation->isVisible();
        QCoreApplication::processEvents();
    };
    window->spbVerifyComplete->click();
    EXPECT_GT(ticks, 0);
    EXPECT_TRUE(abortVisible);
    EXPECT_EQ(log.notices, (std::vector<std::string>{kLimit}));
    ASSERT_NE(module->Archiv(), nullptr);
    EXPECT_NE(module->Archiv()->LastError().find(kCpuLimit), std::string::npos) << module->Archiv()->LastError();
    EXPECT_FALSE(window->CommandRunning());
}

TEST_F(WorkbenchHostile, TheAbortButtonStopsTheHelperWhileLibarchiveLoops) {
    testsupport::WriteFile(scratch / "a.txt", "alpha");
    const std::string tar = Scratch("inhalt.tar");
    ASSERT_EQ(testsupport::RunProcess({"bsdtar", "-cf", tar, "-C", scratch.str(), "a.txt"}).status, 0);
    Open();
    ChooseArchive(tar);
    fs::copy_file(testsupport::TestDataDir() + "/rockridge-ce-cycle.iso", tar, fs::copy_options::overwrite_existing);
    int calls = 0;
    log.onProcessMessages = [&] {
        if (++calls == 3 && window->spbAbortOperation->isVisible()) window->spbAbortOperation->click();
    };
    window->spbVerifyComplete->click();
    EXPECT_GE(calls, 3);
    EXPECT_FALSE(window->CommandRunning());
    EXPECT_EQ(log.notices, (std::vector<std::string>{
                               "Die Prüfung wurde abgebrochen; über den Zustand der Archivdatei ist nichts bekannt."}));
    ASSERT_NE(module->Archiv(), nullptr);
    EXPECT_EQ(module->Archiv()->LastError(), "Der Vorgang wurde abgebrochen.");
}

}  // namespace
}  // namespace uitest
