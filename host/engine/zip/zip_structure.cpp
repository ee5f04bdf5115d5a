#include "host/engine/zip/zip_structure.h"

#include <cstdint>
#include <string>
#include <vector>

#include "host/engine/zip/zip_entry_extent.h"
#include "host/services/exceptions.h"

namespace tavik {

namespace {

using namespace zip;

[[noreturn]] void Damaged(const std::string& what) {
    throw EOlvex("Die Struktur des Archivs ist fehlerhaft: " + what + ".", TErrorKind::DamagedArchive);
}

}  // namespace

void CheckZipStructure(TByteReader& reader, const TZipDirectory& directory, std::vector<std::uint64_t>* dataStarts) {
    const std::vector<TDirectoryEntry>& entries = directory.Entries();
    std::vector<TEntryExtent> extents;
    extents.reserve(entries.size());
    TEntryMeasure measure(reader, directory.CentralStart(), {.agreeWithCentral = true, .measureDescriptor = false});
    try {
        for (std::size_t i = 0; i < entries.size(); ++i) extents.push_back(measure(entries[i].header, i, entries[i].position));
    } catch (const TRecordError& error) {
        Damaged(error.what());
    }
    if (const auto overlap = SortAndFindOverlap(extents))
        Damaged("die Einträge „" + EntryName(entries[overlap->first].header) + "“ und „" +
                EntryName(entries[overlap->second].header) + "“ überlappen sich");
    if (dataStarts == nullptr) return;
    dataStarts->assign(entries.size(), 0);
    for (const TEntryExtent& extent : extents) (*dataStarts)[extent.index] = extent.start + extent.headerSize;
}

}  // namespace tavik
