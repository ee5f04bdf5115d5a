// The workbench page: packing into a new or an existing archive, the create-anew path, splitting
// and joining, abort, one command at a time, and packing after an archive run of the cleanup pages.
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

#include <filesystem>

#include "host/services/fs_names.h"
#include "tests/support/run_process.h"
#include "tests/ui/support/workbench_fixture.h"

namespace uitest {
namespace {

namespace fs = std::filesystem;
using namespace tavik;

const char* const kPacked = "Daten wurden erfolgreich gepackt.";
const char* const kOverwrite =
    "Die angegebene Datei existiert bereits;\nwenn Sie fortfahren, wird diese überschrieben.\n"
    "Soll die vorhandene Datei überschrieben werden?";
const char* const kCreate =
    "Die angegebene Datei existiert noch nicht;\nwenn Sie fortfahren, wird diese neu angelegt.\n"
    "Soll die angegebene Datei neu angelegt werden?";

class WorkbenchPack : public WorkbenchTest {
protected:
    QString Q(const std::string& name) const { return QString::fromStdString(Scratch(name)); }
    // Bytes that do not compress, so that packing takes a while and volumes fill up.
    void Incompressible(const std::string& name, std::size_t size) const {
        std::string bytes(size, '\0');
        std::uint32_t state = 2463534242u;
        for (char& byte : bytes) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            byte = static_cast<char>(state);
        }
        Write(name, bytes);
    }
    std::vector<std::string> Entries(const std::string& directory) const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(directory)) names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

TEST_F(WorkbenchPack, ANewArchiveUnderANewNameFromTheFileDialog) {
    Write("daten/eins.txt", "eins");
    Write("daten/unter/zwei.txt", "zwei zwei");
    Write("drei.txt", "drei");
    Open();
    choosers->files.push_back(Q("neu.zip"));
    choosers->modalAnswers.push_back(AddFiles({Q("drei.txt"), Q("daten")}));
    window->spbCompressNew->click();

    EXPECT_EQ(choosers->fileRequests.size(), 1u);
    EXPECT_TRUE(log.questions.empty());
    EXPECT_EQ(log.notices, (std::vector<std::string>{kPacked}));
    EXPECT_TRUE(UnzipTest(Scratch("neu.zip")));
    const auto names = UnzipNames(Scratch("neu.zip"));
    EXPECT_NE(std::find(names.begin(), names.end(), "drei.txt"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "daten/unter/zwei.txt"), names.end());
    // The list shows the archive as it now is.
    EXPECT_EQ(Text("lblArchDateiName"), Scratch("neu.zip"));
    EXPECT_FALSE(Text("lblArchDateiBytes").empty());
    EXPECT_FALSE(Text("lblArchDateiTime").empty());
    const auto rows = Rows();
    EXPECT_NE(std::find(rows.begin(), rows.end(), "daten/eins.txt"), rows.end());
    EXPECT_FALSE(window->spbAbortOperation->isVisible());
    EXPECT_FALSE(module->Archiv()->OnCommandItemStart);
}

TEST_F(WorkbenchPack, CancellingTheFileDialogOfANewArchiveEndsEverything) {
    Open();
    window->spbCompressNew->click();
    EXPECT_EQ(choosers->fileRequests.size(), 1u);
    EXPECT_TRUE(log.questions.empty());
    EXPECT_TRUE(choosers->modalShown.empty());
    EXPECT_TRUE(log.notices.empty());
}

TEST_F(WorkbenchPack, AnswerNoToOverwritingLeavesTheFileUntouched) {
    const std::string archive = MakeZip(Scratch("alt.zip"), {{"alt.txt", "alt"}});
    const std::string before = testsupport::ReadFile(archive);
    Write("neu.txt", "neu");
    Open();
    ChooseArchive(archive);
    choosers->modalAnswers.push_back(AddFiles({Q("neu.txt")}));
    log.answers.push_back(idNo);
    window->spbCompressNew->click();
    EXPECT_EQ(log.questions, (std::vector<std::string>{kOverwrite}));
    EXPECT_TRUE(choosers->modalShown.empty());
    EXPECT_EQ(testsupport::ReadFile(archive), before);
    EXPECT_TRUE(log.notices.empty());
}

TEST_F(WorkbenchPack, AnswerYesToOverwritingWritesTheArchiveAnew) {
    const std::string archive = MakeZip(Scratch("alt.zip"), {{"alt.txt", "alt"}});
    Write("neu.txt", "neu");
    Open();
    ChooseArchive(archive);
    choosers->modalAnswers.push_back(AddFiles({Q("neu.txt")}));
    log.answers.push_back(idYes);
    window->spbCompressNew->click();
    EXPECT_EQ(log.questions, (std::vector<std::string>{kOverwrite}));
    EXPECT_EQ(choosers->modalShown, (std::vector<QString>{QStringLiteral("frmArchivAdd")}));
    EXPECT_EQ(log.notices, (std::vector<std::string>{kPacked}));
    EXPECT_TRUE(UnzipTest(archive));
    EXPECT_EQ(UnzipNames(archive), (std::vector<std::string>{"neu.txt"}));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"neu.txt"}));
}

