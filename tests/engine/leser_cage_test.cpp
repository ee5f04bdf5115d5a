// The reading helper's cage: a call that reading an archive never needs kills the helper with
// SIGSYS, with or without the limits, and the engine names that death for what it is. The
// helper is found only beside the running program.
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
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

// Makes this process and its children see a kernel without seccomp filters: seccomp(2) is
// unknown and prctl(PR_SET_SECCOMP) refused; everything else goes through.
bool PretendAKernelWithoutFilters() {
    sock_filter code[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_seccomp, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_prctl, 0, 3),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[0])),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, PR_SET_SECCOMP, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EINVAL),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    const sock_fprog program{static_cast<unsigned short>(std::size(code)), code};
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

TEST(LeserCage, AHelperThatCannotCageItselfReadsNothingAndTheEngineSaysWhy) {
    testsupport::TempDir dir;
    const std::string archive = (dir / "a.tar").string();
    testsupport::WriteFile(archive, std::string(10240, '\0'));
    // In a child of the test, which the pretence must not outlive.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (!PretendAKernelWithoutFilters()) _exit(10);
        const auto direct = Tool({Helper(), "liste"}, {}, testsupport::ReadFile(archive));
        if (direct.status != tavik::leser::LeserExitNoCage) _exit(11);
        if (!direct.out.empty() || direct.err.find("Ohne diesen Schutz liest das Programm nichts") == std::string::npos)
            _exit(12);
        TLeserProcess helper(archive, {"liste"});
        TLeserFrame frame;
        std::string reason;
        if (helper.Next(frame, {}, reason)) _exit(13);
        if (helper.EndKind() != TErrorKind::Other) _exit(14);
        if (reason.find("nicht in seinen Schutzkäfig (seccomp) einschließen") == std::string::npos) _exit(15);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
    // 11, 12: the helper's own answer; 13 to 15: the engine's.
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

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
