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
#include "host/services/exceptions.h"

namespace tavik {

namespace {

// What one entry's decoder may take, whatever dictionary or window its data asks for.
constexpr std::uint64_t kMaxDecoderMemory = 256u << 20;
constexpr int kMaxZstdWindowLog = 28;  // 256 MiB
constexpr std::int32_t kMethodZstd = 93;  // not named by every libzip

[[noreturn]] void Damaged() {
    throw EOlvex(ZipErrorText(ZIP_ER_COMPRESSED_DATA) + " (beschädigt).", TErrorKind::DamagedArchive);
}

[[noreturn]] void TooMuchMemory() {
    throw EOlvex("Der Eintrag verlangt zum Entpacken mehr als " + std::to_string(kMaxDecoderMemory >> 20) +
                 " MB Arbeitsspeicher und wird nicht gelesen.");
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
bool LzmaStep(lzma_stream& stream, const std::uint8_t* in, std::size_t size, bool last,
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
        case LZMA_MEMLIMIT_ERROR: TooMuchMemory();
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
    TXzDecoder() : FStream(NewLzmaStream()) {
        if (lzma_stream_decoder(FStream.get(), kMaxDecoderMemory, 0) != LZMA_OK) throw std::bad_alloc();
    }
    bool Decode(const std::uint8_t* in, std::size_t size, bool last, std::uint8_t* out, std::size_t room,
                std::size_t& used, std::size_t& made) override {
        return LzmaStep(*FStream, in, size, last, out, room, used, made);
    }

private:
    TLzmaPtr FStream;
};

// The ZIP form of LZMA: two version bytes, the length of the properties (5) in two bytes, the
// properties, then the raw stream, with or without an end marker after the entry's size.
class TLzmaDecoder final : public TZipMethodDecoder {
public:
    explicit TLzmaDecoder(std::uint64_t size) : FSize(size) {}
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
        const bool ended = LzmaStep(*FStream, in + used, size - used, last, out, room, bodyUsed, made);
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
        if (lzma_raw_decoder_memusage(filters.data()) > kMaxDecoderMemory) TooMuchMemory();
        FStream = NewLzmaStream();
        if (lzma_raw_decoder(FStream.get(), filters.data()) != LZMA_OK) Damaged();
    }

    std::uint64_t FSize;
    std::array<std::uint8_t, 9> FHeader{};
    std::size_t FHeaderHave = 0;
    lzma_options_lzma FOptions{};
    TLzmaPtr FStream;
};

class TZstdDecoder final : public TZipMethodDecoder {
public:
    TZstdDecoder() : FStream(ZSTD_createDStream()) {
        if (!FStream) throw std::bad_alloc();
        ZSTD_DCtx_setParameter(FStream.get(), ZSTD_d_windowLogMax, kMaxZstdWindowLog);
    }
    bool Decode(const std::uint8_t* in, std::size_t size, bool last, std::uint8_t* out, std::size_t room,
                std::size_t& used, std::size_t& made) override {
        ZSTD_inBuffer input{in, size, 0};
        ZSTD_outBuffer output{out, room, 0};
        const std::size_t result = ZSTD_decompressStream(FStream.get(), &output, &input);
        used = input.pos;
        made = output.pos;
        if (ZSTD_isError(result) != 0) {
            if (ZSTD_getErrorCode(result) == ZSTD_error_frameParameter_windowTooLarge) TooMuchMemory();
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
    bool FBetweenFrames = false;
};

}  // namespace

std::unique_ptr<TZipMethodDecoder> CreateZipMethodDecoder(std::int32_t method, std::uint64_t size) {
    switch (method) {
        case ZIP_CM_DEFLATE: return std::make_unique<TInflateDecoder>();
        case ZIP_CM_DEFLATE64: return CreateDeflate64Decoder();
        case ZIP_CM_LZMA: return std::make_unique<TLzmaDecoder>(size);
        case ZIP_CM_XZ: return std::make_unique<TXzDecoder>();
        case kMethodZstd: return std::make_unique<TZstdDecoder>();
        default: return nullptr;
    }
}

}  // namespace tavik
