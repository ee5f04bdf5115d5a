// Several unattended runs started at the same moment on one installation, round after round.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <future>
#include <set>

#include "tests/faults/support/fault_run.h"

namespace faults {
namespace {

using ::testing::IsEmpty;
using testsupport::HostFixture;

TEST(ConcurrentRuns, FourRunsAtOnceRoundAfterRoundLoseNothing) {
    HostFixture host;
    host.Rule(1, "ARCHIV/SK*", false, 0);  // the archives stay; other files in ARCHIV go
    Snapshot all;
    for (int round = 0; round < 4; ++round) {
        for (int i = 0; i < 150; ++i)
            host.File("stadata/r" + std::to_string(round) + "/f" + std::to_string(i) + ".txt",
                      std::string(1000 + 37 * i, static_cast<char>('a' + (i + round) % 26)), 1'000'000'000);
        host.File("ARCHIV/alt" + std::to_string(round) + ".tmp", "weg", 1'000'000'000);
        Merge(all, TakeSnapshot(host));
        std::vector<std::future<FaultResult>> runs;
        for (int r = 0; r < 4; ++r) {
            FaultOptions options;
            options.args = r % 2 == 0 ? std::vector<std::string>{"-AUTO", "-A", "-L"}
                                      : std::vector<std::string>{"-AUTO", "-A"};
            runs.push_back(std::async(std::launch::async, [&host, options] { return RunVendrask(host, options); }));
        }
        for (auto& run : runs) {
            const FaultResult result = run.get();
            EXPECT_EQ(result.process.status, 0) << "round " << round << ": " << result.process.err;
        }
        EXPECT_THAT(Violations(host, all), IsEmpty()) << "round " << round;
        EXPECT_THAT(Leftovers(host), IsEmpty());
        EXPECT_FALSE(host.Exists("ARCHIV/alt" + std::to_string(round) + ".tmp"));
    }
    EXPECT_THAT(TakeSnapshot(host), IsEmpty());
    // Every file went into exactly one archive.
    std::multiset<std::string> packed;
    for (const auto& archive : FinalArchives(host))
        for (const auto& [name, content] : ArchiveContents(archive)) packed.insert(name);
    EXPECT_EQ(packed.size(), all.size());
    for (const auto& [name, content] : all) EXPECT_EQ(packed.count(name), 1u) << name;
}

}  // namespace
}  // namespace faults
