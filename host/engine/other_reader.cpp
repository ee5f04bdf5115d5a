#include "host/engine/other_reader.h"

#include "host/engine/entry_name.h"
#include "host/services/exceptions.h"

namespace tavik {

TArchivePtr OpenArchiveReader(const std::string& path) {
    TArchivePtr reader(archive_read_new());
    if (!reader) throw EOlvex("Nicht genug Arbeitsspeicher zum Lesen des Archivs.");
    archive* a = reader.get();
    // Compression filters that need no outside program.
    archive_read_support_filter_gzip(a);
    archive_read_support_filter_bzip2(a);
    archive_read_support_filter_xz(a);
    archive_read_support_filter_lzma(a);
    archive_read_support_filter_lzip(a);
    archive_read_support_filter_zstd(a);
    archive_read_support_filter_lz4(a);
    archive_read_support_filter_compress(a);
    // Archive formats with a recognisable signature; not raw, mtree or empty.
    archive_read_support_format_tar(a);
    archive_read_support_format_gnutar(a);
    archive_read_support_format_cpio(a);
    archive_read_support_format_7zip(a);
    archive_read_support_format_iso9660(a);
    archive_read_support_format_cab(a);
    archive_read_support_format_lha(a);
    archive_read_support_format_rar(a);
    archive_read_support_format_rar5(a);
    archive_read_support_format_xar(a);
    archive_read_support_format_ar(a);
    if (archive_read_open_filename(a, path.c_str(), 64 * 1024) != ARCHIVE_OK)
        throw EOlvex("Die Archivdatei „" + path + "“ kann nicht geöffnet werden: " + ArchiveErrorText(a) + ".");
    return reader;
}

std::string ArchiveErrorText(archive* reader) {
    const char* text = archive_error_string(reader);
    if (text == nullptr || *text == '\0') return "unbekannter Fehler beim Lesen des Archivs";
    const std::string message = text;
    if (message.find("Unrecognized archive format") != std::string::npos)
        return "Die Datei ist kein Archiv eines bekannten Formats";
    if (message.find("Truncated") != std::string::npos || message.find("truncated") != std::string::npos)
        return "Das Archiv ist unvollständig (" + message + ")";
    return "Das Archiv ist beschädigt oder nicht lesbar (" + message + ")";
}

std::string ArchiveEntryName(archive_entry* entry) {
    const char* name = archive_entry_pathname_utf8(entry);
    if (name == nullptr) name = archive_entry_pathname(entry);
    return name != nullptr ? name : "";
}

TFileInfoItem ArchiveEntryItem(archive_entry* entry) {
    TFileInfoItem item;
    bool directory = false;
    std::string name = ArchiveEntryName(entry);
    while (name.rfind("./", 0) == 0 && name.size() > 2) name.erase(0, 2);
    SplitEntryName(name, item.RelDir, item.FileName, directory);
    item.Size = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : 0;
    if (archive_entry_mtime_is_set(entry)) item.DateTime = FileTimeToDateTime(archive_entry_mtime(entry));
    if (directory || archive_entry_filetype(entry) == AE_IFDIR) item.Attributes |= faDirectory;
    if ((archive_entry_perm(entry) & 0222) == 0) item.Attributes |= faReadOnly;
    return item;
}

}  // namespace tavik
