#include "host/engine/zip/zip_entry_reader.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <new>

#include "host/engine/zip/zip_handles.h"
#include "host/services/exceptions.h"

namespace tavik {

namespace {

constexpr TErrorKind kDamaged = TErrorKind::DamagedArchive;
[[noreturn]] void MoreThanAnnounced() { throw EOlvex("Der Eintrag enthält mehr Daten als angegeben (beschädigt).", kDamaged); }
[[noreturn]] void LessThanAnnounced() { throw EOlvex("Der Eintrag enthält weniger Daten als angegeben (beschädigt).", kDamaged); }
[[noreturn]] void BadData() { throw EOlvex(ZipErrorText(ZIP_ER_COMPRESSED_DATA) + " (beschädigt).", kDamaged); }

void CheckCrc(const TZipEntry& entry, std::uint32_t crc) {
    if ((entry.stat.valid & ZIP_STAT_CRC) != 0 && crc != entry.stat.crc) throw EOlvex(ZipErrorText(ZIP_ER_CRC) + ".", kDamaged);
}

struct TInflateEnd {
    void operator()(z_stream* stream) const { inflateEnd(stream); }
};

// Deflate makes at most 1032 bytes of one. A declared size beyond that cannot be true, and the
// memory taken for an entry at once must not follow what the archive merely claims.
constexpr std::uint64_t kMaxDeflateRatio = 1032;

}  // namespace

void TZipEntryReader::TFree::operator()(libdeflate_decompressor* decompressor) const {
    libdeflate_free_decompressor(decompressor);
}

TZipEntryReader::TZipEntryReader(zip_t* archive, TEntryReadLimits limits)
    : FArchive(archive), FLimits(limits), FDecompressor(libdeflate_alloc_decompressor()) {
    if (!FDecompressor) throw std::bad_alloc();
    FLimits.piece = std::max<std::size_t>(FLimits.piece, 4096);
}

TZipEntryReader::~TZipEntryReader() = default;

std::uint8_t* TZipEntryReader::Room(std::unique_ptr<std::uint8_t[]>& buffer, std::size_t& capacity, std::size_t size) {
    if (capacity < size || !buffer) {
        buffer.reset();
        capacity = std::max<std::size_t>(size, 1);
        buffer = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
    }
    return buffer.get();
}

void TZipEntryReader::Read(const TZipEntry& entry, const TSink& sink, const TProgress& progress) {
    if (entry.encrypted) throw EOlvex("Der Eintrag ist verschlüsselt und kann nicht gelesen werden.");
    const bool known = (entry.stat.valid & (ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC)) ==
                       (ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC);
    const zip_int32_t method = entry.stat.comp_method;
    if (!known || (method != ZIP_CM_STORE && method != ZIP_CM_DEFLATE)) {
        ReadThroughLibzip(entry, sink, progress);
        return;
    }
    TZipFilePtr file(zip_fopen_index(FArchive, entry.index, ZIP_FL_COMPRESSED));
    if (!file) throw EOlvex(ZipErrorText(zip_get_error(FArchive)) + ".", ZipErrorKind(zip_get_error(FArchive)));
    if (method == ZIP_CM_STORE) ReadStored(file.get(), entry, sink, progress);
    else if (entry.stat.size <= FLimits.wholeEntry && entry.stat.comp_size <= FLimits.wholeEntry &&
             entry.stat.size <= entry.stat.comp_size * kMaxDeflateRatio + 1024)
        InflateWhole(file.get(), entry, sink, progress);
    else InflatePieces(file.get(), entry, sink, progress);
}

std::size_t TZipEntryReader::ReadRaw(zip_file_t* file, std::uint8_t* data, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        const zip_int64_t n = zip_fread(file, data + got, size - got);
        if (n < 0) throw EOlvex(ZipErrorText(zip_file_get_error(file)) + ".", ZipErrorKind(zip_file_get_error(file)));
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

void TZipEntryReader::HandOn(const std::uint8_t* data, std::size_t size, std::int64_t before, const TSink& sink,
                             const TProgress& progress) {
    for (std::size_t at = 0; at < size;) {
        const std::size_t length = std::min(FLimits.piece, size - at);
        sink(data + at, length);
        at += length;
        progress(before + static_cast<std::int64_t>(at));
    }
}

void TZipEntryReader::ReadStored(zip_file_t* file, const TZipEntry& entry, const TSink& sink,
                                 const TProgress& progress) {
    if (entry.stat.comp_size != entry.stat.size) {
        if (entry.stat.comp_size > entry.stat.size) MoreThanAnnounced();
        LessThanAnnounced();
    }
    std::uint8_t* buffer = Room(FIn, FInCapacity, FLimits.piece);
    std::uint64_t done = 0;
    std::uint32_t crc = 0;
    while (done < entry.stat.size) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(FLimits.piece, entry.stat.size - done));
        const std::size_t got = ReadRaw(file, buffer, want);
        if (got == 0) LessThanAnnounced();
        crc = libdeflate_crc32(crc, buffer, got);
        sink(buffer, got);
        done += got;
        progress(static_cast<std::int64_t>(done));
    }
    CheckCrc(entry, crc);
}

