#pragma once
// The one reader of a ZIP archive's directory, for every part of the engine that reads one:
// it finds the end records (scanning back over a comment and over bytes that follow the
// archive), follows Zip64, finds where the archive begins when bytes were put before it (a
// self-extracting stub) and reads and checks every central header. Every length is checked
// against the bytes at hand, since the input may be hostile; memory follows the file, never
// what the records claim.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/engine/zip/zip_records.h"

namespace tavik::zip {

// Where the bytes come from: the archive's disks taken end to end.
class TByteReader {
public:
    virtual ~TByteReader() = default;
    virtual std::uint64_t Size() const = 0;
    // Reads exactly size bytes at position; throws when it cannot.
    virtual void Read(std::uint64_t position, void* buffer, std::size_t size) = 0;
};

// An open file of the given size, read with pread; a failed or short read throws TRecordError.
class TDescriptorReader : public TByteReader {
public:
    TDescriptorReader(int fd, std::uint64_t size) : FFd(fd), FSize(size) {}
    std::uint64_t Size() const override { return FSize; }
    void Read(std::uint64_t position, void* buffer, std::size_t size) override;

private:
    int FFd;
    std::uint64_t FSize;
};

struct TDirectoryEntry {
    TCentralView header;         // points into the directory's bytes
    std::uint64_t position = 0;  // of the local header, over all disks
};

// Takes the entries of a directory read as a stream, one at a time, in the directory's order;
// the header's views hold only while the call runs.
using TEntryVisitor = std::function<void(const TDirectoryEntry& entry)>;

// Kept from one archive to the next, so that reading many small ones allocates little.
class TZipDirectory {
public:
    // diskStarts holds where each disk begins over all disks, and their total size last; a
    // single file or a byte-split set is one disk. Without entries only the end records are
    // read and the directory's first signature is checked. Throws TRecordError.
    void Read(TByteReader& reader, const std::vector<std::uint64_t>& diskStarts, bool withEntries = true);
    // Reads the directory as Read does, choosing the same end record by the same checks, but
    // keeps no entry and holds at most kStreamWindow bytes of the directory at a time: every
    // entry is checked while the end record is chosen, then given to visit in a second reading.
    // When no directory holds, visit gets the entries of the one whose fault is reported up to
    // that fault, and it throws as Read does. Entries() stays empty.
    void Stream(TByteReader& reader, const std::vector<std::uint64_t>& diskStarts, const TEntryVisitor& visit);

    const TEndRecord& End() const { return FEnd; }
    // Bytes before the archive that its offsets do not count (added to every position).
    std::uint64_t Prefix() const { return FPrefix; }
    // Where the entries begin: after the prefix and a split or single-segment marker.
    std::uint64_t DataStart() const { return FDataStart; }
    // Where the central directory begins; every entry lies before it.
    std::uint64_t CentralStart() const { return FCentralStart; }
    const std::vector<TDirectoryEntry>& Entries() const { return FEntries; }
    // Where a byte of an entry's central header (a pointer into its view) lies over all disks;
    // while streaming, only for the entry being visited.
    std::uint64_t CentralPosition(const std::uint8_t* byte) const {
        return FCentralStart + FWindowStart + static_cast<std::uint64_t>(byte - FCentral.data());
    }
    // The most of a directory that Stream holds in memory at once; a central header has at most
    // 46 + 3 * 65,535 bytes, so that each fits whole.
    static constexpr std::size_t kStreamWindow = std::size_t{1} << 20;
    // The archive reads as written: no prefix, nothing after the end record, nothing between
    // the directory and the end records, and every extra field made of whole blocks.
    bool AsWritten() const { return FAsWritten; }
    // Gives back the directory's buffers when they grew beyond keep bytes.
    void Release(std::size_t keep);

private:
    std::uint64_t DiskStart(std::uint32_t disk) const { return FDiskStarts[disk]; }
    std::uint64_t DiskSize(std::uint32_t disk) const { return FDiskStarts[disk + 1] - FDiskStarts[disk]; }
    void ReadAt(TByteReader& reader, std::uint64_t position, std::uint8_t* buffer, std::size_t size) const;
    bool CentralAt(TByteReader& reader, std::uint64_t position) const;
    // Takes the end record found in the tail that starts at tailStart. Throws TRecordError.
    void Locate(TByteReader& reader, const TFoundEnd& found, std::uint64_t tailStart);
    // Locate and read the entries of one candidate; false (the first reason kept) when it does
    // not hold.
    bool TryCandidate(TByteReader& reader, const TFoundEnd& found, std::uint64_t tailStart, bool withEntries,
                      std::string& firstError);
    void ReadEntries(TByteReader& reader);
    // Reads the entries of the located directory in order, checks each and gives it to take:
    // the whole directory at once, or while streaming a window of it at a time.
    void WalkEntries(TByteReader& reader, const TEntryVisitor& take);
    // Makes the size bytes of the directory at offset (within it) lie in the window.
    const std::uint8_t* Window(TByteReader& reader, std::size_t offset, std::size_t size);

    std::vector<std::uint64_t> FDiskStarts;
    TBytes FTail;
    std::uint64_t FTailStart = 0;
    TBytes FCentral;               // the directory, or while streaming a window of it
    std::size_t FWindowStart = 0;  // where in the directory FCentral begins
    std::size_t FWindowFill = 0;   // bytes of FCentral read
    bool FStreaming = false;
    // The candidate whose fault is reported: where its end record lies, so that streaming can
    // show the entries before that fault.
    TFoundEnd FFailed;
    std::optional<std::uint64_t> FFailedAt;
    TEndRecord FEnd;
    std::uint64_t FPrefix = 0;
    std::uint64_t FDataStart = 0;
    std::uint64_t FCentralStart = 0;
    std::vector<TDirectoryEntry> FEntries;
    bool FAsWritten = true;
    bool FTight = false;  // the directory ends where the end records begin (after any prefix)
};

}  // namespace tavik::zip
