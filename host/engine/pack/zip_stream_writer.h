#pragma once
// Writes a new ZIP archive from front to back: each entry's local header, its data, and at the
// end the central directory and the end records, laid out as libzip lays out an archive of
// ours (made on Unix, exact times, the fingerprint of every file, Zip64 where a number needs
// it). libzip keeps a record of some 440 bytes for every entry until the archive is closed and
// needs the fingerprints filled in afterwards; this writer keeps only the bytes of each
// central header, completes an entry's headers as soon as its data is done, and can take an
// entry back whose file failed half-way, so that the archive need not be written again.
//
// It writes only through the descriptor it is given (a safe write's, TSafeWrite): it never
// opens or removes a file by its name.
#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/engine/zip/zip_fingerprint.h"
#include "host/services/sha256.h"

namespace tavik {

struct TStreamEntry {
    std::string_view name;  // as stored; a directory's ends in '/'
    bool directory = false;
    bool deflated = false;  // else stored
    // The data may come near 4 GiB: the local header takes its sizes in the Zip64 form.
    bool large = false;
    std::time_t mtime = 0;
    mode_t mode = 0;  // type and permission bits as the file has them
};

class TZipStreamWriter {
public:
    // fd: an empty file open for writing, owned by the caller; archiveName names the archive
    // in messages.
    TZipStreamWriter(int fd, std::string archiveName);
    TZipStreamWriter(const TZipStreamWriter&) = delete;
    TZipStreamWriter& operator=(const TZipStreamWriter&) = delete;
    ~TZipStreamWriter();

    // Starts an entry: its local header, with sizes, CRC and fingerprint left to End.
    void Begin(const TStreamEntry& entry);
    // The entry's data as stored (deflated or not).
    void Data(const std::uint8_t* data, std::size_t size);
    // Completes the entry begun: the CRC-32 and size of its content, and for a file the SHA-256
    // of it, its fingerprint.
    void End(std::uint32_t crc, std::uint64_t size, const std::optional<TSha256Digest>& fingerprint);
    // Takes back the entry begun, as if it had never been begun.
    void Drop();
    // Writes the central directory and the end records with the comment (at most 65,535 bytes);
    // the file ends there. Nothing may be written after.
    void Finish(std::string_view comment);

    std::uint64_t Entries() const { return FEntries; }
    // The seal's digest over the entries ended so far (see zip_fingerprint.h); once.
    TSha256Digest SealDigest() { return FSeal.Final(); }

private:
    struct TOpenEntry {
        std::uint64_t localAt = 0;   // where its local header begins
        std::uint64_t dataAt = 0;    // where its data begins
        std::size_t nameSize = 0;
        bool directory = false;
        bool deflated = false;
        bool large = false;
        std::uint16_t time = 0;
        std::uint16_t date = 0;
        std::uint16_t flags = 0;
        std::uint32_t attributes = 0;
        std::string timeField;  // the time's extra block, whole
        std::string_view name;
    };

    void Append(const void* data, std::size_t size);
    // Changes bytes written before, in the buffer or in the file.
    void Patch(std::uint64_t at, const void* data, std::size_t size);
    void Flush();
    void AppendCentral(const std::string& header);
    [[noreturn]] void Fail(int error) const;
    std::uint64_t Position() const { return FBufferAt + FBufferUsed; }

    int FFd;
    std::string FArchiveName;
    std::unique_ptr<std::uint8_t[]> FBuffer;
    std::size_t FBufferUsed = 0;
    std::uint64_t FBufferAt = 0;  // where the buffer belongs in the file
    std::uint64_t FEnd = 0;       // the farthest byte written to the file
    std::optional<TOpenEntry> FOpen;
    // The central headers of the entries ended, in chunks, so that the directory never needs
    // twice its size while it grows.
    std::vector<std::string> FCentral;
    std::string FHeader;  // the central header being made
    std::uint64_t FEntries = 0;
    zip::TSealDigest FSeal;
    bool FFinished = false;
};

}  // namespace tavik
