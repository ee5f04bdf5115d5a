#include "host/engine/other/leser_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <fstream>
#include <sstream>
#include <string>

#include "host/engine/other/leser/leser_limits.h"
#include "host/services/exceptions.h"
#include "host/services/system_error.h"
#include "host/services/whole_io.h"

extern char** environ;

namespace tavik {

namespace {

struct TSpawnActions {
    posix_spawn_file_actions_t Actions{};
    TSpawnActions() { posix_spawn_file_actions_init(&Actions); }
    ~TSpawnActions() { posix_spawn_file_actions_destroy(&Actions); }
    TSpawnActions(const TSpawnActions&) = delete;
    TSpawnActions& operator=(const TSpawnActions&) = delete;
};

struct TSpawnAttributes {
    posix_spawnattr_t Attributes{};
    TSpawnAttributes() { posix_spawnattr_init(&Attributes); }
    ~TSpawnAttributes() { posix_spawnattr_destroy(&Attributes); }
    TSpawnAttributes(const TSpawnAttributes&) = delete;
    TSpawnAttributes& operator=(const TSpawnAttributes&) = delete;
};

// A descriptor above standard error, so that dup2 onto 0 or 1 always makes a new one.
TUniqueFd AboveStandard(TUniqueFd fd) {
    // A failed open stays as it is, with its errno.
    if (!fd || fd.Get() > STDERR_FILENO) return fd;
    return TUniqueFd(fcntl(fd.Get(), F_DUPFD_CLOEXEC, STDERR_FILENO + 1));
}

// The CPU time a child has used so far, in clock ticks (user and system, fields 14 and 15 of
// /proc/PID/stat); 0 when it cannot be read.
std::uint64_t CpuTicks(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    std::getline(stat, text);
    // The program name in parentheses may hold blanks; the fields after it start with the third.
    const std::size_t nameEnd = text.rfind(')');
    if (nameEnd == std::string::npos) return 0;
    std::istringstream fields(text.substr(nameEnd + 1));
    std::string skipped;
    for (int field = 3; field < 14 && fields >> skipped; ++field) {
    }
    std::uint64_t user = 0;
    std::uint64_t system = 0;
    if (!(fields >> user >> system)) return 0;
    return user + system;
}

}  // namespace

std::string TLeserProcess::HelperBeside(std::string_view program) {
    // "/usr/bin/vendrask (deleted)" after an upgrade replaced the running program: its folder is
    // still the right one.
    const std::size_t slash = program.rfind('/');
    if (program.empty() || program.front() != '/' || slash == std::string_view::npos) return {};
    return std::string(program.substr(0, slash + 1)) + "vendrask-leser";
}

std::string TLeserProcess::HelperPath() {
    // Never the current directory or PATH: a file of that name there may be anybody's.
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer);
    const std::string helper = n > 0 && n < static_cast<ssize_t>(sizeof buffer)
                                   ? HelperBeside(std::string_view(buffer, static_cast<std::size_t>(n)))
                                   : std::string();
    if (helper.empty())
        throw EOlvex("Das Verzeichnis des laufenden Programms lässt sich nicht bestimmen (/proc/self/exe); nur dort "
                     "wird das Hilfsprogramm vendrask-leser gesucht, das Archive dieses Formats liest.");
    return helper;
}

TLeserProcess::TLeserProcess(const std::string& archive, const std::vector<std::string>& arguments,
                             TLeserLimits limits)
    : FLimits(limits) {
    // Without O_NONBLOCK a named pipe would keep open() waiting for a writer.
    TUniqueFd input =
        AboveStandard(TUniqueFd(::open(archive.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK)));
    if (!input)
        throw EOlvex("Die Archivdatei „" + archive + "“ kann nicht geöffnet werden: " + SystemErrorText(errno) + ".",
                     KindOfInputError(errno));
    struct stat status {};
    if (fstat(input.Get(), &status) != 0 || !S_ISREG(status.st_mode))
        throw EOlvex("„" + archive + "“ ist keine gewöhnliche Datei und wird nicht als Archiv gelesen.");
    fcntl(input.Get(), F_SETFL, fcntl(input.Get(), F_GETFL) & ~O_NONBLOCK);
    Start(input, arguments);
}

TLeserProcess::TLeserProcess(TLeserFedInput, const std::vector<std::string>& arguments, TLeserLimits limits)
    : FLimits(limits) {
    // A socket rather than a pipe: a write after the helper's end fails with EPIPE instead of
    // raising SIGPIPE in the whole program (MSG_NOSIGNAL).
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        throw EOlvex("Für das Entpacken ist keine Verbindung zum Hilfsprogramm zu bekommen: " + SystemErrorText(errno) + ".");
    const TUniqueFd helperEnd = AboveStandard(TUniqueFd(ends[1]));
    FInput = TUniqueFd(ends[0]);
    shutdown(FInput.Get(), SHUT_RD);
    Start(helperEnd, arguments);
}

