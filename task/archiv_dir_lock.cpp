#include "task/archiv_dir_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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

TArchivDirLock::~TArchivDirLock() {
    if (FFd >= 0) close(FFd);  // releases the lock
}

}  // namespace vendrask
