// An archive run killed (SIGKILL) at many points from its start to its end: whatever it did,
// every file is in its place or in a complete archive, no final archive is broken, and the next
// run removes the unfinished archive it left and succeeds.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "host/services/safe_write.h"
#include "task/archiv_leftovers.h"
#include "tests/support/temp_dir.h"
#include "tests/faults/support/fault_run.h"

namespace faults {
namespace {

namespace fs = std::filesystem;
using ::testing::IsEmpty;
using testsupport::HostFixture;

void Populate(HostFixture& host, int round) {
    for (int i = 0; i < 120; ++i)
        host.File("stadata/r" + std::to_string(round) + "/d" + std::to_string(i % 6) + "/f" + std::to_string(i) + ".dat",
                  i % 4 == 0 ? std::string(60'000, static_cast<char>('a' + i % 26)) : NoisyContent(25'000, round * 1000 + i),
                  1'000'000'000);
}

TEST(KilledRun, AtManyPointsNothingIsLostAndTheNextRunCleansUp) {
    HostFixture host;
    Snapshot all;
    // A whole run first, to learn how long one takes on this machine and build.
    Populate(host, 0);
    Merge(all, TakeSnapshot(host));
    const FaultResult whole = RunVendrask(host);
    ASSERT_EQ(whole.process.status, 0) << whole.process.err;
    const double duration = whole.seconds;

    constexpr int kPoints = 14;
    int killedRuns = 0;
    for (int point = 0; point < kPoints; ++point) {
        Populate(host, point + 1);
        Merge(all, TakeSnapshot(host));
        FaultOptions options;
        options.args = point % 2 == 0 ? std::vector<std::string>{"-AUTO", "-A"}
                                      : std::vector<std::string>{"-AUTO", "-A", "-L"};
        options.killAfterMs = static_cast<int>(duration * 1000 * point / (kPoints - 2));
        const FaultResult run = RunVendrask(host, options);
        if (run.killed)
            ++killedRuns;
        else
            EXPECT_EQ(run.process.status, 0) << run.process.err;
        EXPECT_THAT(Violations(host, all), IsEmpty()) << "killed after " << options.killAfterMs << " ms";
    }
    EXPECT_GE(killedRuns, kPoints / 2);

    const FaultResult next = RunVendrask(host);
    EXPECT_EQ(next.process.status, 0) << next.process.err;
    EXPECT_THAT(Leftovers(host), IsEmpty());
    EXPECT_THAT(Violations(host, all), IsEmpty());
    EXPECT_THAT(TakeSnapshot(host), IsEmpty());
}

TEST(KilledRun, TheNextArchiveRunRemovesOnlyTheUnfinishedArchivesOfKilledRuns) {
    HostFixture host;
    host.File("ARCHIV/.SK261207.001.vrtmp-a1B2c3", "halb", 1'000'000'000);
    host.File("ARCHIV/.SK261207.1000.vrtmp-zzzzzz", "halb", 1'000'000'000);
    host.File("ARCHIV/.SK261207.002.vrtmp-USD0Nn.ipnqjm", "halb", 1'000'000'000);
    host.File("ARCHIV/.eigen.zip.vrtmp-a1B2c3", "Arbeit der Werkbank", 1'000'000'000);
    host.File("ARCHIV/.SK261207.001.vrtmp-a1B2c3x", "fremd", 1'000'000'000);
    host.File("ARCHIV/SK261207.001", "fremd", 1'000'000'000);
    host.Rule(1, "ARCHIV/*", false, 0);
    host.File("stadata/a.dat", "a", 1'000'000'000);
    const FaultResult run = RunVendrask(host);
    EXPECT_EQ(run.process.status, 0) << run.process.err;
    EXPECT_FALSE(host.Exists("ARCHIV/.SK261207.001.vrtmp-a1B2c3"));
    EXPECT_FALSE(host.Exists("ARCHIV/.SK261207.1000.vrtmp-zzzzzz"));
    EXPECT_TRUE(host.Exists("ARCHIV/.SK261207.002.vrtmp-USD0Nn.ipnqjm"));
    EXPECT_TRUE(host.Exists("ARCHIV/.eigen.zip.vrtmp-a1B2c3"));
    EXPECT_TRUE(host.Exists("ARCHIV/.SK261207.001.vrtmp-a1B2c3x"));
    EXPECT_TRUE(host.Exists("ARCHIV/SK261207.001"));
    EXPECT_FALSE(host.Exists("stadata/a.dat"));
}

TEST(KilledRun, LeftoverNamesAreRecognisedExactly) {
    using vendrask::IsArchivRunLeftover;
    EXPECT_TRUE(IsArchivRunLeftover(".SK261207.001.vrtmp-AbC123"));
    EXPECT_TRUE(IsArchivRunLeftover(".SK000101.12345.vrtmp-______"));
    EXPECT_FALSE(IsArchivRunLeftover(".SK261207.001.vrtmp-AbC123.x1y2z3"));
    EXPECT_FALSE(IsArchivRunLeftover(".SK261207.001.vrtmp-AbC123.x1y2z"));
    EXPECT_FALSE(IsArchivRunLeftover(".SK261207.001.vrtmp-AbC123-x1y2z3"));
    EXPECT_FALSE(IsArchivRunLeftover("SK261207.001.vrtmp-AbC123"));
    EXPECT_FALSE(IsArchivRunLeftover(".SK261207.01.vrtmp-AbC123"));
    EXPECT_FALSE(IsArchivRunLeftover(".SK26120.001.vrtmp-AbC123"));
    EXPECT_FALSE(IsArchivRunLeftover(".SK261207.001.vrtmp-AbC12"));
    EXPECT_FALSE(IsArchivRunLeftover(".SK261207.001.zip.vrtmp-AbC123"));
    EXPECT_FALSE(IsArchivRunLeftover(".SK261207.001"));
    EXPECT_FALSE(IsArchivRunLeftover(""));
}

// The cleanup knows the names the archive is written under now: the run's own archive is a
// leftover while unfinished, a split volume of the same name (the workbench's) is not.
TEST(KilledRun, TheTemporaryNamesOfTodaysWritesAreJudgedByTheirFinalName) {
    using vendrask::IsArchivRunLeftover;
    const testsupport::TempDir tmp;
    const tavik::TSafeWrite archive((tmp / "SK261207.001").string(), tavik::TDurability::Unflushed);
    EXPECT_TRUE(IsArchivRunLeftover(archive.TempName())) << archive.TempName();
    const tavik::TSafeWrite volume((tmp / "SK261207.001.zip").string(), tavik::TDurability::Unflushed);
    EXPECT_FALSE(IsArchivRunLeftover(volume.TempName())) << volume.TempName();
    const tavik::TSafeWrite other((tmp / "eigen.zip").string(), tavik::TDurability::Unflushed);
    EXPECT_FALSE(IsArchivRunLeftover(other.TempName())) << other.TempName();
}

}  // namespace
}  // namespace faults
