// Feeds archive directories to the search: the input becomes one nightly archive (or, with
// bit 0 of byte 0, the last volume of a set of two, the other cut off at the length in bytes 1
// and 2) in a scratch folder, which is then searched with a pattern and a word.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "fuzz/fuzz_scratch.h"
#include "host/engine/search/archive_search.h"

namespace {

namespace fs = std::filesystem;

using fuzzsupport::TScratch;
using fuzzsupport::WriteBytes;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) return 0;
    TScratch scratch("fuzz-search");
    if (scratch.Path().empty()) return 0;
    const std::uint8_t* body = data + 3;
    const std::size_t length = size - 3;
    if (data[0] & 1) {
        const std::size_t first = std::min<std::size_t>(length, data[1] | (data[2] << 8));
        WriteBytes(scratch.Path() / "a.z01", body, first);
        WriteBytes(scratch.Path() / "a.zip", body + first, length - first);
    } else {
        WriteBytes(scratch.Path() / "SK261207.001", body, length);
    }
    tavik::search::TSearchEvents events;
    std::size_t hits = 0;
    events.OnHit = [&](const tavik::search::TSearchHit& hit) { hits += hit.name.size() > 0 ? 1 : 0; };
    events.OnFailure = [](const std::string&, const std::string&) {};
    try {
        tavik::search::SearchArchives(scratch.Path().string(), {"*[a-z]?*", "ÄB"}, events, 1 + (data[0] & 2) / 2);
    } catch (const std::exception&) {
        // Refusals are expected; crashes, hangs and leaks are what this looks for.
    }
    return 0;
}
