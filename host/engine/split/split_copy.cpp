#include "host/engine/split/split_copy.h"

#include <algorithm>

#include "host/engine/zip/zip_entry_extent.h"
#include "host/services/exceptions.h"

namespace tavik::splitcopy {

namespace {

using namespace ziprec;

constexpr std::size_t kCopyChunk = 1 << 20;

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
    std::vector<TEntryExtent> extents;
    extents.reserve(entries.size());
    TEntryMeasure measure(FSource.Files(), FSource.CentralStart(), {.agreeWithCentral = false, .measureDescriptor = true});
    try {
        for (std::size_t i = 0; i < entries.size(); ++i) extents.push_back(measure(entries[i].header, i, entries[i].position));
    } catch (const TRecordError& error) {
        FSource.Damaged(error.what());
    }
    if (const auto overlap = SortAndFindOverlap(extents))
        FSource.Damaged("die Einträge „" + EntryName(entries[overlap->first].header) + "“ und „" +
                        EntryName(entries[overlap->second].header) + "“ überlappen sich");
    for (const TEntryExtent& extent : extents) FTotal += extent.End() - extent.start;
    FTotal += FSource.CentralStart() <= FSource.Files().TotalSize() ? FSource.Files().TotalSize() - FSource.CentralStart() : 0;

    std::vector<splitwrite::TPosition> positions(entries.size());
    for (const TEntryExtent& extent : extents) {
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
