#pragma once
// The fixed records of the ZIP format: signatures, local and central headers, the end of
// central directory record and its Zip64 forms, and the extra fields the engine reads.
// Parsing checks every length against the bytes at hand, since the input may be hostile.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tavik::ziprec {

using TBytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kLocalHeaderSig = 0x04034b50;
constexpr std::uint32_t kCentralHeaderSig = 0x02014b50;
constexpr std::uint32_t kEndRecordSig = 0x06054b50;
constexpr std::uint32_t kZip64EndRecordSig = 0x06064b50;
constexpr std::uint32_t kZip64LocatorSig = 0x07064b50;
constexpr std::uint32_t kSplitSig = 0x08074b50;  // also the optional data descriptor signature
constexpr std::uint32_t kSingleSegmentSig = 0x30304b50;

constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::size_t kCentralHeaderSize = 46;
constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kZip64EndRecordSize = 56;
constexpr std::size_t kZip64LocatorSize = 20;
constexpr std::size_t kMaxEndSearch = kEndRecordSize + 0xFFFF + kZip64LocatorSize;

constexpr std::uint16_t kFlagDataDescriptor = 0x0008;

// Compression methods that not every libzip names.
constexpr std::uint16_t kMethodZstd = 93;
constexpr std::uint16_t kMethodPpmd = 98;

constexpr std::uint16_t kZip64ExtraId = 0x0001;
constexpr std::uint32_t kMax32 = 0xFFFFFFFF;  // a full 32-bit field: the value is in the Zip64 block

constexpr std::uint16_t kNtfsTimesId = 0x000A;
constexpr std::uint16_t kExtendedTimestampId = 0x5455;
constexpr std::uint16_t kInfoZipUnixId = 0x5855;
constexpr std::int64_t kNtfsEpochOffset = 11'644'473'600;  // seconds from 1601-01-01 to 1970-01-01
constexpr std::int64_t kNtfsTicks = 10'000'000;             // 100 ns steps per second

std::uint16_t Get16(const std::uint8_t* p);
std::uint32_t Get32(const std::uint8_t* p);
std::uint64_t Get64(const std::uint8_t* p);
void Put16(TBytes& out, std::uint16_t v);
void Put32(TBytes& out, std::uint32_t v);
void Put64(TBytes& out, std::uint64_t v);

// A malformed record; the German text names the defect, the caller adds which archive.
class TRecordError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The fixed values of a central header, with the Zip64 values applied where the 32-bit fields
// are full.
struct TCentralValues {
    std::uint16_t versionMadeBy = 0;
    std::uint16_t versionNeeded = 0;
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint16_t time = 0;
    std::uint16_t date = 0;
    std::uint32_t crc = 0;
    std::uint64_t compressedSize = 0;
    std::uint64_t uncompressedSize = 0;
    std::uint64_t localOffset = 0;
    std::uint32_t diskStart = 0;
    std::uint16_t internalAttributes = 0;
    std::uint32_t externalAttributes = 0;
    bool compressedIn64 = false;  // the 32-bit field held 0xFFFFFFFF
    bool uncompressedIn64 = false;
};

struct TCentralHeader : TCentralValues {
    bool hadZip64Extra = false;
    TBytes name;
    TBytes extra;  // without the Zip64 field
    TBytes comment;
};

// Size of the central header starting at data (at least 46 bytes available), or 0 when the
// signature is wrong.
std::size_t CentralHeaderSize(const std::uint8_t* data);

// One central header as it lies in the directory, its values read and its Zip64 values applied,
// pointing into the header's bytes: no allocation, for reading many directories fast.
struct TCentralView : TCentralValues {
    const std::uint8_t* name = nullptr;
    std::size_t nameSize = 0;
    const std::uint8_t* extra = nullptr;  // the whole extra field, Zip64 block included
    std::size_t extraSize = 0;
    const std::uint8_t* zip64 = nullptr;  // the Zip64 block within extra (with its id and length)
    std::size_t zip64Size = 0;
    std::size_t wellFormedExtra = 0;  // bytes of extra that are whole blocks; readers ignore the rest
    bool fullWithoutZip64 = false;    // a size, offset or disk field is full, and no Zip64 block follows
    const std::uint8_t* comment = nullptr;
    std::size_t commentSize = 0;
};
// Reads one complete central header of exactly size bytes (as CentralHeaderSize gives it).
// Throws TRecordError.
TCentralView ViewCentralHeader(const std::uint8_t* data, std::size_t size);
// The header as values of its own; the extra field without the Zip64 block and without bytes
// that are no whole block.
TCentralHeader OwnCentralHeader(const TCentralView& view);
// Parses one complete central header of exactly size bytes. Throws TRecordError.
TCentralHeader ParseCentralHeader(const std::uint8_t* data, std::size_t size);
// The header with the given disk and local offset; Zip64 fields where the values need them.
TBytes SerializeCentralHeader(const TCentralHeader& header, std::uint32_t disk, std::uint64_t offset);
std::string EntryName(const TCentralHeader& header);
std::string EntryName(const TCentralView& header);

