#pragma once
// Frames of vendrask-leser on its standard output.
#include <string_view>

#include "host/engine/other/leser/leser_protocol.h"

namespace tavik::leser {

// Writes one frame; a reader that has gone away ends the helper.
void Send(TLeserFrameType type, std::string_view payload = {});

}  // namespace tavik::leser
