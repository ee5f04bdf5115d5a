#pragma once
// Deleting files the program has looked at before: only a regular file, never through a
// symbolic link, and only while it is the file that was seen.
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "host/services/date_time.h"
#include <sys/stat.h>

#include "host/services/unique_fd.h"

namespace tavik {

struct TExpectedFile {
    std::int64_t Size = 0;
    TDateTime Modified{};  // zero: not compared
    // When set, a file whose status changed after this moment (its contents written, even with
    // the old size and time put back, or its name or rights changed) is not the file that was seen.
    std::optional<timespec> UnchangedSince;
};

// ReadOnly: the file has no write permission for its owner or for this process; such a file
// stays. NoRights: the system refused the deletion (the directory's rights).
enum class TDeleteOutcome { Deleted, Missing, NotRegular, Changed, ReadOnly, NoRights, Failed };

struct TDeleteResult {
    TDeleteOutcome Outcome = TDeleteOutcome::Failed;
    std::string Reason;  // German, for every outcome but Deleted and Missing
};

// The file's directory is reached from base one directory at a time, and none of them may be a
// symbolic link: a directory swapped for a link since the file was seen ends the deletion
// (NotRegular), so nothing outside base is ever deleted. base itself is taken as it is. Without
// a base, or for a path not below it, only the file's own directory must not be a link.
TDeleteResult DeleteRegularFile(const std::string& path, const std::optional<TExpectedFile>& expected,
                                const std::string& base = "");

// What DeleteRegularFile would make of the file now, without deleting it: Deleted when it would
// go. Beyond its checks, a directory that this process may not change (its rights, or its sticky
// bit for another user's file) gives NoRights, so that a run learns before it packs a file that
// it could not delete it.
TDeleteResult CheckDeletable(const std::string& path, const std::optional<TExpectedFile>& expected,
                             const std::string& base = "");

// The same for many files of one directory, which is reached (as above) once: each call costs
// the few system calls on the file itself. The path given with each file names it in the
// reasons; its directory must be the one given here.
class TDeletingDirectory {
public:
    TDeletingDirectory(const std::string& directory, const std::string& base);
    TDeleteResult DeleteRegularFile(const std::string& path, const std::optional<TExpectedFile>& expected) const;
    TDeleteResult CheckDeletable(const std::string& path, const std::optional<TExpectedFile>& expected) const;

private:
    // Why the directory could not be reached, for the file at path; nothing when it was.
    std::optional<TDeleteResult> Unreached(const std::string& path) const;
    // The checks on the file before unlinking; nothing when they all pass.
    std::optional<TDeleteResult> RefusalBeforeUnlink(const std::string& path, const std::optional<TExpectedFile>& expected,
                                                     std::string& name, struct stat& info) const;

    std::string FDirectory;
    TUniqueFd FDir;
    int FOpenError = 0;
};

}  // namespace tavik
