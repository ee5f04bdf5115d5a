#pragma once
// PPMd (method 98), which libzip cannot read, is decoded by libarchive inside vendrask-leser: the
// entries' raw data goes to the helper, the decoded bytes come back. The helper runs under the
// same hard limits as for other formats, so a crafted stream cannot hang or exhaust the program.
// One helper serves all PPMd entries of a command: starting it costs far more than a small entry.
#include <cstdint>
#include <memory>

#include "host/engine/zip/zip_method_decoder.h"

namespace tavik {

class TLeserProcess;

class TPpmdSession {
public:
    // limitsLifted: the helper runs without its protective limits (NoLimits).
    explicit TPpmdSession(bool limitsLifted = false);
    ~TPpmdSession();
    TPpmdSession(const TPpmdSession&) = delete;
    TPpmdSession& operator=(const TPpmdSession&) = delete;

    // The decoder of one entry of size bytes and packed bytes of raw data (after decryption); one
    // at a time. A decoder that does not reach the entry's end ends the helper; the next entry
    // starts a new one.
    std::unique_ptr<TZipMethodDecoder> Decoder(std::uint64_t size, std::uint64_t packed);

private:
    friend class TPpmdDecoder;
    std::unique_ptr<TLeserProcess> FHelper;
    bool FLimitsLifted;
};

}  // namespace tavik
