#include "host/engine/zip/zip_structure.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "host/services/exceptions.h"

namespace tavik {

namespace {

using namespace ziprec;

[[noreturn]] void Damaged(const std::string& what) {
    throw EOlvex("Die Struktur des Archivs ist fehlerhaft: " + what + ".", TErrorKind::DamagedArchive);
}

struct TSpan {
    std::uint64_t start, end;
    std::size_t index;
};

}  // namespace

void CheckZipStructure(TByteReader& reader, const TZipDirectory& directory) {
    const std::uint64_t centralStart = directory.CentralStart();
    const std::vector<TDirectoryEntry>& entries = directory.Entries();
    const auto which = [&entries](std::size_t i) { return "„" + EntryName(entries[i].header) + "“"; };
    std::vector<TSpan> spans;
    spans.reserve(entries.size());
    TBytes rest;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const TCentralView& entry = entries[i].header;
        const std::uint64_t position = entries[i].position;  // at least 30 bytes before the directory
        std::uint8_t fixed[kLocalHeaderSize];
        reader.Read(position, fixed, sizeof fixed);
        if (Get32(fixed) != kLocalHeaderSig) Damaged("der lokale Kopf des Eintrags " + which(i) + " fehlt");
        TLocalView local = ViewLocalHeader(fixed);
        if (local.Size() > centralStart - position)
            Damaged("der lokale Kopf des Eintrags " + which(i) + " reicht in das Inhaltsverzeichnis");
        rest.resize(local.nameSize + local.extraSize);
        reader.Read(position + kLocalHeaderSize, rest.data(), rest.size());
        if (local.nameSize != entry.nameSize || !std::equal(entry.name, entry.name + entry.nameSize, rest.begin()))
            Damaged("der lokale Kopf des Eintrags " + which(i) + " nennt einen anderen Namen");
        if (local.method != entry.method)
            Damaged("der lokale Kopf des Eintrags " + which(i) + " nennt eine andere Kompressionsmethode");
        if ((entry.flags & kFlagDataDescriptor) == 0 && (local.flags & kFlagDataDescriptor) == 0) {
            try {
                ApplyLocalExtra(local, rest.data() + local.nameSize);
            } catch (const TRecordError& error) {
                Damaged(std::string(error.what()) + " (" + which(i) + ")");
            }
            if (local.crc != entry.crc || local.compressedSize != entry.compressedSize ||
                local.uncompressedSize != entry.uncompressedSize)
                Damaged("CRC oder Größen des Eintrags " + which(i) + " stimmen nicht mit dem Inhaltsverzeichnis überein");
        }
        const std::uint64_t dataStart = position + local.Size();
        if (entry.compressedSize > centralStart - dataStart)
            Damaged("die Daten des Eintrags " + which(i) + " reichen in das Inhaltsverzeichnis");
        spans.push_back({position, dataStart + entry.compressedSize, i});
    }
    // Entries that share bytes would let a small archive unpack to any size.
    std::sort(spans.begin(), spans.end(), [](const TSpan& a, const TSpan& b) { return a.start < b.start; });
    for (std::size_t i = 1; i < spans.size(); ++i)
        if (spans[i].start < spans[i - 1].end)
            Damaged("die Einträge " + which(spans[i - 1].index) + " und " + which(spans[i].index) + " überlappen sich");
}

}  // namespace tavik
