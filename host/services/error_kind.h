#pragma once
// What kind of failure an error is, beside its German text: callers choose their message and
// their next step by the kind, never by reading the text.
#include <cstdint>
#include <string>
#include <utility>

namespace tavik {

enum class TErrorKind : std::uint8_t {
    Other = 0,       // anything not named below
    Aborted,         // the user (or the program) asked the command to stop
    DiskFull,        // no room where something is written: a full disk, a quota, a file size limit
    DamagedArchive,  // the archive's structure, data or checksums are wrong
    RefusedEntry,    // an entry is refused for its name or path: traversal, links, duplicate names
    InputMissing,    // a file or volume the command is to read is not there
    LimitReached,    // a reader's protective limit stopped the command (memory, CPU time, entries):
                     // no sign of damage; the user may lift the limits for an archive they trust
    PasswordMissing, // an entry is encrypted and no password was given (or the user cancelled)
    WrongPassword,   // the password given does not (or probably does not) decrypt the entry
    NoRights,        // the system refused access: missing rights, a read-only file system
};

// The kind of a system error of writing or creating something.
TErrorKind KindOfWriteError(int error);
// The kind of a system error of opening or reading an input.
TErrorKind KindOfInputError(int error);
// NoRights for a refused access, else Other.
TErrorKind KindOfAccessError(int error);

// A failure handed back as a value: its German text and kind; an empty text is no failure.
struct TReason {
    TReason() = default;
    TReason(std::string text, TErrorKind kind = TErrorKind::Other) : Text(std::move(text)), Kind(kind) {}
    TReason(const char* text, TErrorKind kind = TErrorKind::Other) : Text(text), Kind(kind) {}

    bool empty() const { return Text.empty(); }

    std::string Text;
    TErrorKind Kind = TErrorKind::Other;
};

}  // namespace tavik
