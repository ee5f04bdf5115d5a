// The reading helper's cage: a call that reading an archive never needs kills the helper with
// SIGSYS, with or without the limits, and the engine names that death for what it is. The
// helper is found only beside the running program.
#include <signal.h>

#include <string>

#include "host/engine/other/leser/leser_limits.h"
#include "host/engine/other/leser/leser_probe.h"
#include "host/engine/other/leser_process.h"
#include "tests/engine/archiv_test_helpers.h"

namespace archivtest {
namespace {

using tavik::TErrorKind;
using tavik::TLeserFrame;
using tavik::TLeserLimits;
using tavik::TLeserProcess;

std::string Helper() { return testsupport::BinDir() + "/vendrask-leser"; }

TEST(LeserCage, EveryForbiddenCallKillsTheHelperWithSigsys) {
    for (const std::string_view call : tavik::leser::kLeserForbiddenCalls) {
        const auto caged = Tool({Helper(), tavik::leser::kLeserForbiddenProbe, std::string(call)});
        EXPECT_EQ(caged.status, 128 + SIGSYS) << call << ": " << caged.err;
        // Lifting the limits for a trusted archive leaves the cage as it is.
        const auto trusted =
            Tool({Helper(), tavik::kLeserWithoutLimits, tavik::leser::kLeserForbiddenProbe, std::string(call)});
        EXPECT_EQ(trusted.status, 128 + SIGSYS) << call << ": " << trusted.err;
    }
}

TEST(LeserCage, AProbeOfNoKnownCallIsAUsageError) {
    const auto result = Tool({Helper(), tavik::leser::kLeserForbiddenProbe, "reboot"});
    EXPECT_EQ(result.status, tavik::leser::LeserExitUsage);
}

// What the engine makes of a helper that a crafted archive led to a forbidden call.
void ExpectForbiddenCallReported(const std::string& call) {
    testsupport::TempDir dir;
    const std::string archive = (dir / "a.tar").string();
    testsupport::WriteFile(archive, std::string(10240, '\0'));
    for (const TLeserLimits limits : {TLeserLimits::Protective, TLeserLimits::Lifted}) {
        TLeserProcess helper(archive, {tavik::leser::kLeserForbiddenProbe, call}, limits);
        TLeserFrame frame;
        std::string reason;
        ASSERT_FALSE(helper.Next(frame, {}, reason)) << call;
        EXPECT_EQ(helper.EndKind(), TErrorKind::DamagedArchive) << reason;
        EXPECT_NE(reason.find("(Signal " + std::to_string(SIGSYS) + ")"), std::string::npos) << reason;
        EXPECT_NE(reason.find("Es hat eine verbotene Systemfunktion aufgerufen und wurde beendet; die Datei ist "
                              "wahrscheinlich bösartig oder beschädigt"),
                  std::string::npos)
            << reason;
        EXPECT_EQ(reason.find("abgestürzt"), std::string::npos) << reason;
        EXPECT_EQ(reason.find("von außen"), std::string::npos) << reason;
    }
    ExpectNoChildren();
}

TEST(LeserCage, TheEngineNamesAnAttemptToOpenAFile) { ExpectForbiddenCallReported("open"); }

TEST(LeserCage, TheEngineNamesAnAttemptToDeleteAFile) { ExpectForbiddenCallReported("unlink"); }

TEST(LeserCage, TheHelperIsFoundOnlyBesideTheRunningProgram) {
    EXPECT_EQ(TLeserProcess::HelperBeside("/usr/bin/vendrask"), "/usr/bin/vendrask-leser");
    // The running program was replaced by an upgrade: its folder is still the one.
    EXPECT_EQ(TLeserProcess::HelperBeside("/usr/bin/vendrask (deleted)"), "/usr/bin/vendrask-leser");
    EXPECT_EQ(TLeserProcess::HelperBeside("vendrask"), "");
    EXPECT_EQ(TLeserProcess::HelperBeside("./vendrask"), "");
    EXPECT_EQ(TLeserProcess::HelperBeside(""), "");
    // This test program lies beside the built helper.
    EXPECT_EQ(fs::path(TLeserProcess::HelperPath()), fs::canonical("/proc/self/exe").parent_path() / "vendrask-leser");
}

}  // namespace
}  // namespace archivtest