TEST_F(WorkbenchPack, AddingToAnExistingArchiveAsksNothing) {
    const std::string archive = MakeZip(Scratch("bestand.zip"), {{"alt.txt", "alt"}});
    Write("dazu.txt", "dazu");
    Open();
    ChooseArchive(archive);
    window->vrtArchivInhalt->SetCheckState(window->vrtArchivInhalt->GetFirst(), csCheckedNormal);
    choosers->modalAnswers.push_back(AddFiles({Q("dazu.txt")}));
    window->spbCompressAdd->click();
    EXPECT_TRUE(log.questions.empty());
    EXPECT_EQ(log.notices, (std::vector<std::string>{kPacked}));
    EXPECT_TRUE(UnzipTest(archive));
    EXPECT_EQ(UnzipNames(archive), (std::vector<std::string>{"alt.txt", "dazu.txt"}));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"alt.txt", "dazu.txt"}));
    // The list is rebuilt, its ticks cleared.
    EXPECT_EQ(window->vrtArchivInhalt->CheckState(window->vrtArchivInhalt->GetFirst()), csUncheckedNormal);
}

TEST_F(WorkbenchPack, AddingToANameThatDoesNotExistCreatesItThroughTwoDialogs) {
    Write("erst.txt", "erst");
    Write("dann.txt", "dann");
    Open();
    ChooseArchive(Scratch("frisch.zip"));
    log.answers.push_back(idYes);
    choosers->modalAnswers.push_back(AddFiles({Q("erst.txt")}));
    choosers->modalAnswers.push_back(AddFiles({Q("dann.txt")}));
    window->spbCompressAdd->click();
    EXPECT_EQ(log.questions, (std::vector<std::string>{kCreate}));
    EXPECT_EQ(choosers->modalShown.size(), 2u);
    EXPECT_EQ(log.notices, (std::vector<std::string>{kPacked, kPacked}));
    EXPECT_TRUE(UnzipTest(Scratch("frisch.zip")));
    EXPECT_EQ(UnzipNames(Scratch("frisch.zip")), (std::vector<std::string>{"dann.txt", "erst.txt"}));
}

TEST_F(WorkbenchPack, CancellingTheSecondDialogKeepsWhatTheFirstWrote) {
    Write("erst.txt", "erst");
    Open();
    ChooseArchive(Scratch("frisch.zip"));
    log.answers.push_back(idYes);
    choosers->modalAnswers.push_back(AddFiles({Q("erst.txt")}));
    window->spbCompressAdd->click();
    EXPECT_EQ(choosers->modalShown.size(), 2u);
    EXPECT_EQ(log.notices, (std::vector<std::string>{kPacked}));
    EXPECT_EQ(UnzipNames(Scratch("frisch.zip")), (std::vector<std::string>{"erst.txt"}));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"erst.txt"}));
}

TEST_F(WorkbenchPack, AnswerNoToCreatingEndsTheAddition) {
    Open();
    ChooseArchive(Scratch("frisch.zip"));
    window->spbCompressAdd->click();
    EXPECT_EQ(log.questions, (std::vector<std::string>{kCreate}));
    EXPECT_TRUE(choosers->modalShown.empty());
    EXPECT_FALSE(fs::exists(Scratch("frisch.zip")));
}

TEST_F(WorkbenchPack, AddingWithTheFileDialogCancelledAsksAndOpensTheDialogAgain) {
    Open();
    log.answers.push_back(idYes);
    window->spbCompressAdd->click();
    EXPECT_EQ(choosers->fileRequests.size(), 2u);
    EXPECT_EQ(log.questions, (std::vector<std::string>{kCreate}));
    EXPECT_TRUE(choosers->modalShown.empty());
}

