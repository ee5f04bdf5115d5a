// Feeds split sets to the split-volume reader: the input is cut into up to three volumes,
// written to a scratch folder, found, opened through libzip and read to the end; some inputs
// are also merged and spanned.
//
// Input: byte 0 selects the kind (bit 0: byte-split pieces, bits 1-2: volume count 1-3, bit 3:
// merge, bit 4: span), then a 16-bit little-endian length per volume but the last, then the
// bytes of the volumes one after another.
#include <zip.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/fuzz_scratch.h"
#include "host/engine/split/split_source.h"
#include "host/engine/split/split_volumes.h"

namespace {

namespace fs = std::filesystem;

using fuzzsupport::TScratch;
using fuzzsupport::WriteBytes;

struct TZipDiscard {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};

void ReadAll(const tavik::TSplitSet& set) {
    zip_source_t* source = tavik::CreateSplitSetSource(set);
    zip_error_t error;
    zip_error_init(&error);
    std::unique_ptr<zip_t, TZipDiscard> archive(zip_open_from_source(source, ZIP_RDONLY, &error));
    zip_error_fini(&error);
    if (!archive) {
        zip_source_free(source);
        return;
    }
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    for (zip_int64_t i = 0; i < count && i < 64; ++i) {
        zip_file_t* file = zip_fopen_index(archive.get(), static_cast<zip_uint64_t>(i), 0);
        if (file == nullptr) continue;
        char buffer[4096];
        std::size_t total = 0;
        zip_int64_t n = 0;
        while ((n = zip_fread(file, buffer, sizeof buffer)) > 0 && total < (1u << 20)) total += static_cast<std::size_t>(n);
        zip_fclose(file);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::uint8_t mode = data[0];
    const bool byteSplit = mode & 1;
    const std::size_t count = static_cast<std::size_t>((mode >> 1) & 3) % 3 + 1;
    std::size_t pos = 1;
    std::vector<std::size_t> lengths;
    for (std::size_t i = 0; i + 1 < count; ++i) {
        if (size - pos < 2) return 0;
        lengths.push_back(static_cast<std::size_t>(data[pos] | (data[pos + 1] << 8)));
        pos += 2;
    }
    TScratch scratch("fuzz-split");
    if (scratch.Path().empty()) return 0;
    std::vector<fs::path> paths;
    for (std::size_t i = 0; i < count; ++i) {
        const bool last = i + 1 == count;
        std::string name;
        if (byteSplit) name = "a.zip.00" + std::to_string(i + 1);
        else name = last ? "a.zip" : "a.z0" + std::to_string(i + 1);
        const std::size_t length = last ? size - pos : std::min(lengths[i], size - pos);
        WriteBytes(scratch.Path() / name, data + pos, length);
        pos += length;
        paths.push_back(scratch.Path() / name);
    }
    try {
        const std::optional<tavik::TSplitSet> set = tavik::FindSplitSet(paths.front().string());
        if (set) ReadAll(*set);
        const fs::path out = scratch.Path() / "out";
        fs::create_directory(out);
        if (mode & 8) tavik::MergeArchive(paths.back().string(), out.string(), nullptr);
        if (mode & 16) {
            fs::create_directory(out / "span");
            tavik::SpanArchive(paths.back().string(), (out / "span").string(), 65536, nullptr);
        }
    } catch (const std::exception&) {
        // Refusals are expected; crashes, hangs and leaks are what this looks for.
    }
    return 0;
}
