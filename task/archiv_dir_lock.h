#pragma once
// Serialises archive runs on one ARCHIV directory: a second run (another process at the same
// moment) waits until the first has written its archive, so both never pick the same name.
// The lock dies with its process, so a killed run leaves nothing that blocks the next one.
#include <string>

namespace vendrask {

class TArchivDirLock {
public:
    explicit TArchivDirLock(const std::string& archivDir);
    ~TArchivDirLock();
    TArchivDirLock(const TArchivDirLock&) = delete;
    TArchivDirLock& operator=(const TArchivDirLock&) = delete;

    static constexpr const char* kFileName = ".vendrask-archiv.lock";

private:
    int FFd = -1;
};

}  // namespace vendrask
