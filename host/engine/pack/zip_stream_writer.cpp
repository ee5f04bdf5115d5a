#include "host/engine/pack/zip_stream_writer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "host/engine/archiv_format.h"
#include "host/engine/zip/zip_entry.h"
#include "host/engine/zip/zip_records.h"
#include "host/services/error_kind.h"
#include "host/services/exceptions.h"
#include "host/services/little_endian.h"
#include "host/services/system_error.h"
#include "host/services/whole_io.h"

namespace tavik {

namespace {

constexpr std::size_t kBufferSize = 1 << 20;
constexpr std::size_t kCentralChunk = 1 << 20;
constexpr std::uint32_t kMax32 = 0xFFFFFFFF;
constexpr std::uint16_t kMadeByUnix = 3 << 8 | 63;  // Unix, version 6.3 of the format
constexpr std::uint16_t kNeedsStored = 10;
constexpr std::uint16_t kNeedsDeflate = 20;  // directories too, as libzip writes them
constexpr std::uint16_t kNeedsZip64 = 45;
constexpr std::uint16_t kUtf8Flag = 1 << 11;
constexpr std::size_t kCrcAt = 14;  // in the local header: CRC, compressed and plain size


void AppendBlock(std::string& out, std::uint16_t id, std::size_t size) {
    AppendLittleEndian(out, id, 2);
    AppendLittleEndian(out, size, 2);
}

}  // namespace

TZipStreamWriter::TZipStreamWriter(int fd, std::string archiveName)
    : FFd(fd), FArchiveName(std::move(archiveName)),
      FBuffer(std::make_unique_for_overwrite<std::uint8_t[]>(kBufferSize)) {}

TZipStreamWriter::~TZipStreamWriter() = default;

void TZipStreamWriter::Fail(int error) const {
    throw EOlvex("Die Archivdatei „" + FArchiveName + "“ kann nicht geschrieben werden: " + SystemErrorText(error) +
                     ".",
                 KindOfWriteError(error));
}

void TZipStreamWriter::Flush() {
    if (FBufferUsed == 0) return;
    const TIoResult written = WriteWholeAt(FFd, FBuffer.get(), FBufferUsed, FBufferAt);
    if (written.error != 0) Fail(written.error);
    FBufferAt += FBufferUsed;
    FEnd = std::max(FEnd, FBufferAt);
    FBufferUsed = 0;
}

void TZipStreamWriter::Append(const void* data, std::size_t size) {
    if (FBufferUsed + size > kBufferSize) Flush();
    if (size >= kBufferSize) {
        const TIoResult written = WriteWholeAt(FFd, data, size, FBufferAt);
        if (written.error != 0) Fail(written.error);
        FBufferAt += size;
        FEnd = std::max(FEnd, FBufferAt);
        return;
    }
    std::memcpy(FBuffer.get() + FBufferUsed, data, size);
    FBufferUsed += size;
}

void TZipStreamWriter::Patch(std::uint64_t at, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    if (at < FBufferAt) {  // the part already in the file
        const auto before = static_cast<std::size_t>(std::min<std::uint64_t>(size, FBufferAt - at));
        const TIoResult written = WriteWholeAt(FFd, bytes, before, at);
        if (written.error != 0) Fail(written.error);
        at += before;
        bytes += before;
        size -= before;
    }
    if (size > 0) std::memcpy(FBuffer.get() + (at - FBufferAt), bytes, size);
}

void TZipStreamWriter::Begin(const TStreamEntry& entry) {
    if (FOpen || FFinished) throw std::logic_error("TZipStreamWriter: an entry is open or the archive finished");
    if (entry.name.size() > 0xFFFF)
        throw EOlvex("Der Name des Eintrags „" + std::string(entry.name.substr(0, 200)) +
                     "…“ ist für ein ZIP-Archiv zu lang (mehr als 65.535 Bytes).");
    TOpenEntry& open = FOpen.emplace();
    open.localAt = Position();
    open.name = entry.name;
    open.nameSize = entry.name.size();
    open.directory = entry.directory;
    open.deflated = entry.deflated && !entry.directory;
    open.large = entry.large && !entry.directory;
    // A time without a local form lies beyond either end of the DOS range.
    const TDosTime dos = DosTimeOf(entry.mtime).value_or(
        entry.mtime < 0 ? TDosTime{0, 1 << 5 | 1} : TDosTime{23 << 11 | 59 << 5 | 29, 127 << 9 | 12 << 5 | 31});
    open.time = dos.time;
    open.date = dos.date;
    open.flags = ZipNameFlaggedUtf8(entry.name) ? kUtf8Flag : 0;
    open.attributes = ZipUnixAttributes(entry.mode);
    if (const TZipTimeField time = ZipTimeField(entry.mtime); time.id != 0) {
        AppendBlock(open.timeField, time.id, time.data.size());
        open.timeField += time.data;
    }

    std::string header;
    header.reserve(zip::kLocalHeaderSize + entry.name.size() + 80);
    AppendLittleEndian(header, zip::kLocalHeaderSig, 4);
    AppendLittleEndian(header, open.large ? kNeedsZip64 : open.deflated || open.directory ? kNeedsDeflate : kNeedsStored,
                       2);
    AppendLittleEndian(header, open.flags, 2);
    AppendLittleEndian(header, open.deflated ? 8 : 0, 2);
    AppendLittleEndian(header, open.time, 2);
    AppendLittleEndian(header, open.date, 2);
    AppendLittleEndian(header, 0, 4);                             // CRC
    AppendLittleEndian(header, open.large ? kMax32 : 0, 4);       // compressed size
    AppendLittleEndian(header, open.large ? kMax32 : 0, 4);       // size
    AppendLittleEndian(header, entry.name.size(), 2);
    const std::size_t extraSize = (open.large ? 4 + 16 : 0) + (open.directory ? 0 : 4 + zip::kFingerprintSize) +
                                  open.timeField.size();
    AppendLittleEndian(header, extraSize, 2);
    header.append(entry.name);
    if (open.large) {
        AppendBlock(header, zip::kZip64ExtraId, 16);
        header.append(16, '\0');
    }
    if (!open.directory) {
        AppendBlock(header, zip::kFingerprintId, zip::kFingerprintSize);
        header += zip::FingerprintField({});
    }
    header += open.timeField;
    Append(header.data(), header.size());
    open.dataAt = Position();
}

void TZipStreamWriter::Data(const std::uint8_t* data, std::size_t size) {
    if (!FOpen) throw std::logic_error("TZipStreamWriter: no entry open");
    Append(data, size);
}

void TZipStreamWriter::Drop() {
    if (!FOpen) return;
    const std::uint64_t at = FOpen->localAt;
    if (at >= FBufferAt) {
        FBufferUsed = static_cast<std::size_t>(at - FBufferAt);
    } else {  // what lies in the file beyond is written over, or cut off at the end
        FBufferAt = at;
        FBufferUsed = 0;
    }
    FOpen.reset();
}

void TZipStreamWriter::End(std::uint32_t crc, std::uint64_t size, const std::optional<TSha256Digest>& fingerprint) {
    if (!FOpen) throw std::logic_error("TZipStreamWriter: no entry open");
    const TOpenEntry& open = *FOpen;
    const std::uint64_t stored = Position() - open.dataAt;
    if (!open.large && (size >= kMax32 || stored >= kMax32))
        throw EOlvex("Die Datei zum Eintrag „" + std::string(open.name) +
                     "“ ist beim Lesen über 4 GiB gewachsen; bitte erneut packen.");

    // The local header completed.
    std::uint8_t sizes[12];
    SetLittleEndian(sizes, crc, 4);
    SetLittleEndian(sizes + 4, open.large ? kMax32 : stored, 4);
    SetLittleEndian(sizes + 8, open.large ? kMax32 : size, 4);
    Patch(open.localAt + kCrcAt, sizes, sizeof sizes);
    std::uint64_t extraAt = open.localAt + zip::kLocalHeaderSize + open.nameSize;
    if (open.large) {
        std::uint8_t zip64[16];
        SetLittleEndian(zip64, size, 8);
        SetLittleEndian(zip64 + 8, stored, 8);
        Patch(extraAt + 4, zip64, sizeof zip64);
        extraAt += 4 + 16;
    }
    if (!open.directory && fingerprint) Patch(extraAt + 4 + 1, fingerprint->data(), fingerprint->size());

    // Its central header, Zip64 for each number that needs it.
    const bool bigSize = size >= kMax32, bigStored = stored >= kMax32, farAway = open.localAt >= kMax32;
    const std::size_t zip64Size = 8 * (bigSize + bigStored + farAway);
    std::string& header = FHeader;
    header.clear();
    AppendLittleEndian(header, zip::kCentralHeaderSig, 4);
    AppendLittleEndian(header, kMadeByUnix, 2);
    AppendLittleEndian(header,
                       open.large || zip64Size != 0 ? kNeedsZip64
                       : open.deflated || open.directory ? kNeedsDeflate
                                                         : kNeedsStored,
                       2);
    AppendLittleEndian(header, open.flags, 2);
    AppendLittleEndian(header, open.deflated ? 8 : 0, 2);
    AppendLittleEndian(header, open.time, 2);
    AppendLittleEndian(header, open.date, 2);
    AppendLittleEndian(header, crc, 4);
    AppendLittleEndian(header, bigStored ? kMax32 : stored, 4);
    AppendLittleEndian(header, bigSize ? kMax32 : size, 4);
    AppendLittleEndian(header, open.nameSize, 2);
    const std::size_t extraSize = (zip64Size != 0 ? 4 + zip64Size : 0) +
                                  (open.directory ? 0 : 4 + zip::kFingerprintSize) + open.timeField.size();
    AppendLittleEndian(header, extraSize, 2);
    AppendLittleEndian(header, 0, 2);  // comment
    AppendLittleEndian(header, 0, 2);  // disk
    AppendLittleEndian(header, 0, 2);  // internal attributes
    AppendLittleEndian(header, open.attributes, 4);
    AppendLittleEndian(header, farAway ? kMax32 : open.localAt, 4);
    header.append(open.name);
    if (zip64Size != 0) {
        AppendBlock(header, zip::kZip64ExtraId, zip64Size);
        if (bigSize) AppendLittleEndian(header, size, 8);
        if (bigStored) AppendLittleEndian(header, stored, 8);
        if (farAway) AppendLittleEndian(header, open.localAt, 8);
    }
    if (!open.directory) {
        AppendBlock(header, zip::kFingerprintId, zip::kFingerprintSize);
        header += zip::FingerprintField(fingerprint.value_or(TSha256Digest{}));
    }
    header += open.timeField;
    AppendCentral(header);

    FSeal.Add(open.name, open.directory ? std::nullopt : fingerprint);
    ++FEntries;
    FOpen.reset();
}

void TZipStreamWriter::AppendCentral(const std::string& header) {
    if (FCentral.empty() || FCentral.back().size() + header.size() > FCentral.back().capacity()) {
        FCentral.emplace_back().reserve(std::max(kCentralChunk, header.size()));
    }
    FCentral.back() += header;
}

void TZipStreamWriter::Finish(std::string_view comment) {
    if (FOpen || FFinished) throw std::logic_error("TZipStreamWriter: an entry is open or the archive finished");
    if (comment.size() > 0xFFFF) throw EOlvex("Der Kommentar des Archivs ist zu lang (mehr als 65.535 Bytes).");
    const std::uint64_t centralAt = Position();
    for (std::string& chunk : FCentral) {
        Append(chunk.data(), chunk.size());
        std::string().swap(chunk);
    }
    FCentral.clear();
    const std::uint64_t centralSize = Position() - centralAt;
    std::string end;
    if (FEntries >= 0xFFFF || centralAt >= kMax32 || centralSize >= kMax32) {
        const std::uint64_t zip64At = Position();
        AppendLittleEndian(end, zip::kZip64EndRecordSig, 4);
        AppendLittleEndian(end, zip::kZip64EndRecordSize - 12, 8);
        AppendLittleEndian(end, kMadeByUnix, 2);
        AppendLittleEndian(end, kNeedsZip64, 2);
        AppendLittleEndian(end, 0, 4);  // this disk
        AppendLittleEndian(end, 0, 4);  // the directory's disk
        AppendLittleEndian(end, FEntries, 8);
        AppendLittleEndian(end, FEntries, 8);
        AppendLittleEndian(end, centralSize, 8);
        AppendLittleEndian(end, centralAt, 8);
        AppendLittleEndian(end, zip::kZip64LocatorSig, 4);
        AppendLittleEndian(end, 0, 4);
        AppendLittleEndian(end, zip64At, 8);
        AppendLittleEndian(end, 1, 4);  // disks
    }
    AppendLittleEndian(end, zip::kEndRecordSig, 4);
    AppendLittleEndian(end, 0, 2);
    AppendLittleEndian(end, 0, 2);
    AppendLittleEndian(end, std::min<std::uint64_t>(FEntries, 0xFFFF), 2);
    AppendLittleEndian(end, std::min<std::uint64_t>(FEntries, 0xFFFF), 2);
    AppendLittleEndian(end, std::min<std::uint64_t>(centralSize, kMax32), 4);
    AppendLittleEndian(end, std::min<std::uint64_t>(centralAt, kMax32), 4);
    AppendLittleEndian(end, comment.size(), 2);
    end.append(comment);
    Append(end.data(), end.size());
    Flush();
    // An entry taken back at the end leaves bytes beyond the end written over.
    if (FEnd > FBufferAt && ::ftruncate(FFd, static_cast<off_t>(FBufferAt)) != 0) Fail(errno);
    FFinished = true;
}

}  // namespace tavik
