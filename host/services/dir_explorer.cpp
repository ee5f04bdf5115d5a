#include "host/services/unique_fd.h"
#include "host/services/dir_explorer.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "host/services/exceptions.h"
#include "host/services/system_error.h"
#include "host/services/tavik_info.h"

namespace tavik {

namespace {

const char* const kContext = "TDirExplorer.Execute";

struct TDirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};
using TUniqueDir = std::unique_ptr<DIR, TDirCloser>;

std::string Quoted(const std::string& path) { return "„" + path + "“"; }

// The names of one directory, read completely before any of them is reported.
struct TListing {
    struct TEntry {
        std::uint32_t Offset;
        std::uint32_t Length;
        unsigned char Type;
    };

    // Each name is followed by a zero byte, so that it can be passed to the system as it is.
    std::string_view Name(const TEntry& entry) const { return {Names.data() + entry.Offset, entry.Length}; }

    std::string Names;
    std::vector<TEntry> Entries;
};

}  // namespace

class TDirExplorer::TWalk {
public:
    explicit TWalk(TDirExplorer& explorer) : FExplorer(explorer) {}

    void Run() {
        if (FExplorer.StartDir.empty()) {
            Fail("Es wurde kein Verzeichnis zum Durchsuchen angegeben. Wählen Sie ein Verzeichnis und starten Sie "
                 "die Suche erneut.");
            return;
        }
        FPath = AbsoluteDir(FExplorer.StartDir);
        const int noFollow = FExplorer.FollowStartLink ? 0 : O_NOFOLLOW;
        TUniqueFd dir(open(FPath.c_str(), O_RDONLY | O_DIRECTORY | noFollow | O_CLOEXEC));
        if (dir.Get() < 0) {
            int error = errno;
            // A link is refused as "not a directory"; say what it really is.
            struct stat status{};
            if (error == ENOTDIR && lstat(FPath.c_str(), &status) == 0 && S_ISLNK(status.st_mode)) error = ELOOP;
            FailOpen(error);
            return;
        }
        Walk(dir.Get(), 0);
    }

private:
    static std::string AbsoluteDir(const std::string& start) {
        std::string path;
        if (start.front() != '/') {
            std::vector<char> cwd(4096);
            while (getcwd(cwd.data(), cwd.size()) == nullptr && errno == ERANGE) cwd.resize(cwd.size() * 2);
            path = cwd.data();
            path += '/';
        }
        path += start;
        while (path.size() > 1 && path.back() == '/') path.pop_back();
        return path;
    }

    void Fail(const std::string& message) {
        TavikInfo().RegisterException(kContext, EOlvex(message), true);
        if (FExplorer.StopOnError) FStopped = true;
    }

    // Hands the failure to the handler; false when there is none.
    bool Handled(TWalkFailure failure, const std::string& path, int error) {
        if (!FExplorer.OnFailure) return false;
        FExplorer.OnFailure(FExplorer, failure, path, error);
        if (FExplorer.StopOnError) FStopped = true;
        return true;
    }

    void FailOpen(int error) {
        if (Handled(TWalkFailure::Open, FPath, error)) return;
        Fail("Das Verzeichnis " + Quoted(FPath) + " kann nicht durchsucht werden: " + SystemErrorText(error) +
             ". Seine Dateien fehlen in der Liste; beheben Sie die Ursache (etwa die Zugriffsrechte) und starten "
             "Sie die Suche erneut.");
    }

    // Reads the names of the directory open as dirFd; false when it could not be read at all.
    bool Read(int dirFd, TListing& listing) {
        listing.Names.clear();
        listing.Entries.clear();
        // The stream gets its own descriptor; dirFd stays open for the entries' lookups.
        const int readFd = fcntl(dirFd, F_DUPFD_CLOEXEC, 0);
        if (readFd < 0) {
            FailOpen(errno);
            return false;
        }
        TUniqueDir stream(fdopendir(readFd));
        if (!stream) {
            const int error = errno;
            close(readFd);
            FailOpen(error);
            return false;
        }
        for (;;) {
            errno = 0;
            const dirent* entry = readdir(stream.get());
            if (entry == nullptr) break;
            const std::string_view name = entry->d_name;
            if (name == "." || name == "..") continue;
            listing.Entries.push_back({static_cast<std::uint32_t>(listing.Names.size()),
                                       static_cast<std::uint32_t>(name.size()), entry->d_type});
            listing.Names.append(name);
            listing.Names.push_back('\0');
        }
        if (const int error = errno; error != 0 && !Handled(TWalkFailure::Read, FPath, error)) {
            Fail("Das Verzeichnis " + Quoted(FPath) + " konnte nicht vollständig gelesen werden: " + SystemErrorText(error) +
                 ". Ein Teil seiner Dateien fehlt in der Liste; beheben Sie die Ursache und starten Sie die Suche "
                 "erneut.");
        }
        const auto& names = listing.Names;
        std::sort(listing.Entries.begin(), listing.Entries.end(),
                  [&names](const TListing::TEntry& a, const TListing::TEntry& b) {
                      return std::string_view(names.data() + a.Offset, a.Length) <
                             std::string_view(names.data() + b.Offset, b.Length);
                  });
        return true;
    }

