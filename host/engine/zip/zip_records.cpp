#include "host/engine/zip/zip_records.h"

#include "host/services/little_endian.h"

#include <cstdint>

#include <algorithm>
#include <iterator>

namespace tavik::ziprec {

namespace {

constexpr std::uint16_t kMax16 = 0xFFFF;
constexpr std::uint16_t kZip64Version = 45;

bool NeedsZip64(const TEndRecord& end) {
    return end.thisDisk >= kMax16 || end.centralDisk >= kMax16 || end.entriesOnDisk >= kMax16 ||
           end.entriesTotal >= kMax16 || end.centralSize >= kMax32 || end.centralOffset >= kMax32;
}

std::uint16_t Clamp16(std::uint64_t v) {
    return v >= kMax16 ? kMax16 : static_cast<std::uint16_t>(v);
}

std::uint32_t Clamp32(std::uint64_t v) {
    return v >= kMax32 ? kMax32 : static_cast<std::uint32_t>(v);
}

}  // namespace

std::uint16_t Get16(const std::uint8_t* p) { return GetLittleEndian16(p); }
std::uint32_t Get32(const std::uint8_t* p) { return GetLittleEndian32(p); }
std::uint64_t Get64(const std::uint8_t* p) { return GetLittleEndian64(p); }
void Put16(TBytes& out, std::uint16_t v) { AppendLittleEndian(out, v, 2); }
void Put32(TBytes& out, std::uint32_t v) { AppendLittleEndian(out, v, 4); }
void Put64(TBytes& out, std::uint64_t v) { AppendLittleEndian(out, v, 8); }

std::size_t CentralHeaderSize(const std::uint8_t* data) {
    if (Get32(data) != kCentralHeaderSig) return 0;
    return kCentralHeaderSize + Get16(data + 28) + Get16(data + 30) + Get16(data + 32);
}

TCentralView ViewCentralHeader(const std::uint8_t* data, std::size_t size) {
    if (size < kCentralHeaderSize || CentralHeaderSize(data) != size)
        throw TRecordError("ein Eintrag des Inhaltsverzeichnisses ist unvollständig");
    TCentralView v;
    v.versionMadeBy = Get16(data + 4);
    v.versionNeeded = Get16(data + 6);
    v.flags = Get16(data + 8);
    v.method = Get16(data + 10);
    v.time = Get16(data + 12);
    v.date = Get16(data + 14);
    v.crc = Get32(data + 16);
    v.compressedSize = Get32(data + 20);
    v.uncompressedSize = Get32(data + 24);
    v.nameSize = Get16(data + 28);
    v.extraSize = Get16(data + 30);
    v.commentSize = Get16(data + 32);
    v.diskStart = Get16(data + 34);
    v.internalAttributes = Get16(data + 36);
    v.externalAttributes = Get32(data + 38);
    v.localOffset = Get32(data + 42);
    v.name = data + kCentralHeaderSize;
    v.extra = v.name + v.nameSize;
    v.comment = v.extra + v.extraSize;

    while (v.wellFormedExtra + 4 <= v.extraSize) {
        const std::uint8_t* block = v.extra + v.wellFormedExtra;
        const std::size_t length = 4 + Get16(block + 2);
        if (length > v.extraSize - v.wellFormedExtra) break;
        if (Get16(block) == kZip64ExtraId && v.zip64 == nullptr) {
            v.zip64 = block;
            v.zip64Size = length;
        }
        v.wellFormedExtra += length;
    }

    v.compressedIn64 = v.compressedSize == kMax32;
    v.uncompressedIn64 = v.uncompressedSize == kMax32;
    const bool offsetIn64 = v.localOffset == kMax32;
    const bool diskIn64 = v.diskStart == kMax16;
    if (!v.compressedIn64 && !v.uncompressedIn64 && !offsetIn64 && !diskIn64) return v;
    // Without a Zip64 block a full field holds its own value, as unzip reads it: an entry of
    // exactly 4 GiB - 1 bytes written by a program that knows no Zip64.
    if (v.zip64 == nullptr) {
        v.fullWithoutZip64 = true;
        return v;
    }
    const std::uint8_t* field = v.zip64 + 4;
    std::size_t left = v.zip64Size - 4;
    auto take64 = [&](std::uint64_t& target) {
        if (left < 8) throw TRecordError("ein Zip64-Feld eines Eintrags ist zu kurz");
        target = Get64(field);
        field += 8;
        left -= 8;
    };
    // The order of the Zip64 values is fixed; each one is there only when its field is full.
    if (v.uncompressedIn64) take64(v.uncompressedSize);
    if (v.compressedIn64) take64(v.compressedSize);
    if (offsetIn64) take64(v.localOffset);
    if (diskIn64) {
        if (left < 4) throw TRecordError("ein Zip64-Feld eines Eintrags ist zu kurz");
        v.diskStart = Get32(field);
    }
    return v;
}

TCentralHeader OwnCentralHeader(const TCentralView& v) {
    TCentralHeader h;
    static_cast<TCentralValues&>(h) = v;
    h.hadZip64Extra = v.zip64 != nullptr;
    h.name.assign(v.name, v.name + v.nameSize);
    h.comment.assign(v.comment, v.comment + v.commentSize);
    // Every other whole block is kept as it is; the Zip64 block is written anew where needed.
    const std::uint8_t* wellFormedEnd = v.extra + v.wellFormedExtra;
    if (v.zip64 == nullptr) {
        h.extra.assign(v.extra, wellFormedEnd);
    } else {
        h.extra.assign(v.extra, v.zip64);
        h.extra.insert(h.extra.end(), v.zip64 + v.zip64Size, wellFormedEnd);
    }
    return h;
}

TCentralHeader ParseCentralHeader(const std::uint8_t* data, std::size_t size) {
    return OwnCentralHeader(ViewCentralHeader(data, size));
}

TBytes SerializeCentralHeader(const TCentralHeader& h, std::uint32_t disk, std::uint64_t offset) {
    TBytes zip64;
    if (h.uncompressedIn64) Put64(zip64, h.uncompressedSize);
    if (h.compressedIn64) Put64(zip64, h.compressedSize);
    const bool offsetIn64 = offset >= kMax32;
    const bool diskIn64 = disk >= kMax16;
    if (offsetIn64) Put64(zip64, offset);
    if (diskIn64) Put32(zip64, disk);

    TBytes extra;
    if (!zip64.empty()) {
        Put16(extra, kZip64ExtraId);
        Put16(extra, static_cast<std::uint16_t>(zip64.size()));
        extra.insert(extra.end(), zip64.begin(), zip64.end());
    }
    extra.insert(extra.end(), h.extra.begin(), h.extra.end());
    if (extra.size() > kMax16) throw TRecordError("das Zusatzfeld eines Eintrags wird zu groß");

    std::uint16_t versionNeeded = h.versionNeeded;
    if (!zip64.empty()) versionNeeded = std::max(versionNeeded, kZip64Version);

    TBytes out;
    out.reserve(kCentralHeaderSize + h.name.size() + extra.size() + h.comment.size());
    Put32(out, kCentralHeaderSig);
    Put16(out, h.versionMadeBy);
    Put16(out, versionNeeded);
    Put16(out, h.flags);
    Put16(out, h.method);
    Put16(out, h.time);
    Put16(out, h.date);
    Put32(out, h.crc);
    Put32(out, h.compressedIn64 ? kMax32 : static_cast<std::uint32_t>(h.compressedSize));
    Put32(out, h.uncompressedIn64 ? kMax32 : static_cast<std::uint32_t>(h.uncompressedSize));
    Put16(out, static_cast<std::uint16_t>(h.name.size()));
    Put16(out, static_cast<std::uint16_t>(extra.size()));
    Put16(out, static_cast<std::uint16_t>(h.comment.size()));
    Put16(out, diskIn64 ? kMax16 : static_cast<std::uint16_t>(disk));
    Put16(out, h.internalAttributes);
    Put32(out, h.externalAttributes);
    Put32(out, offsetIn64 ? kMax32 : static_cast<std::uint32_t>(offset));
    out.insert(out.end(), h.name.begin(), h.name.end());
    out.insert(out.end(), extra.begin(), extra.end());
    out.insert(out.end(), h.comment.begin(), h.comment.end());
    return out;
}

std::string EntryName(const TCentralHeader& header) {
    return std::string(header.name.begin(), header.name.end());
}

std::string EntryName(const TCentralView& header) {
    return std::string(reinterpret_cast<const char*>(header.name), header.nameSize);
}

namespace {

// 32 bits of Unix time read signed, as Info-ZIP reads them, unless the DOS time lies after
// 2038-01-18: then unsigned, up to 2106.
std::int64_t UnixTime32(std::uint32_t raw, std::optional<std::int64_t> dosTime) {
    const auto value = static_cast<std::int32_t>(raw);
    if (value < 0 && dosTime && *dosTime >= std::int64_t{INT32_MAX} - 86'400) return std::int64_t{raw};
    return std::int64_t{value};
}

}  // namespace

std::optional<std::int64_t> ExtendedTimestampTime(const std::uint8_t* data, std::size_t size,
                                                  std::optional<std::int64_t> dosTime) {
    if (data == nullptr || size < 5 || (data[0] & 1) == 0) return std::nullopt;
    return UnixTime32(Get32(data + 1), dosTime);
}

std::optional<std::int64_t> NtfsModificationTime(const std::uint8_t* data, std::size_t size) {
    if (data == nullptr) return std::nullopt;
    for (std::size_t at = 4; at + 4 <= size;) {
        const unsigned tag = Get16(data + at);
        const unsigned length = Get16(data + at + 2);
        at += 4;
        if (at + length > size) break;
        if (tag == 1 && length >= 8) {
            const auto ticks = static_cast<std::int64_t>(Get64(data + at));
            if (ticks <= 0) return std::nullopt;
            return ticks / kNtfsTicks - kNtfsEpochOffset;
        }
        at += length;
    }
    return std::nullopt;
}

std::optional<std::int64_t> InfoZipUnixTime(const std::uint8_t* data, std::size_t size,
                                            std::optional<std::int64_t> dosTime) {
    // Access time first, then the modification time; the local form adds user and group.
    if (data == nullptr || size < 8) return std::nullopt;
    return UnixTime32(Get32(data + 4), dosTime);
}

std::optional<std::int64_t> ExtraFieldTime(const std::uint8_t* extra, std::size_t extraSize,
                                           std::optional<std::int64_t> dosTime) {
    std::size_t size = 0;
    if (const std::uint8_t* data = FindExtraBlock(extra, extraSize, kExtendedTimestampId, size))
        if (auto time = ExtendedTimestampTime(data, size, dosTime)) return time;
    if (const std::uint8_t* data = FindExtraBlock(extra, extraSize, kNtfsTimesId, size))
        if (auto time = NtfsModificationTime(data, size)) return time;
    if (const std::uint8_t* data = FindExtraBlock(extra, extraSize, kInfoZipUnixId, size))
        return InfoZipUnixTime(data, size, dosTime);
    return std::nullopt;
}

const std::uint8_t* FindExtraBlock(const std::uint8_t* extra, std::size_t extraSize, std::uint16_t id,
                                   std::size_t& size) {
    for (std::size_t pos = 0; pos + 4 <= extraSize;) {
        const std::size_t len = Get16(extra + pos + 2);
        if (pos + 4 + len > extraSize) break;
        if (Get16(extra + pos) == id) {
            size = len;
            return extra + pos + 4;
        }
        pos += 4 + len;
    }
    size = 0;
    return nullptr;
}

TLocalView ViewLocalHeader(const std::uint8_t* fixed) {
    if (Get32(fixed) != kLocalHeaderSig) throw TRecordError("der lokale Kopf eines Eintrags fehlt");
    TLocalView local;
    local.flags = Get16(fixed + 6);
    local.method = Get16(fixed + 8);
    local.crc = Get32(fixed + 14);
    local.compressedSize = Get32(fixed + 18);
    local.uncompressedSize = Get32(fixed + 22);
    local.nameSize = Get16(fixed + 26);
    local.extraSize = Get16(fixed + 28);
    return local;
}

void ApplyLocalExtra(TLocalView& local, const std::uint8_t* extra) {
    std::size_t left = 0;
    const std::uint8_t* field = FindExtraBlock(extra, local.extraSize, kZip64ExtraId, left);
    local.hasZip64 = field != nullptr;
    if (field == nullptr) return;
    // As in the central header: a value is there when its field is full, uncompressed first.
    for (std::uint64_t* size : {&local.uncompressedSize, &local.compressedSize}) {
        if (*size != kMax32) continue;
        if (left < 8) throw TRecordError("eine Zip64-Angabe eines lokalen Kopfes fehlt");
        *size = Get64(field);
        field += 8;
        left -= 8;
    }
}

namespace {

TFoundEnd ReadEndRecord(const std::uint8_t* tail, std::size_t size, std::size_t pos) {
    const std::uint8_t* p = tail + pos;
    TFoundEnd result;
    result.position = pos;
    TEndRecord& r = result.record;
    r.thisDisk = Get16(p + 4);
    r.centralDisk = Get16(p + 6);
    r.entriesOnDisk = Get16(p + 8);
    r.entriesTotal = Get16(p + 10);
    r.centralSize = Get32(p + 12);
    r.centralOffset = Get32(p + 16);
    const std::size_t commentEnd = pos + kEndRecordSize + Get16(p + 20);
    result.exact = commentEnd == size;
    result.commentCut = commentEnd > size;
    result.commentSize = std::min(commentEnd, size) - pos - kEndRecordSize;
    if (pos >= kZip64LocatorSize && Get32(p - kZip64LocatorSize) == kZip64LocatorSig) {
        const std::uint8_t* l = p - kZip64LocatorSize;
        result.hasLocator = true;
        result.zip64Disk = Get32(l + 4);
        result.zip64Offset = Get64(l + 8);
        result.totalDisks = Get32(l + 16);
    }
    return result;
}

}  // namespace

std::vector<TFoundEnd> FindEndRecords(const std::uint8_t* tail, std::size_t size) {
    std::vector<TFoundEnd> exact, followed, cut;
    if (size < kEndRecordSize) return exact;
    for (std::size_t pos = size - kEndRecordSize + 1; pos-- > 0;) {
        if (Get32(tail + pos) != kEndRecordSig) continue;
        TFoundEnd found = ReadEndRecord(tail, size, pos);
        (found.exact ? exact : found.commentCut ? cut : followed).push_back(std::move(found));
    }
    exact.insert(exact.end(), std::make_move_iterator(followed.begin()), std::make_move_iterator(followed.end()));
    exact.insert(exact.end(), std::make_move_iterator(cut.begin()), std::make_move_iterator(cut.end()));
    return exact;
}

TFoundEnd FindEndRecord(const std::uint8_t* tail, std::size_t size) {
    std::vector<TFoundEnd> found = FindEndRecords(tail, size);
    if (found.empty()) throw TNoEndRecord("das Ende des Archivs (Endsatz des Inhaltsverzeichnisses) fehlt");
    TFoundEnd& first = found.front();
    const std::uint8_t* comment = tail + first.position + kEndRecordSize;
    first.record.comment.assign(comment, comment + first.commentSize);
    return std::move(first);
}

void ApplyZip64EndRecord(TFoundEnd& found, const std::uint8_t* data, std::size_t size) {
    if (size < kZip64EndRecordSize || Get32(data) != kZip64EndRecordSig)
        throw TRecordError("der Zip64-Endsatz fehlt oder ist beschädigt");
    TEndRecord& r = found.record;
    r.thisDisk = Get32(data + 16);
    r.centralDisk = Get32(data + 20);
    r.entriesOnDisk = Get64(data + 24);
    r.entriesTotal = Get64(data + 32);
    r.centralSize = Get64(data + 40);
    r.centralOffset = Get64(data + 48);
}

std::size_t EndRecordsSize(const TEndRecord& end) {
    return (NeedsZip64(end) ? kZip64EndRecordSize + kZip64LocatorSize : 0) + kEndRecordSize + end.comment.size();
}

TBytes BuildEndRecords(const TEndRecord& end, std::uint64_t zip64Offset) {
    if (end.comment.size() > kMax16) throw TRecordError("der Archivkommentar ist zu lang");
    TBytes out;
    if (NeedsZip64(end)) {
        Put32(out, kZip64EndRecordSig);
        Put64(out, kZip64EndRecordSize - 12);
        Put16(out, kZip64Version);
        Put16(out, kZip64Version);
        Put32(out, end.thisDisk);
        Put32(out, end.centralDisk);
        Put64(out, end.entriesOnDisk);
        Put64(out, end.entriesTotal);
        Put64(out, end.centralSize);
        Put64(out, end.centralOffset);
        Put32(out, kZip64LocatorSig);
        Put32(out, end.thisDisk);
        Put64(out, zip64Offset);
        Put32(out, end.thisDisk + 1);
    }
    Put32(out, kEndRecordSig);
    Put16(out, Clamp16(end.thisDisk));
    Put16(out, Clamp16(end.centralDisk));
    Put16(out, Clamp16(end.entriesOnDisk));
    Put16(out, Clamp16(end.entriesTotal));
    Put32(out, Clamp32(end.centralSize));
    Put32(out, Clamp32(end.centralOffset));
    Put16(out, static_cast<std::uint16_t>(end.comment.size()));
    out.insert(out.end(), end.comment.begin(), end.comment.end());
    return out;
}

}  // namespace tavik::ziprec
