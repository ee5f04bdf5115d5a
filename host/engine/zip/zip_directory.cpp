#include "host/engine/zip/zip_directory.h"
#include "host/services/whole_io.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

namespace tavik::zip {

namespace {

// Most end records have no comment: a small tail finds them without reading 64 KiB.
constexpr std::size_t kShortTail = 4096;

}  // namespace

void TDescriptorReader::Read(std::uint64_t position, void* buffer, std::size_t size) {
    auto* out = static_cast<std::uint8_t*>(buffer);
    if (position > FSize || size > FSize - position) throw TRecordError("ein Verweis zeigt hinter das Dateiende");
    if (!ReadWholeAt(FFd, out, size, position).Complete(size))
        throw TRecordError("die Datei kann nicht gelesen werden oder endet vorzeitig");
}

void TZipDirectory::ReadAt(TByteReader& reader, std::uint64_t position, std::uint8_t* buffer, std::size_t size) const {
    // Small archives lie wholly in the tail already read.
    if (position >= FTailStart && size <= FTail.size() && position - FTailStart <= FTail.size() - size) {
        std::copy_n(FTail.data() + (position - FTailStart), size, buffer);
        return;
    }
    reader.Read(position, buffer, size);
}

bool TZipDirectory::CentralAt(TByteReader& reader, std::uint64_t position) const {
    if (position > reader.Size() || reader.Size() - position < 4) return false;
    std::uint8_t signature[4];
    ReadAt(reader, position, signature, sizeof signature);
    return Get32(signature) == kCentralHeaderSig;
}

void TZipDirectory::Stream(TByteReader& reader, const std::vector<std::uint64_t>& diskStarts,
                           const TEntryVisitor& visit) {
    struct TStreaming {
        bool& flag;
        explicit TStreaming(bool& streaming) : flag(streaming) { flag = true; }
        TStreaming(const TStreaming&) = delete;
        TStreaming& operator=(const TStreaming&) = delete;
        ~TStreaming() { flag = false; }
    } streaming(FStreaming);
    try {
        Read(reader, diskStarts, true);
    } catch (const TNoEndRecord&) {
        throw;
    } catch (const TRecordError& error) {
        if (!FFailedAt) throw;
        // Nothing was kept of the entries checked: those of the directory whose fault is
        // reported are read again and shown up to it, and the fault is the one Read reports.
        const std::string reason = error.what();
        TFoundEnd failed = FFailed;
        failed.position = static_cast<std::size_t>(*FFailedAt - FTailStart);
        try {
            Locate(reader, failed, FTailStart);
            WalkEntries(reader, visit);
        } catch (const TRecordError&) {
        }
        throw TRecordError(reason);
    }
    WalkEntries(reader, visit);
}

void TZipDirectory::Read(TByteReader& reader, const std::vector<std::uint64_t>& diskStarts, bool withEntries) {
    FDiskStarts = diskStarts;
    FEntries.clear();
    FFailedAt.reset();
    if (FDiskStarts.size() < 2) throw TRecordError("es hat keine Teile");
    const auto lastDisk = static_cast<std::uint32_t>(FDiskStarts.size() - 2);
    const std::uint64_t lastSize = DiskSize(lastDisk);
    const std::uint64_t lastEnd = DiskStart(lastDisk) + lastSize;

    // A short tail is enough when an end record in it reaches exactly to the end; a record
    // followed by other bytes or with a cut comment is only taken from the whole search range.
    // The four bytes of an end record's signature may also stand in a comment or a name: a
    // candidate is taken only when its directory lies where it says and reads whole, and one
    // whose directory ends right before it wins over one with unexplained bytes in between.
    const std::size_t shortTail = static_cast<std::size_t>(std::min<std::uint64_t>(lastSize, kShortTail));
    const std::size_t longTail = static_cast<std::size_t>(std::min<std::uint64_t>(lastSize, kMaxEndSearch));
    std::string firstError;
    for (const std::size_t tailSize : {shortTail, longTail}) {
        FTail.resize(tailSize);
        const std::uint64_t tailStart = lastEnd - tailSize;
        reader.Read(tailStart, FTail.data(), tailSize);
        FTailStart = tailStart;
        const bool whole = tailSize == longTail;
        const std::vector<TFoundEnd> candidates = FindEndRecords(FTail.data(), tailSize);
        const TFoundEnd* loose = nullptr;
        const TFoundEnd* first = nullptr;
        for (const TFoundEnd& found : candidates) {
            if (!whole && !found.exact) continue;
            if (first == nullptr) first = &found;
            if (!TryCandidate(reader, found, tailStart, withEntries, firstError)) continue;
            if (FTight) {
                // Another program may take the likelier false record: it gets the directory
                // written anew.
                FAsWritten = FAsWritten && &found == first;
                return;
            }
            if (loose == nullptr) loose = &found;
        }
        if (loose != nullptr && TryCandidate(reader, *loose, tailStart, withEntries, firstError)) {
            FAsWritten = FAsWritten && loose == first;
            return;
        }
        if (whole) break;
    }
    if (firstError.empty()) throw TNoEndRecord("das Ende des Archivs (Endsatz des Inhaltsverzeichnisses) fehlt");
    throw TRecordError(firstError);
}

bool TZipDirectory::TryCandidate(TByteReader& reader, const TFoundEnd& found, std::uint64_t tailStart,
                                 bool withEntries, std::string& firstError) {
    try {
        Locate(reader, found, tailStart);
        const std::uint8_t* comment = FTail.data() + found.position + kEndRecordSize;
        FEnd.comment.assign(comment, comment + found.commentSize);
        FAsWritten = FAsWritten && found.exact;
        if (withEntries) ReadEntries(reader);
        return true;
    } catch (const TRecordError& error) {
        if (firstError.empty()) {
            firstError = error.what();
            FFailed = found;
            FFailedAt = tailStart + found.position;
        }
        FEntries.clear();
        return false;
    }
}

void TZipDirectory::Locate(TByteReader& reader, const TFoundEnd& found, std::uint64_t tailStart) {
    const auto lastDisk = static_cast<std::uint32_t>(FDiskStarts.size() - 2);
    const bool single = lastDisk == 0;
    const std::uint64_t endPosition = tailStart + found.position;
    FEnd = found.record;
    FAsWritten = true;
    std::uint64_t endLimit = endPosition;  // the directory ends before this
    if (found.hasLocator) {
        if (found.zip64Disk > lastDisk) throw TRecordError("der Zip64-Endsatz verweist auf einen fehlenden Teil");
        const std::uint64_t locator = endPosition - kZip64LocatorSize;
        std::uint64_t at = DiskStart(found.zip64Disk) + found.zip64Offset;
        std::uint8_t record[kZip64EndRecordSize];
        const auto recordAt = [&](std::uint64_t position) {
            if (position > locator || locator - position < kZip64EndRecordSize) return false;
            ReadAt(reader, position, record, sizeof record);
            return Get32(record) == kZip64EndRecordSig;
        };
        if (found.zip64Offset > DiskSize(found.zip64Disk) || !recordAt(at)) {
            // Bytes put before a single-disk archive move its Zip64 end record away from where
            // the locator says; it then lies right before the locator.
            if (!single || locator < kZip64EndRecordSize || !recordAt(locator - kZip64EndRecordSize))
                throw TRecordError("der Zip64-Endsatz fehlt oder liegt außerhalb des Archivs");
            at = locator - kZip64EndRecordSize;
            FAsWritten = false;
        }
        TFoundEnd zip64 = found;
        ApplyZip64EndRecord(zip64, record, sizeof record);
        FEnd = zip64.record;
        endLimit = at;
    }
    if (FEnd.thisDisk != lastDisk) {
        if (FEnd.thisDisk > lastDisk)
            throw TRecordError("es gehört zu einem geteilten Archiv aus " + std::to_string(FEnd.thisDisk + 1ull) +
                               " Teilen, vorhanden sind " + std::to_string(lastDisk + 1ull));
        throw TRecordError("der Endsatz nennt eine falsche Teilnummer");
    }
    if (FEnd.centralDisk > lastDisk) throw TRecordError("das Inhaltsverzeichnis verweist auf einen fehlenden Teil");
    if (FEnd.centralOffset > DiskSize(FEnd.centralDisk))
        throw TRecordError("das Inhaltsverzeichnis liegt außerhalb seines Teils");
    const std::uint64_t stated = DiskStart(FEnd.centralDisk) + FEnd.centralOffset;
    if (stated > endLimit || FEnd.centralSize > endLimit - stated)
        throw TRecordError("das Inhaltsverzeichnis reicht über das Ende des Archivs");
    if (FEnd.entriesTotal > FEnd.centralSize / kCentralHeaderSize)
        throw TRecordError("die Zahl der Einträge passt nicht zur Größe des Inhaltsverzeichnisses");

    // A single-disk archive whose directory ends before its end records had bytes put before
    // it (as Info-ZIP's unzip says: "extra bytes at beginning or within zipfile") when the
    // directory lies that far further on; all its offsets move by as much.
    FPrefix = 0;
    const std::uint64_t gap = endLimit - stated - FEnd.centralSize;
    FTight = gap == 0;
    if (gap > 0) {
        FAsWritten = false;
        if (single && FEnd.entriesTotal > 0 && CentralAt(reader, stated + gap)) {
            FPrefix = gap;
            FTight = true;
        }
    }
    FCentralStart = stated + FPrefix;
    if (FEnd.entriesTotal > 0 && !CentralAt(reader, FCentralStart))
        throw TRecordError("am Anfang des Inhaltsverzeichnisses steht kein Verzeichniseintrag");

    FDataStart = FPrefix;
    if (FCentralStart - FDataStart >= 4) {
        std::uint8_t marker[4];
        ReadAt(reader, FDataStart, marker, sizeof marker);
        const std::uint32_t sig = Get32(marker);
        if (sig == kSplitSig || sig == kSingleSegmentSig) FDataStart += 4;
    }
}

void TZipDirectory::Release(std::size_t keep) {
    if (FCentral.capacity() <= keep) return;
    TBytes().swap(FCentral);
    FWindowStart = FWindowFill = 0;
    std::vector<TDirectoryEntry>().swap(FEntries);
}

void TZipDirectory::ReadEntries(TByteReader& reader) {
    FEntries.clear();
    if (FStreaming) {
        WalkEntries(reader, [](const TDirectoryEntry&) {});
        return;
    }
    // The directory lies within the file and each entry takes 46 bytes of it at least, so the
    // count is bounded by the file's size.
    FEntries.reserve(static_cast<std::size_t>(FEnd.entriesTotal));
    WalkEntries(reader, [this](const TDirectoryEntry& entry) { FEntries.push_back(entry); });
}

const std::uint8_t* TZipDirectory::Window(TByteReader& reader, std::size_t offset, std::size_t size) {
    if (offset >= FWindowStart && offset - FWindowStart <= FWindowFill && size <= FWindowFill - (offset - FWindowStart))
        return FCentral.data() + (offset - FWindowStart);
    // The bytes from offset on that were read already move to the front; the window is filled
    // from there, as far as the directory goes. The window holds the largest header whole,
    // and the caller asks only for bytes within the directory.
    const auto centralSize = static_cast<std::size_t>(FEnd.centralSize);
    std::size_t kept = 0;
    if (offset >= FWindowStart && offset - FWindowStart < FWindowFill) {
        kept = FWindowFill - (offset - FWindowStart);
        std::memmove(FCentral.data(), FCentral.data() + (offset - FWindowStart), kept);
    }
    const std::size_t fill = std::min(FCentral.size(), centralSize - offset);
    if (fill < size) throw TRecordError("das Inhaltsverzeichnis ist unvollständig");
    ReadAt(reader, FCentralStart + offset + kept, FCentral.data() + kept, fill - kept);
    FWindowStart = offset;
    FWindowFill = fill;
    return FCentral.data();
}

void TZipDirectory::WalkEntries(TByteReader& reader, const TEntryVisitor& take) {
    const auto lastDisk = static_cast<std::uint32_t>(FDiskStarts.size() - 2);
    // The directory lies within the file, so its size is bounded by the file's.
    const auto centralSize = static_cast<std::size_t>(FEnd.centralSize);
    FWindowStart = 0;
    FWindowFill = 0;
    if (FStreaming) {
        FCentral.resize(std::min(centralSize, kStreamWindow));
    } else {
        FCentral.resize(centralSize);
        ReadAt(reader, FCentralStart, FCentral.data(), centralSize);
        FWindowFill = centralSize;
    }
    std::size_t pos = 0;
    TDirectoryEntry entry;
    for (std::uint64_t i = 0; i < FEnd.entriesTotal; ++i) {
        if (centralSize - pos < kCentralHeaderSize) throw TRecordError("das Inhaltsverzeichnis ist unvollständig");
        const std::size_t size = CentralHeaderSize(Window(reader, pos, kCentralHeaderSize));
        if (size == 0) throw TRecordError("ein Eintrag des Inhaltsverzeichnisses hat eine falsche Kennung");
        if (size > centralSize - pos) throw TRecordError("das Inhaltsverzeichnis ist unvollständig");
        entry.header = ViewCentralHeader(Window(reader, pos, size), size);
        pos += size;
        const TCentralView& h = entry.header;
        if (h.wellFormedExtra != h.extraSize || h.fullWithoutZip64) FAsWritten = false;
        // The start disk of an entry in an archive of one part can only be that part; unzip
        // reads such entries, whatever their start disk says.
        if (lastDisk == 0 && FEnd.thisDisk == 0 && FEnd.centralDisk == 0 && entry.header.diskStart != 0) {
            entry.header.diskStart = 0;
            FAsWritten = false;
        }
        if (h.diskStart > lastDisk)
            throw TRecordError("der Eintrag „" + EntryName(h) + "“ liegt in einem fehlenden Teil");
        if (h.localOffset >= DiskSize(h.diskStart))
            throw TRecordError("der Eintrag „" + EntryName(h) + "“ liegt außerhalb seines Teils");
        entry.position = DiskStart(h.diskStart) + h.localOffset + FPrefix;
        if (entry.position < FDataStart || entry.position > FCentralStart ||
            FCentralStart - entry.position < kLocalHeaderSize)
            throw TRecordError("der Eintrag „" + EntryName(h) + "“ liegt nicht vor dem Inhaltsverzeichnis");
        take(entry);
    }
}

}  // namespace tavik::zip
