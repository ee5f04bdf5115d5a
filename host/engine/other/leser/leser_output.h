#pragma once
// Frames of vendrask-leser on its standard output.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "host/engine/other/leser/leser_protocol.h"

namespace tavik::leser {

// Writes one frame; a reader that has gone away ends the helper.
void Send(TLeserFrameType type, std::string_view payload = {});

// Sends a block of entry data at offset as Data frames of at most LeserMaxChunk bytes.
void SendDataBlock(std::int64_t offset, const void* block, std::size_t size);

}  // namespace tavik::leser