void TZipEntryReader::InflateWhole(zip_file_t* file, const TZipEntry& entry, const TSink& sink,
                                   const TProgress& progress) {
    const auto compressed = static_cast<std::size_t>(entry.stat.comp_size);
    const auto size = static_cast<std::size_t>(entry.stat.size);
    std::uint8_t* in = Room(FIn, FInCapacity, compressed);
    if (ReadRaw(file, in, compressed) != compressed) BadData();
    std::uint8_t* out = Room(FOut, FOutCapacity, size);
    std::size_t produced = 0;
    switch (libdeflate_deflate_decompress(FDecompressor.get(), in, compressed, out, size, &produced)) {
        case LIBDEFLATE_SUCCESS: break;
        case LIBDEFLATE_SHORT_OUTPUT: LessThanAnnounced();
        case LIBDEFLATE_INSUFFICIENT_SPACE: MoreThanAnnounced();
        default: BadData();
    }
    // With the produced count asked for, libdeflate reports a short entry as success.
    if (produced != size) LessThanAnnounced();
    CheckCrc(entry, libdeflate_crc32(0, out, size));
    HandOn(out, size, 0, sink, progress);
}

void TZipEntryReader::InflatePieces(zip_file_t* file, const TZipEntry& entry, const TSink& sink,
                                    const TProgress& progress) {
    z_stream inflater{};
    if (inflateInit2(&inflater, -MAX_WBITS) != Z_OK) throw std::bad_alloc();
    const std::unique_ptr<z_stream, TInflateEnd> owner(&inflater);
    std::uint8_t* in = Room(FIn, FInCapacity, FLimits.piece);
    std::uint8_t* out = Room(FOut, FOutCapacity, FLimits.piece);
    std::uint64_t compressedLeft = entry.stat.comp_size;
    std::uint64_t done = 0;
    std::uint32_t crc = 0;
    for (int result = Z_OK; result != Z_STREAM_END;) {
        if (inflater.avail_in == 0) {
            if (compressedLeft == 0) BadData();  // the stream goes on beyond the entry
            const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(FLimits.piece, compressedLeft));
            const std::size_t got = ReadRaw(file, in, want);
            if (got == 0) BadData();
            compressedLeft -= got;
            inflater.next_in = in;
            inflater.avail_in = static_cast<uInt>(got);
        }
        inflater.next_out = out;
        inflater.avail_out = static_cast<uInt>(FLimits.piece);
        result = inflate(&inflater, Z_NO_FLUSH);
        if (result != Z_OK && result != Z_STREAM_END) BadData();
        const std::size_t produced = FLimits.piece - inflater.avail_out;
        if (done + produced > entry.stat.size) MoreThanAnnounced();
        crc = libdeflate_crc32(crc, out, produced);
        if (produced > 0) sink(out, produced);
        done += produced;
        progress(static_cast<std::int64_t>(done));
    }
    if (done != entry.stat.size) LessThanAnnounced();
    CheckCrc(entry, crc);
}

void TZipEntryReader::ReadThroughLibzip(const TZipEntry& entry, const TSink& sink, const TProgress& progress) {
    const auto size = static_cast<std::int64_t>((entry.stat.valid & ZIP_STAT_SIZE) ? entry.stat.size : 0);
    TZipFilePtr file(zip_fopen_index(FArchive, entry.index, 0));
    if (!file) throw EOlvex(ZipErrorText(zip_get_error(FArchive)) + ".", ZipErrorKind(zip_get_error(FArchive)));
    std::uint8_t* buffer = Room(FIn, FInCapacity, FLimits.piece);
    std::int64_t read = 0;
    for (;;) {
        const zip_int64_t n = zip_fread(file.get(), buffer, FLimits.piece);
        if (n < 0)
            throw EOlvex(ZipErrorText(zip_file_get_error(file.get())) + ".", ZipErrorKind(zip_file_get_error(file.get())));
        if (n == 0) break;
        read += n;
        if (read > size) MoreThanAnnounced();
        sink(buffer, static_cast<std::size_t>(n));
        progress(read);
    }
    if (read != size) LessThanAnnounced();
    if (zip_fclose(file.release()) != 0) throw EOlvex("Der Eintrag ist beschädigt.", kDamaged);
}

}  // namespace tavik
