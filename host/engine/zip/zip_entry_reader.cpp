#include "host/engine/zip/zip_entry_reader.h"

#include <libdeflate.h>

#include <algorithm>
#include <new>

#include "host/engine/zip/zip_aes_auth.h"
#include "host/engine/zip/zip_handles.h"
#include "host/engine/zip/zip_method_decoder.h"
#include "host/engine/zip/zip_ppmd_decoder.h"
#include "host/engine/zip/zip_records.h"
#include "host/engine/zip/zip_stored_blocks.h"
#include "host/services/exceptions.h"

namespace tavik {

namespace {

constexpr TErrorKind kDamaged = TErrorKind::DamagedArchive;
[[noreturn]] void MoreThanAnnounced() { throw EOlvex("Der Eintrag enthält mehr Daten als angegeben (beschädigt).", kDamaged); }
[[noreturn]] void LessThanAnnounced() { throw EOlvex("Der Eintrag enthält weniger Daten als angegeben (beschädigt).", kDamaged); }
[[noreturn]] void BadData() { throw EOlvex(ZipErrorText(ZIP_ER_COMPRESSED_DATA) + " (beschädigt).", kDamaged); }

constexpr const char* kEncrypted =
    "Der Eintrag ist verschlüsselt; ohne Kennwort kann er nicht gelesen werden. Bitte geben Sie das Kennwort an.";
constexpr const char* kWrongPassword =
    "Falsches Kennwort: der Eintrag lässt sich damit nicht entschlüsseln. Bitte geben Sie das richtige Kennwort an.";
// Traditional encryption checks a password by one byte, AES by two: a wrong one can pass that
// check and show up only as data that does not decode or a checksum error at the end.
constexpr const char* kProbablyWrongPassword =
    "Das Kennwort ist wahrscheinlich falsch: die entschlüsselten Daten ergeben keinen gültigen Inhalt. Bitte prüfen "
    "Sie das Kennwort; ist es richtig, ist der Eintrag beschädigt.";


// Deflate makes at most 1032 bytes of one. A declared size beyond that cannot be true, and the
// memory taken for an entry at once must not follow what the archive merely claims.
constexpr std::uint64_t kMaxDeflateRatio = 1032;

// Small entries lie one after the other: one read of this many bytes serves many of them.
constexpr std::size_t kReadAhead = 256 * 1024;


// The length of the raw data once decrypted: the directory counts the encryption header and AES's
// salt, password check and authentication code in.
std::uint64_t PlainPackedSize(const zip_stat_t& stat) {
    if ((stat.valid & ZIP_STAT_COMP_SIZE) == 0) return 0;
    const std::uint64_t overhead =
        (stat.valid & ZIP_STAT_ENCRYPTION_METHOD) != 0 ? EncryptionOverhead(stat.encryption_method) : 0;
    return stat.comp_size > overhead ? stat.comp_size - overhead : 0;
}

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

void TZipEntryReader::CheckCrc(const TZipEntry& entry, std::uint32_t crc) {
    if ((entry.stat.valid & ZIP_STAT_CRC) == 0 || crc == entry.stat.crc) return;
    if (!entry.encrypted) throw EOlvex(ZipErrorText(ZIP_ER_CRC) + ".", kDamaged);
    ProbablyWrongPassword();
}

void TZipEntryReader::SetPassword(const std::string& password) {
    if (zip_set_default_password(FArchive, password.empty() ? nullptr : password.c_str()) != 0)
        throw EOlvex(ZipErrorText(zip_get_error(FArchive)) + ".", ZipErrorKind(zip_get_error(FArchive)));
    FPassword = password;
    FHasPassword = !password.empty();
}

void TZipEntryReader::ReadDirectly(zip::TByteReader& files, const std::vector<std::uint64_t>& dataStarts,
                                   std::uint64_t limit) {
    FFiles = &files;
    FDataStarts = &dataStarts;
    FDataLimit = limit;
    FAheadSize = 0;
}

void TZipEntryReader::TakeFromMemory(const std::uint8_t* data, std::uint64_t start, std::uint64_t size) {
    FMemory = data;
    FMemoryStart = data != nullptr ? start : 0;
    FMemorySize = data != nullptr ? size : 0;
}

const std::uint8_t* TZipEntryReader::InMemory(std::uint64_t position, std::uint64_t size) const {
    if (FMemory == nullptr || position < FMemoryStart || position - FMemoryStart > FMemorySize ||
        size > FMemorySize - (position - FMemoryStart))
        return nullptr;
    return FMemory + (position - FMemoryStart);
}

const std::uint8_t* TZipEntryReader::InMemory(const TRaw& raw) const {
    return raw.file == nullptr ? InMemory(raw.position, raw.left) : nullptr;
}

bool TZipEntryReader::ReadsWithoutLibzip(const TZipEntry& entry) const {
    const zip_uint64_t needed = ZIP_STAT_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_COMP_SIZE | ZIP_STAT_CRC;
    const zip_int32_t method = entry.stat.comp_method;
    if ((entry.stat.valid & needed) != needed || entry.encrypted || (method != ZIP_CM_STORE && method != ZIP_CM_DEFLATE))
        return false;
    if (FFiles == nullptr || entry.index >= FDataStarts->size()) return false;
    const std::uint64_t start = (*FDataStarts)[static_cast<std::size_t>(entry.index)];
    return start <= FDataLimit && entry.stat.comp_size <= FDataLimit - start;
}

TZipEntryReader::TRaw TZipEntryReader::RawData(const TZipEntry& entry, TZipFilePtr& file) {
    const bool direct = FFiles != nullptr && !entry.encrypted && entry.index < FDataStarts->size() &&
                        (entry.stat.valid & ZIP_STAT_COMP_SIZE) != 0;
    if (direct) {
        const std::uint64_t start = (*FDataStarts)[static_cast<std::size_t>(entry.index)];
        if (start <= FDataLimit && entry.stat.comp_size <= FDataLimit - start) return {nullptr, start, entry.stat.comp_size};
    }
    file = Open(entry, ZIP_FL_COMPRESSED);
    return {file.get(), 0, 0};
}

void TZipEntryReader::ReadAhead(std::uint64_t position, std::uint8_t* data, std::size_t size) {
    if (const std::uint8_t* memory = InMemory(position, size)) {
        std::copy_n(memory, size, data);
        return;
    }
    if (position >= FAheadStart && position - FAheadStart <= FAheadSize && size <= FAheadSize - (position - FAheadStart)) {
        std::copy_n(FAhead.get() + (position - FAheadStart), size, data);
        return;
    }
    // Only bytes before the limit are read ahead: entries' data lies there, checked.
    const auto ahead = static_cast<std::size_t>(std::min<std::uint64_t>(kReadAhead, FDataLimit - position));
    if (size >= ahead) {
        FFiles->Read(position, data, size);
        return;
    }
    if (!FAhead) FAhead = std::make_unique_for_overwrite<std::uint8_t[]>(kReadAhead);
    FAheadSize = 0;
    FFiles->Read(position, FAhead.get(), ahead);
    FAheadStart = position;
    FAheadSize = ahead;
    std::copy_n(FAhead.get(), size, data);
}

void TZipEntryReader::ProbablyWrongPassword() {
    FPasswordFailed = true;
    throw EOlvex(kProbablyWrongPassword, TErrorKind::WrongPassword);
}

TZipFilePtr TZipEntryReader::Open(const TZipEntry& entry, zip_flags_t flags) {
    if (entry.encrypted && !FHasPassword) throw EOlvex(kEncrypted, TErrorKind::PasswordMissing);
    TZipFilePtr file(zip_fopen_index(FArchive, entry.index, flags));
    if (!file) Failed(entry, zip_get_error(FArchive));
    return file;
}

void TZipEntryReader::Failed(const TZipEntry& entry, const zip_error_t* error) {
    const int code = zip_error_code_zip(error);
    if (code == ZIP_ER_WRONGPASSWD) {
        FPasswordFailed = true;
        throw EOlvex(kWrongPassword, TErrorKind::WrongPassword);
    }
    if (entry.encrypted && ZipErrorKind(error) == kDamaged) ProbablyWrongPassword();
    throw EOlvex(ZipErrorText(error) + ".", ZipErrorKind(error));
}

void TZipEntryReader::CheckPassword(const TZipEntry& entry) {
    if (entry.encrypted) Open(entry, ZIP_FL_COMPRESSED);
}

void TZipEntryReader::Read(const TZipEntry& entry, const TSink& sink, const TProgress& progress) {
    if (!entry.encrypted) {
        ReadPlainOrDecrypted(entry, sink, progress);
        return;
    }
    if (!FHasPassword) throw EOlvex(kEncrypted, TErrorKind::PasswordMissing);
    try {
        ReadPlainOrDecrypted(entry, sink, progress);
    } catch (const EOlvex& e) {
        // Data that passed the password check and still does not decode was most likely
        // decrypted with a wrong password.
        if (e.Kind() != kDamaged) throw;
        ProbablyWrongPassword();
    }
}

void TZipEntryReader::ReadPlainOrDecrypted(const TZipEntry& entry, const TSink& sink, const TProgress& progress) {
    const zip_int32_t method = entry.stat.comp_method;
    const zip_uint64_t needed = ZIP_STAT_SIZE | ZIP_STAT_COMP_METHOD;
    const bool known = (entry.stat.valid & (needed | ZIP_STAT_COMP_SIZE | ZIP_STAT_CRC)) ==
                       (needed | ZIP_STAT_COMP_SIZE | ZIP_STAT_CRC);
    // The compressed size in the directory counts the encryption header: a decrypted entry is
    // read to the end of its data instead.
    if (known && !entry.encrypted && method == ZIP_CM_STORE) {
        if (entry.stat.comp_size != entry.stat.size) {
            if (entry.stat.comp_size > entry.stat.size) MoreThanAnnounced();
            LessThanAnnounced();
        }
        TZipFilePtr file;
        ReadStored(RawData(entry, file), entry, sink, progress);
        return;
    }
    // libzip checks stored data against the CRC at its end even where AES leaves the CRC out:
    // such an entry is read by its size, once its authentication code has vouched for it.
    if (entry.encrypted && method == ZIP_CM_STORE && (entry.stat.valid & ZIP_STAT_SIZE) != 0 &&
        (entry.stat.valid & ZIP_STAT_CRC) == 0) {
        const TZipFilePtr file = Open(entry, ZIP_FL_COMPRESSED);
        // The first pass reports no bytes yet, but lets a window stay live and an abort through.
        if (!AesEntryAuthenticates(FArchive, entry, FPassword, [&progress] { progress(0); })) ProbablyWrongPassword();
        ReadStored({file.get(), 0, 0}, entry, sink, progress);
        return;
    }
    if (known && !entry.encrypted && method == ZIP_CM_DEFLATE && entry.stat.size <= FLimits.wholeEntry &&
        entry.stat.comp_size <= FLimits.wholeEntry && entry.stat.size <= entry.stat.comp_size * kMaxDeflateRatio + 1024) {
        TZipFilePtr file;
        InflateWhole(RawData(entry, file), entry, sink, progress);
        return;
    }
    if ((entry.stat.valid & needed) == needed && method == zip::kMethodPpmd) {
        if (!FPpmd) FPpmd = std::make_unique<TPpmdSession>(FLimits.helperLimitsLifted);
        const std::unique_ptr<TZipMethodDecoder> decoder = FPpmd->Decoder(entry.stat.size, PlainPackedSize(entry.stat));
        TZipFilePtr file;
        DecodePieces(RawData(entry, file), *decoder, entry, sink, progress);
        return;
    }
    if ((entry.stat.valid & needed) == needed)
        if (const std::unique_ptr<TZipMethodDecoder> decoder =
                CreateZipMethodDecoder(method, entry.stat.size, FLimits.decoderMemory)) {
            TZipFilePtr file;
            DecodePieces(RawData(entry, file), *decoder, entry, sink, progress);
            return;
        }
    // bzip2, stored encrypted data, and methods that libzip refuses with its reason.
    ReadThroughLibzip(entry, sink, progress);
}

std::size_t TZipEntryReader::ReadRaw(TRaw& raw, const TZipEntry& entry, std::uint8_t* data, std::size_t size) {
    if (raw.file == nullptr) {
        const auto got = static_cast<std::size_t>(std::min<std::uint64_t>(size, raw.left));
        ReadAhead(raw.position, data, got);
        raw.position += got;
        raw.left -= got;
        return got;
    }
    std::size_t got = 0;
    while (got < size) {
        const zip_int64_t n = zip_fread(raw.file, data + got, size - got);
        if (n < 0) Failed(entry, zip_file_get_error(raw.file));
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

void TZipEntryReader::ReadStored(TRaw raw, const TZipEntry& entry, const TSink& sink, const TProgress& progress) {
    // The caller has held the stored size to the raw data's: in memory it is all there.
    const std::uint8_t* memory = InMemory(raw);
    std::uint8_t* buffer = memory != nullptr ? nullptr : FIn.Room(FLimits.piece);
    std::uint64_t done = 0;
    std::uint32_t crc = 0;
    while (done < entry.stat.size) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(FLimits.piece, entry.stat.size - done));
        const std::uint8_t* data = memory != nullptr ? memory + done : buffer;
        const std::size_t got = memory != nullptr ? want : ReadRaw(raw, entry, buffer, want);
        if (got == 0) LessThanAnnounced();
        crc = libdeflate_crc32(crc, data, got);
        sink(data, got);
        done += got;
        progress(static_cast<std::int64_t>(done));
    }
    CheckCrc(entry, crc);
}

void TZipEntryReader::InflateWhole(TRaw raw, const TZipEntry& entry, const TSink& sink, const TProgress& progress) {
    const auto compressed = static_cast<std::size_t>(entry.stat.comp_size);
    const auto size = static_cast<std::size_t>(entry.stat.size);
    const std::uint8_t* in = InMemory(raw);
    if (in == nullptr) {
        std::uint8_t* buffer = FIn.Room(compressed);
        if (ReadRaw(raw, entry, buffer, compressed) != compressed) BadData();
        in = buffer;
    }
    // Incompressible content in deflate's stored blocks (the stream is longer than it) is
    // handed on from where it lies: the same bytes libdeflate would copy out, without the copy
    // and the buffer. As with inflated data, the CRC is checked before any of it is handed on.
    if (compressed > size)
        if (const auto blocks = zip::StoredBlocksOnly(in, compressed, size)) {
            std::uint32_t crc = 0;
            for (const auto& block : *blocks) crc = libdeflate_crc32(crc, block.data(), block.size());
            CheckCrc(entry, crc);
            std::int64_t before = 0;
            for (const auto& block : *blocks) {
                HandOn(block.data(), block.size(), before, sink, progress);
                before += static_cast<std::int64_t>(block.size());
            }
            return;
        }
    std::uint8_t* out = FOut.Room(size);
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

void TZipEntryReader::DecodePieces(TRaw raw, TZipMethodDecoder& decoder, const TZipEntry& entry, const TSink& sink,
                                   const TProgress& progress) {
    std::uint8_t* in = FIn.Room(FLimits.piece);
    std::uint8_t* out = FOut.Room(FLimits.piece);
    std::size_t at = 0, have = 0;
    bool last = false;
    std::uint64_t done = 0;
    std::uint32_t crc = 0;
    for (bool ended = false; !ended;) {
        if (at == have && !last) {
            have = ReadRaw(raw, entry, in, FLimits.piece);
            at = 0;
            last = have < FLimits.piece;
        }
        std::size_t used = 0, made = 0;
        ended = decoder.Decode(in + at, have - at, last, out, FLimits.piece, used, made);
        at += used;
        if (done + made > entry.stat.size) MoreThanAnnounced();
        // Nothing more comes, and the stream has not ended: the data stops short.
        if (!ended && used == 0 && made == 0 && !decoder.Busy() && (last || at < have)) BadData();
        crc = libdeflate_crc32(crc, out, made);
        if (made > 0) sink(out, made);
        done += made;
        progress(static_cast<std::int64_t>(done));
    }
    if (done != entry.stat.size) LessThanAnnounced();
    // AES checks its authentication code only when the data is read to its end.
    if (entry.encrypted)
        while (!last) last = ReadRaw(raw, entry, in, FLimits.piece) < FLimits.piece;
    CheckCrc(entry, crc);
}

void TZipEntryReader::ReadThroughLibzip(const TZipEntry& entry, const TSink& sink, const TProgress& progress) {
    const auto size = static_cast<std::int64_t>((entry.stat.valid & ZIP_STAT_SIZE) ? entry.stat.size : 0);
    TZipFilePtr file = Open(entry, 0);
    std::uint8_t* buffer = FIn.Room(FLimits.piece);
    std::int64_t read = 0;
    for (;;) {
        const zip_int64_t n = zip_fread(file.get(), buffer, FLimits.piece);
        if (n < 0) Failed(entry, zip_file_get_error(file.get()));
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
