#include "task/archiv_dir_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <chrono>
#include <thread>

#include "host/services/exceptions.h"

namespace vendrask {

TArchivDirLock::TArchivDirLock(const std::string& archivDir) {
    const std::string path = archivDir + "/" + kFileName;
    FFd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (FFd < 0)
        throw tavik::EOlvex("Im Archivverzeichnis „" + archivDir + "“ kann nicht geschrieben werden (" +
                            std::strerror(errno) + "). Bitte prüfen, ob es das Verzeichnis gibt und die Rechte reichen.");
    while (flock(FFd, LOCK_EX) != 0) {
        if (errno == EINTR) continue;
        const int error = errno;
        close(FFd);
        throw tavik::EOlvex("Das Archivverzeichnis „" + archivDir + "“ kann nicht gesperrt werden (" +
                            std::strerror(error) + ").");
    }
}

namespace {

// Touching the lock file stamps it with the file system's present time.
bool Stamp(int fd, timespec& now) {
    struct stat info {};
    if (futimens(fd, nullptr) != 0 || fstat(fd, &info) != 0) return false;
    now = info.st_ctim;
    return true;
}

bool Later(const timespec& a, const timespec& b) {
    return a.tv_sec > b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec > b.tv_nsec);
}

}  // namespace

timespec TArchivDirLock::PassedMoment() const {
    timespec first{};
    if (!Stamp(FFd, first))
        throw tavik::EOlvex("Die Sperrdatei im Archivverzeichnis kann nicht gestempelt werden (" +
                            std::string(std::strerror(errno)) + ").");
    for (int i = 0; i < 1000; ++i) {
        timespec next{};
        if (!Stamp(FFd, next) || Later(next, first)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return first;
}

TArchivDirLock::~TArchivDirLock() {
    if (FFd >= 0) close(FFd);  // releases the lock
}

}  // namespace vendrask
