#include "host/engine/zip/zip_structure.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <cstring>
#include <vector>

#include "host/engine/zip/zip_handles.h"
#include "host/services/exceptions.h"

namespace tavik {

namespace {

constexpr std::uint32_t kLocalSignature = 0x04034b50;
constexpr std::uint32_t kCentralSignature = 0x02014b50;
constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kZip64EndSignature = 0x06064b50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kMaxComment = 0xFFFF;

[[noreturn]] void Damaged(const std::string& what) {
    throw EOlvex("Die Struktur des Archivs ist fehlerhaft: " + what + ".", TErrorKind::DamagedArchive);
}

std::uint64_t Get(const std::uint8_t* p, int bytes) {
    std::uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = value << 8 | p[i];
    return value;
}

class TReader {
public:
    explicit TReader(zip_source_t* source) : FSource(source) {
        if (zip_source_open(source) != 0) Failed();
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_source_stat(source, &st) != 0 || (st.valid & ZIP_STAT_SIZE) == 0) Failed();
        FSize = st.size;
    }
    ~TReader() { zip_source_close(FSource); }
    TReader(const TReader&) = delete;
    TReader& operator=(const TReader&) = delete;

    std::uint64_t Size() const { return FSize; }

    std::vector<std::uint8_t> Read(std::uint64_t offset, std::uint64_t length) {
        if (offset > FSize || length > FSize - offset) Damaged("ein Verweis zeigt hinter das Dateiende");
        std::vector<std::uint8_t> data(length);
        if (zip_source_seek(FSource, static_cast<zip_int64_t>(offset), SEEK_SET) != 0) Failed();
        std::uint64_t got = 0;
        while (got < length) {
            const zip_int64_t n = zip_source_read(FSource, data.data() + got, length - got);
            if (n < 0) Failed();
            if (n == 0) Damaged("die Datei endet vorzeitig");
            got += static_cast<std::uint64_t>(n);
        }
        return data;
    }

private:
    [[noreturn]] void Failed() {
        throw EOlvex("Die Archivdatei kann nicht gelesen werden: " + ZipErrorText(zip_source_error(FSource)) + ".",
                     ZipErrorKind(zip_source_error(FSource)));
    }

    zip_source_t* FSource;
    std::uint64_t FSize = 0;
};

// Replaces the fields that hold 0xFFFF.. by the values of the Zip64 extra field.
void ApplyZip64(const std::uint8_t* extra, std::size_t length, std::uint64_t& uncompressed, std::uint64_t& compressed,
                std::uint64_t* offset) {
    std::size_t pos = 0;
    while (pos + 4 <= length) {
        const auto id = Get(extra + pos, 2);
        const auto size = static_cast<std::size_t>(Get(extra + pos + 2, 2));
        if (pos + 4 + size > length) return;
        if (id == 0x0001) {
            const std::uint8_t* p = extra + pos + 4;
            std::size_t left = size;
            const auto take = [&](std::uint64_t& field, std::uint64_t limit) {
                if (field != limit) return;
                if (left < 8) Damaged("eine Zip64-Angabe fehlt");
                field = Get(p, 8);
                p += 8;
                left -= 8;
            };
            take(uncompressed, 0xFFFFFFFF);
            take(compressed, 0xFFFFFFFF);
            if (offset != nullptr) take(*offset, 0xFFFFFFFF);
            return;
        }
        pos += 4 + size;
    }
}

struct TCentralEntry {
    std::uint16_t flags = 0, method = 0;
    std::uint32_t crc = 0;
    std::uint64_t compressed = 0, uncompressed = 0, offset = 0;
    std::vector<std::uint8_t> name;
};

}  // namespace

