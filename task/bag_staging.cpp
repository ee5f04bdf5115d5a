#include "task/bag_staging.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "host/services/error_kind.h"
#include "host/services/exceptions.h"

namespace vendrask {

namespace fs = std::filesystem;

namespace {

std::string AbsoluteTarget(const std::string& target) {
    if (target.empty()) throw tavik::EOlvex("Es wurde kein Ziel angegeben.");
    std::error_code error;
    fs::path path = fs::absolute(fs::path(target), error).lexically_normal();
    if (error) throw tavik::EOlvex("Das Ziel „" + target + "“ kann nicht bestimmt werden: " + error.message() + ".");
    if (!path.has_filename()) path = path.parent_path();  // "ziel/" names the folder ziel
    return path.string();
}

bool Exists(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 || errno != ENOENT;
}

}  // namespace

std::string ExistingTargetRefusal(const std::string& target) {
    return "Das Ziel „" + target +
           "“ gibt es bereits. Der Export legt ein neues Verzeichnis an und schreibt in kein vorhandenes; bitte "
           "wählen Sie einen Namen, den es noch nicht gibt.";
}

TBagStaging::TBagStaging(const std::string& target) : FTarget(AbsoluteTarget(target)) {
    const fs::path path(FTarget);
    if (Exists(FTarget)) throw tavik::EOlvex(ExistingTargetRefusal(FTarget));
    const std::string parent = path.parent_path().string();
    struct stat status {};
    if (::stat(parent.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
        throw tavik::EOlvex("Das Verzeichnis „" + parent + "“, in dem das Ziel angelegt werden soll, gibt es nicht. "
                            "Bitte legen Sie es an oder wählen Sie ein anderes Ziel.",
                            tavik::TErrorKind::InputMissing);
    std::string pattern = (path.parent_path() / ("." + path.filename().string() + ".vrexport-XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (::mkdtemp(name.data()) == nullptr) {
        const int error = errno;
        throw tavik::EOlvex("Im Verzeichnis „" + parent + "“ kann nichts angelegt werden: " + std::strerror(error) +
                                ". Bitte prüfen Sie Rechte und freien Platz.",
                            tavik::KindOfWriteError(error));
    }
    FDir = name.data();
    // Readable by the group as the archives are (0640): the records are the company's.
    ::chmod(FDir.c_str(), 0750);
}

TBagStaging::~TBagStaging() {
    if (FPlaced) return;
    std::error_code ignored;
    fs::remove_all(FDir, ignored);  // removes links themselves, never what they point to
}

void TBagStaging::Place() {
    if (::renameat2(AT_FDCWD, FDir.c_str(), AT_FDCWD, FTarget.c_str(), RENAME_NOREPLACE) != 0) {
        const int error = errno;
        if (error == EEXIST) throw tavik::EOlvex(ExistingTargetRefusal(FTarget));
        throw tavik::EOlvex("Das fertige Verzeichnis kann nicht in „" + FTarget + "“ umbenannt werden: " +
                                std::strerror(error) + ".",
                            tavik::KindOfWriteError(error));
    }
    FPlaced = true;
}

}  // namespace vendrask
