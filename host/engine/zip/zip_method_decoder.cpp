#include "host/engine/zip/zip_method_decoder.h"

#include <lzma.h>
#include <zip.h>
#include <zlib.h>
#include <zstd.h>
#include <zstd_errors.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <new>
#include <string>

#include "host/engine/zip/zip_deflate64.h"
#include "host/engine/zip/zip_handles.h"
#include "host/engine/zip/zip_records.h"
#include "host/services/exceptions.h"

namespace tavik {

namespace {


[[noreturn]] void Damaged() {
    throw EOlvex(ZipErrorText(ZIP_ER_COMPRESSED_DATA) + " (beschädigt).", TErrorKind::DamagedArchive);
}

[[noreturn]] void TooMuchMemory(std::uint64_t limit) {
    throw EOlvex("Der Eintrag verlangt zum Entpacken mehr als " + std::to_string(limit >> 20) +
                     " MB Arbeitsspeicher und wird nicht gelesen. Das ist eine Schutzgrenze beim Lesen, kein Zeichen "
                     "von Beschädigung; stammt das Archiv aus vertrauenswürdiger Quelle, hebt „vendrask-archiv "
                     "--no-limits“ die Grenze auf.",
                 TErrorKind::LimitReached);
}

// The largest Zstandard window within limit, as a power of two.
int ZstdWindowLog(std::uint64_t limit) {
    const ZSTD_bounds bounds = ZSTD_dParam_getBounds(ZSTD_d_windowLogMax);
    int log = bounds.lowerBound;
    while (log < bounds.upperBound && (std::uint64_t{1} << (log + 1)) <= limit) ++log;
    return log;
}

struct TLzmaEnd {
    void operator()(lzma_stream* stream) const {
        lzma_end(stream);
        delete stream;
    }
};
using TLzmaPtr = std::unique_ptr<lzma_stream, TLzmaEnd>;

TLzmaPtr NewLzmaStream() {
    TLzmaPtr stream(new lzma_stream);
    *stream = LZMA_STREAM_INIT;
    return stream;
}

// Runs liblzma on one piece of XZ data or of the LZMA stream after its header.
bool LzmaStep(lzma_stream& stream, std::uint64_t memoryLimit, const std::uint8_t* in, std::size_t size, bool last,
              std::uint8_t* out, std::size_t room, std::size_t& used, std::size_t& made) {
    stream.next_in = in;
    stream.avail_in = size;
    stream.next_out = out;
    stream.avail_out = room;
    const lzma_ret result = lzma_code(&stream, last ? LZMA_FINISH : LZMA_RUN);
    used = size - stream.avail_in;
    made = room - stream.avail_out;
    switch (result) {
        case LZMA_OK: return false;
        case LZMA_STREAM_END: return true;
        case LZMA_BUF_ERROR: return false;  // no progress: the caller sees that the data ended early
        case LZMA_MEM_ERROR: throw std::bad_alloc();
        case LZMA_MEMLIMIT_ERROR: TooMuchMemory(memoryLimit);
        default: Damaged();
    }
}

class TInflateDecoder final : public TZipMethodDecoder {
public:
    TInflateDecoder() {
        if (inflateInit2(&FStream, -MAX_WBITS) != Z_OK) throw std::bad_alloc();
    }
    TInflateDecoder(const TInflateDecoder&) = delete;
    TInflateDecoder& operator=(const TInflateDecoder&) = delete;
    ~TInflateDecoder() override { inflateEnd(&FStream); }
    bool Decode(const std::uint8_t* in, std::size_t size, bool, std::uint8_t* out, std::size_t room,
                std::size_t& used, std::size_t& made) override {
        // zlib counts in 32 bits; the pieces are far smaller.
        FStream.next_in = const_cast<std::uint8_t*>(in);
        FStream.avail_in = static_cast<uInt>(size);
        FStream.next_out = out;
        FStream.avail_out = static_cast<uInt>(room);
        const int result = inflate(&FStream, Z_NO_FLUSH);
        used = size - FStream.avail_in;
        made = room - FStream.avail_out;
        if (result == Z_STREAM_END) return true;
        if (result == Z_OK || result == Z_BUF_ERROR) return false;
        if (result == Z_MEM_ERROR) throw std::bad_alloc();
        Damaged();
    }

private:
    z_stream FStream{};
};

class TXzDecoder final : public TZipMethodDecoder {
public:
    explicit TXzDecoder(std::uint64_t memoryLimit) : FStream(NewLzmaStream()), FMemoryLimit(memoryLimit) {
        if (lzma_stream_decoder(FStream.get(), memoryLimit, 0) != LZMA_OK) throw std::bad_alloc();
    }
    bool Decode(const std::uint8_t* in, std::size_t size, bool last, std::uint8_t* out, std::size_t room,
                std::size_t& used, std::size_t& made) override {
        return LzmaStep(*FStream, FMemoryLimit, in, size, last, out, room, used, made);
    }

private:
    TLzmaPtr FStream;
    std::uint64_t FMemoryLimit;
};

// The ZIP form of LZMA: two version bytes, the length of the properties (5) in two bytes, the
// properties, then the raw stream, with or without an end marker after the entry's size.
class TLzmaDecoder final : public TZipMethodDecoder {
public:
    TLzmaDecoder(std::uint64_t size, std::uint64_t memoryLimit) : FSize(size), FMemoryLimit(memoryLimit) {}
    bool Decode(const std::uint8_t* in, std::size_t size, bool last, std::uint8_t* out, std::size_t room,
                std::size_t& used, std::size_t& made) override {
        used = made = 0;
        if (!FStream) {
            const std::size_t take = std::min(size, FHeader.size() - FHeaderHave);
            std::copy_n(in, take, FHeader.begin() + static_cast<std::ptrdiff_t>(FHeaderHave));
            FHeaderHave += take;
            used = take;
            if (FHeaderHave < FHeader.size()) return false;
            Start();
        }
        std::size_t bodyUsed = 0;
        const bool ended = LzmaStep(*FStream, FMemoryLimit, in + used, size - used, last, out, room, bodyUsed, made);
        used += bodyUsed;
        return ended;
    }

private:
    void Start() {
        if (FHeader[2] != 5 || FHeader[3] != 0) Damaged();
        lzma_filter properties{LZMA_FILTER_LZMA1, nullptr};
        if (lzma_properties_decode(&properties, nullptr, FHeader.data() + 4, 5) != LZMA_OK) Damaged();
        // liblzma allocates the decoded properties with malloc.
        const std::unique_ptr<lzma_options_lzma, decltype(&::free)> decoded(
            static_cast<lzma_options_lzma*>(properties.options), &::free);
        FOptions = *decoded;
        // The dictionary never needs to exceed the data; what the header asks beyond is not taken.
        FOptions.dict_size = static_cast<std::uint32_t>(std::clamp<std::uint64_t>(
            FSize, LZMA_DICT_SIZE_MIN, std::max<std::uint32_t>(FOptions.dict_size, LZMA_DICT_SIZE_MIN)));
        FOptions.ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
        lzma_set_ext_size(FOptions, FSize);
        const std::array<lzma_filter, 2> filters{{{LZMA_FILTER_LZMA1EXT, &FOptions}, {LZMA_VLI_UNKNOWN, nullptr}}};
        if (lzma_raw_decoder_memusage(filters.data()) > FMemoryLimit) TooMuchMemory(FMemoryLimit);
        FStream = NewLzmaStream();
        if (lzma_raw_decoder(FStream.get(), filters.data()) != LZMA_OK) Damaged();
    }