void CheckZipStructure(zip_source_t* source) {
    TReader reader(source);
    const std::uint64_t size = reader.Size();
    if (size < kEndSize) Damaged("die Datei ist zu kurz für ein ZIP-Archiv");

    // The end record: the last signature whose comment reaches exactly to the end of the file.
    const std::uint64_t tailLength = std::min<std::uint64_t>(size, kEndSize + kMaxComment);
    const std::vector<std::uint8_t> tail = reader.Read(size - tailLength, tailLength);
    std::uint64_t endAt = UINT64_MAX;
    for (std::uint64_t i = tailLength - kEndSize + 1; i-- > 0;) {
        if (Get(&tail[i], 4) == kEndSignature && i + kEndSize + Get(&tail[i + 20], 2) == tailLength) {
            endAt = size - tailLength + i;
            break;
        }
    }
    if (endAt == UINT64_MAX) Damaged("das Ende des Inhaltsverzeichnisses fehlt");
    const std::uint8_t* end = &tail[endAt - (size - tailLength)];
    std::uint64_t count = Get(end + 10, 2);
    std::uint64_t directorySize = Get(end + 12, 4);
    std::uint64_t directoryOffset = Get(end + 16, 4);
    std::uint64_t directoryEnd = endAt;

    if (count == 0xFFFF || directorySize == 0xFFFFFFFF || directoryOffset == 0xFFFFFFFF) {
        if (endAt < 20) Damaged("der Zip64-Verweis fehlt");
        const std::vector<std::uint8_t> locator = reader.Read(endAt - 20, 20);
        if (Get(locator.data(), 4) == kZip64LocatorSignature) {
            const std::uint64_t at = Get(locator.data() + 8, 8);
            const std::vector<std::uint8_t> end64 = reader.Read(at, 56);
            if (Get(end64.data(), 4) != kZip64EndSignature) Damaged("der Zip64-Abschluss fehlt");
            count = Get(end64.data() + 32, 8);
            directorySize = Get(end64.data() + 40, 8);
            directoryOffset = Get(end64.data() + 48, 8);
            directoryEnd = at;
        }
    }
    if (directoryOffset > directoryEnd || directorySize > directoryEnd - directoryOffset)
        Damaged("das Inhaltsverzeichnis liegt nicht vor seinem Abschluss");

    const std::vector<std::uint8_t> directory = reader.Read(directoryOffset, directorySize);
    struct TSpan {
        std::uint64_t start, end;
        std::string name;
    };
    std::vector<TSpan> spans;
    std::size_t pos = 0;
    for (std::uint64_t n = 0; n < count; ++n) {
        if (pos + 46 > directory.size() || Get(&directory[pos], 4) != kCentralSignature)
            Damaged("das Inhaltsverzeichnis ist kürzer als angegeben");
        const std::uint8_t* p = &directory[pos];
        TCentralEntry entry;
        entry.flags = static_cast<std::uint16_t>(Get(p + 8, 2));
        entry.method = static_cast<std::uint16_t>(Get(p + 10, 2));
        entry.crc = static_cast<std::uint32_t>(Get(p + 16, 4));
        entry.compressed = Get(p + 20, 4);
        entry.uncompressed = Get(p + 24, 4);
        const auto nameLength = static_cast<std::size_t>(Get(p + 28, 2));
        const auto extraLength = static_cast<std::size_t>(Get(p + 30, 2));
        const auto commentLength = static_cast<std::size_t>(Get(p + 32, 2));
        entry.offset = Get(p + 42, 4);
        if (pos + 46 + nameLength + extraLength + commentLength > directory.size())
            Damaged("ein Eintrag des Inhaltsverzeichnisses ist abgeschnitten");
        entry.name.assign(p + 46, p + 46 + nameLength);
        ApplyZip64(p + 46 + nameLength, extraLength, entry.uncompressed, entry.compressed, &entry.offset);
        pos += 46 + nameLength + extraLength + commentLength;

        const std::string which = "„" + std::string(entry.name.begin(), entry.name.end()) + "“";
        if (entry.offset >= directoryOffset) Damaged("der Eintrag " + which + " liegt nicht vor dem Inhaltsverzeichnis");
        const std::vector<std::uint8_t> local = reader.Read(entry.offset, std::min<std::uint64_t>(30, size - entry.offset));
        if (local.size() < 30 || Get(local.data(), 4) != kLocalSignature)
            Damaged("der lokale Kopf des Eintrags " + which + " fehlt");
        const auto localNameLength = static_cast<std::size_t>(Get(local.data() + 26, 2));
        const auto localExtraLength = static_cast<std::size_t>(Get(local.data() + 28, 2));
        const std::vector<std::uint8_t> rest = reader.Read(entry.offset + 30, localNameLength + localExtraLength);
        if (localNameLength != nameLength || !std::equal(entry.name.begin(), entry.name.end(), rest.begin()))
            Damaged("der lokale Kopf des Eintrags " + which + " nennt einen anderen Namen");
        if (Get(local.data() + 8, 2) != entry.method)
            Damaged("der lokale Kopf des Eintrags " + which + " nennt eine andere Kompressionsmethode");
        if ((entry.flags & 0x08) == 0 && (Get(local.data() + 6, 2) & 0x08) == 0) {
            std::uint64_t localCompressed = Get(local.data() + 18, 4);
            std::uint64_t localUncompressed = Get(local.data() + 22, 4);
            ApplyZip64(rest.data() + localNameLength, localExtraLength, localUncompressed, localCompressed, nullptr);
            if (Get(local.data() + 14, 4) != entry.crc || localCompressed != entry.compressed ||
                localUncompressed != entry.uncompressed)
                Damaged("CRC oder Größen des Eintrags " + which + " stimmen nicht mit dem Inhaltsverzeichnis überein");
        }
        const std::uint64_t dataStart = entry.offset + 30 + localNameLength + localExtraLength;
        if (dataStart > directoryOffset || entry.compressed > directoryOffset - dataStart)
            Damaged("die Daten des Eintrags " + which + " reichen in das Inhaltsverzeichnis");
        spans.push_back({entry.offset, dataStart + entry.compressed, which});
    }
    // Entries that share bytes would let a small archive unpack to any size.
    std::sort(spans.begin(), spans.end(), [](const TSpan& a, const TSpan& b) { return a.start < b.start; });
    for (std::size_t i = 1; i < spans.size(); ++i)
        if (spans[i].start < spans[i - 1].end)
            Damaged("die Einträge " + spans[i - 1].name + " und " + spans[i].name + " überlappen sich");
}

}  // namespace tavik
