#include "host/engine/zip/zip_entry_extent.h"

#include <algorithm>
#include <array>
#include <string>

namespace tavik::zip {

namespace {

[[noreturn]] void Fail(const std::string& what) { throw TRecordError(what); }

// The data descriptor after an entry's data: with or without signature, with 4- or 8-byte
// sizes. The variant whose CRC and both sizes agree with the central directory wins: with the
// compressed size alone, the narrow reading of a wide descriptor fits whenever the sizes are small.
std::size_t DescriptorSize(const TCentralView& h, bool zip64, const std::uint8_t* bytes, std::size_t available) {
    struct TVariant {
        bool signature;
        bool wide;
    };
    const std::array<TVariant, 4> variants{{{true, zip64}, {true, !zip64}, {false, zip64}, {false, !zip64}}};
    for (const TVariant& v : variants) {
        const std::size_t size = (v.signature ? 4 : 0) + 4 + (v.wide ? 16 : 8);
        if (size > available) continue;
        const std::uint8_t* p = bytes;
        if (v.signature) {
            if (Get32(p) != kSplitSig) continue;
            p += 4;
        }
        const std::uint64_t compressed = v.wide ? Get64(p + 4) : Get32(p + 4);
        const std::uint64_t uncompressed = v.wide ? Get64(p + 12) : Get32(p + 8);
        if (Get32(p) == h.crc && compressed == h.compressedSize && uncompressed == h.uncompressedSize) return size;
    }
    const bool signature = available >= 4 && Get32(bytes) == kSplitSig;
    const std::size_t size = (signature ? 4 : 0) + 4 + (zip64 ? 16 : 8);
    return size <= available ? size : 0;
}

}  // namespace

void TEntryMeasure::Read(std::uint64_t position, std::uint8_t* buffer, std::size_t size, std::size_t reach) {
    if (position >= FAheadStart && position - FAheadStart <= FAhead.size() &&
        size <= FAhead.size() - (position - FAheadStart)) {
        std::copy_n(FAhead.data() + (position - FAheadStart), size, buffer);
        return;
    }
    const auto ahead = static_cast<std::size_t>(std::min<std::uint64_t>(std::max(reach, size), FLimit - position));
    if (size > ahead) {
        FReader.Read(position, buffer, size);
        return;
    }
    FAhead.resize(ahead);
    FAheadStart = position;
    try {
        FReader.Read(position, FAhead.data(), ahead);
    } catch (...) {
        FAhead.clear();
        throw;
    }
    std::copy_n(FAhead.data(), size, buffer);
}

TEntryExtent TEntryMeasure::operator()(const TCentralView& central, std::size_t index, std::uint64_t position) {
    const std::uint64_t limit = FLimit;
    const TExtentOptions& options = FOptions;
    // Named only when something is wrong: the name is not copied for each of millions of entries.
    const auto which = [&central] { return "„" + EntryName(central) + "“"; };
    if (position > limit || limit - position < kLocalHeaderSize)
        Fail("der lokale Kopf des Eintrags " + which() + " reicht in das Inhaltsverzeichnis");
    std::uint8_t fixed[kLocalHeaderSize];
    // The window reaches the next local header only behind small data; behind large data it
    // need hold no more than this header, which is then read without copying what follows.
    const std::uint64_t header = kLocalHeaderSize + central.nameSize + kExtraAllowance;
    const bool nextInReach = central.compressedSize < kReadAhead && header + central.compressedSize < kReadAhead;
    Read(position, fixed, sizeof fixed, nextInReach ? kReadAhead : static_cast<std::size_t>(header));
    if (Get32(fixed) != kLocalHeaderSig) Fail("der lokale Kopf des Eintrags " + which() + " fehlt");
    TLocalView local = ViewLocalHeader(fixed);
    TEntryExtent extent;
    extent.index = index;
    extent.start = position;
    extent.headerSize = local.Size();
    extent.dataSize = central.compressedSize;
    if (extent.headerSize > limit - position)
        Fail("der lokale Kopf des Eintrags " + which() + " reicht in das Inhaltsverzeichnis");
    if (extent.dataSize > limit - position - extent.headerSize)
        Fail("die Daten des Eintrags " + which() + " reichen in das Inhaltsverzeichnis");

    const bool descriptor = (central.flags & kFlagDataDescriptor) != 0;
    const bool localDescriptor = (local.flags & kFlagDataDescriptor) != 0;
    const bool compareSizes = options.agreeWithCentral && !descriptor && !localDescriptor;
    if (!options.agreeWithCentral && !(options.measureDescriptor && descriptor)) return extent;

    TBytes& rest = FNameAndExtra;
    rest.resize(local.nameSize + local.extraSize);
    Read(position + kLocalHeaderSize, rest.data(), rest.size());
    if (options.agreeWithCentral) {
        if (local.nameSize != central.nameSize || !std::equal(central.name, central.name + central.nameSize, rest.begin()))
            Fail("der lokale Kopf des Eintrags " + which() + " nennt einen anderen Namen");
        if (local.method != central.method)
            Fail("der lokale Kopf des Eintrags " + which() + " nennt eine andere Kompressionsmethode");
    }
    if (compareSizes || (options.measureDescriptor && descriptor)) {
        try {
            ApplyLocalExtra(local, rest.data() + local.nameSize);
        } catch (const TRecordError& error) {
            Fail(std::string(error.what()) + " (" + which() + ")");
        }
    }
    if (compareSizes && (local.crc != central.crc || local.compressedSize != central.compressedSize ||
                         local.uncompressedSize != central.uncompressedSize))
        Fail("CRC oder Größen des Eintrags " + which() + " stimmen nicht mit dem Inhaltsverzeichnis überein");
    if (options.measureDescriptor && descriptor) {
        const bool zip64 = local.hasZip64 || central.compressedIn64 || central.uncompressedIn64;
        const std::uint64_t at = position + extent.headerSize + extent.dataSize;
        std::uint8_t bytes[24];
        const auto available = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof bytes, limit - at));
        Read(at, bytes, available);
        extent.descriptorSize = DescriptorSize(central, zip64, bytes, available);
        if (extent.descriptorSize == 0) Fail("die Datenbeschreibung des Eintrags " + which() + " fehlt");
    }
    return extent;
}

std::optional<std::pair<std::size_t, std::size_t>> SortAndFindOverlap(std::vector<TEntryExtent>& extents) {
    std::sort(extents.begin(), extents.end(), [](const TEntryExtent& a, const TEntryExtent& b) { return a.start < b.start; });
    for (std::size_t i = 1; i < extents.size(); ++i)
        if (extents[i].start < extents[i - 1].End()) return std::pair{extents[i - 1].index, extents[i].index};
    return std::nullopt;
}

}  // namespace tavik::zip