    void Report(const TDirExplorer::TEntryEvent& event, const struct stat& status, int level) {
        if (!event) return;
        bool continueWalk = true;
        struct TShown {
            TDirExplorer& Explorer;
            ~TShown() { Explorer.FEntryStatus = nullptr; }  // also when the handler throws
        } shown{FExplorer};
        FExplorer.FEntryStatus = &status;
        event(FExplorer, FRec, FPath, level, continueWalk);
        if (!continueWalk) FStopped = true;
    }

    bool Skipped(std::string_view name) const {
        const std::string& skip = FExplorer.SkipDirectory;
        if (skip.empty() || skip.size() <= FPath.size()) return false;
        const std::size_t separator = FPath.back() == '/' ? 0 : 1;
        return skip.size() == FPath.size() + separator + name.size() && skip.compare(0, FPath.size(), FPath) == 0 &&
               (separator == 0 || skip[FPath.size()] == '/') &&
               skip.compare(FPath.size() + separator, name.size(), name) == 0;
    }

    void Walk(int dirFd, int level) {
        if (FListings.size() <= static_cast<std::size_t>(level)) FListings.emplace_back();
        TListing& listing = FListings[static_cast<std::size_t>(level)];
        if (!Read(dirFd, listing)) return;

        int statFailures = 0;
        int statError = 0;
        for (const TListing::TEntry& entry : listing.Entries) {
            if (FStopped) return;
            const std::string_view name = listing.Name(entry);
            if (FExplorer.SkipHidden && name.front() == '.') continue;

            // The type from the directory saves a lookup for directories; files need one for
            // their size and time anyway.
            unsigned char type = entry.Type;
            struct stat status{};
            const bool needStatus =
                type == DT_REG || type == DT_UNKNOWN || (type == DT_DIR && FExplorer.ReportDirectories);
            if (needStatus) {
                if (fstatat(dirFd, name.data(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
                    // An entry removed since the directory was read is simply gone.
                    if (const int error = errno; error != ENOENT) {
                        if (FExplorer.OnFailure) {
                            Handled(TWalkFailure::Status, FPath + (FPath.back() == '/' ? "" : "/") + std::string(name),
                                    error);
                        } else {
                            ++statFailures;
                            statError = error;
                        }
                    }
                    continue;
                }
                type = S_ISREG(status.st_mode) ? DT_REG : S_ISDIR(status.st_mode) ? DT_DIR : DT_UNKNOWN;
            }

            if (type == DT_REG) {
                SearchRecFromStat(status, name, FRec);
                Report(FExplorer.OnFileFound, status, level);
            } else if (type == DT_DIR) {
                if (Skipped(name)) continue;
                if (FExplorer.ReportDirectories) {
                    SearchRecFromStat(status, name, FRec);
                    Report(FExplorer.OnDirectoryFound, status, level);
                    if (FStopped) return;
                }
                if (!FExplorer.TopLevelOnly) Descend(dirFd, name, level + 1);
            }
        }
        if (statFailures > 0) {
            const std::string entries =
                statFailures == 1 ? "einem Eintrag" : std::to_string(statFailures) + " Einträgen";
            Fail("Im Verzeichnis " + Quoted(FPath) + " konnten Größe und Datum von " + entries +
                 " nicht gelesen werden: " + SystemErrorText(statError) +
                 ". Sie fehlen in der Liste; prüfen Sie die Zugriffsrechte des Verzeichnisses und starten Sie die "
                 "Suche erneut.");
        }
    }

    void Descend(int parentFd, std::string_view name, int level) {
        const std::size_t parentLength = FPath.size();
        if (FPath.back() != '/') FPath.push_back('/');
        FPath.append(name);
        if (level > MaxLevel) {
            if (!Handled(TWalkFailure::TooDeep, FPath, 0))
                Fail("Das Verzeichnis " + Quoted(FPath) + " liegt mehr als " + std::to_string(MaxLevel) +
                     " Ebenen tief und wird nicht durchsucht. Verschieben Sie seine Dateien in eine flachere "
                     "Ablage.");
        } else {
            TUniqueFd dir(openat(parentFd, name.data(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            // ENOENT, ENOTDIR, ELOOP: removed, or replaced by a file or a link, since the directory
            // was read; there is nothing to walk.
            if (dir.Get() >= 0)
                Walk(dir.Get(), level);
            else if (errno != ENOENT && errno != ENOTDIR && errno != ELOOP)
                FailOpen(errno);
        }
        FPath.resize(parentLength);
    }

    TDirExplorer& FExplorer;
    std::string FPath;  // the directory being walked
    std::deque<TListing> FListings;  // one per level, reused for its sibling directories
    TSearchRec FRec;
    bool FStopped = false;
};

void TDirExplorer::Execute() { TWalk(*this).Run(); }

}  // namespace tavik
