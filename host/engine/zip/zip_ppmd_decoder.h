#pragma once
// PPMd (method 98), which libzip cannot read, is decoded by libarchive inside vendrask-leser: the
// entry's raw data goes to the helper, the decoded bytes come back. The helper runs under the
// same hard limits as for other formats, so a crafted stream cannot hang or exhaust the program.
#include <cstdint>
#include <memory>

#include "host/engine/zip/zip_method_decoder.h"

namespace tavik {

// size: the entry's size; packed: the length of its raw data after decryption.
std::unique_ptr<TZipMethodDecoder> CreatePpmdDecoder(std::uint64_t size, std::uint64_t packed);

}  // namespace tavik
