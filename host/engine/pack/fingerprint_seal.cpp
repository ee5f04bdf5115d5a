#include "host/engine/pack/fingerprint_seal.h"

#include <sys/stat.h>

#include <vector>

#include "host/engine/zip/zip_directory.h"
#include "host/engine/zip/zip_fingerprint.h"
#include "host/services/exceptions.h"
#include "host/services/system_error.h"
#include "host/services/whole_io.h"

namespace tavik {

namespace {

void Fail(const std::string& what) {
    throw EOlvex("Die Fingerabdrücke können nicht in das neue Archiv eingetragen werden: " + what + ".");
}

void WriteAt(int fd, const void* data, std::size_t size, std::uint64_t position) {
    const TIoResult written = WriteWholeAt(fd, data, size, position);
    if (written.error != 0) Fail(SystemErrorText(written.error));
}

// Where the digest of the fingerprint field starts within an extra field at position, or nothing.
std::optional<std::uint64_t> DigestPlace(const std::uint8_t* extra, std::size_t extraSize, std::uint64_t position) {
    std::size_t size = 0;
    const std::uint8_t* data = zip::FindExtraBlock(extra, extraSize, zip::kFingerprintId, size);
    if (data == nullptr || size != zip::kFingerprintSize) return std::nullopt;
    return position + static_cast<std::uint64_t>(data - extra) + 1;
}

}  // namespace

void FillFingerprints(int fd, const std::map<std::string, TSha256Digest>& fingerprints, bool sealed) {
    struct stat status {};
    if (::fstat(fd, &status) != 0) Fail(SystemErrorText(errno));
    const auto size = static_cast<std::uint64_t>(status.st_size);
    zip::TDescriptorReader reader(fd, size);
    zip::TZipDirectory directory;
    try {
        directory.Read(reader, {0, size});
    } catch (const zip::TRecordError& error) {
        Fail(error.what());
    }
    zip::TSealDigest seal;
    std::size_t filled = 0;
    std::vector<std::uint8_t> local;
    for (const zip::TDirectoryEntry& entry : directory.Entries()) {
        const zip::TCentralView& header = entry.header;
        const std::string name(reinterpret_cast<const char*>(header.name), header.nameSize);
        const auto found = fingerprints.find(name);
        if (found == fingerprints.end()) {
            seal.Add(name, zip::FingerprintIn(header.extra, header.wellFormedExtra));
            continue;
        }
        const TSha256Digest& digest = found->second;
        const auto central = DigestPlace(header.extra, header.extraSize, directory.CentralPosition(header.extra));
        std::uint8_t fixed[zip::kLocalHeaderSize];
        try {
            reader.Read(entry.position, fixed, sizeof(fixed));
            zip::TLocalView view = zip::ViewLocalHeader(fixed);
            local.resize(view.nameSize + view.extraSize);
            reader.Read(entry.position + sizeof(fixed), local.data(), local.size());
            const auto inLocal = DigestPlace(local.data() + view.nameSize, view.extraSize,
                                             entry.position + sizeof(fixed) + view.nameSize);
            if (!central || !inLocal) Fail("dem Eintrag „" + name + "“ fehlt der Platz dafür");
            WriteAt(fd, digest.data(), digest.size(), *central);
            WriteAt(fd, digest.data(), digest.size(), *inLocal);
        } catch (const zip::TRecordError& error) {
            Fail(error.what());
        }
        seal.Add(name, digest);
        ++filled;
    }
    if (filled != fingerprints.size()) Fail("nicht jeder neue Eintrag wurde gefunden");
    if (!sealed) return;
    const std::string comment(directory.End().comment.begin(), directory.End().comment.end());
    const auto parsed = zip::ParseSeal(comment);
    const std::size_t at = comment.find(" digest=");
    if (!parsed || parsed->entries != seal.Entries() || at == std::string::npos || !directory.AsWritten())
        Fail("der Kommentar des Archivs ist nicht wie geschrieben");
    const std::string hex = HexOf(seal.Final());
    WriteAt(fd, hex.data(), hex.size(), size - comment.size() + at + 8);
}

}  // namespace tavik
