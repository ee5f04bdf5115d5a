// Sizes beyond the everyday: thousands of candidates, a file of several GB, an archive with more
// entries than the ZIP format's 16-bit counts hold.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "tests/faults/support/fault_run.h"

namespace faults {
namespace {

namespace fs = std::filesystem;
using ::testing::IsEmpty;
using testsupport::HostFixture;
using testsupport::RunProcess;

// Many small files, written directly (the fixture's helper sets times one file at a time).
void ManyFiles(const HostFixture& host, int count, int perDirectory) {
    for (int i = 0; i < count; ++i) {
        const fs::path dir = fs::path(host.Root()) / "stadata" / ("d" + std::to_string(i / perDirectory));
        if (i % perDirectory == 0) fs::create_directories(dir);
        const std::string path = (dir / ("f" + std::to_string(i) + ".txt")).string();
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        const std::string content = std::to_string(i);
        ASSERT_EQ(write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
        close(fd);
    }
}

std::size_t EntryCount(const std::string& archive) {
    const auto listing = RunProcess({"unzip", "-Z1", archive});
    std::size_t lines = 0;
    for (const char c : listing.out) lines += c == '\n';
    return lines;
}

TEST(Scale, ThousandsOfCandidatesInOneRun) {
    HostFixture host;
    ManyFiles(host, 5000, 100);
    FaultOptions options;
    options.args = {"-AUTO", "-A", "-L"};
    const FaultResult run = RunVendrask(host, options);
    EXPECT_EQ(run.process.status, 0) << run.process.err;
    EXPECT_THAT(TakeSnapshot(host), IsEmpty());
    const auto archives = FinalArchives(host);
    ASSERT_EQ(archives.size(), 1u);
    EXPECT_EQ(RunProcess({"unzip", "-tq", archives[0]}).status, 0);
    EXPECT_EQ(EntryCount(archives[0]), 5000u);
    EXPECT_EQ(RunProcess({"unzip", "-p", archives[0], "stadata/d37/f3712.txt"}).out, "3712");
}

TEST(Scale, MoreThan65535EntriesNeedAndGetZip64Counts) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "over two minutes with the sanitizers; the normal build runs it";
#endif
    HostFixture host;
    constexpr int kFiles = 65'540;
    ManyFiles(host, kFiles, 500);
    const FaultResult run = RunVendrask(host);
    ASSERT_EQ(run.process.status, 0) << run.process.err;
    EXPECT_THAT(TakeSnapshot(host), IsEmpty());
    const auto archives = FinalArchives(host);
    ASSERT_EQ(archives.size(), 1u);
    const auto unzipTest = RunProcess({"unzip", "-tq", archives[0]});
    EXPECT_EQ(unzipTest.status, 0) << unzipTest.out << unzipTest.err;
    EXPECT_EQ(EntryCount(archives[0]), static_cast<std::size_t>(kFiles));
    const auto sevenZip = RunProcess({"7zz", "t", archives[0]});
    EXPECT_EQ(sevenZip.status, 0) << sevenZip.out.substr(0, 2000);
    EXPECT_THAT(sevenZip.out, ::testing::HasSubstr("Files: " + std::to_string(kFiles)));
    EXPECT_EQ(RunProcess({"unzip", "-p", archives[0], "stadata/d131/f65539.txt"}).out, "65539");
    // The program's own listing counts them all too.
    const auto listing = RunProcess({testsupport::BinDir() + "/vendrask-archiv", "list", archives[0]});
    EXPECT_EQ(listing.status, 0) << listing.err;
    EXPECT_EQ(std::count(listing.out.begin(), listing.out.end(), '\n'), kFiles);
}

TEST(Scale, ASparseFileOfSeveralGigabytesGivesASmallCompleteArchive) {
    HostFixture host;
#if defined(__SANITIZE_ADDRESS__)
    constexpr long long kSize = 1'500'000'000LL;  // the sanitizers' build checks the way, not the size
#else
    constexpr long long kSize = 4'295'000'000LL;  // beyond 4 GiB: Zip64 sizes
#endif
    const std::string path = host.Root() + "/stadata/gross.dat";
    {
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, kSize), 0);
        ASSERT_EQ(pwrite(fd, "Ende", 4, kSize - 4), 4);
        close(fd);
    }
    host.File("stadata/klein.dat", "klein", 1'000'000'000);
    const FaultResult run = RunVendrask(host);
    ASSERT_EQ(run.process.status, 0) << run.process.err;
    EXPECT_FALSE(fs::exists(path));
    const auto archives = FinalArchives(host);
    ASSERT_EQ(archives.size(), 1u);
    EXPECT_LT(fs::file_size(archives[0]), 50'000'000u);
    const auto unzipTest = RunProcess({"unzip", "-tq", archives[0]});
    EXPECT_EQ(unzipTest.status, 0) << unzipTest.out << unzipTest.err;
    const auto listing = RunProcess({"unzip", "-Zl", archives[0], "stadata/gross.dat"});
    EXPECT_THAT(listing.out, ::testing::HasSubstr(std::to_string(kSize))) << listing.out;
    EXPECT_EQ(RunProcess({"unzip", "-p", archives[0], "stadata/klein.dat"}).out, "klein");
}

}  // namespace
}  // namespace faults
