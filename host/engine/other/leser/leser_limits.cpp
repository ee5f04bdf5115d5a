#include "host/engine/other/leser/leser_limits.h"

#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <new>

namespace tavik::leser {

namespace {

volatile sig_atomic_t GProgress = 0;
volatile sig_atomic_t GProgressSeen = 0;

// SIGXCPU comes when the soft limit of CPU time is reached. With progress since the last time the
// limit moves on; without, the library is going round in circles. prlimit is a plain system call.
void OnCpuLimit(int) {
    if (GProgress == GProgressSeen) _exit(LeserExitNoProgress);
    GProgressSeen = GProgress;
    rlimit limit{};
    if (getrlimit(RLIMIT_CPU, &limit) != 0) _exit(LeserExitNoProgress);
    limit.rlim_cur += LeserCpuSecondsWithoutProgress;
    if (setrlimit(RLIMIT_CPU, &limit) != 0) _exit(LeserExitNoProgress);
}

void OnOutOfMemory() { _exit(LeserExitMemory); }

bool Limit(int resource, rlim_t soft, rlim_t hard) {
    const rlimit limit{soft, hard};
    return setrlimit(resource, &limit) == 0;
}

}  // namespace

bool SetLeserLimits(bool protective) {
    close_range(3, ~0U, 0);
    std::set_new_handler(OnOutOfMemory);
    // Nothing is written to files; a write to a standard error that is a file fails instead of killing.
    signal(SIGXFSZ, SIG_IGN);
    bool ok = Limit(RLIMIT_FSIZE, 0, 0) && Limit(RLIMIT_NOFILE, 32, 32) && Limit(RLIMIT_CORE, 0, 0) &&
              Limit(RLIMIT_NPROC, 0, 0);
    if (!ok || !protective) return ok;
    struct sigaction action {};
    action.sa_handler = OnCpuLimit;
    sigemptyset(&action.sa_mask);
    if (sigaction(SIGXCPU, &action, nullptr) != 0) return false;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const rlim_t used = static_cast<rlim_t>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec);
    ok = Limit(RLIMIT_CPU, used + LeserCpuSecondsWithoutProgress, RLIM_INFINITY);
#ifndef VENDRASK_LESER_NO_AS_LIMIT
    ok = ok && Limit(RLIMIT_AS, LeserAddressSpace, LeserAddressSpace);
#endif
    return ok;
}

void LeserProgress() { GProgress = static_cast<sig_atomic_t>(GProgress + 1); }

}  // namespace tavik::leser
