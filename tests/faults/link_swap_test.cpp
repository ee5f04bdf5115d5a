// A directory or file of the host swapped for a symbolic link between the scan and the packing or
// deleting: the run reads and deletes nothing outside the host's directories.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <filesystem>

#include "host/services/safe_delete.h"
#include "tests/faults/support/module_fixture.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_dir.h"

namespace faults {
namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::RunProcess;
using testsupport::TempDir;
using testsupport::WriteFile;

// Gives outside the file at relative (same size and time as the host's file), moves the host's
// directory away and puts a link to outside in its place.
void SwapForLink(const std::string& hostDir, const fs::path& outside, const std::string& relative,
                 const std::string& content) {
    WriteFile(outside / relative, content);
    struct stat info {};
    stat((hostDir + "/" + relative).c_str(), &info);
    const timespec times[2] = {info.st_atim, info.st_mtim};
    utimensat(AT_FDCWD, (outside / relative).c_str(), times, 0);
    fs::rename(hostDir, hostDir + ".weg");
    fs::create_symlink(outside, hostDir);
}

using LinkSwap = ModuleFixture;

TEST_F(LinkSwap, TheDeleteRunDoesNotDeleteThroughADirectorySwappedForALink) {
    host.File("ARCHIV/alt/tief/x.zip", "12345", 1'000'000'000);
    auto& m = Module();
    m.ExploreSystem();
    ASSERT_EQ(m.SystemDel()->GetRowCount(), 1);
    TempDir outside;
    SwapForLink(Path("ARCHIV/alt"), outside.path(), "tief/x.zip", "fremd");
    m.AutoDeleteExecuteAll();
    EXPECT_EQ(ReadFile(outside / "tief/x.zip"), "fremd");
    EXPECT_TRUE(m.LastDeleted().empty());
    ASSERT_EQ(log.failures.size(), 1u);
    EXPECT_THAT(log.failures.front(), ::testing::HasSubstr("symbolische Verknüpfung"));
}

TEST_F(LinkSwap, TheArchiveRunDoesNotDeleteThroughADirectorySwappedForALink) {
    host.File("stadata/m01/sub/beleg.dat", "beleg", 1'000'000'000);
    auto& m = Module();
    m.ExploreSystem();
    ASSERT_EQ(m.SystemArch()->GetRowCount(), 1);
    TempDir outside;
    SwapForLink(Path("stadata/m01"), outside.path(), "sub/beleg.dat", "fremd");
    m.AutoArchExecuteAll();
    EXPECT_EQ(ReadFile(outside / "sub/beleg.dat"), "fremd");
    EXPECT_TRUE(host.Exists("stadata/m01.weg/sub/beleg.dat"));
}

// Packing opens each file from its host directory one directory at a time: a directory on the
// way swapped for a link after the scan does not let a file from outside into the archive.
TEST_F(LinkSwap, TheArchiveRunDoesNotPackThroughADirectorySwappedForALink) {
    host.File("stadata/m01/sub/beleg.dat", "beleg", 1'000'000'000);
    auto& m = Module();
    m.ExploreSystem();
    TempDir outside;
    SwapForLink(Path("stadata/m01"), outside.path(), "sub/beleg.dat", "GEHEIM");
    m.AutoArchExecuteAll();
    if (fs::exists(Archiv())) {
        EXPECT_NE(RunProcess({"unzip", "-p", Archiv(), "stadata/m01/sub/beleg.dat"}).out, "GEHEIM");
    }
}

TEST_F(LinkSwap, TheFileItselfSwappedForALinkIsNotDeletedNorItsTarget) {
    host.File("ARCHIV/x.zip", "12345", 1'000'000'000);
    auto& m = Module();
    m.ExploreSystem();
    TempDir outside;
    WriteFile(outside / "x.zip", "12345");
    fs::remove(Path("ARCHIV/x.zip"));
    fs::create_symlink(outside / "x.zip", Path("ARCHIV/x.zip"));
    m.AutoDeleteExecuteAll();
    EXPECT_EQ(ReadFile(outside / "x.zip"), "12345");
    EXPECT_TRUE(fs::is_symlink(Path("ARCHIV/x.zip")));
}

TEST(SafeDelete, EveryDirectoryBelowTheBaseIsCheckedButTheBaseItselfNot) {
    TempDir dir;
    WriteFile(dir / "echt/a/b/c.txt", "c");
    WriteFile(dir / "draussen/b/c.txt", "c");
    fs::create_symlink(dir / "echt", dir / "basis-link");
    fs::create_symlink(dir / "draussen", dir / "echt/umweg");
    // A link on the way below the base: refused.
    const auto refused = tavik::DeleteRegularFile((dir / "echt/umweg/b/c.txt").string(), std::nullopt,
                                                  (dir / "echt").string());
    EXPECT_EQ(refused.Outcome, tavik::TDeleteOutcome::NotRegular);
    EXPECT_TRUE(fs::exists(dir / "draussen/b/c.txt"));
    // ".." on the way: refused, even where it would lead back inside.
    const auto climbing = tavik::DeleteRegularFile((dir / "echt/a/../a/b/c.txt").string(), std::nullopt,
                                                   (dir / "echt").string());
    EXPECT_EQ(climbing.Outcome, tavik::TDeleteOutcome::NotRegular);
    // The base may be a link (an installation reached through one); a trailing separator is fine.
    const auto deleted = tavik::DeleteRegularFile((dir / "basis-link/a/b/c.txt").string(), std::nullopt,
                                                  (dir / "basis-link").string() + "/");
    EXPECT_EQ(deleted.Outcome, tavik::TDeleteOutcome::Deleted) << deleted.Reason;
    EXPECT_FALSE(fs::exists(dir / "echt/a/b/c.txt"));
    // A missing directory on the way: nothing to delete.
    EXPECT_EQ(tavik::DeleteRegularFile((dir / "echt/fehlt/c.txt").string(), std::nullopt, (dir / "echt").string())
                  .Outcome,
              tavik::TDeleteOutcome::Missing);
}

}  // namespace
}  // namespace faults
