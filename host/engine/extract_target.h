#pragma once
// Writes extracted entries below one directory and nowhere else: every path is walked
// component by component with O_NOFOLLOW from a descriptor of the target directory, so
// neither an entry nor a link already on disk can lead outside it. Files are written under
// a temporary name and take their own name only when complete.
#include <sys/types.h>

#include <ctime>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "host/services/unique_fd.h"

namespace tavik {

class TExtractFile {
public:
    TExtractFile(TUniqueFd dir, std::string name, std::string tempName, TUniqueFd fd);
    TExtractFile(const TExtractFile&) = delete;
    TExtractFile& operator=(const TExtractFile&) = delete;
    ~TExtractFile();  // removes the temporary file unless committed

    // Empty on success, otherwise the German reason.
    std::string Write(const void* data, std::size_t size);
    std::string WriteAt(std::int64_t offset, const void* data, std::size_t size);
    // Sets the final size (sparse data), the modification time and moves the file into place.
    std::string Commit(std::int64_t size, std::optional<std::time_t> mtime);

private:
    TUniqueFd FDir;
    std::string FName;
    std::string FTempName;
    TUniqueFd FFd;
    bool FCommitted = false;
};

class TExtractTarget {
public:
    // Creates the directory (with its parents) when it does not exist. Throws EOlvex.
    explicit TExtractTarget(const std::string& dir);

    // Each returns the German reason of a failure, or an empty string. A file, link or hard link
    // whose name an earlier entry of the same extraction has had is refused: it would silently
    // replace what that entry wrote.
    std::string MakeDirectory(const std::vector<std::string>& parts, std::optional<std::time_t> mtime);
    std::string CreateFile(const std::vector<std::string>& parts, mode_t mode, std::unique_ptr<TExtractFile>& file);
    std::string MakeSymlink(const std::vector<std::string>& parts, const std::string& target);
    std::string MakeHardlink(const std::vector<std::string>& parts, const std::vector<std::string>& existing);

    // Directory times are set last: writing into a directory changes its time.
    void RestoreDirectoryTimes();

private:
    // The directory that holds parts.back(), walked (and with create, made) without following links.
    TUniqueFd OpenParent(const std::vector<std::string>& parts, bool create, std::string& reason);

    // Empty when the name is still free in this extraction (and claims it), else the reason.
    std::string Claim(const std::vector<std::string>& parts);

    TUniqueFd FRoot;
    std::set<std::string> FClaimed;
    std::vector<std::pair<std::vector<std::string>, std::time_t>> FDirTimes;
};

}  // namespace tavik
