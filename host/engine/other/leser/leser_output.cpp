#include "host/engine/other/leser/leser_output.h"

#include <unistd.h>

#include <algorithm>
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

void SendDataBlock(std::int64_t offset, const void* block, std::size_t size) {
    const auto* bytes = static_cast<const char*>(block);
    for (std::size_t done = 0; done < size;) {
        const std::size_t piece = std::min(size - done, LeserMaxChunk);
        Send(TLeserFrameType::Data,
             EncodeLeserData(offset + static_cast<std::int64_t>(done), std::string_view(bytes + done, piece)));
        done += piece;
    }
}

}  // namespace tavik::leser
