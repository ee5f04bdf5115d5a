// Measures how fast the engine's piecewise decoders make output, without reading or checking.
//   method_decoder_bench ARCHIVE [RUNS]
// Holds the raw data of each entry of ARCHIVE (a ZIP, unencrypted) in memory and decodes it RUNS
// times (default 5) in pieces of 1 MiB in and out, as the engine reads an entry, with the decoder
// for its method (Deflate64, deflate through zlib, LZMA, ...). Prints, per entry, the method, the
// size and the median rate in MB/s of output.
#include <zip.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "host/engine/zip/zip_method_decoder.h"

namespace {

constexpr std::size_t kPiece = 1 << 20;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Decodes data once; returns the bytes made.
std::uint64_t DecodeAll(std::int32_t method, std::uint64_t size, const std::vector<std::uint8_t>& data,
                        std::vector<std::uint8_t>& out) {
    const std::unique_ptr<tavik::TZipMethodDecoder> decoder = tavik::CreateZipMethodDecoder(method, size);
    std::uint64_t made = 0;
    std::size_t at = 0;
    for (bool ended = false; !ended;) {
        const std::size_t piece = std::min(kPiece, data.size() - at);
        std::size_t used = 0, produced = 0;
        ended = decoder->Decode(data.data() + at, piece, at + piece == data.size(), out.data(), out.size(), used,
                                produced);
        at += used;
        made += produced;
        if (!ended && used == 0 && produced == 0 && !decoder->Busy()) break;
    }
    return made;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "Aufruf: method_decoder_bench ARCHIV [DURCHLÄUFE]\n");
        return 2;
    }
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    int error = 0;
    const std::unique_ptr<zip_t, decltype(&zip_discard)> archive(zip_open(argv[1], ZIP_RDONLY, &error), &zip_discard);
    if (!archive) {
        std::fprintf(stderr, "%s lässt sich nicht öffnen (libzip-Fehler %d).\n", argv[1], error);
        return 1;
    }
    std::vector<std::uint8_t> out(kPiece);
    for (zip_int64_t index = 0; index < zip_get_num_entries(archive.get(), 0); ++index) {
        zip_stat_t stat;
        if (zip_stat_index(archive.get(), static_cast<zip_uint64_t>(index), 0, &stat) != 0 || stat.size == 0 ||
            !tavik::CreateZipMethodDecoder(stat.comp_method, stat.size))
            continue;
        std::vector<std::uint8_t> data(stat.comp_size);
        const std::unique_ptr<zip_file_t, decltype(&zip_fclose)> file(
            zip_fopen_index(archive.get(), static_cast<zip_uint64_t>(index), ZIP_FL_COMPRESSED), &zip_fclose);
        if (!file || zip_fread(file.get(), data.data(), data.size()) != static_cast<zip_int64_t>(data.size())) {
            std::fprintf(stderr, "%s: die Daten lassen sich nicht lesen.\n", stat.name);
            return 1;
        }
        std::vector<double> rates;
        for (int run = 0; run < runs; ++run) {
            const auto start = std::chrono::steady_clock::now();
            const std::uint64_t made = DecodeAll(stat.comp_method, stat.size, data, out);
            const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
            if (made != stat.size) {
                std::fprintf(stderr, "%s: %llu statt %llu Bytes.\n", stat.name, static_cast<unsigned long long>(made),
                             static_cast<unsigned long long>(stat.size));
                return 1;
            }
            rates.push_back(static_cast<double>(made) / 1e6 / seconds.count());
        }
        std::printf("%s\tMethode %d\t%llu Bytes\t%.0f MB/s\n", stat.name, stat.comp_method,
                    static_cast<unsigned long long>(stat.size), Median(rates));
    }
    return 0;
}
