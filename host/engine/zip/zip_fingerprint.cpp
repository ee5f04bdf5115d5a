#include "host/engine/zip/zip_fingerprint.h"

#include <charconv>

#include "host/engine/zip/zip_records.h"

namespace tavik::zip {

namespace {

constexpr std::string_view kSealStart = "vendrask-fingerprint/";
constexpr std::string_view kSealVersion = "1";

}  // namespace

std::string FingerprintField(const TSha256Digest& digest) {
    std::string field(1, static_cast<char>(kFingerprintVersion));
    field.append(reinterpret_cast<const char*>(digest.data()), digest.size());
    return field;
}

std::optional<TSha256Digest> FingerprintIn(const std::uint8_t* extra, std::size_t extraSize) {
    std::size_t size = 0;
    const std::uint8_t* data = FindExtraBlock(extra, extraSize, kFingerprintId, size);
    if (data == nullptr || size != kFingerprintSize || data[0] != kFingerprintVersion) return std::nullopt;
    TSha256Digest digest{};
    std::copy(data + 1, data + kFingerprintSize, digest.begin());
    return digest;
}

std::string SealComment(const TSeal& seal) {
    return std::string(kSealStart) + std::string(kSealVersion) + " entries=" + std::to_string(seal.entries) +
           " digest=" + HexOf(seal.digest) + " journal=" + HexOf(seal.journal);
}

bool LooksLikeSeal(std::string_view comment) { return comment.starts_with(kSealStart); }

std::optional<TSeal> ParseSeal(std::string_view comment) {
    if (!comment.starts_with(kSealStart)) return std::nullopt;
    comment.remove_prefix(kSealStart.size());
    const auto take = [&comment](std::string_view prefix) -> std::optional<std::string_view> {
        if (!comment.starts_with(prefix)) return std::nullopt;
        comment.remove_prefix(prefix.size());
        const std::size_t end = comment.find(' ');
        const std::string_view value = comment.substr(0, end);
        comment.remove_prefix(end == std::string_view::npos ? comment.size() : end + 1);
        return value;
    };
    const auto version = take("");
    const auto entries = take("entries=");
    const auto digest = take("digest=");
    const auto journal = take("journal=");
    if (!version || *version != kSealVersion || !entries || !digest || !journal || !comment.empty())
        return std::nullopt;
    TSeal seal;
    const auto [end, error] = std::from_chars(entries->data(), entries->data() + entries->size(), seal.entries);
    if (error != std::errc() || end != entries->data() + entries->size() || entries->empty()) return std::nullopt;
    const auto sealDigest = DigestOfHex(*digest);
    const auto journalHead = DigestOfHex(*journal);
    if (!sealDigest || !journalHead) return std::nullopt;
    seal.digest = *sealDigest;
    seal.journal = *journalHead;
    return seal;
}

void TSealDigest::Add(std::string_view storedName, const std::optional<TSha256Digest>& fingerprint) {
    const std::uint8_t length[2] = {static_cast<std::uint8_t>(storedName.size() & 0xFF),
                                    static_cast<std::uint8_t>(storedName.size() >> 8)};
    FHash.Update(length, sizeof(length));
    FHash.Update(storedName.data(), storedName.size());
    const TSha256Digest none{};
    FHash.Update(fingerprint ? fingerprint->data() : none.data(), none.size());
    ++FEntries;
}

TSealCheck CheckSeal(std::string_view comment, std::uint64_t entries, TSealDigest& digest) {
    TSealCheck check;
    if (!LooksLikeSeal(comment)) return check;
    check.present = true;
    const auto seal = ParseSeal(comment);
    if (!seal) {
        check.failure = "Das Siegel im Kommentar des Archivs ist unleserlich; der Kommentar wurde verändert.";
        return check;
    }
    check.journal = seal->journal;
    if (seal->entries != entries) {
        check.failure = "Das Archiv enthält " + std::to_string(entries) + " Einträge, sein Siegel nennt " +
                        std::to_string(seal->entries) + ": Einträge wurden entfernt oder hinzugefügt.";
        return check;
    }
    if (digest.Final() != seal->digest)
        check.failure =
            "Die Fingerabdrücke der Einträge passen nicht zum Siegel im Kommentar des Archivs: ein Eintrag wurde "
            "verändert, ersetzt, umbenannt oder umgestellt.";
    return check;
}

TSealCheck CheckSeal(std::string_view comment, const std::vector<TDirectoryEntry>& entries) {
    TSealDigest digest;
    if (LooksLikeSeal(comment))
        for (const TDirectoryEntry& entry : entries)
            digest.Add(std::string_view(reinterpret_cast<const char*>(entry.header.name), entry.header.nameSize),
                       FingerprintIn(entry.header.extra, entry.header.wellFormedExtra));
    return CheckSeal(comment, entries.size(), digest);
}

}  // namespace tavik::zip