TEST_F(WorkbenchPack, AddingToALargeArchiveHandlesInputWhileTheEntriesThereAreCopied) {
    for (int part = 0; part < 4; ++part) Incompressible("teil" + std::to_string(part) + ".bin", 2'000'000);
    Write("klein.txt", "klein");
    const std::string archive = Scratch("gross.zip");
    {
        testsupport::ProcessOptions options;
        options.workDir = scratch.str();
        ASSERT_EQ(testsupport::RunProcess({"zip", "-q", "-0", archive, "teil0.bin", "teil1.bin", "teil2.bin", "teil3.bin"}, options)
                      .status,
                  0);
    }
    const std::string before = testsupport::ReadFile(archive);
    Open();
    ChooseArchive(archive);
    ASSERT_EQ(Rows().size(), 4u);

    // Input is handled again and again while the eight million stored bytes are copied, the
    // kept entries are named, and the abort button stops the copy.
    int handled = 0;
    std::vector<std::string> named;
    log.onProcessMessages = [&] {
        if (!window->CommandRunning()) return;
        ++handled;
        const std::string item = Text("lblProgressItem");
        if (!item.empty() && (named.empty() || named.back() != item)) named.push_back(item);
        if (named.size() == 3 && window->spbAbortOperation->isVisible()) window->spbAbortOperation->click();
    };
    choosers->modalAnswers.push_back(AddFiles({Q("klein.txt")}));
    window->spbCompressAdd->click();
    log.onProcessMessages = nullptr;
    EXPECT_GE(handled, 10);
    ASSERT_GE(named.size(), 3u);
    EXPECT_EQ(named[0].rfind("teil", 0), 0u) << named[0];
    EXPECT_EQ(testsupport::ReadFile(archive), before);
    EXPECT_TRUE(log.notices.empty());
    EXPECT_TRUE(log.failures.empty()) << log.failures.front();

    // Without the abort the same addition completes.
    choosers->modalAnswers.push_back(AddFiles({Q("klein.txt")}));
    window->spbCompressAdd->click();
    EXPECT_EQ(log.notices, (std::vector<std::string>{kPacked}));
    EXPECT_TRUE(UnzipTest(archive));
    EXPECT_EQ(Rows().size(), 5u);
}

TEST_F(WorkbenchPack, CancellingTheAddDialogPacksNothingAndKeepsTheList) {
    const std::string archive = MakeZip(Scratch("bestand.zip"), {{"alt.txt", "alt"}});
    const std::string before = testsupport::ReadFile(archive);
    Open();
    ChooseArchive(archive);
    window->vrtArchivInhalt->SetCheckState(window->vrtArchivInhalt->GetFirst(), csCheckedNormal);
    window->spbCompressAdd->click();
    EXPECT_EQ(choosers->modalShown.size(), 1u);
    EXPECT_EQ(testsupport::ReadFile(archive), before);
    EXPECT_EQ(window->vrtArchivInhalt->CheckState(window->vrtArchivInhalt->GetFirst()), csCheckedNormal);
    EXPECT_TRUE(log.notices.empty());
}

TEST_F(WorkbenchPack, SplittingWritesVolumesThat7ZipAcceptsAndJoiningGivesWhatUnzipAccepts) {
    Incompressible("gross.bin", 2'500'000);
    Write("klein.txt", "klein");
    Open();
    choosers->files.push_back(Q("ganz.zip"));
    choosers->modalAnswers.push_back(AddFiles({Q("gross.bin"), Q("klein.txt")}));
    window->spbCompressNew->click();
    ASSERT_EQ(log.notices, (std::vector<std::string>{kPacked}));

    const std::string statemp = GetDirOlvexByName("STATEMP", "", true);
    choosers->modalAnswers.push_back(SpanWith(1));
    window->spbSpan->click();
    ASSERT_EQ(spanPresets.size(), 1u);
    EXPECT_EQ(spanPresets[0].TargetDir.toStdString(), statemp);
    EXPECT_TRUE(spanPresets[0].Automatic);
    EXPECT_EQ(log.notices.back(), "Die Archivdatei wurde aufgeteilt.");
    const std::string volumes = (fs::path(statemp) / "ganz.zip").string();
    EXPECT_TRUE(fs::exists(fs::path(statemp) / "ganz.z01"));
    EXPECT_TRUE(fs::exists(fs::path(statemp) / "ganz.z02"));
    EXPECT_LE(fs::file_size(fs::path(statemp) / "ganz.z01"), 1'000'000u);
    EXPECT_TRUE(SevenZipTest(volumes));
    // The open archive and its list stay as they were.
    EXPECT_EQ(Text("lblArchDateiName"), Scratch("ganz.zip"));
    EXPECT_EQ(Rows().size(), 2u);

    // The preset is the automatic size again, whatever was chosen before.
    choosers->modalAnswers.push_back([](QDialog&) { return 2; });
    window->spbSpan->click();
    EXPECT_EQ(log.notices.size(), 2u);

    ChooseArchive(volumes);
    EXPECT_EQ(Rows().size(), 2u);
    fs::create_directories(Scratch("vereint"));
    choosers->directories.push_back(Q("vereint"));
    window->spbMerge->click();
    ASSERT_EQ(choosers->directoryRequests.size(), 1u);
    EXPECT_EQ(choosers->directoryRequests[0].Caption.toStdString(), "Auswahl Verzeichnis ...");
    EXPECT_EQ(choosers->directoryRequests[0].StartDir.toStdString(), "/");
    EXPECT_EQ(log.notices.back(), "Die Archivdatei wurde zusammengefügt.");
    EXPECT_TRUE(UnzipTest(Scratch("vereint/ganz.zip")));
    EXPECT_EQ(testsupport::RunProcess({"unzip", "-p", Scratch("vereint/ganz.zip"), "gross.bin"}).out,
              testsupport::ReadFile(Scratch("gross.bin")));
}

