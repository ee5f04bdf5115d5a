#include "app/run_summary.h"

#include <cstdio>

#include "host/services/formatting.h"
#include "host/services/tavik_info.h"

namespace vendrask {

void PrintRunSummary(const TdmOlvexArchiv& module) {
    if (module.AutoArchivieren) {
        const auto& run = module.LastArchivRun();
        if (run.Path.empty())
            std::printf("Archivieren: keine Dateien zu archivieren.\n");
        else if (run.Ok)
            std::printf("Archivieren: %d Dateien (%s) nach %s geschrieben und gelöscht.\n", run.Files,
                        tavik::tavik_FormatByteSize(run.Bytes).c_str(), run.Path.c_str());
        else
            std::printf("Archivieren: fehlgeschlagen, es wurde nichts gelöscht.\n");
    }
    if (module.AutoDelete) std::printf("Löschen: %zu Dateien gelöscht.\n", module.LastDeleted().size());
    const int failures = tavik::TavikInfo().FailureCount();
    if (failures > 0) std::printf("Fehler: %d (Einzelheiten in der Fehlerausgabe).\n", failures);
}

}  // namespace vendrask
