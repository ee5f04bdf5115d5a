#pragma once
// A new file that takes its final name only when it is complete. It is written beside its
// target under a hidden temporary name ("." name ".vrtmp-" six letters or digits), then
//   1. flushed to the disk (fsync), when it is to be durable,
//   2. closed, and a failed close is a failed write,
//   3. renamed to its final name, replacing what is there or never replacing it,
//   4. the directory flushed (fsync), when it is to be durable.
// Every step is checked; a failure before the rename removes the temporary file and leaves the
// target as it was. A failed directory flush after the rename is an error too: the file has its
// name, but a power failure could still take the name away. Only a directory that cannot be
// flushed at all (EINVAL, ENOTSUP: the file system offers no such flush) counts as flushed.
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "host/services/unique_fd.h"

namespace tavik {

enum class TDurability : std::uint8_t {
    Flushed,    // steps 1 and 4: for files that hold the only copy of their data
    Unflushed,  // a copy that can be made again from its source (extracted entries): no fsync
};

enum class TPlacing : std::uint8_t {
    Replace,    // whatever has the final name is replaced in one step
    NoReplace,  // a name that is taken stays as it is
};

class TSafeWrite {
public:
    // Creates the empty temporary file for name in the directory dir; dirName only names it in
    // messages. mode as for open (the umask applies). Throws EOlvex.
    TSafeWrite(TUniqueFd dir, std::string dirName, std::string name, TDurability durability, mode_t mode = 0666);
    // The same for the path of the final file; its directory is opened by name. Archives are
    // written this way: by default no more readable than the files they hold (owner and group).
    TSafeWrite(const std::string& path, TDurability durability, mode_t mode = 0640);
    // The same with a file made already without a name (CreateUnnamedFile) in a directory where
    // new files get the same owner, group and rights as in dir: it takes its final name by a hard
    // link, and is gone by itself should it never get one (no temporary name is left behind).
    TSafeWrite(TUniqueFd dir, std::string dirName, std::string name, TUniqueFd unnamed, TDurability durability);
    TSafeWrite(const TSafeWrite&) = delete;
    TSafeWrite& operator=(const TSafeWrite&) = delete;
    ~TSafeWrite();  // removes the temporary file unless it was placed

    int Fd() const { return FFd.Get(); }
    int DirFd() const { return FDir.Get(); }
    const std::string& TempName() const { return FTempName; }
    const std::string& FinalName() const { return FName; }
    std::string TempPath() const;
    std::string FinalPath() const;
    // Whether the file has its final name (also when the directory flush after it failed).
    bool Placed() const { return FPlaced; }

    // The final name may still change, as for a split volume that turns out not to be the last.
    void SetName(std::string name) { FName = std::move(name); }
    // Each throws EOlvex naming the file.
    void SetMode(mode_t mode);
    void Write(const void* data, std::size_t size);
    void WriteAt(std::uint64_t offset, const void* data, std::size_t size);

    // Steps 1 to 4. True when placed; false only with NoReplace when the final name is taken:
    // then the file is complete and closed but keeps its temporary name, and Place may be
    // called again (with Replace). Throws EOlvex.
    bool Place(TPlacing placing);

private:
    [[noreturn]] void Fail(const std::string& what, int error) const;
    // Closes the file just linked as linked; should the close fail, the name goes again.
    void CloseAfterLink(const std::string& linked);
    void FlushDirectory();
    bool Rename(TPlacing placing);

    TUniqueFd FDir;
    std::string FDirName;
    std::string FName;
    std::string FTempName;
    TUniqueFd FFd;
    TDurability FDurability;
    bool FClosed = false;
    bool FPlaced = false;
};

// The temporary name under which a file for name is written (without its random part).
std::string SafeWriteTempPrefix(const std::string& name);

// The final name a leftover temporary file was to take, or nothing when entryName is not the
// temporary name of a safe write (".NAME.vrtmp-XXXXXX"; NAME is shortened for long names).
std::optional<std::string> SafeWriteLeftoverOf(const std::string& entryName);

// Whether an unnamed file can be given a name (through /proc/self/fd).
bool UnnamedFilesCanBeNamed();
// A new file without a name in the directory dirFd (O_TMPFILE), for TSafeWrite; invalid with
// errno set where the file system has no such files.
TUniqueFd CreateUnnamedFile(int dirFd, mode_t mode);

// A scratch file in the directory dirFd that no one else sees: without a name where the file
// system has unnamed files (O_TMPFILE), otherwise created under the temporary name for name and
// removed at once. Invalid, with errno set, when it cannot be made.
TUniqueFd CreateScratchFile(int dirFd, const std::string& name);

}  // namespace tavik
