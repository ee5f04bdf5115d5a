// Measures the scan of a host installation against `find -printf '%s %T@'` over the same tree.
//   scan_bench [FILES] [WORKDIR]
// Creates an installation with FILES files (default 100000) in 1000 directories below
// WORKDIR (default: a temporary directory), with patterns, exact rules and related files,
// then times both alternately, five times each, and prints the medians.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "host/services/host_setup.h"
#include "host/services/tavik_info.h"
#include "host/services/tavik_programm.h"
#include "task/dmarchivu.h"

namespace {

double Seconds(const std::chrono::steady_clock::duration& d) { return std::chrono::duration<double>(d).count(); }

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int files = argc > 1 ? std::atoi(argv[1]) : 100000;
    std::string work = argc > 2 ? argv[2] : "";
    if (work.empty()) {
        std::string pattern = (std::filesystem::temp_directory_path() / "vendrask-scan-XXXXXX").string();
        if (!mkdtemp(pattern.data())) return 1;
        work = pattern;
    }
    const std::string root = work + "/olvex";
    if (!std::filesystem::exists(root + "/olvex.db")) {
        tavik::THostSetup host(root, "Messung");
        host.AddRule(1, "stadata/*.dat", true, 365);
        host.AddRule(1, "stadata/d00*/*.log", true, 30);
        const std::time_t now = std::time(nullptr);
        for (int i = 0; i < files; ++i) {
            char name[64];
            std::snprintf(name, sizeof name, "stadata/d%04d/f%06d.%s", i % 1000, i, i % 3 ? "dat" : "log");
            if (i % 100 == 0) host.AddRule(1, name, false, 0);
            if (i % 50 == 1) host.AddRelated(name, {name});
            host.WriteFile(name, "x", now - static_cast<std::time_t>(i % 800) * 86400);
        }
    }
    setenv("OLVEX_ROOT", root.c_str(), 1);
    tavik::TavikProgramm().Init("VENDRASK", tavik::TEnumProzessTypen::ptBatch, tavik::TPVR_InstanceCount::icAny, 0, true);

    const std::string find = "find '" + root + "/stadata' '" + root + "/ARCHIV' '" + root +
                             "/STATEMP' -type f -printf '%s %T@\\n' > /dev/null";
    std::vector<double> scan, reference;
    int candidates = 0;
    for (int round = 0; round < 5; ++round) {
        auto start = std::chrono::steady_clock::now();
        if (std::system(find.c_str()) != 0) return 1;
        reference.push_back(Seconds(std::chrono::steady_clock::now() - start));

        start = std::chrono::steady_clock::now();
        vendrask::TdmOlvexArchiv module({"scan_bench"});
        module.ExploreSystem();
        scan.push_back(Seconds(std::chrono::steady_clock::now() - start));
        candidates = module.SystemArch()->GetRowCount();
    }
    std::printf("files %d, archive candidates %d, failures %d\n", files, candidates, tavik::TavikInfo().FailureCount());
    std::printf("%-28s %8.3f s\n", "find -printf '%s %T@'", Median(reference));
    std::printf("%-28s %8.3f s   ratio %.2f\n", "vendrask scan", Median(scan), Median(scan) / Median(reference));
    return 0;
}
