#include "host/engine/zip/zip_handles.h"

#include <cstring>

#include "host/engine/split/split_volumes.h"
#include "host/engine/zip/zip_structure.h"
#include "host/services/exceptions.h"

namespace tavik {

std::string ZipErrorText(int zipError, int systemError) {
    std::string text;
    switch (zipError) {
        case ZIP_ER_OK: return "kein Fehler";
        case ZIP_ER_MULTIDISK: text = "Mehrteilige Archive werden so nicht unterstützt"; break;
        case ZIP_ER_RENAME: text = "Die temporäre Datei kann nicht umbenannt werden"; break;
        case ZIP_ER_CLOSE: text = "Die Datei kann nicht geschlossen werden"; break;
        case ZIP_ER_SEEK: text = "Fehler beim Positionieren in der Datei"; break;
        case ZIP_ER_READ: text = "Lesefehler"; break;
        case ZIP_ER_WRITE: text = "Schreibfehler"; break;
        case ZIP_ER_CRC: text = "Prüfsummenfehler (CRC): die Daten sind beschädigt"; break;
        case ZIP_ER_ZIPCLOSED: text = "Das Archiv wurde bereits geschlossen"; break;
        case ZIP_ER_NOENT: text = "Die Datei existiert nicht"; break;
        case ZIP_ER_EXISTS: text = "Die Datei existiert bereits"; break;
        case ZIP_ER_OPEN: text = "Die Datei kann nicht geöffnet werden"; break;
        case ZIP_ER_TMPOPEN: text = "Die temporäre Datei kann nicht angelegt werden"; break;
        case ZIP_ER_ZLIB: text = "Fehler beim Entpacken der Daten (zlib)"; break;
        case ZIP_ER_MEMORY: text = "Nicht genug Arbeitsspeicher"; break;
        case ZIP_ER_CHANGED: text = "Der Eintrag wurde verändert"; break;
        case ZIP_ER_COMPNOTSUPP: text = "Die Kompressionsmethode wird nicht unterstützt"; break;
        case ZIP_ER_EOF: text = "Die Datei endet vorzeitig"; break;
        case ZIP_ER_INVAL: text = "Ungültiges Argument"; break;
        case ZIP_ER_NOZIP: text = "Die Datei ist kein ZIP-Archiv"; break;
        case ZIP_ER_INTERNAL: text = "Interner Fehler der ZIP-Bibliothek"; break;
        case ZIP_ER_INCONS: text = "Das ZIP-Archiv ist inkonsistent (beschädigt)"; break;
        case ZIP_ER_REMOVE: text = "Die Datei kann nicht entfernt werden"; break;
        case ZIP_ER_DELETED: text = "Der Eintrag wurde gelöscht"; break;
        case ZIP_ER_ENCRNOTSUPP: text = "Die Verschlüsselungsmethode wird nicht unterstützt"; break;
        case ZIP_ER_RDONLY: text = "Das Archiv ist schreibgeschützt"; break;
        case ZIP_ER_NOPASSWD: text = "Der Eintrag ist verschlüsselt; ein Kennwort ist nötig"; break;
        case ZIP_ER_WRONGPASSWD: text = "Falsches Kennwort"; break;
        case ZIP_ER_OPNOTSUPP: text = "Die Operation wird nicht unterstützt"; break;
        case ZIP_ER_INUSE: text = "Die Ressource ist in Gebrauch"; break;
        case ZIP_ER_TELL: text = "Fehler beim Bestimmen der Position in der Datei"; break;
        case ZIP_ER_COMPRESSED_DATA: text = "Die komprimierten Daten sind ungültig"; break;
        case ZIP_ER_CANCELLED: text = "Der Vorgang wurde abgebrochen"; break;
        default: text = "Unbekannter Fehler der ZIP-Bibliothek (" + std::to_string(zipError) + ")"; break;
    }
    if (systemError != 0) text += " (" + std::string(std::strerror(systemError)) + ")";
    return text;
}

TErrorKind ZipErrorKind(const zip_error_t* error) {
    switch (zip_error_code_zip(error)) {
        case ZIP_ER_CRC:
        case ZIP_ER_ZLIB:
        case ZIP_ER_EOF:
        case ZIP_ER_NOZIP:
        case ZIP_ER_INCONS:
        case ZIP_ER_COMPRESSED_DATA: return TErrorKind::DamagedArchive;
        case ZIP_ER_NOENT: return TErrorKind::InputMissing;
        case ZIP_ER_CANCELLED: return TErrorKind::Aborted;
        default: break;
    }
    if (zip_error_system_type(error) != ZIP_ET_SYS) return TErrorKind::Other;
    const int system = zip_error_code_system(error);
    // libzip reports a file it cannot open for reading as ZIP_ER_OPEN with the system's ENOENT.
    if (zip_error_code_zip(error) == ZIP_ER_OPEN) return KindOfInputError(system);
    return KindOfWriteError(system);
}

std::string ZipErrorText(const zip_error_t* error) {
    const bool system = zip_error_system_type(error) == ZIP_ET_SYS;
    return ZipErrorText(zip_error_code_zip(error), system ? zip_error_code_system(error) : 0);
}

TZipSourcePtr CreateArchiveSource(const std::string& path) {
    TZipSourcePtr source;
    if (const std::optional<TSplitSet> set = FindSplitSet(path)) {
        source.reset(CreateSplitSetSource(*set));
        if (!source) throw EOlvex("Die geteilte Archivdatei „" + path + "“ kann nicht gelesen werden.");
        return source;
    }
    zip_error_t error;
    zip_error_init(&error);
    const std::unique_ptr<zip_error_t, TZipErrorFini> errorOwner(&error);
    source.reset(zip_source_file_create(path.c_str(), 0, -1, &error));
    if (!source)
        throw EOlvex("Die Archivdatei „" + path + "“ kann nicht geöffnet werden: " + ZipErrorText(&error) + ".",
                     ZipErrorKind(&error));
    return source;
}

TZipPtr OpenZipForReading(const std::string& path, bool checkStructure) {
    if (checkStructure) {
        try {
            CheckZipStructure(CreateArchiveSource(path).get());
        } catch (const EOlvex& e) {
            // A file that is gone is not damaged.
            throw EOlvex("Die Archivdatei „" + path + "“ ist beschädigt oder kein ZIP-Archiv. " + e.what(),
                         e.Kind() == TErrorKind::InputMissing ? e.Kind() : TErrorKind::DamagedArchive);
        }
    }
    TZipSourcePtr source = CreateArchiveSource(path);
    zip_error_t error;
    zip_error_init(&error);
    const std::unique_ptr<zip_error_t, TZipErrorFini> errorOwner(&error);
    TZipPtr archive(zip_open_from_source(source.get(), ZIP_RDONLY, &error));
    if (!archive) {
        std::string text = ZipErrorText(&error);
        if (zip_error_code_zip(&error) == ZIP_ER_NOZIP || zip_error_code_zip(&error) == ZIP_ER_INCONS)
            text += ". Die Datei ist beschädigt oder kein ZIP-Archiv";
        throw EOlvex("Die Archivdatei „" + path + "“ kann nicht gelesen werden: " + text + ".", ZipErrorKind(&error));
    }
    source.release();  // the archive owns it now
    return archive;
}

}  // namespace tavik
