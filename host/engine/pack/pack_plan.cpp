#include "host/engine/pack/pack_plan.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "host/services/unique_fd.h"

namespace tavik {

namespace {

struct TDirClose {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

std::string JoinName(const std::string& dir, const std::string& name) { return dir.empty() ? name : dir + "/" + name; }

bool SameFile(const struct stat& a, const struct stat* b) {
    return b != nullptr && a.st_dev == b->st_dev && a.st_ino == b->st_ino;
}

class TPlanner {
public:
    TPlanner(const struct stat* exclude, const TPackProblem& problem) : FExclude(exclude), FProblem(problem) {}

    void Tree(const TFileInfoItem& item) {
        const std::string path = JoinName(item.AbsDir, item.FileName);
        TUniqueFd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat st {};
        if (!fd || ::fstat(fd.Get(), &st) != 0) {
            FProblem(path, Reason(errno));
            return;
        }
        const std::string name = JoinName(item.RelDir, item.FileName);
        AddDirectory(name, path, st, item.AbsDir, item.RelDir, item.FileName);
        Walk(std::move(fd), path, name);
    }

    void Single(const TFileInfoItem& item) {
        const std::string path = JoinName(item.AbsDir, item.FileName);
        struct stat st {};
        if (item.FileName.empty()) {
            FProblem(path, "Der Eintrag hat keinen Dateinamen.");
            return;
        }
        if (::lstat(path.c_str(), &st) != 0) {
            FProblem(path, Reason(errno));
            return;
        }
        const std::string name = JoinName(item.RelDir, item.FileName);
        if (S_ISDIR(st.st_mode)) {
            AddDirectory(name, path, st, item.AbsDir, item.RelDir, item.FileName);
            FEntries.back().entryTime = item.DateTime;
        } else if (S_ISREG(st.st_mode)) {
            if (SameFile(st, FExclude)) {
                FProblem(path, "Die Archivdatei kann sich nicht selbst enthalten.");
                return;
            }
            AddFile(name, path, st, item.AbsDir, item.RelDir, item.FileName);
            FEntries.back().entryTime = item.DateTime;
        } else if (S_ISLNK(st.st_mode)) {
            FProblem(path, "Symbolische Verknüpfungen werden nicht gepackt.");
        } else {
            FProblem(path, "Nur gewöhnliche Dateien und Verzeichnisse können gepackt werden.");
        }
    }

    std::vector<TPackEntry> Take() { return std::move(FEntries); }

private:
    static TReason Reason(int error) {
        if (error == ENOENT) return {"Die Datei oder das Verzeichnis existiert nicht.", TErrorKind::InputMissing};
        if (error == EACCES) return "Keine Berechtigung zum Lesen.";
        if (error == ELOOP || error == ENOTDIR) return "Der Pfad ist eine symbolische Verknüpfung; sie wird nicht gepackt.";
        return std::strerror(error);
    }

    void AddDirectory(const std::string& name, const std::string& path, const struct stat& st,
                      const std::string& absDir, const std::string& relDir, const std::string& fileName) {
        TPackEntry entry;
        entry.name = name + "/";
        entry.path = path;
        entry.directory = true;
        entry.status = st;
        entry.item = {fileName, absDir, relDir, 0, FileTimeToDateTime(st.st_mtime), faDirectory};
        FEntries.push_back(std::move(entry));
    }

    void AddFile(const std::string& name, const std::string& path, const struct stat& st, const std::string& absDir,
                 const std::string& relDir, const std::string& fileName) {
        TPackEntry entry;
        entry.name = name;
        entry.path = path;
        entry.status = st;
        entry.item = {fileName, absDir, relDir, static_cast<std::int64_t>(st.st_size),
                      FileTimeToDateTime(st.st_mtime), (st.st_mode & 0222) == 0 ? faReadOnly : 0u};
        FEntries.push_back(std::move(entry));
    }

    void Walk(TUniqueFd fd, const std::string& path, const std::string& name) {
        std::unique_ptr<DIR, TDirClose> dir(::fdopendir(fd.Get()));
        if (!dir) {
            FProblem(path, Reason(errno));
            return;
        }
        fd.Release();  // the DIR owns it now
        std::vector<std::string> children;
        for (;;) {
            errno = 0;
            const dirent* child = ::readdir(dir.get());
            if (child == nullptr) break;
            const std::string childName = child->d_name;
            if (childName != "." && childName != "..") children.push_back(childName);
        }
        if (errno != 0) {
            // Packing what was read would leave the rest of the directory out unnoticed.
            FProblem(path, "Das Verzeichnis kann nicht vollständig gelesen werden (" + std::string(std::strerror(errno)) +
                               ").");
            return;
        }
        std::sort(children.begin(), children.end());
        const int dirFd = ::dirfd(dir.get());
        for (const std::string& child : children) {
            const std::string childPath = path + "/" + child;
            const std::string childEntry = name + "/" + child;
            struct stat st {};
            if (::fstatat(dirFd, child.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
                FProblem(childPath, Reason(errno));
                continue;
            }
            if (S_ISDIR(st.st_mode)) {
                TUniqueFd childFd(::openat(dirFd, child.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
                if (!childFd) {
                    FProblem(childPath, Reason(errno));
                    continue;
                }
                const std::size_t slash = childEntry.rfind('/');
                AddDirectory(childEntry, childPath, st, path, childEntry.substr(0, slash), child);
                Walk(std::move(childFd), childPath, childEntry);
            } else if (S_ISREG(st.st_mode) && !SameFile(st, FExclude)) {
                const std::size_t slash = childEntry.rfind('/');
                AddFile(childEntry, childPath, st, path, childEntry.substr(0, slash), child);
            }
            // Links, devices, sockets and pipes are not packed.
        }
    }

    const struct stat* FExclude;
    const TPackProblem& FProblem;
    std::vector<TPackEntry> FEntries;
};

}  // namespace

std::vector<TPackEntry> PlanPackEntries(const std::vector<TFileInfoItem>& queued, const struct stat* exclude,
                                        const TPackProblem& problem) {
    TPlanner planner(exclude, problem);
    for (const TFileInfoItem& item : queued) {
        if ((item.Attributes & faWholeTree) != 0) planner.Tree(item);
        else planner.Single(item);
    }
    return planner.Take();
}

}  // namespace tavik
