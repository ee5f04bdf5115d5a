// The workbench page: verifying simply and completely, extracting the ticked and all entries.
#include <QFileInfo>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>

#include <filesystem>
#include <fstream>

#include "tests/support/run_process.h"
#include "tests/ui/support/workbench_fixture.h"

namespace uitest {
namespace {

namespace fs = std::filesystem;
using namespace tavik;

const char* const kSound = "Die Archivdatei wurde erfolgreich geprüft.";
const char* const kDamaged = "Die Archivdatei scheint defekt zu sein.";
const char* const kExtracted = "Daten wurden erfolgreich entpackt.";

class WorkbenchVerify : public WorkbenchTest {
protected:
    // Three stored entries; with damage, one byte of the second entry's data is changed, which
    // only a complete check notices.
    std::string ThreeEntries(const std::string& name, bool damaged = false) {
        const std::string archive =
            MakeZip(Scratch(name), {{"a.txt", "alpha alpha"}, {"b.txt", "bravo bravo"}, {"c.txt", "charlie"}}, true);
        if (damaged) Patch(archive, "bravo", "brXvo");
        return archive;
    }
    static void Patch(const std::string& file, const std::string& from, const std::string& to) {
        std::string bytes = testsupport::ReadFile(file);
        const auto at = bytes.find(from);
        ASSERT_NE(at, std::string::npos);
        bytes.replace(at, to.size(), to);
        std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
    }
    void ExpectIdle() {
        EXPECT_FALSE(window->spbAbortOperation->isVisible());
        EXPECT_FALSE(window->CommandRunning());
        ASSERT_NE(module->Archiv(), nullptr);
        EXPECT_FALSE(module->Archiv()->OnCommandEnd);
        EXPECT_FALSE(module->Archiv()->OnCommandProgress);
        EXPECT_FALSE(module->Archiv()->OnCommandItemProgress);
        EXPECT_FALSE(module->Archiv()->OnCommandItemStart);
    }
    static std::vector<std::string> FilesBelow(const std::string& directory) {
        std::vector<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(directory))
            if (entry.is_regular_file()) names.push_back(fs::relative(entry.path(), directory).string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(WorkbenchVerify, ASoundArchivePassesBothChecks) {
    const std::string archive = ThreeEntries("gut.zip");
    Open();
    ChooseArchive(archive);
    bool abortVisible = false;
    log.onProcessMessages = [&] { abortVisible = abortVisible || window->spbAbortOperation->isVisible(); };
    window->spbVerifySimple->click();
    window->spbVerifyComplete->click();
    // The complete check says how the content was confirmed: this archive carries no fingerprints.
    EXPECT_EQ(log.notices,
              (std::vector<std::string>{kSound, std::string(kSound) +
                                                    " 0 Einträge durch SHA-256 bestätigt, 3 Einträge nur durch CRC-32."}));
    EXPECT_TRUE(abortVisible);
    EXPECT_EQ(window->pgbProgressTotal->value(), 1000);
    EXPECT_EQ(Text("lblProgressItem"), "");
    ExpectIdle();
}

TEST_F(WorkbenchVerify, DamagedDataIsFoundByTheCompleteCheckOnly) {
    const std::string archive = ThreeEntries("daten.zip", true);
    Open();
    ChooseArchive(archive);
    window->spbVerifySimple->click();
    window->spbVerifyComplete->click();
    EXPECT_EQ(log.notices, (std::vector<std::string>{kSound, kDamaged}));
    ExpectIdle();
}

TEST_F(WorkbenchVerify, ADamagedStructureFailsBothChecks) {
    const std::string archive = ThreeEntries("struktur.zip");
    // The local header of the first entry loses its signature; the directory still lists it.
    Patch(archive, std::string("PK\x03\x04", 4), "XX\x03\x04");
    Open();
    ChooseArchive(archive);
    window->spbVerifySimple->click();
    window->spbVerifyComplete->click();
    EXPECT_EQ(log.notices, (std::vector<std::string>{kDamaged, kDamaged}));
    ExpectIdle();
}

TEST_F(WorkbenchVerify, TickedEntriesAreExtractedInDisplayOrderAndHighlightedOnesAreNot) {
    const std::string archive = ThreeEntries("auswahl.zip");
    Open();
    ChooseArchive(archive);
    tavik::TVTVRList& view = *window->vrtArchivInhalt;
    view.SortByColumn(0, Qt::DescendingOrder);
    ASSERT_EQ(Rows(), (std::vector<std::string>{"c.txt", "b.txt", "a.txt"}));
    view.SetCheckState(view.NodeAtPosition(0), csCheckedNormal);
    view.SetCheckState(view.NodeAtPosition(2), csCheckedNormal);
    view.setCurrentIndex(view.IndexOfNode(view.NodeAtPosition(1)));
    ASSERT_TRUE(view.selectionModel()->isSelected(view.IndexOfNode(view.NodeAtPosition(1))));

    const std::string target = Scratch("ziel/neu");
    choosers->directories.push_back(QString::fromStdString(target));
    std::vector<std::string> order;
    log.onProcessMessages = [&] {
        const std::string item = Text("lblProgressItem");
        if (!item.empty() && (order.empty() || order.back() != item)) order.push_back(item);
    };
    window->spbDecompressSel->click();

    ASSERT_EQ(choosers->directoryRequests.size(), 1u);
    EXPECT_TRUE(choosers->directoryRequests[0].StartDir.isEmpty());
    EXPECT_EQ(log.notices, (std::vector<std::string>{kExtracted}));
    EXPECT_EQ(FilesBelow(target), (std::vector<std::string>{"a.txt", "c.txt"}));
    EXPECT_EQ(order, (std::vector<std::string>{"c.txt", "a.txt"}));
    EXPECT_EQ(module->Archiv()->ExtractDir, target);
    // The list and its ticks stay as they were.
    EXPECT_EQ(view.CheckState(view.NodeAtPosition(0)), csCheckedNormal);
    EXPECT_EQ(view.CheckState(view.NodeAtPosition(1)), csUncheckedNormal);
    ExpectIdle();
}

TEST_F(WorkbenchVerify, AllTickedByTheToolbarAreExtracted) {
    const std::string archive = ThreeEntries("alle-ein.zip");
    Open();
    ChooseArchive(archive);
    window->spbAlleEin->click();
    choosers->directories.push_back(QString::fromStdString(Scratch("ziel")));
    window->spbDecompressSel->click();
    EXPECT_EQ(FilesBelow(Scratch("ziel")), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
    EXPECT_EQ(log.notices, (std::vector<std::string>{kExtracted}));
}

TEST_F(WorkbenchVerify, WithNothingTickedNoDialogAndNoMessage) {
    Open();
    ChooseArchive(ThreeEntries("nichts.zip"));
    window->spbDecompressSel->click();
    EXPECT_TRUE(choosers->directoryRequests.empty());
    EXPECT_TRUE(log.notices.empty());
}

TEST_F(WorkbenchVerify, AllEntriesGoIntoTheChosenDirectory) {
    Open();
    ChooseArchive(ThreeEntries("voll.zip"));
    fs::create_directories(Scratch("voll"));
    choosers->directories.push_back(QString::fromStdString(Scratch("voll")));
    window->spbDecompressAll->click();
    ASSERT_EQ(choosers->directoryRequests.size(), 1u);
    EXPECT_EQ(choosers->directoryRequests[0].Caption.toStdString(), "Zielverzeichnis zum entpacken ...");
    EXPECT_TRUE(choosers->directoryRequests[0].StartDir.isEmpty());
    EXPECT_EQ(log.notices, (std::vector<std::string>{kExtracted}));
    EXPECT_EQ(FilesBelow(Scratch("voll")), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
    EXPECT_EQ(testsupport::ReadFile(Scratch("voll/b.txt")), "bravo bravo");
    ExpectIdle();
}

TEST_F(WorkbenchVerify, CancellingEitherDirectoryDialogEndsWithoutACommand) {
    Open();
    ChooseArchive(ThreeEntries("abbruch.zip"));
    window->spbAlleEin->click();
    const int pumped = log.processMessagesCalls;
    window->spbDecompressSel->click();
    window->spbDecompressAll->click();
    EXPECT_EQ(choosers->directoryRequests.size(), 2u);
    EXPECT_TRUE(log.notices.empty());
    EXPECT_EQ(log.processMessagesCalls, pumped);
    EXPECT_TRUE(module->Archiv()->ExtractDir.empty());
}

TEST_F(WorkbenchVerify, AFailedExtractionShowsNoNoticeButItsReasonReachesTheFailureList) {
    Open();
    ChooseArchive(ThreeEntries("crc.zip", true));
    choosers->directories.push_back(QString::fromStdString(Scratch("crc")));
    window->spbDecompressAll->click();
    EXPECT_TRUE(log.notices.empty());
    // What was not done, then the entry that failed.
    ASSERT_EQ(log.failures.size(), 2u);
    EXPECT_EQ(log.failures[0].rfind("TfrmVendrask.spbDecompressAllClick: ", 0), 0u) << log.failures[0];
    EXPECT_EQ(log.failures[1].rfind("TfrmVendrask.spbDecompressAllClick: „b.txt“: ", 0), 0u) << log.failures[1];
    ExpectIdle();
}

TEST_F(WorkbenchVerify, AnExtractionWithADamagedEntryWritesTheSoundOnesAndNamesIt) {
    // The second and third entry are damaged, each alone in its folder.
    const std::string archive = MakeZip(Scratch("rettung.zip"), {{"a.txt", "alpha alpha"}, {"nur/hier/b.txt", "bravo bravo"},
                                                                 {"auch/c.txt", "charlie charlie"}, {"d.txt", "delta"}},
                                        true);
    Patch(archive, "bravo", "brXvo");
    Patch(archive, "charlie", "chXrlie");
    Open();
    ChooseArchive(archive);
    fs::create_directories(Scratch("ziel"));
    choosers->directories.push_back(QString::fromStdString(Scratch("ziel")));
    window->spbDecompressAll->click();
    EXPECT_EQ(FilesBelow(Scratch("ziel")), (std::vector<std::string>{"a.txt", "d.txt"}));
    EXPECT_FALSE(fs::exists(Scratch("ziel/nur")));
    EXPECT_FALSE(fs::exists(Scratch("ziel/auch")));
    EXPECT_TRUE(log.notices.empty());
    // What was written, then each entry that failed, by name.
    ASSERT_EQ(log.failures.size(), 3u);
    EXPECT_NE(log.failures[0].find("entpackt. 2 von 4 Dateien entpackt; 2 konnten nicht entpackt werden."),
              std::string::npos)
        << log.failures[0];
    EXPECT_NE(log.failures[1].find("„auch/c.txt“: Prüfsummenfehler"), std::string::npos) << log.failures[1];
    EXPECT_NE(log.failures[2].find("„nur/hier/b.txt“: Prüfsummenfehler"), std::string::npos) << log.failures[2];
    ExpectIdle();
}

TEST_F(WorkbenchVerify, FilesKeptAsTheUserChoseAreCountedNotCalledExtracted) {
    Open();
    ChooseArchive(ThreeEntries("nein.zip"));
    Write("nein/b.txt", "anders");
    Write("nein/c.txt", "bravo bravo");  // differs too
    choosers->directories.push_back(QString::fromStdString(Scratch("nein")));
    log.answers = {idNo, idNo};
    window->spbDecompressAll->click();
    EXPECT_EQ(log.questions.size(), 2u);
    EXPECT_EQ(log.notices,
              (std::vector<std::string>{"1 von 3 Dateien entpackt; 2 vorhandene Dateien wurden wie gewünscht behalten."}));
    EXPECT_TRUE(log.failures.empty());
    EXPECT_EQ(testsupport::ReadFile(Scratch("nein/b.txt")), "anders");
}

TEST_F(WorkbenchVerify, AnAbortedCheckSaysSoAndNotThatTheArchiveIsDamaged) {
    const std::string archive = MakeZip(Scratch("gross.zip"), {{"a.bin", std::string(8 << 20, 'a')},
                                                              {"b.bin", std::string(8 << 20, 'b')}},
                                        true);
    Open();
    ChooseArchive(archive);
    log.onProcessMessages = [&] {
        if (window->spbAbortOperation->isVisible()) window->spbAbortOperation->click();
    };
    window->spbVerifyComplete->click();
    log.onProcessMessages = nullptr;
    EXPECT_EQ(log.notices,
              (std::vector<std::string>{
                  "Die Prüfung wurde abgebrochen; über den Zustand der Archivdatei ist nichts bekannt."}));
    ExpectIdle();
}

// An archive of a.txt, b.txt, c.txt, and a directory holding a b.txt and c.txt of other content
// and an a.txt of the same.
class WorkbenchConflict : public WorkbenchVerify {
protected:
    void SetUp() override {
        archive = ThreeEntries("konflikt.zip");
        fs::create_directories(Scratch("ziel"));
        testsupport::WriteFile(Scratch("ziel/a.txt"), "alpha alpha");
        testsupport::WriteFile(Scratch("ziel/b.txt"), "lebendig b");
        testsupport::WriteFile(Scratch("ziel/c.txt"), "lebendig c");
        Open();
        ChooseArchive(archive);
        choosers->directories.push_back(QString::fromStdString(Scratch("ziel")));
    }
    std::string Question(const std::string& name) const {
        return "Die Datei „" + Scratch("ziel") + "/" + name + "“ ist bereits vorhanden. Soll sie überschrieben werden?";
    }
    std::string archive;
};

TEST_F(WorkbenchConflict, EachDifferentFileIsAskedForOnceWithFourAnswers) {
    log.answers = {idNo, idYes};
    window->spbDecompressAll->click();
    // a.txt is the same: no question.
    EXPECT_EQ(log.questions, (std::vector<std::string>{Question("b.txt"), Question("c.txt")}));
    EXPECT_EQ(log.questionButtons, (std::vector<int>{mbYesNoAll, mbYesNoAll}));
    EXPECT_EQ(testsupport::ReadFile(Scratch("ziel/b.txt")), "lebendig b");
    EXPECT_EQ(testsupport::ReadFile(Scratch("ziel/c.txt")), "charlie");
    EXPECT_EQ(FilesBelow(Scratch("ziel")), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
    EXPECT_TRUE(log.failures.empty());
    EXPECT_FALSE(module->Archiv()->OnConflict);
    ExpectIdle();
}

TEST_F(WorkbenchConflict, NoneKeepsEveryFileAfterAskingOnce) {
    log.answers = {idNoAll};
    window->spbDecompressAll->click();
    EXPECT_EQ(log.questions.size(), 1u);
    EXPECT_EQ(testsupport::ReadFile(Scratch("ziel/b.txt")), "lebendig b");
    EXPECT_EQ(testsupport::ReadFile(Scratch("ziel/c.txt")), "lebendig c");
}

TEST_F(WorkbenchConflict, AllReplacesEveryFileAfterAskingOnce) {
    log.answers = {idYesAll};
    window->spbDecompressAll->click();
    EXPECT_EQ(log.questions.size(), 1u);
    EXPECT_EQ(testsupport::ReadFile(Scratch("ziel/b.txt")), "bravo bravo");
    EXPECT_EQ(testsupport::ReadFile(Scratch("ziel/c.txt")), "charlie");
    EXPECT_EQ(log.notices, (std::vector<std::string>{kExtracted}));
}

// Two entries of one name: the second meets the first on disk and is asked about like any file there.
TEST_F(WorkbenchVerify, ASecondEntryOfTheSameNameIsAskedAbout) {
    const std::string archive = Scratch("doppelt.zip");
    const auto made = testsupport::RunProcess(
        {"python3", "-c",
         "import sys, zipfile, warnings\nwarnings.simplefilter('ignore')\n"
         "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n    z.writestr('a.txt', 'erste')\n    z.writestr('a.txt', 'zweite')\n",
         archive});
    ASSERT_EQ(made.status, 0) << made.err;
    Open();
    ChooseArchive(archive);
    choosers->directories.push_back(QString::fromStdString(Scratch("ziel")));
    log.answers = {idYes};
    window->spbDecompressAll->click();
    EXPECT_EQ(log.questions, (std::vector<std::string>{"Die Datei „" + Scratch("ziel") +
                                                       "/a.txt“ ist bereits vorhanden. Soll sie überschrieben werden?"}));
    EXPECT_EQ(testsupport::ReadFile(Scratch("ziel/a.txt")), "zweite");
    EXPECT_TRUE(log.failures.empty());
    EXPECT_EQ(log.notices, (std::vector<std::string>{kExtracted}));
    ExpectIdle();
}

TEST_F(WorkbenchVerify, WithoutAnEngineObjectTheSixCommandsDoNothing) {
    Open();
    ASSERT_EQ(module->Archiv(), nullptr);
    for (QPushButton* button : {window->spbVerifySimple, window->spbVerifyComplete, window->spbDecompressSel,
                                window->spbDecompressAll, window->spbSpan, window->spbMerge})
        button->click();
    EXPECT_TRUE(choosers->directoryRequests.empty());
    EXPECT_TRUE(choosers->fileRequests.empty());
    EXPECT_TRUE(choosers->modalShown.empty());
    EXPECT_TRUE(log.notices.empty());
    EXPECT_TRUE(log.questions.empty());
    EXPECT_TRUE(log.failures.empty());
}

}  // namespace
}  // namespace uitest