TEST_F(WorkbenchPack, FailuresOfSplittingAndJoiningAreReportedWithTheirReason) {
    const std::string archive = MakeZip(Scratch("a.zip"), {{"a.txt", "alpha"}});
    Open();
    ChooseArchive(archive);
    // The archive's own directory: joining would overwrite its input.
    choosers->directories.push_back(QString::fromStdString(scratch.str()));
    window->spbMerge->click();
    EXPECT_EQ(log.notices, (std::vector<std::string>{"Beim Zusammenfügen trat ein Fehler auf.."}));
    choosers->modalAnswers.push_back(SpanWith(0, Q("gibt/es/nicht")));
    Write("gibt", "eine Datei, kein Verzeichnis");
    window->spbSpan->click();
    EXPECT_EQ(log.notices.back(), "Beim Aufteilen trat ein Fehler auf..");
    ASSERT_EQ(log.failures.size(), 2u);
    EXPECT_EQ(log.failures[0].rfind("TfrmVendrask.spbMergeClick: ", 0), 0u);
    EXPECT_EQ(log.failures[1].rfind("TfrmVendrask.spbSpanClick: ", 0), 0u);
    EXPECT_EQ(testsupport::ReadFile(archive).size(), fs::file_size(archive));
    EXPECT_FALSE(window->spbAbortOperation->isVisible());
}

TEST_F(WorkbenchPack, AbortingALongPackingLeavesNoPartialArchiveAndTheOldOneUnchanged) {
    Incompressible("gross.bin", 20'000'000);
    const std::string archive = MakeZip(Scratch("bestand.zip"), {{"alt.txt", "alt"}});
    const std::string before = testsupport::ReadFile(archive);
    Open();
    log.onProcessMessages = [&] {
        if (window->spbAbortOperation->isVisible()) window->spbAbortOperation->click();
    };
    ChooseArchive(archive);
    choosers->modalAnswers.push_back(AddFiles({Q("gross.bin")}));
    window->spbCompressAdd->click();
    EXPECT_EQ(testsupport::ReadFile(archive), before);

    ChooseArchive(Scratch("neu.zip"));
    choosers->modalAnswers.push_back(AddFiles({Q("gross.bin")}));
    window->spbCompressNew->click();
    EXPECT_FALSE(fs::exists(Scratch("neu.zip")));

    EXPECT_TRUE(log.notices.empty());
    // The user stopped both: no failure.
    EXPECT_TRUE(log.failures.empty()) << log.failures.front();
    // Nothing half-written is left beside the archives.
    std::vector<std::string> expected{"bestand.zip", "gross.bin"};
    for (const std::string& name : Entries(scratch.str())) {
        if (name.rfind("quelle-", 0) == 0) continue;
        EXPECT_NE(std::find(expected.begin(), expected.end(), name), expected.end()) << name;
    }
    EXPECT_FALSE(window->spbAbortOperation->isVisible());
}

