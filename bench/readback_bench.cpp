// Measures what reading an archive back before deleting costs beside writing it.
//   readback_bench DIRECTORY ARCHIVE [RUNS]
// Packs DIRECTORY into ARCHIVE as the archive run does (ExecuteFilesAdd), then reads it back
// against the packed items with the whole file's digest (CheckPackedArchive); alternately, RUNS times (default 3), and
// prints the median seconds of both: "pack 12.3 s" and "read back 1.2 s".
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "host/engine/archiv_format.h"
#include "host/engine/pack/packed_check.h"

namespace {

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "Aufruf: readback_bench VERZEICHNIS ARCHIV [DURCHLÄUFE]\n");
        return 2;
    }
    const std::string directory = argv[1];
    const std::string archive = argv[2];
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    using Clock = std::chrono::steady_clock;
    std::vector<double> pack, readBack;
    for (int run = 0; run < runs; ++run) {
        std::remove(archive.c_str());
        auto engine = tavik::GetArchivFormatClass(tavik::TArchivFormat::Zip)();
        engine->ArchivFile = archive;
        engine->FileItemAdd(directory);
        const auto start = Clock::now();
        if (!engine->ExecuteFilesAdd(false)) {
            std::fprintf(stderr, "%s\n", engine->LastError().c_str());
            return 1;
        }
        const auto packed = Clock::now();
        // With the whole file's digest for the journal, as the archive run takes it.
        std::optional<tavik::TFileDigest> digest;
        const std::string damage = tavik::CheckPackedArchive(archive, engine->GetFileItemsList().Items(), 0, &digest);
        const auto checked = Clock::now();
        if (!damage.empty()) {
            std::fprintf(stderr, "%s\n", damage.c_str());
            return 1;
        }
        pack.push_back(std::chrono::duration<double>(packed - start).count());
        readBack.push_back(std::chrono::duration<double>(checked - packed).count());
    }
    std::remove(archive.c_str());
    std::printf("pack %.3f s\nread back %.3f s\n", Median(pack), Median(readBack));
    return 0;
}
