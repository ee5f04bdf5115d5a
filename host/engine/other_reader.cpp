#include "host/engine/other_reader.h"

#include <cstdint>

#include "host/engine/entry_name.h"
#include "host/services/exceptions.h"

namespace tavik {

TUtf8Locale::TUtf8Locale() {
    for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
        FLocale = newlocale(LC_CTYPE_MASK, name, nullptr);
        if (FLocale != nullptr) break;
    }
    if (FLocale != nullptr) FPrevious = uselocale(FLocale);
}

TUtf8Locale::~TUtf8Locale() {
    if (FLocale == nullptr) return;
    uselocale(FPrevious);
    freelocale(FLocale);
}

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

namespace {

// wchar_t is UTF-32 here; libarchive's own conversion to UTF-8 depends on the locale.
std::string WideToUtf8(const wchar_t* text) {
    std::string result;
    for (; *text != L'\0'; ++text) {
        auto c = static_cast<std::uint32_t>(*text);
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
        if (c < 0x80) {
            result += static_cast<char>(c);
        } else if (c < 0x800) {
            result += static_cast<char>(0xC0 | (c >> 6));
            result += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            result += static_cast<char>(0xE0 | (c >> 12));
            result += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            result += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            result += static_cast<char>(0xF0 | (c >> 18));
            result += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            result += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            result += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return result;
}

std::string PickName(const wchar_t* wide, const char* utf8, const char* native) {
    if (wide != nullptr) return WideToUtf8(wide);
    if (utf8 != nullptr) return utf8;
    return native != nullptr ? native : "";
}

}  // namespace

std::string ArchiveEntryName(archive_entry* entry) {
    return PickName(archive_entry_pathname_w(entry), archive_entry_pathname_utf8(entry), archive_entry_pathname(entry));
}

std::optional<std::string> ArchiveEntryHardlink(archive_entry* entry) {
    if (archive_entry_hardlink_w(entry) == nullptr && archive_entry_hardlink(entry) == nullptr) return std::nullopt;
    return PickName(archive_entry_hardlink_w(entry), archive_entry_hardlink_utf8(entry), archive_entry_hardlink(entry));
}

std::string ArchiveEntrySymlink(archive_entry* entry) {
    return PickName(archive_entry_symlink_w(entry), archive_entry_symlink_utf8(entry), archive_entry_symlink(entry));
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
