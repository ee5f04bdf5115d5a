#pragma once
// What the reading helper (vendrask-leser) tells the engine about an archive of format 1, on its
// standard output: frames of one type byte, a 32-bit little-endian length and the payload.
// The engine trusts nothing in them: every length is bounded and every field read checked.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavik {

enum class TLeserFrameType : std::uint8_t {
    Entry = 1,       // a header: TLeserEntry
    Data = 2,        // a piece of the current entry's data: offset, bytes
    DataEnd = 3,     // the current entry's data is complete
    EntryError = 4,  // the current entry's data cannot be read: German reason; reading goes on
    Warning = 5,     // the library warned about the current entry's data or, between entries, skipped
                     // bytes that are no header: the library's own words; reading goes on
    End = 6,         // the archive was read to its end
    Failure = 7,     // the archive cannot be read further: TLeserFailure
    Alive = 8,       // the helper has read further into the archive file
};

enum class TLeserEntryKind : std::uint8_t { File = 0, Directory = 1, Symlink = 2, Other = 3 };

struct TLeserEntry {
    std::string Name;
    std::optional<std::string> Hardlink;
    std::string Symlink;
    TLeserEntryKind Kind = TLeserEntryKind::File;
    std::uint32_t Permissions = 0;
    std::optional<std::int64_t> Size;
    std::optional<std::int64_t> ModTime;
    bool Encrypted = false;
    bool HasData = false;  // Data frames and DataEnd or EntryError follow
    // The library read the header with a warning (a malformed pax record, say): its own words.
    std::string Warning;
};

// The helper's first argument when it is to run without the limits against bombs and loops.
inline constexpr const char* kLeserWithoutLimits = "--ohne-grenzen";

// Why the archive cannot be read further: a kind, so that the engine need not read the text.
enum class TLeserFailureKind : std::uint8_t {
    Damaged = 0,      // the archive is damaged or cut short
    NoArchive = 1,    // libarchive recognises no format in the file
    Unsupported = 2,  // a method, a variant or the encryption of the archive is not supported
};
struct TLeserFailure {
    TLeserFailureKind Kind = TLeserFailureKind::Damaged;
    std::string Reason;  // German, without the final full stop
};

// The reason of NoArchive.
inline constexpr const char* kLeserNoArchive = "Die Datei ist kein Archiv eines bekannten Formats";

// Frames never exceed this; a larger length is a broken helper.
constexpr std::uint32_t LeserMaxFrame = 1024 * 1024;
// Data frames carry at most this many bytes.
constexpr std::size_t LeserMaxChunk = 256 * 1024;

// What the engine feeds "vendrask-leser ppmd" on its standard input, entry after entry: the
// entry's size and the length of its raw data (two 64-bit little-endian numbers), then the raw
// data in chunks of a 32-bit little-endian length and the bytes, ended by a chunk of length 0.
constexpr std::size_t LeserPpmdEntrySize = 16;
constexpr std::size_t LeserPpmdMaxChunk = 64 * 1024;
std::string EncodeLeserPpmdEntry(std::uint64_t size, std::uint64_t packed);
std::string EncodeLeserPpmdChunk(std::string_view bytes);

std::string EncodeLeserFrame(TLeserFrameType type, std::string_view payload);

struct TLeserFrame {
    TLeserFrameType Type = TLeserFrameType::End;
    std::string Payload;
};

// Cuts what the helper writes into frames. Taken frames are passed over by an offset and the
// buffer is compacted only once they make up most of it, so that many small frames cost time in
// proportion to their bytes.
class TLeserFrameReader {
public:
    enum class TTake { Frame, NeedMore, Broken };

    void Append(const char* data, std::size_t size);
    // The next whole frame; Broken for an unknown type or a length over LeserMaxFrame.
    TTake Take(TLeserFrame& frame);
    std::size_t Pending() const { return FBuffer.size() - FStart; }

private:
    std::string FBuffer;
    std::size_t FStart = 0;
};
std::string EncodeLeserEntry(const TLeserEntry& entry);
std::string EncodeLeserData(std::int64_t offset, std::string_view bytes);
std::string EncodeLeserFailure(const TLeserFailure& failure);

// Each returns false when the payload is malformed.
bool DecodeLeserEntry(std::string_view payload, TLeserEntry& entry);
bool DecodeLeserData(std::string_view payload, std::int64_t& offset, std::string_view& bytes);
bool DecodeLeserFailure(std::string_view payload, TLeserFailure& failure);

}  // namespace tavik
