#include "host/engine/other/leser/leser_cage.h"

#include <langinfo.h>
#include <seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <memory>

namespace tavik::leser {

namespace {

struct TFilterRelease {
    void operator()(void* filter) const { seccomp_release(filter); }
};
using TFilter = std::unique_ptr<void, TFilterRelease>;

scmp_arg_cmp ArgumentIs(unsigned index, std::uint64_t value) { return {index, SCMP_CMP_EQ, value, 0}; }

// The bits of mask in the argument are those of value.
scmp_arg_cmp ArgumentBits(unsigned index, std::uint64_t mask, std::uint64_t value) {
    return {index, SCMP_CMP_MASKED_EQ, mask, value};
}

class TAllowList {
public:
    explicit TAllowList(void* filter) : FFilter(filter) {}

    void Allow(int call) { Note(seccomp_rule_add_array(FFilter, SCMP_ACT_ALLOW, call, 0, nullptr)); }

    void AllowWith(int call, std::initializer_list<scmp_arg_cmp> arguments) {
        Note(seccomp_rule_add_array(FFilter, SCMP_ACT_ALLOW, call, static_cast<unsigned>(arguments.size()),
                                    arguments.begin()));
    }

    // The first error of libseccomp (a negative errno), 0 when every rule was taken.
    int Error() const { return FError; }

private:
    void Note(int result) {
        if (FError == 0) FError = result;
    }

    void* FFilter;
    int FError = 0;
};

void AllowReading(TAllowList& list) {
    // The archive is standard input; frames go to standard output, the C library's and the
    // sanitizers' last words to standard error. No other descriptor is open, and none can be made.
    list.AllowWith(SCMP_SYS(read), {ArgumentIs(0, STDIN_FILENO)});
    list.AllowWith(SCMP_SYS(lseek), {ArgumentIs(0, STDIN_FILENO)});
    for (const int fd : {STDOUT_FILENO, STDERR_FILENO}) {
        list.AllowWith(SCMP_SYS(write), {ArgumentIs(0, static_cast<std::uint64_t>(fd))});
        list.AllowWith(SCMP_SYS(writev), {ArgumentIs(0, static_cast<std::uint64_t>(fd))});
    }
    list.Allow(SCMP_SYS(close));
}

void AllowMemory(TAllowList& list) {
    list.Allow(SCMP_SYS(brk));
    list.Allow(SCMP_SYS(munmap));
    list.Allow(SCMP_SYS(mremap));
    list.Allow(SCMP_SYS(madvise));
    // Memory for data, never new code.
    list.AllowWith(SCMP_SYS(mmap), {ArgumentBits(2, PROT_EXEC, 0)});
    list.AllowWith(SCMP_SYS(mprotect), {ArgumentBits(2, PROT_EXEC, 0)});
}

void AllowLimitsAndEnd(TAllowList& list) {
    // The handler of SIGXCPU moves the CPU limit on; only the helper's own limits can be read and
    // set, and a hard limit never rises without privileges.
    list.Allow(SCMP_SYS(rt_sigreturn));
    list.Allow(SCMP_SYS(getrlimit));
    list.Allow(SCMP_SYS(setrlimit));
    list.AllowWith(SCMP_SYS(prlimit64), {ArgumentIs(0, 0)});
    list.Allow(SCMP_SYS(getrusage));
    list.Allow(SCMP_SYS(clock_gettime));
    // Waking waiters on the helper's own memory: libxml2, which reads the table of a xar, takes
    // a lock once.
    list.Allow(SCMP_SYS(futex));
    list.Allow(SCMP_SYS(exit));
    list.Allow(SCMP_SYS(exit_group));
    // abort() after a failed check of the C library raises SIGABRT in the helper itself.
    list.Allow(SCMP_SYS(rt_sigprocmask));
    list.Allow(SCMP_SYS(rt_sigaction));
    list.Allow(SCMP_SYS(getpid));
    list.Allow(SCMP_SYS(gettid));
    list.AllowWith(SCMP_SYS(tgkill), {ArgumentIs(0, static_cast<std::uint64_t>(getpid()))});
#ifdef VENDRASK_LESER_SANITIZED
    // The sanitizers' wrapper of every signal handler (SIGXCPU here) asks for the signal stack.
    list.Allow(SCMP_SYS(sigaltstack));
#endif
}

std::string Failed(const char* what, int error) {
    const char* name = strerrorname_np(error);
    return std::string(what) + " (" + (name != nullptr ? name : std::to_string(error)) + ")";
}

}  // namespace

TLeserConversions::TLeserConversions() {
    // libarchive converts to the character set of the locale. CP932 is the LHA reader's own
    // default; the others are the code pages of DOS and Windows where the helper is used.
    const char* const target = nl_langinfo(CODESET);
    for (const char* source : {"CP932", "CP437", "CP850", "CP1252"})
        if (const iconv_t conversion = iconv_open(target, source); conversion != reinterpret_cast<iconv_t>(-1))
            FOpen.push_back(conversion);
}

TLeserConversions::~TLeserConversions() {
    for (const iconv_t conversion : FOpen) iconv_close(conversion);
}

TLeserConversions PrepareForLeserCage() {
    for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"})
        if (std::setlocale(LC_CTYPE, name) != nullptr) break;
    // Without TZ the C library looks at /etc/localtime again on every conversion of a local time
    // (DOS times of cab, LHA, RAR and ZIP); with TZ naming that file it reads it once, here.
    setenv("TZ", ":/etc/localtime", 0);
    tzset();
    return TLeserConversions();
}

bool EnterLeserCage(std::string& reason) {
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        reason = Failed("no_new_privs lässt sich nicht setzen", errno);
        return false;
    }
    const TFilter filter(seccomp_init(SCMP_ACT_KILL_PROCESS));
    if (!filter) {
        reason = "Der Systemkern kennt keinen Seccomp-Filter, der den ganzen Prozess beendet (Linux 4.14 oder neuer nötig)";
        return false;
    }
    // A call of another architecture (the 32-bit entry of a 64-bit kernel) kills as well.
    if (const int error = seccomp_attr_set(filter.get(), SCMP_FLTATR_ACT_BADARCH, SCMP_ACT_KILL_PROCESS); error < 0) {
        reason = Failed("Der Seccomp-Filter lässt sich nicht einrichten", -error);
        return false;
    }
    TAllowList list(filter.get());
    AllowReading(list);
    AllowMemory(list);
    AllowLimitsAndEnd(list);
    if (list.Error() < 0) {
        reason = Failed("Der Seccomp-Filter lässt sich nicht zusammenstellen", -list.Error());
        return false;
    }
    if (const int error = seccomp_load(filter.get()); error < 0) {
        reason = Failed("Der Systemkern nimmt den Seccomp-Filter nicht an", -error);
        return false;
    }
    return true;
}

}  // namespace tavik::leser
