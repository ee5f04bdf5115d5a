#pragma once
// Writes extracted entries below one directory and nowhere else: every path is walked
// component by component with O_NOFOLLOW from a descriptor of the target directory, so
// neither an entry nor a link already on disk can lead outside it. Files are written under
// a temporary name and take their own name only when complete.
#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "host/engine/extract/unnamed_files_ahead.h"
#include "host/services/safe_write.h"
#include "host/services/error_kind.h"
#include "host/services/unique_fd.h"

namespace tavik {

// What happens to a file already on disk under an entry's name that differs from the entry.
enum class TReplaceDecision : std::uint8_t {
    Replace,  // the entry takes its place
    Keep,     // it stays, the entry is left out as the user chose
    Refuse,   // it stays, and the entry fails
};
// Asked with the path of the file on disk.
using TReplaceQuestion = std::function<TReplaceDecision(const std::string& path)>;

// What became of a file whose entry was extracted completely.
enum class TCommitOutcome : std::uint8_t {
    Written,    // put in place, new or in place of a different file as allowed
    Identical,  // a file with the same content was there already and stays
    Kept,       // a different file was there and stays, as the question chose
};

class TExtractFile {
public:
    // Creates the temporary file for name in dir (dirName names it in messages). Throws EOlvex.
    TExtractFile(TUniqueFd dir, std::string dirName, std::string name, mode_t mode,
                 std::function<TReplaceDecision()> replace, std::function<TReason()> protect = {});
    // The same with a file made already without a name (see TUnnamedFilesAhead).
    TExtractFile(TUniqueFd dir, std::string dirName, std::string name, TUniqueFd unnamed,
                 std::function<TReplaceDecision()> replace, std::function<TReason()> protect = {});
    TExtractFile(const TExtractFile&) = delete;
    TExtractFile& operator=(const TExtractFile&) = delete;

    // Empty on success, otherwise the German reason and its kind.
    TReason Write(const void* data, std::size_t size);
    TReason WriteAt(std::int64_t offset, const void* data, std::size_t size);
    // Sets the final size (sparse data), the modification time and moves the file into place.
    // A file of the same name with the same content stays as it is; one that differs is replaced
    // only when the question allows it. Without it the temporary file goes again.
    TReason Commit(std::int64_t size, std::optional<std::time_t> mtime);
    // After a Commit without a reason: what became of the file.
    TCommitOutcome Outcome() const { return FOutcome; }

private:
    TReason PlaceOverExisting();

    std::function<TReplaceDecision()> FReplace;
    std::function<TReason()> FProtect;  // a reason when the name must not be taken at all
    TCommitOutcome FOutcome = TCommitOutcome::Written;
    TSafeWrite FFile;
};

class TExtractTarget {
public:
    // Creates the directory (with its parents) when it does not exist; with a base, dir must be
    // reached from base without a symbolic link on the way and is not created. Throws EOlvex.
    // replace is asked before anything on disk that differs from an entry is replaced; none: it
    // is refused. The database of the Olvex installation (OLVEX_ROOT) and its journal files are
    // never replaced or made, whatever replace says.
    TExtractTarget(const std::string& dir, const std::string& base, TReplaceQuestion replace);

    // Each returns the German reason of a failure and its kind, or an empty reason. Something
    // different under the name on disk stays unless the question allows replacing it, whether it
    // was there before or an earlier entry of the same name has just put it there.
    TReason MakeDirectory(const std::vector<std::string>& parts, std::optional<std::time_t> mtime);
    // position: the entry's place among those given to MakeFilesAhead.
    TReason CreateFile(const std::vector<std::string>& parts, mode_t mode, std::unique_ptr<TExtractFile>& file,
                       std::optional<std::size_t> position = std::nullopt);
    // The files of the entries to come (their modes by position, none for an entry that makes
    // no file) may be made ahead of time. They are used only in directories where a new file gets
    // the same group and rights as in the target directory itself: there, or in directories this
    // extraction made below it. The first file elsewhere ends the making ahead.
    void MakeFilesAhead(std::vector<std::optional<mode_t>> modes);
    // A link whose target leaves the directory, or climbs by ".." out of a link, is refused.
    TReason MakeSymlink(const std::vector<std::string>& parts, const std::string& target);
    // A hard link to a symbolic link is a link with the same target in another place: its
    // target is checked again from there.
    TReason MakeHardlink(const std::vector<std::string>& parts, const std::vector<std::string>& existing);

    // Directory times are set last: writing into a directory changes its time.
    void RestoreDirectoryTimes();

    // An entry at parts failed: the folders that this extraction made only for it (still empty)
    // go again, so that a failed entry leaves nothing behind.
    void Abandon(const std::vector<std::string>& parts);

private:
    // Notes the directory path as made by this extraction.
    void NoteMade(const std::string& path);
    // The directory that holds parts.back(), walked (and with create, made) without following links.
    TUniqueFd OpenParent(const std::vector<std::string>& parts, bool create, TReason& reason);

    // Whether a link at parts may point to target (see CheckLinkTarget): none of the directories
    // that the target climbs out of again is a link, on disk or made later by this extraction.
    TReason CheckLink(const std::vector<std::string>& parts, std::string_view target);
    // Whether the walk from the root along path meets a symbolic link.
    bool LinkOnPath(const std::string& path) const;
    // What becomes of the file on disk under parts.
    TReplaceDecision Ask(const std::vector<std::string>& parts) const;
    // The reason why name in the directory parent must not be written: the installation's
    // database or one of its journal files.
    TReason Protected(int parent, const std::string& name) const;
    // Makes room for a link where something else is: empty when the link is to be made, else
    // the reason, or done set when nothing is to be done.
    TReason MakeRoom(int parent, const std::vector<std::string>& parts, bool alreadyThere, bool& done);

    std::string FDirName;
    TReplaceQuestion FReplace;
    TUniqueFd FRoot;
    std::set<std::string> FClimbedOutOf;  // directories that a link made here leaves by ".."
    std::set<std::string> FMadeOnTheWay;  // directories made as parents of an entry, '/'-joined
    // Every directory this extraction made, '/'-joined: what is in one of them came from this
    // archive, so no file is looked for there before a new one is written.
    std::set<std::string> FMadeHere;
    // Of those, the ones made straight below the target directory or below another of them.
    std::set<std::string> FMadeFromRoot;
    std::optional<std::pair<dev_t, ino_t>> FDatabaseDir;  // where the installation's database lies
    std::vector<std::pair<std::vector<std::string>, std::time_t>> FDirTimes;
    std::unique_ptr<TUnnamedFilesAhead> FFilesAhead;
};

}  // namespace tavik
