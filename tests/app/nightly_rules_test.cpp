// The nightly run through the vendrask program as the administrator expects it: a host directory
// moved elsewhere behind a link is cleaned, damaged archives set aside stay as evidence,
// unusable settings stop the run at start-up, and a run that gets no lock deletes nothing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "host/services/unique_fd.h"
#include "tests/support/host_fixture.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::BinDir;
using testsupport::HostFixture;
using testsupport::ProcessResult;
using testsupport::RunProcess;

ProcessResult Vendrask(const HostFixture& host, std::vector<std::string> switches) {
    switches.insert(switches.begin(), BinDir() + "/vendrask");
    testsupport::ProcessOptions options;
    options.env = {{"OLVEX_ROOT", host.Root()}};
    options.unsetEnv = {"DISPLAY", "WAYLAND_DISPLAY"};
    options.killAfterSeconds = 300;
    return RunProcess(switches, options);
}

std::vector<std::string> Archives(const fs::path& archiv) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(archiv))
        if (entry.path().filename().string().rfind("SK", 0) == 0) names.push_back(entry.path().string());
    return names;
}

using testsupport::Contains;

std::size_t Lines(const std::string& text) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')); }

// stadata (or ARCHIV) moved to another disk, a link left in its place: walked where it is,
// its files named as before, nothing below it followed.
TEST(HostDirectoryLink, IsWalkedWhereItPointsAndItsFilesKeepTheirNames) {
    for (const std::string moved : {"stadata", "ARCHIV"}) {
        HostFixture host;
        testsupport::TempDir disk;
        host.File("stadata/m01/alt.dat", "alt", 1'000'000'000);
        host.File("stadata/m02/kopf.dat", "kopf", 1'000'000'000);
        host.File("stadata/m02/teil.dat", "teil", 1'000'000'000);
        host.Related("stadata/m02/kopf.dat", {"stadata/m02/kopf.dat", "stadata/m02/teil.dat"});
        host.File("ARCHIV/unbekannt.txt", "weg", 1'000'000'000);
        testsupport::TempDir elsewhere;
        testsupport::WriteFile(elsewhere.path() / "fremd.dat", "fremd");
        fs::create_directory_symlink(elsewhere.path(), host.Root() + "/stadata/m01/umweg");
        fs::rename(host.Root() + "/" + moved, disk.path() / moved);
        fs::create_directory_symlink(disk.path() / moved, host.Root() + "/" + moved);

        const ProcessResult run = Vendrask(host, {"-AUTO", "-A", "-L"});
        EXPECT_EQ(run.status, 0) << moved << ": " << run.err;
        EXPECT_TRUE(fs::is_symlink(host.Root() + "/" + moved)) << moved;
        EXPECT_FALSE(host.Exists("stadata/m01/alt.dat")) << moved;
        EXPECT_FALSE(host.Exists("stadata/m02/kopf.dat")) << moved;
        EXPECT_FALSE(host.Exists("stadata/m02/teil.dat")) << moved;
        EXPECT_FALSE(host.Exists("ARCHIV/unbekannt.txt")) << moved;
        // The link below the moved directory is not followed: what it leads to stays, unread.
        EXPECT_TRUE(fs::exists(elsewhere.path() / "fremd.dat")) << moved;
        const auto archives = Archives(host.Root() + "/ARCHIV");
        ASSERT_EQ(archives.size(), 1u) << moved;
        EXPECT_EQ(RunProcess({"unzip", "-Z1", archives[0]}).out,
                  "stadata/m01/alt.dat\nstadata/m02/kopf.dat\nstadata/m02/teil.dat\n")
            << moved;
    }
}

// A link that leads where no host directory may lie is refused at start-up, as such a path
// written into host_directory would be.
TEST(HostDirectoryLink, LeadingToTheRootArchivOrAboveItIsRefusedAtStartUp) {
    struct TCase {
        const char* What;
        std::function<fs::path(const HostFixture&)> Target;
    };
    const std::vector<TCase> cases = {
        {"the root", [](const HostFixture& h) { return fs::path(h.Root()); }},
        {"above the root", [](const HostFixture& h) { return fs::path(h.Root()).parent_path(); }},
        {"ARCHIV", [](const HostFixture& h) { return fs::path(h.Root()) / "STATEMP/oben/ARCHIV"; }},
        {"inside ARCHIV", [](const HostFixture& h) { return fs::path(h.Root()) / "STATEMP/oben/ARCHIV/innen"; }},
        {"holding ARCHIV", [](const HostFixture& h) { return fs::path(h.Root()) / "STATEMP" / "oben"; }},
    };
    for (const TCase& c : cases) {
        HostFixture host(false);
        host.Directory("stadata", "stadata");
        host.Directory("ARCHIV", "STATEMP/oben/ARCHIV");
        host.Directory("STATEMP", "STATEMP");
        fs::create_directories(host.Root() + "/STATEMP/oben/ARCHIV/innen");
        host.File("STATEMP/oben/ARCHIV/unbekannt.txt", "bleibt", 1'000'000'000);
        fs::remove_all(host.Root() + "/stadata");
        fs::create_directory_symlink(c.Target(host), host.Root() + "/stadata");
        const ProcessResult run = Vendrask(host, {"-AUTO", "-A", "-L"});
        EXPECT_EQ(run.status, 2) << c.What << ": " << run.err;
        EXPECT_TRUE(Contains(run.err, "„stadata“")) << c.What << ": " << run.err;
        EXPECT_EQ(Lines(run.err), 1u) << c.What << ": " << run.err;
        EXPECT_TRUE(host.Exists("STATEMP/oben/ARCHIV/unbekannt.txt")) << c.What;
        EXPECT_TRUE(Archives(host.Root() + "/STATEMP/oben/ARCHIV").empty()) << c.What;
    }
}

// An archive that failed its read-back lies in ARCHIV as SK….defekt: evidence, deleted only by
// a rule that names it, by age, never as an unknown file.
TEST(SetAsideArchive, IsDeletedOnlyByARuleThatNamesIt) {
    HostFixture host;
    host.File("ARCHIV/SK260101.001.defekt", "PK kaputt", 1'000'000'000);
    host.File("ARCHIV/SK260102.001.defekt.txt", "kein beiseitegelegtes Archiv", 1'000'000'000);
    host.File("ARCHIV/unbekannt.txt", "weg", 1'000'000'000);
    const ProcessResult run = Vendrask(host, {"-AUTO", "-L"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(host.Exists("ARCHIV/SK260101.001.defekt"));
    EXPECT_FALSE(host.Exists("ARCHIV/SK260102.001.defekt.txt"));
    EXPECT_FALSE(host.Exists("ARCHIV/unbekannt.txt"));
    host.Rule(1, "ARCHIV/SK*", false, 30);
    const ProcessResult ruled = Vendrask(host, {"-AUTO", "-L"});
    EXPECT_EQ(ruled.status, 0) << ruled.err;
    EXPECT_FALSE(host.Exists("ARCHIV/SK260101.001.defekt"));
}

// A setting that every run reads and that is not usable stops the run at start-up: one message,
// status 2, nothing touched.
TEST(Settings, AnUnusableValueIsRefusedAtStartUpWithOneMessage) {
    struct TCase {
        const char* Key;
        const char* Value;
    };
    for (const TCase& c : {TCase{"rtyp", "abc"}, TCase{"rtyp", "256"}, TCase{"rtyp", "-1"}, TCase{"rtyp", "12abc"},
                           TCase{"rtyp", ""}, TCase{"ArchivLockWait", "fünf"}, TCase{"ArchivLockWait", "-5"},
                           TCase{"ArchivLockWait", "86401"}}) {
        HostFixture host;
        host.Setting(c.Key, c.Value);
        for (int i = 0; i < 5; ++i) host.File("stadata/f" + std::to_string(i) + ".dat", "f", 1'000'000'000);
        host.File("ARCHIV/unbekannt.txt", "bleibt", 1'000'000'000);
        const ProcessResult run = Vendrask(host, {"-AUTO", "-A", "-L"});
        EXPECT_EQ(run.status, 2) << c.Key << "=" << c.Value << ": " << run.err;
        EXPECT_EQ(Lines(run.err), 1u) << c.Key << "=" << c.Value << ": " << run.err;
        EXPECT_TRUE(Contains(run.err, std::string("„") + c.Key + "“")) << run.err;
        EXPECT_TRUE(host.Exists("stadata/f0.dat"));
        EXPECT_TRUE(host.Exists("ARCHIV/unbekannt.txt"));
    }
    for (const TCase& c : {TCase{"rtyp", " 1 "}, TCase{"ArchivLockWait", "0"}}) {
        HostFixture host;
        host.Setting(c.Key, c.Value);
        host.File("stadata/f.dat", "f", 1'000'000'000);
        const ProcessResult run = Vendrask(host, {"-AUTO", "-A"});
        EXPECT_EQ(run.status, 0) << c.Key << "=" << c.Value << ": " << run.err;
        EXPECT_FALSE(host.Exists("stadata/f.dat"));
    }
}

// Another run holds ARCHIV for longer than ArchivLockWait: this run gives up, and nothing at
// all is archived or deleted, as its message says.
TEST(ArchivLock, GivingUpTheWaitDeletesNothing) {
    for (const std::vector<std::string>& switches :
         {std::vector<std::string>{"-AUTO", "-A", "-L"}, std::vector<std::string>{"-AUTO", "-L"},
          std::vector<std::string>{"-A", "-L"}}) {
        HostFixture host;
        host.Setting("ArchivLockWait", "1");
        host.File("stadata/alt.dat", "alt", 1'000'000'000);
        host.File("ARCHIV/unbekannt.txt", "bleibt", 1'000'000'000);
        const tavik::TUniqueFd other(open((host.Root() + "/ARCHIV").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        ASSERT_TRUE(other);
        ASSERT_EQ(flock(other.Get(), LOCK_EX), 0);
        const ProcessResult run = Vendrask(host, switches);
        EXPECT_EQ(run.status, 1) << switches.back() << ": " << run.err;
        EXPECT_TRUE(Contains(run.err, "nichts gelöscht")) << run.err;
        EXPECT_TRUE(host.Exists("stadata/alt.dat"));
        EXPECT_TRUE(host.Exists("ARCHIV/unbekannt.txt"));
        EXPECT_TRUE(Archives(host.Root() + "/ARCHIV").empty());
        if (switches.front() == "-A") {
            EXPECT_TRUE(Contains(run.out, "es wurde nichts gelöscht")) << run.out;
        }
    }
}

}  // namespace
