#include "host/engine/split/split_copy.h"

#include <algorithm>
#include <array>

#include "host/services/exceptions.h"

namespace tavik::splitcopy {

namespace {

using namespace ziprec;

constexpr std::size_t kCopyChunk = 1 << 20;

// Where one entry lies in the source: local header, data and data descriptor.
struct TExtent {
    std::size_t index = 0;
    std::uint64_t start = 0;
    std::size_t headerSize = 0;
    std::uint64_t dataSize = 0;
    std::size_t descriptorSize = 0;
    std::uint64_t End() const { return start + headerSize + dataSize + descriptorSize; }
};

// The data descriptor after an entry's data: with or without signature, with 4- or 8-byte
// sizes. The variant whose CRC and size agree with the central directory wins.
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
        if (Get32(p) == h.crc && compressed == h.compressedSize) return size;
    }
    const bool signature = available >= 4 && Get32(bytes) == kSplitSig;
    const std::size_t size = (signature ? 4 : 0) + 4 + (zip64 ? 16 : 8);
    return size <= available ? size : 0;
}

TExtent Measure(splitread::TSplitArchive& source, std::size_t index) {
    const splitread::TEntry& entry = source.Entries()[index];
    const TCentralView& h = entry.header;
    const std::string name = EntryName(h);
    const std::uint64_t limit = source.CentralStart();
    TExtent extent;
    extent.index = index;
    extent.start = entry.position;
    std::uint8_t fixed[kLocalHeaderSize];
    source.Files().Read(entry.position, fixed, sizeof fixed);
    if (Get32(fixed) != kLocalHeaderSig) source.Damaged("der lokale Kopf des Eintrags „" + name + "“ fehlt");
    TLocalView local = ViewLocalHeader(fixed);
    extent.headerSize = local.Size();
    extent.dataSize = h.compressedSize;
    if (extent.headerSize > limit - extent.start || extent.dataSize > limit - extent.start - extent.headerSize)
        source.Damaged("der Eintrag „" + name + "“ reicht in das Inhaltsverzeichnis");
    if (h.flags & kFlagDataDescriptor) {
        TBytes extra(local.extraSize);
        source.Files().Read(extent.start + kLocalHeaderSize + local.nameSize, extra.data(), extra.size());
        try {
            ApplyLocalExtra(local, extra.data());
        } catch (const TRecordError& error) {
            source.Damaged(std::string(error.what()) + " („" + name + "“)");
        }
        const bool zip64 = local.hasZip64 || h.compressedIn64 || h.uncompressedIn64;
        const std::uint64_t at = extent.start + extent.headerSize + extent.dataSize;
        std::uint8_t bytes[24];
        const std::size_t available = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof bytes, limit - at));
        source.Files().Read(at, bytes, available);
        extent.descriptorSize = DescriptorSize(h, zip64, bytes, available);
        if (extent.descriptorSize == 0) source.Damaged("die Datenbeschreibung des Eintrags „" + name + "“ fehlt");
    }
    return extent;
}

class TCopier {
public:
    TCopier(splitread::TSplitArchive& source, splitwrite::TVolumeWriter& writer, const TSplitProgress& progress,
            const std::string& abortMessage)
        : FSource(source), FWriter(writer), FProgress(progress), FAbortMessage(abortMessage), FBuffer(kCopyChunk) {}

    void Run();

private:
    void Report() {
        if (FProgress && !FProgress(static_cast<std::int64_t>(FWriter.BytesWritten()), static_cast<std::int64_t>(FTotal)))
            throw EOlvex(FAbortMessage, TErrorKind::Aborted);
    }
    void CopyRecord(std::uint64_t from, std::size_t size, const std::string& what);
    void CopyData(std::uint64_t from, std::uint64_t size);

    splitread::TSplitArchive& FSource;
    splitwrite::TVolumeWriter& FWriter;
    const TSplitProgress& FProgress;
    const std::string& FAbortMessage;
    TBytes FBuffer;
    std::uint64_t FTotal = 0;
};

