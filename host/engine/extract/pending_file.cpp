#include "host/engine/extract/pending_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "host/services/unique_fd.h"
#include "host/services/exceptions.h"

namespace tavik {

namespace {

std::string SystemReason() { return std::strerror(errno); }

mode_t NewFileMode(const std::string& target) {
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) return st.st_mode & 0777;
    // The process umask, read without changing it.
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) return 0666 & ~static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
    }
    return 0644;
}

std::string DirectoryOf(const std::string& path) {
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    return parent.empty() ? "." : parent.string();
}

}  // namespace

TPendingFile::TPendingFile(const std::string& target) : FTarget(target) {
    const std::filesystem::path path(target);
    std::string pattern = (path.parent_path() / ("." + path.filename().string() + ".vrtmp-XXXXXX")).string();
    TUniqueFd fd(::mkostemp(pattern.data(), O_CLOEXEC));
    if (!fd)
        throw EOlvex("Im Verzeichnis „" + DirectoryOf(target) + "“ kann keine Datei angelegt werden (" + SystemReason() +
                     "). Bitte prüfen Sie den Pfad, die Zugriffsrechte und den freien Speicherplatz.",
                     KindOfWriteError(errno));
    FTempPath = pattern;
    ::fchmod(fd.Get(), NewFileMode(target));
}

TPendingFile::~TPendingFile() {
    if (!FCommitted && !FTempPath.empty()) ::unlink(FTempPath.c_str());
}

void TPendingFile::Commit() {
    const std::string failure = "Die Archivdatei „" + FTarget + "“ kann nicht fertig geschrieben werden (";
    TUniqueFd fd(::open(FTempPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd || ::fsync(fd.Get()) != 0 || !fd.Close()) throw EOlvex(failure + SystemReason() + ").", KindOfWriteError(errno));
    if (::rename(FTempPath.c_str(), FTarget.c_str()) != 0)
        throw EOlvex(failure + SystemReason() + ").", KindOfWriteError(errno));
    FCommitted = true;
    TUniqueFd dir(::open(DirectoryOf(FTarget).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir || ::fsync(dir.Get()) != 0)
        throw EOlvex("Die Archivdatei „" + FTarget + "“ wurde geschrieben, das Verzeichnis aber nicht gesichert (" +
                     SystemReason() + ").");
}

}  // namespace tavik
