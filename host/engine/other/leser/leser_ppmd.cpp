#include "host/engine/other/leser/leser_ppmd.h"

#include <archive.h>
#include <archive_entry.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include "host/engine/other/leser/leser_archive.h"
#include "host/engine/other/leser/leser_limits.h"
#include "host/engine/other/leser/leser_output.h"
#include "host/engine/zip/zip_records.h"
#include "host/services/little_endian.h"
#include "host/services/whole_io.h"

namespace tavik::leser {

namespace {

using ziprec::kMax32;
using ziprec::kMethodPpmd;

// A local header for one entry "a" without CRC (the reader is told to ignore it), Zip64 when a
// size needs it.
std::string LocalHeader(std::uint64_t size, std::uint64_t packed) {
    const bool zip64 = size >= kMax32 || packed >= kMax32;
    constexpr std::size_t kZip64BlockSize = 16;
    std::string header;
    AppendLittleEndian(header, ziprec::kLocalHeaderSig, 4);
    AppendLittleEndian(header, 63, 2);  // version needed
    AppendLittleEndian(header, 0, 2);   // flags
    AppendLittleEndian(header, kMethodPpmd, 2);
    AppendLittleEndian(header, 0, 2);     // time
    AppendLittleEndian(header, 0x21, 2);  // 1 January 1980
    AppendLittleEndian(header, 0, 4);     // CRC
    AppendLittleEndian(header, zip64 ? kMax32 : packed, 4);
    AppendLittleEndian(header, zip64 ? kMax32 : size, 4);
    AppendLittleEndian(header, 1, 2);  // name length
    AppendLittleEndian(header, zip64 ? 4 + kZip64BlockSize : 0, 2);
    header += 'a';
    if (zip64) {
        AppendLittleEndian(header, ziprec::kZip64ExtraId, 2);
        AppendLittleEndian(header, kZip64BlockSize, 2);
        AppendLittleEndian(header, size, 8);
        AppendLittleEndian(header, packed, 8);
    }
    return header;
}

// False at the end of the input, or when it breaks off.
bool ReadExactly(void* data, std::size_t size) {
    const bool whole = ReadWhole(STDIN_FILENO, data, size).Complete(size);
    LeserProgress();
    return whole;
}

// One entry as libarchive reads it: the made-up header, then the chunks until the end mark.
struct TEntrySource {
    std::string Header;
    bool HeaderGiven = false;
    std::uint32_t ChunkLeft = 0;
    bool Ended = false;
    bool Broken = false;
    std::vector<char> Buffer = std::vector<char>(LeserPpmdMaxChunk);

    // The next bytes of the entry's raw data; 0 at its end mark, -1 when the input breaks off.
    la_ssize_t Next(const void** data) {
        if (Ended) return 0;
        if (ChunkLeft == 0) {
            unsigned char length[4];
            if (!ReadExactly(length, sizeof length)) return Break();
            ChunkLeft = GetLittleEndian32(length);
            if (ChunkLeft == 0) {
                Ended = true;
                return 0;
            }
            if (ChunkLeft > LeserPpmdMaxChunk) return Break();
        }
        const std::size_t take = std::min<std::size_t>(ChunkLeft, Buffer.size());
        if (!ReadExactly(Buffer.data(), take)) return Break();
        ChunkLeft -= static_cast<std::uint32_t>(take);
        *data = Buffer.data();
        return static_cast<la_ssize_t>(take);
    }

    la_ssize_t Break() {
        Broken = true;
        return -1;
    }
};

la_ssize_t EntryRead(archive*, void* data, const void** buffer) {
    auto& source = *static_cast<TEntrySource*>(data);
    if (!source.HeaderGiven) {
        source.HeaderGiven = true;
        *buffer = source.Header.data();
        return static_cast<la_ssize_t>(source.Header.size());
    }
    return source.Next(buffer);
}

// Decodes one entry and ends it with DataEnd, or with the reason why it cannot be decoded.
void DecodeEntry(TEntrySource& source) {
    const TArchivePtr reader(archive_read_new());
    if (!reader) {
        Send(TLeserFrameType::EntryError, "Nicht genug Arbeitsspeicher");
        return;
    }
    archive* a = reader.get();
    archive_read_support_format_zip_streamable(a);
    archive_read_set_option(a, "zip", "ignorecrc32", "1");
    archive_entry* header = nullptr;
    if (archive_read_open(a, &source, nullptr, EntryRead, nullptr) != ARCHIVE_OK ||
        archive_read_next_header(a, &header) < ARCHIVE_WARN) {
        Send(TLeserFrameType::EntryError, LibraryText(a));
        return;
    }
    for (;;) {
        const void* block = nullptr;
        std::size_t length = 0;
        la_int64_t offset = 0;
        const int status = archive_read_data_block(a, &block, &length, &offset);
        if (status == ARCHIVE_EOF) {
            Send(TLeserFrameType::DataEnd);
            return;
        }
        // A warning is about the sizes, which the engine checks itself; its block is still data.
        if (status < ARCHIVE_WARN) {
            Send(TLeserFrameType::EntryError, LibraryText(a));
            return;
        }
        SendDataBlock(offset, block, length);
    }
}

}  // namespace

int RunPpmd() {
    for (;;) {
        unsigned char sizes[LeserPpmdEntrySize];
        if (!ReadExactly(sizes, sizeof sizes)) return 0;
        TEntrySource source{LocalHeader(GetLittleEndian64(sizes), GetLittleEndian64(sizes + 8))};
        // A damaged entry is reported; the next one is read all the same.
        DecodeEntry(source);
        // What the stream's end or a failure left unread, up to the entry's end mark.
        const void* skipped = nullptr;
        while (source.Next(&skipped) > 0) {
        }
        if (source.Broken) return 0;
    }
}

}  // namespace tavik::leser
