#pragma once
// Serialises archive runs on one ARCHIV directory: a second run (another process at the same
// moment) waits until the first has written its archive, so both never pick the same name.
// The lock dies with its process, so a killed run leaves nothing that blocks the next one.
#include <ctime>
#include <string>

namespace vendrask {

class TArchivDirLock {
public:
    explicit TArchivDirLock(const std::string& archivDir);
    ~TArchivDirLock();
    TArchivDirLock(const TArchivDirLock&) = delete;
    TArchivDirLock& operator=(const TArchivDirLock&) = delete;

    // A moment of the file systems' own clock (in which they stamp changes) that has just passed:
    // a file changed from now on gets a later status-change time; one last changed before, this
    // one or an earlier one. Waits for the clock's next tick, a few milliseconds at most.
    timespec PassedMoment() const;

    static constexpr const char* kFileName = ".vendrask-archiv.lock";

private:
    int FFd = -1;
};

}  // namespace vendrask
