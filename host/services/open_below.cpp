#include "host/services/open_below.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>

#include "host/services/paths.h"
#include "host/services/unique_fd.h"

namespace tavik {

namespace {

constexpr int kDirFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

bool IsBelow(const std::string& path, const std::string& base) {
    return !base.empty() && path.size() > base.size() && path.compare(0, base.size(), base) == 0 &&
           (base.back() == '/' || path[base.size()] == '/');
}

}  // namespace

int OpenDirectoryBelow(const std::string& directory, const std::string& base) {
    if (!IsBelow(directory + "/", base)) return open(directory.empty() ? "." : directory.c_str(), kDirFlags);
    TUniqueFd dir(open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::size_t start = base.size();
    while (dir.Valid() && start < directory.size()) {
        const std::size_t end = std::min(directory.find('/', start), directory.size());
        const std::string component = directory.substr(start, end - start);
        start = end + 1;
        if (component.empty() || component == ".") continue;
        if (component == "..") {
            errno = ELOOP;
            return -1;
        }
        dir.Reset(openat(dir.Get(), component.c_str(), kDirFlags));
    }
    return dir.Release();
}

int OpenFileBelow(const std::string& path, const std::string& base, int flags) {
    const std::string name = ExtractFileName(path);
    if (name.empty() || name == "." || name == "..") {
        errno = EINVAL;
        return -1;
    }
    const TUniqueFd dir(OpenDirectoryBelow(ExtractFileDir(path), base));
    if (!dir.Valid()) return -1;
    return openat(dir.Get(), name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC);
}

std::string ShortestBaseHolding(const std::vector<std::string>& bases, const std::string& path) {
    std::string chosen;
    for (const auto& base : bases)
        if (IsBelow(path, base) && (chosen.empty() || base.size() < chosen.size())) chosen = base;
    return chosen;
}

}  // namespace tavik
