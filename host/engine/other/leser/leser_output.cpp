#include "host/engine/other/leser/leser_output.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "host/engine/other/leser/leser_limits.h"
#include "host/services/whole_io.h"

namespace tavik::leser {

void Send(TLeserFrameType type, std::string_view payload) {
    if (payload.size() > LeserMaxFrame) _exit(LeserExitOutput);
    const std::string frame = EncodeLeserFrame(type, payload);
    if (!WriteWhole(STDOUT_FILENO, frame.data(), frame.size()).Complete(frame.size())) _exit(0);
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
