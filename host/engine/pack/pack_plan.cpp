#include "host/engine/pack/pack_plan.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "host/services/dir_explorer.h"
#include "host/services/system_error.h"
#include "host/services/unique_fd.h"
#include "host/services/paths.h"

namespace tavik {

namespace {

bool SameFile(const struct stat& a, const struct stat* b) {
    return b != nullptr && a.st_dev == b->st_dev && a.st_ino == b->st_ino;
}

// How much of ConcatPathNames(directory, fileName) is the file's name: leading slashes of the
// name are dropped there unless the directory is empty.
std::uint32_t TailLength(const std::string& directory, const std::string& fileName) {
    std::size_t start = 0;
    if (!directory.empty())
        while (start < fileName.size() && fileName[start] == '/') ++start;
    return static_cast<std::uint32_t>(fileName.size() - start);
}

class TPlanner {
public:
    TPlanner(const struct stat* exclude, const TPackProblem& problem) : FExclude(exclude), FProblem(problem) {}

    void Tree(const TFileInfoItem& item) {
        const std::string path = ConcatPathNames(item.AbsDir, item.FileName);
        struct stat st {};
        {
            const TUniqueFd fd(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!fd || ::fstat(fd.Get(), &st) != 0) {
                FProblem(path, Reason(errno));
                return;
            }
        }
        const std::string name = ConcatPathNames(item.RelDir, item.FileName);
        AddDirectory(name, path, st, item.AbsDir, item.RelDir, TailLength(item.AbsDir, item.FileName));
        Walk(path, name);
    }

    void Single(const TFileInfoItem& item) {
        const std::string path = ConcatPathNames(item.AbsDir, item.FileName);
        struct stat st {};
        if (item.FileName.empty()) {
            FProblem(path, "Der Eintrag hat keinen Dateinamen.");
            return;
        }
        if (::lstat(path.c_str(), &st) != 0) {
            FProblem(path, Reason(errno));
            return;
        }
        const std::string name = ConcatPathNames(item.RelDir, item.FileName);
        if (S_ISDIR(st.st_mode)) {
            AddDirectory(name, path, st, item.AbsDir, item.RelDir, TailLength(item.AbsDir, item.FileName));
            FPlan.entries.back().entryTime = item.DateTime;
        } else if (S_ISREG(st.st_mode)) {
            if (SameFile(st, FExclude)) {
                FProblem(path, "Die Archivdatei kann sich nicht selbst enthalten.");
                return;
            }
            AddFile(name, path, st, item.AbsDir, item.RelDir, TailLength(item.AbsDir, item.FileName));
            FPlan.entries.back().entryTime = item.DateTime;
        } else if (S_ISLNK(st.st_mode)) {
            FProblem(path, "Symbolische Verknüpfungen werden nicht gepackt.");
        } else {
            FProblem(path, "Nur gewöhnliche Dateien und Verzeichnisse können gepackt werden.");
        }
    }

    TPackPlan Take() {
        // Grown by doubling, the vector may hold almost twice the entries found while the
        // archive is written.
        FPlan.entries.shrink_to_fit();
        return std::move(FPlan);
    }

private:
    static TReason Reason(int error) {
        if (error == ENOENT) return {"Die Datei oder das Verzeichnis existiert nicht.", TErrorKind::InputMissing};
        if (error == EACCES) return "Keine Berechtigung zum Lesen.";
        if (error == ELOOP || error == ENOTDIR) return "Der Pfad ist eine symbolische Verknüpfung; sie wird nicht gepackt.";
        return SystemErrorText(error);
    }

    void AddDirectory(const std::string& name, const std::string& path, const struct stat& st,
                      const std::string& absDir, const std::string& relDir, std::uint32_t fileNameLength) {
        Add(name + "/", path, st, absDir, relDir, fileNameLength).directory = true;
    }

    void AddFile(const std::string& name, const std::string& path, const struct stat& st, const std::string& absDir,
                 const std::string& relDir, std::uint32_t fileNameLength) {
        Add(name, path, st, absDir, relDir, fileNameLength);
    }

    TPackEntry& Add(const std::string& name, const std::string& path, const struct stat& st, const std::string& absDir,
                    const std::string& relDir, std::uint32_t fileNameLength) {
        std::vector<TPackDirectory>& directories = FPlan.directories;
        if (directories.empty() || directories.back().absDir != absDir || directories.back().relDir != relDir)
            directories.push_back({absDir, relDir});
        TPackEntry& entry = FPlan.entries.emplace_back();
        entry.name = name;
        entry.path = path;
        entry.fileNameLength = fileNameLength;
        entry.directoryIndex = static_cast<std::uint32_t>(directories.size() - 1);
        entry.size = st.st_size;
        entry.mtime = st.st_mtime;
        entry.mode = st.st_mode;
        return entry;
    }