// The data of the first extra block with the given id, or nullptr; size receives its length.
const std::uint8_t* FindExtraBlock(const std::uint8_t* extra, std::size_t extraSize, std::uint16_t id,
                                   std::size_t& size);

// The fixed part of a local header and the Zip64 sizes of its extra field.
struct TLocalView {
    std::uint16_t flags = 0;
    std::uint16_t method = 0;
    std::uint32_t crc = 0;
    std::uint64_t compressedSize = 0;
    std::uint64_t uncompressedSize = 0;
    std::size_t nameSize = 0;
    std::size_t extraSize = 0;
    bool hasZip64 = false;
    std::size_t Size() const { return kLocalHeaderSize + nameSize + extraSize; }
};
// Reads the 30 fixed bytes of a local header. Throws TRecordError when the signature is wrong.
TLocalView ViewLocalHeader(const std::uint8_t* fixed);
// Completes the view with its extra field (extraSize bytes): full size fields from the Zip64 block.
void ApplyLocalExtra(TLocalView& local, const std::uint8_t* extra);

// The modification time in an extended timestamp block (0x5455). Its 32 bits read signed, as
// Info-ZIP reads them, unless the DOS time lies after 2038-01-18: then unsigned, up to 2106.
std::optional<std::int64_t> ExtendedTimestampTime(const std::uint8_t* data, std::size_t size,
                                                  std::optional<std::int64_t> dosTime);
// The modification time in an NTFS times block (0x000A): attribute 1, in 100 ns steps from 1601.
std::optional<std::int64_t> NtfsModificationTime(const std::uint8_t* data, std::size_t size);
// The modification time in the old Info-ZIP Unix block (0x5855), read as the extended timestamp.
std::optional<std::int64_t> InfoZipUnixTime(const std::uint8_t* data, std::size_t size,
                                            std::optional<std::int64_t> dosTime);
// The exact time of an entry from its whole extra field: the extended timestamp, else the NTFS
// times, else the old Info-ZIP Unix block; nothing when it holds none of them.
std::optional<std::int64_t> ExtraFieldTime(const std::uint8_t* extra, std::size_t extraSize,
                                           std::optional<std::int64_t> dosTime);

struct TEndRecord {
    std::uint32_t thisDisk = 0;
    std::uint32_t centralDisk = 0;
    std::uint64_t entriesOnDisk = 0;
    std::uint64_t entriesTotal = 0;
    std::uint64_t centralSize = 0;
    std::uint64_t centralOffset = 0;
    TBytes comment;
};

struct TFoundEnd {
    TEndRecord record;            // with the 16/32-bit values; overwritten from Zip64 if present
    std::size_t position = 0;     // of the end record within the searched tail
    bool hasLocator = false;
    std::uint32_t zip64Disk = 0;  // from the locator
    std::uint64_t zip64Offset = 0;
    std::uint32_t totalDisks = 0;
    bool exact = false;           // its comment ends where the tail ends
    bool commentCut = false;      // its comment length runs past the tail; the comment is cut there
    std::size_t commentSize = 0;  // bytes of the comment within the tail
};

// No end record at all: the file is no ZIP archive, or its end is missing.
class TNoEndRecord : public TRecordError {
public:
    using TRecordError::TRecordError;
};

// Every end record in the last bytes of a disk, the likeliest first: those whose comment ends
// exactly at the end, then those followed by other bytes, then those whose comment is cut
// short; each group from the end backwards. Empty when there is none. Their comments are left
// empty (commentSize tells where it lies).
std::vector<TFoundEnd> FindEndRecords(const std::uint8_t* tail, std::size_t size);
// The likeliest of them, with its comment. Throws TNoEndRecord when there is none.
TFoundEnd FindEndRecord(const std::uint8_t* tail, std::size_t size);
// Completes found with the Zip64 end record (56 bytes at least).
void ApplyZip64EndRecord(TFoundEnd& found, const std::uint8_t* data, std::size_t size);

// Zip64 end record, locator (when needed) and end record. zip64Offset is where the first byte
// will stand on thisDisk.
TBytes BuildEndRecords(const TEndRecord& end, std::uint64_t zip64Offset);
std::size_t EndRecordsSize(const TEndRecord& end);

}  // namespace tavik::ziprec
