#pragma once
// Makes the files of the entries to come ahead of time, without a name, on threads of their own.
// Where the file system hands out inodes slowly (ext4 without a journal passes over every
// recently deleted inode one by one), creating a file can cost more than writing its data; made
// here, that cost runs beside the extraction instead of in its way. An unnamed file is invisible
// until the extraction gives it its name, and one that is never used vanishes by itself: nothing
// on disk depends on how far ahead these threads are.
#include <sys/types.h>

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "host/services/unique_fd.h"

namespace tavik {

class TUnnamedFilesAhead {
public:
    // Makes a file in the directory dir (a descriptor of its own is kept) for each position with
    // a mode, in order, never more than ahead positions past the one taken last. Makes nothing
    // where the file system has no unnamed files, or where they could not be given a name.
    TUnnamedFilesAhead(int dir, std::vector<std::optional<mode_t>> modes, std::size_t threads = 2,
                       std::size_t ahead = 32);
    TUnnamedFilesAhead(const TUnnamedFilesAhead&) = delete;
    TUnnamedFilesAhead& operator=(const TUnnamedFilesAhead&) = delete;
    ~TUnnamedFilesAhead();  // stops the threads; files not taken vanish

    // The file made for position with mode, waited for while it is being made; invalid when none
    // was made so (the caller makes its own then). Positions are taken in order; the files of
    // those passed over are given up.
    TUniqueFd Take(std::size_t position, mode_t mode);

private:
    enum class TState : unsigned char { Waiting, Making, Made, Passed };
    void Run();
    void Stop();
    // With the lock held: the next position still waiting for its file (FNext moved there).
    std::size_t NextWaiting();

    TUniqueFd FDir;
    std::vector<std::optional<mode_t>> FModes;
    std::size_t FAhead;
    std::mutex FMutex;
    std::condition_variable FRoom;  // the threads wait for room ahead
    std::condition_variable FMade;  // Take waits for a file being made
    std::vector<TState> FStates;
    std::vector<TUniqueFd> FFiles;
    std::size_t FNext = 0;   // the next position to make a file for
    std::size_t FTaken = 0;  // the position taken last
    bool FTakeWaits = false;
    bool FStop = false;
    std::vector<std::thread> FThreads;
};

}  // namespace tavik
