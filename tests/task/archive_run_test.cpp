// Archive runs on real host installations: naming, packing, deleting, and what must never happen.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "host/services/date_time.h"
#include "host/services/tavik_info.h"
#include "task/dmarchivu.h"
#include "tests/support/host_fixture.h"
#include "tests/support/recording_frontend.h"
#include "tests/support/run_process.h"

namespace vendrask {
namespace {

namespace fs = std::filesystem;
using tavik::EncodeDateTime;
using tavik::TDateParts;
using testsupport::ReadFile;
using testsupport::RunProcess;

class ArchiveRun : public ::testing::Test {
protected:
    void SetUp() override {
        host.Activate();
        tavik::TavikProgramm().SetFrontend(std::make_unique<testsupport::RecordingFrontend>(log));
    }

    TdmOlvexArchiv& Module(TDateParts today = {2026, 12, 7, 10, 0, 0}) {
        module = std::make_unique<TdmOlvexArchiv>(tavik::TParameters{"vendrask", "-A"});
        module->Clock = [today] { return EncodeDateTime(today); };
        return *module;
    }
    std::string Archiv(const std::string& name) const { return host.Root() + "/ARCHIV/" + name; }
    static bool UnzipTests(const std::string& path) { return RunProcess({"unzip", "-tq", path}).status == 0; }
    std::string Extracted(const std::string& archive, const std::string& entry) {
        return RunProcess({"unzip", "-p", archive, entry}).out;
    }

