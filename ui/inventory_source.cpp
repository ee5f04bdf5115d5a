#include "ui/inventory_source.h"

#include <cstdlib>
#include <exception>
#include <filesystem>
#include <system_error>

#include "host/services/fs_names.h"
#include "host/services/host_settings.h"

namespace vendrask {

TInventorySource FindInventorySource() {
    TInventorySource source;
    const char* root = std::getenv("OLVEX_ROOT");
    if (root == nullptr || *root == '\0') {
        source.Reason = "Kein Archivbestand: Es ist keine Olvex-Installation angegeben (OLVEX_ROOT ist nicht "
                        "gesetzt). Bitte starten Sie die Archivverwaltung aus der Installation heraus.";
        return source;
    }
    source.Installation = root;
    std::string dir;
    try {
        dir = tavik::GetDirOlvexByName("ARCHIV", "", true);
        source.IntervalDays = tavik::PruefIntervallSetting();
    } catch (const std::exception& error) {
        source.Reason = std::string("Kein Archivbestand: ") + error.what();
        return source;
    }
    std::error_code error;
    if (!std::filesystem::is_directory(dir, error)) {
        source.Reason = "Kein Archivbestand: Das Archivverzeichnis „" + dir +
                        "“ fehlt.";
        return source;
    }
    source.ArchivDir = dir;
    return source;
}

}  // namespace vendrask
