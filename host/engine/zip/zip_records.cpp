#include "host/engine/zip/zip_records.h"

#include <cstdint>

#include <algorithm>

namespace tavik::ziprec {

namespace {

constexpr std::uint16_t kZip64ExtraId = 0x0001;
constexpr std::uint32_t kMax32 = 0xFFFFFFFF;
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

std::uint16_t Get16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t Get32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(Get16(p)) | (static_cast<std::uint32_t>(Get16(p + 2)) << 16);
}

std::uint64_t Get64(const std::uint8_t* p) {
    return static_cast<std::uint64_t>(Get32(p)) | (static_cast<std::uint64_t>(Get32(p + 4)) << 32);
}

void Put16(TBytes& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(TBytes& out, std::uint32_t v) {
    Put16(out, static_cast<std::uint16_t>(v));
    Put16(out, static_cast<std::uint16_t>(v >> 16));
}

void Put64(TBytes& out, std::uint64_t v) {
    Put32(out, static_cast<std::uint32_t>(v));
    Put32(out, static_cast<std::uint32_t>(v >> 32));
}

std::size_t CentralHeaderSize(const std::uint8_t* data) {
    if (Get32(data) != kCentralHeaderSig) return 0;
    return kCentralHeaderSize + Get16(data + 28) + Get16(data + 30) + Get16(data + 32);
}

TCentralHeader ParseCentralHeader(const std::uint8_t* data, std::size_t size) {
    if (size < kCentralHeaderSize || CentralHeaderSize(data) != size)
        throw TRecordError("ein Eintrag des Inhaltsverzeichnisses ist unvollständig");
    TCentralHeader h;
    h.versionMadeBy = Get16(data + 4);
    h.versionNeeded = Get16(data + 6);
    h.flags = Get16(data + 8);
    h.method = Get16(data + 10);
    h.time = Get16(data + 12);
    h.date = Get16(data + 14);
    h.crc = Get32(data + 16);
    const std::uint32_t compressed = Get32(data + 20);
    const std::uint32_t uncompressed = Get32(data + 24);
    const std::size_t nameLen = Get16(data + 28);
    const std::size_t extraLen = Get16(data + 30);
    const std::size_t commentLen = Get16(data + 32);
    const std::uint16_t disk = Get16(data + 34);
    h.internalAttributes = Get16(data + 36);
    h.externalAttributes = Get32(data + 38);
    const std::uint32_t offset = Get32(data + 42);

    const std::uint8_t* name = data + kCentralHeaderSize;
    const std::uint8_t* extra = name + nameLen;
    const std::uint8_t* comment = extra + extraLen;
    h.name.assign(name, extra);
    h.comment.assign(comment, comment + commentLen);

    h.compressedIn64 = compressed == kMax32;
    h.uncompressedIn64 = uncompressed == kMax32;
    h.compressedSize = compressed;
    h.uncompressedSize = uncompressed;
    h.localOffset = offset;
    h.diskStart = disk;
    const bool offsetIn64 = offset == kMax32;
    const bool diskIn64 = disk == kMax16;

    // Keep every other extra block as it is; a malformed tail is kept unparsed.
    std::size_t pos = 0;
    bool zip64Found = false;
    while (pos + 4 <= extraLen) {
        const std::uint16_t id = Get16(extra + pos);
        const std::size_t len = Get16(extra + pos + 2);
        if (pos + 4 + len > extraLen) break;
        if (id == kZip64ExtraId && !zip64Found) {
            zip64Found = true;
            const std::uint8_t* field = extra + pos + 4;
            std::size_t left = len;
            auto take64 = [&](std::uint64_t& target) {
                if (left < 8) throw TRecordError("ein Zip64-Feld eines Eintrags ist zu kurz");
                target = Get64(field);
                field += 8;
                left -= 8;
            };
            if (h.uncompressedIn64) take64(h.uncompressedSize);
            if (h.compressedIn64) take64(h.compressedSize);
            if (offsetIn64) take64(h.localOffset);
            if (diskIn64) {
                if (left < 4) throw TRecordError("ein Zip64-Feld eines Eintrags ist zu kurz");
                h.diskStart = Get32(field);
            }
        } else {
            h.extra.insert(h.extra.end(), extra + pos, extra + pos + 4 + len);
        }
        pos += 4 + len;
    }
    h.extra.insert(h.extra.end(), extra + pos, extra + extraLen);
    h.hadZip64Extra = zip64Found;
    if (!zip64Found && (h.uncompressedIn64 || h.compressedIn64 || offsetIn64 || diskIn64))
        throw TRecordError("einem Eintrag fehlt sein Zip64-Feld");
    return h;
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

TCentralView ViewCentralHeader(const std::uint8_t* data, std::size_t size) {
    if (size < kCentralHeaderSize || CentralHeaderSize(data) != size)
        throw TRecordError("ein Eintrag des Inhaltsverzeichnisses ist unvollständig");
    TCentralView v;
    v.versionMadeBy = Get16(data + 4);
    v.flags = Get16(data + 8);
    v.time = Get16(data + 12);
    v.date = Get16(data + 14);
    const std::uint32_t compressed = Get32(data + 20);
    const std::uint32_t uncompressed = Get32(data + 24);
    v.nameSize = Get16(data + 28);
    v.extraSize = Get16(data + 30);
    const std::uint16_t disk = Get16(data + 34);
    const std::uint32_t offset = Get32(data + 42);
    v.name = data + kCentralHeaderSize;
    v.extra = v.name + v.nameSize;
    v.uncompressedSize = uncompressed;
    v.diskStart = disk;
    v.localOffset = offset;
    if (uncompressed != kMax32 && compressed != kMax32 && offset != kMax32 && disk != kMax16) return v;

    std::size_t left = 0;
    const std::uint8_t* field = FindExtraBlock(v.extra, v.extraSize, kZip64ExtraId, left);
    if (field == nullptr) throw TRecordError("einem Eintrag fehlt sein Zip64-Feld");
    auto take64 = [&](std::uint64_t& target) {
        if (left < 8) throw TRecordError("ein Zip64-Feld eines Eintrags ist zu kurz");
        target = Get64(field);
        field += 8;
        left -= 8;
    };
    // The order of the Zip64 values is fixed; each one is there only when its field is full.
    if (uncompressed == kMax32) take64(v.uncompressedSize);
    std::uint64_t ignored = 0;
    if (compressed == kMax32) take64(ignored);
    if (offset == kMax32) take64(v.localOffset);
    if (disk == kMax16) {
        if (left < 4) throw TRecordError("ein Zip64-Feld eines Eintrags ist zu kurz");
        v.diskStart = Get32(field);
    }
    return v;
}

std::optional<std::int64_t> ExtendedTimestampTime(const std::uint8_t* data, std::size_t size,
                                                  std::optional<std::int64_t> dosTime) {
    if (data == nullptr || size < 5 || (data[0] & 1) == 0) return std::nullopt;
    const std::uint32_t raw = Get32(data + 1);
    const auto value = static_cast<std::int32_t>(raw);
    if (value < 0 && dosTime && *dosTime >= std::int64_t{INT32_MAX} - 86'400) return std::int64_t{raw};
    return std::int64_t{value};
}

std::optional<std::int64_t> NtfsModificationTime(const std::uint8_t* data, std::size_t size) {
    constexpr std::int64_t kNtfsEpochOffset = 11'644'473'600;  // seconds from 1601 to 1970
    constexpr std::int64_t kNtfsTicks = 10'000'000;             // 100 ns steps per second
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

std::optional<std::int64_t> ExtraFieldTime(const std::uint8_t* extra, std::size_t extraSize,
                                           std::optional<std::int64_t> dosTime) {
    std::size_t size = 0;
    if (const std::uint8_t* data = FindExtraBlock(extra, extraSize, 0x5455, size))
        if (auto time = ExtendedTimestampTime(data, size, dosTime)) return time;
    if (const std::uint8_t* data = FindExtraBlock(extra, extraSize, 0x000A, size)) return NtfsModificationTime(data, size);
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

bool LocalHeaderHasZip64(const std::uint8_t* header, std::size_t size) {
    if (size < kLocalHeaderSize) return false;
    const std::size_t nameLen = Get16(header + 26);
    const std::size_t extraLen = Get16(header + 28);
    if (kLocalHeaderSize + nameLen + extraLen > size) return false;
    const std::uint8_t* extra = header + kLocalHeaderSize + nameLen;
    for (std::size_t pos = 0; pos + 4 <= extraLen;) {
        const std::size_t len = Get16(extra + pos + 2);
        if (Get16(extra + pos) == kZip64ExtraId) return true;
        pos += 4 + len;
    }
    return false;
}

TFoundEnd FindEndRecord(const std::uint8_t* tail, std::size_t size) {
    if (size < kEndRecordSize) throw TRecordError("das Ende des Archivs fehlt");
    // The last signature whose comment ends exactly at the end wins; a comment that runs
    // short of the end is accepted next (trailing bytes), one running past it never.
    std::size_t loose = size;
    std::size_t found = size;
    for (std::size_t pos = size - kEndRecordSize + 1; pos-- > 0;) {
        if (Get32(tail + pos) != kEndRecordSig) continue;
        const std::size_t end = pos + kEndRecordSize + Get16(tail + pos + 20);
        if (end == size) {
            found = pos;
            break;
        }
        if (end < size && loose == size) loose = pos;
    }
    if (found == size) found = loose;
    if (found == size) throw TRecordError("das Ende des Archivs (Endsatz des Inhaltsverzeichnisses) fehlt");

    const std::uint8_t* p = tail + found;
    TFoundEnd result;
    result.position = found;
    TEndRecord& r = result.record;
    r.thisDisk = Get16(p + 4);
    r.centralDisk = Get16(p + 6);
    r.entriesOnDisk = Get16(p + 8);
    r.entriesTotal = Get16(p + 10);
    r.centralSize = Get32(p + 12);
    r.centralOffset = Get32(p + 16);
    r.comment.assign(p + kEndRecordSize, p + kEndRecordSize + Get16(p + 20));

    if (found >= kZip64LocatorSize && Get32(p - kZip64LocatorSize) == kZip64LocatorSig) {
        const std::uint8_t* l = p - kZip64LocatorSize;
        result.hasLocator = true;
        result.zip64Disk = Get32(l + 4);
        result.zip64Offset = Get64(l + 8);
        result.totalDisks = Get32(l + 16);
    }
    return result;
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
