#pragma once
// Serialises archive runs on one ARCHIV directory: a second run (another process at the same
// moment) waits until the first has written its archive and deleted its files, so both never
// pick the same name. The lock is flock on the directory itself: nothing is left in ARCHIV,
// and the lock dies with its process, so a killed run blocks no later one.
#include <chrono>
#include <ctime>
#include <functional>
#include <string>

#include "host/services/exceptions.h"

namespace vendrask {

// Another run held the lock for longer than the wait (or at all, without a wait).
class EArchivLocked : public tavik::EOlvex {
public:
    using EOlvex::EOlvex;
};

class TArchivDirLock {
public:
    // Waits at most wait for a run that holds the lock (zero: not at all), calling onWaiting once
    // when it has to wait; throws EArchivLocked when another run kept it, EOlvex when the
    // directory cannot be locked at all, each with a German reason.
    TArchivDirLock(const std::string& archivDir, std::chrono::milliseconds wait,
                   const std::function<void(const std::string& notice)>& onWaiting);
    ~TArchivDirLock();
    TArchivDirLock(const TArchivDirLock&) = delete;
    TArchivDirLock& operator=(const TArchivDirLock&) = delete;

    // A moment of the file system's own clock (in which it stamps changes) that has just passed:
    // a file changed from now on gets a later status-change time; one last changed before, this
    // one or an earlier one. Waits for the clock's next tick, a few milliseconds at most.
    timespec PassedMoment() const;

private:
    int FFd = -1;
    std::string FDir;
};

}  // namespace vendrask
