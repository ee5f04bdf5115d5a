#include "host/engine/other/leser/leser_output.h"

#include <unistd.h>

#include <cerrno>

#include "host/engine/other/leser/leser_limits.h"

namespace tavik::leser {

void Send(TLeserFrameType type, std::string_view payload) {
    if (payload.size() > LeserMaxFrame) _exit(LeserExitOutput);
    const std::string frame = EncodeLeserFrame(type, payload);
    std::size_t written = 0;
    while (written < frame.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, frame.data() + written, frame.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) _exit(0);
        written += static_cast<std::size_t>(n);
    }
    LeserProgress();
}

}  // namespace tavik::leser
