#pragma once
// Reads the data of ZIP entries of one open archive: the raw data is read in large pieces
// and inflated with libdeflate when the whole entry fits into a bounded buffer, with zlib
// piece by piece otherwise; size and CRC are checked against the central directory. Entries
// of other methods go through libzip. The buffers are kept from one entry to the next.
#include <zip.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

#include "host/engine/zip/zip_entry.h"

struct libdeflate_decompressor;

namespace tavik {

struct TEntryReadLimits {
    std::size_t wholeEntry = 64 << 20;  // larger entries are inflated piece by piece
    std::size_t piece = 1 << 20;        // bytes read, and handed on, at once
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
    void Read(const TZipEntry& entry, const TSink& sink, const TProgress& progress);

private:
    struct TFree {
        void operator()(libdeflate_decompressor* decompressor) const;
    };
    // Room for at least size bytes, not initialised.
    static std::uint8_t* Room(std::unique_ptr<std::uint8_t[]>& buffer, std::size_t& capacity, std::size_t size);

    void ReadStored(zip_file_t* file, const TZipEntry& entry, const TSink& sink, const TProgress& progress);
    void InflateWhole(zip_file_t* file, const TZipEntry& entry, const TSink& sink, const TProgress& progress);
    void InflatePieces(zip_file_t* file, const TZipEntry& entry, const TSink& sink, const TProgress& progress);
    void ReadThroughLibzip(const TZipEntry& entry, const TSink& sink, const TProgress& progress);
    std::size_t ReadRaw(zip_file_t* file, std::uint8_t* data, std::size_t size);
    void HandOn(const std::uint8_t* data, std::size_t size, std::int64_t before, const TSink& sink,
                const TProgress& progress);

    zip_t* FArchive;
    TEntryReadLimits FLimits;
    std::unique_ptr<libdeflate_decompressor, TFree> FDecompressor;
    std::unique_ptr<std::uint8_t[]> FIn, FOut;
    std::size_t FInCapacity = 0, FOutCapacity = 0;
};

}  // namespace tavik
