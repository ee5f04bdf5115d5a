// The nightly run through the vendrask program on real installations, judged by today's date.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <regex>
#include <sstream>

#include "host/services/date_time.h"
#include "tests/support/host_fixture.h"
#include "tests/support/run_process.h"
#include "tests/support/unprivileged.h"

namespace {

namespace fs = std::filesystem;
using testsupport::BinDir;
using testsupport::HostFixture;
using testsupport::ProcessResult;
using testsupport::RunProcess;

std::vector<std::string> Archives(const HostFixture& host) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(host.Root() + "/ARCHIV"))
        if (entry.path().filename().string().rfind("SK", 0) == 0) names.push_back(entry.path().string());
    return names;
}

TEST(NightlyRun, TheAgeBoundaryToTheSecond) {
    const auto today = tavik::DateOf(tavik::Now());
    // Too close to midnight, "today" could change between setting up and the run.
    if (tavik::Now() > tavik::IncDays(today, 1) - std::chrono::seconds(30)) GTEST_SKIP() << "too close to midnight";
    HostFixture host;
    host.Rule(1, "stadata/*.dat", true, 30);
    host.Rule(1, "ARCHIV/*.zip", false, 30);
    const auto limit = tavik::IncDays(today, -30);
    const auto at = [](tavik::TDateTime t) { return tavik::DateTimeToFileTime(t); };
    host.File("stadata/grenze.dat", "g", at(limit));
    host.File("stadata/davor.dat", "d", at(limit - std::chrono::seconds(1)));
    host.File("ARCHIV/grenze.zip", "g", at(limit));
    host.File("ARCHIV/davor.zip", "d", at(limit - std::chrono::seconds(1)));
    const auto run = RunProcess({BinDir() + "/vendrask", "-AUTO", "-A", "-L"}, {{{"OLVEX_ROOT", host.Root()}}, {}, "", ""});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(host.Exists("stadata/grenze.dat"));
    EXPECT_FALSE(host.Exists("stadata/davor.dat"));
    EXPECT_TRUE(host.Exists("ARCHIV/grenze.zip"));
    EXPECT_FALSE(host.Exists("ARCHIV/davor.zip"));
}

