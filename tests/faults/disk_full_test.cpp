// The disk fills while the archive is written: the run stops, says so, deletes nothing and
// leaves no archive under a final name; the next run, with room again, does the work.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/faults/support/fault_run.h"

namespace faults {
namespace {

using ::testing::IsEmpty;
using testsupport::HostFixture;

TEST(DiskFull, TheArchiveRunStopsDeletesNothingAndTheNextRunSucceeds) {
    HostFixture host;
    for (int i = 0; i < 20; ++i)
        host.File("stadata/m" + std::to_string(i % 3) + "/f" + std::to_string(i) + ".dat", NoisyContent(100'000, i),
                  1'000'000'000);
    const Snapshot before = TakeSnapshot(host);
    // From no room at all to room for all but the end of the archive (about 2 MB).
    for (const long long limit : {0LL, 1LL, 4096LL, 300'000LL, 1'000'000LL, 1'990'000LL}) {
        FaultOptions options;
        options.args = {"-AUTO", "-A", "-L"};
        options.fileSizeLimit = limit;
        const FaultResult run = RunVendrask(host, options);
        EXPECT_EQ(run.process.status, 1) << "limit " << limit << ": " << run.process.err;
        EXPECT_THAT(run.process.err, ::testing::HasSubstr("keine Datei wurde gelöscht")) << limit;
        // The run knows the disk is full and says what to do.
        EXPECT_THAT(run.process.err, ::testing::HasSubstr("Im Archivverzeichnis ist nicht genug Platz")) << limit;
        EXPECT_THAT(Violations(host, before), IsEmpty()) << limit;
        EXPECT_EQ(TakeSnapshot(host), before) << "limit " << limit << ": a file was deleted";
        EXPECT_THAT(FinalArchives(host), IsEmpty()) << limit;
        EXPECT_THAT(Leftovers(host), IsEmpty()) << limit;
    }
    const FaultResult next = RunVendrask(host);
    EXPECT_EQ(next.process.status, 0) << next.process.err;
    EXPECT_THAT(Violations(host, before), IsEmpty());
    EXPECT_THAT(TakeSnapshot(host), IsEmpty());
    ASSERT_EQ(FinalArchives(host).size(), 1u);
}

TEST(DiskFull, ARunWithNothingToArchiveNeedsNoRoom) {
    HostFixture host;
    host.Rule(1, "stadata/*.dat", true, 30);
    host.File("stadata/jung.dat", "bleibt", time(nullptr));
    FaultOptions options;
    options.args = {"-AUTO", "-A", "-L"};
    options.fileSizeLimit = 0;
    const FaultResult run = RunVendrask(host, options);
    EXPECT_EQ(run.process.status, 0) << run.process.err;
    EXPECT_TRUE(host.Exists("stadata/jung.dat"));
    EXPECT_THAT(FinalArchives(host), IsEmpty());
}

}  // namespace
}  // namespace faults
