#include "host/engine/other/leser/leser_archive.h"

#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <limits>
#include <vector>

#include "host/engine/other/leser/leser_limits.h"
#include "host/engine/other/leser/leser_output.h"
#include "host/services/whole_io.h"

namespace tavik::leser {

namespace {

// The archive file as libarchive sees it. Reading far more than the file holds means that the
// library goes round in circles over the same bytes.
struct TSource {
    int Fd = -1;
    std::int64_t Position = 0;
    std::int64_t Furthest = 0;
    std::int64_t TotalRead = 0;
    std::int64_t ReadBound = 0;
    timespec LastAlive{};
    std::vector<char> Buffer = std::vector<char>(64 * 1024);
};

bool SecondPassed(timespec& last) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const std::int64_t ms = (now.tv_sec - last.tv_sec) * 1000 + (now.tv_nsec - last.tv_nsec) / 1000000;
    if (ms < 1000) return false;
    last = now;
    return true;
}

la_ssize_t SourceRead(archive*, void* data, const void** buffer) {
    auto& source = *static_cast<TSource*>(data);
    const ssize_t n = RetryInterrupted([&] { return ::read(source.Fd, source.Buffer.data(), source.Buffer.size()); });
    if (n < 0) return -1;
    *buffer = source.Buffer.data();
    source.Position += n;
    source.TotalRead += n;
    if (source.TotalRead > source.ReadBound) _exit(LeserExitRereading);
    if (n > 0) LeserProgress();
    if (source.Position > source.Furthest) {
        source.Furthest = source.Position;
        if (SecondPassed(source.LastAlive)) Send(TLeserFrameType::Alive);
    }
    return n;
}

la_int64_t SourceSeek(archive*, void* data, la_int64_t offset, int whence) {
    auto& source = *static_cast<TSource*>(data);
    const off_t result = ::lseek(source.Fd, offset, whence);
    if (result < 0) return ARCHIVE_FATAL;
    source.Position = result;
    return result;
}

la_int64_t SourceSkip(archive* a, void* data, la_int64_t request) {
    auto& source = *static_cast<TSource*>(data);
    const la_int64_t before = source.Position;
    const la_int64_t after = SourceSeek(a, data, request, SEEK_CUR);
    return after < 0 ? 0 : after - before;
}

int SourceClose(archive*, void*) { return ARCHIVE_OK; }

}  // namespace

std::int64_t ArchiveReadBound(int fd, bool protective) {
    if (!protective) return std::numeric_limits<std::int64_t>::max();
    struct stat status {};
    const std::int64_t size = fstat(fd, &status) == 0 ? status.st_size : 0;
    return LeserRereadFactor * size + LeserRereadAllowance;
}

TArchivePtr OpenArchiveReader(int fd, std::int64_t readBound, TLeserFailure& failure) {
    TArchivePtr reader(archive_read_new());
    if (!reader) {
        failure = {TLeserFailureKind::Damaged, "Nicht genug Arbeitsspeicher zum Lesen des Archivs"};
        return nullptr;
    }
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
    // An rpm package is a cpio archive behind the package's own headers.
    archive_read_support_filter_rpm(a);
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
    archive_read_support_format_warc(a);

    // The source lives as long as the process: the reader is freed only at its end.
    static TSource source;
    source.Fd = fd;
    source.ReadBound = readBound;
    clock_gettime(CLOCK_MONOTONIC, &source.LastAlive);
    archive_read_set_callback_data(a, &source);
    archive_read_set_read_callback(a, SourceRead);
    archive_read_set_seek_callback(a, SourceSeek);
    archive_read_set_skip_callback(a, SourceSkip);
    archive_read_set_close_callback(a, SourceClose);
    if (archive_read_open1(a) != ARCHIVE_OK) {
        failure = ArchiveFailure(a);
        return nullptr;
    }
    return reader;
}

std::string LibraryText(archive* reader) {
    const char* text = archive_error_string(reader);
    return text != nullptr && *text != '\0' ? text : "ohne nähere Angabe";
}

TLeserFailure ArchiveFailure(archive* reader) {
    const char* text = archive_error_string(reader);
    if (text == nullptr || *text == '\0') return {TLeserFailureKind::Damaged, "unbekannter Fehler beim Lesen des Archivs"};
    const std::string message = text;
    std::string lower = message;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const auto has = [&lower](const char* part) { return lower.find(part) != std::string::npos; };
    if (has("unrecognized archive format")) return {TLeserFailureKind::NoArchive, kLeserNoArchive};
    if (has("ncrypt"))
        return {TLeserFailureKind::Unsupported,
                "Das Archiv ist verschlüsselt; verschlüsselte Archive dieses Formats werden nicht unterstützt (" +
                    message + ")"};
    // libarchive gives the same error number for what it cannot decode as for damage; only the
    // text tells them apart. A 7z filter it does not know (ARM64, say) is an "unexpected codec".
    if (has("unsupported") || has("not supported") || has("support unavailable") || has("unknown codec") ||
        has("unexpected codec") || has("unknown compression"))
        return {TLeserFailureKind::Unsupported, "Das Verfahren ist nicht unterstützt (" + message + ")"};
    if (has("truncated")) return {TLeserFailureKind::Damaged, "Das Archiv ist unvollständig (" + message + ")"};
    return {TLeserFailureKind::Damaged, "Das Archiv ist beschädigt oder nicht lesbar (" + message + ")"};
}

std::string ArchiveErrorText(archive* reader) { return ArchiveFailure(reader).Reason; }

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

TLeserEntry ArchiveEntryFields(archive_entry* entry) {
    TLeserEntry fields;
    fields.Name = PickName(archive_entry_pathname_w(entry), archive_entry_pathname_utf8(entry),
                           archive_entry_pathname(entry));
    if (archive_entry_hardlink_w(entry) != nullptr || archive_entry_hardlink(entry) != nullptr)
        fields.Hardlink = PickName(archive_entry_hardlink_w(entry), archive_entry_hardlink_utf8(entry),
                                   archive_entry_hardlink(entry));
    switch (archive_entry_filetype(entry)) {
        // ar and some cpio writers store no file type: such an entry holds data like a file.
        case 0:
        case AE_IFREG: fields.Kind = TLeserEntryKind::File; break;
        case AE_IFDIR: fields.Kind = TLeserEntryKind::Directory; break;
        case AE_IFLNK:
            fields.Kind = TLeserEntryKind::Symlink;
            fields.Symlink = PickName(archive_entry_symlink_w(entry), archive_entry_symlink_utf8(entry),
                                      archive_entry_symlink(entry));
            break;
        default: fields.Kind = TLeserEntryKind::Other; break;
    }
    fields.Permissions = archive_entry_perm(entry) & 07777;
    if (archive_entry_size_is_set(entry) && archive_entry_size(entry) >= 0) fields.Size = archive_entry_size(entry);
    if (archive_entry_mtime_is_set(entry)) fields.ModTime = archive_entry_mtime(entry);
    fields.Encrypted = archive_entry_is_encrypted(entry) != 0;
    return fields;
}

}  // namespace tavik::leser
