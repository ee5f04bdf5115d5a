// The workbench page: choosing an archive and showing its name, size over all volumes, date and
// contents; the progress display and the abort button outside a command.
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QToolButton>

#include <filesystem>

#include "host/engine/archiv_open.h"
#include "host/services/date_time.h"
#include "host/services/formatting.h"
#include "host/services/fs_names.h"
#include "tests/support/run_process.h"
#include "tests/ui/support/workbench_fixture.h"

namespace uitest {
namespace {

using namespace tavik;
using vendrask::TfrmVendrask;

class WorkbenchOpen : public WorkbenchTest {};

const char* const kNotAnArchive = "Die Datei scheint defekt oder es handelt\nsich nicht um eine gültige Archivdatei.";

std::string Bytes(std::int64_t bytes) { return tavik_FormatByteSize(bytes); }

TEST_F(WorkbenchOpen, AZipShowsItsNameSizeDateAndEntries) {
    const std::string archive = MakeZip(Scratch("kunden.zip"), {{"a.txt", "alpha"}, {"sub/b.txt", "bravo bravo"}});
    // An odd second: the label shows the time as the packed DOS form keeps it.
    testsupport::SetMTime(archive, 1'700'000'001);
    Open();
    ChooseArchive(archive);

    ASSERT_EQ(choosers->fileRequests.size(), 1u);
    EXPECT_EQ(choosers->fileRequests[0].Filter, TfrmVendrask::OpenDialogFilter());
    EXPECT_EQ(choosers->fileRequests[0].InitialDir.toStdString(), GetDirOlvexByName("ARCHIV", "", true));
    EXPECT_EQ(Text("lblArchDateiName"), archive);
    EXPECT_EQ(Text("lblArchDateiBytes"), Bytes(QFileInfo(QString::fromStdString(archive)).size()));
    const TDateTime shown = FileTimeToDateTime(1'700'000'000);
    EXPECT_EQ(Text("lblArchDateiTime"), tavik_DateToStr(shown, 10) + "     " + tavik_TimeToStr(shown));
    EXPECT_EQ(Rows(), (std::vector<std::string>{"a.txt", "sub/b.txt"}));
    EXPECT_TRUE(log.notices.empty());
    EXPECT_TRUE(log.failures.empty());
    EXPECT_FALSE(window->spbAbortOperation->isVisible());
    EXPECT_FALSE(window->CommandRunning());
    EXPECT_EQ(module->ArchivFileName(), archive);
}

TEST_F(WorkbenchOpen, TheListHasFourVisibleColumnsAndUntickedCheckBoxes) {
    const std::string archive = MakeZip(Scratch("k.zip"), {{"a.txt", "alpha"}, {"b.txt", "bb"}});
    Open();
    ChooseArchive(archive);
    tavik::TVTVRList& view = *window->vrtArchivInhalt;
    std::vector<std::string> visible;
    for (int column = 0; column < view.header()->count(); ++column)
        if (view.ColumnVisible(column))
            visible.push_back(view.model()->headerData(column, Qt::Horizontal).toString().toStdString());
    EXPECT_EQ(visible, (std::vector<std::string>{"Name", "Größe", "Datum", "Uhrzeit"}));
    EXPECT_FALSE(view.ColumnVisible(window->ArchivInhaltIndexCol()));
    for (PVirtualNode node = view.GetFirst(); node; node = view.GetNext(node)) {
        EXPECT_EQ(node->CheckType, ctCheckBox);
        EXPECT_EQ(node->CheckState, csUncheckedNormal);
    }
    EXPECT_EQ(view.GetCellText(view.GetFirst(), 1), "5");
}

TEST_F(WorkbenchOpen, AnArchiveWithoutEntriesShowsAnEmptyListWithItsColumns) {
    // The 22 bytes of an empty ZIP: the end record alone.
    Write("leer.zip", std::string("PK\x05\x06", 4) + std::string(18, '\0'));
    Open();
    ChooseArchive(Scratch("leer.zip"));
    EXPECT_TRUE(Rows().empty());
    EXPECT_EQ(Text("lblArchDateiBytes"), Bytes(22));
    EXPECT_TRUE(window->vrtArchivInhalt->ColumnVisible(0));
    EXPECT_FALSE(window->vrtArchivInhalt->ColumnVisible(window->ArchivInhaltIndexCol()));
    EXPECT_TRUE(log.notices.empty());
}

TEST_F(WorkbenchOpen, ASplitSetCountsEveryVolume) {
    Write("quelle/gross.bin", std::string(300'000, 'x') + std::to_string(12345));
    testsupport::ProcessOptions options;
    options.workDir = Scratch("quelle");
    for (int i = 0; i < 5; ++i) Write("quelle/teil" + std::to_string(i) + ".bin", std::string(40'000 + i, char('a' + i)));
    // Stored and split into volumes of 64 KB by Info-ZIP.
    const auto made = testsupport::RunProcess(
        {"zip", "-q", "-0", "-s", "64k", Scratch("satz.zip"), "gross.bin", "teil0.bin", "teil1.bin", "teil2.bin",
         "teil3.bin", "teil4.bin"},
        options);
    ASSERT_EQ(made.status, 0) << made.err;
    ASSERT_TRUE(QFileInfo::exists(QString::fromStdString(Scratch("satz.z05"))));
    std::int64_t total = 0;
    for (const auto& entry : std::filesystem::directory_iterator(scratch.path()))
        if (entry.path().stem() == "satz") total += static_cast<std::int64_t>(entry.file_size());
    Open();
    ChooseArchive(Scratch("satz.zip"));
    EXPECT_EQ(Text("lblArchDateiBytes"), Bytes(total));
    EXPECT_EQ(Rows().size(), 6u);
    EXPECT_TRUE(log.notices.empty());
}

TEST(WorkbenchFileSize, VolumesCountUpToTheFirstMissingOne) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "archiv.zip", std::string(1000, 'a'));
    testsupport::WriteFile(dir / "archiv.z01", std::string(500, 'b'));
    testsupport::WriteFile(dir / "archiv.z02", std::string(250, 'c'));
    const QString archive = QString::fromStdString((dir / "archiv.zip").string());
    EXPECT_EQ(TfrmVendrask::GetFileSize(archive), 1750);
    std::filesystem::remove(dir / "archiv.z01");
    EXPECT_EQ(TfrmVendrask::GetFileSize(archive), 1000);
    EXPECT_EQ(TfrmVendrask::GetFileSize(QString::fromStdString((dir / "fehlt.zip").string())), 0);
}

TEST(WorkbenchFileSize, TheTenthVolumeIsZ10AndThereIsNoLimitAt99) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir / "a.zip", "1");
    for (int volume = 1; volume <= 100; ++volume)
        testsupport::WriteFile(dir / ((volume <= 9 ? "a.z0" : "a.z") + std::to_string(volume)), "1");
    testsupport::WriteFile(dir / "a.z010", "ignored");
    testsupport::WriteFile(dir / "a.z102", "after the gap");
    EXPECT_EQ(TfrmVendrask::GetFileSize(QString::fromStdString((dir / "a.zip").string())), 101);
    // A directory of a volume's name is no volume.
    std::filesystem::remove(dir / "a.z05");
    std::filesystem::create_directory(dir / "a.z05");
    EXPECT_EQ(TfrmVendrask::GetFileSize(QString::fromStdString((dir / "a.zip").string())), 5);
}

TEST_F(WorkbenchOpen, ATextFileGivesTheNoticeAndClosesTheArchiveShownBefore) {
    const std::string archive = MakeZip(Scratch("vorher.zip"), {{"a.txt", "alpha"}});
    Write("liste.txt", "Dies ist keine Archivdatei.\n");
    Open();
    ChooseArchive(archive);
    ASSERT_EQ(Rows().size(), 1u);
    ChooseArchive(Scratch("liste.txt"));
    EXPECT_EQ(log.notices, (std::vector<std::string>{kNotAnArchive}));
    EXPECT_EQ(module->Archiv(), nullptr);
    EXPECT_EQ(module->ArchivFileName(), "");
    EXPECT_EQ(Text("lblArchDateiName"), "");
    EXPECT_EQ(Text("lblArchDateiBytes"), "");
    EXPECT_EQ(Text("lblArchDateiTime"), "");
    EXPECT_TRUE(Rows().empty());
}

TEST_F(WorkbenchOpen, AMissingFileOrADirectoryIsNamedAsSuchNotAsDamaged) {
    std::filesystem::create_directories(Scratch("ordner.tar"));
    Open();
    ChooseArchive(Scratch("fehlt.tar"));
    ChooseArchive(Scratch("ordner.tar"));
    EXPECT_EQ(log.notices, (std::vector<std::string>{"Die Datei „" + Scratch("fehlt.tar") + "“ ist nicht vorhanden.",
                                                     "„" + Scratch("ordner.tar") +
                                                         "“ ist ein Verzeichnis und keine Archivdatei."}));
    ASSERT_EQ(log.failures.size(), 2u);
    EXPECT_EQ(log.failures[0].rfind("TfrmVendrask.spbOpenFilesClick: ", 0), 0u) << log.failures[0];
    EXPECT_EQ(module->Archiv(), nullptr);
}

TEST_F(WorkbenchOpen, ADamagedFileReportsWhatTheFormatsFound) {
    Write("kaputt.tar", std::string(3000, 'k'));
    Open();
    ChooseArchive(Scratch("kaputt.tar"));
    EXPECT_EQ(log.notices, (std::vector<std::string>{kNotAnArchive}));
    ASSERT_EQ(log.failures.size(), 1u);
    EXPECT_NE(log.failures[0].find("kein ZIP-Archiv"), std::string::npos) << log.failures[0];
    EXPECT_NE(log.failures[0].find("kein Archiv eines bekannten Formats"), std::string::npos) << log.failures[0];
}

TEST_F(WorkbenchOpen, ANewNameWithZipShowsTheNameAloneAndNoMessage) {
    Open();
    ChooseArchive(Scratch("neu.zip"));
    EXPECT_EQ(Text("lblArchDateiName"), Scratch("neu.zip"));
    EXPECT_EQ(Text("lblArchDateiBytes"), "");
    EXPECT_EQ(Text("lblArchDateiTime"), "");
    EXPECT_TRUE(Rows().empty());
    EXPECT_TRUE(log.notices.empty());
    EXPECT_TRUE(log.failures.empty());
    ASSERT_NE(module->Archiv(), nullptr);
}

TEST_F(WorkbenchOpen, CancellingTheFileDialogKeepsEverything) {
    const std::string archive = MakeZip(Scratch("bleibt.zip"), {{"a.txt", "alpha"}, {"b.txt", "beta"}});
    Open();
    ChooseArchive(archive);
    const auto* engine = module->Archiv();
    const std::string bytes = Text("lblArchDateiBytes");
    const std::string time = Text("lblArchDateiTime");
    choosers->files.push_back(std::nullopt);
    window->spbOpenFiles->click();
    EXPECT_EQ(choosers->fileRequests.size(), 2u);
    EXPECT_EQ(module->Archiv(), engine);
    EXPECT_EQ(Text("lblArchDateiName"), archive);
    EXPECT_EQ(Text("lblArchDateiBytes"), bytes);
    EXPECT_EQ(Text("lblArchDateiTime"), time);
    EXPECT_EQ(Rows(), (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_TRUE(log.notices.empty());
}

TEST_F(WorkbenchOpen, AnUnreadableZipLeavesTheListEmptyAndNamesTheReason) {
    Write("kaputt.zip", std::string(2000, 'k'));
    Open();
    ChooseArchive(Scratch("kaputt.zip"));
    // Accepted by its name, so the name stays; the reason goes to the failure list.
    EXPECT_EQ(Text("lblArchDateiName"), Scratch("kaputt.zip"));
    EXPECT_EQ(Text("lblArchDateiBytes"), Bytes(2000));
    EXPECT_TRUE(Rows().empty());
    EXPECT_TRUE(log.notices.empty());
    ASSERT_EQ(log.failures.size(), 1u);
    EXPECT_EQ(log.failures[0].rfind("TfrmVendrask.ArchivAnzeigen: ", 0), 0u) << log.failures[0];
    EXPECT_FALSE(window->spbAbortOperation->isVisible());
}

// A ZIP archive under a nightly archive's name shows as under ".zip": its entries, or, when its
// directory is damaged behind end records that hold, no entry and the reason.
TEST_F(WorkbenchOpen, AZipShowsAlikeUnderANameWithoutZip) {
    const std::string archive = MakeZip(Scratch("gut.zip"), {{"a.txt", "alpha"}, {"b.txt", "bb"}, {"c.txt", "c"}});
    std::string bytes = testsupport::ReadFile(archive);
    Write("SK261209.001", bytes);
    const std::size_t last = bytes.rfind("PK\x01\x02");
    ASSERT_NE(last, std::string::npos);
    bytes[last + 3] = '\x07';
    Write("kaputt.zip", bytes);
    Write("SK261209.002", bytes);
    const struct {
        const char* name;
        std::vector<std::string> rows;
    } cases[] = {
        {"gut.zip", {"a.txt", "b.txt", "c.txt"}},
        {"SK261209.001", {"a.txt", "b.txt", "c.txt"}},
        {"kaputt.zip", {}},
        {"SK261209.002", {}},
    };
    Open();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        log.failures.clear();
        ChooseArchive(Scratch(c.name));
        EXPECT_EQ(module->ArchivFileName(), Scratch(c.name));
        EXPECT_EQ(Text("lblArchDateiName"), Scratch(c.name));
        EXPECT_EQ(Rows(), c.rows);
        EXPECT_TRUE(log.notices.empty());
        if (c.rows.empty()) {
            ASSERT_EQ(log.failures.size(), 1u);
            EXPECT_EQ(log.failures[0].rfind("TfrmVendrask.ArchivAnzeigen: ", 0), 0u) << log.failures[0];
            EXPECT_NE(log.failures[0].find("falsche Kennung"), std::string::npos) << log.failures[0];
        } else {
            EXPECT_TRUE(log.failures.empty());
        }
    }
}

TEST_F(WorkbenchOpen, ProgressBarsCountInPerMilleAndRoundHalvesToEven) {
    const std::string archive = MakeZip(Scratch("p.zip"), {{"a.txt", "alpha"}});
    Open();
    ChooseArchive(archive);
    TArchivFormatAbstract& engine = *module->Archiv();
    const auto total = [&](std::int64_t done, std::int64_t all) {
        window->ArchivTotalProgress(engine, TArchivCommand::Extract, done, all);
        return window->pgbProgressTotal->value();
    };
    EXPECT_EQ(total(1, 3), 333);
    EXPECT_EQ(total(2, 3), 667);
    EXPECT_EQ(total(0, 0), 1000);
    EXPECT_EQ(total(5, -1), 1000);
    EXPECT_EQ(total(1, 2000), 0);   // 0.5
    EXPECT_EQ(total(3, 2000), 2);   // 1.5
    EXPECT_EQ(total(0, 7), 0);

    TFileInfoItem entry;
    entry.FileName = "beleg.dat";
    window->ArchivFileProgress(engine, TArchivCommand::Extract, &entry, 2, 3);
    EXPECT_EQ(window->pgbProgressItem->value(), 667);
    EXPECT_EQ(Text("lblProgressItem"), "beleg.dat");
    window->ArchivFileProgress(engine, TArchivCommand::Extract, &entry, 0, 0);
    EXPECT_EQ(window->pgbProgressItem->value(), 1000);
    window->ArchivCommandEnd(engine, TArchivCommand::Extract);
    EXPECT_EQ(Text("lblProgressItem"), "");
    EXPECT_EQ(window->pgbProgressItem->value(), 1000);
    EXPECT_EQ(window->pgbProgressTotal->value(), 0);
}

TEST_F(WorkbenchOpen, TheAbortButtonOutsideACommandDoesNothing) {
    Open();
    window->spbAbortOperationClick(window->spbAbortOperation);
    const std::string archive = MakeZip(Scratch("a.zip"), {{"a.txt", "alpha"}});
    ChooseArchive(archive);
    window->spbAbortOperationClick(window->spbAbortOperation);
    EXPECT_FALSE(module->Archiv()->Busy());
    window->spbVerifySimple->click();
    EXPECT_EQ(log.notices, (std::vector<std::string>{"Die Archivdatei wurde erfolgreich geprüft."}));
}

}  // namespace
}  // namespace uitest