void TLeserProcess::Start(const TUniqueFd& input, const std::vector<std::string>& arguments) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) throw EOlvex("Für das Lesen des Archivs ist keine Verbindung zu bekommen.");
    TUniqueFd readEnd(ends[0]);
    const TUniqueFd writeEnd = AboveStandard(TUniqueFd(ends[1]));

    const std::string helper = HelperPath();
    std::vector<std::string> words{helper};
    if (FLimits == TLeserLimits::Lifted) words.emplace_back(kLeserWithoutLimits);
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    TSpawnActions actions;
    posix_spawn_file_actions_adddup2(&actions.Actions, input.Get(), STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions.Actions, writeEnd.Get(), STDOUT_FILENO);
    TSpawnAttributes attributes;
    // The window's threads may block or catch signals; the helper starts with none of that.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes.Attributes, &none);
    posix_spawnattr_setsigdefault(&attributes.Attributes, &all);
    // A process group of its own: the terminal's Ctrl+C (SIGINT to the foreground group) is the
    // program's to turn into an abort, and reaches the helper only as the engine's SIGKILL.
    posix_spawnattr_setpgroup(&attributes.Attributes, 0);
    posix_spawnattr_setflags(&attributes.Attributes,
                             POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
    const int error = posix_spawn(&FPid, helper.c_str(), &actions.Actions, &attributes.Attributes, argv.data(), environ);
    if (error != 0) {
        FPid = -1;
        throw EOlvex("Das Hilfsprogramm „" + helper + "“, das Archive dieses Formats liest, lässt sich nicht starten (" +
                     SystemErrorText(error) + "). Bitte installieren Sie das Programm erneut.");
    }
    FOutput = std::move(readEnd);
    FLastHeard = std::chrono::steady_clock::now();
}

TLeserProcess::~TLeserProcess() { Stop(); }

void TLeserProcess::Stop() {
    FInput.Reset();
    FOutput.Reset();
    if (FPid <= 0) return;
    ::kill(FPid, SIGKILL);
    RetryInterrupted([&] { return ::waitpid(FPid, nullptr, 0); });
    FPid = -1;
}

bool TLeserProcess::TakeFrame(TLeserFrame& frame, std::string& reason) {
    switch (FFrames.Take(frame)) {
        case TLeserFrameReader::TTake::Frame: return true;
        case TLeserFrameReader::TTake::NeedMore: return false;
        case TLeserFrameReader::TTake::Broken: break;
    }
    reason = "das Leseprogramm Unverständliches meldete";
    FEndKind = TErrorKind::DamagedArchive;
    Stop();
    return false;
}

TLeserWait TLeserProcess::Await(TLeserFrame& frame, bool wantInput, std::chrono::milliseconds timeout,
                                 std::string& reason) {
    reason.clear();
    for (;;) {
        if (TakeFrame(frame, reason)) {
            if (frame.Type != TLeserFrameType::Alive) return TLeserWait::Frame;
            continue;
        }
        if (!reason.empty() || !FOutput) {
            if (reason.empty()) {
                reason = "das Leseprogramm schon beendet ist";
                FEndKind = TErrorKind::Other;
            }
            return TLeserWait::Ended;
        }
        const bool feeding = wantInput && FInput;
        pollfd wait[2] = {{FOutput.Get(), POLLIN, 0}, {feeding ? FInput.Get() : -1, POLLOUT, 0}};
        const int ready = ::poll(wait, 2, static_cast<int>(timeout.count()));
        const auto now = std::chrono::steady_clock::now();
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) {
            reason = "das Warten auf das Leseprogramm fehlschlug";
            FEndKind = TErrorKind::Other;
            Stop();
            return TLeserWait::Ended;
        }
        if (ready == 0) {
            if (FLimits == TLeserLimits::Protective && now - FLastHeard > IdleLimit) {
                // On a busy machine a working helper may stay silent for long; its own CPU limit
                // ends it if it goes round in circles. Only a helper that has stopped computing
                // as well is given up here.
                if (const std::uint64_t ticks = CpuTicks(FPid); ticks > FLastCpuTicks) {
                    FLastCpuTicks = ticks;
                    FLastHeard = now;
                    return TLeserWait::Quiet;
                }
                reason = "das Leseprogramm " + std::to_string(IdleLimit.count()) +
                         " Sekunden lang weder etwas meldete noch rechnete (Wartegrenze)";
                FEndKind = TErrorKind::LimitReached;
                Stop();
                return TLeserWait::Ended;
            }
            return TLeserWait::Quiet;
        }
        if ((wait[0].revents & (POLLIN | POLLHUP | POLLERR)) == 0) return TLeserWait::Writable;
        char chunk[64 * 1024];
        const ssize_t n = RetryInterrupted([&] { return ::read(FOutput.Get(), chunk, sizeof chunk); });
        if (n <= 0) {
            reason = EndReason();
            return TLeserWait::Ended;
        }
        FLastHeard = now;
        FFrames.Append(chunk, static_cast<std::size_t>(n));
    }
}

