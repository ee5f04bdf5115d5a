#pragma once
// Reads the data of ZIP entries of one open archive: the raw data is read in large pieces
// and inflated with libdeflate when the whole entry fits into a bounded buffer, decoded piece
// by piece otherwise (deflate, LZMA, XZ, Zstandard, PPMd); size and CRC are checked against the
// central directory. bzip2 and stored encrypted entries go through libzip, which also decrypts
// (traditional PKWARE and AES) with the password given. The buffers are kept from one entry to
// the next.
#include <zip.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/engine/zip/zip_entry.h"
#include "host/engine/zip/zip_handles.h"
#include "host/engine/zip/zip_method_decoder.h"
#include "host/services/large_buffer.h"

struct libdeflate_decompressor;

namespace tavik {

class TPpmdSession;

struct TEntryReadLimits {
    std::size_t wholeEntry = 64 << 20;  // larger entries are inflated piece by piece
    std::size_t piece = 1 << 20;        // bytes read, and handed on, at once
    std::uint64_t decoderMemory = kZipDecoderMemoryLimit;  // what a decoder may take
    bool helperLimitsLifted = false;  // the PPMd helper runs without its protective limits
};

class TZipEntryReader {
public:
    using TSink = std::function<void(const std::uint8_t* data, std::size_t size)>;
    // Called with the entry's bytes handed on so far; it may throw to stop.
    using TProgress = std::function<void(std::int64_t done)>;

    explicit TZipEntryReader(zip_t* archive, TEntryReadLimits limits = {});
    TZipEntryReader(const TZipEntryReader&) = delete;
    TZipEntryReader& operator=(const TZipEntryReader&) = delete;
    ~TZipEntryReader();

    // Hands the entry's data to sink in order. Throws EOlvex with a German reason when the
    // entry is damaged or cannot be read; sink may have had part of the data then.
    // An encrypted entry without a password fails as encrypted.
    void Read(const TZipEntry& entry, const TSink& sink, const TProgress& progress);

    // The password for encrypted entries; empty: none.
    void SetPassword(const std::string& password);
    bool HasPassword() const { return FHasPassword; }
    // Throws EOlvex when the password does not open the encrypted entry (or there is none),
    // before any of its data is read.
    void CheckPassword(const TZipEntry& entry);
    // Whether an entry failed because the password seems wrong.
    bool PasswordFailed() const { return FPasswordFailed; }
    // The raw data of unencrypted entries is read straight from files, where dataStarts holds
    // (by the entry's index) the place that the structure check found, all of it before limit,
    // not through libzip: opening an entry there costs more than a small entry's data. The
    // bytes are the same; size and CRC are checked all the same.
    void ReadDirectly(zip::TByteReader& files, const std::vector<std::uint64_t>& dataStarts, std::uint64_t limit);
    // The files' bytes from start on, size of them, are held at data (read already): an entry's
    // raw data that lies there whole is taken from there without a copy. Kept until the next
    // call; data nullptr: none.
    void TakeFromMemory(const std::uint8_t* data, std::uint64_t start, std::uint64_t size);
    // Whether Read takes the entry's data without libzip (stored or deflated, unencrypted, its
    // place known): readers of such entries on several threads may share one libzip handle.
    bool ReadsWithoutLibzip(const TZipEntry& entry) const;

private:
    struct TFree {
        void operator()(libdeflate_decompressor* decompressor) const;
    };
    // The raw data of one entry: through libzip, or the bytes still to read straight from the files.
    struct TRaw {
        zip_file_t* file = nullptr;
        std::uint64_t position = 0;
        std::uint64_t left = 0;
    };
    void ReadStored(TRaw raw, const TZipEntry& entry, const TSink& sink, const TProgress& progress);
    // The entry's raw data where it lies in memory already, else nothing.
    const std::uint8_t* InMemory(const TRaw& raw) const;
    // size bytes at position where they lie in memory, else nothing.
    const std::uint8_t* InMemory(std::uint64_t position, std::uint64_t size) const;
    void InflateWhole(TRaw raw, const TZipEntry& entry, const TSink& sink, const TProgress& progress);
    void DecodePieces(TRaw raw, TZipMethodDecoder& decoder, const TZipEntry& entry, const TSink& sink,
                      const TProgress& progress);
    // The raw data of an entry read as it is stored (ZIP_FL_COMPRESSED): straight from the files
    // where it may, else opened through libzip into file.
    TRaw RawData(const TZipEntry& entry, TZipFilePtr& file);
    // size bytes at position of the files, through a window read ahead for small pieces.
    void ReadAhead(std::uint64_t position, std::uint8_t* data, std::size_t size);
    TZipFilePtr Open(const TZipEntry& entry, zip_flags_t flags);
    [[noreturn]] void Failed(const TZipEntry& entry, const zip_error_t* error);
    [[noreturn]] void ProbablyWrongPassword();
    void ReadPlainOrDecrypted(const TZipEntry& entry, const TSink& sink, const TProgress& progress);
    void CheckCrc(const TZipEntry& entry, std::uint32_t crc);
    void ReadThroughLibzip(const TZipEntry& entry, const TSink& sink, const TProgress& progress);
    std::size_t ReadRaw(TRaw& raw, const TZipEntry& entry, std::uint8_t* data, std::size_t size);
    void HandOn(const std::uint8_t* data, std::size_t size, std::int64_t before, const TSink& sink,
                const TProgress& progress);

    zip_t* FArchive;
    TEntryReadLimits FLimits;
    std::unique_ptr<libdeflate_decompressor, TFree> FDecompressor;
    std::unique_ptr<TPpmdSession> FPpmd;  // started with the first PPMd entry
    TLargeBuffer FIn, FOut;
    std::string FPassword;
    bool FHasPassword = false;
    bool FPasswordFailed = false;
    zip::TByteReader* FFiles = nullptr;
    const std::vector<std::uint64_t>* FDataStarts = nullptr;
    std::uint64_t FDataLimit = 0;
    const std::uint8_t* FMemory = nullptr;  // the files' bytes from FMemoryStart on, FMemorySize of them
    std::uint64_t FMemoryStart = 0;
    std::uint64_t FMemorySize = 0;
    std::unique_ptr<std::uint8_t[]> FAhead;  // kReadAhead bytes from FAheadStart on, FAheadSize of them read
    std::uint64_t FAheadStart = 0;
    std::size_t FAheadSize = 0;
};

}  // namespace tavik
