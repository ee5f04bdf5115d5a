#pragma once
// The engine's side of vendrask-leser: starts the helper (found beside the running program) on
// an archive that is handed over as an open descriptor, or on data the engine feeds it through a
// socket, reads its frames and ends it. The helper
// may go round in circles or be killed by its own limits; the engine stays in charge: it waits
// with a timeout, lets the caller check for an abort meanwhile, stops a helper that has said
// nothing for long, and always kills and reaps it at the end. The helper runs in a process
// group of its own, so that Ctrl+C in a terminal reaches the program, which aborts the command,
// and not the helper.
#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "host/engine/other/leser/leser_protocol.h"
#include "host/services/error_kind.h"
#include "host/services/unique_fd.h"

namespace tavik {

// The helper's standard input is a socket that the engine feeds with Feed().
struct TLeserFedInput {};

// Protective: the helper's limits against bombs and loops (CPU time without progress, address
// space, rereading) and the engine's idle limit hold. Lifted: none of them, for an archive the
// user trusts; the helper still writes no file and starts no process.
enum class TLeserLimits : std::uint8_t { Protective, Lifted };

// What TLeserProcess::Await saw.
enum class TLeserWait {
    Frame,     // a frame arrived
    Writable,  // the helper's input takes more data
    Quiet,     // the time to wait passed
    Ended,     // the helper ended or was stopped; the reason says why
};

class TLeserProcess {
public:
    // A helper that reports nothing for this long is stopped.
    static constexpr std::chrono::seconds IdleLimit{60};

    // Starts "vendrask-leser arguments..." on the archive. Throws EOlvex with a German message.
    TLeserProcess(const std::string& archive, const std::vector<std::string>& arguments,
                  TLeserLimits limits = TLeserLimits::Protective);
    // Starts "vendrask-leser arguments..." on data handed over with Feed().
    TLeserProcess(TLeserFedInput, const std::vector<std::string>& arguments,
                  TLeserLimits limits = TLeserLimits::Protective);
    ~TLeserProcess();
    TLeserProcess(const TLeserProcess&) = delete;
    TLeserProcess& operator=(const TLeserProcess&) = delete;

    // The next frame. While waiting, waiting() is called several times a second; it may throw,
    // which ends the helper through the destructor. false when the helper ended or was stopped
    // without a complete answer: reason then says why, in German, as the end of a sentence
    // beginning "..., weil".
    bool Next(TLeserFrame& frame, const std::function<void()>& waiting, std::string& reason);

    // Waits up to timeout for the next frame or, with wantInput, for room in the helper's
    // input. The reason of Ended is as for Next.
    TLeserWait Await(TLeserFrame& frame, bool wantInput, std::chrono::milliseconds timeout, std::string& reason);

    // Hands the helper as much of data as its input takes without waiting; 0 when it takes
    // nothing now or has gone (its end then shows in the frames).
    std::size_t Feed(const void* data, std::size_t size);

    // After Next or Await reported the end: what kind of end the reason names. LimitReached for a
    // limit of the helper or the engine's idle limit, DamagedArchive for a helper that crashed,
    // talked nonsense or was killed by its cage for a forbidden system call (libarchive undone
    // by the input), Other for a helper ended from outside (the system's OOM killer, an
    // administrator), one that could not cage itself, or one gone otherwise.
    TErrorKind EndKind() const { return FEndKind; }

    // Where the helper is expected: beside the running program (/proc/self/exe), never in the
    // current directory or PATH. Throws EOlvex when that folder cannot be known.
    static std::string HelperPath();
    // The helper beside program, an absolute path; empty for anything else.
    static std::string HelperBeside(std::string_view program);

private:
    void Start(const TUniqueFd& input, const std::vector<std::string>& arguments);
    bool TakeFrame(TLeserFrame& frame, std::string& reason);
    std::string EndReason();
    std::string SignalReason(int signal);
    std::string ExitReason(int status);
    void Stop();

    TLeserLimits FLimits;
    TErrorKind FEndKind = TErrorKind::Other;
    pid_t FPid = -1;
    TUniqueFd FOutput;
    TUniqueFd FInput;
    TLeserFrameReader FFrames;
    std::chrono::steady_clock::time_point FLastHeard;
    std::uint64_t FLastCpuTicks = 0;
    std::chrono::steady_clock::time_point FLastWaiting;
};

}  // namespace tavik
