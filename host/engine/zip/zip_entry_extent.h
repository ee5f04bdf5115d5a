#pragma once
// Where each entry of a ZIP archive lies: its local header, its data and the data descriptor
// after it, read from the local headers that the central directory points to. The structure
// check and the copy into split volumes both walk the local headers through here.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "host/engine/zip/zip_directory.h"
#include "host/engine/zip/zip_records.h"

namespace tavik::zip {

struct TEntryExtent {
    std::size_t index = 0;  // in the central directory
    std::uint64_t start = 0;
    std::size_t headerSize = 0;
    std::uint64_t dataSize = 0;
    std::size_t descriptorSize = 0;  // measured only when asked for
    std::uint64_t End() const { return start + headerSize + dataSize + descriptorSize; }
};

struct TExtentOptions {
    // The local header must name the same name and method as the central header and, unless
    // a data descriptor follows the data, the same CRC and sizes.
    bool agreeWithCentral = false;
    // Find the data descriptor after the data of entries that announce one.
    bool measureDescriptor = false;
};

// Measures entries one after the other; everything up to the end of an entry's data must lie
// before limit (the start of the central directory).
class TEntryMeasure {
public:
    TEntryMeasure(TByteReader& reader, std::uint64_t limit, const TExtentOptions& options)
        : FReader(reader), FLimit(limit), FOptions(options) {}
    // The extent of the entry of central (index in the directory) whose local header lies at
    // position. Throws TRecordError with a German text that names the entry.
    TEntryExtent operator()(const TCentralView& central, std::size_t index, std::uint64_t position);

private:
    // Reads size bytes at position, all before FLimit, through a window read ahead: local
    // headers mostly follow one another closely, and a read of its own for each would cost two
    // system calls per entry.
    // reach: how many bytes from position on are worth reading at once.
    void Read(std::uint64_t position, std::uint8_t* buffer, std::size_t size, std::size_t reach = kReadAhead);

    static constexpr std::size_t kReadAhead = 64 * 1024;
    // Room taken for a local header's extra fields when only the header is read.
    static constexpr std::size_t kExtraAllowance = 512;

    TByteReader& FReader;
    std::uint64_t FLimit;
    TExtentOptions FOptions;
    TBytes FNameAndExtra;  // kept from entry to entry: a directory may hold millions
    TBytes FAhead;         // bytes from FAheadStart on, at most kReadAhead
    std::uint64_t FAheadStart = 0;
};

// Sorts the extents by their start and gives the indexes of the first two entries that share
// bytes, if any. Shared bytes would let a small archive unpack to any size.
std::optional<std::pair<std::size_t, std::size_t>> SortAndFindOverlap(std::vector<TEntryExtent>& extents);

}  // namespace tavik::zip
