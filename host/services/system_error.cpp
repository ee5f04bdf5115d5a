#include "host/services/system_error.h"

#include <cerrno>
#include <cstring>

namespace tavik {

std::string SystemErrorText(int error) {
    switch (error) {
        case EACCES:
        case EPERM: return "Zugriff verweigert";
        case ENOENT: return "es existiert nicht";
        case ENOTDIR: return "ein Teil des Pfades ist kein Verzeichnis";
        case EISDIR: return "es ist ein Verzeichnis";
        case ELOOP: return "es ist eine symbolische Verknüpfung, der nicht gefolgt wird";
        case EEXIST: return "der Name ist bereits vergeben";
        case ENOTEMPTY: return "das Verzeichnis ist nicht leer";
        case EBUSY: return "es ist in Gebrauch";
        case ENOSPC: return "der Datenträger ist voll";
        case EDQUOT: return "das Speicherkontingent ist erschöpft";
        case EFBIG: return "die Datei würde zu groß";
        case EROFS: return "der Datenträger ist schreibgeschützt";
        case EIO: return "Ein-/Ausgabefehler des Datenträgers";
        case ENAMETOOLONG: return "der Name oder der Pfad ist zu lang";
        case EMFILE:
        case ENFILE: return "zu viele offene Dateien";
        case ENOMEM: return "nicht genug Arbeitsspeicher";
        default: return "Systemfehler " + std::to_string(error) + " (" + std::strerror(error) + ")";
    }
}

}  // namespace tavik
