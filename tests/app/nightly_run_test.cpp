// The nightly run through the vendrask program on real installations, judged by today's date.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "host/services/date_time.h"
#include "tests/support/host_fixture.h"
#include "tests/support/run_process.h"

namespace {

namespace fs = std::filesystem;
using testsupport::BinDir;
using testsupport::HostFixture;
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

}  // namespace