// Asked for, the run says where its time went, phase by phase; unasked it says nothing of it.
TEST(NightlyRun, TheProfileNamesEveryPhaseOfTheRun) {
    HostFixture host;
    for (int i = 0; i < 120; ++i)
        host.File("stadata/d" + std::to_string(i % 6) + "/f" + std::to_string(i) + ".txt",
                  std::string(500 + i, static_cast<char>('a' + i % 26)), 1'000'000'000);
    const auto quiet = RunProcess({BinDir() + "/vendrask", "-AUTO", "-A"}, {{{"OLVEX_ROOT", host.Root()}}, {}, "", ""});
    ASSERT_EQ(quiet.status, 0) << quiet.err;
    EXPECT_EQ(quiet.err.find("Zeitprofil"), std::string::npos) << quiet.err;
    for (int i = 0; i < 120; ++i)
        host.File("stadata/e" + std::to_string(i % 6) + "/f" + std::to_string(i) + ".txt", "x", 1'000'000'000);
    const auto run = RunProcess({BinDir() + "/vendrask", "-AUTO", "-A"},
                                {{{"OLVEX_ROOT", host.Root()}, {"VENDRASK_PROFILE", "1"}}, {}, "", ""});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_FALSE(host.Exists("stadata/e0/f0.txt"));
    const std::regex line(R"(^(.+)\t([0-9]+\.[0-9]{3}) s\t([0-9]+)$)");
    std::map<std::string, long> counts;
    std::istringstream lines(run.err);
    for (std::string text; std::getline(lines, text);) {
        std::smatch match;
        if (std::regex_match(text, match, line)) counts[match[1]] = std::stol(match[3]);
    }
    for (const char* phase : {"Durchsuchen", "davon Objekttabelle", "Auswahl prüfen", "Packen", "Zurücklesen",
                              "Archiv ins Journal", "Löschungen ins Journal", "Löschen"})
        EXPECT_GE(counts[phase], 1) << phase << " in:\n" << run.err;
    // Each file the walk found was looked up in the object table.
    EXPECT_GE(counts["davon Objekttabelle"], 120);
}

TEST(NightlyRun, TwoRunsAtTheSameMomentLoseNothingAndWriteNoBrokenArchive) {
    HostFixture host;
    for (int i = 0; i < 200; ++i)
        host.File("stadata/d" + std::to_string(i % 10) + "/f" + std::to_string(i) + ".txt",
                  std::string(2000 + i, static_cast<char>('a' + i % 26)), 1'000'000'000);
    std::vector<pid_t> runs;
    for (int i = 0; i < 2; ++i) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            setenv("OLVEX_ROOT", host.Root().c_str(), 1);
            const std::string program = BinDir() + "/vendrask";
            execl(program.c_str(), program.c_str(), "-AUTO", "-A", static_cast<char*>(nullptr));
            _exit(127);
        }
        runs.push_back(pid);
    }
    for (pid_t pid : runs) {
        int status = 0;
        waitpid(pid, &status, 0);
        // The later run finds the files gone: that is no failure.
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    // Every file is either still there or in a complete archive with its content.
    const auto archives = Archives(host);
    ASSERT_FALSE(archives.empty());
    for (const auto& archive : archives) EXPECT_EQ(RunProcess({"unzip", "-tq", archive}).status, 0) << archive;
    for (int i = 0; i < 200; ++i) {
        const std::string name = "stadata/d" + std::to_string(i % 10) + "/f" + std::to_string(i) + ".txt";
        if (host.Exists(name)) continue;
        bool found = false;
        for (const auto& archive : archives)
            found = found || RunProcess({"unzip", "-p", archive, name}).out ==
                                 std::string(2000 + i, static_cast<char>('a' + i % 26));
        EXPECT_TRUE(found) << name << " is gone and in no archive";
    }
    // The next run finds nothing left and succeeds.
    const auto next = RunProcess({BinDir() + "/vendrask", "-AUTO", "-A"}, {{{"OLVEX_ROOT", host.Root()}}, {}, "", ""});
    EXPECT_EQ(next.status, 0) << next.err;
}

// A run that hangs is killed after this long and fails its test; a sound one takes seconds.
constexpr int kKillAfterSeconds = 300;

TEST(NightlyRun, ThousandsOfEmptyOldFilesAreArchivedWithoutHanging) {
    HostFixture host;
    host.Rule(1, "stadata/*.dat", true, 30);
    constexpr int kEmpty = 2500;
    for (int i = 0; i < kEmpty; ++i) host.File("stadata/leer/l" + std::to_string(i) + ".dat", "", 1'000'000'000);
    host.File("stadata/voll.dat", std::string(300'000, 'v'), 1'000'000'000);
    const auto run = RunProcess({BinDir() + "/vendrask", "-AUTO", "-A"},
                                {{{"OLVEX_ROOT", host.Root()}}, {}, "", "", kKillAfterSeconds});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto archives = Archives(host);
    ASSERT_EQ(archives.size(), 1u);
    EXPECT_EQ(RunProcess({"unzip", "-tq", archives[0]}).status, 0);
    const auto listed = RunProcess({"unzip", "-Z1", archives[0]});
    EXPECT_EQ(std::count(listed.out.begin(), listed.out.end(), '\n'), kEmpty + 1);
    EXPECT_FALSE(host.Exists("stadata/leer/l0.dat"));
    EXPECT_FALSE(host.Exists("stadata/voll.dat"));
    // Nothing of the run is left behind in ARCHIV: no temporary archive, no lock; only the
    // archive and vendrask's own folder with the journal.
    for (const auto& entry : fs::directory_iterator(host.Root() + "/ARCHIV"))
        if (entry.path().filename() != ".vendrask") {
            EXPECT_EQ(entry.path().string(), archives[0]);
        }
}

ProcessResult Vendrask(const HostFixture& host, std::vector<std::string> switches) {
    switches.insert(switches.begin(), BinDir() + "/vendrask");
    return RunProcess(switches, {{{"OLVEX_ROOT", host.Root()}}, {}, "", "", kKillAfterSeconds});
}

using testsupport::Contains;

TEST(NightlyRun, ReadOnlyFilesStayInBothRunsWhichSaySoAndSucceed) {
    HostFixture host;
    host.Rule(1, "stadata/*.dat", true, 30);
    host.Rule(1, "ARCHIV/*.zip", false, 30);
    host.File("stadata/nurlesen.dat", "bleibt", 1'000'000'000);
    host.File("stadata/normal.dat", "geht", 1'000'000'000);
    host.File("ARCHIV/alt.zip", "alt", 1'000'000'000);
    fs::permissions(host.Root() + "/stadata/nurlesen.dat", fs::perms::owner_read | fs::perms::group_read);
    fs::permissions(host.Root() + "/ARCHIV/alt.zip", fs::perms::owner_read);
    const auto run = Vendrask(host, {"-A", "-L"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(host.Exists("stadata/nurlesen.dat"));
    EXPECT_FALSE(host.Exists("stadata/normal.dat"));
    EXPECT_TRUE(host.Exists("ARCHIV/alt.zip"));
    EXPECT_TRUE(Contains(run.err, "stadata/nurlesen.dat")) << run.err;
    EXPECT_TRUE(Contains(run.err, "ARCHIV/alt.zip")) << run.err;
    EXPECT_TRUE(Contains(run.out, "schreibgeschützt")) << run.out;
    // Not packed: it would go into every night's archive again.
    const auto archives = Archives(host);
    ASSERT_EQ(archives.size(), 1u);
    EXPECT_EQ(RunProcess({"unzip", "-Z1", archives[0]}).out, "stadata/normal.dat\n");
}

TEST(NightlyRun, TheSummarySaysOneFileInTheSingular) {
    HostFixture host;
    host.Rule(1, "stadata/*.dat", true, 30);
    host.File("stadata/eine.dat", "x", 1'000'000'000);
    const auto run = Vendrask(host, {"-A"});
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(Contains(run.out, "1 Datei ")) << run.out;
    EXPECT_FALSE(Contains(run.out, "1 Dateien")) << run.out;
    EXPECT_FALSE(host.Exists("stadata/eine.dat"));
}

TEST(NightlyRun, AMissingArchiveDirectoryIsAFailureNotNothingToDo) {
    HostFixture host;
    host.Rule(1, "stadata/*.dat", true, 30);
    host.File("stadata/eine.dat", "x", 1'000'000'000);
    fs::remove_all(host.Root() + "/ARCHIV");
    const auto run = Vendrask(host, {"-A"});
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(Contains(run.out, "keine Dateien zu archivieren")) << run.out;
    EXPECT_TRUE(Contains(run.out, "fehlgeschlagen")) << run.out;
    EXPECT_TRUE(host.Exists("stadata/eine.dat"));
}

// A directory whose rights forbid the deletion: its file is not packed, the run says why.
TEST(NightlyRun, TheSummaryTellsFilesThatCouldNotBeDeletedFromThoseThatWere) {
    // As a user without rights: root may delete anything.
    HostFixture host;
    host.Rule(1, "stadata/*.dat", true, 30);
    host.File("stadata/frei/weg.dat", "w", 1'000'000'000);
    host.File("stadata/gesperrt/bleibt.dat", "b", 1'000'000'000);
    for (const auto& entry : fs::recursive_directory_iterator(host.Root())) testsupport::OpenToTestUser(entry.path());
    testsupport::OpenToTestUser(host.Root());
    fs::permissions(host.Root() + "/stadata/gesperrt", fs::perms(0555));
    const auto run = RunProcess(testsupport::Unprivileged({BinDir() + "/vendrask", "-A"}),
                                {{{"OLVEX_ROOT", host.Root()}}, {}, "", "", kKillAfterSeconds});
    fs::permissions(host.Root() + "/stadata/gesperrt", fs::perms::all);
    EXPECT_EQ(run.status, 1) << "a directory without rights is a failure: " << run.err;
    EXPECT_TRUE(host.Exists("stadata/gesperrt/bleibt.dat"));
    EXPECT_FALSE(host.Exists("stadata/frei/weg.dat"));
    EXPECT_TRUE(Contains(run.out, "Gelöscht: 1 Datei")) << run.out;
    EXPECT_TRUE(Contains(run.out, "keine Rechte")) << run.out;
    // Not packed: the run could not have deleted it.
    const auto archives = Archives(host);
    ASSERT_EQ(archives.size(), 1u);
    EXPECT_EQ(RunProcess({"unzip", "-Z1", archives[0]}).out, "stadata/frei/weg.dat\n");
}

// ARCHIV without the right to write: the run names that reason, not a vague failure.
TEST(NightlyRun, AnArchiveDirectoryWithoutTheRightToWriteIsNamedAsSuch) {
    HostFixture host;
    host.Rule(1, "stadata/*.dat", true, 30);
    host.File("stadata/alt.dat", "a", 1'000'000'000);
    for (const auto& entry : fs::recursive_directory_iterator(host.Root())) testsupport::OpenToTestUser(entry.path());
    testsupport::OpenToTestUser(host.Root());
    fs::permissions(host.Root() + "/ARCHIV", fs::perms(0555));
    const auto run = RunProcess(testsupport::Unprivileged({BinDir() + "/vendrask", "-A"}),
                                {{{"OLVEX_ROOT", host.Root()}}, {}, "", "", kKillAfterSeconds});
    fs::permissions(host.Root() + "/ARCHIV", fs::perms::all);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_TRUE(Contains(run.out, "im Archivverzeichnis fehlen die Rechte zum Schreiben; es wurde nichts gelöscht"))
        << run.out << run.err;
    EXPECT_TRUE(host.Exists("stadata/alt.dat"));
    EXPECT_TRUE(Archives(host).empty());
}

}  // namespace
