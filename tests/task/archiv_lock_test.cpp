// The archive run and a lock on ARCHIV held by another run: it waits a bounded time, says so,
// and gives up deleting nothing; it leaves nothing of its own in ARCHIV.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>

#include "host/services/date_time.h"
#include "host/services/tavik_info.h"
#include "task/dmarchivu.h"
#include "tests/support/host_fixture.h"
#include "tests/support/recording_frontend.h"

namespace vendrask {
namespace {

namespace fs = std::filesystem;

// Another run's lock: flock on the directory itself.
class HeldLock {
public:
    explicit HeldLock(const std::string& dir) : FFd(open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        EXPECT_GE(FFd, 0);
        EXPECT_EQ(flock(FFd, LOCK_EX | LOCK_NB), 0);
    }
    ~HeldLock() { close(FFd); }
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;

private:
    int FFd;
};

class ArchivLock : public ::testing::Test {
protected:
    void SetUp() override {
        host.Activate();
        tavik::TavikProgramm().SetFrontend(std::make_unique<testsupport::RecordingFrontend>(log));
        host.Rule(1, "stadata/*.dat", true, 30);
        host.File("stadata/a.dat", "A", 1'000'000'000);
        module = std::make_unique<TdmOlvexArchiv>(tavik::TParameters{"vendrask", "-A"});
        module->Clock = [] { return tavik::EncodeDateTime({2026, 12, 7, 10, 0, 0}); };
        module->ExploreSystem();
        ASSERT_EQ(module->SystemArch()->GetRowCount(), 1);
    }
    std::vector<std::string> InArchiv() const {
        std::vector<std::string> names;
        // vendrask's own folder (the journal) belongs there.
        for (const auto& entry : fs::directory_iterator(host.Root() + "/ARCHIV"))
            if (entry.path().filename() != ".vendrask") names.push_back(entry.path().filename().string());
        return names;
    }
    bool Logged(const std::string& part) const {
        for (const auto& failure : log.failures)
            if (failure.find(part) != std::string::npos) return true;
        return false;
    }

    testsupport::HostFixture host;
    testsupport::FrontendLog log;
    std::unique_ptr<TdmOlvexArchiv> module;
};

TEST_F(ArchivLock, AHeldLockIsWaitedForABoundedTimeThenTheRunGivesUpDeletingNothing) {
    const HeldLock other(host.Root() + "/ARCHIV");
    module->ArchivLockWait = std::chrono::milliseconds(1500);
    testing::internal::CaptureStderr();
    module->AutoArchExecuteAll();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("wartet"), std::string::npos) << err;
    EXPECT_TRUE(Logged("gesperrt")) << ::testing::PrintToString(log.failures);
    EXPECT_GT(tavik::TavikInfo().FailureCount(), 0);
    EXPECT_TRUE(host.Exists("stadata/a.dat"));
    EXPECT_TRUE(InArchiv().empty());
}

TEST_F(ArchivLock, WithoutWaitingAHeldLockIsReportedAtOnce) {
    const HeldLock other(host.Root() + "/ARCHIV");
    module->ArchivLockWait = std::chrono::milliseconds(0);
    module->AutoArchExecuteAll();
    EXPECT_TRUE(Logged("anderer")) << ::testing::PrintToString(log.failures);
    EXPECT_TRUE(host.Exists("stadata/a.dat"));
    EXPECT_TRUE(InArchiv().empty());
}

TEST_F(ArchivLock, AFreeLockLeavesNothingButTheArchiveInArchiv) {
    module->AutoArchExecuteAll();
    EXPECT_EQ(tavik::TavikInfo().FailureCount(), 0);
    EXPECT_EQ(InArchiv(), std::vector<std::string>{"SK261207.001"});
    EXPECT_FALSE(host.Exists("stadata/a.dat"));
}

}  // namespace
}  // namespace vendrask
