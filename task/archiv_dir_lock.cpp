#include "task/archiv_dir_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <algorithm>
#include <thread>

#include "host/services/exceptions.h"
#include "host/services/unique_fd.h"
#include "host/services/system_error.h"
#include "host/services/whole_io.h"

namespace vendrask {

namespace {

std::string Duration(std::chrono::milliseconds wait) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(wait).count();
    if (seconds >= 120) return std::to_string(seconds / 60) + " Minuten";
    if (seconds == 1) return "1 Sekunde";
    return std::to_string(seconds) + " Sekunden";
}

bool TryLock(int fd, const std::string& archivDir) {
    if (tavik::RetryInterrupted([fd] { return flock(fd, LOCK_EX | LOCK_NB); }) == 0) return true;
    if (errno == EWOULDBLOCK) return false;
    throw tavik::EOlvex("Das Archivverzeichnis „" + archivDir + "“ kann nicht gesperrt werden (" +
                        tavik::SystemErrorText(errno) + "); es wurde nichts archiviert und nichts gelöscht.");
}

}  // namespace

TArchivDirLock::TArchivDirLock(const std::string& archivDir, std::chrono::milliseconds wait,
                               const std::function<void(const std::string&)>& onWaiting) {
    tavik::TUniqueFd fd(open(archivDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd)
        throw tavik::EOlvex("Das Archivverzeichnis „" + archivDir + "“ kann nicht geöffnet werden (" +
                            tavik::SystemErrorText(errno) +
                            "); es wurde nichts archiviert. Bitte prüfen, ob es das Verzeichnis gibt und die Rechte "
                            "reichen.");
    if (!TryLock(fd.Get(), archivDir)) {
        if (wait <= std::chrono::milliseconds::zero())
            throw EArchivLocked("Im Archivverzeichnis „" + archivDir +
                                "“ arbeitet gerade ein anderer Archivierungslauf; es wurde nichts archiviert und "
                                "nichts gelöscht. Bitte warten, bis er fertig ist, und dann erneut archivieren.");
        if (onWaiting)
            onWaiting("Im Archivverzeichnis „" + archivDir +
                      "“ arbeitet gerade ein anderer Archivierungslauf; dieser Lauf wartet, bis er fertig ist "
                      "(höchstens " + Duration(wait) + ").");
        const auto deadline = std::chrono::steady_clock::now() + wait;
        while (!TryLock(fd.Get(), archivDir)) {
            const auto now = std::chrono::steady_clock::now();
            if (now >= deadline)
                throw EArchivLocked("Das Archivverzeichnis „" + archivDir + "“ war " + Duration(wait) +
                                    " lang von einem anderen Archivierungslauf gesperrt; dieser Lauf gibt auf, es "
                                    "wurde nichts archiviert und nichts gelöscht. Bitte prüfen, ob der andere Lauf "
                                    "hängt, und den Lauf später wiederholen.");
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
                deadline - now, std::chrono::milliseconds(200)));
        }
    }
    FFd = fd.Release();
    FDir = archivDir;
}

namespace {

// A file of no name on the directory's file system, stamped with that file system's present time.
bool Stamp(int fd, timespec& now) {
    struct stat info {};
    if (futimens(fd, nullptr) != 0 || fstat(fd, &info) != 0) return false;
    now = info.st_ctim;
    return true;
}

bool Later(const timespec& a, const timespec& b) {
    return a.tv_sec > b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec > b.tv_nsec);
}

// A file that only this run sees: without a name where the file system has unnamed files,
// otherwise named and removed at once.
tavik::TUniqueFd ProbeFile(int dirFd, const std::string& dir) {
    tavik::TUniqueFd probe(openat(dirFd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (probe || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return probe;
    std::string name = dir + "/.vendrask-zeit-XXXXXX";
    probe.Reset(mkostemp(name.data(), O_CLOEXEC));
    if (probe) unlink(name.c_str());
    return probe;
}

}  // namespace

timespec TArchivDirLock::PassedMoment() const {
    const tavik::TUniqueFd probe = ProbeFile(FFd, FDir);
    timespec first{};
    if (!probe || !Stamp(probe.Get(), first))
        throw tavik::EOlvex("Im Archivverzeichnis „" + FDir + "“ kann nicht geschrieben werden (" +
                            tavik::SystemErrorText(errno) +
                            "); es wurde nichts archiviert. Bitte prüfen, ob die Rechte reichen.");
    for (int i = 0; i < 1000; ++i) {
        timespec next{};
        if (!Stamp(probe.Get(), next) || Later(next, first)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return first;
}

TArchivDirLock::~TArchivDirLock() {
    if (FFd >= 0) close(FFd);  // releases the lock
}

}  // namespace vendrask
