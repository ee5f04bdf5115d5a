// The payloads that the reading helper sends, as the engine decodes them: whatever the bytes,
// decoding ends without a crash, and what decodes encodes back to the same bytes.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "host/engine/other/leser/leser_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view payload(reinterpret_cast<const char*>(data), size);
    tavik::TLeserEntry entry;
    if (tavik::DecodeLeserEntry(payload, entry)) {
        tavik::TLeserEntry again;
        // Unused flag bits and a hard link flag without a name do not survive; the fields do.
        if (!tavik::DecodeLeserEntry(tavik::EncodeLeserEntry(entry), again)) std::abort();
        if (again.Name != entry.Name || again.Hardlink != entry.Hardlink || again.Size != entry.Size ||
            again.ModTime != entry.ModTime || again.Kind != entry.Kind || again.Encrypted != entry.Encrypted ||
            again.HasData != entry.HasData || again.Warning != entry.Warning)
            std::abort();
    }
    tavik::TLeserFailure failure;
    if (tavik::DecodeLeserFailure(payload, failure) && tavik::EncodeLeserFailure(failure) != payload) std::abort();
    std::int64_t offset = 0;
    std::string_view bytes;
    if (tavik::DecodeLeserData(payload, offset, bytes)) {
        if (offset < 0 || bytes.size() > tavik::LeserMaxChunk) std::abort();
        if (tavik::EncodeLeserData(offset, bytes) != payload) std::abort();
    }
    return 0;
}