    std::uint64_t FSize;
    std::uint64_t FMemoryLimit;
    std::array<std::uint8_t, 9> FHeader{};
    std::size_t FHeaderHave = 0;
    lzma_options_lzma FOptions{};
    TLzmaPtr FStream;
};

class TZstdDecoder final : public TZipMethodDecoder {
public:
    explicit TZstdDecoder(std::uint64_t memoryLimit) : FStream(ZSTD_createDStream()), FMemoryLimit(memoryLimit) {
        if (!FStream) throw std::bad_alloc();
        ZSTD_DCtx_setParameter(FStream.get(), ZSTD_d_windowLogMax, ZstdWindowLog(memoryLimit));
    }
    bool Decode(const std::uint8_t* in, std::size_t size, bool last, std::uint8_t* out, std::size_t room,
                std::size_t& used, std::size_t& made) override {
        ZSTD_inBuffer input{in, size, 0};
        ZSTD_outBuffer output{out, room, 0};
        const std::size_t result = ZSTD_decompressStream(FStream.get(), &output, &input);
        used = input.pos;
        made = output.pos;
        if (ZSTD_isError(result) != 0) {
            if (ZSTD_getErrorCode(result) == ZSTD_error_frameParameter_windowTooLarge) TooMuchMemory(FMemoryLimit);
            if (ZSTD_getErrorCode(result) == ZSTD_error_memory_allocation) throw std::bad_alloc();
            Damaged();
        }
        // A frame is complete; another one may follow until the entry's data ends.
        if (result == 0) FBetweenFrames = true;
        else if (made > 0 || used > 0) FBetweenFrames = false;
        return FBetweenFrames && last && used == size;
    }

private:
    struct TFree {
        void operator()(ZSTD_DStream* stream) const { ZSTD_freeDStream(stream); }
    };
    std::unique_ptr<ZSTD_DStream, TFree> FStream;
    std::uint64_t FMemoryLimit;
    bool FBetweenFrames = false;
};

}  // namespace

std::unique_ptr<TZipMethodDecoder> CreateZipMethodDecoder(std::int32_t method, std::uint64_t size,
                                                          std::uint64_t memoryLimit) {
    switch (method) {
        case ZIP_CM_DEFLATE: return std::make_unique<TInflateDecoder>();
        case ZIP_CM_DEFLATE64: return CreateDeflate64Decoder();
        case ZIP_CM_LZMA: return std::make_unique<TLzmaDecoder>(size, memoryLimit);
        case ZIP_CM_XZ: return std::make_unique<TXzDecoder>(memoryLimit);
        case ziprec::kMethodZstd: return std::make_unique<TZstdDecoder>(memoryLimit);
        default: return nullptr;
    }
}

}  // namespace tavik