    testsupport::HostFixture host;
    testsupport::FrontendLog log;
    std::unique_ptr<TdmOlvexArchiv> module;
};

TEST_F(ArchiveRun, PacksAllCandidatesIntoOneArchiveNamedForTheDayAndDeletesThem) {
    host.File("stadata/m01/a.dat", "Inhalt A", 1'500'000'000);
    host.File("stadata/m02/b.dat", std::string(100'000, 'b'), 1'500'000'000);
    host.Directory("EXPORT", "export");
    host.File("export/c.csv", "x;y", 1'500'000'000);
    auto& m = Module();
    m.ExploreSystem();
    ASSERT_EQ(m.SystemArch()->GetRowCount(), 3);
    m.AutoArchExecuteAll();

    const std::string archive = Archiv("SK261207.001");
    ASSERT_TRUE(fs::exists(archive));
    EXPECT_TRUE(UnzipTests(archive));
    EXPECT_EQ(Extracted(archive, "stadata/m01/a.dat"), "Inhalt A");
    EXPECT_EQ(Extracted(archive, "stadata/m02/b.dat"), std::string(100'000, 'b'));
    EXPECT_EQ(Extracted(archive, "export/c.csv"), "x;y");
    EXPECT_FALSE(host.Exists("stadata/m01/a.dat"));
    EXPECT_FALSE(host.Exists("stadata/m02/b.dat"));
    EXPECT_FALSE(host.Exists("export/c.csv"));
    EXPECT_EQ(m.LastArchivRun().Files, 3);
    EXPECT_EQ(tavik::TavikInfo().FailureCount(), 0);
    EXPECT_EQ(log.dialogsOpened, std::vector<std::string>{"Dateien archivieren ..."});

    // Extracting into the root restores the files where they were.
    ASSERT_EQ(RunProcess({"unzip", "-q", archive, "-d", host.Root()}).status, 0);
    EXPECT_EQ(ReadFile(host.Root() + "/stadata/m01/a.dat"), "Inhalt A");
}

TEST_F(ArchiveRun, TheProgressDialogNamesTheFileBeingPackedNow) {
    host.File("stadata/m01/a.dat", std::string(300'000, 'a'), 1'500'000'000);
    host.File("stadata/m02/b.dat", std::string(300'000, 'b'), 1'500'000'000);
    host.File("stadata/m03/c.dat", std::string(300'000, 'c'), 1'500'000'000);
    auto& m = Module();
    m.ExploreSystem();
    ASSERT_EQ(m.SystemArch()->GetRowCount(), 3);
    // What the dialog's line says whenever the window handles input during the run.
    std::vector<std::string> shown;
    log.onProcessMessages = [&] {
        const std::string& text = m.pgdArchiv.ProgressCounters.at(0).Text;
        if (!text.empty() && (shown.empty() || shown.back() != text)) shown.push_back(text);
    };
    m.AutoArchExecuteAll();
    ASSERT_TRUE(fs::exists(Archiv("SK261207.001")));
    std::vector<std::string> sorted = shown;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, (std::vector<std::string>{"a.dat", "b.dat", "c.dat"}));
}

TEST_F(ArchiveRun, TheFirstFreeNumberOfTheDayWins) {
    testsupport::WriteFile(Archiv("SK261207.001"), "alt");
    testsupport::WriteFile(Archiv("SK261207.003"), "alt");
    // Any entry of the name is taken, a directory too.
    fs::create_directory(Archiv("SK261207.002"));
    host.File("stadata/x.txt", "x", 1'500'000'000);
    auto& m = Module();
    m.ExploreSystem();
    m.AutoArchExecuteAll();
    EXPECT_TRUE(UnzipTests(Archiv("SK261207.004")));
    EXPECT_EQ(ReadFile(Archiv("SK261207.001")), "alt");
}

TEST_F(ArchiveRun, YearsAreCutToTwoDigits) {
    for (const auto& [today, name] : {std::pair{TDateParts{2000, 1, 5, 0, 0, 1}, "SK000105.001"},
                                      std::pair{TDateParts{2100, 10, 31, 23, 59, 59}, "SK001031.001"}}) {
        host.File("stadata/x.txt", name, 946'000'000);
        auto& m = Module(today);
        m.ExploreSystem();
        m.AutoArchExecuteAll();
        EXPECT_TRUE(UnzipTests(Archiv(name))) << name;
    }
}

TEST_F(ArchiveRun, NoCandidatesWriteNoArchive) {
    auto& m = Module();
    m.ExploreSystem();
    m.AutoArchExecuteAll();
    for (const auto& entry : fs::directory_iterator(host.Root() + "/ARCHIV"))
        EXPECT_NE(entry.path().filename().string().rfind("SK", 0), 0u) << entry.path();
    EXPECT_EQ(tavik::TavikInfo().FailureCount(), 0);
}

TEST_F(ArchiveRun, AFailedRunDeletesNothingAndSaysWhy) {
    host.File("stadata/x.txt", "x", 1'500'000'000);
    auto& m = Module();
    m.ExploreSystem();
    fs::remove_all(host.Root() + "/ARCHIV");
    m.AutoArchExecuteAll();
    EXPECT_TRUE(host.Exists("stadata/x.txt"));
    EXPECT_GE(tavik::TavikInfo().FailureCount(), 1);
    ASSERT_FALSE(log.failures.empty());
    EXPECT_NE(log.failures.front().find("ARCHIV"), std::string::npos) << log.failures.front();
}

TEST_F(ArchiveRun, AFileChangedAfterPackingIsKept) {
    host.File("stadata/a.txt", "aaaa", 1'500'000'000);
    host.File("stadata/b.txt", "bbbb", 1'500'000'000);
    auto& m = Module();
    m.ExploreSystem();
    // Every progress event of the engine appends to both files.
    log.onProcessMessages = [&] {
        for (const char* name : {"/stadata/a.txt", "/stadata/b.txt"}) {
            if (!fs::exists(host.Root() + name)) continue;
            std::FILE* file = std::fopen((host.Root() + name).c_str(), "ab");
            std::fputs("+", file);
            std::fclose(file);
        }
    };
    m.AutoArchExecuteAll();
    log.onProcessMessages = nullptr;
    const std::string archive = Archiv("SK261207.001");
    ASSERT_TRUE(UnzipTests(archive));
    int kept = 0;
    for (const char* name : {"stadata/a.txt", "stadata/b.txt"}) {
        // Either the file is still there, or the archive holds it as it was when deleted.
        if (host.Exists(name))
            ++kept;
        else
            ADD_FAILURE() << name << " was deleted although it changed after packing";
    }
    EXPECT_GE(kept, 1);
    EXPECT_GE(tavik::TavikInfo().FailureCount(), 1);
}

TEST_F(ArchiveRun, ALinkSwappedInAfterTheScanIsNeitherPackedNorFollowed) {
    host.File("stadata/opfer.txt", "x", 1'500'000'000);
    testsupport::TempDir outside;
    testsupport::WriteFile(outside / "geheim.txt", "geheim");
    auto& m = Module();
    m.ExploreSystem();
    fs::remove(host.Root() + "/stadata/opfer.txt");
    fs::create_symlink(outside / "geheim.txt", host.Root() + "/stadata/opfer.txt");
    m.AutoArchExecuteAll();
    EXPECT_TRUE(fs::exists(outside / "geheim.txt"));
    EXPECT_TRUE(fs::is_symlink(host.Root() + "/stadata/opfer.txt"));
    const std::string archive = Archiv("SK261207.001");
    if (fs::exists(archive)) {
        EXPECT_NE(Extracted(archive, "stadata/opfer.txt"), "geheim");
    }
}

TEST_F(ArchiveRun, DeleteRunRemovesOnlyRegularFilesAsTheyWereListed) {
    host.File("ARCHIV/alt.zip", "alt", 1'000'000'000);
    host.File("ARCHIV/neu.zip", "neu", 1'000'000'000);
    host.File("ARCHIV/weg.zip", "weg", 1'000'000'000);
    auto& m = Module();
    m.ExploreSystem();
    ASSERT_EQ(m.SystemDel()->GetRowCount(), 3);
    testsupport::WriteFile(Archiv("neu.zip"), "neuer Inhalt");  // changed since the scan
    fs::remove(Archiv("weg.zip"));                               // gone since the scan
    m.AutoDeleteExecuteAll();
    EXPECT_FALSE(fs::exists(Archiv("alt.zip")));
    EXPECT_EQ(ReadFile(Archiv("neu.zip")), "neuer Inhalt");
    EXPECT_EQ(m.LastDeleted(), std::vector<std::string>{Archiv("alt.zip")});
    EXPECT_EQ(log.dialogsOpened, std::vector<std::string>{"Dateien löschen ..."});
}

TEST_F(ArchiveRun, NoDirectoryIsEverRemoved) {
    host.File("stadata/a.dat", "A", 1'500'000'000);
    fs::create_directories(host.Root() + "/stadata/leer");
    auto& m = Module();
    m.ArchInitialize();
    ASSERT_NE(m.Archiv(), nullptr);
    tavik::TFileInfoItem file{"a.dat", host.Root() + "/stadata", "stadata", 1, {}, 0};
    tavik::TFileInfoItem directory{"leer", host.Root() + "/stadata", "stadata", 0, {}, tavik::faDirectory};
    m.Archiv()->FileItemAdd(directory);
    m.Archiv()->FileItemAdd(file);
    m.ArchExecute();
    EXPECT_FALSE(host.Exists("stadata/a.dat"));
    EXPECT_TRUE(fs::is_directory(host.Root() + "/stadata/leer"));
    EXPECT_TRUE(fs::is_directory(host.Root() + "/stadata"));
}

TEST_F(ArchiveRun, AnEmptyDeleteListShowsNoDialog) {
    auto& m = Module();
    EXPECT_TRUE(m.DeleteExecute(std::vector<std::string>{}));
    EXPECT_TRUE(log.dialogsOpened.empty());
    EXPECT_TRUE(m.DeleteExecute(std::vector<std::string>{host.Root() + "/gibtsnicht"}));
    EXPECT_EQ(tavik::TavikInfo().FailureCount(), 0);
}

}  // namespace
}  // namespace vendrask