    // Everything below the directory path, whose entry is named name; links, devices, sockets
    // and pipes are not packed.
    void Walk(const std::string& path, const std::string& name) {
        // The entry names of the directories that hold the entries of each level.
        std::vector<std::string> parents{name};
        // Directories whose listing failed: nothing of them is packed, since what was read would
        // stand for the whole directory.
        std::vector<std::string> unread;
        const auto isUnread = [&unread](const std::string& dir) {
            return std::any_of(unread.begin(), unread.end(), [&dir](const std::string& failed) {
                return dir.compare(0, failed.size(), failed) == 0 &&
                       (dir.size() == failed.size() || dir[failed.size()] == '/');
            });
        };
        TDirExplorer walker;
        walker.StartDir = path;
        walker.ReportDirectories = true;
        walker.OnDirectoryFound = [&](TDirExplorer& sender, const TSearchRec& rec, const std::string& dir, int level,
                                      bool&) {
            parents.resize(static_cast<std::size_t>(level) + 1);
            const std::string entry = parents.back() + "/" + rec.Name;
            parents.push_back(entry);
            if (isUnread(dir)) return;
            AddDirectory(entry, dir + "/" + rec.Name, sender.EntryStatus(), dir, parents[parents.size() - 2],
                         static_cast<std::uint32_t>(rec.Name.size()));
        };
        walker.OnFileFound = [&](TDirExplorer& sender, const TSearchRec& rec, const std::string& dir, int level,
                                 bool&) {
            if (isUnread(dir) || SameFile(sender.EntryStatus(), FExclude)) return;
            const std::string& parent = parents[static_cast<std::size_t>(level)];
            AddFile(parent + "/" + rec.Name, dir + "/" + rec.Name, sender.EntryStatus(), dir, parent,
                    static_cast<std::uint32_t>(rec.Name.size()));
        };
        walker.OnFailure = [&](TDirExplorer&, TDirExplorer::TWalkFailure failure, const std::string& failed,
                               int error) {
            switch (failure) {
                case TDirExplorer::TWalkFailure::Read:
                    unread.push_back(failed);
                    FProblem(failed, "Das Verzeichnis kann nicht vollständig gelesen werden (" +
                                         SystemErrorText(error) + ").");
                    return;
                case TDirExplorer::TWalkFailure::Status:
                    FProblem(failed, Reason(error));
                    return;
                case TDirExplorer::TWalkFailure::Open:
                case TDirExplorer::TWalkFailure::TooDeep:
                    // The directory is not packed: its entry was planned just before it was to be walked.
                    if (!FPlan.entries.empty() && FPlan.entries.back().directory && FPlan.entries.back().path == failed)
                        FPlan.entries.pop_back();
                    FProblem(failed, failure == TDirExplorer::TWalkFailure::Open
                                         ? Reason(error)
                                         : "Das Verzeichnis liegt mehr als " + std::to_string(TDirExplorer::MaxLevel) +
                                               " Ebenen tief und wird nicht gepackt. Bitte die Dateien in eine "
                                               "flachere Ablage verschieben.");
                    return;
            }
        };
        walker.Execute();
    }

    const struct stat* FExclude;
    const TPackProblem& FProblem;
    TPackPlan FPlan;
};

}  // namespace

TFileInfoItem TPackPlan::ItemOf(const TPackEntry& entry) const {
    const TPackDirectory& where = directories.at(entry.directoryIndex);
    TFileInfoItem item;
    item.FileName = entry.path.substr(entry.path.size() - entry.fileNameLength);
    item.AbsDir = where.absDir;
    item.RelDir = where.relDir;
    item.Size = entry.directory ? 0 : entry.size;
    item.DateTime = FileTimeToDateTime(entry.mtime);
    item.Attributes = entry.directory ? faDirectory : (entry.mode & 0222) == 0 ? faReadOnly : 0u;
    return item;
}

TPackPlan PlanPackEntries(const std::vector<TFileInfoItem>& queued, const struct stat* exclude,
                          const TPackProblem& problem) {
    TPlanner planner(exclude, problem);
    for (const TFileInfoItem& item : queued) {
        if ((item.Attributes & faWholeTree) != 0) planner.Tree(item);
        else planner.Single(item);
    }
    return planner.Take();
}

}  // namespace tavik