bool TLeserProcess::Next(TLeserFrame& frame, const std::function<void()>& waiting, std::string& reason) {
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        if (waiting && now - FLastWaiting >= std::chrono::milliseconds(200)) {
            FLastWaiting = now;
            waiting();
        }
        switch (Await(frame, false, std::chrono::milliseconds(200), reason)) {
            case TLeserWait::Frame: return true;
            case TLeserWait::Ended: return false;
            case TLeserWait::Writable:
            case TLeserWait::Quiet: break;
        }
    }
}

std::size_t TLeserProcess::Feed(const void* data, std::size_t size) {
    if (!FInput || size == 0) return 0;
    const ssize_t n = ::send(FInput.Get(), data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n >= 0) {
        // A helper that takes its input is at work.
        FLastHeard = std::chrono::steady_clock::now();
        return static_cast<std::size_t>(n);
    }
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) FInput.Reset();
    return 0;
}

std::string TLeserProcess::EndReason() {
    FOutput.Reset();
    int status = 0;
    const pid_t done = RetryInterrupted([&] { return ::waitpid(FPid, &status, 0); });
    FPid = -1;
    FEndKind = TErrorKind::Other;
    if (done < 0) return "das Leseprogramm verschwunden ist";
    if (WIFSIGNALED(status)) return SignalReason(WTERMSIG(status));
    return ExitReason(WEXITSTATUS(status));
}

std::string TLeserProcess::SignalReason(int signal) {
    const std::string number = " (Signal " + std::to_string(signal) + ")";
    switch (signal) {
        case SIGXCPU:
            // Only the CPU limit raises it, and the helper handles it; unhandled, it is the limit still.
            FEndKind = TErrorKind::LimitReached;
            return "libarchive zu viel Rechenzeit ohne Fortschritt brauchte" + number;
        case SIGSYS:
            // Only the cage raises it: a parser tried what reading an archive never needs.
            FEndKind = TErrorKind::DamagedArchive;
            return "das Leseprogramm in seinem Schutzkäfig angehalten wurde" + number +
                   ": Es hat eine verbotene Systemfunktion aufgerufen und wurde beendet; die Datei ist "
                   "wahrscheinlich bösartig oder beschädigt";
        case SIGSEGV:
        case SIGBUS:
        case SIGILL:
        case SIGFPE:
        case SIGABRT:
        case SIGTRAP:
            FEndKind = TErrorKind::DamagedArchive;
            return "das Leseprogramm abgestürzt ist" + number;
        case SIGKILL:
            // The engine's own stop never gets here: it names its reason before it kills.
            return "das Leseprogramm von außen beendet wurde" + number +
                   ", etwa vom System bei Speichermangel oder von einem Administrator";
        default: return "das Leseprogramm von außen beendet wurde" + number;
    }
}

std::string TLeserProcess::ExitReason(int status) {
    const bool protective = FLimits == TLeserLimits::Protective;
    switch (status) {
        case leser::LeserExitNoProgress:
            FEndKind = TErrorKind::LimitReached;
            return "libarchive mehr als " + std::to_string(leser::LeserCpuSecondsWithoutProgress) +
                   " Sekunden Rechenzeit ohne Fortschritt beim Lesen der Datei brauchte";
        case leser::LeserExitMemory:
            if (!protective) return "libarchive mehr Arbeitsspeicher verlangte, als der Rechner hergibt";
            FEndKind = TErrorKind::LimitReached;
            return "libarchive mehr als " + std::to_string(leser::LeserAddressSpace >> 30) +
                   " GB Arbeitsspeicher verlangte";
        case leser::LeserExitRereading:
            FEndKind = TErrorKind::LimitReached;
            return "libarchive dieselben Teile der Datei immer wieder las (mehr als das " +
                   std::to_string(leser::LeserRereadFactor) + "-Fache der Datei und " +
                   std::to_string(leser::LeserRereadAllowance >> 20) + " MB dazu)";
        case leser::LeserExitOutput:
            FEndKind = TErrorKind::DamagedArchive;
            return "das Leseprogramm übergroße Meldungen schicken wollte";
        case leser::LeserExitNoCage:
            return "das Leseprogramm sich nicht in seinen Schutzkäfig (seccomp) einschließen konnte und ohne ihn "
                   "nichts liest; der Systemkern ist zu alt oder verweigert den Filter";
        case leser::LeserExitUsage: return "das Leseprogramm nicht richtig aufgerufen wurde oder keine Grenzen setzen konnte";
        default: return "das Leseprogramm vorzeitig endete";
    }
}

}  // namespace tavik
