#include "host/engine/other/leser/leser_ppmd.h"

#include <archive.h>
#include <archive_entry.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "host/engine/other/leser/leser_archive.h"
#include "host/engine/other/leser/leser_limits.h"
#include "host/engine/other/leser/leser_output.h"

namespace tavik::leser {

namespace {

constexpr std::uint16_t kMethodPpmd = 98;
constexpr std::uint32_t kZip64Marker = 0xFFFFFFFF;

void PutLittleEndian(std::string& out, std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A local header for one entry "a" without CRC (the reader is told to ignore it), Zip64 when a
// size needs it.
std::string LocalHeader(std::uint64_t size, std::uint64_t packed) {
    const bool zip64 = size >= kZip64Marker || packed >= kZip64Marker;
    std::string header;
    PutLittleEndian(header, 0x04034b50, 4);
    PutLittleEndian(header, 63, 2);    // version needed
    PutLittleEndian(header, 0, 2);     // flags
    PutLittleEndian(header, kMethodPpmd, 2);
    PutLittleEndian(header, 0, 2);     // time
    PutLittleEndian(header, 0x21, 2);  // 1 January 1980
    PutLittleEndian(header, 0, 4);     // CRC
    PutLittleEndian(header, zip64 ? kZip64Marker : packed, 4);
    PutLittleEndian(header, zip64 ? kZip64Marker : size, 4);
    PutLittleEndian(header, 1, 2);  // name length
    PutLittleEndian(header, zip64 ? 20 : 0, 2);
    header += 'a';
    if (zip64) {
        PutLittleEndian(header, 0x0001, 2);
        PutLittleEndian(header, 16, 2);
        PutLittleEndian(header, size, 8);
        PutLittleEndian(header, packed, 8);
    }
    return header;
}

// The made-up header, then whatever the engine feeds.
struct TFedSource {
    std::string Header;
    bool HeaderGiven = false;
    std::vector<char> Buffer = std::vector<char>(64 * 1024);
};

la_ssize_t FedRead(archive*, void* data, const void** buffer) {
    auto& source = *static_cast<TFedSource*>(data);
    if (!source.HeaderGiven) {
        source.HeaderGiven = true;
        *buffer = source.Header.data();
        return static_cast<la_ssize_t>(source.Header.size());
    }
    ssize_t n = 0;
    do {
        n = ::read(STDIN_FILENO, source.Buffer.data(), source.Buffer.size());
    } while (n < 0 && errno == EINTR);
    if (n < 0) return -1;
    if (n > 0) LeserProgress();
    *buffer = source.Buffer.data();
    return n;
}

// libarchive's own words, which the engine puts into its German message.
std::string LibraryText(archive* reader) {
    const char* text = archive_error_string(reader);
    return text != nullptr && *text != '\0' ? text : "ohne nähere Angabe";
}

}  // namespace

int RunPpmd(std::uint64_t size, std::uint64_t packed) {
    const TArchivePtr reader(archive_read_new());
    if (!reader) {
        Send(TLeserFrameType::Failure, "Nicht genug Arbeitsspeicher");
        return 0;
    }
    archive* a = reader.get();
    archive_read_support_format_zip_streamable(a);
    archive_read_set_option(a, "zip", "ignorecrc32", "1");
    TFedSource source{LocalHeader(size, packed)};
    if (archive_read_open(a, &source, nullptr, FedRead, nullptr) != ARCHIVE_OK) {
        Send(TLeserFrameType::Failure, LibraryText(a));
        return 0;
    }
    archive_entry* header = nullptr;
    if (archive_read_next_header(a, &header) < ARCHIVE_WARN) {
        Send(TLeserFrameType::Failure, LibraryText(a));
        return 0;
    }
    for (;;) {
        const void* block = nullptr;
        std::size_t length = 0;
        la_int64_t offset = 0;
        const int status = archive_read_data_block(a, &block, &length, &offset);
        if (status == ARCHIVE_EOF) {
            Send(TLeserFrameType::DataEnd);
            return 0;
        }
        // A warning is about the sizes, which the engine checks itself; its block is still data.
        if (status < ARCHIVE_WARN) {
            Send(TLeserFrameType::EntryError, LibraryText(a));
            return 0;
        }
        SendDataBlock(offset, block, length);
    }
}

}  // namespace tavik::leser
