#pragma once
// The engine's side of vendrask-leser: starts the helper (found beside the running program) on
// an archive that is handed over as an open descriptor, reads its frames and ends it. The helper
// may go round in circles or be killed by its own limits; the engine stays in charge: it waits
// with a timeout, lets the caller check for an abort meanwhile, stops a helper that has said
// nothing for long, and always kills and reaps it at the end.
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/engine/other/leser/leser_protocol.h"
#include "host/services/unique_fd.h"

namespace tavik {

struct TLeserFrame {
    TLeserFrameType Type = TLeserFrameType::End;
    std::string Payload;
};

class TLeserProcess {
public:
    // A helper that reports nothing for this long is stopped.
    static constexpr std::chrono::seconds IdleLimit{60};

    // Starts "vendrask-leser arguments..." on the archive. Throws EOlvex with a German message.
    TLeserProcess(const std::string& archive, const std::vector<std::string>& arguments);
    ~TLeserProcess();
    TLeserProcess(const TLeserProcess&) = delete;
    TLeserProcess& operator=(const TLeserProcess&) = delete;

    // The next frame. While waiting, waiting() is called several times a second; it may throw,
    // which ends the helper through the destructor. false when the helper ended or was stopped
    // without a complete answer: reason then says why, in German, as the end of a sentence
    // beginning "..., weil".
    bool Next(TLeserFrame& frame, const std::function<void()>& waiting, std::string& reason);

    // Where the helper is expected: beside the running program.
    static std::string HelperPath();

private:
    bool TakeFrame(TLeserFrame& frame, std::string& reason);
    std::string EndReason();
    void Stop();

    pid_t FPid = -1;
    TUniqueFd FOutput;
    std::string FBuffer;
    std::chrono::steady_clock::time_point FLastHeard;
    std::uint64_t FLastCpuTicks = 0;
    std::chrono::steady_clock::time_point FLastWaiting;
};

}  // namespace tavik
