// The vendrask program as a scheduler runs it: switches, exit statuses, what it prints.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/host_fixture.h"
#include "tests/support/run_process.h"

namespace {

namespace fs = std::filesystem;
using testsupport::BinDir;
using testsupport::HostFixture;
using testsupport::ProcessOptions;
using testsupport::ProcessResult;
using testsupport::RunProcess;

constexpr std::time_t kLongAgo = 1'000'000'000;  // 2001

ProcessResult Vendrask(const std::vector<std::string>& switches, const std::string& root) {
    std::vector<std::string> argv{BinDir() + "/vendrask"};
    argv.insert(argv.end(), switches.begin(), switches.end());
    ProcessOptions options;
    if (root.empty())
        options.unsetEnv = {"OLVEX_ROOT"};
    else
        options.env = {{"OLVEX_ROOT", root}};
    options.unsetEnv.push_back("DISPLAY");
    options.unsetEnv.push_back("WAYLAND_DISPLAY");
    options.unsetEnv.push_back("QT_QPA_PLATFORM");
    return RunProcess(argv, options);
}

std::vector<std::string> ArchivesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().filename().string().rfind("SK", 0) == 0) names.push_back(entry.path().filename().string());
    return names;
}

TEST(Startup, AMissingInstallationIsBadInputWithStatusTwo) {
    const auto unset = Vendrask({"-AUTO", "-A"}, "");
    EXPECT_EQ(unset.status, 2);
    EXPECT_NE(unset.err.find("OLVEX_ROOT"), std::string::npos) << unset.err;
    EXPECT_EQ(unset.out, "");

    testsupport::TempDir empty;
    const auto missing = Vendrask({"-A", "-L"}, (empty / "olvex").string());
    EXPECT_EQ(missing.status, 2);
    EXPECT_NE(missing.err.find((empty / "olvex").string()), std::string::npos) << missing.err;

    HostFixture host;
    host.File("stadata/x.txt", "x", kLongAgo);
    host.Sql("DROP TABLE object_rule");
    const auto noTables = Vendrask({"-AUTO", "-A", "-L"}, host.Root());
    EXPECT_EQ(noTables.status, 2);
    EXPECT_NE(noTables.err.find("object_rule"), std::string::npos) << noTables.err;
    EXPECT_TRUE(host.Exists("stadata/x.txt"));
    EXPECT_TRUE(ArchivesIn(host.Root() + "/ARCHIV").empty());
}

TEST(Startup, TheUnattendedRunArchivesThenDeletesAndPrintsNothing) {
    HostFixture host;
    host.File("stadata/alt.txt", "alt", kLongAgo);
    host.File("ARCHIV/weg.tmp", "weg", kLongAgo);
    const auto run = Vendrask({"-L", "-AUTO", "-A"}, host.Root());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
    EXPECT_FALSE(host.Exists("stadata/alt.txt"));
    EXPECT_FALSE(host.Exists("ARCHIV/weg.tmp"));
    // The archive written by the run was not yet there when the scan listed ARCHIV.
    ASSERT_EQ(ArchivesIn(host.Root() + "/ARCHIV").size(), 1u);
    const std::string archive = host.Root() + "/ARCHIV/" + ArchivesIn(host.Root() + "/ARCHIV")[0];
    EXPECT_EQ(RunProcess({"unzip", "-p", archive, "stadata/alt.txt"}).out, "alt");
}

TEST(Startup, AnAttendedRunSaysWhatItDid) {
    HostFixture host;
    host.File("stadata/alt.txt", "alt", kLongAgo);
    host.File("ARCHIV/weg.tmp", "weg", kLongAgo);
    const auto run = Vendrask({"/a", "/l"}, host.Root());
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Archivieren: 1 Datei ("), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("  Gelöscht: 1 Datei."), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Löschen: 1 Datei gelöscht, 0 Dateien erhalten."), std::string::npos) << run.out;
}

TEST(Startup, OnlyTheNamedRunTakesPlace) {
    HostFixture host;
    host.File("stadata/alt.txt", "alt", kLongAgo);
    host.File("ARCHIV/weg.tmp", "weg", kLongAgo);
    EXPECT_EQ(Vendrask({"-AUTO", "-L"}, host.Root()).status, 0);
    EXPECT_TRUE(host.Exists("stadata/alt.txt"));
    EXPECT_FALSE(host.Exists("ARCHIV/weg.tmp"));
    EXPECT_EQ(Vendrask({"-AUTO", "-A", "-D:ARCHIV"}, host.Root()).status, 0);
    EXPECT_TRUE(host.Exists("stadata/alt.txt"));
}

TEST(Startup, AFailedRunEndsWithStatusOneAndTheReason) {
    HostFixture host;
    host.File("stadata/alt.txt", "alt", kLongAgo);
    fs::remove_all(host.Root() + "/ARCHIV");
    const auto run = Vendrask({"-AUTO", "-A"}, host.Root());
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("ARCHIV"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(host.Exists("stadata/alt.txt"));
}

TEST(Startup, WithoutAOrLTheProgramWantsItsWindow) {
    HostFixture host;
    host.File("stadata/alt.txt", "alt", kLongAgo);
    for (const auto& switches : std::vector<std::vector<std::string>>{{}, {"-AUTO"}, {"--A", "-AL", "A", "-D:ARCHIV"}}) {
        const auto run = Vendrask(switches, host.Root());
        // No display here: it says so in German, names the unattended switches and does nothing.
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find("-A und/oder -L angeben"), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_TRUE(host.Exists("stadata/alt.txt"));
    }
}

}  // namespace