void TCopier::CopyRecord(std::uint64_t from, std::size_t size, const std::string& what) {
    TBytes record(size);
    FSource.Files().Read(from, record.data(), record.size());
    FWriter.BeginRecord(size, what);
    FWriter.Write(record.data(), record.size());
}

void TCopier::CopyData(std::uint64_t from, std::uint64_t size) {
    while (size > 0) {
        const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(size, FBuffer.size()));
        FSource.Files().Read(from, FBuffer.data(), chunk);
        FWriter.Write(FBuffer.data(), chunk);
        from += chunk;
        size -= chunk;
        Report();
    }
}

void TCopier::Run() {
    const std::vector<splitread::TEntry>& entries = FSource.Entries();
    std::vector<TExtent> extents;
    extents.reserve(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) extents.push_back(Measure(FSource, i));
    std::sort(extents.begin(), extents.end(), [](const TExtent& a, const TExtent& b) { return a.start < b.start; });
    for (std::size_t i = 1; i < extents.size(); ++i)
        if (extents[i].start < extents[i - 1].End()) FSource.Damaged("Einträge überlappen einander");
    for (const TExtent& extent : extents) FTotal += extent.End() - extent.start;
    FTotal += FSource.CentralStart() <= FSource.Files().TotalSize() ? FSource.Files().TotalSize() - FSource.CentralStart() : 0;

    std::vector<splitwrite::TPosition> positions(entries.size());
    for (const TExtent& extent : extents) {
        const std::string name = EntryName(entries[extent.index].header);
        positions[extent.index] = FWriter.Landing(extent.headerSize);
        CopyRecord(extent.start, extent.headerSize, "Der lokale Kopf des Eintrags „" + name + "“");
        CopyData(extent.start + extent.headerSize, extent.dataSize);
        if (extent.descriptorSize > 0)
            CopyRecord(extent.start + extent.headerSize + extent.dataSize, extent.descriptorSize,
                       "Die Datenbeschreibung des Eintrags „" + name + "“");
        Report();
    }

    TEndRecord end;
    std::uint64_t centralBytes = 0;
    bool first = true;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const TCentralHeader h = OwnCentralHeader(entries[i].header);
        const TBytes header = SerializeCentralHeader(h, positions[i].disk, positions[i].offset);
        const splitwrite::TPosition at =
            FWriter.BeginRecord(header.size(), "Der Verzeichniseintrag von „" + EntryName(h) + "“");
        if (first) {
            end.centralDisk = at.disk;
            end.centralOffset = at.offset;
            first = false;
        }
        if (at.disk != end.thisDisk) {
            end.thisDisk = at.disk;
            end.entriesOnDisk = 0;
        }
        ++end.entriesOnDisk;
        FWriter.Write(header.data(), header.size());
        centralBytes += header.size();
    }
    end.entriesTotal = entries.size();
    end.centralSize = centralBytes;
    end.comment = FSource.Comment();

    // The end records stay together on the last volume; where they land decides whether the
    // disk number needs Zip64, which makes them larger.
    splitwrite::TPosition at = FWriter.Landing(EndRecordsSize(end));
    if (at.disk != end.thisDisk) end.entriesOnDisk = 0;
    end.thisDisk = at.disk;
    at = FWriter.Landing(EndRecordsSize(end));
    if (at.disk != end.thisDisk) end.entriesOnDisk = 0;
    end.thisDisk = at.disk;
    if (first) {
        end.centralDisk = at.disk;
        end.centralOffset = at.offset;
    }
    const TBytes records = BuildEndRecords(end, at.offset);
    const splitwrite::TPosition written = FWriter.BeginRecord(records.size(), "Der Endsatz des Archivs");
    if (written.disk != at.disk || written.offset != at.offset) throw EOlvex("Interner Fehler beim Schreiben des Endsatzes.");
    FWriter.Write(records.data(), records.size());
    Report();
}

}  // namespace

void CopyArchive(splitread::TSplitArchive& source, splitwrite::TVolumeWriter& writer, const TSplitProgress& progress,
                 const std::string& abortMessage) {
    TCopier(source, writer, progress, abortMessage).Run();
}

}  // namespace tavik::splitcopy
