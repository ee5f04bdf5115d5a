#include "host/engine/zip/zip_handles.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "host/engine/split/split_source.h"
#include "host/engine/split/split_volumes.h"
#include "host/engine/zip/zip_structure.h"
#include "host/services/exceptions.h"
#include "host/services/system_error.h"

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
    if (systemError != 0) text += " (" + SystemErrorText(systemError) + ")";
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

namespace {

std::unique_ptr<split::TSplitArchive> ParseArchive(const std::string& path, split::TDirectoryReading reading = {}) {
    if (const std::optional<TSplitSet> set = FindSplitSet(path))
        return std::make_unique<split::TSplitArchive>(path, set, reading);
    // Non-blocking, so that a pipe put there cannot hold the open; the type is checked next.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT)
            throw EOlvex("Die Archivdatei „" + path + "“ existiert nicht. Bitte prüfen Sie Namen und Verzeichnis.",
                         TErrorKind::InputMissing);
        throw EOlvex("Die Archivdatei „" + path + "“ kann nicht geöffnet werden: " + ZipErrorText(ZIP_ER_OPEN, error) + ".",
                     KindOfInputError(error));
    }
    return std::make_unique<split::TSplitArchive>(path, TUniqueFd(fd), reading);
}

// libzip chooses among end records by its own rules; it must have found the directory that
// was read and checked. Entries are compared by what identifies them: a name may read
// differently (libzip takes a Unicode Path field in its place).
void RequireSameDirectory(const std::string& path, zip_t* archive, const zip::TZipDirectory& directory) {
    const std::vector<zip::TDirectoryEntry>& entries = directory.Entries();
    bool same = zip_get_num_entries(archive, 0) == static_cast<zip_int64_t>(entries.size());
    for (std::size_t i = 0; same && i < entries.size(); ++i) {
        zip_stat_t st;
        const zip::TCentralView& header = entries[i].header;
        // libzip gives no CRC for an AES entry that stores none (AE-2, CRC field 0).
        same = zip_stat_index(archive, i, ZIP_FL_ENC_RAW, &st) == 0 && (st.valid & ZIP_STAT_COMP_SIZE) != 0 &&
               (st.valid & ZIP_STAT_SIZE) != 0 && st.comp_size == header.compressedSize &&
               st.size == header.uncompressedSize &&
               ((st.valid & ZIP_STAT_CRC) != 0 ? st.crc == header.crc : header.crc == 0);
    }
    if (!same)
        throw EOlvex("Die Archivdatei „" + path + "“ ist beschädigt oder kein ZIP-Archiv. Die Struktur des Archivs "
                     "ist fehlerhaft: sie enthält mehr als ein Inhaltsverzeichnis.",
                     TErrorKind::DamagedArchive);
}

}  // namespace

TZipReading OpenZipForReading(const std::string& path, bool checkStructure) {
    const std::unique_ptr<split::TSplitArchive> parsed = ParseArchive(path);
    std::vector<std::uint64_t> dataStarts;
    if (checkStructure) {
        try {
            CheckZipStructure(parsed->Files(), parsed->Directory(), &dataStarts);
        } catch (const EOlvex& e) {
            // A file that is gone is not damaged.
            throw EOlvex("Die Archivdatei „" + path + "“ ist beschädigt oder kein ZIP-Archiv. " + e.what(),
                         e.Kind() == TErrorKind::InputMissing ? e.Kind() : TErrorKind::DamagedArchive);
        }
    }
    // libzip reads such a file as it is through a descriptor of its own; any other archive is
    // presented to it rewritten, and its files go to libzip.
    const bool ownFile = checkStructure && parsed->DiskCount() == 1 && parsed->Directory().AsWritten() &&
                         parsed->Files().SingleDescriptor() >= 0;
    TZipSourcePtr source(CreatePresentedSource(*parsed));
    zip_error_t error;
    zip_error_init(&error);
    const std::unique_ptr<zip_error_t, TZipErrorFini> errorOwner(&error);
    TZipReading reading;
    reading.archive.reset(zip_open_from_source(source.get(), ZIP_RDONLY, &error));
    if (!reading.archive) {
        std::string text = ZipErrorText(&error);
        if (zip_error_code_zip(&error) == ZIP_ER_NOZIP || zip_error_code_zip(&error) == ZIP_ER_INCONS)
            text += ". Die Datei ist beschädigt oder kein ZIP-Archiv";
        throw EOlvex("Die Archivdatei „" + path + "“ kann nicht gelesen werden: " + text + ".", ZipErrorKind(&error));
    }
    source.release();  // the archive owns it now
    const std::vector<zip::TDirectoryEntry>& entries = parsed->Directory().Entries();
    RequireSameDirectory(path, reading.archive.get(), parsed->Directory());
    reading.entries.reserve(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i)
        reading.entries.push_back(ReadZipEntry(reading.archive.get(), i, entries[i].header));
    const zip::TBytes& comment = parsed->Directory().End().comment;
    reading.seal = zip::CheckSeal(std::string_view(reinterpret_cast<const char*>(comment.data()), comment.size()),
                                  entries);
    if (ownFile) {
        reading.dataStarts = std::move(dataStarts);
        reading.dataLimit = parsed->CentralStart();
        reading.files = std::make_shared<split::TVolumeFiles>(std::move(parsed->Files()));
    }
    return reading;
}

void StreamZipDirectory(const std::string& path, const zip::TEntryVisitor& visit) {
    ParseArchive(path, {.stream = &visit});
}

void CheckZipEndRecords(const std::string& path) { ParseArchive(path, {.endOnly = true}); }

}  // namespace tavik
