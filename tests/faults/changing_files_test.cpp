// Files that change while they are packed or between packing and deleting stay for the next run.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/faults/support/fault_run.h"
#include "tests/faults/support/module_fixture.h"

namespace faults {
namespace {

namespace fs = std::filesystem;
using ::testing::IsEmpty;
using testsupport::ReadFile;
using testsupport::RunProcess;

using ChangingFiles = ModuleFixture;

// Rewrites the file in place with other bytes of the same length and puts its old time back,
// as a program that keeps time stamps would.
void RewriteKeepingSizeAndTime(const std::string& path, char fill) {
    struct stat before {};
    if (stat(path.c_str(), &before) != 0) return;
    {
        std::ofstream out(path, std::ios::binary | std::ios::in);
        out << std::string(static_cast<std::size_t>(before.st_size), fill);
    }
    const timespec times[2] = {before.st_atim, before.st_mtim};
    utimensat(AT_FDCWD, path.c_str(), times, 0);
}

TEST_F(ChangingFiles, ARewriteThatKeepsSizeAndTimeIsNotDeletedAndNotLost) {
    host.File("stadata/a.txt", std::string(5000, 'a'), 1'500'000'000);
    host.File("stadata/b.txt", std::string(300'000, 'b'), 1'500'000'000);
    auto& m = Module();
    m.ExploreSystem();
    int events = 0;
    log.onProcessMessages = [&] {
        ++events;
        RewriteKeepingSizeAndTime(Path("stadata/a.txt"), static_cast<char>('A' + events % 26));
    };
    m.AutoArchExecuteAll();
    log.onProcessMessages = nullptr;
    ASSERT_GT(events, 0);
    ASSERT_EQ(RunProcess({"unzip", "-tq", Archiv()}).status, 0);
    // The rewritten content exists only on disk: the file must still be there.
    ASSERT_TRUE(host.Exists("stadata/a.txt")) << "a.txt was deleted; the archive holds \""
                                              << RunProcess({"unzip", "-p", Archiv(), "stadata/a.txt"}).out.substr(0, 8)
                                              << "…\"";
    EXPECT_EQ(ReadFile(Path("stadata/a.txt")), std::string(5000, static_cast<char>('A' + events % 26)));
    EXPECT_FALSE(host.Exists("stadata/b.txt"));
    EXPECT_GE(tavik::TavikInfo().FailureCount(), 1);
}

TEST_F(ChangingFiles, ATouchedFileBetweenPackingAndDeletingStays) {
    host.File("stadata/a.txt", "aaaa", 1'500'000'000);
    auto& m = Module();
    m.ExploreSystem();
    log.onProcessMessages = [&] { chmod(Path("stadata/a.txt").c_str(), 0600); };
    m.AutoArchExecuteAll();
    log.onProcessMessages = nullptr;
    EXPECT_TRUE(host.Exists("stadata/a.txt"));
}

TEST(GrowingFile, AFileGrowingWhileTheRunPacksItIsKeptWhole) {
    testsupport::HostFixture host;
    const std::string start = NoisyContent(6'000'000, 3);
    host.File("stadata/wachsend.log", start, 1'000'000'000);
    host.File("stadata/ruhig.dat", "ruhig", 1'000'000'000);
    const Snapshot quiet{{"stadata/ruhig.dat", "ruhig"}};
    std::atomic<bool> stop{false};
    std::thread grower([&] {
        std::ofstream out(host.Root() + "/stadata/wachsend.log", std::ios::binary | std::ios::app);
        while (!stop) {
            out << std::string(4096, 'g') << std::flush;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    const FaultResult run = RunVendrask(host);
    stop = true;
    grower.join();
    EXPECT_EQ(run.process.status, 1) << "the kept file is reported";
    EXPECT_THAT(run.process.err, ::testing::HasSubstr("wachsend.log"));
    EXPECT_THAT(Violations(host, quiet), IsEmpty());
    ASSERT_TRUE(host.Exists("stadata/wachsend.log"));
    const std::string now = ReadFile(host.Root() + "/stadata/wachsend.log");
    EXPECT_EQ(now.compare(0, start.size(), start), 0);
    // What the archive holds of it is a beginning of the file, not a mix.
    for (const auto& archive : FinalArchives(host)) {
        const auto entries = ArchiveContents(archive);
        if (const auto found = entries.find("stadata/wachsend.log"); found != entries.end()) {
            EXPECT_EQ(now.compare(0, found->second.size(), found->second), 0);
        }
    }
    // The next run, with the file at rest, archives it.
    const FaultResult next = RunVendrask(host);
    EXPECT_EQ(next.process.status, 0) << next.process.err;
    EXPECT_THAT(Violations(host, {{"stadata/wachsend.log", now}}), IsEmpty());
    EXPECT_FALSE(host.Exists("stadata/wachsend.log"));
}

}  // namespace
}  // namespace faults
