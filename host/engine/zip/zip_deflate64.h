#pragma once
// Deflate64 (ZIP method 9), which Windows writes for large files: deflate (RFC 1951) with a
// 64 KiB window, length code 285 standing for 3 to 65538 bytes by 16 extra bits, and distance
// codes 30 and 31. No library at hand reads it. The decoder takes about 150 KiB, whatever the
// data claims, and stops wherever its input or its room for output ends.
#include <memory>

#include "host/engine/zip/zip_method_decoder.h"

namespace tavik {

std::unique_ptr<TZipMethodDecoder> CreateDeflate64Decoder();

}  // namespace tavik
