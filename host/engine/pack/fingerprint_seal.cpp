#include "host/engine/pack/fingerprint_seal.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <string>

#include "host/engine/zip/zip_directory.h"
#include "host/engine/zip/zip_fingerprint.h"
#include "host/services/exceptions.h"
#include "host/services/system_error.h"
#include "host/services/whole_io.h"

namespace tavik {

namespace {

[[noreturn]] void Fail(const std::string& what) {
    throw EOlvex("Die Fingerabdrücke können nicht in das neue Archiv eingetragen werden: " + what + ".");
}

// A stretch of the file held in memory, changed there and written back in one piece: an
// archive of many small entries has thousands of headers in a few kilobytes, which would
// otherwise cost a read and a write each.
class TPatchWindow {
public:
    TPatchWindow(int fd, std::uint64_t fileSize) : FFd(fd), FFileSize(fileSize) {}

    // The size bytes at position, writable; valid until the next call.
    std::uint8_t* At(std::uint64_t position, std::size_t size) {
        if (position < FStart || position + size > FStart + FBytes.size()) Load(position, size);
        return FBytes.data() + (position - FStart);
    }
    void Patch(std::uint64_t position, const void* data, std::size_t size) {
        std::copy_n(static_cast<const std::uint8_t*>(data), size, At(position, size));
        const auto at = static_cast<std::size_t>(position - FStart);
        FDirtyFrom = std::min(FDirtyFrom, at);
        FDirtyTo = std::max(FDirtyTo, at + size);
    }
    void Flush() {
        if (FDirtyFrom < FDirtyTo) {
            const TIoResult written =
                WriteWholeAt(FFd, FBytes.data() + FDirtyFrom, FDirtyTo - FDirtyFrom, FStart + FDirtyFrom);
            if (written.error != 0) Fail(SystemErrorText(written.error));
        }
        FDirtyFrom = SIZE_MAX;
        FDirtyTo = 0;
    }

private:
    // Read ahead so far past what is asked for: the headers of many small entries at once, and
    // little read in vain before the header of a large one.
    static constexpr std::size_t kAhead = 64 * 1024;

    void Load(std::uint64_t position, std::size_t size) {
        Flush();
        if (position > FFileSize || size > FFileSize - position) Fail("ein Kopf liegt hinter dem Ende der Datei");
        const auto length = static_cast<std::size_t>(std::min<std::uint64_t>(size + kAhead, FFileSize - position));
        FBytes.resize(length);
        const TIoResult read = ReadWholeAt(FFd, FBytes.data(), length, position);
        if (read.error != 0) Fail(SystemErrorText(read.error));
        if (read.done != length) Fail("die Datei ist kürzer als geschrieben");
        FStart = position;
    }

    int FFd;
    std::uint64_t FFileSize;
    std::uint64_t FStart = 0;
    std::vector<std::uint8_t> FBytes;
    std::size_t FDirtyFrom = SIZE_MAX;
    std::size_t FDirtyTo = 0;
};

// Where the digest of the fingerprint field starts within an extra field at position, or nothing.
std::optional<std::uint64_t> DigestPlace(const std::uint8_t* extra, std::size_t extraSize, std::uint64_t position) {
    std::size_t size = 0;
    const std::uint8_t* data = zip::FindExtraBlock(extra, extraSize, zip::kFingerprintId, size);
    if (data == nullptr || size != zip::kFingerprintSize) return std::nullopt;
    return position + static_cast<std::uint64_t>(data - extra) + 1;
}

}  // namespace

void FillFingerprints(int fd, std::size_t kept, const std::vector<TFreshEntry>& fresh, bool sealed) {
    struct stat status {};
    if (::fstat(fd, &status) != 0) Fail(SystemErrorText(errno));
    const auto size = static_cast<std::uint64_t>(status.st_size);
    zip::TDescriptorReader reader(fd, size);
    zip::TZipDirectory directory;
    zip::TSealDigest seal;
    // Headers before the directory and the directory itself: both are walked forward.
    TPatchWindow locals(fd, size);
    TPatchWindow centrals(fd, size);
    std::size_t index = 0;
    const auto visit = [&](const zip::TDirectoryEntry& entry) {
        const zip::TCentralView& header = entry.header;
        const std::string_view name(reinterpret_cast<const char*>(header.name), header.nameSize);
        const std::size_t at = index++;
        const TFreshEntry* made = at < kept ? nullptr : at - kept < fresh.size() ? &fresh[at - kept] : nullptr;
        if (at >= kept && (made == nullptr || made->name != name))
            Fail("der Eintrag „" + std::string(name) + "“ steht nicht an seinem Platz");
        if (made == nullptr || !made->digest) {
            seal.Add(name, zip::FingerprintIn(header.extra, header.wellFormedExtra));
            return;
        }
        const TSha256Digest& digest = *made->digest;
        const auto central = DigestPlace(header.extra, header.extraSize, directory.CentralPosition(header.extra));
        const zip::TLocalView view = zip::ViewLocalHeader(locals.At(entry.position, zip::kLocalHeaderSize));
        const std::uint64_t extraAt = entry.position + zip::kLocalHeaderSize + view.nameSize;
        const auto inLocal = DigestPlace(locals.At(extraAt, view.extraSize), view.extraSize, extraAt);
        if (!central || !inLocal) Fail("dem Eintrag „" + std::string(name) + "“ fehlt der Platz dafür");
        centrals.Patch(*central, digest.data(), digest.size());
        locals.Patch(*inLocal, digest.data(), digest.size());
        seal.Add(name, digest);
    };
    try {
        directory.Stream(reader, {0, size}, visit);
    } catch (const zip::TRecordError& error) {
        Fail(error.what());
    }
    if (index != kept + fresh.size()) Fail("nicht jeder neue Eintrag wurde gefunden");
    locals.Flush();
    centrals.Flush();
    if (!sealed) return;
    const std::string comment(directory.End().comment.begin(), directory.End().comment.end());
    const auto parsed = zip::ParseSeal(comment);
    const std::size_t at = comment.find(" digest=");
    if (!parsed || parsed->entries != seal.Entries() || at == std::string::npos || !directory.AsWritten())
        Fail("der Kommentar des Archivs ist nicht wie geschrieben");
    const std::string hex = HexOf(seal.Final());
    const TIoResult written = WriteWholeAt(fd, hex.data(), hex.size(), size - comment.size() + at + 8);
    if (written.error != 0) Fail(SystemErrorText(written.error));
}

}  // namespace tavik