TEST_F(WorkbenchPack, AnAbortedExtractionIsNoFailureButAFailedOneIs) {
    Incompressible("gross.bin", 20'000'000);
    const std::string archive = MakeZip(Scratch("gross.zip"), {{"gross.bin", testsupport::ReadFile(Scratch("gross.bin"))}});
    Open();
    ChooseArchive(archive);
    log.onProcessMessages = [&] {
        if (window->spbAbortOperation->isVisible()) window->spbAbortOperation->click();
    };
    choosers->directories.push_back(Q("entpackt"));
    window->spbDecompressAll->click();
    EXPECT_EQ(module->Archiv()->LastErrorKind(), tavik::TErrorKind::Aborted);
    EXPECT_TRUE(log.notices.empty());
    EXPECT_TRUE(log.failures.empty()) << log.failures.front();

    // The next command is not taken for aborted: a target that is a file fails and is reported.
    log.onProcessMessages = nullptr;
    Write("kein-verzeichnis", "x");
    choosers->directories.push_back(Q("kein-verzeichnis"));
    window->spbDecompressAll->click();
    EXPECT_NE(module->Archiv()->LastErrorKind(), tavik::TErrorKind::Aborted);
    ASSERT_EQ(log.failures.size(), 1u);
    EXPECT_EQ(log.failures[0].rfind("TfrmVendrask.spbDecompressAllClick: ", 0), 0u) << log.failures[0];
}

TEST_F(WorkbenchPack, ASecondCommandWhileOneRunsIsRefused) {
    Incompressible("gross.bin", 3'000'000);
    Open();
    ChooseArchive(Scratch("eins.zip"));
    int clicks = 0;
    log.onProcessMessages = [&] {
        if (!window->CommandRunning() || clicks > 0) return;
        ++clicks;
        window->spbVerifySimple->click();
        window->spbOpenFiles->click();
        window->spbCompressNew->click();
        window->spbSystemArch->click();
    };
    choosers->modalAnswers.push_back(AddFiles({Q("gross.bin")}));
    window->spbCompressNew->click();
    ASSERT_EQ(clicks, 1);
    ASSERT_EQ(log.notices.size(), 5u);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(log.notices[static_cast<std::size_t>(i)].rfind("Es läuft bereits", 0), 0u);
    EXPECT_EQ(log.notices[4], kPacked);
    EXPECT_EQ(choosers->fileRequests.size(), 1u);  // the first choice only
    EXPECT_EQ(module->ArchivFileName(), Scratch("eins.zip"));
    EXPECT_TRUE(UnzipTest(Scratch("eins.zip")));
    EXPECT_FALSE(window->CommandRunning());
}

TEST_F(WorkbenchPack, PackingAfterAnArchiveRunWritesIntoTheChosenArchiveOnly) {
    host.File("stadata/alt.txt", "alt", 1'000'000'000);
    const std::string chosen = MakeZip(Scratch("gewaehlt.zip"), {{"vorher.txt", "vorher"}});
    Write("dazu.txt", "dazu");
    Open();
    ChooseArchive(chosen);
    window->spbSystemArchRefresh->click();
    window->spbSystemArch->click();
    ASSERT_NE(module->Archiv(), nullptr);
    const std::string run = module->Archiv()->ArchivFile;
    ASSERT_NE(run, chosen);
    ASSERT_TRUE(fs::exists(run));
    const std::string runBytes = testsupport::ReadFile(run);

    choosers->modalAnswers.push_back(AddFiles({Q("dazu.txt")}));
    window->spbCompressAdd->click();
    EXPECT_EQ(log.notices, (std::vector<std::string>{kPacked}));
    EXPECT_EQ(UnzipNames(chosen), (std::vector<std::string>{"dazu.txt", "vorher.txt"}));
    EXPECT_EQ(testsupport::ReadFile(run), runBytes);
    EXPECT_EQ(module->Archiv()->ArchivFile, chosen);
}

TEST_F(WorkbenchPack, PackingAfterAnArchiveRunWithNoArchiveChosenAsksForOne) {
    host.File("stadata/alt.txt", "alt", 1'000'000'000);
    Open();
    window->spbSystemArchRefresh->click();
    window->spbSystemArch->click();
    ASSERT_NE(module->Archiv(), nullptr);
    const std::string run = module->Archiv()->ArchivFile;
    const std::string runBytes = testsupport::ReadFile(run);
    // The file dialog is cancelled: nothing is written anywhere.
    window->spbCompressNew->click();
    EXPECT_EQ(choosers->fileRequests.size(), 1u);
    EXPECT_TRUE(choosers->modalShown.empty());
    EXPECT_EQ(testsupport::ReadFile(run), runBytes);
    EXPECT_TRUE(log.notices.empty());
}

}  // namespace
}  // namespace uitest
